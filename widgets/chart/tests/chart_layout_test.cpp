// The axes' layout and pictures without a widget: a plot of a left and a bottom axis with
// line series on them, as any plot built from the chart's parts has.

#include "widgets/chart/Chart.h"
#include "widgets/chart/ChartAxisDraw.h"
#include "widgets/chart/ChartCanvas.h"
#include "widgets/chart/ChartLayout.h"
#include "widgets/chart/ChartSeries.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QPalette>

#include <array>
#include <memory>
#include <vector>

namespace {

using chart::TRectI;

constexpr TRectI Panel{10, 0, 991, 445};

class BarePlot : public ::testing::Test {
protected:
    TLineSeries& Add(std::initializer_list<std::pair<double, double>> points) {
        series_.push_back(std::make_unique<TLineSeries>());
        for (auto [x, y] : points)
            series_.back()->AddPoint(x, y);
        return *series_.back();
    }
    TRectI LayOut(TRectI panel = Panel) {
        items_.clear();
        for (const auto& s : series_)
            items_.push_back(s.get());
        return chart::LayOutAxes(panel, axes_, items_, true);
    }
    // The picture of the plot on a panel of the given size, with the chart's default look.
    QImage Draw(QSize size) {
        const TRectI plot = LayOut(chart::PlotRectFromMargins(size.width(), size.height(), {}, 0));
        const QPalette palette = QApplication::palette();
        chart::TBackground background;
        background.Size = size;
        background.Panel.Colour = palette.color(QPalette::Window).rgb();
        background.Panel.Highlight = palette.color(QPalette::Light).rgb();
        background.Panel.Shadow = palette.color(QPalette::Dark).rgb();
        background.Plot = plot;
        for (const TChartAxis* axis : axes_)
            background.Axes.push_back(Picture(*axis));
        chart::TPlotCanvas canvas;
        EXPECT_TRUE(canvas.Begin(size));
        canvas.Background(background, axes_);
        canvas.Items(items_, axes_, plot, true);
        return canvas.Image();
    }
    chart::TAxisPicture Picture(const TChartAxis& axis) {
        return chart::WalkAxis(axis, chart::AxisPointLabels(axis, items_));
    }
    int LineHeight(const TChartAxis& axis) { return QFontMetrics(axis.LabelsFont()).height(); }

    TChartAxis bottom{TAxisKind::Bottom};
    TChartAxis left{TAxisKind::Left};

private:
    std::vector<std::unique_ptr<TLineSeries>> series_;
    std::vector<chart::TPlotItem*> items_;
    std::array<TChartAxis*, 2> axes_{&bottom, &left};
};

TEST_F(BarePlot, RangesFollowTheActiveSeriesOrAllOfThemWhenNoneIsActive) {
    TLineSeries& shown = Add({{0, 5}, {10, 7}});
    TLineSeries& hidden = Add({{-5, 100}, {20, 200}});
    hidden.SetActive(false);
    TLineSeries& empty = Add({}); // takes no part
    LayOut();
    EXPECT_EQ(bottom.Map().Minimum, 0);
    EXPECT_EQ(bottom.Map().Maximum, 10);
    EXPECT_EQ(left.Map().Minimum, 5);
    EXPECT_EQ(left.Map().Maximum, 7);

    shown.SetActive(false);
    empty.SetActive(false);
    const TRectI plot = LayOut();
    EXPECT_EQ(left.Map().Minimum, 5) << "all hidden: every series counts";
    EXPECT_EQ(left.Map().Maximum, 200);
    EXPECT_FALSE(left.Shown());
    EXPECT_EQ(plot, Panel) << "hidden axes take no room";
}

TEST_F(BarePlot, FixedEndsStayAndAutomaticEndsTakeTheData) {
    Add({{0, 5}, {10, 7}});
    left.SetAutomaticMinimum(false);
    left.SetMinimum(-3);
    LayOut();
    EXPECT_EQ(left.Map().Minimum, -3);
    EXPECT_EQ(left.Map().Maximum, 7);
    EXPECT_EQ(left.Maximum(), 7) << "the automatic end is the axis' own maximum now";
}

TEST_F(BarePlot, BandsRunFromTheEdgeTitleLabelsTicksAndTheLineLiesOnThePlot) {
    Add({{0, 800}, {1000, 6000}});
    bottom.SetTitle({QStringLiteral("Кадры"), bottom.LabelsFont(), 0});
    const TRectI plot = LayOut();
    const int height = LineHeight(bottom);
    EXPECT_EQ(bottom.TitlePosition(), Panel.Bottom - height);
    EXPECT_EQ(bottom.LabelPosition(), Panel.Bottom - 2 * height);
    EXPECT_EQ(plot.Bottom, Panel.Bottom - 2 * height - 6) << "axis line 2 and ticks 4";
    EXPECT_EQ(bottom.AxisLinePosition(), plot.Bottom);
    EXPECT_EQ(left.AxisLinePosition(), plot.Left);
    EXPECT_EQ(left.LabelPosition(), plot.Left - 6);
    EXPECT_EQ(bottom.Map().Start, plot.Left);
    EXPECT_EQ(bottom.Map().End, plot.Right);
    EXPECT_EQ(left.Map().Start, plot.Top);
    EXPECT_EQ(left.Map().End, plot.Bottom);
}

TEST_F(BarePlot, ValueLabelsOfTheLeftAxisTakeTheirWidestEndAndABlank) {
    Add({{0, 800}, {1000, 6000}});
    const TRectI values = LayOut();
    const QFontMetrics metrics(left.LabelsFont());
    EXPECT_NEAR(values.Left, Panel.Left + metrics.horizontalAdvance(QStringLiteral("6,000 ")) + 6,
                1);
    left.SetLabelsSize(40);
    EXPECT_EQ(LayOut().Left, Panel.Left + 40 + 6) << "a fixed label size is not measured";
}

TEST_F(BarePlot, SpanAndLineMoveWithTheAxisPositions) {
    Add({{0, 0}, {100, 100}});
    bottom.SetStartPosition(10);
    bottom.SetEndPosition(90);
    bottom.SetPositionPercent(10);
    const TRectI plot = LayOut();
    EXPECT_EQ(bottom.Map().Start, plot.Left + static_cast<int>(std::lround(plot.Width() * 0.1)));
    EXPECT_EQ(bottom.Map().End, plot.Left + static_cast<int>(std::lround(plot.Width() * 0.9)));
    EXPECT_EQ(bottom.AxisLinePosition(),
              plot.Bottom - static_cast<int>(std::lround(plot.Height() * 0.1)));
    EXPECT_EQ(bottom.Map().ToPixel(0), bottom.Map().Start);
}

TEST_F(BarePlot, StairsKeepTheirPenWidthClearOfTheAxesEnds) {
    TLineSeries& stairs = Add({{0, 0}, {100, 100}});
    stairs.Stairs = true;
    stairs.LinePen.Width = 3;
    LayOut();
    EXPECT_EQ(bottom.Map().ToPixel(0), bottom.Map().Start + 3);
    EXPECT_EQ(bottom.Map().ToPixel(100), bottom.Map().End - 3);
    EXPECT_EQ(left.Map().ToPixel(100), left.Map().Start + 3);
    EXPECT_EQ(bottom.Minimum(), 0) << "the axis' own ends keep the data's range";
}

TEST_F(BarePlot, ValueLabelsStandWhereTheMapPutsThem) {
    Add({{0, 0}, {1000, 50}});
    LayOut();
    const chart::TAxisPicture picture = Picture(bottom);
    ASSERT_FALSE(picture.Labels.empty());
    EXPECT_EQ(picture.Labels.front().second, "1,000") << "from the top down";
    EXPECT_EQ(picture.Labels.back().second, "0");
    EXPECT_EQ(picture.Labels.back().first, bottom.Map().Start);
    EXPECT_EQ(picture.Ticks.size(), picture.Labels.size());
    EXPECT_EQ(picture.Line, bottom.AxisLinePosition());
}

TEST_F(BarePlot, LabelledPointsAreShownOnTheBottomAxis) {
    TLineSeries& named = Add({});
    named.AddPoint(10, 1, "старт");
    named.AddPoint(20, 2);
    named.AddPoint(30, 3, "финиш");
    named.AddPoint(5000, 4, "за краем");
    bottom.SetAutomaticMaximum(false);
    bottom.SetMaximum(40);
    LayOut();
    EXPECT_EQ(bottom.Placement().LabelStyle, TAxisLabelStyle::talText);
    EXPECT_EQ(left.Placement().LabelStyle, TAxisLabelStyle::talValue);
    const chart::TAxisPicture picture = Picture(bottom);
    ASSERT_EQ(picture.Labels.size(), 2u) << "a label beyond the axis' end is left out";
    EXPECT_EQ(picture.Labels[0], std::pair(bottom.Map().ToPixel(10), QStringLiteral("старт")));
    EXPECT_EQ(picture.Labels[1], std::pair(bottom.Map().ToPixel(30), QStringLiteral("финиш")));
}

// Values in brackets: wider texts than values, from an engine of another kind.
class TBracketed final : public chart::TLabelEngine {
public:
    double Step(const chart::TLabelScale& scale, int capacity) const override {
        return chart::TValueLabels().Step(scale, capacity);
    }
    chart::TLabelWalk Walk(const chart::TLabelScale& scale, double step,
                           const chart::TLabelWalkOptions& options) const override {
        return chart::TValueLabels().Walk(scale, step, options);
    }
    QString Text(const chart::TLabelScale&, double value) const override {
        return QStringLiteral("[%1]").arg(value);
    }
};

TEST_F(BarePlot, AnotherLabelEngineIsMeasuredAndWalkedByTheLayout) {
    Add({{0, 800}, {1000, 6000}});
    left.SetLabelEngine(std::make_shared<TBracketed>());
    const TRectI plot = LayOut();
    const QFontMetrics metrics(left.LabelsFont());
    EXPECT_NEAR(plot.Left, Panel.Left + metrics.horizontalAdvance(QStringLiteral("[6000] ")) + 6,
                1);
    const chart::TAxisPicture picture = Picture(left);
    ASSERT_FALSE(picture.Labels.empty());
    EXPECT_EQ(picture.Labels.front().second, "[6000]");
}

TEST_F(BarePlot, DrawsTheChartsPictureWithTheChartsParts) {
    TLineSeries& line = Add({});
    TLineSeries& other = Add({});
    for (int i = 0; i <= 200; ++i) {
        line.AddPoint(i, (i * 37) % 101, "", 0x0000FF);
        other.AddPoint(i * 0.5, 50 + i % 13, "", i % 50 < 25 ? 0xFF0000 : clNone);
    }
    TChart chart;
    chart.resize(400, 300);
    TLineSeries& first = chart.AddSeries();
    TLineSeries& second = chart.AddSeries();
    for (int i = 0; i <= 200; ++i) {
        first.AddPoint(i, (i * 37) % 101, "", 0x0000FF);
        second.AddPoint(i * 0.5, 50 + i % 13, "", i % 50 < 25 ? 0xFF0000 : clNone);
    }
    EXPECT_EQ(Draw({400, 300}), chart.Draw()) << "a chart is its parts and no more";
}

} // namespace
