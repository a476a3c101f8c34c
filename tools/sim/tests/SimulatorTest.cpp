#include "tools/sim/Simulator.h"
#include "serial/ComPort.h"
#include "serial/tests/Pty.h"
#include "telemetry/RecordingFile.h"
#include "telemetry/Telemetry.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace sim {
namespace {

// Frames as the decoder sees them: one entry per frame it counted, from replay points.
class TDecodedFrames : public telemetry::TFramePlot {
public:
    std::vector<std::array<double, telemetry::PlotSeriesCount>> Frames;
    void AddPoints(int series, double firstX, std::span<const double> ys, std::uint32_t) override {
        for (std::size_t i = 0; i < ys.size(); ++i) {
            const auto k = static_cast<std::size_t>(firstX) + i;
            if (Frames.size() <= k)
                Frames.resize(k + 1, {});
            Frames[k][static_cast<std::size_t>(series)] = ys[i];
        }
    }
};

std::array<double, telemetry::PlotSeriesCount> Expected(const TFrameFields& f) {
    return {f.Period ? telemetry::EngineSpeed(f.Period) : 0.0,
            f.Map * 10.0,
            f.CurveNumber * 10.0,
            f.Temperature * 10.0,
            f.OctaneCorrector * 10.0,
            telemetry::AdvanceDegrees(f.AdvanceCode) * 100};
}

struct TReplay {
    TDecodedFrames plot;
    telemetry::TLatestValues values;
    std::uint8_t state = 0;
};

std::unique_ptr<TReplay> Replay(const std::vector<std::uint8_t>& bytes) {
    auto r = std::make_unique<TReplay>();
    telemetry::DecodeBlock(bytes, telemetry::DecodeMode::Replay, r->state, r->values, &r->plot);
    return r;
}

class StreamTest : public ::testing::TestWithParam<bool> {};

TEST_P(StreamTest, SameSeedGivesTheSameBytesAndAnotherSeedOtherBytes) {
    const bool noise = GetParam();
    EXPECT_EQ(GenerateRecording(7, 5000, noise), GenerateRecording(7, 5000, noise));
    EXPECT_NE(GenerateRecording(7, 5000, noise), GenerateRecording(8, 5000, noise));
}

TEST_P(StreamTest, EveryWholeFrameDecodesToTheValuesSent) {
    const bool noise = GetParam();
    std::vector<TFrameFields> frames;
    TNoiseCounts counts;
    const auto bytes = GenerateRecording(11, 30000, noise, &frames, &counts);
    ASSERT_EQ(frames.size(), 30000u);
    EXPECT_EQ(bytes.size(),
              9 * frames.size() + counts.LeadingBytes + counts.GarbageBytes + counts.TrailingBytes);

    const auto replay = Replay(bytes);
    EXPECT_EQ(replay->values.FrameCounter, 30000) << "only whole frames are counted";
    ASSERT_GE(replay->plot.Frames.size(), frames.size());
    for (std::size_t k = 0; k < frames.size(); ++k)
        ASSERT_EQ(replay->plot.Frames[k], Expected(frames[k])) << "frame " << k;
}

INSTANTIATE_TEST_SUITE_P(CleanAndNoisy, StreamTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Noisy" : "Clean"; });

TEST(NoiseTest, NoiseHoldsWhatItPromises) {
    std::vector<TFrameFields> frames;
    TNoiseCounts counts;
    const auto bytes = GenerateRecording(3, 30000, true, &frames, &counts);

    EXPECT_TRUE(counts.LeadingBytes >= 1 && counts.LeadingBytes <= 8);
    EXPECT_FALSE(bytes[0] == 0xFF && bytes[1] == 0xFF) << "starts in the middle of a frame";
    EXPECT_GT(counts.GarbageBytes, 0u);
    EXPECT_TRUE(counts.TrailingBytes >= 1 && counts.TrailingBytes <= 8);
    EXPECT_NE(Replay(bytes)->state, 0) << "the last frame is cut short";

    const auto hasFF = [](const TFrameFields& f) {
        return (f.Period >> 8) == 0xFF || f.Map == 0xFF || f.CurveNumber == 0xFF ||
               f.Temperature == 0xFF || f.OctaneCorrector == 0xFF || f.AdvanceCode == 0xFF;
    };
    const auto withFF =
        static_cast<std::size_t>(std::count_if(frames.begin(), frames.end(), hasFF));
    EXPECT_GT(withFF, 0u);
    EXPECT_EQ(withFF, counts.FramesWithFF);

    std::vector<TFrameFields> clean;
    GenerateRecording(3, 30000, false, &clean);
    EXPECT_EQ(std::count_if(clean.begin(), clean.end(), hasFF), 0) << "a clean run has no 0xFF";
    EXPECT_EQ(GenerateRecording(3, 30000, false).size(), 9u * 30000);
}

class EngineRunTest : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(EngineRunTest, TenMinutesIdleRevCruiseAndWarmUpWithAdvanceFollowingSpeed) {
    TEngineRun engine(GetParam());
    std::array<double, 3> advance{}, frames{}; // idle, cruising, revving
    const TFrameFields first = engine.NextFrame();
    TFrameFields f = first;
    for (long i = 1; i < 10L * 60 * FramesPerSecond; ++i) {
        const std::uint8_t temperature = f.Temperature;
        f = engine.NextFrame();
        ASSERT_GE(f.Temperature, temperature) << "a warming engine does not cool";
        const double rpm = telemetry::EngineSpeed(f.Period);
        ASSERT_TRUE(rpm >= 590 && rpm <= 6900) << rpm;
        const int range = rpm < 1300 ? 0 : rpm > 2200 && rpm < 3800 ? 1 : rpm > 4000 ? 2 : -1;
        if (range >= 0) {
            frames[range] += 1;
            advance[range] += telemetry::AdvanceDegrees(f.AdvanceCode);
        }
    }
    EXPECT_GE(f.Temperature - first.Temperature, 30);
    EXPECT_GT(frames[0], 0.05 * 384000);
    EXPECT_GT(frames[1], 0.10 * 384000);
    EXPECT_GT(frames[2], 0.001 * 384000);
    EXPECT_GT(advance[1] / frames[1], advance[0] / frames[0] + 8) << "advance follows speed";
}

INSTANTIATE_TEST_SUITE_P(Seeds, EngineRunTest, ::testing::Values(1, 2, 3, 42));

pid_t Spawn(std::vector<std::string> args) {
    args.insert(args.begin(), TELMIRA_SIM_PROGRAM);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        ADD_FAILURE() << "cannot start " << argv[0];
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    if (pid <= 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A streaming simulator, stopped when the test leaves however it leaves, so that a failed
// check leaves no simulator holding the test's output open.
class TStreaming {
public:
    explicit TStreaming(std::vector<std::string> args) : pid_(Spawn(std::move(args))) {}
    ~TStreaming() {
        if (pid_ > 0)
            (void)Stop();
    }
    TStreaming(const TStreaming&) = delete;
    TStreaming& operator=(const TStreaming&) = delete;

    [[nodiscard]] pid_t Pid() const noexcept { return pid_; }
    // SIGTERM, then the exit status.
    int Stop() {
        ::kill(pid_, SIGTERM);
        const int status = Wait(pid_);
        pid_ = -1;
        return status;
    }

private:
    pid_t pid_;
};

TEST(SimulatorProgramTest, WritesTheRecordingTheGeneratorMakes) {
    serial::testing::TTempRuntimeDir dir;
    const auto file = dir.Path() / "run.dcc";
    ASSERT_EQ(Wait(Spawn({"--out", file, "--frames", "20000", "--seed", "5", "--noise"})), 0);
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> written{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(written, GenerateRecording(5, 20000, true));
}

TEST(SimulatorProgramTest, NeverWritesOverARecordingThatASessionMakes) {
    serial::testing::TTempRuntimeDir dir;
    const auto file = dir.Path() / "run.dcc";
    telemetry::TRecordingFile recording(file.string());
    const auto recorded = GenerateRecording(2, 100, false);
    recording.Write(recorded, telemetry::TRecordingFile::TClock::now());

    EXPECT_EQ(Wait(Spawn({"--out", file, "--frames", "10"})), 1);
    EXPECT_EQ(Wait(Spawn({"--port", "9", "--seconds", "0.1", "--log", file})), 1) << "nor its log";
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}), recorded);
}

TEST(SimulatorProgramTest, StreamsTheRunOnALinkedPortAndRemovesTheLinkWhenStopped) {
    serial::testing::TTempRuntimeDir dir;
    const auto link = dir.Path() / "telmira" / "ports" / "COM7";
    TStreaming simulator({"--port", "7", "--rate", "6400", "--seed", "9"});
    ASSERT_GT(simulator.Pid(), 0);
    ASSERT_TRUE(serial::testing::WaitFor([&] { return std::filesystem::is_symlink(link); }));

    std::vector<std::uint8_t> received;
    {
        serial::TComPort port(7, 9);
        port.SetOnData([&](std::span<const std::uint8_t> b) {
            received.insert(received.end(), b.begin(), b.end());
        });
        ASSERT_TRUE(serial::testing::WaitFor([&] { return received.size() > 9 * 2000; }));
    }
    EXPECT_EQ(simulator.Stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));

    // The port was opened mid-stream: its frames are a stretch of the generator's run.
    std::vector<TFrameFields> frames;
    GenerateRecording(9, 200000, false, &frames);
    const auto replay = Replay(received);
    ASSERT_GE(replay->plot.Frames.size(), 1000u);
    // An idling engine repeats frames, so the stretch is looked for whole, not by its first.
    std::vector<std::array<double, telemetry::PlotSeriesCount>> sent;
    for (const TFrameFields& f : frames)
        sent.push_back(Expected(f));
    const auto stretch = replay->plot.Frames.begin();
    EXPECT_NE(std::search(sent.begin(), sent.end(), stretch, stretch + 1000), sent.end());
}

TEST(SimulatorProgramTest, WaitsForTheReaderAndLogsWhatItPutOnTheLine) {
    serial::testing::TTempRuntimeDir dir;
    const auto link = dir.Path() / "telmira" / "ports" / "COM8";
    const auto log = dir.Path() / "sent.dcc";
    const pid_t pid =
        Spawn({"--port", "8", "--rate", "6400", "--seed", "4", "--wait-reader", "--log", log});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(serial::testing::WaitFor([&] { return std::filesystem::is_symlink(link); }));

    std::vector<std::uint8_t> received;
    serial::TComPort port(8, 9);
    port.SetOnData([&](std::span<const std::uint8_t> b) {
        received.insert(received.end(), b.begin(), b.end());
    });
    ASSERT_TRUE(serial::testing::WaitFor([&] { return received.size() > 9 * 2000; }));
    ::kill(pid, SIGTERM);
    int status = -1;
    // The simulator waits for the port to take what is queued, which needs this thread.
    ASSERT_TRUE(serial::testing::WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    std::ifstream in(log, std::ios::binary);
    const std::vector<std::uint8_t> sent{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(received, sent) << "nothing went before the port was open, nothing stayed queued";
    EXPECT_EQ(std::vector<std::uint8_t>(sent.begin(), sent.begin() + 9 * 100),
              GenerateRecording(4, 100, false))
        << "the run starts at its beginning";
}

TEST(SimulatorProgramTest, BurstSendsItsFramesWholeAtOnceThenGoesOnAtTheRate) {
    serial::testing::TTempRuntimeDir dir;
    const auto link = dir.Path() / "telmira" / "ports" / "COM8";
    // A slow rate, so that nearly all of what arrives within the wait is the burst.
    TStreaming simulator({"--port", "8", "--rate", "10", "--seed", "3", "--burst", "100000"});
    ASSERT_GT(simulator.Pid(), 0);
    ASSERT_TRUE(serial::testing::WaitFor([&] { return std::filesystem::is_symlink(link); }));

    std::vector<std::uint8_t> received;
    {
        serial::TComPort port(8, 9);
        port.SetOnData([&](std::span<const std::uint8_t> b) {
            received.insert(received.end(), b.begin(), b.end());
        });
        ::kill(simulator.Pid(), SIGUSR1);
        ASSERT_TRUE(serial::testing::WaitFor([&] { return received.size() >= 9 * 100000; }));
    }
    EXPECT_EQ(simulator.Stop(), 0);

    // Nothing of the burst is lost however fast it goes: from the first whole frame on, the
    // frames are the generator's, one after the other.
    std::vector<TFrameFields> frames;
    GenerateRecording(3, 110000, false, &frames);
    const auto replay = Replay(received);
    ASSERT_GE(replay->plot.Frames.size(), 99000u);
    std::vector<std::array<double, telemetry::PlotSeriesCount>> sent;
    for (const TFrameFields& f : frames)
        sent.push_back(Expected(f));
    const auto& got = replay->plot.Frames;
    EXPECT_NE(std::search(sent.begin(), sent.end(), got.begin(), got.end() - 1), sent.end());
}

TEST(SimulatorProgramTest, PausesMidStreamThenGoesOnAtTheRateWithoutMakingUpForThePause) {
    serial::testing::TTempRuntimeDir dir;
    const auto link = dir.Path() / "telmira" / "ports" / "COM8";
    const auto log = dir.Path() / "sent.dcc";
    const pid_t pid = Spawn({"--port", "8", "--seed", "6", "--wait-reader", "--pause-at", "0.5",
                             "--pause-for", "1.5", "--seconds", "1", "--log", log});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(serial::testing::WaitFor([&] { return std::filesystem::is_symlink(link); }));

    // Each block with the time the port read it.
    std::vector<std::pair<std::size_t, std::chrono::steady_clock::time_point>> blocks;
    std::vector<std::uint8_t> got;
    serial::TComPort port(8, 9);
    port.SetOnData([&](std::span<const std::uint8_t> b) {
        got.insert(got.end(), b.begin(), b.end());
        blocks.emplace_back(got.size(), port.BlockReadAt());
    });
    int status = -1;
    // The simulator waits for the port to take what is queued, which needs this thread.
    ASSERT_TRUE(serial::testing::WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::ifstream in(log, std::ios::binary);
    const std::vector<std::uint8_t> sent{std::istreambuf_iterator<char>(in), {}};
    ASSERT_TRUE(serial::testing::WaitFor([&] { return got.size() >= sent.size(); }));
    EXPECT_EQ(got, sent) << "nothing lost when the stream ended right after its last bytes";
    EXPECT_EQ(sent.size(), 640u * 9) << "a second of frames, the pause not counted";

    std::chrono::steady_clock::duration longest{};
    std::size_t before = 0;
    for (std::size_t k = 1; k < blocks.size(); ++k)
        if (blocks[k].second - blocks[k - 1].second > longest) {
            longest = blocks[k].second - blocks[k - 1].second;
            before = blocks[k - 1].first;
        }
    EXPECT_NEAR(std::chrono::duration<double>(longest).count(), 1.5, 0.1);
    EXPECT_EQ(before, 320u * 9) << "half a second of frames went before it";
}

} // namespace
} // namespace sim
