// The cost of a live session: the handler's work per second of line rate, and the CPU
// a whole session (reader thread, hand-over, handler) takes at the full line rate, and how soon
// it has a failed port open again once the port is back.

#include "serial/tests/Pty.h"
#include "telemetry/LiveSession.h"
#include "tools/sim/Simulator.h"
#include "ui/platform/QtWindowThread.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using telemetry::TLatestValues;

// Stands in for the chart, whose own cost is measured with the chart.
class TCountingPlot : public telemetry::TFramePlot {
public:
    std::size_t Points = 0;
    void AddPoints(int, double, std::span<const double> ys, std::uint32_t) override {
        Points += ys.size();
    }
};

constexpr std::size_t LineBytesPerSecond = 5760;

// One second of line rate handed over as one block, recorded and decoded.
void BM_HandlerPerSecondOfLineRate(benchmark::State& state) {
    const bool plotting = state.range(0) != 0;
    const auto stream = sim::GenerateRecording(1, 64 * sim::FramesPerSecond, false);
    serial::testing::TTempRuntimeDir dir;
    const auto name = (dir.Path() / "bench.dcc").string();
    auto file = std::make_unique<telemetry::TRecordingFile>(name);
    TLatestValues values;
    TCountingPlot plot;
    std::size_t at = 0, sinceReopen = 0;
    for (auto _ : state) {
        const std::span<const std::uint8_t> block(stream.data() + at, LineBytesPerSecond);
        telemetry::RecordBlock(*file, block,
                               plotting ? telemetry::DecodeMode::LivePlotting
                                        : telemetry::DecodeMode::LiveRecordingOnly,
                               values, &plot, telemetry::TRecordingFile::TClock::now());
        at = (at + LineBytesPerSecond) % (stream.size() - LineBytesPerSecond);
        if (++sinceReopen == 2000) {
            state.PauseTiming();
            file.reset();
            file = std::make_unique<telemetry::TRecordingFile>(name);
            sinceReopen = 0;
            state.ResumeTiming();
        }
    }
    benchmark::DoNotOptimize(plot.Points);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * LineBytesPerSecond));
}
BENCHMARK(BM_HandlerPerSecondOfLineRate)->ArgName("plotting")->Arg(1)->Arg(0);

// The sync a session makes twice a second at the full line rate: half a second of stream
// written, then synced to the disk. Compare with the handler's own cost above; the sync
// is made on the window thread.
void BM_SyncHalfASecondOfLineRate(benchmark::State& state) {
    using TClock = telemetry::TRecordingFile::TClock;
    const auto stream = sim::GenerateRecording(2, sim::FramesPerSecond, false);
    const std::span<const std::uint8_t> half(stream.data(), LineBytesPerSecond / 2);
    serial::testing::TTempRuntimeDir dir;
    telemetry::TRecordingFile file((dir.Path() / "bench.dcc").string());
    TClock::time_point now = TClock::now();
    for (auto _ : state) {
        state.PauseTiming();
        file.Write(half, now);
        now += telemetry::SyncAfter;
        state.ResumeTiming();
        file.SyncIfDue(now);
    }
    state.counters["syncs"] = static_cast<double>(file.Syncs());
}
BENCHMARK(BM_SyncHalfASecondOfLineRate)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The companion's share of the handler: a second of line rate as 640 blocks of a frame, each
// read 1562.5 us after the one before, with the companion's two syncs of that second. Its CPU
// time a second is its share of a core.
void BM_CompanionPerSecondOfLineRate(benchmark::State& state) {
    using TClock = telemetry::TCompanionWriter::TClock;
    const auto stream = sim::GenerateRecording(4, 64 * sim::FramesPerSecond, false);
    serial::testing::TTempRuntimeDir dir;
    const auto name = (dir.Path() / "bench.dcc").string();
    TClock::time_point now = TClock::now();
    auto writer = std::make_unique<telemetry::TCompanionWriter>(name, now);
    std::size_t at = 0, sinceReopen = 0;
    for (auto _ : state) {
        for (int k = 0; k < sim::FramesPerSecond; ++k) {
            writer->Block(std::span(stream).subspan(at, telemetry::FrameSize), now, {1, 0, 1}, now);
            at = (at + telemetry::FrameSize) % stream.size();
            now += std::chrono::nanoseconds(1'562'500);
        }
        if (++sinceReopen == 600) {
            state.PauseTiming();
            writer.reset(); // it holds the companion
            writer = std::make_unique<telemetry::TCompanionWriter>(name, now);
            sinceReopen = 0;
            state.ResumeTiming();
        }
    }
    if (writer->Failure())
        state.SkipWithError(writer->Failure()->c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * LineBytesPerSecond));
}
BENCHMARK(BM_CompanionPerSecondOfLineRate)->Unit(benchmark::kMicrosecond);

double CpuSeconds(clockid_t clock) {
    timespec t{};
    ::clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A session fed at 640 frames per second from a pseudo-terminal for a few seconds. The
// figure is the session's CPU time (window thread and reader) per second of wall time;
// the feeding thread's own time is left out.
// The window thread's event loop, which sessions need.
void NeedEventLoop() {
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    serial::InstallQtWindowThread();
}

void BM_SessionCpuAtFullLineRate(benchmark::State& state) {
    NeedEventLoop();

    const double seconds = static_cast<double>(state.range(0));
    for (auto _ : state) {
        serial::testing::TTempRuntimeDir dir;
        serial::testing::TPty pty;
        pty.LinkAs(1);
        TLatestValues values;
        TCountingPlot plot;
        telemetry::TLiveSession session((dir.Path() / "run.dcc").string(), 1, values, plot,
                                        nullptr);
        session.AttachHandler(true);

        std::atomic<bool> done{false};
        double feederCpu = 0;
        std::thread feeder([&] {
            sim::TStreamGenerator generator(3, false);
            std::vector<std::uint8_t> bytes;
            timespec tick{};
            ::clock_gettime(CLOCK_MONOTONIC, &tick);
            for (int i = 0; i < seconds * 100; ++i) {
                bytes.clear();
                for (int f = 0; f < sim::FramesPerSecond / 100; ++f)
                    generator.AppendFrame(bytes);
                [[maybe_unused]] const ssize_t n =
                    ::write(pty.Master(), bytes.data(), bytes.size());
                tick.tv_nsec += 10'000'000;
                if (tick.tv_nsec >= 1'000'000'000) {
                    tick.tv_nsec -= 1'000'000'000;
                    ++tick.tv_sec;
                }
                ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &tick, nullptr);
            }
            feederCpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            done = true;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
        });

        const double cpuBefore = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const double wallBefore = CpuSeconds(CLOCK_MONOTONIC);
        while (!done) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        feeder.join();
        const double cpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore - feederCpu;
        const double wall = CpuSeconds(CLOCK_MONOTONIC) - wallBefore;
        state.counters["cpu_percent"] = 100 * cpu / wall;
        state.counters["frames"] = static_cast<double>(values.FrameCounter);
    }
}
BENCHMARK(BM_SessionCpuAtFullLineRate)
    ->Arg(5)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

// How soon a session whose port failed has it open again once the port is back: from the
// moment its link is made anew until the session holds the terminal. The session tries every
// ReopenInterval, so the time lies between the opening's own and that interval more; the
// returns are spread evenly over the interval.
void BM_ReopenAfterThePortComesBack(benchmark::State& state) {
    NeedEventLoop();
    serial::testing::TTempRuntimeDir dir;
    auto pty = std::make_unique<serial::testing::TPty>();
    pty->LinkAs(1);
    TLatestValues values;
    TCountingPlot plot;
    telemetry::TLiveSession session((dir.Path() / "run.dcc").string(), 1, values, plot, nullptr);
    session.AttachHandler(false);
    double worst = 0;
    int returns = 0;
    for (auto _ : state) {
        pty->CloseMaster();
        while (!session.WaitingForPort())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const auto away = std::chrono::steady_clock::now();
        const auto phase = telemetry::ReopenInterval * (returns++ % 10) / 10;
        while (std::chrono::steady_clock::now() - away < telemetry::ReopenInterval + phase) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        pty = std::make_unique<serial::testing::TPty>();
        const auto back = std::chrono::steady_clock::now();
        pty->LinkAs(1);
        // The opening runs on the timer's tick, which wakes the loop.
        while (!pty->Exclusive())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - back;
        state.SetIterationTime(took.count());
        worst = std::max(worst, took.count());
    }
    state.counters["worst_ms"] = worst * 1000;
}
BENCHMARK(BM_ReopenAfterThePortComesBack)
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

} // namespace
