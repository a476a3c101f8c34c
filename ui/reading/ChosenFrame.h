#pragma once

// The frame of a replayed recording that the instruments page shows instead of the latest
// values: chosen with a left click on the plot that does not drag, stepped with the keys,
// and played forward at the line's frame rate. The chart's readout marks it.

#include "telemetry/FrameTable.h"
#include "ui/reading/ChartReadout.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <optional>

class TChosenFrame : public QObject {
    Q_OBJECT
public:
    // Frames a second the 57600-baud line carries: 10 bits a byte, 9 bytes a frame.
    static constexpr int FramesPerSecond = 640;
    // Presses further apart than this, in either direction, are drags, not clicks.
    static constexpr int ClickSlack = 16;
    // Pixels a frame that the keys or playing choose is kept inside the plot's edges when the
    // chart has to scroll to show it.
    static constexpr int EdgeMargin = 32;

    // The frames to choose from are those of frames, the frame table of what chart shows.
    TChosenFrame(TChart& chart, const telemetry::TFrameTable& frames, TChartReadout& readout);

    // Choosing works while a replayed recording is shown. Either way the frame chosen
    // before is forgotten, its marker removed and playing stopped.
    void SetEnabled(bool enabled);
    [[nodiscard]] bool Enabled() const noexcept { return enabled_; }

    [[nodiscard]] std::optional<std::int64_t> Frame() const noexcept { return frame_; }
    [[nodiscard]] bool Playing() const noexcept { return playTimer_.isActive(); }

    // Chooses frame, kept within the completed frames, and scrolls a zoomed or scrolled
    // chart just far enough to show it EdgeMargin inside the plot. Does nothing while
    // disabled or without frames.
    void Choose(std::int64_t frame);
    // Scrolls a zoomed or scrolled chart as Choose does to show frame, without choosing it,
    // as the user's own scroll would: for a live session, where nothing is chosen and a chart
    // that shows every frame follows the newest.
    void Reveal(std::int64_t frame);
    // Plays forward from the chosen frame, or pauses.
    void TogglePlaying();
    // The playback keys (Space, Left/Right, Page Up/Down, Home/End) pressed on widget, or
    // left to it by the child that has the focus, work there as on the chart.
    void TakeKeysOf(QWidget& widget);

signals:
    void Chosen(std::int64_t frame);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class TScroll { None, KeepInside };
    void Choose(std::int64_t frame, TScroll scroll);
    void Show(std::int64_t frame, TScroll scroll);
    [[nodiscard]] bool StepByKey(int key);
    [[nodiscard]] std::int64_t FramesOnScreen() const;
    void KeepInside(std::int64_t frame);
    // How far a fixed axis must move to show frame EdgeMargin inside the plot; 0 for an
    // automatic one.
    [[nodiscard]] double ShiftToShow(std::int64_t frame) const;
    void PlayOn();

    TChart& chart_;
    const telemetry::TFrameTable& frames_;
    TChartReadout& readout_;
    bool enabled_ = false;
    std::optional<std::int64_t> frame_;
    std::optional<QPoint> pressedAt_;
    QWidget* keysOf_ = nullptr;
    QTimer playTimer_;
    QElapsedTimer playClock_;
    std::int64_t playedFrom_ = 0;
};
