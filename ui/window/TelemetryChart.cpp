#include "ui/window/TelemetryChart.h"

#include "telemetry/RecordingView.h"
#include "widgets/chart/ChartCursor.h"
#include "widgets/chart/ChartRaster.h"

#include <algorithm>
#include <array>
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
}

namespace {

std::optional<double> PlottedAt(const TChart& chart, int series, std::int64_t frame) {
    const TChartSeries& s = chart.Series(series);
    const auto index = chart::IndexOfX(s, static_cast<double>(frame));
    if (!index)
        return std::nullopt;
    return s.YValue(*index);
}

std::optional<TFrameSpan> SpanOf(const TChartSeries& s) {
    if (s.Count() == 0)
        return std::nullopt;
    return TFrameSpan{static_cast<std::int64_t>(s.XValue(0)),
                      static_cast<std::int64_t>(s.XValue(s.Count() - 1))};
}

} // namespace

std::optional<double> QuantityAt(const TChart& chart, int series, std::int64_t frame,
                                 int firstSeries) {
    const std::optional<double> y = PlottedAt(chart, firstSeries + series, frame);
    if (!y)
        return std::nullopt;
    switch (series) {
    case telemetry::SeriesSpeed:
        return *y;
    case telemetry::SeriesAdvance:
        return telemetry::AdvanceDegrees(telemetry::AdvanceCodeFromPlot(*y));
    default:
        return telemetry::ByteFromPlot(*y);
    }
}

std::optional<TFrameSpan> PlottedFrames(const TChart& chart, int firstSeries) {
    std::optional<TFrameSpan> span;
    for (int s = 0; s < telemetry::PlotSeriesCount; ++s) {
        if (const auto own = SpanOf(chart.Series(firstSeries + s)))
            span = span ? TFrameSpan{std::min(span->First, own->First),
                                     std::max(span->Last, own->Last)}
                        : *own;
    }
    return span;
}

std::optional<TFrameSpan> CompletedFrames(const TChart& chart, int firstSeries) {
    return SpanOf(chart.Series(firstSeries + telemetry::SeriesAdvance));
}

namespace {

// A frame from what series 0 to 5 plot at it: completed when it has its advance point and
// every byte field; without a speed point its period was 0.
std::optional<telemetry::TDecodedFrame>
AssembleFrame(std::int64_t frame,
              const std::array<std::optional<double>, telemetry::PlotSeriesCount>& y) {
    using namespace telemetry;
    for (int s = SeriesMap; s <= SeriesAdvance; ++s)
        if (!y[s])
            return std::nullopt;
    return TDecodedFrame{frame,
                         y[SeriesSpeed] ? PeriodFromSpeed(*y[SeriesSpeed]) : std::uint16_t{0},
                         ByteFromPlot(*y[SeriesMap]),
                         ByteFromPlot(*y[SeriesCurve]),
                         ByteFromPlot(*y[SeriesTemperature]),
                         ByteFromPlot(*y[SeriesOctane]),
                         AdvanceCodeFromPlot(*y[SeriesAdvance])};
}

} // namespace

std::optional<telemetry::TDecodedFrame> FrameOnChart(const TChart& chart, std::int64_t frame,
                                                     int firstSeries) {
    std::array<std::optional<double>, telemetry::PlotSeriesCount> y;
    for (int s = 0; s < telemetry::PlotSeriesCount; ++s)
        y[s] = PlottedAt(chart, firstSeries + s, frame);
    return AssembleFrame(frame, y);
}

TFrameWalk::TFrameWalk(const TChart& chart, std::int64_t first, int firstSeries)
    : chart_(chart), firstSeries_(firstSeries) {
    for (int s = 0; s < telemetry::PlotSeriesCount; ++s) {
        const TChartSeries& series = chart.Series(firstSeries + s);
        const auto range = chart::VisibleIndexRange(series, static_cast<double>(first),
                                                    static_cast<double>(first));
        next_[s] = range ? range->First : series.Count();
    }
}

std::optional<telemetry::TDecodedFrame> TFrameWalk::At(std::int64_t frame) {
    const double x = static_cast<double>(frame);
    std::array<std::optional<double>, telemetry::PlotSeriesCount> y;
    for (int s = 0; s < telemetry::PlotSeriesCount; ++s) {
        const TChartSeries& series = chart_.Series(firstSeries_ + s);
        const std::size_t count = series.Count();
        // Frames asked for one after another take a step; a jump takes a search.
        if (next_[s] < count && series.XValue(next_[s]) < x && ++next_[s] < count &&
            series.XValue(next_[s]) < x)
            next_[s] = series.XValues.Stored().LowerBound(next_[s], count, x);
        if (next_[s] < count && series.XValue(next_[s]) == x)
            y[s] = series.YValue(next_[s]);
    }
    return AssembleFrame(frame, y);
}

void ForEachFrameOnChart(const TChart& chart, std::int64_t first, std::int64_t last,
                         const std::function<void(const telemetry::TDecodedFrame&)>& take) {
    TFrameWalk walk(chart, first);
    for (std::int64_t frame = first; frame <= last; ++frame)
        if (const auto fields = walk.At(frame))
            take(*fields);
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
