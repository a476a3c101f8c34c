// The XY plot: the chart's gestures on it give the chart's ranges for the same mouse input,
// and a left press released within the slack is a click, a drag is none.

#include "widgets/chart/Chart.h"
#include "widgets/chart/XYPlot.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>

#include <functional>
#include <vector>

namespace {

void Fill(TLineSeries& series) {
    for (int i = 0; i <= 100; ++i)
        series.AddPoint(i, i % 37, "", 0x0000FF);
}

void Send(QWidget& widget, QEvent::Type type, Qt::MouseButton button, QPoint p) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent event(type, QPointF(p), widget.mapToGlobal(QPointF(p)),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

void Drag(QWidget& widget, Qt::MouseButton button, QPoint from, QPoint to) {
    Send(widget, QEvent::MouseButtonPress, button, from);
    Send(widget, QEvent::MouseMove, button, to);
    Send(widget, QEvent::MouseButtonRelease, button, to);
}

void Wheel(QWidget& widget, int delta) {
    QWheelEvent event(QPointF(200, 150), widget.mapToGlobal(QPointF(200, 150)), QPoint(),
                      QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &event);
}

// The same points on a chart and on an XY plot laid out alike.
class XYPlotTest : public ::testing::Test {
protected:
    XYPlotTest() {
        chart.resize(400, 300);
        Fill(chart.AddSeries());
        chart.Draw();
        plot.resize(400, 300);
        plot.SetMargins(chart.Margins());
        Fill(series);
        plot.AddItem(series);
        plot.Draw();
    }
    ~XYPlotTest() override { plot.RemoveItem(series); }

    TChart chart;
    TLineSeries series;
    TXYPlot plot;
};

TEST_F(XYPlotTest, TheSameInputsGiveTheChartsRanges) {
    struct TInput {
        const char* name;
        std::function<void(QWidget&)> send;
    };
    const TInput inputs[] = {
        {"zoom in",
         [](QWidget& w) {
             Drag(w, Qt::LeftButton, {100, 80}, {250, 200});
         }},
        {"zoom in again",
         [](QWidget& w) {
             Drag(w, Qt::LeftButton, {120, 100}, {300, 220});
         }},
        {"too small to count",
         [](QWidget& w) {
             Drag(w, Qt::LeftButton, {100, 80}, {110, 200});
         }},
        {"scroll",
         [](QWidget& w) {
             Drag(w, Qt::RightButton, {150, 120}, {190, 100});
         }},
        {"wheel down", [](QWidget& w) { Wheel(w, -120); }},
        {"wheel up twice", [](QWidget& w) { Wheel(w, 240); }},
        {"undo",
         [](QWidget& w) {
             Drag(w, Qt::LeftButton, {250, 200}, {100, 80});
         }},
        {"scroll out of the plot",
         [](QWidget& w) {
             Drag(w, Qt::RightButton, {150, 120}, {395, 120});
         }},
    };
    int scales = 0;
    QObject::connect(&plot, &TXYPlot::ScalesChanged, [&] { ++scales; });
    for (const TInput& input : inputs) {
        input.send(chart);
        chart.Draw();
        input.send(plot);
        plot.Draw();
        EXPECT_EQ(plot.BottomAxis().Scale(), chart.BottomAxis().Scale()) << input.name;
        EXPECT_EQ(plot.LeftAxis().Scale(), chart.LeftAxis().Scale()) << input.name;
        EXPECT_EQ(plot.Zoomed(), chart.Zoomed()) << input.name;
    }
    // Two zooms, a scroll, two wheel turns, an undo.
    EXPECT_EQ(scales, 6);
}

TEST_F(XYPlotTest, AClickIsAPressReleasedWithinTheSlackOnThePlot) {
    std::vector<QPoint> clicks;
    QObject::connect(&plot, &TXYPlot::Clicked, [&](QPoint p) { clicks.push_back(p); });
    Drag(plot, Qt::LeftButton, {200, 150}, {200 + TXYPlot::ClickSlack, 150 - TXYPlot::ClickSlack});
    EXPECT_EQ(clicks, std::vector<QPoint>{QPoint(216, 134)});
    Drag(plot, Qt::LeftButton, {200, 150}, {200, 150 + TXYPlot::ClickSlack + 1});
    Drag(plot, Qt::RightButton, {200, 150}, {200, 150});
    Drag(plot, Qt::LeftButton, {2, 2}, {2, 2}); // off the plot, on the panel
    EXPECT_EQ(clicks.size(), 1u);
    EXPECT_FALSE(plot.Zoomed());
}

} // namespace
