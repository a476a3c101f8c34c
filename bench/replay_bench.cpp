// Replaying a one-hour recording (2.3 million frames, made with telmira-sim) into the
// chart page's six series: throughput and the memory each point costs.

#include "TelemetryChart.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int OneHourFrames = 2300000;

const std::vector<std::uint8_t>& OneHourRecording() {
    static const std::vector<std::uint8_t> bytes = [] {
        const std::filesystem::path path =
            std::filesystem::temp_directory_path() / "telmira-bench-one-hour.dcc";
        const std::string command = std::string(TELMIRA_BIN_DIR) + "/telmira-sim --out " +
                                    path.string() + " --frames " + std::to_string(OneHourFrames) +
                                    " --seed 1";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("telmira-sim failed: " + command);
        std::ifstream in(path, std::ios::binary);
        std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
        std::filesystem::remove(path);
        return data;
    }();
    return bytes;
}

void BM_ReplayOneHour(benchmark::State& state) {
    const auto& recording = OneHourRecording();
    TChart chart;
    ConfigureTelemetryChart(chart);
    TChartPlot plot(chart);
    telemetry::TLatestValues values;
    for (auto _ : state) {
        for (int i = 0; i < telemetry::PlotSeriesCount; ++i)
            chart.Series(i).Clear();
        values.FrameCounter = 0;
        std::uint8_t replayState = 0;
        telemetry::DecodeBlock(recording, telemetry::DecodeMode::Replay, replayState, values,
                               &plot);
    }
    std::size_t points = 0, bytes = 0;
    for (int i = 0; i < telemetry::PlotSeriesCount; ++i) {
        points += chart.Series(i).Count();
        bytes += chart.Series(i).StorageBytes();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * recording.size()));
    state.counters["points"] = static_cast<double>(points);
    state.counters["bytes_per_point"] = static_cast<double>(bytes) / static_cast<double>(points);
}
BENCHMARK(BM_ReplayOneHour)->Unit(benchmark::kMillisecond);

} // namespace
