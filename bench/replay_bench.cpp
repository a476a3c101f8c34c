// Replaying a one-hour recording (2.3 million frames, made with telmira-sim) into the
// chart page's six series: throughput and the memory each point costs, from memory and
// through the viewer's mapped file.

#include "RecordingView.h"
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

// The recording, made once per run and removed at exit.
class TOneHourFile {
public:
    TOneHourFile() {
        const std::string command = std::string(TELMIRA_BIN_DIR) + "/telmira-sim --out " +
                                    Path.string() + " --frames " + std::to_string(OneHourFrames) +
                                    " --seed 1";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("telmira-sim failed: " + command);
    }
    ~TOneHourFile() { std::filesystem::remove(Path); }
    const std::filesystem::path Path =
        std::filesystem::temp_directory_path() / "telmira-bench-one-hour.dcc";
};

const std::filesystem::path& OneHourPath() {
    static const TOneHourFile file;
    return file.Path;
}

const std::vector<std::uint8_t>& OneHourRecording() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::ifstream in(OneHourPath(), std::ios::binary);
        return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    }();
    return bytes;
}

void ClearTelemetry(TChart& chart, telemetry::TLatestValues& values) {
    for (int i = 0; i < telemetry::PlotSeriesCount; ++i)
        chart.Series(i).Clear();
    values.FrameCounter = 0;
}

void Report(benchmark::State& state, const TChart& chart, std::size_t recordingBytes) {
    std::size_t points = 0, bytes = 0;
    for (int i = 0; i < telemetry::PlotSeriesCount; ++i) {
        points += chart.Series(i).Count();
        bytes += chart.Series(i).StorageBytes();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * recordingBytes));
    state.counters["points"] = static_cast<double>(points);
    state.counters["bytes_per_point"] = static_cast<double>(bytes) / static_cast<double>(points);
}

void BM_ReplayOneHour(benchmark::State& state) {
    const auto& recording = OneHourRecording();
    TChart chart;
    ConfigureTelemetryChart(chart);
    TChartPlot plot(chart);
    telemetry::TLatestValues values;
    for (auto _ : state) {
        ClearTelemetry(chart, values);
        std::uint8_t replayState = 0;
        telemetry::DecodeBlock(recording, telemetry::DecodeMode::Replay, replayState, values,
                               &plot);
    }
    Report(state, chart, recording.size());
}
BENCHMARK(BM_ReplayOneHour)->Unit(benchmark::kMillisecond);

// The viewer's road: the file locked, mapped and walked, as "Открыть данные для просмотра".
void BM_ViewOneHourFile(benchmark::State& state) {
    const std::string path = OneHourPath().string();
    TChart chart;
    ConfigureTelemetryChart(chart);
    TChartPlot plot(chart);
    telemetry::TLatestValues values;
    std::size_t size = 0;
    for (auto _ : state) {
        ClearTelemetry(chart, values);
        std::uint8_t replayState = 0;
        const telemetry::TViewedFile file(path);
        const telemetry::TRecordingMapping mapping(file);
        const telemetry::TRecordingView view(mapping);
        view.Replay(replayState, values, plot);
        size = mapping.Size();
    }
    Report(state, chart, size);
}
BENCHMARK(BM_ViewOneHourFile)->Unit(benchmark::kMillisecond);

} // namespace
