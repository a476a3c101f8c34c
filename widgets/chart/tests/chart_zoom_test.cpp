#include "tests/support/ScreenPicture.h"
#include "widgets/chart/Chart.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// A chart with one diagonal line, laid out once, driven by synthetic mouse events.
class ZoomAndScroll : public ::testing::Test {
protected:
    ZoomAndScroll() {
        chart.resize(400, 300);
        chart.SetPanelColor(0xFFFFFF);
        for (int i = 0; i <= 100; ++i)
            series.AddPoint(i, i, "", 0x0000FF);
        chart.OnZoom = [this](TChart&) { ++zooms; };
        chart.OnUndoZoom = [this](TChart&) { ++undos; };
        chart.OnScroll = [this](TChart&) { ++scrolls; };
        chart.Draw();
    }

    void Mouse(QEvent::Type type, Qt::MouseButton button, QPoint p, Qt::MouseButtons held,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent event(type, QPointF(p), chart.mapToGlobal(QPointF(p)), button, held, modifiers);
        QApplication::sendEvent(&chart, &event);
    }
    void Drag(Qt::MouseButton button, QPoint from, QPoint to,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        Mouse(QEvent::MouseButtonPress, button, from, button, modifiers);
        Mouse(QEvent::MouseMove, Qt::NoButton, to, button, modifiers);
        Mouse(QEvent::MouseButtonRelease, button, to, Qt::NoButton, modifiers);
        chart.Draw();
    }
    void Wheel(int delta) {
        QWheelEvent event(QPointF(200, 150), chart.mapToGlobal(QPointF(200, 150)), QPoint(),
                          QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&chart, &event);
    }
    TChartAxis& Bottom() { return chart.BottomAxis(); }
    TChartAxis& Left() { return chart.LeftAxis(); }

    TChart chart;
    TLineSeries& series = chart.AddSeries();
    int zooms = 0, undos = 0, scrolls = 0;
};

TEST_F(ZoomAndScroll, DragRightAndDownZoomsIntoTheRectangle) {
    const chart::TAxisMap h = Bottom().Map(), v = Left().Map();
    Drag(Qt::LeftButton, {100, 80}, {200, 180});
    EXPECT_DOUBLE_EQ(Bottom().Minimum(), h.ToValue(100));
    EXPECT_DOUBLE_EQ(Bottom().Maximum(), h.ToValue(200));
    EXPECT_DOUBLE_EQ(Left().Minimum(), v.ToValue(180));
    EXPECT_DOUBLE_EQ(Left().Maximum(), v.ToValue(80));
    EXPECT_FALSE(Bottom().Automatic());
    EXPECT_TRUE(chart.Zoomed());
    EXPECT_EQ(zooms, 1);
    EXPECT_FALSE(chart.Zoom().Active);
}

TEST_F(ZoomAndScroll, AnimatedZoomEndsOnTheSameRanges) {
    const chart::TAxisMap h = Bottom().Map();
    chart.AnimatedZoom = true;
    int redraws = 0;
    chart.OnAfterDraw = [&](TChart&) { ++redraws; };
    chart.show();
    chart.RequestRepaint();
    QElapsedTimer deadline;
    deadline.start();
    while (chart.ImageStale() && deadline.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    redraws = 0;
    Drag(Qt::LeftButton, {100, 80}, {200, 180});
    EXPECT_DOUBLE_EQ(Bottom().Minimum(), h.ToValue(100));
    EXPECT_DOUBLE_EQ(Bottom().Maximum(), h.ToValue(200));
    EXPECT_GE(redraws, chart.AnimatedZoomSteps - 1) << "each step is shown at once";
    EXPECT_EQ(zooms, 1);
}

TEST_F(ZoomAndScroll, DragOfSixteenPixelsOrLessDoesNothing) {
    Drag(Qt::LeftButton, {100, 80}, {116, 180});
    Drag(Qt::LeftButton, {100, 80}, {200, 96});
    EXPECT_TRUE(Bottom().Automatic());
    EXPECT_TRUE(Left().Automatic());
    EXPECT_EQ(zooms + undos, 0);
}

TEST_F(ZoomAndScroll, DragAnyOtherWayUndoesTheZoom) {
    for (auto [to, rule] : {std::pair(QPoint{50, 30}, "UpLeft"),
                            {QPoint{200, 30}, "UpRight"},
                            {QPoint{50, 180}, "DownLeft"}}) {
        Drag(Qt::LeftButton, {100, 80}, {200, 180});
        ASSERT_FALSE(Bottom().Automatic());
        Drag(Qt::LeftButton, {100, 80}, to);
        EXPECT_TRUE(Bottom().Automatic()) << rule;
        EXPECT_TRUE(Left().Automatic()) << rule;
        EXPECT_FALSE(chart.Zoomed()) << rule;
    }
    EXPECT_EQ(undos, 3);
}

TEST_F(ZoomAndScroll, OneUndoReturnsToTheScalingBeforeTheFirstZoom) {
    Left().SetMinMax(-10, 200);
    chart.Draw();
    Drag(Qt::LeftButton, {100, 80}, {200, 180});
    Drag(Qt::LeftButton, {100, 80}, {200, 180});
    Drag(Qt::RightButton, {150, 150}, {170, 160});
    chart.UndoZoom();
    EXPECT_TRUE(Bottom().Automatic());
    EXPECT_FALSE(Left().Automatic());
    EXPECT_EQ(Left().Minimum(), -10);
    EXPECT_EQ(Left().Maximum(), 200);
    chart.UndoZoom();
    EXPECT_EQ(undos, 2) << "an undo with nothing saved only repaints";
    EXPECT_EQ(Left().Minimum(), -10);
}

TEST_F(ZoomAndScroll, NewPointsOutsideAZoomWaitForTheUndo) {
    Drag(Qt::LeftButton, {100, 80}, {200, 180});
    const double maximum = Bottom().Maximum();
    series.AddPoint(500, 500, "", 0x0000FF);
    chart.Draw();
    EXPECT_EQ(Bottom().Maximum(), maximum);
    chart.UndoZoom();
    chart.Draw();
    EXPECT_EQ(Bottom().Maximum(), 500);
}

TEST_F(ZoomAndScroll, RightDragMovesTheDataWithThePointer) {
    // Each direction on its own: a vertical move may change the left labels' width and
    // with it the plot's left edge.
    const double atStart = Bottom().Map().ToValue(150);
    Mouse(QEvent::MouseButtonPress, Qt::RightButton, {150, 120}, Qt::RightButton);
    Mouse(QEvent::MouseMove, Qt::NoButton, {190, 120}, Qt::RightButton);
    Mouse(QEvent::MouseMove, Qt::NoButton, {210, 120}, Qt::RightButton);
    chart.Draw();
    EXPECT_EQ(Bottom().Map().ToPixel(atStart), 210);
    Mouse(QEvent::MouseMove, Qt::NoButton, {150, 120}, Qt::RightButton);
    chart.Draw();
    EXPECT_EQ(Bottom().Map().ToPixel(atStart), 150) << "and back to the left";
    EXPECT_EQ(scrolls, 3);

    const double rowValue = Left().Map().ToValue(120);
    Mouse(QEvent::MouseMove, Qt::NoButton, {150, 100}, Qt::RightButton);
    chart.Draw();
    EXPECT_EQ(Left().Map().ToPixel(rowValue), 100);
}

TEST_F(ZoomAndScroll, ScrollingEndsOutsideThePlotOrOnAnyRelease) {
    Mouse(QEvent::MouseButtonPress, Qt::RightButton, {150, 120}, Qt::RightButton);
    Mouse(QEvent::MouseMove, Qt::NoButton, {chart.PlotRect().Right + 5, 120}, Qt::RightButton);
    EXPECT_FALSE(chart.Panning().Active);
    Mouse(QEvent::MouseMove, Qt::NoButton, {160, 120}, Qt::RightButton);
    EXPECT_EQ(scrolls, 0);

    Mouse(QEvent::MouseButtonPress, Qt::RightButton, {150, 120}, Qt::RightButton);
    Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, {150, 120}, Qt::RightButton);
    EXPECT_FALSE(chart.Panning().Active) << "releasing the other button ends it too";
}

TEST_F(ZoomAndScroll, AllowScrollMayRefuseAnAxis) {
    chart.OnAllowScroll = [](TChartAxis& axis, double&, double&, bool& allow) {
        allow = !axis.Horizontal();
    };
    Drag(Qt::RightButton, {150, 120}, {190, 140});
    EXPECT_TRUE(Bottom().Automatic());
    EXPECT_FALSE(Left().Automatic());
}

TEST_F(ZoomAndScroll, PressInTheMarginStartsNothing) {
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, {chart.width() - 2, 2}, Qt::LeftButton);
    EXPECT_FALSE(chart.Zoom().Active);
    EXPECT_EQ(chart.HitTest({chart.width() - 2, 2}), TChartHit::None);
    const int axisRow = Bottom().AxisLinePosition() + 2;
    EXPECT_EQ(chart.HitTest({150, axisRow}), TChartHit::Axis);
    EXPECT_EQ(chart.HitTest({Bottom().Map().ToPixel(50), Left().Map().ToPixel(50)}),
              TChartHit::Series);
}

TEST_F(ZoomAndScroll, WheelStepsThreePercentAndUndoingTheZoomReturnsToTheScaleBefore) {
    const double low = Left().Map().Minimum, high = Left().Map().Maximum;
    Wheel(-120);
    EXPECT_DOUBLE_EQ(Left().Minimum(), low + (high - low) * 0.03);
    EXPECT_DOUBLE_EQ(Left().Maximum(), high + (high - low) * 0.03);
    EXPECT_TRUE(Bottom().Automatic()) << "only the vertical axes move";
    Wheel(60);
    Wheel(60);
    EXPECT_DOUBLE_EQ(Left().Minimum(), low) << "two half notches make one";
    Drag(Qt::LeftButton, {100, 80}, {200, 180});
    Drag(Qt::LeftButton, {200, 180}, {100, 80});
    EXPECT_TRUE(Left().Automatic()) << "the undo drag restores the scale before the wheel";
    series.AddPoint(101, 300, "", 0x0000FF);
    chart.Draw();
    EXPECT_EQ(Left().Map().Maximum, 300) << "and the axis follows the data again";
}

TEST_F(ZoomAndScroll, WheelLeavesAnAxisWithoutARangeAlone) {
    series.Clear();
    chart.Draw();
    ASSERT_EQ(Left().Map().Range(), 0);
    Wheel(-120);
    EXPECT_TRUE(Left().Automatic());
    EXPECT_TRUE(chart.RightAxis().Automatic());
    series.AddPoint(0, -5, "", 0x0000FF);
    series.AddPoint(1, 50, "", 0x0000FF);
    chart.Draw();
    EXPECT_EQ(Left().Map().Minimum, -5) << "data opened after the notch are shown whole";
    EXPECT_EQ(Left().Map().Maximum, 50);
}

TEST_F(ZoomAndScroll, NestedZoomsToTheNarrowestRangeKeepTheLabelsOnTheirAxes) {
    for (int i = 0; i < 40 && Left().Map().Range() > 2e-10; ++i)
        Drag(Qt::LeftButton, {150, 100}, {250, 200});
    ASSERT_LT(Left().Map().Range(), 2e-10);
    const QImage picture = chart.Draw().copy();
    const int below = Bottom().LabelPosition() + QFontMetrics(Bottom().LabelsFont()).height();
    // Inside the panel's one-pixel bevel.
    for (int y = below; y < picture.height() - 1; ++y)
        for (int x = 1; x < picture.width() - 1; ++x)
            ASSERT_EQ(picture.pixel(x, y), 0xFFFFFFFFu)
                << "nothing below the bottom labels at " << x << "," << y;
}

TEST_F(ZoomAndScroll, RectangleIsDrawnOverTheCachedImageAndLeavesNoTrace) {
    const QImage before = chart.Draw().copy();
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, {100, 80}, Qt::LeftButton);
    Mouse(QEvent::MouseMove, Qt::NoButton, {180, 160}, Qt::LeftButton);
    const QImage dragging = chart.grab().toImage();
    // Its four sides, up to the pointer's row and column, in dashes of black and white.
    for (const auto& [x0, y0, dx, dy] :
         {std::array{100, 80, 1, 0}, {100, 159, 1, 0}, {100, 81, 0, 1}, {179, 81, 0, 1}}) {
        const int length = dx ? 80 : 78;
        int black = 0, run = 0;
        for (int i = 0; i < length; ++i) {
            const QRgb pixel = dragging.pixel(x0 + i * dx, y0 + i * dy);
            ASSERT_TRUE(pixel == 0xFF000000u || pixel == 0xFFFFFFFFu)
                << x0 << "," << y0 << " " << i;
            const bool dark = pixel == 0xFF000000u;
            run = i > 0 && dark ==
                               (dragging.pixel(x0 + (i - 1) * dx, y0 + (i - 1) * dy) == 0xFF000000u)
                      ? run + 1
                      : 1;
            ASSERT_LE(run, 4) << "dashes of four pixels";
            black += dark;
        }
        EXPECT_NEAR(black, length / 2, 2) << "half of each side is black on the white panel";
    }
    EXPECT_EQ(dragging.pixel(180, 120), before.pixel(180, 120)) << "the pointer's column is not";
    EXPECT_EQ(dragging.pixel(140, 120), before.pixel(140, 120)) << "the inside is untouched";
    EXPECT_FALSE(chart.ImageStale()) << "moving the rectangle redraws nothing";
    Mouse(QEvent::MouseMove, Qt::NoButton, {110, 90}, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, {110, 90}, Qt::NoButton);
    EXPECT_EQ(chart.grab().toImage().convertToFormat(before.format()), before);
}

TEST_F(ZoomAndScroll, ShiftDragSelectsAShadedSpanAndChangesNoAxis) {
    int selections = 0;
    chart.OnSelect = [&](TChart&) { ++selections; };
    const TAxisScale bottom = Bottom().Scale(), left = Left().Scale();
    const chart::TAxisMap h = Bottom().Map();
    const QImage before = chart.grab().toImage();

    Drag(Qt::LeftButton, {100, 80}, {200, 180}, Qt::ShiftModifier);
    EXPECT_FALSE(chart.Selection()) << "a chart that does not allow selections";
    EXPECT_EQ(zooms, 0) << "nor does Shift zoom there";

    chart.AllowSelection = true;
    // Right and down would zoom, left and up would undo: with Shift both select.
    for (const auto& [from, to] : {std::pair(QPoint(100, 80), QPoint(200, 180)),
                                   std::pair(QPoint(200, 180), QPoint(100, 80))}) {
        Drag(Qt::LeftButton, from, to, Qt::ShiftModifier);
        ASSERT_TRUE(chart.Selection());
        EXPECT_DOUBLE_EQ(chart.Selection()->From, h.ToValue(100));
        EXPECT_DOUBLE_EQ(chart.Selection()->To, h.ToValue(200));
    }
    EXPECT_EQ(selections, 2);
    EXPECT_EQ(zooms + undos + scrolls, 0);
    EXPECT_FALSE(chart.Zoomed());
    EXPECT_EQ(Bottom().Scale(), bottom);
    EXPECT_EQ(Left().Scale(), left);

    // Shaded bluish from column 100 to 200 over the plot's whole height, untouched beside.
    const QImage shaded = chart.grab().toImage();
    const chart::TRectI plot = chart.PlotRect();
    for (const int y : {plot.Top + 2, plot.Bottom - 3}) {
        for (const int x : {100, 150, 200}) {
            const QRgb was = before.pixel(x, y), is = shaded.pixel(x, y);
            EXPECT_LT(qRed(is), qRed(was)) << x << "," << y;
            EXPECT_GE(qBlue(is), qRed(is) + 20) << x << "," << y;
        }
        EXPECT_EQ(shaded.pixel(99, y), before.pixel(99, y));
        EXPECT_EQ(shaded.pixel(201, y), before.pixel(201, y));
    }

    // The shade stays on its values when the plot zooms, and goes when the selection does.
    Drag(Qt::LeftButton, {150, 80}, {300, 180});
    EXPECT_EQ(zooms, 1);
    const int from = Bottom().Map().ToPixel(chart.Selection()->From);
    const QImage zoomed = chart.grab().toImage();
    EXPECT_GE(qBlue(zoomed.pixel(from + 5, plot.Top + 2)),
              qRed(zoomed.pixel(from + 5, plot.Top + 2)) + 20);
    EXPECT_EQ(zoomed.pixel(from - 5, plot.Top + 2), before.pixel(from - 5, plot.Top + 2));
    chart.SetSelection(std::nullopt);
    EXPECT_EQ(chart.grab().toImage().pixel(from + 5, plot.Top + 2),
              before.pixel(from + 5, plot.Top + 2));
}

// The contrast of two colours as the accessibility guidelines measure it, from 1 (the same)
// to 21 (black on white); graphical objects need 3 to be seen plainly.
double Contrast(QRgb a, QRgb b) {
    auto luminance = [](QRgb c) {
        auto channel = [](int v) {
            const double s = v / 255.0;
            return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The rectangle must stand out wherever it runs: on the panel's own light grey and over the
// series' lines, light ones included.
TEST(ZoomRectangle, StandsOutOnThePanelAndOverTheSeries) {
    TChart chart;
    chart.resize(400, 300);
    for (const TColor colour : {0x00FFFFu, 0xFFFFFFu, 0x808080u, 0x0000FFu}) {
        TLineSeries& series = chart.AddSeries();
        for (int i = 0; i <= 300; ++i)
            series.AddPoint(i, (i * 7 + colour % 97) % 23, "", colour);
    }
    chart.show();
    auto waitFor = [&](auto condition) {
        QElapsedTimer deadline;
        deadline.start();
        while (!condition() && deadline.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return condition();
    };
    ASSERT_TRUE(waitFor([&] { return !chart.ImageStale(); }));
    const QImage before = OnScreen(chart);
    const chart::TRectI plot = chart.PlotRect();
    const QPoint from(plot.Left + 30, plot.Top + 20), to(chart.width() - 5, chart.height() - 5);
    for (auto [type, p, button] : {std::tuple(QEvent::MouseButtonPress, from, Qt::LeftButton),
                                   {QEvent::MouseMove, to, Qt::NoButton}}) {
        QMouseEvent event(type, QPointF(p), chart.mapToGlobal(QPointF(p)), button, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&chart, &event);
    }
    ASSERT_TRUE(waitFor([&] { return OnScreen(chart) != before; }));
    const QImage dragging = OnScreen(chart);

    // The four sides of the outline, each walked pixel by pixel.
    std::vector<std::vector<QPoint>> sides(4);
    for (int x = from.x(); x < to.x(); ++x) {
        sides[0].emplace_back(x, from.y());
        sides[1].emplace_back(x, to.y() - 1);
    }
    for (int y = from.y() + 1; y < to.y() - 1; ++y) {
        sides[2].emplace_back(from.x(), y);
        sides[3].emplace_back(to.x() - 1, y);
    }
    const QRgb panel = chart.palette().color(QPalette::Window).rgb();
    int onPanel = 0, onLines = 0, pixels = 0, plain = 0;
    for (const std::vector<QPoint>& side : sides) {
        int faded = 0;
        for (const QPoint p : side) {
            const QRgb under = before.pixel(p);
            const bool inside = plot.Contains(p.x(), p.y());
            onPanel += !inside;
            onLines += inside && under != panel;
            const bool standsOut = Contrast(dragging.pixel(p), under) >= 3;
            ++pixels;
            plain += standsOut;
            faded = standsOut ? 0 : faded + 1;
            ASSERT_LE(faded, 4) << "the outline fades into what lies under it at " << p.x() << ","
                                << p.y();
        }
    }
    EXPECT_GT(onPanel, 300) << "the drag reaches over the panel's margins";
    EXPECT_GT(onLines, 20) << "and over the lines";
    EXPECT_GE(plain * 5, pixels * 2);
    EXPECT_EQ(dragging.pixel(from + QPoint(20, 20)), before.pixel(from + QPoint(20, 20)));
}

} // namespace
