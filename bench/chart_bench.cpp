// The chart page with the program's own data: the simulator's engine run, decoded as a
// replay decodes it. Twenty seconds, an hour (2,304,000 frames, 13.8 million points) and a
// day (55,296,000 frames, 332 million points). Full redraws (with the background kept, as
// when only points change, and drawn again; on the frame axis and the time axis), zoomed and
// scrolled redraws, the six series alone drawn by column spans and segment by segment, and live
// plotting at the full line rate: a repaint's worth of frames decoded, then the redraw.

#include "tools/sim/Simulator.h"
#include "ui/window/TelemetryChart.h"
#include "widgets/chart/ChartLabels.h"
#include "widgets/chart/ChartRaster.h"
#include "widgets/chart/ChartTimeGaps.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr std::size_t FramesPerSecond = sim::FramesPerSecond;
constexpr std::size_t FreshFrames = 20 * FramesPerSecond;
constexpr std::size_t HourFrames = 3600 * FramesPerSecond;
constexpr std::size_t DayFrames = 24 * HourFrames;
constexpr double RepaintsPerSecond = 10; // the chart's fastest pace for new points alone

TChart& Configured(TChart& chart) {
    ConfigureTelemetryChart(chart);
    chart.resize(1001, 473);
    return chart;
}

// A chart with the first frames of the run, and the run going on from there.
struct TRecordedChart {
    explicit TRecordedChart(std::size_t frames) {
        Feed(frames);
        chart.Draw();
    }
    void Feed(std::size_t frames) {
        std::vector<std::uint8_t> bytes;
        for (std::size_t done = 0; done < frames;) {
            const std::size_t n = std::min<std::size_t>(frames - done, 1 << 16);
            bytes.clear();
            for (std::size_t i = 0; i < n; ++i)
                generator.AppendFrame(bytes);
            telemetry::DecodeBlock(bytes, telemetry::DecodeMode::Replay, state, values, &plot);
            done += n;
        }
    }
    TChart chart;
    TChartPlot plot{Configured(chart)};
    sim::TStreamGenerator generator{1, false};
    telemetry::TLatestValues values;
    std::uint8_t state = 0;
};

// Made on first use and deleted by the application as it goes, before the widgets' world
// does.
template <std::size_t Frames> std::unique_ptr<TRecordedChart>& Slot() {
    static std::unique_ptr<TRecordedChart> chart;
    return chart;
}

template <std::size_t Frames> TRecordedChart& Recorded() {
    std::unique_ptr<TRecordedChart>& chart = Slot<Frames>();
    if (!chart) {
        chart = std::make_unique<TRecordedChart>(Frames);
        qAddPostRoutine([] { Slot<Frames>().reset(); });
    }
    return *chart;
}

void ShowAll(TChart& chart) {
    chart.BottomAxis().SetAutomatic(true);
    chart.LeftAxis().SetAutomatic(true);
    chart.Draw();
}

// Zoomed to 1 % of the frames and scrolled into the middle of the run.
void ZoomAndScroll(TChart& chart) {
    const double frames = chart.Series(0).XValues.MaxValue();
    const double first = frames * 0.37;
    chart.BottomAxis().SetMinMax(first, first + frames * 0.01);
    chart.LeftAxis().SetMinMax(0, 4000);
    chart.Draw();
}

template <std::size_t Frames> void FullRedraw(benchmark::State& state) {
    TChart& chart = Recorded<Frames>().chart;
    ShowAll(chart);
    for (auto _ : state)
        benchmark::DoNotOptimize(chart.Draw().constBits());
}

// The same on the time axis: a timeline with a knot a second (as measured times change pace
// by a little each second) and a pause of three seconds every ten minutes, its labels on the
// bottom axis and its gaps drawn under the series.
template <std::size_t Frames> void FullRedrawTimeAxis(benchmark::State& state) {
    TChart& chart = Recorded<Frames>().chart;
    const auto timeline = std::make_shared<chart::TTimeline>();
    double seconds = 0;
    for (std::size_t frame = 0; frame < Frames; frame += FramesPerSecond) {
        timeline->Add(static_cast<double>(frame), seconds);
        seconds += 1 + (frame / FramesPerSecond % 2 ? 0.01 : -0.01);
        if (frame % (600 * FramesPerSecond) == 600 * FramesPerSecond - FramesPerSecond) {
            timeline->Add(static_cast<double>(frame + FramesPerSecond - 1), seconds);
            seconds += 3;
        }
    }
    chart::TTimeGaps gaps(timeline);
    chart.AddDecoration(gaps);
    chart.BottomAxis().SetLabelEngine(std::make_shared<chart::TTimeLabels>(timeline));
    ShowAll(chart);
    for (auto _ : state)
        benchmark::DoNotOptimize(chart.Draw().constBits());
    chart.BottomAxis().SetLabelEngine(nullptr);
    chart.RemoveDecoration(gaps);
    state.counters["knots"] = static_cast<double>(timeline->Knots().size());
}

// The same after other work has filled the caches, as in the program, where the window
// system, the serial reader and the decoder run between two repaints.
template <std::size_t Frames> void FullRedrawColdCaches(benchmark::State& state) {
    TChart& chart = Recorded<Frames>().chart;
    ShowAll(chart);
    std::vector<std::uint64_t> other(std::size_t{32} << 17); // 32 MiB
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t i = 0; i < other.size(); i += 8)
            other[i] += i;
        benchmark::DoNotOptimize(other.data());
        state.ResumeTiming();
        benchmark::DoNotOptimize(chart.Draw().constBits());
    }
}

// The same with the background drawn again too, as after a change of the axes.
template <std::size_t Frames> void FullRedrawFromScratch(benchmark::State& state) {
    TChart& chart = Recorded<Frames>().chart;
    ShowAll(chart);
    for (auto _ : state) {
        chart.PropertiesChanged();
        benchmark::DoNotOptimize(chart.Draw().constBits());
    }
}

template <std::size_t Frames> void ZoomedRedraw(benchmark::State& state) {
    TChart& chart = Recorded<Frames>().chart;
    ZoomAndScroll(chart);
    for (auto _ : state)
        benchmark::DoNotOptimize(chart.Draw().constBits());
    ShowAll(chart);
}

// The six series alone, on the layout of the last redraw, with either drawing.
void SeriesOnly(TChart& chart, benchmark::State& state, bool everySegment, bool zoomed) {
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

void HourSeries(benchmark::State& state, bool everySegment, bool zoomed) {
    SeriesOnly(Recorded<HourFrames>().chart, state, everySegment, zoomed);
}

void DaySeries(benchmark::State& state, bool everySegment, bool zoomed) {
    SeriesOnly(Recorded<DayFrames>().chart, state, everySegment, zoomed);
}

// One repaint's worth of frames at the full line rate, then the repaint.
template <std::size_t Frames> void LivePlotting(benchmark::State& state) {
    TRecordedChart& recorded = Recorded<Frames>();
    ShowAll(recorded.chart);
    const auto framesPerRepaint =
        static_cast<std::size_t>(std::ceil(FramesPerSecond / RepaintsPerSecond));
    for (auto _ : state) {
        recorded.Feed(framesPerRepaint);
        benchmark::DoNotOptimize(recorded.chart.Draw().constBits());
    }
    state.counters["points"] = static_cast<double>(recorded.chart.Series(0).Count()) * 6;
}

} // namespace

BENCHMARK(FullRedraw<HourFrames>)->Name("FullRedraw/Hour")->Unit(benchmark::kMillisecond);
BENCHMARK(FullRedraw<DayFrames>)->Name("FullRedraw/Day")->Unit(benchmark::kMillisecond);
BENCHMARK(FullRedrawTimeAxis<HourFrames>)
    ->Name("FullRedrawTimeAxis/Hour")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(FullRedrawTimeAxis<DayFrames>)
    ->Name("FullRedrawTimeAxis/Day")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(FullRedrawColdCaches<HourFrames>)
    ->Name("FullRedrawColdCaches/Hour")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(FullRedrawColdCaches<DayFrames>)
    ->Name("FullRedrawColdCaches/Day")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(FullRedrawFromScratch<HourFrames>)
    ->Name("FullRedrawFromScratch/Hour")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ZoomedRedraw<HourFrames>)->Name("ZoomedRedraw/Hour")->Unit(benchmark::kMillisecond);
BENCHMARK(ZoomedRedraw<DayFrames>)->Name("ZoomedRedraw/Day")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HourSeries, FullViewColumnSpans, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HourSeries, FullViewEverySegment, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HourSeries, ZoomedColumnSpans, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HourSeries, ZoomedEverySegment, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DaySeries, FullViewColumnSpans, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK(LivePlotting<FreshFrames>)->Name("LivePlotting/Fresh")->Unit(benchmark::kMillisecond);
BENCHMARK(LivePlotting<HourFrames>)->Name("LivePlotting/Hour")->Unit(benchmark::kMillisecond);
