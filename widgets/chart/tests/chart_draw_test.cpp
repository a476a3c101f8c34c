#include "tests/support/ScreenPicture.h"
#include "widgets/chart/Chart.h"
#include "widgets/chart/ChartRaster.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPalette>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace {

using chart::TRectI;

constexpr TColor Red = 0x0000FF, Blue = 0xFF0000, Green = 0x008000;

// A chart whose axes are fixed to 0..100, so that point pixels are known.
class ChartPicture : public ::testing::Test {
protected:
    ChartPicture() {
        chart.resize(400, 300);
        chart.SetPanelColor(0xFFFFFF);
        for (TChartAxis* axis : {&chart.BottomAxis(), &chart.LeftAxis()}) {
            axis->SetMinMax(0, 100);
            TAxisPen grid = axis->Grid();
            grid.Visible = false;
            axis->SetGrid(grid);
        }
    }
    QImage Picture() { return chart.Draw().copy(); }
    QPoint At(double x, double y) {
        return {chart.BottomAxis().Map().ToPixel(x), chart.LeftAxis().Map().ToPixel(y)};
    }
    QRgb Pixel(double x, double y) { return Picture().pixel(At(x, y)); }

    TChart chart;
    TLineSeries& series = chart.AddSeries();
};

TEST_F(ChartPicture, SegmentTakesTheColourOfItsEndPoint) {
    series.AddPoint(10, 50, "", Red);
    series.AddPoint(50, 50, "", Blue);
    series.AddPoint(90, 50, "", Green);
    EXPECT_EQ(Pixel(30, 50), chart::ToRgb(Blue));
    EXPECT_EQ(Pixel(70, 50), chart::ToRgb(Green));
    EXPECT_EQ(Pixel(10, 50), chart::ToRgb(Blue)) << "a line covers its first point";
}

TEST_F(ChartPicture, NullPointBreaksTheLine) {
    series.AddPoint(10, 50, "", Red);
    series.AddPoint(50, 50, "", clNone);
    series.AddPoint(90, 50, "", Red);
    series.AddPoint(95, 60, "", Red);
    EXPECT_EQ(Pixel(30, 50), 0xFFFFFFFFu) << "no segment into a null point";
    EXPECT_EQ(Pixel(70, 50), 0xFFFFFFFFu) << "no segment out of it";
    EXPECT_EQ(Pixel(90, 50), chart::ToRgb(Red)) << "the line resumes after it";
}

TEST_F(ChartPicture, SinglePointOrOnePixelDrawsNothing) {
    const QImage empty = Picture();
    series.AddPoint(50, 50, "", Red);
    EXPECT_EQ(Picture(), empty);
    series.AddPoint(50, 50, "", Red);
    EXPECT_EQ(Picture(), empty) << "points on one pixel give no line";
}

TEST_F(ChartPicture, LineEntersFromTheLeftEdgeAtTheInterpolatedHeight) {
    series.AddPoint(-100, 0, "", Red);
    series.AddPoint(100, 100, "", Red);
    const QImage entered = Picture();
    const int column = chart.PlotRect().Left + 1;
    const int row = chart.LeftAxis().Map().ToPixel(50);
    auto redNear = [&](const QImage& picture) {
        for (int y = row - 2; y <= row + 2; ++y)
            if (picture.pixel(column, y) == chart::ToRgb(Red))
                return true;
        return false;
    };
    EXPECT_TRUE(redNear(entered));

    series.Clear();
    series.AddPoint(-100, 0, "", clNone);
    series.AddPoint(100, 100, "", Red);
    EXPECT_FALSE(redNear(Picture())) << "no entry from a null point";
}

TEST_F(ChartPicture, LinesStayInsideThePlotInterior) {
    const QImage empty = Picture();
    std::mt19937 random(3);
    std::uniform_real_distribution<double> wide(-500, 600);
    for (int i = 0; i < 400; ++i)
        series.AddPoint(i - 150, wide(random), "", Red);
    const QImage picture = Picture();
    const TRectI p = chart.PlotRect();
    int inside = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixel(x, y) != empty.pixel(x, y)) {
                ASSERT_TRUE(x > p.Left && x < p.Right && y > p.Top && y < p.Bottom - 1)
                    << x << "," << y;
                ++inside;
            }
    EXPECT_GT(inside, 1000);
}

// A series that holds the smallest or the largest value of its axis and nothing else lies on
// the plot's edge, under the bottom axis line or the frame; it is drawn on the nearest row
// that shows, and the axis keeps the range and labels the data give it.
struct EdgeCase {
    const char* rule;
    double value;
    int (*row)(const TRectI& plot);
    friend void PrintTo(const EdgeCase& c, std::ostream* os) { *os << c.rule; }
};

class SeriesOnTheRangesEnd : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(SeriesOnTheRangesEnd, IsDrawnOnTheNearestRowThatShows) {
    TChart chart;
    chart.resize(400, 300);
    chart.SetPanelColor(0xFFFFFF);
    TLineSeries& wide = chart.AddSeries();
    TLineSeries& flat = chart.AddSeries();
    for (int i = 0; i <= 100; ++i) {
        wide.AddPoint(i, 10 + i % 81, "", Red);
        flat.AddPoint(i, GetParam().value, "", Blue);
    }
    const QImage picture = chart.Draw().copy();
    EXPECT_EQ(chart.LeftAxis().Map().Minimum, 10);
    EXPECT_EQ(chart.LeftAxis().Map().Maximum, 90);
    const TRectI plot = chart.PlotRect();
    const int row = GetParam().row(plot);
    int blue = 0;
    for (int x = plot.Left + 1; x < plot.Right; ++x)
        blue += picture.pixel(x, row) == chart::ToRgb(Blue);
    EXPECT_GT(blue, plot.Width() / 2) << "on row " << row;

    flat.SetActive(false);
    const QImage without = chart.Draw().copy();
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            if (picture.pixel(x, y) != without.pixel(x, y)) {
                ASSERT_EQ(picture.pixel(x, y), chart::ToRgb(Blue))
                    << "axes, labels and the other line stay as they were, at " << x << "," << y;
            }
        }
}

INSTANTIATE_TEST_SUITE_P(
    Chart, SeriesOnTheRangesEnd,
    ::testing::Values(EdgeCase{"OnTheMinimum", 10, [](const TRectI& p) { return p.Bottom - 2; }},
                      EdgeCase{"OnTheMaximum", 90, [](const TRectI& p) { return p.Top + 1; }}),
    [](const auto& info) { return std::string(info.param.rule); });

TEST(ChartAxes, HiddenDataWithEmptyActiveSeriesRunsFromZeroToZero) {
    TChart chart;
    chart.resize(400, 300);
    TLineSeries& data = chart.AddSeries();
    chart.AddSeries(); // stays empty and active
    data.AddPoint(5, 500);
    data.AddPoint(9, 900);
    data.SetActive(false);
    chart.Draw();
    for (TChartAxis* axis : {&chart.BottomAxis(), &chart.LeftAxis()}) {
        EXPECT_EQ(axis->Map().Minimum, 0);
        EXPECT_EQ(axis->Map().Maximum, 0);
        EXPECT_TRUE(axis->Shown());
        EXPECT_EQ(axis->LabelText(0), "0");
    }
}

TEST(ChartAxes, AxisWithoutActiveSeriesDisappearsButKeepsItsRange) {
    TChart chart;
    chart.resize(400, 300);
    TLineSeries& data = chart.AddSeries();
    data.AddPoint(5, 500);
    data.AddPoint(9, 900);
    chart.Draw();
    const TRectI withAxes = chart.PlotRect();
    data.SetActive(false);
    chart.Draw();
    EXPECT_FALSE(chart.LeftAxis().Shown());
    EXPECT_FALSE(chart.BottomAxis().Shown());
    EXPECT_EQ(chart.LeftAxis().Map().Minimum, 500) << "inactive series still scale the axis";
    EXPECT_EQ(chart.LeftAxis().Map().Maximum, 900);
    EXPECT_EQ(chart.PlotRect(), chart::PlotRectFromMargins(400, 300, {}, 0))
        << "hidden axes reserve no room";
    EXPECT_LT(withAxes.Width(), chart.PlotRect().Width());
}

TEST(ChartAxes, BandsTakeLabelHeightAndWidestLabelPlusTicks) {
    TChart chart;
    chart.resize(1001, 473);
    chart.SetMargins({1, 0, 1, 6});
    TLineSeries& data = chart.AddSeries();
    data.AddPoint(0, 800);
    data.AddPoint(1000, 6000);
    chart.Draw();
    const QFontMetrics metrics(chart.LeftAxis().LabelsFont());
    EXPECT_EQ(chart.PlotRect().Bottom, 445 - metrics.height() - 6);
    EXPECT_EQ(chart.BottomAxis().LabelPosition(), 445 - metrics.height());
    const int widest = metrics.horizontalAdvance(QStringLiteral("6,000 "));
    EXPECT_NEAR(chart.PlotRect().Left, 10 + widest + 6, 1);
    EXPECT_EQ(chart.BottomAxis().Map().ToPixel(0), chart.PlotRect().Left)
        << "the data end exactly on the axis ends";
}

TEST(ChartAxes, DateTimeFormatNeedsADateTimeSeries) {
    TChart chart;
    chart.resize(400, 300);
    chart.BottomAxis().SetDateTimeFormat(QStringLiteral("nn:ss"));
    TLineSeries& plain = chart.AddSeries();
    TLineSeries& dated = chart.AddSeries();
    dated.XValues.DateTime = true;
    plain.AddPoint(0, 1);
    plain.AddPoint(2000, 2);
    chart.Draw();
    EXPECT_FALSE(chart.BottomAxis().IsDateTime());
    EXPECT_EQ(chart.BottomAxis().LabelText(2000), "2,000");
    plain.SetActive(false);
    chart.Draw();
    EXPECT_TRUE(chart.BottomAxis().IsDateTime()) << "the first active series decides";
}

// The column-span drawing against segment-by-segment drawing, on random series.
struct FastCase {
    const char* rule;
    int width, height;
    double xFrom, xTo; // visible part of 0..1 of the X extent
    double yWindow;    // part of the Y extent shown, outliers aside
};

class FastDrawing : public ::testing::TestWithParam<FastCase> {};

// Random series with their Y extent, outliers aside.
struct RandomSeries {
    TLineSeries series;
    double low, high, last;
};

// Odd trials hold long flat stretches, some with a little noise, as slow quantities give;
// even trials wander; both change colour and hold nulls and values far off the axis. X
// values are irregular, so the store keeps them one by one.
void Wandering(RandomSeries& r, int trial, std::mt19937& random) {
    std::uniform_real_distribution<double> unit(0, 1);
    const int count = 2000 + trial * 20000;
    double x = 0, y = 500;
    r.low = r.high = y;
    TColor colour = Red;
    const bool stretches = trial % 2 == 1;
    for (int i = 0; i < count; ++i) {
        x += unit(random) < 0.1 ? 0 : unit(random);
        if (!stretches)
            y += (unit(random) - 0.5) * 40;
        else if (unit(random) < 0.0005)
            y += (unit(random) - 0.5) * 2000;
        r.low = std::min(r.low, y);
        r.high = std::max(r.high, y);
        if (unit(random) < (stretches ? 0.0003 : 0.002))
            colour = colour == Red ? Blue : Red;
        const bool null = unit(random) < (stretches ? 0.0003 : 0.003);
        const double noise = stretches && (i / 3000) % 2 ? unit(random) * 0.01 : 0;
        const double value = unit(random) < (stretches ? 0.0001 : 0.001) ? 1e7 : y + noise;
        r.series.AddPoint(x, value, "", null ? clNone : colour);
    }
    r.last = y;
}

// What the program stores: frame numbers handed over in runs of any length, a frame left
// out now and then, and stretches of integers times ten, floats, doubles and single values,
// so that blocks of every form follow each other and some mix them; with NaNs, nulls, an X
// off the frame numbers and a few points that arrive out of order.
void ProgramLike(RandomSeries& r, int trial, std::mt19937& random) {
    std::uniform_real_distribution<double> unit(0, 1);
    const std::size_t count = trial == 3 ? 300000 : 30000 + trial * 20000;
    double frame = 0, level = 300;
    r.low = r.high = level;
    std::vector<double> ys;
    while (r.series.Count() < count) {
        const int kind = static_cast<int>(unit(random) * 5);
        const std::size_t stretch = 200 + static_cast<std::size_t>(unit(random) * 5000);
        for (std::size_t done = 0; done < stretch;) {
            ys.resize(1 + static_cast<std::size_t>(unit(random) * 700));
            for (double& y : ys) {
                level = std::clamp(level + (unit(random) - 0.5) * 8, 10.0, 2500.0);
                switch (kind) {
                case 0:
                    y = std::round(level / 10) * 10;
                    break;
                case 1:
                    y = static_cast<float>(level * 1.7578125);
                    break;
                case 2:
                    y = 27648000.0 / std::round(27648000.0 / (level + 800));
                    break;
                case 3:
                    y = std::round(level / 100) * 100;
                    break;
                default:
                    y = unit(random) < 0.01 ? std::numeric_limits<double>::quiet_NaN()
                                            : std::round(level);
                }
                if (y == y) {
                    r.low = std::min(r.low, y);
                    r.high = std::max(r.high, y);
                }
            }
            const TColor colour = unit(random) < 0.02 ? clNone : unit(random) < 0.1 ? Blue : Red;
            r.series.AddPoints(frame, 1, ys, colour);
            frame += static_cast<double>(ys.size()) + (unit(random) < 0.05 ? 1 : 0);
            done += ys.size();
            if (unit(random) < 0.01)
                r.series.AddPoint(frame + 0.5, level, "", Red);
            if (unit(random) < 0.005)
                r.series.AddPoint(frame - 300.25, level, "", Blue);
        }
    }
    r.last = level;
}

TEST_P(FastDrawing, EqualsEverySegment) {
    const FastCase& c = GetParam();
    std::mt19937 random(11);
    for (auto fill : {Wandering, ProgramLike}) {
        for (int trial = 0; trial < 4; ++trial) {
            RandomSeries r;
            fill(r, trial, random);
            TLineSeries& series = r.series;
            const std::size_t count = series.Count();
            const double x = series.XValues.MaxValue();
            const double xMin = x * c.xFrom, xMax = x * c.xTo;
            // Y window centred on the line where the X window's middle falls.
            const double middle = xMin + (xMax - xMin) / 2;
            const std::size_t at = std::min<std::size_t>(
                series.XValues.Stored().LowerBound(0, count, middle), count - 1);
            const double y = series.YValue(at);
            const double centre = y > 1e6 || y != y ? r.last : y;
            const double half = (r.high - r.low) * c.yWindow / 2;
            const double yMin = centre - half, yMax = centre + half;
            const chart::TAxisMap h{xMin, xMax, 20, c.width - 10};
            const chart::TAxisMap v{yMin, yMax, 5, c.height - 30, false};
            const TRectI clip{21, 6, c.width - 10, c.height - 31};
            const double xl = h.ToValue(20), xr = h.ToValue(c.width - 10);
            const auto range = chart::VisibleIndexRange(series, xl, xr);
            ASSERT_TRUE(range);
            // Rows on the axis' span outside the clip are drawn on the clip's edge rows.
            const chart::TSeriesView view{h, v, 20, xl, clip.Top, clip.Bottom - 1};
            for (const bool dashed : {false, true}) {
                QImage fast(c.width, c.height, QImage::Format_RGB32), plain = fast;
                fast.fill(Qt::white);
                plain.fill(Qt::white);
                chart::TRaster fastRaster(fast), plainRaster(plain);
                for (chart::TRaster* raster : {&fastRaster, &plainRaster}) {
                    raster->SetClip(clip);
                    raster->SetDashed(dashed);
                }
                chart::DrawLineSeries(fastRaster, series, view, *range);
                chart::DrawLineSeriesSegments(plainRaster, series, view, *range);
                ASSERT_EQ(fast, plain) << c.rule << " with " << count << " points, trial " << trial
                                       << (dashed ? ", dashed" : "");
                QImage white(plain.size(), plain.format());
                white.fill(Qt::white);
                EXPECT_NE(plain, white) << "something was drawn";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Chart, FastDrawing,
    ::testing::Values(FastCase{"FullView", 1001, 473, 0, 1, 2.2},
                      FastCase{"ZoomedToOnePercent", 1001, 473, 0.40, 0.41, 0.1},
                      FastCase{"ScrolledPastTheStart", 640, 300, -0.2, 0.3, 1},
                      FastCase{"ZoomedHardVertically", 300, 200, 0.5, 0.52, 0.0005},
                      FastCase{"TinyPlot", 40, 40, 0, 1, 2.2}),
    [](const auto& info) { return std::string(info.param.rule); });

// The background (panel, walls, axes, grid, labels) is kept between redraws while what it
// shows stays as it was: after any change the picture is the one a fresh chart in the same
// state draws.
struct BackgroundChange {
    const char* rule;
    std::function<void(TChart&, TLineSeries&)> change;
};

void PrintTo(const BackgroundChange& c, std::ostream* os) {
    *os << c.rule;
}

class BackgroundKept : public ::testing::TestWithParam<BackgroundChange> {};

TEST_P(BackgroundKept, RedrawAfterAChangeLooksAsAFreshChart) {
    auto setUp = [](TChart& chart, TLineSeries& series) {
        chart.resize(500, 300);
        for (int i = 0; i < 3000; ++i)
            series.AddPoint(i, 1000 + (i * 37 % 200), "", Red);
    };
    TChart kept;
    TLineSeries& keptSeries = kept.AddSeries();
    setUp(kept, keptSeries);
    (void)kept.Draw();
    GetParam().change(kept, keptSeries);
    const QImage afterChange = kept.Draw().copy();

    TChart fresh;
    TLineSeries& freshSeries = fresh.AddSeries();
    setUp(fresh, freshSeries);
    GetParam().change(fresh, freshSeries);
    EXPECT_EQ(afterChange, fresh.Draw());
}

INSTANTIATE_TEST_SUITE_P(
    Chart, BackgroundKept,
    ::testing::Values(
        BackgroundChange{"PointsWithinTheLabels",
                         [](TChart&, TLineSeries& s) { s.AddPoint(3000, 1100, "", Red); }},
        BackgroundChange{"PointsThatMoveTheLabels",
                         [](TChart&, TLineSeries& s) { s.AddPoint(90000, 9e5, "", Red); }},
        BackgroundChange{"PanelColour", [](TChart& c, TLineSeries&) { c.SetPanelColor(Green); }},
        BackgroundChange{"GridPen",
                         [](TChart& c, TLineSeries&) {
                             TAxisPen grid = c.LeftAxis().Grid();
                             grid.Color = Blue;
                             c.LeftAxis().SetGrid(grid);
                         }},
        BackgroundChange{"LabelsFont",
                         [](TChart& c, TLineSeries&) {
                             QFont font = c.BottomAxis().LabelsFont();
                             font.setPixelSize(15);
                             c.BottomAxis().SetLabelsFont(font);
                         }},
        BackgroundChange{"Title",
                         [](TChart& c, TLineSeries&) {
                             c.SetTitle({true, QStringLiteral("Обороты"), Qt::AlignHCenter});
                         }},
        BackgroundChange{"Zoom",
                         [](TChart& c, TLineSeries&) { c.BottomAxis().SetMinMax(100, 200); }},
        BackgroundChange{"SeriesHidden", [](TChart&, TLineSeries& s) { s.SetActive(false); }},
        BackgroundChange{"Size", [](TChart& c, TLineSeries&) { c.resize(420, 333); }},
        BackgroundChange{"Palette",
                         [](TChart& c, TLineSeries&) {
                             QPalette palette = c.palette();
                             palette.setColor(QPalette::Window, QColor(10, 200, 30));
                             c.setPalette(palette);
                         }}),
    [](const auto& info) { return std::string(info.param.rule); });

TEST(Raster, LineStopsOnePixelShortAndClipsExactly) {
    QImage whole(50, 50, QImage::Format_RGB32), clipped = whole;
    whole.fill(Qt::white);
    clipped.fill(Qt::white);
    chart::TRaster a(whole), b(clipped);
    b.SetClip({10, 12, 30, 40});
    const QRgb black = 0xFF000000u;
    for (auto [x0, y0, x1, y1] : {std::array{0, 0, 49, 31},
                                  {45, 3, 2, 47},
                                  {25, -100, 26, 200},
                                  {-60, 20, 90, 21},
                                  {7, 7, 7, 7}}) {
        a.Line(x0, y0, x1, y1, black);
        b.Line(x0, y0, x1, y1, black);
    }
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 50; ++x) {
            const bool inClip = x >= 10 && x < 30 && y >= 12 && y < 40;
            ASSERT_EQ(clipped.pixel(x, y), inClip ? whole.pixel(x, y) : 0xFFFFFFFFu)
                << x << "," << y;
        }
    EXPECT_EQ(whole.pixel(0, 0), black);
    EXPECT_EQ(whole.pixel(49, 31), 0xFFFFFFFFu) << "the end point is left to the next segment";
    EXPECT_EQ(whole.pixel(7, 7), 0xFFFFFFFFu) << "a zero-length line draws nothing";
}

// Dashes keep their place on the screen along each line's major axis, however the line is cut
// into pieces, so that a dashed line of many points reads as one dashed line.
TEST(Raster, DashesFollowTheMajorAxisOnTheScreen) {
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    chart::TRaster raster(image);
    raster.SetDashed(true);
    const QRgb black = 0xFF000000u;
    raster.Line(0, 5, 13, 5, black); // in two pieces that meet
    raster.Line(13, 5, 39, 5, black);
    raster.VerticalSpan(30, 8, 39, black);
    raster.Line(0, 10, 20, 30, black); // at 45 degrees: X is its major axis
    for (int x = 0; x < 39; ++x)
        ASSERT_EQ(image.pixel(x, 5) == black, chart::TRaster::InDash(x)) << "row at " << x;
    for (int y = 8; y < 40; ++y)
        ASSERT_EQ(image.pixel(30, y) == black, chart::TRaster::InDash(y)) << "span at " << y;
    for (int k = 0; k < 20; ++k)
        ASSERT_EQ(image.pixel(k, 10 + k) == black, chart::TRaster::InDash(k)) << "slope at " << k;
    EXPECT_EQ(chart::TRaster::DashLength, 5);
    EXPECT_EQ(chart::TRaster::DashPeriod, 8);
}

// A series shifted along the bottom axis draws, hits and scales the axis as one whose
// points were moved by the shift.
TEST(ChartItems, ShiftedSeriesIsTheSeriesWithItsPointsMoved) {
    const auto picture = [](double shift, double addedToX, bool fixedAxis) {
        TChart chart;
        chart.resize(400, 300);
        chart.SetPanelColor(0xFFFFFF);
        if (fixedAxis)
            chart.BottomAxis().SetMinMax(0, 300);
        TLineSeries& series = chart.AddSeries();
        for (int i = 0; i < 200; ++i)
            series.AddPoint(i + addedToX, (i * 37) % 101, "", Red);
        series.SetXShift(shift);
        return std::pair(chart.Draw().copy(), chart.BottomAxis().Maximum());
    };
    for (const bool fixed : {true, false}) {
        SCOPED_TRACE(fixed ? "fixed axis" : "automatic axis");
        for (const double shift : {70.0, -45.0}) {
            const auto [shifted, shiftedEnd] = picture(shift, 0, fixed);
            const auto [moved, movedEnd] = picture(0, shift, fixed);
            EXPECT_EQ(shifted, moved) << "shift " << shift;
            EXPECT_EQ(shiftedEnd, movedEnd);
            EXPECT_NE(shifted, picture(0, 0, true).first);
        }
    }
}

// A series created below the others is drawn under them, and deleting it gives back the
// picture drawn without it.
TEST(ChartItems, SeriesBelowIsDrawnUnderAndLeavesNoTraceWhenDeleted) {
    TChart chart;
    chart.resize(300, 200);
    chart.SetPanelColor(0xFFFFFF);
    for (TChartAxis* axis : {&chart.BottomAxis(), &chart.LeftAxis()})
        axis->SetMinMax(0, 100);
    TLineSeries& top = chart.AddSeries();
    for (int x : {10, 90})
        top.AddPoint(x, 50, "", Red);
    const QImage alone = chart.Draw().copy();
    for (const TColor colour : {Blue, Green}) {
        TLineSeries& below = chart.AddSeriesBelow();
        for (int x : {10, 90})
            below.AddPoint(x, colour == Blue ? 50 : 20, "", colour);
    }
    const QImage both = chart.Draw().copy();
    const QPoint onLine(chart.BottomAxis().Map().ToPixel(50), chart.LeftAxis().Map().ToPixel(50));
    EXPECT_EQ(both.pixel(onLine), chart::ToRgb(Red)) << "the series on top covers the one below";
    EXPECT_EQ(both.pixel(onLine.x(), chart.LeftAxis().Map().ToPixel(20)), chart::ToRgb(Green));
    ASSERT_EQ(chart.SeriesCount(), 3);
    EXPECT_EQ(&chart.Series(0), &top) << "creating below keeps the list's order";
    chart.DeleteSeries(chart.Series(2));
    chart.DeleteSeries(chart.Series(1));
    EXPECT_EQ(chart.Draw(), alone);
}

} // namespace

namespace {

// Paints come at most at the display rate, but the last request is always drawn.
TEST(ChartRepaintRate, LastRequestIsAlwaysDrawn) {
    TChart chart;
    chart.resize(300, 200);
    chart.show();
    TLineSeries& series = chart.AddSeries();
    auto waitForPaint = [&] {
        QElapsedTimer deadline;
        deadline.start();
        while (chart.ImageStale() && deadline.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return !chart.ImageStale();
    };
    ASSERT_TRUE(waitForPaint());
    for (int i = 0; i < 50; ++i)
        series.AddPoint(i, i * i, "", 0x0000FF);
    EXPECT_TRUE(chart.ImageStale()) << "adding points draws nothing by itself";
    EXPECT_TRUE(waitForPaint());
    series.AddPoint(50, 0, "", 0x0000FF);
    EXPECT_TRUE(waitForPaint()) << "a request right after a paint is still drawn";
    EXPECT_EQ(chart.LeftAxis().Map().Maximum, 49 * 49);
}

// New points alone wait for the slower pace of live plotting after a paint.
TEST(ChartRepaintRate, NewPointsAloneWaitForTheSlowerPace) {
    TChart chart;
    chart.resize(300, 200);
    chart.show();
    TLineSeries& series = chart.AddSeries();
    for (int i = 0; i < 50; ++i)
        series.AddPoint(i, i, "", 0x0000FF);
    auto millisecondsToPaint = [&] {
        QElapsedTimer clock;
        clock.start();
        while (chart.ImageStale() && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        return chart.ImageStale() ? -1 : clock.elapsed();
    };
    ASSERT_GE(millisecondsToPaint(), 0);
    chart.repaint();
    series.AddPoint(50, 0, "", 0x0000FF);
    EXPECT_GE(millisecondsToPaint(), 90);
}

bool WaitUntil(const std::function<bool()>& condition) {
    QElapsedTimer deadline;
    deadline.start();
    while (!condition() && deadline.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

// A change right after a paint waits for the display rate; a switch lying over the chart
// that paints itself meanwhile, and with it the chart under it, must not make the chart
// forget the rest of its picture.
struct LateChange {
    const char* rule;
    std::function<void(TChart&, TLineSeries&)> change;
    friend void PrintTo(const LateChange& c, std::ostream* os) { *os << c.rule; }
};

class RepaintAfterAPartialPaint : public ::testing::TestWithParam<LateChange> {};

TEST_P(RepaintAfterAPartialPaint, ReachesTheScreen) {
    TChart chart;
    chart.resize(300, 200);
    chart.SetPanelColor(0xFFFFFF);
    TLineSeries& series = chart.AddSeries();
    for (int i = 0; i <= 100; ++i)
        series.AddPoint(i, i % 7, "", Red);
    QCheckBox box(QStringLiteral("Обороты"), &chart);
    box.setGeometry(20, 180, 80, 17);
    chart.show();
    ASSERT_TRUE(WaitUntil([&] { return HasColour(OnScreen(chart), chart::ToRgb(Red)); }));
    const QImage before = Outside(OnScreen(chart), box.geometry());

    chart.repaint();
    GetParam().change(chart, series);
    box.repaint();

    // Waiting must not paint the chart: a paint into a grab's picture is no paint on screen.
    WaitUntil([&] { return Outside(OnScreen(chart), box.geometry()) != before; });
    EXPECT_EQ(OnScreen(chart), Grabbed(chart));
}

INSTANTIATE_TEST_SUITE_P(
    Chart, RepaintAfterAPartialPaint,
    ::testing::Values(
        LateChange{"SeriesSwitchedOff",
                   [](TChart&, TLineSeries& series) { series.SetActive(false); }},
        // New points ask for the plot; the axes' labels they move follow.
        LateChange{"PointsThatMoveTheLabels",
                   [](TChart&, TLineSeries& series) { series.AddPoint(1000, 50, "", Red); }},
        LateChange{"WheelNotch",
                   [](TChart& chart, TLineSeries&) {
                       QWheelEvent wheel(QPointF(150, 100), chart.mapToGlobal(QPointF(150, 100)),
                                         QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                                         Qt::NoScrollPhase, false);
                       QApplication::sendEvent(&chart, &wheel);
                   }},
        LateChange{"ScrollStep",
                   [](TChart& chart, TLineSeries&) {
                       for (auto [type, x] :
                            {std::pair(QEvent::MouseButtonPress, 150), {QEvent::MouseMove, 190}}) {
                           QMouseEvent event(
                               type, QPointF(x, 100), chart.mapToGlobal(QPointF(x, 100)),
                               type == QEvent::MouseMove ? Qt::NoButton : Qt::RightButton,
                               Qt::RightButton, Qt::NoModifier);
                           QApplication::sendEvent(&chart, &event);
                       }
                   }}),
    [](const auto& info) { return std::string(info.param.rule); });

} // namespace
