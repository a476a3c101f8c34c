// The frame table of a day at the line rate (55,296,000 frames): decoding the day's recording
// as the viewer's walk does, in 4 KiB blocks, without a table and filling one, so that the
// difference is what the table adds to a replay; and a pass over the whole table of the kind
// the analysis makes, the mean advance binned by engine speed and MAP.

#include "telemetry/FrameTable.h"
#include "tools/sim/Simulator.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

constexpr std::size_t HourFrames = 3600 * sim::FramesPerSecond;
constexpr int DayHours = 24;
constexpr std::size_t WalkBlock = 4096;

// An hour of frames, replayed 24 times over as a day: it ends with a whole frame.
const std::vector<std::uint8_t>& Hour() {
    static const std::vector<std::uint8_t> bytes = sim::GenerateRecording(1, HourFrames, false);
    return bytes;
}

void DecodeDay(telemetry::TFrameSink* frames) {
    const std::vector<std::uint8_t>& hour = Hour();
    telemetry::TLatestValues values;
    std::uint8_t state = 0;
    for (int h = 0; h < DayHours; ++h)
        for (std::size_t at = 0; at < hour.size(); at += WalkBlock)
            telemetry::DecodeBlock({hour.data() + at, std::min(WalkBlock, hour.size() - at)},
                                   telemetry::DecodeMode::Replay, state, values, nullptr, frames);
}

void BM_DecodeDay(benchmark::State& state) {
    for (auto _ : state)
        DecodeDay(nullptr);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * DayHours) *
                            static_cast<std::int64_t>(Hour().size()));
}
BENCHMARK(BM_DecodeDay)->Unit(benchmark::kMillisecond);

// Told of the day's frames first, as the viewer's table is (1), or growing as a live
// session's (0).
void BM_DecodeDayIntoTable(benchmark::State& state) {
    const bool reserved = state.range(0) != 0;
    telemetry::TFrameTable table;
    for (auto _ : state) {
        table.Clear();
        if (reserved)
            table.Reserve(static_cast<std::int64_t>(DayHours * HourFrames));
        DecodeDay(&table);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * DayHours) *
                            static_cast<std::int64_t>(Hour().size()));
    state.counters["frames"] = static_cast<double>(table.Rows());
    state.counters["bytes_per_frame"] =
        static_cast<double>(table.StorageBytes()) / static_cast<double>(table.Rows());
}
BENCHMARK(BM_DecodeDayIntoTable)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// Engine-speed bins 250 revolutions per minute wide up to 7,000, MAP bins 16 codes wide.
constexpr int SpeedBins = 28;
constexpr int MapBins = 16;
constexpr std::uint8_t NoBin = 0xFF;

std::array<std::uint8_t, 65536> SpeedBinOfPeriod() {
    std::array<std::uint8_t, 65536> bins{};
    bins[0] = NoBin;
    for (std::size_t period = 1; period < bins.size(); ++period) {
        const double rpm = telemetry::EngineSpeed(static_cast<std::uint16_t>(period));
        bins[period] = rpm > 7000 ? NoBin : static_cast<std::uint8_t>(std::min(rpm / 250, 27.0));
    }
    return bins;
}

void BM_ScanDayIntoBins(benchmark::State& state) {
    telemetry::TFrameTable table;
    table.Reserve(static_cast<std::int64_t>(DayHours * HourFrames));
    DecodeDay(&table);
    const auto speedBin = SpeedBinOfPeriod();
    std::array<std::uint64_t, SpeedBins * MapBins> counts{}, sums{};
    for (auto _ : state) {
        counts = {};
        sums = {};
        table.ForEachRun(0, table.Rows(), [&](const telemetry::TFrameRun& run) {
            for (std::size_t i = 0; i < run.Count; ++i) {
                const std::uint8_t s = speedBin[run.Period(i)];
                if (s == NoBin)
                    continue;
                const std::size_t cell = s * MapBins + run.Map(i) / 16;
                ++counts[cell];
                sums[cell] += run.AdvanceCode(i);
            }
        });
        benchmark::DoNotOptimize(sums);
    }
    std::uint64_t binned = 0;
    for (const std::uint64_t n : counts)
        binned += n;
    state.counters["frames"] = static_cast<double>(table.Rows());
    state.counters["binned"] = static_cast<double>(binned);
}
BENCHMARK(BM_ScanDayIntoBins)->Unit(benchmark::kMillisecond);

} // namespace
