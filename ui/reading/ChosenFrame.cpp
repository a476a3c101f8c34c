#include "ui/reading/ChosenFrame.h"

#include "ui/window/TelemetryChart.h"
#include "widgets/chart/ChartCursor.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Playing moves the marker at about the display's rate.
constexpr int PlayTickMs = 16;

} // namespace

TChosenFrame::TChosenFrame(TChart& chart, const telemetry::TFrameTable& frames,
                           TChartReadout& readout)
    : QObject(&chart), chart_(chart), frames_(frames), readout_(readout) {
    chart.installEventFilter(this);
    playTimer_.setInterval(PlayTickMs);
    connect(&playTimer_, &QTimer::timeout, this, &TChosenFrame::PlayOn);
}

void TChosenFrame::SetEnabled(bool enabled) {
    enabled_ = enabled;
    playTimer_.stop();
    frame_.reset();
    pressedAt_.reset();
    readout_.SetMarker(std::nullopt);
}

void TChosenFrame::Choose(std::int64_t frame) {
    Show(frame);
    if (Playing() && frame_) {
        playedFrom_ = *frame_;
        playClock_.start();
    }
}

void TChosenFrame::Show(std::int64_t frame) {
    const auto frames = CompletedFrames(frames_);
    if (!enabled_ || !frames)
        return;
    frame = std::clamp(frame, frames->First, frames->Last);
    frame_ = frame;
    KeepInView(frame);
    readout_.SetMarker(frame);
    emit Chosen(frame);
}

void TChosenFrame::TogglePlaying() {
    if (Playing()) {
        playTimer_.stop();
        return;
    }
    const auto frames = CompletedFrames(frames_);
    if (!enabled_ || !frames)
        return;
    if (!frame_)
        Choose(frames->First);
    playedFrom_ = *frame_;
    playClock_.start();
    playTimer_.start();
}

void TChosenFrame::PlayOn() {
    const auto frames = CompletedFrames(frames_);
    if (!frames) {
        playTimer_.stop();
        return;
    }
    const std::int64_t frame = playedFrom_ + playClock_.elapsed() * FramesPerSecond / 1000;
    if (frame >= frames->Last)
        playTimer_.stop();
    if (frame != frame_)
        Show(frame);
}

std::int64_t TChosenFrame::FramesOnScreen() const {
    const chart::TAxisMap& map = chart_.BottomAxis().Map();
    return std::max<std::int64_t>(1, std::llround(map.Maximum - map.Minimum));
}

void TChosenFrame::KeepInView(std::int64_t frame) {
    // An automatic axis shows every frame; a fixed one moves by no more than it must.
    TChartAxis& axis = chart_.BottomAxis();
    if (axis.Automatic())
        return;
    const double x = static_cast<double>(frame);
    const double shift = x < axis.Minimum()   ? x - axis.Minimum()
                         : x > axis.Maximum() ? x - axis.Maximum()
                                              : 0;
    if (shift != 0)
        axis.SetMinMax(axis.Minimum() + shift, axis.Maximum() + shift);
}

bool TChosenFrame::StepByKey(int key) {
    const auto frames = CompletedFrames(frames_);
    if (!frames)
        return false;
    const std::int64_t from = frame_.value_or(std::clamp<std::int64_t>(
        std::llround(chart_.BottomAxis().Map().Minimum), frames->First, frames->Last));
    switch (key) {
    case Qt::Key_Left:
        Choose(from - 1);
        return true;
    case Qt::Key_Right:
        Choose(from + 1);
        return true;
    case Qt::Key_PageUp:
        Choose(from - FramesOnScreen());
        return true;
    case Qt::Key_PageDown:
        Choose(from + FramesOnScreen());
        return true;
    case Qt::Key_Home:
        Choose(frames->First);
        return true;
    case Qt::Key_End:
        Choose(frames->Last);
        return true;
    case Qt::Key_Space:
        TogglePlaying();
        return true;
    default:
        return false;
    }
}

bool TChosenFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &chart_ || !enabled_)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint p = mouse->position().toPoint();
        if (mouse->button() == Qt::LeftButton && chart_.PlotRect().Contains(p.x(), p.y()))
            pressedAt_ = p;
        else
            pressedAt_.reset();
        return false;
    }
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint p = mouse->position().toPoint();
        const auto frames = CompletedFrames(frames_);
        if (mouse->button() == Qt::LeftButton && pressedAt_ && frames &&
            std::abs(p.x() - pressedAt_->x()) <= ClickSlack &&
            std::abs(p.y() - pressedAt_->y()) <= ClickSlack) {
            chart_.setFocus(Qt::MouseFocusReason);
            Choose(chart::NearestWholeX(chart_.BottomAxis().Map(), p.x(), frames->First,
                                        frames->Last));
        }
        pressedAt_.reset();
        return false;
    }
    case QEvent::KeyPress:
        return StepByKey(static_cast<QKeyEvent*>(event)->key());
    default:
        return false;
    }
}
