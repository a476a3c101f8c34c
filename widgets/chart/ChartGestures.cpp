#include "widgets/chart/ChartGestures.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace chart {

namespace {

// A zoom drag must go further than this in both directions.
constexpr int ZoomThreshold = 16;
// One wheel notch moves the vertical axes by this share of their range.
constexpr double WheelStepPercent = 3;
constexpr int WheelNotch = 120;

bool ScrollsHorizontally(TPanningMode mode) {
    return mode == TPanningMode::pmHorizontal || mode == TPanningMode::pmBoth;
}

bool ScrollsVertically(TPanningMode mode) {
    return mode == TPanningMode::pmVertical || mode == TPanningMode::pmBoth;
}

} // namespace

TGestures::TGestures(TGesturePlot& plot, std::vector<TChartAxis*> horizontal,
                     std::vector<TChartAxis*> vertical)
    : plot_(plot), horizontal_(std::move(horizontal)), vertical_(std::move(vertical)) {}

std::vector<TChartAxis*> TGestures::Axes() const {
    std::vector<TChartAxis*> axes = horizontal_;
    axes.insert(axes.end(), vertical_.begin(), vertical_.end());
    return axes;
}

void TGestures::Press(Qt::MouseButton button, QPoint p, Qt::KeyboardModifiers modifiers) {
    if (zoom_.Active || panning_.Active || selecting_.Active || !plot_.Grabs(p))
        return;
    const TGestureRules rules = plot_.GestureRules();
    if (button == Qt::LeftButton && (modifiers & Qt::ShiftModifier)) {
        // Shift never zooms, so that a selection missed never changes the scales.
        if (rules.AllowSelection && plot_.GesturePlotRect().Contains(p.x(), p.y())) {
            selecting_ = {true, p, p};
            plot_.ShowSelection();
        }
    } else if (button == Qt::LeftButton && rules.AllowZoom) {
        plot_.GestureStarted();
        zoom_ = {true, p, p};
        plot_.ShowZoomRectangle();
    } else if (button == Qt::RightButton && rules.AllowPanning != TPanningMode::pmNone) {
        plot_.GestureStarted();
        panning_ = {true, p, p};
    }
}

void TGestures::Move(QPoint p) {
    if (selecting_.Active) {
        if (p.x() == selecting_.Last.x())
            return;
        selecting_.Last = p;
        plot_.ShowSelection();
    } else if (zoom_.Active) {
        if (p == zoom_.Last)
            return;
        zoom_.Last = p;
        plot_.ShowZoomRectangle();
    } else if (panning_.Active) {
        if (!plot_.GesturePlotRect().Contains(p.x(), p.y())) {
            panning_.Active = false;
            return;
        }
        if (p != panning_.Last)
            ScrollTo(p);
    }
}

void TGestures::Release(Qt::MouseButton button, QPoint p) {
    if (selecting_.Active && button == Qt::LeftButton) {
        selecting_.Last = p;
        const auto columns = SelectionColumns();
        selecting_.Active = false;
        plot_.Select(columns->first, columns->second);
        plot_.ShowSelection();
        return;
    }
    if (zoom_.Active && button == Qt::LeftButton) {
        zoom_.Active = false;
        zoom_.Last = p;
        plot_.ShowZoomRectangle();
        const QPoint start = zoom_.Start;
        if (std::abs(p.x() - start.x()) > ZoomThreshold &&
            std::abs(p.y() - start.y()) > ZoomThreshold) {
            if (start.x() < p.x() && start.y() < p.y())
                ZoomIn(QRect(start, p));
            else
                UndoZoom();
            plot_.Redraw();
        }
    }
    panning_.Active = false;
}

bool TGestures::Wheel(int angleDelta) {
    wheelRemainder_ += angleDelta;
    const int notches = wheelRemainder_ / WheelNotch;
    wheelRemainder_ -= notches * WheelNotch;
    if (notches == 0)
        return false;
    // An axis without a range has nothing to scroll: fixing it there would pin it to a
    // sliver around that one value for all data that come later.
    std::vector<TChartAxis*> scrolled;
    for (TChartAxis* axis : vertical_)
        if (axis->Maximum() != axis->Minimum())
            scrolled.push_back(axis);
    if (scrolled.empty())
        return true;
    // As for the first scroll step, so that undoing the zoom returns to the scaling before.
    if (savedScales_.empty())
        SaveScales();
    // A notch toward the user (negative delta) moves the vertical axes up the values.
    for (int n = 0; n < std::abs(notches); ++n) {
        for (TChartAxis* axis : scrolled) {
            const double d = (axis->Maximum() - axis->Minimum()) * WheelStepPercent * 0.01;
            const double shift = notches < 0 ? d : -d;
            axis->SetMinMax(axis->Minimum() + shift, axis->Maximum() + shift);
        }
    }
    plot_.Redraw();
    return true;
}

void TGestures::SaveScales() {
    savedScales_.clear();
    for (const TChartAxis* axis : Axes())
        savedScales_.push_back(axis->Scale());
}

void TGestures::ZoomIn(QRect r) {
    r = r.normalized();
    const int x0 = r.left(), y0 = r.top(), x1 = r.right(), y1 = r.bottom();
    const std::vector<TChartAxis*> axes = Axes();
    std::vector<std::pair<double, double>> target;
    for (const TChartAxis* a : axes)
        target.push_back(a->Horizontal() ? std::pair(a->Map().ToValue(x0), a->Map().ToValue(x1))
                                         : std::pair(a->Map().ToValue(y1), a->Map().ToValue(y0)));
    if (savedScales_.empty())
        SaveScales();
    const TGestureRules rules = plot_.GestureRules();
    for (int step = 1; rules.AnimatedZoom && step < rules.AnimatedZoomSteps; ++step) {
        // Each step goes a third of the way that is left.
        for (std::size_t i = 0; i < axes.size(); ++i) {
            TChartAxis& a = *axes[i];
            a.SetMinMax(a.Minimum() + (target[i].first - a.Minimum()) / 3,
                        a.Maximum() + (target[i].second - a.Maximum()) / 3);
        }
        plot_.RedrawNow();
    }
    for (std::size_t i = 0; i < axes.size(); ++i)
        axes[i]->SetMinMax(target[i].first, target[i].second);
    zoomed_ = true;
    plot_.AfterZoom();
}

void TGestures::UndoZoom() {
    const std::vector<TChartAxis*> axes = Axes();
    for (std::size_t i = 0; i < savedScales_.size(); ++i)
        axes[i]->SetScale(savedScales_[i]);
    savedScales_.clear();
    plot_.AfterUndoZoom();
    plot_.Redraw();
    zoomed_ = false;
}

void TGestures::ScrollHorizontally(double pixels) {
    if (pixels == 0)
        return;
    if (savedScales_.empty())
        SaveScales();
    if (!horizontal_.empty()) {
        const double start = horizontal_.front()->Map().Start;
        ScrollAxes(horizontal_, start + pixels, start);
    }
    plot_.AfterScroll();
    plot_.Redraw();
}

void TGestures::ScrollTo(QPoint p) {
    if (savedScales_.empty())
        SaveScales();
    const TPanningMode mode = plot_.GestureRules().AllowPanning;
    const QPoint last = panning_.Last;
    bool processed = false;
    if (p.x() != last.x() && ScrollsHorizontally(mode)) {
        ScrollAxes(horizontal_, last.x(), p.x());
        processed = true;
    }
    if (p.y() != last.y() && ScrollsVertically(mode)) {
        ScrollAxes(vertical_, last.y(), p.y());
        processed = true;
    }
    panning_.Last = p;
    if (processed) {
        plot_.AfterScroll();
        plot_.Redraw();
    }
}

void TGestures::ScrollAxes(const std::vector<TChartAxis*>& axes, double from, double to) {
    for (TChartAxis* axis : axes) {
        const double d = axis->Map().ToValue(from) - axis->Map().ToValue(to);
        double low = axis->Minimum() + d, high = axis->Maximum() + d;
        if (plot_.AllowScroll(*axis, low, high))
            axis->SetMinMax(low, high);
    }
}

std::optional<QRect> TGestures::ZoomRectangle() const {
    if (!zoom_.Active)
        return std::nullopt;
    const int left = std::min(zoom_.Start.x(), zoom_.Last.x());
    const int right = std::max(zoom_.Start.x(), zoom_.Last.x());
    const int top = std::min(zoom_.Start.y(), zoom_.Last.y());
    const int bottom = std::max(zoom_.Start.y(), zoom_.Last.y());
    if (right <= left || bottom <= top)
        return std::nullopt;
    return QRect(left, top, right - left, bottom - top);
}

std::optional<std::pair<int, int>> TGestures::SelectionColumns() const {
    if (!selecting_.Active)
        return std::nullopt;
    const TRectI plot = plot_.GesturePlotRect();
    const int start = selecting_.Start.x();
    const int last =
        std::clamp(selecting_.Last.x(), plot.Left, std::max(plot.Left, plot.Right - 1));
    return std::pair(std::min(start, last), std::max(start, last));
}

void DrawZoomRectangle(QPainter& painter, const QRect& outline) {
    constexpr int Dash = 4;
    // Dashes count from the screen's origin, not from the rectangle's corner: they stay
    // where they are while the rectangle grows and shrinks.
    auto dash = [](int pixel) { return pixel >= 0 ? pixel / Dash : -((-pixel - 1) / Dash) - 1; };
    // Pixels from..to-1 of row or column `at`.
    auto stroke = [&](bool horizontal, int at, int from, int to) {
        while (from < to) {
            const int d = dash(from);
            const int end = std::min(to, (d + 1) * Dash);
            const QColor colour = d % 2 == 0 ? Qt::black : Qt::white;
            painter.fillRect(horizontal ? QRect(from, at, end - from, 1)
                                        : QRect(at, from, 1, end - from),
                             colour);
            from = end;
        }
    };
    const int left = outline.x(), top = outline.y();
    const int right = left + outline.width(), bottom = top + outline.height();
    // Every pixel of the outline once.
    stroke(true, top, left, right);
    if (bottom - top > 1)
        stroke(true, bottom - 1, left, right);
    if (bottom - top > 2) {
        stroke(false, left, top + 1, bottom - 1);
        if (right - left > 1)
            stroke(false, right - 1, top + 1, bottom - 1);
    }
}

} // namespace chart
