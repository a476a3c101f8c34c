#pragma once

#include "widgets/chart/ChartAxis.h"
#include "widgets/chart/ChartCanvas.h"
#include "widgets/chart/ChartGestures.h"
#include "widgets/chart/ChartItem.h"
#include "widgets/chart/ChartLayout.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// A plot of Y against X on a bottom and a left axis, made of the chart's parts: the layout
// places the axes over the items, the canvas draws the picture, the gestures answer the mouse
// as on the chart (zoom rectangle, undo, right-drag scroll, wheel). Its items are lent to it
// and drawn in the order added. A left press and release that moves ClickSlack pixels or less
// is a click, told with the point.
class TXYPlot : public QWidget, private chart::TOwner, private chart::TGesturePlot {
    Q_OBJECT
public:
    // Presses further apart than this, in either direction, are drags, not clicks (the
    // chart's chosen frame takes the same slack).
    static constexpr int ClickSlack = 16;

    explicit TXYPlot(QWidget* parent = nullptr);
    ~TXYPlot() override;

    // item outlives the plot or is removed first; the plot becomes its owner.
    void AddItem(chart::TPlotItem& item);
    void RemoveItem(chart::TPlotItem& item);

    [[nodiscard]] TChartAxis& BottomAxis() noexcept { return bottom_; }
    [[nodiscard]] TChartAxis& LeftAxis() noexcept { return left_; }
    [[nodiscard]] const TChartAxis& BottomAxis() const noexcept { return bottom_; }
    [[nodiscard]] const TChartAxis& LeftAxis() const noexcept { return left_; }

    // Percent of the panel's width (left, right) and height (top, bottom) outside the axes.
    [[nodiscard]] const chart::TMargins& Margins() const noexcept { return margins_; }
    void SetMargins(const chart::TMargins& margins);

    // Marks the picture stale; it is drawn again at the next paint.
    void RequestRepaint();
    [[nodiscard]] bool ImageStale() const noexcept { return imageStale_; }
    // Redraws the picture for the current size now, and returns it.
    const QImage& Draw();

    void UndoZoom();
    [[nodiscard]] bool Zoomed() const noexcept { return gestures_.Zoomed(); }
    // The plot rectangle of the last layout.
    [[nodiscard]] const chart::TRectI& PlotRect() const noexcept { return plotRect_; }

signals:
    void Clicked(QPoint p);
    // A zoom, an undo or a scroll changed the axes' ranges.
    void ScalesChanged();
    // The picture was drawn anew.
    void Drawn();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void Changed(chart::TChange change) override;
    void LayOut();

    [[nodiscard]] chart::TGestureRules GestureRules() const override { return {}; }
    [[nodiscard]] bool Grabs(QPoint p) const override;
    [[nodiscard]] chart::TRectI GesturePlotRect() const override { return plotRect_; }
    void ShowZoomRectangle() override { update(); }
    void Redraw() override { RequestRepaint(); }
    void RedrawNow() override { repaint(); }
    void GestureStarted() override {}
    void AfterZoom() override { emit ScalesChanged(); }
    void AfterUndoZoom() override { emit ScalesChanged(); }
    void AfterScroll() override { emit ScalesChanged(); }
    [[nodiscard]] bool AllowScroll(TChartAxis&, double&, double&) override { return true; }

    TChartAxis bottom_;
    TChartAxis left_;
    std::array<TChartAxis*, 2> axisList_;
    std::vector<chart::TPlotItem*> items_;
    chart::TMargins margins_{1, 3, 2, 2};
    chart::TPlotCanvas canvas_;
    std::uint64_t generation_ = 0;
    bool imageStale_ = true;
    chart::TRectI plotRect_;
    std::optional<QPoint> pressedAt_;
    chart::TGestures gestures_;
};
