// The chart page at the size of a one-hour session: six series of 2.3 million points.
// Full redraws, zoomed and scrolled redraws, the same series drawn segment by segment for
// the ratio, and live plotting at the controller's full line rate.

#include "ChartRaster.h"
#include "TelemetryChart.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

namespace {

constexpr int HourOfFrames = 2300000;
constexpr double FramesPerSecond = 640;
constexpr double RepaintsPerSecond = 60;

QApplication& Application() {
    static int argc = 1;
    static char name[] = "chart_bench";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

// Engine-like quantities: speed wandering between 800 and 6000 rpm, the rest following it
// or drifting slowly; curve number and octane corrector step now and then.
class TEngine {
public:
    void Frame(TChart& chart, int frame) {
        speed_ =
            std::clamp(speed_ + noise_(random_) * 25 + (2500 - speed_) * 0.0005, 800.0, 6000.0);
        map_ = std::clamp(30 + speed_ / 60 + noise_(random_) * 3, 20.0, 250.0);
        temperature_ = std::min(95.0, temperature_ + 0.00003);
        if (unit_(random_) < 0.00002)
            curve_ = std::floor(unit_(random_) * 4);
        if (unit_(random_) < 0.00001)
            octane_ = std::floor(unit_(random_) * 8);
        const double advance = 5.625 + (speed_ / 6000) * 30 + noise_(random_) * 0.5;
        const double values[] = {std::round(speed_),       std::round(map_), curve_,
                                 std::round(temperature_), octane_,          advance};
        for (int s = 0; s < telemetry::PlotSeriesCount; ++s)
            chart.Series(s).AddPoint(frame, values[s], {}, telemetry::PlotColours[s]);
    }

private:
    std::mt19937 random_{2024};
    std::normal_distribution<double> noise_{0, 1};
    std::uniform_real_distribution<double> unit_{0, 1};
    double speed_ = 900, map_ = 40, temperature_ = 20, curve_ = 1, octane_ = 3;
};

struct THourChart {
    THourChart() {
        ConfigureTelemetryChart(chart);
        chart.resize(1001, 473);
        for (int frame = 0; frame < HourOfFrames; ++frame)
            engine.Frame(chart, frame);
        chart.Draw();
    }
    QApplication& application = Application(); // before any widget
    TChart chart;
    TEngine engine;
    int frames = HourOfFrames;
};

THourChart& HourChart() {
    static THourChart hour;
    return hour;
}

void ShowAll(TChart& chart) {
    chart.BottomAxis().SetAutomatic(true);
    chart.LeftAxis().SetAutomatic(true);
    chart.Draw();
}

// Zoomed to 1 % of the frames and scrolled into the middle of the hour.
void ZoomAndScroll(TChart& chart) {
    const double first = HourOfFrames * 0.37;
    chart.BottomAxis().SetMinMax(first, first + HourOfFrames * 0.01);
    chart.LeftAxis().SetMinMax(0, 4000);
    chart.Draw();
}

void FullRedraw(benchmark::State& state) {
    TChart& chart = HourChart().chart;
    ShowAll(chart);
    for (auto _ : state)
        benchmark::DoNotOptimize(chart.Draw().constBits());
}

void ZoomedRedraw(benchmark::State& state) {
    TChart& chart = HourChart().chart;
    ZoomAndScroll(chart);
    for (auto _ : state)
        benchmark::DoNotOptimize(chart.Draw().constBits());
    ShowAll(chart);
}

// The six series alone, on the layout of the last redraw, with either drawing.
void SeriesOnly(benchmark::State& state, bool everySegment, bool zoomed) {
    TChart& chart = HourChart().chart;
    zoomed ? ZoomAndScroll(chart) : ShowAll(chart);
    QImage image = chart.Draw().copy();
    const chart::TRectI plot = chart.PlotRect();
    const chart::TAxisMap& h = chart.BottomAxis().Map();
    const chart::TAxisMap& v = chart.LeftAxis().Map();
    const double xl = h.ToValue(plot.Left), xr = h.ToValue(plot.Right);
    const chart::TSeriesView view{h, v, plot.Left, xl};
    for (auto _ : state) {
        chart::TRaster raster(image);
        raster.SetClip({plot.Left + 1, plot.Top + 1, plot.Right, plot.Bottom - 1});
        for (int s = 0; s < telemetry::PlotSeriesCount; ++s) {
            const auto& series = static_cast<const TLineSeries&>(chart.Series(s));
            const auto range = chart::VisibleIndexRange(series, xl, xr);
            if (!range)
                continue;
            if (everySegment)
                chart::DrawLineSeriesSegments(raster, series, view, *range);
            else
                chart::DrawLineSeries(raster, series, view, *range);
        }
        benchmark::DoNotOptimize(image.constBits());
    }
    ShowAll(chart);
}

// One repaint's worth of frames at the full line rate, then the repaint.
void LivePlotting(benchmark::State& state) {
    THourChart& hour = HourChart();
    ShowAll(hour.chart);
    const int framesPerRepaint = static_cast<int>(std::ceil(FramesPerSecond / RepaintsPerSecond));
    for (auto _ : state) {
        for (int i = 0; i < framesPerRepaint; ++i)
            hour.engine.Frame(hour.chart, hour.frames++);
        benchmark::DoNotOptimize(hour.chart.Draw().constBits());
    }
    state.counters["points"] = static_cast<double>(hour.chart.Series(0).Count()) * 6;
}

} // namespace

BENCHMARK(FullRedraw)->Unit(benchmark::kMillisecond);
BENCHMARK(ZoomedRedraw)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SeriesOnly, FullViewColumnSpans, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SeriesOnly, FullViewEverySegment, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SeriesOnly, ZoomedColumnSpans, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SeriesOnly, ZoomedEverySegment, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK(LivePlotting)->Unit(benchmark::kMillisecond);
