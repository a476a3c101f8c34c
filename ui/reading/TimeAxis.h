#pragma once

// The chart page's time axis: the times of the frames shown (estimated from the line rate
// for a replayed recording, measured by the block clock in a live session), the switch
// between frame numbers and time on the bottom axis ("Ось времени", Ctrl+T), the gaps drawn
// on the time axis, and the time texts the readout, the chosen frame and the export give.

#include "widgets/chart/Chart.h"
#include "widgets/chart/ChartTimeGaps.h"
#include "widgets/chart/ChartTimeline.h"

#include <QElapsedTimer>
#include <QObject>
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

    // A recording of frames 0 to last, timed from the line rate: frame k ends 9 (k + 1)
    // bytes into it.
    void Estimate(std::int64_t last);
    // A live session starts: times from now on the session's clock.
    void StartClock();
    // Frames up to last have arrived now.
    void FramesArrived(std::int64_t last);

    [[nodiscard]] const chart::TTimeline& Timeline() const noexcept { return *timeline_; }
    // Frame's time as the readout and the chosen frame show it: "м:сс.ммм", with "≈" before
    // it when estimated; hours once the frames shown reach an hour.
    [[nodiscard]] QString FrameTime(std::int64_t frame) const;

private:
    void Show(bool time);

    TChart& chart_;
    std::shared_ptr<chart::TTimeline> timeline_;
    chart::TTimeGaps gaps_;
    std::shared_ptr<chart::TTimeLabels> labels_;
    QElapsedTimer clock_;
    TSettings* settings_ = nullptr;
};
