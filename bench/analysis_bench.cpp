// The analysis page's counts over an hour (2,304,000 frames) and a day (55,296,000) of a
// simulated engine run at the line rate: the table binned by engine speed and MAP, first and
// after a change of bins or filter; the figures of a selection; the XY density, first, after a
// zoom, and a day's; the band counts; a click's nearest frame; a live session's update of a
// tenth of a second; and the memory all of them take beside a day's frame table.

#include "analysis/Band.h"
#include "analysis/BinnedTable.h"
#include "analysis/Density.h"
#include "analysis/Selection.h"
#include "telemetry/FrameTable.h"
#include "tools/sim/Simulator.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

using namespace analysis;

constexpr std::int64_t HourFrames = 3600 * sim::FramesPerSecond;
constexpr int DayHours = 24;
constexpr std::size_t WalkBlock = 4096;

const std::vector<std::uint8_t>& HourRecording() {
    static const std::vector<std::uint8_t> bytes = sim::GenerateRecording(1, HourFrames, true);
    return bytes;
}

// The recording decoded `hours` times over into a table, in the viewer's blocks.
const telemetry::TFrameTable& Table(int hours) {
    static telemetry::TFrameTable hour, day;
    telemetry::TFrameTable& table = hours == 1 ? hour : day;
    if (table.Rows() == 0) {
        const std::vector<std::uint8_t>& bytes = HourRecording();
        table.Reserve(hours * HourFrames);
        telemetry::TLatestValues values;
        std::uint8_t state = 0;
        for (int h = 0; h < hours; ++h)
            for (std::size_t at = 0; at < bytes.size(); at += WalkBlock)
                telemetry::DecodeBlock({bytes.data() + at, std::min(WalkBlock, bytes.size() - at)},
                                       telemetry::DecodeMode::Replay, state, values, nullptr,
                                       &table);
    }
    return table;
}

std::int64_t ResidentBytes() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return static_cast<std::int64_t>(resident) * ::sysconf(_SC_PAGESIZE);
}

// Expected curves for the curve numbers of the simulated run.
TExpectedCurves CurveSet() {
    TExpectedCurves curves;
    for (std::uint8_t curve = 0; curve < 4; ++curve)
        curves.SetCurve(curve, {{900, 8.0 + curve}, {3000, 30.0 + curve}, {5000, 34.0 + curve}});
    return curves;
}

const TExpectedAdvance& Curves() {
    static const TExpectedAdvance expected(CurveSet());
    return expected;
}

// The default table (mean advance, 250 об/мин by 16 MAP codes), made and filled.
void BM_Table(benchmark::State& state) {
    const auto& table = Table(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TBinnedTable binned{TTableLayout{}};
        binned.Extend(table);
        benchmark::DoNotOptimize(binned.Value(12, 3, TStatistic::Mean));
    }
    state.counters["frames"] = static_cast<double>(table.Rows());
}
BENCHMARK(BM_Table)->ArgName("hours")->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

// An hour's table after the user changed its bins, its filter or its quantity.
void BM_TableChanged(benchmark::State& state) {
    const auto& table = Table(1);
    const TExpectedAdvance& curves = Curves();
    TTableLayout layout;
    switch (state.range(0)) {
    case 0:
        state.SetLabel("bins 100 rpm by 8 MAP bins");
        layout.Speed = {0, 7000, 100};
        layout.Map = {32};
        break;
    case 1:
        state.SetLabel("temperature >= 70, curves 1 and 2");
        layout.Filter.Ranges = {{TQuantity::Temperature, 70}};
        layout.Filter.Curves.reset();
        layout.Filter.Curves.set(1).set(2);
        break;
    case 2:
        state.SetLabel("engine speed");
        layout.Quantity = TQuantity::Speed;
        break;
    default:
        state.SetLabel("deviation from 4 curves");
        layout.Quantity = TQuantity::Deviation;
        break;
    }
    for (auto _ : state) {
        TBinnedTable binned(layout, &curves);
        binned.Extend(table);
        benchmark::DoNotOptimize(binned.Frames(0, 0));
    }
}
BENCHMARK(BM_TableChanged)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_SelectionFigures(benchmark::State& state) {
    const auto& table = Table(1);
    for (auto _ : state)
        benchmark::DoNotOptimize(SelectionFigures(table, {0, table.Rows()}));
}
BENCHMARK(BM_SelectionFigures)->Unit(benchmark::kMillisecond);

TDensityLayout PlotLayout() {
    TDensityLayout layout; // engine speed against advance, coloured by MAP
    layout.X = {TQuantity::Speed, 0, 7000, 900};
    layout.Y = {TQuantity::Advance, 0, 55, 500};
    return layout;
}

// The plot's counts drawn first, in new memory (0), and again in the memory of the drawing
// before: after a zoom into a tenth of the plot (1), after a change of filter (2); and the
// deviation drawn first (3).
void BM_Density(benchmark::State& state) {
    const auto& table = Table(static_cast<int>(state.range(1)));
    const TExpectedAdvance& curves = Curves();
    const TDensityLayout plot = PlotLayout();
    TDensityLayout layout = plot;
    switch (state.range(0)) {
    case 0:
        state.SetLabel("first");
        break;
    case 1:
        state.SetLabel("after a zoom");
        layout.X.From = 2000;
        layout.X.To = 2700;
        layout.Y.From = 20;
        layout.Y.To = 25.5;
        break;
    case 2:
        state.SetLabel("after a filter change: temperature >= 70");
        layout.Filter.Ranges = {{TQuantity::Temperature, 70}};
        break;
    default:
        state.SetLabel("deviation, first");
        layout.Y = {TQuantity::Deviation, -15, 15, 500};
        break;
    }
    const bool redraw = state.range(0) == 1 || state.range(0) == 2;
    TDensity shown(plot, &curves);
    shown.Extend(table);
    for (auto _ : state) {
        if (redraw) {
            shown.Reset(layout, &curves);
            shown.Extend(table);
            benchmark::DoNotOptimize(shown.MostFrames());
            // Back to where the next zoom or change starts from, untimed.
            state.PauseTiming();
            shown.Reset(plot, &curves);
            state.ResumeTiming();
            continue;
        }
        TDensity density(layout, &curves);
        density.Extend(table);
        benchmark::DoNotOptimize(density.MostFrames());
    }
}
BENCHMARK(BM_Density)
    ->ArgNames({"case", "hours"})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({3, 1})
    ->Args({0, 24})
    ->Unit(benchmark::kMillisecond);

void BM_Band(benchmark::State& state) {
    const auto& table = Table(1);
    const TExpectedAdvance& curves = Curves();
    for (auto _ : state) {
        TBandCounts band(curves, DefaultTolerance);
        band.Extend(table);
        benchmark::DoNotOptimize(band.Curves());
    }
}
BENCHMARK(BM_Band)->Unit(benchmark::kMillisecond);

void BM_NearestFrame(benchmark::State& state) {
    const auto& table = Table(1);
    TDensity density(PlotLayout());
    density.Extend(table);
    for (auto _ : state)
        benchmark::DoNotOptimize(density.Nearest(table, {300, 200}, 8));
}
BENCHMARK(BM_NearestFrame)->Unit(benchmark::kMillisecond);

// A live session's tenth of a second (64 frames) added to an hour's plot and table.
void BM_LiveUpdate(benchmark::State& state) {
    const auto& table = Table(1);
    constexpr std::int64_t Tenth = sim::FramesPerSecond / 10;
    TDensity density(PlotLayout());
    TBinnedTable binned{TTableLayout{}};
    density.Extend(table, table.Rows() - 1000 * Tenth);
    binned.Extend(table, table.Rows() - 1000 * Tenth);
    for (auto _ : state) {
        if (density.Counted() == table.Rows()) {
            state.PauseTiming();
            density.Reset(PlotLayout());
            binned = TBinnedTable(TTableLayout{});
            density.Extend(table, table.Rows() - 1000 * Tenth);
            binned.Extend(table, table.Rows() - 1000 * Tenth);
            state.ResumeTiming();
        }
        density.Extend(table, density.Counted() + Tenth);
        binned.Extend(table, binned.Counted() + Tenth);
    }
}
BENCHMARK(BM_LiveUpdate)->Unit(benchmark::kMicrosecond);

// What the page's counts of a day hold while they are shown, beyond the frame table: the
// expected advance of 4 curves, the plot's (900 x 500 pixels, coloured by MAP), the table of the
// deviation, the band, a selection's figures.
void BM_Memory(benchmark::State& state) {
    const auto& table = Table(DayHours);
    const std::int64_t before = ResidentBytes();
    for (auto _ : state) {
        const TExpectedAdvance curves(CurveSet());
        TDensity density(PlotLayout(), &curves);
        density.Extend(table);
        TTableLayout layout;
        layout.Quantity = TQuantity::Deviation;
        TBinnedTable binned(layout, &curves);
        binned.Extend(table);
        TBandCounts band(curves, DefaultTolerance);
        band.Extend(table);
        benchmark::DoNotOptimize(SelectionFigures(table, {0, table.Rows()}));
        state.counters["analysis_bytes"] = static_cast<double>(ResidentBytes() - before);
        state.counters["analysis_bytes_per_frame"] =
            static_cast<double>(ResidentBytes() - before) / static_cast<double>(table.Rows());
    }
}
BENCHMARK(BM_Memory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
