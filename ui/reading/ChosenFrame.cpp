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

void TChosenFrame::TakeKeysOf(QWidget& widget) {
    keysOf_ = &widget;
    widget.installEventFilter(this);
}

void TChosenFrame::Choose(std::int64_t frame) {
    Choose(frame, TScroll::KeepInside);
}

void TChosenFrame::Choose(std::int64_t frame, TScroll scroll) {
    Show(frame, scroll);
    if (Playing() && frame_) {
        playedFrom_ = *frame_;
        playClock_.start();
    }
}

void TChosenFrame::Show(std::int64_t frame, TScroll scroll) {
    const auto frames = CompletedFrames(frames_);
    if (!enabled_ || !frames)
        return;
    frame = std::clamp(frame, frames->First, frames->Last);
    frame_ = frame;
    if (scroll == TScroll::KeepInside)
        KeepInside(frame);
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
        Show(frame, TScroll::KeepInside);
}

std::int64_t TChosenFrame::FramesOnScreen() const {
    const chart::TAxisMap& map = chart_.BottomAxis().Map();
    return std::max<std::int64_t>(1, std::llround(map.Maximum - map.Minimum));
}

double TChosenFrame::ShiftToShow(std::int64_t frame) const {
    // An automatic axis shows every frame, the first and the last on the plot's edges, where
    // the marker is drawn over the frame lines; a fixed one moves by no more than it must.
    const TChartAxis& axis = chart_.BottomAxis();
    if (axis.Automatic())
        return 0;
    const chart::TAxisMap& map = axis.Map();
    const int marginPixels = std::min(EdgeMargin, map.Length() / 4);
    const double margin =
        map.Length() > 0 ? (axis.Maximum() - axis.Minimum()) * marginPixels / map.Length() : 0;
    const double x = static_cast<double>(frame);
    const double low = axis.Minimum() + margin;
    const double high = axis.Maximum() - margin;
    return x < low ? x - low : x > high ? x - high : 0;
}

void TChosenFrame::KeepInside(std::int64_t frame) {
    TChartAxis& axis = chart_.BottomAxis();
    const double shift = ShiftToShow(frame);
    if (shift != 0)
        axis.SetMinMax(axis.Minimum() + shift, axis.Maximum() + shift);
}

void TChosenFrame::Reveal(std::int64_t frame) {
    const auto frames = CompletedFrames(frames_);
    const chart::TAxisMap& map = chart_.BottomAxis().Map();
    if (!frames || map.Range() <= 0)
        return;
    const double shift = ShiftToShow(std::clamp(frame, frames->First, frames->Last));
    if (shift != 0)
        chart_.ScrollHorizontally(shift * map.Length() / map.Range());
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
    if (!enabled_)
        return false;
    if (watched == keysOf_)
        return event->type() == QEvent::KeyPress &&
               StepByKey(static_cast<QKeyEvent*>(event)->key());
    if (watched != &chart_)
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
            // The frame clicked is in view where it was clicked: the chart stays still.
            Choose(
                chart::NearestWholeX(chart_.BottomAxis().Map(), p.x(), frames->First, frames->Last),
                TScroll::None);
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
