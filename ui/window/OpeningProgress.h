#pragma once

// A replay that takes a while, as the window shows it. Between stretches of the walk the
// window's events run, so that it paints and follows the window system; once the replay has
// run for longer than it may pass unnoticed, a progress bar in the status line follows the
// walk, and Esc stops it. Meanwhile the user's input reaches nothing else: no click, key,
// shortcut or drop can start anything while the chart is being filled, and closing the window
// stops the replay as Esc does.

#include "telemetry/RecordingFigures.h"
#include "telemetry/RecordingTimes.h"
#include "telemetry/ReplayProgress.h"
#include "ui/window/LinkStatus.h"

#include <QElapsedTimer>
#include <QObject>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

class TChartPlot;
namespace telemetry {
class TFrameTable;
struct TLatestValues;
} // namespace telemetry

class QLabel;
class QProgressBar;

// How long a replay runs before it shows its progress.
inline constexpr std::chrono::milliseconds ProgressAfter{300};

class TOpeningProgress final : public QObject, public telemetry::TReplayProgress {
public:
    // statusLine: where the progress shows, in a bar over its right part; its text says how
    // to stop the replay while the bar shows. Holds the application's input from now on.
    explicit TOpeningProgress(QLabel& statusLine,
                              std::chrono::milliseconds showAfter = ProgressAfter);
    // Takes the bar away and lets the input go again.
    ~TOpeningProgress() override;
    TOpeningProgress(const TOpeningProgress&) = delete;
    TOpeningProgress& operator=(const TOpeningProgress&) = delete;

    // Shows how far the walk is, runs the events waiting, and says whether to go on.
    bool Walked(std::uint64_t done, std::uint64_t total) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowBar();

    QLabel& statusLine_;
    std::chrono::milliseconds showAfter_;
    QElapsedTimer running_;
    QElapsedTimer refreshed_;     // since the bar last said how far the walk is
    QProgressBar* bar_ = nullptr; // a child of the status line, once shown
    bool stopped_ = false;
};

// What a replay of a recording onto the chart read.
struct TChartReplay {
    TViewEnd End = TViewEnd::Whole;
    telemetry::TRecordingFigures Read;
    std::uint64_t Size = 0; // the file's bytes
    // Its companion checked against every byte of it, or estimated; with the file's size, to
    // which markers set while viewing are tied.
    std::optional<telemetry::TRecordingTimes> Times;
};

// The viewer's replay of the recording at path onto plot and into frames, an empty table, for
// every recording the chart shows: locked, mapped and walked with its progress in statusLine,
// stopped by Esc, cut short when the file shrinks under it. values is the decoder's record,
// its frame counter started at 0. Raises the viewer's messages when the file cannot be opened
// or mapped.
[[nodiscard]] TChartReplay ReplayOntoChart(const std::string& path, TChartPlot& plot,
                                           telemetry::TLatestValues& values, QLabel& statusLine,
                                           telemetry::TFrameTable& frames);
