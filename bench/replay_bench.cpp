// Replaying a one-hour recording (2,304,000 frames, made with telmira-sim) into the chart
// page's six series and the recording's frame table, as the window does. The first open, as a
// user meets it: telmira-dcc png in a fresh process (start, map, replay, draw, write the
// picture), wall time with its CPU time and peak memory. Then warm repetitions in one process,
// from memory and through the viewer's mapped file: throughput, the memory each point costs,
// and the memory each frame of the table costs, printed as "frame table: N bytes per frame".

#include "telemetry/FrameTable.h"
#include "telemetry/RecordingView.h"
#include "ui/window/TelemetryChart.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

constexpr int OneHourFrames = 3600 * 640;

// The recording, made once per run in a folder of the run's own, so that runs at the same time
// keep apart; the folder goes at exit with all in it.
class TOneHourFile {
public:
    TOneHourFile() {
        if (!Folder.isValid())
            throw std::runtime_error("no temporary folder: " + Folder.errorString().toStdString());
        const std::string command = std::string(TELMIRA_BIN_DIR) + "/telmira-sim --out " +
                                    Path.string() + " --frames " + std::to_string(OneHourFrames) +
                                    " --seed 1";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("telmira-sim failed: " + command);
    }
    const QTemporaryDir Folder{QDir::tempPath() + "/telmira-bench-XXXXXX"};
    const std::filesystem::path Path = Folder.filePath("one-hour.dcc").toStdString();
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

void ClearTelemetry(TChart& chart, telemetry::TFrameTable& frames,
                    telemetry::TLatestValues& values) {
    for (int i = 0; i < telemetry::PlotSeriesCount; ++i)
        chart.Series(i).Clear();
    frames.Clear();
    values.FrameCounter = 0;
}

void Report(benchmark::State& state, const TChart& chart, const telemetry::TFrameTable& frames,
            std::size_t recordingBytes) {
    std::size_t points = 0, bytes = 0;
    for (int i = 0; i < telemetry::PlotSeriesCount; ++i) {
        points += chart.Series(i).Count();
        bytes += chart.Series(i).StorageBytes();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * recordingBytes));
    state.counters["points"] = static_cast<double>(points);
    state.counters["bytes_per_point"] = static_cast<double>(bytes) / static_cast<double>(points);
    const double tableBytesPerFrame =
        static_cast<double>(frames.StorageBytes()) / static_cast<double>(frames.Rows());
    state.counters["table_bytes_per_frame"] = tableBytesPerFrame;
    static bool printed = false;
    if (!printed)
        std::printf("frame table: %.2f bytes per frame (%lld frames)\n", tableBytesPerFrame,
                    static_cast<long long>(frames.Rows()));
    printed = true;
}

// One run of telmira-dcc png on the hour, each in a process of its own.
void BM_FirstOpenFreshProcess(benchmark::State& state) {
    const std::string tool = std::string(TELMIRA_BIN_DIR) + "/telmira-dcc";
    const std::string recording = OneHourPath().string();
    const std::string picture = (OneHourPath().parent_path() / "one-hour.png").string();
    std::vector<char*> argv = {const_cast<char*>(tool.c_str()), const_cast<char*>("png"),
                               const_cast<char*>(recording.c_str()),
                               const_cast<char*>(picture.c_str()), nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    double cpu = 0;
    long peakKiB = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        int status = -1;
        rusage usage{};
        if (posix_spawn(&pid, tool.c_str(), &quiet, nullptr, argv.data(), environ) != 0 ||
            ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            state.SkipWithError("telmira-dcc png failed");
            break;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        cpu += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
        peakKiB = std::max(peakKiB, usage.ru_maxrss);
    }
    posix_spawn_file_actions_destroy(&quiet);
    std::filesystem::remove(picture);
    state.counters["cpu_ms"] =
        1e3 * cpu / static_cast<double>(std::max<int64_t>(1, state.iterations()));
    state.counters["peak_MiB"] = static_cast<double>(peakKiB) / 1024;
}
BENCHMARK(BM_FirstOpenFreshProcess)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_ReplayOneHour(benchmark::State& state) {
    const auto& recording = OneHourRecording();
    TChart chart;
    ConfigureTelemetryChart(chart);
    TChartPlot plot(chart);
    telemetry::TFrameTable frames;
    telemetry::TLatestValues values;
    for (auto _ : state) {
        ClearTelemetry(chart, frames, values);
        frames.Reserve(static_cast<std::int64_t>(recording.size() / telemetry::FrameSize));
        std::uint8_t replayState = 0;
        telemetry::DecodeBlock(recording, telemetry::DecodeMode::Replay, replayState, values, &plot,
                               &frames);
    }
    Report(state, chart, frames, recording.size());
}
BENCHMARK(BM_ReplayOneHour)->Unit(benchmark::kMillisecond);

// The viewer's road: the file locked, mapped and walked, as "Открыть данные для просмотра".
void BM_ViewOneHourFile(benchmark::State& state) {
    const std::string path = OneHourPath().string();
    TChart chart;
    ConfigureTelemetryChart(chart);
    TChartPlot plot(chart);
    telemetry::TFrameTable frames;
    telemetry::TLatestValues values;
    std::size_t size = 0;
    for (auto _ : state) {
        ClearTelemetry(chart, frames, values);
        std::uint8_t replayState = 0;
        const telemetry::TViewedFile file(path);
        const telemetry::TRecordingMapping mapping(file);
        frames.Reserve(static_cast<std::int64_t>(mapping.Size() / telemetry::FrameSize));
        const telemetry::TRecordingView view(mapping);
        view.Replay(replayState, values, plot, nullptr, &frames);
        size = mapping.Size();
    }
    Report(state, chart, frames, size);
}
BENCHMARK(BM_ViewOneHourFile)->Unit(benchmark::kMillisecond);

} // namespace
