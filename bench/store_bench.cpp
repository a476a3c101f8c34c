// The point store on its own, at the lengths a series reaches: an hour at the line rate
// (2,304,000 values a list) and a day (55,296,000). Appending what a replay hands over a
// block at a time (frame numbers in equal steps, engine speeds, byte fields times ten), and
// the extremes of ranges, which the chart's layout asks for the whole list on every redraw
// and its drawing for stretches of every length.

#include "store/ValueStore.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <random>
#include <span>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t HourValues = 3600 * 640;
constexpr std::size_t DayValues = 24 * HourValues;
constexpr std::size_t Block = 4096; // values handed over at a time

enum class TQuantity { Speed, Byte };

// A run of an engine: the period wanders, and with it the speed (27648000 / period, a double
// with a fraction) and a byte field that follows the load (whole numbers, times ten). The
// store is handed this run over and over.
const std::vector<double>& Run(TQuantity quantity) {
    static const std::pair<std::vector<double>, std::vector<double>> runs = [] {
        std::mt19937 random(1);
        std::uniform_real_distribution<double> step(-40, 40);
        std::vector<double> speeds, bytes;
        double period = 20000;
        for (std::size_t i = 0; i < (std::size_t{1} << 16); ++i) {
            period = std::clamp(period + step(random), 2000.0, 60000.0);
            speeds.push_back(27648000.0 / std::round(period));
            bytes.push_back(std::round(period / 400) * 10);
        }
        return std::pair(speeds, bytes);
    }();
    return quantity == TQuantity::Speed ? runs.first : runs.second;
}

void Append(store::TValueStore& values, TQuantity quantity, std::size_t count) {
    const std::vector<double>& run = Run(quantity);
    for (std::size_t done = 0; done < count;) {
        const std::size_t at = done % run.size();
        const std::size_t n = std::min({Block, count - done, run.size() - at});
        values.AppendAll(std::span(run).subspan(at, n));
        done += n;
    }
}

void Report(benchmark::State& state, std::size_t count, const store::TValueStore& values) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
    state.counters["bytes_per_value"] =
        static_cast<double>(values.Bytes()) / static_cast<double>(count);
}

template <std::size_t Count> void AppendFrameNumbers(benchmark::State& state) {
    const store::TSteps frames{0, 1};
    store::TValueStore values;
    for (auto _ : state) {
        values.Release();
        for (std::size_t done = 0; done < Count;) {
            const std::size_t fit = values.PrepareSteps(frames, done, Count - done);
            values.AppendSteps(frames, done, fit);
            done += fit;
        }
        benchmark::DoNotOptimize(values.back());
    }
    Report(state, Count, values);
}

template <std::size_t Count, TQuantity Quantity> void AppendValues(benchmark::State& state) {
    store::TValueStore values;
    for (auto _ : state) {
        values.Release();
        Append(values, Quantity, Count);
        benchmark::DoNotOptimize(values.back());
    }
    Report(state, Count, values);
}

// Made on first use and kept for the rest of the run.
template <std::size_t Count> const store::TValueStore& Speeds() {
    static const std::unique_ptr<store::TValueStore> values = [] {
        auto made = std::make_unique<store::TValueStore>();
        Append(*made, TQuantity::Speed, Count);
        return made;
    }();
    return *values;
}

// Ranges from a few values to the whole list, their lengths spread evenly on a log scale.
std::vector<std::pair<std::size_t, std::size_t>> Ranges(std::size_t count) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> logLength(1, std::log10(static_cast<double>(count)));
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    for (int i = 0; i < 1000; ++i) {
        const auto length = static_cast<std::size_t>(std::pow(10.0, logLength(random)));
        const std::size_t first =
            std::uniform_int_distribution<std::size_t>(0, count - length)(random);
        ranges.emplace_back(first, first + length);
    }
    return ranges;
}

// In order, as the statistics rule takes them, and in the order that looks at fewest values.
template <std::size_t Count, bool InOrder> void ExtremesOfRanges(benchmark::State& state) {
    const store::TValueStore& values = Speeds<Count>();
    const auto ranges = Ranges(Count);
    for (auto _ : state)
        for (const auto& [first, end] : ranges)
            benchmark::DoNotOptimize(InOrder ? values.Extremes(first, end)
                                             : values.Bounds(first, end));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * ranges.size()));
}

template <std::size_t Count> void ExtremesOfTheWholeList(benchmark::State& state) {
    const store::TValueStore& values = Speeds<Count>();
    for (auto _ : state)
        benchmark::DoNotOptimize(values.Extremes(0, Count));
}

} // namespace

BENCHMARK(AppendFrameNumbers<HourValues>)
    ->Name("AppendFrameNumbers/Hour")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(AppendFrameNumbers<DayValues>)
    ->Name("AppendFrameNumbers/Day")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(AppendValues<HourValues, TQuantity::Speed>)
    ->Name("AppendSpeeds/Hour")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(AppendValues<DayValues, TQuantity::Speed>)
    ->Name("AppendSpeeds/Day")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(AppendValues<HourValues, TQuantity::Byte>)
    ->Name("AppendBytes/Hour")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(AppendValues<DayValues, TQuantity::Byte>)
    ->Name("AppendBytes/Day")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ExtremesOfRanges<HourValues, true>)->Name("ExtremesOfRanges/Hour");
BENCHMARK(ExtremesOfRanges<DayValues, true>)->Name("ExtremesOfRanges/Day");
BENCHMARK(ExtremesOfRanges<HourValues, false>)->Name("BoundsOfRanges/Hour");
BENCHMARK(ExtremesOfRanges<DayValues, false>)->Name("BoundsOfRanges/Day");
BENCHMARK(ExtremesOfTheWholeList<HourValues>)->Name("ExtremesOfTheWholeList/Hour");
BENCHMARK(ExtremesOfTheWholeList<DayValues>)->Name("ExtremesOfTheWholeList/Day");
