#pragma once

// The mouse gestures of a plot with a bottom and a left axis (and a top and a right one where
// it has them): a left drag right and down zooms into its rectangle, a left drag any other
// way undoes the zoom, a right drag moves the axes with the pointer, and the wheel moves the
// vertical axes. Zooming and scrolling fix the axes' ends; one undo restores the scales from
// before the first of them. Where the plot allows it, a left drag with Shift held selects the
// columns it passes over instead, and changes no axis.

#include "widgets/chart/ChartAxis.h"

#include <QPoint>
#include <QRect>

#include <optional>
#include <utility>
#include <vector>

class QPainter;

enum class TPanningMode { pmNone, pmHorizontal, pmVertical, pmBoth };

struct TZoomPanningRecord {
    bool Active = false;
    QPoint Start; // (X0, Y0), where the button went down
    QPoint Last;  // (X1, Y1), the latest pointer position
};

namespace chart {

// Which gestures a plot allows, and how a zoom is shown.
struct TGestureRules {
    bool AllowZoom = true;
    TPanningMode AllowPanning = TPanningMode::pmBoth;
    bool AnimatedZoom = false;
    int AnimatedZoomSteps = 8;
    bool AllowSelection = false;
};

// What the gestures need of the plot they work on.
class TGesturePlot {
public:
    [[nodiscard]] virtual TGestureRules GestureRules() const = 0;
    // Whether a press at p may start a zoom or a scroll: on an item, an axis or the plot.
    [[nodiscard]] virtual bool Grabs(QPoint p) const = 0;
    // The plot rectangle of the last layout: scrolling ends when the pointer leaves it.
    [[nodiscard]] virtual TRectI GesturePlotRect() const = 0;
    // The zoom rectangle changed: it is shown over the picture, which stays as it is.
    virtual void ShowZoomRectangle() = 0;
    // The axes changed: the plot is drawn again at its pace, or at once (the steps of an
    // animated zoom).
    virtual void Redraw() = 0;
    virtual void RedrawNow() = 0;
    // A zoom or a scroll begins: the pointer shows the plot's own cursor.
    virtual void GestureStarted() = 0;

    // After a zoom, an undo and a scroll step; before an axis scrolls to [min, max], which
    // the plot may change, or refuse by returning false.
    virtual void AfterZoom() = 0;
    virtual void AfterUndoZoom() = 0;
    virtual void AfterScroll() = 0;
    [[nodiscard]] virtual bool AllowScroll(TChartAxis& axis, double& min, double& max) = 0;

    // A selection drag moved: the columns it covers are shown over the picture.
    virtual void ShowSelection() {}
    // A selection drag ended over the plot's columns from to to, both included, from <= to.
    virtual void Select(int /*from*/, int /*to*/) {}

protected:
    ~TGesturePlot() = default;
};

class TGestures {
public:
    // The plot's horizontal axes, and its vertical ones, each in the order they scroll in.
    TGestures(TGesturePlot& plot, std::vector<TChartAxis*> horizontal,
              std::vector<TChartAxis*> vertical);

    void Press(Qt::MouseButton button, QPoint p, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void Move(QPoint p);
    void Release(Qt::MouseButton button, QPoint p);
    // A turn of the wheel by angleDelta (eighths of a degree); whether it made a whole notch.
    bool Wheel(int angleDelta);
    void UndoZoom();
    // Scrolls the horizontal axes as a drag by pixels to the left would (to the right where
    // negative): later values come in, the scales before are kept for the next undo.
    void ScrollHorizontally(double pixels);

    [[nodiscard]] bool Zoomed() const noexcept { return zoomed_; }
    [[nodiscard]] const TZoomPanningRecord& Zoom() const noexcept { return zoom_; }
    [[nodiscard]] const TZoomPanningRecord& Panning() const noexcept { return panning_; }
    // The pixels the zoom rectangle's outline runs through while a zoom is dragged: from the
    // corner where the drag began up to, not including, the pointer's row and column.
    [[nodiscard]] std::optional<QRect> ZoomRectangle() const;
    // The plot's columns a selection drag covers so far, from the one where it began to the
    // pointer's, both included and kept inside the plot; none while no selection is dragged.
    [[nodiscard]] std::optional<std::pair<int, int>> SelectionColumns() const;

private:
    [[nodiscard]] std::vector<TChartAxis*> Axes() const;
    void SaveScales();
    void ZoomIn(QRect r);
    void ScrollTo(QPoint p);
    // Moves each of axes by the values between pixels from and to, so that the data follow a
    // pointer moved from one to the other.
    void ScrollAxes(const std::vector<TChartAxis*>& axes, double from, double to);

    TGesturePlot& plot_;
    std::vector<TChartAxis*> horizontal_;
    std::vector<TChartAxis*> vertical_;
    TZoomPanningRecord zoom_;
    TZoomPanningRecord panning_;
    TZoomPanningRecord selecting_;
    std::vector<TAxisScale> savedScales_; // of Axes(), to restore at the next undo
    bool zoomed_ = false;
    int wheelRemainder_ = 0;
};

// Draws a zoom rectangle's outline over whatever lies beneath: one pixel wide, in dashes of
// black and white that stay put on the screen as the rectangle follows the pointer, so that
// half of it stands out on any background.
void DrawZoomRectangle(QPainter& painter, const QRect& outline);

} // namespace chart
