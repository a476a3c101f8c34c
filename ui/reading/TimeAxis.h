#pragma once

// The chart page's time axis: the times of the frames shown (estimated from the line rate
// for a replayed recording, measured by the block clock in a live session), the switch
// between frame numbers and time on the bottom axis ("Ось времени", Ctrl+T), the gaps drawn
// on the time axis, and the time texts the readout, the chosen frame and the export give.

#include "telemetry/FrameTable.h"
#include "telemetry/RecordingTimes.h"
#include "widgets/chart/Chart.h"
#include "widgets/chart/ChartTimeGaps.h"
#include "widgets/chart/ChartTimeline.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

class QAction;
class TSettings;

class TTimeAxis : public QObject {
    Q_OBJECT
public:
    // The action works anywhere in window.
    TTimeAxis(QWidget& window, TChart& chart);
    ~TTimeAxis() override;

    QAction* Switch; // "Ось времени", checkable

    // Shows the axis the settings remember, and remembers each switch there from now on.
    void RememberIn(TSettings& settings);
    [[nodiscard]] bool Shown() const;

    // A replayed recording, timed by its companion or estimated from the line rate: each of
    // the table's frames at the time its last byte came. The table stays with the recording
    // until a live session starts.
    void Measure(const telemetry::TRecordingTimes& times, const telemetry::TFrameTable& frames);
    // A live session starts: times from now on the session's clock.
    void StartClock();
    // Frames up to last have arrived now.
    void FramesArrived(std::int64_t last);

    [[nodiscard]] const chart::TTimeline& Timeline() const noexcept { return *timeline_; }
    // Frame's time: a replayed recording's exactly as telmira-dcc csv --time gives it, a live
    // session's from the timeline.
    [[nodiscard]] double Seconds(std::int64_t frame) const;
    // Frame's time as the readout and the chosen frame show it: "м:сс.ммм", with "≈" before
    // it when estimated; hours once the frames shown reach an hour.
    [[nodiscard]] QString FrameTime(std::int64_t frame) const;

private:
    void Show(bool time);

    TChart& chart_;
    // The window's chart goes before this: the gaps are taken off a chart still there.
    QPointer<TChart> chartAlive_;
    std::shared_ptr<chart::TTimeline> timeline_;
    chart::TTimeGaps gaps_;
    std::shared_ptr<chart::TTimeLabels> labels_;
    std::optional<telemetry::TRecordingTimes> recording_;
    const telemetry::TFrameTable* frames_ = nullptr;
    QElapsedTimer clock_;
    TSettings* settings_ = nullptr;
};
