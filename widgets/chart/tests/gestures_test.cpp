// The gestures on a plot that is no chart: a bottom and a left axis with one series, laid
// out by the layout part, driven by the gestures part as a plot of another kind would be.

#include "widgets/chart/Chart.h"
#include "widgets/chart/ChartGestures.h"
#include "widgets/chart/ChartLayout.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>

#include <array>
#include <functional>
#include <vector>

namespace {

using chart::TRectI;

void Fill(TLineSeries& series) {
    for (int i = 0; i <= 100; ++i)
        series.AddPoint(i, i % 37, "", 0x0000FF);
}

class TBarePlot final : public chart::TGesturePlot {
public:
    TBarePlot() {
        Fill(series);
        LayOut();
    }
    // What a redraw does first.
    void LayOut() {
        plot = chart::LayOutAxes(chart::PlotRectFromMargins(400, 300, {}, 0), axes, items, true);
    }

    chart::TGestureRules GestureRules() const override { return {}; }
    bool Grabs(QPoint p) const override { return plot.Contains(p.x(), p.y()); }
    TRectI GesturePlotRect() const override { return plot; }
    void ShowZoomRectangle() override {}
    void Redraw() override { ++redraws; }
    void RedrawNow() override {}
    void GestureStarted() override {}
    void AfterZoom() override { events.push_back("zoom"); }
    void AfterUndoZoom() override { events.push_back("undo"); }
    void AfterScroll() override { events.push_back("scroll"); }
    bool AllowScroll(TChartAxis& axis, double&, double&) override {
        return !refuseHorizontal || !axis.Horizontal();
    }

    TChartAxis bottom{TAxisKind::Bottom};
    TChartAxis left{TAxisKind::Left};
    TLineSeries series;
    std::array<TChartAxis*, 2> axes{&bottom, &left};
    std::array<chart::TPlotItem*, 1> items{&series};
    TRectI plot;
    chart::TGestures gestures{*this, {&bottom}, {&left}};
    int redraws = 0;
    std::vector<std::string> events;
    bool refuseHorizontal = false;
};

// One input given to the bare plot and to a chart alike.
struct TInput {
    const char* name;
    std::function<void(chart::TGestures&)> bare;
    std::function<void(TChart&)> chart;
};

void Send(TChart& chart, QEvent::Type type, Qt::MouseButton button, QPoint p) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent event(type, QPointF(p), chart.mapToGlobal(QPointF(p)),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QApplication::sendEvent(&chart, &event);
}

TInput Drag(const char* name, Qt::MouseButton button, QPoint from, QPoint to) {
    return {name,
            [=](chart::TGestures& g) {
                g.Press(button, from);
                g.Move(to);
                g.Release(button, to);
            },
            [=](TChart& chart) {
                Send(chart, QEvent::MouseButtonPress, button, from);
                Send(chart, QEvent::MouseMove, button, to);
                Send(chart, QEvent::MouseButtonRelease, button, to);
            }};
}

TInput Wheel(const char* name, int delta) {
    return {name, [=](chart::TGestures& g) { g.Wheel(delta); },
            [=](TChart& chart) {
                QWheelEvent event(QPointF(200, 150), chart.mapToGlobal(QPointF(200, 150)), QPoint(),
                                  QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                                  false);
                QApplication::sendEvent(&chart, &event);
            }};
}

TEST(Gestures, OnAPlotOfAnotherKindTheSameInputsGiveTheChartsRanges) {
    TBarePlot bare;
    TChart chart;
    chart.resize(400, 300);
    Fill(chart.AddSeries());
    chart.Draw();
    const TInput inputs[] = {
        Drag("zoom in", Qt::LeftButton, {100, 80}, {250, 200}),
        Drag("zoom in again", Qt::LeftButton, {120, 100}, {300, 220}),
        Drag("too small to count", Qt::LeftButton, {100, 80}, {110, 200}),
        Drag("scroll", Qt::RightButton, {150, 120}, {190, 100}),
        Wheel("wheel down", -120),
        Wheel("wheel up twice", 240),
        Drag("undo", Qt::LeftButton, {250, 200}, {100, 80}),
        Wheel("wheel after the undo", -120),
        Drag("scroll out of the plot ends", Qt::RightButton, {150, 120}, {395, 120}),
    };
    for (const TInput& input : inputs) {
        input.bare(bare.gestures);
        bare.LayOut();
        input.chart(chart);
        chart.Draw();
        EXPECT_EQ(bare.bottom.Scale(), chart.BottomAxis().Scale()) << input.name;
        EXPECT_EQ(bare.left.Scale(), chart.LeftAxis().Scale()) << input.name;
        EXPECT_EQ(bare.gestures.Zoomed(), chart.Zoomed()) << input.name;
    }
    EXPECT_EQ(bare.events, (std::vector<std::string>{"zoom", "zoom", "scroll", "undo"}));
}

TEST(Gestures, UndoRestoresTheScalesFromBeforeTheFirstZoomScrollOrWheel) {
    TBarePlot bare;
    const TAxisScale bottom = bare.bottom.Scale(), left = bare.left.Scale();
    bare.gestures.Wheel(-120);
    bare.LayOut();
    Drag("", Qt::LeftButton, {100, 80}, {250, 200}).bare(bare.gestures);
    bare.LayOut();
    Drag("", Qt::RightButton, {150, 120}, {170, 130}).bare(bare.gestures);
    ASSERT_FALSE(bare.left.Automatic());
    bare.gestures.UndoZoom();
    EXPECT_EQ(bare.bottom.Scale(), bottom);
    EXPECT_EQ(bare.left.Scale(), left);
    EXPECT_FALSE(bare.gestures.Zoomed());
}

TEST(Gestures, APressThePlotDoesNotGrabStartsNothingAndARefusedAxisStays) {
    TBarePlot bare;
    bare.gestures.Press(Qt::LeftButton, {2, 2});
    EXPECT_FALSE(bare.gestures.Zoom().Active);
    EXPECT_FALSE(bare.gestures.ZoomRectangle());
    bare.refuseHorizontal = true;
    const TAxisScale bottom = bare.bottom.Scale();
    Drag("", Qt::RightButton, {150, 120}, {190, 140}).bare(bare.gestures);
    EXPECT_EQ(bare.bottom.Scale(), bottom);
    EXPECT_FALSE(bare.left.Automatic());
}

TEST(Gestures, TheZoomRectangleRunsFromTheStartToJustShortOfThePointer) {
    TBarePlot bare;
    bare.gestures.Press(Qt::LeftButton, {200, 150});
    bare.gestures.Move({120, 190});
    EXPECT_EQ(bare.gestures.ZoomRectangle(), QRect(120, 150, 80, 40)) << "dragged left and down";
    bare.gestures.Move({200, 190});
    EXPECT_FALSE(bare.gestures.ZoomRectangle()) << "no width, no rectangle";
    bare.gestures.Release(Qt::LeftButton, {200, 190});
    EXPECT_FALSE(bare.gestures.ZoomRectangle());
}

} // namespace
