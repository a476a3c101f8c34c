#include "ui/window/TelemetryChart.h"

#include "telemetry/RecordingView.h"
#include "widgets/chart/ChartRaster.h"

#include <algorithm>
#include <string>

namespace {

struct SeriesSetting {
    TColor colour;
    bool dateTimeX;
};

// Series1 to Series9. Only the first six receive points, each point with its own colour;
// the series colour shows nowhere in this program.
constexpr SeriesSetting TelemetrySeries[] = {
    {0x0000FF, false}, // Series1 clRed: engine speed
    {0x008000, false}, // Series2 clGreen: manifold absolute pressure
    {0x00FFFF, false}, // Series3 clYellow: curve number
    {0xFF0000, false}, // Series4 clBlue: temperature
    {0xFFFFFF, false}, // Series5 clWhite: octane corrector
    {0x808080, false}, // Series6 clGray: ignition advance
    {0xFF00FF, false}, // Series7 clFuchsia: empty, keeps the bottom axis on plain numbers
    {0x808000, true},  // Series8 clTeal: empty
    {0x800000, true},  // Series9 clNavy: empty
};

} // namespace

void ConfigureTelemetryChart(TChart& chart) {
    chart.SetView3D(false);
    chart.SetView3DWalls(false);
    chart.SetTitle({false, QString(), Qt::AlignHCenter});
    chart.SetLegendVisible(false);
    chart.SetMargins({1, 0, 1, 6});
    TChartWall wall = chart.BackWall();
    wall.BrushColor = 0xFFFFFF;
    wall.BrushStyle = TBrushStyle::bsClear;
    chart.SetBackWall(wall);
    chart.SetBevelInner(TBevelCut::bvRaised);
    chart.SetBevelOuter(TBevelCut::bvLowered);
    chart.SetBevelWidth(0);
    chart.BottomAxis().SetDateTimeFormat(QStringLiteral("nn:ss"));

    for (const SeriesSetting& setting : TelemetrySeries) {
        TLineSeries& series = chart.AddSeries();
        series.SeriesColor = setting.colour;
        series.XValues.DateTime = setting.dateTimeX;
    }
    static_cast<TLineSeries&>(chart.Series(0)).ShowInLegend = false;
}

TChartPlot::TChartPlot(TChart& chart, int firstSeries, TTint tint) : tint_(tint) {
    for (int i = 0; i < telemetry::PlotSeriesCount; ++i)
        series_[i] = &chart.Series(firstSeries + i);
}

std::int64_t ChartFrameLimit() {
    // The last capacity the series' growth rule reaches from empty.
    static const std::int64_t limit = [] {
        std::size_t capacity = 0;
        for (;;) {
            try {
                capacity = chart::GrownCapacity(capacity);
            } catch (const EListError&) {
                return static_cast<std::int64_t>(capacity);
            }
        }
    }();
    return limit;
}

void TChartPlot::AddPoints(int series, double firstX, std::span<const double> ys,
                           std::uint32_t colour) {
    const double room = static_cast<double>(ChartFrameLimit()) - firstX;
    if (room < static_cast<double>(ys.size())) {
        full_ = true;
        if (room <= 0)
            return;
        ys = ys.first(static_cast<std::size_t>(room));
    }
    series_[series]->AddPoints(firstX, 1, ys, tint_ ? tint_(colour) : colour);
    if (series == telemetry::SeriesAdvance && OnFramesCompleted && !ys.empty())
        OnFramesCompleted(static_cast<std::int64_t>(firstX) + static_cast<std::int64_t>(ys.size()) -
                          1);
}

namespace {

std::optional<TFrameSpan> SpanOf(const TChartSeries& s) {
    if (s.Count() == 0)
        return std::nullopt;
    return TFrameSpan{static_cast<std::int64_t>(s.XValue(0)),
                      static_cast<std::int64_t>(s.XValue(s.Count() - 1))};
}

} // namespace

std::optional<TFrameSpan> PlottedFrames(const TChart& chart) {
    std::optional<TFrameSpan> span;
    for (int s = 0; s < telemetry::PlotSeriesCount; ++s) {
        if (const auto own = SpanOf(chart.Series(s)))
            span = span ? TFrameSpan{std::min(span->First, own->First),
                                     std::max(span->Last, own->Last)}
                        : *own;
    }
    return span;
}

std::int64_t FramesOnChart(const telemetry::TFrameTable& frames) {
    // A recording too long for the chart leaves frames in the table that the chart has no
    // place for.
    return std::min(frames.Rows(), ChartFrameLimit());
}

std::optional<TFrameSpan> CompletedFrames(const telemetry::TFrameTable& frames) {
    const std::int64_t onChart = FramesOnChart(frames);
    if (onChart == 0)
        return std::nullopt;
    return TFrameSpan{0, onChart - 1};
}

std::optional<double> QuantityAt(const telemetry::TFrameTable& frames, int series,
                                 std::int64_t frame) {
    if (const auto f = frames.Frame(frame))
        return telemetry::Quantity(*f, series);
    // The unfinished frame's fields arrive in the order of their series.
    const telemetry::TUnfinishedFrame& unfinished = frames.Unfinished();
    if (frame == frames.Rows() && series < unfinished.Arrived)
        return telemetry::Quantity(unfinished.Fields, series);
    return std::nullopt;
}

QImage RenderRecordingChart(const std::string& path, QSize size) {
    TChart chart;
    ConfigureTelemetryChart(chart);
    {
        const telemetry::TViewedFile file(path);
        const telemetry::TRecordingMapping mapping(file);
        const telemetry::TRecordingView view(mapping);
        TChartPlot plot(chart);
        std::uint8_t state = 0;
        telemetry::TLatestValues values;
        view.Replay(state, values, plot);
    }
    chart.resize(size);
    return chart.Draw();
}
