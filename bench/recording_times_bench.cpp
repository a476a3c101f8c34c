// What a recording's companion costs when the recording is viewed: an hour's recording
// (2,304,000 frames) locked, mapped and replayed onto the chart page's six series, as "Открыть
// данные для просмотра" does it, without its companion and with it (read, checked against
// every byte of the recording, and the time of every frame's end taken in order, as a time
// axis needs them). The companion is what a session at the full line rate writes, in blocks of
// 64 frames a tenth of a second apart. Compare the CPU columns when the machine is shared.

#include "telemetry/CompanionWriter.h"
#include "telemetry/RecordingTimes.h"
#include "telemetry/RecordingView.h"
#include "tools/sim/Simulator.h"
#include "ui/window/TelemetryChart.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace {

constexpr int OneHourFrames = 3600 * 640;

// The recording and its companion, made once per run and removed at exit.
class TOneHour {
public:
    TOneHour() {
        const auto bytes = sim::GenerateRecording(1, OneHourFrames, false);
        std::ofstream(Recording, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        using TClock = telemetry::TCompanionWriter::TClock;
        const TClock::time_point start = TClock::now();
        telemetry::TCompanionWriter writer(Recording.string(), start);
        std::mt19937 random(1);
        const std::span<const std::uint8_t> all(bytes);
        for (std::size_t at = 0, k = 0; at < bytes.size(); at += 576, ++k) {
            const auto readAt = start + std::chrono::milliseconds(100 * k) +
                                std::chrono::microseconds(random() % 2000);
            writer.Block(all.subspan(at, std::min<std::size_t>(576, bytes.size() - at)), readAt,
                         {64, 0, 1}, start);
        }
        writer.Close(start + std::chrono::hours(1));
        FrameEnds.reserve(OneHourFrames);
        for (std::uint64_t end = 9; end <= bytes.size(); end += 9)
            FrameEnds.push_back(end);
    }
    ~TOneHour() {
        std::filesystem::remove(Recording);
        std::filesystem::remove(telemetry::CompanionPath(Recording.string()));
    }
    const std::filesystem::path Recording =
        std::filesystem::temp_directory_path() / "telmira-bench-times-one-hour.dcc";
    std::vector<std::uint64_t> FrameEnds; // what the frame table gives
};

const TOneHour& OneHour() {
    static const TOneHour hour;
    return hour;
}

void View(benchmark::State& state, bool withTimes) {
    const TOneHour& hour = OneHour();
    const std::string path = hour.Recording.string();
    TChart chart;
    ConfigureTelemetryChart(chart);
    TChartPlot plot(chart);
    telemetry::TLatestValues values;
    double lastTime = 0;
    for (auto _ : state) {
        for (int i = 0; i < telemetry::PlotSeriesCount; ++i)
            chart.Series(i).Clear();
        values.FrameCounter = 0;
        std::uint8_t replayState = 0;
        const telemetry::TViewedFile file(path);
        const telemetry::TRecordingMapping mapping(file);
        const telemetry::TRecordingView view(mapping);
        view.Replay(replayState, values, plot);
        if (withTimes) {
            const telemetry::TRecordingTimes times =
                telemetry::ReadRecordingTimes(path, view.Bytes());
            if (times.State() != telemetry::TCompanionState::Complete) {
                state.SkipWithError("the companion is not used");
                break;
            }
            telemetry::TTimeCursor cursor(times);
            for (const std::uint64_t end : hour.FrameEnds)
                lastTime = cursor.At(end).Seconds;
        }
    }
    benchmark::DoNotOptimize(lastTime);
    state.counters["last_frame_s"] = lastTime;
}

void BM_ViewOneHour(benchmark::State& state) {
    View(state, false);
}
BENCHMARK(BM_ViewOneHour)->Unit(benchmark::kMillisecond);

void BM_ViewOneHourWithItsTimes(benchmark::State& state) {
    View(state, true);
}
BENCHMARK(BM_ViewOneHourWithItsTimes)->Unit(benchmark::kMillisecond);

// The companion's parts alone: read and checked; every frame timed.
void BM_CompanionOfAnHourChecked(benchmark::State& state) {
    const std::string path = OneHour().Recording.string();
    const telemetry::TViewedFile file(path);
    const telemetry::TRecordingMapping mapping(file);
    const telemetry::TRecordingView view(mapping);
    for (auto _ : state)
        benchmark::DoNotOptimize(telemetry::ReadRecordingTimes(path, view.Bytes()).State());
}
BENCHMARK(BM_CompanionOfAnHourChecked)->Unit(benchmark::kMillisecond);

void BM_TimesOfEveryFrameOfAnHour(benchmark::State& state) {
    const TOneHour& hour = OneHour();
    const std::string path = hour.Recording.string();
    const telemetry::TViewedFile file(path);
    const telemetry::TRecordingMapping mapping(file);
    const telemetry::TRecordingView view(mapping);
    double lastTime = 0;
    std::size_t checkpoints = 0;
    for (auto _ : state) {
        const telemetry::TRecordingTimes times = telemetry::ReadRecordingTimes(path, view.Bytes());
        telemetry::TTimeCursor cursor(times);
        for (const std::uint64_t end : hour.FrameEnds)
            lastTime = cursor.At(end).Seconds;
        checkpoints = times.Checkpoints().size();
    }
    benchmark::DoNotOptimize(lastTime);
    state.counters["checkpoints"] = static_cast<double>(checkpoints);
    state.counters["companion_share_%"] =
        100.0 * static_cast<double>(std::filesystem::file_size(telemetry::CompanionPath(path))) /
        static_cast<double>(std::filesystem::file_size(path));
}
BENCHMARK(BM_TimesOfEveryFrameOfAnHour)->Unit(benchmark::kMillisecond);

} // namespace
