// A live session's companion through a pseudo-terminal: the times of frames against when they
// were sent, across a pause and a reconnect; the events and markers a session writes; what a
// session killed at any moment leaves.

#include "serial/tests/Pty.h"
#include "telemetry/LiveSession.h"
#include "telemetry/RecordingTimes.h"
#include "tests/support/RunProgram.h"
#include "tools/sim/Simulator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace telemetry {
namespace {

using serial::testing::TPty;
using serial::testing::TTempRuntimeDir;
using serial::testing::WaitFor;
using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class TNoPlot : public TFramePlot {
public:
    void AddPoints(int, double, std::span<const double>, std::uint32_t) override {}
};

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Where each whole frame of a recording ends.
std::vector<std::uint64_t> FrameEnds(std::span<const std::uint8_t> recording) {
    std::vector<std::uint64_t> ends;
    TLatestValues values;
    std::uint8_t state = 0;
    for (std::size_t i = 0; i < recording.size(); ++i) {
        const std::uint8_t before = state;
        DecodeByte(recording[i], DecodeMode::Replay, state, values, nullptr);
        if (before == 8)
            ends.push_back(i + 1);
    }
    return ends;
}

// Every byte, however full the terminal is for a moment.
void WriteAll(int master, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(master, bytes.data(), bytes.size());
        if (n > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EAGAIN) {
            pollfd writable{master, POLLOUT, 0};
            ::poll(&writable, 1, 10);
        } else if (!(n < 0 && errno == EINTR)) {
            return;
        }
    }
}

// What went on the line, and when each frame's write began and returned: the frame went
// between the two.
struct TSent {
    std::vector<std::uint8_t> Bytes;
    std::vector<TClock::time_point> FrameWrittenFrom;
    std::vector<TClock::time_point> FrameWrittenTo;
};

// How late a thread of this process wakes from a sleep of a millisecond, at worst, while it
// lives: on a machine shared with other work, the reader thread wakes as late, and the window
// thread takes a block as late, and the bytes read meanwhile wait in the driver.
class TWakeLag {
public:
    TWakeLag()
        : probe_([this] {
              while (!stop_) {
                  const auto from = TClock::now();
                  std::this_thread::sleep_for(1ms);
                  const auto lag = TClock::now() - from - 1ms;
                  worst_ = std::max(worst_.load(), lag);
              }
          }) {}
    ~TWakeLag() {
        stop_ = true;
        probe_.join();
    }
    TWakeLag(const TWakeLag&) = delete;
    TWakeLag& operator=(const TWakeLag&) = delete;
    [[nodiscard]] double WorstSeconds() const {
        return std::chrono::duration<double>(worst_.load()).count();
    }

private:
    std::atomic<bool> stop_{false};
    std::atomic<TClock::duration> worst_{TClock::duration::zero()};
    std::thread probe_;
};

class CompanionSession : public ::testing::Test {
protected:
    static constexpr std::uint8_t Port = 3;
    TTempRuntimeDir runtime;
    TPty pty;
    std::filesystem::path file = runtime.Path() / "run.dcc";
    TLatestValues values;
    TNoPlot plot;

    CompanionSession() { pty.LinkAs(Port); }

    std::unique_ptr<TLiveSession> Open() {
        return std::make_unique<TLiveSession>(file, Port, values, plot, nullptr);
    }

    // Frames one at a time from another thread, one every 1562.5 us, while this thread runs
    // the session's hand-overs. As on a serial line, never faster: a sender held up goes on
    // at the line rate from where it is, instead of catching up at once.
    static void SendFrames(int master, sim::TStreamGenerator& generator, int count, TSent& sent) {
        std::atomic<bool> done{false};
        std::thread sender([&] {
            constexpr auto frameTime = 1562500ns;
            std::vector<std::uint8_t> frame;
            for (int k = 0; k < count; ++k) {
                if (!sent.FrameWrittenTo.empty())
                    std::this_thread::sleep_until(sent.FrameWrittenTo.back() + frameTime);
                frame.clear();
                generator.AppendFrame(frame);
                sent.FrameWrittenFrom.push_back(TClock::now());
                WriteAll(master, frame);
                sent.FrameWrittenTo.push_back(TClock::now());
                sent.Bytes.insert(sent.Bytes.end(), frame.begin(), frame.end());
            }
            done = true;
        });
        const bool finished = WaitFor([&] { return done.load(); });
        sender.join();
        ASSERT_TRUE(finished);
    }
};

TEST_F(CompanionSession, TheReadTimeOfABlockIsWhenItCameNotWhenTheWindowThreadTookIt) {
    serial::TComPort port(Port, SessionThreshold);
    TClock::time_point readAt, handledAt;
    port.SetOnData([&](std::span<const std::uint8_t>) {
        readAt = port.BlockReadAt();
        handledAt = TClock::now();
    });
    const auto frame = sim::GenerateRecording(1, 1, false);
    const auto written = TClock::now();
    pty.Write(frame);
    std::this_thread::sleep_for(300ms); // the window thread is busy
    ASSERT_TRUE(WaitFor([&] { return handledAt != TClock::time_point{}; }));
    EXPECT_GE(handledAt - written, 300ms);
    EXPECT_LT(readAt - written, 100ms);
}

TEST_F(CompanionSession, FrameTimesAreWhenTheyWereSentWithinTwentyMsAcrossAPauseAndAReconnect) {
    const TWakeLag lag;
    const auto before = TClock::now();
    auto session = Open();
    const auto after = TClock::now();
    session->AttachHandler(false);
    sim::TStreamGenerator generator(21, false);
    TSent sent;
    SendFrames(pty.Master(), generator, 640, sent);
    WaitFor([] { return false; }, 1500ms); // a pause in the stream
    SendFrames(pty.Master(), generator, 640, sent);
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::file_size(file) == sent.Bytes.size(); }));
    pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return session->Health().State == TLinkState::WaitingForPort; }));
    TPty second;
    second.LinkAs(Port);
    ASSERT_TRUE(WaitFor([&] { return second.Exclusive(); }));
    SendFrames(second.Master(), generator, 640, sent);
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::file_size(file) == sent.Bytes.size(); }));
    session->Close();
    ASSERT_FALSE(session->Companion().Failure());

    const auto recording = ReadAll(file);
    ASSERT_EQ(recording, sent.Bytes);
    const TRecordingTimes times = ReadRecordingTimes(file.string(), recording);
    ASSERT_EQ(times.State(), TCompanionState::Complete) << CompanionStateText(times.State());
    const auto ends = FrameEnds(recording);
    ASSERT_EQ(ends.size(), sent.FrameWrittenTo.size());
    // The companion's time 0 is the session's start, between before and after.
    const auto since = [&](TClock::time_point t) {
        return std::chrono::duration<double>(t - before).count();
    };
    double earliest = 0, latest = 0;
    for (std::size_t k = 0; k < ends.size(); ++k) {
        const TByteTime t = times.At(ends[k]);
        ASSERT_TRUE(t.Measured) << k;
        earliest = std::min(earliest, t.Seconds - since(sent.FrameWrittenFrom[k]));
        latest = std::max(latest, t.Seconds - since(sent.FrameWrittenTo[k]));
    }
    // A frame waits in the driver while the reader is late to wake or waits for the window
    // thread, which may be late too: the machine's share on top of the 20 ms.
    EXPECT_LE(latest, 0.020 + 2 * lag.WorstSeconds()) << "a frame timed after it came";
    EXPECT_GE(earliest, -0.020 - std::chrono::duration<double>(after - before).count())
        << "a frame timed before it was sent";

    std::vector<TSessionEventKind> kinds;
    for (const TSessionEvent& e : times.Events())
        kinds.push_back(e.Kind);
    EXPECT_EQ(kinds, (std::vector<TSessionEventKind>{TSessionEventKind::PortLost,
                                                     TSessionEventKind::PortBack,
                                                     TSessionEventKind::SessionClosed}));
    EXPECT_EQ(times.Events()[0].Offset, 1280u * FrameSize);
}

// The plotting question may stay open for as long as the user reads it; the blocks kept
// meanwhile are recorded when it is answered, but each came when it came: a pause in the stream
// while the question waited stays a pause between the same frames.
TEST_F(CompanionSession, FramesKeptWhileTheModeIsAskedAreTimedWhenTheyCame) {
    const auto before = TClock::now();
    auto session = Open();
    sim::TStreamGenerator generator(22, false);
    TSent sent;
    SendFrames(pty.Master(), generator, 320, sent);
    WaitFor([] { return false; }, 1500ms); // a pause in the stream, the question still open
    SendFrames(pty.Master(), generator, 320, sent);
    WaitFor([] { return false; }, 500ms);
    session->AttachHandler(true);
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::file_size(file) == sent.Bytes.size(); }));
    session->Close();

    const auto recording = ReadAll(file);
    ASSERT_EQ(recording, sent.Bytes);
    const TRecordingTimes times = ReadRecordingTimes(file.string(), recording);
    ASSERT_EQ(times.State(), TCompanionState::Complete) << CompanionStateText(times.State());
    const auto ends = FrameEnds(recording);
    ASSERT_EQ(ends.size(), 640u);
    const auto since = [&](TClock::time_point t) {
        return std::chrono::duration<double>(t - before).count();
    };
    for (const std::size_t k : {std::size_t{0}, std::size_t{319}, std::size_t{320}}) {
        const TByteTime t = times.At(ends[k]);
        EXPECT_TRUE(t.Measured) << k;
        EXPECT_NEAR(t.Seconds, since(sent.FrameWrittenTo[k]), 0.25) << "frame " << k;
    }
    EXPECT_GT(times.At(ends[320]).Seconds - times.At(ends[319]).Seconds, 1.2)
        << "the pause stands between the frames it came between";
}

TEST_F(CompanionSession, CurveChangesSkippedBytesAndMarkersAreReadBack) {
    auto session = Open();
    session->AttachHandler(true);
    std::vector<std::uint8_t> sent;
    std::size_t garbage = 0;
    int first = 0, second = 0;
    const std::uint8_t curves[] = {3, 5, 5, 7, 2};
    for (std::uint8_t curve : curves) {
        std::vector<std::uint8_t> chunk;
        for (int k = 0; k < 50; ++k) {
            const auto frame = sim::EncodeFrame({1000, 40, curve, 90, 0, 60});
            chunk.insert(chunk.end(), frame.begin(), frame.end());
            if (k % 7 == 3) { // noise between frames, never a sync byte
                chunk.insert(chunk.end(), {0x11, 0x22, 0x33});
                garbage += 3;
            }
        }
        pty.Write(chunk);
        sent.insert(sent.end(), chunk.begin(), chunk.end());
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::file_size(file) == sent.size(); }));
        if (curve == 5 && !first)
            first = session->Companion().AddMarker("разгон");
        else if (curve == 7)
            second = session->Companion().AddMarker("стук");
    }
    EXPECT_TRUE(session->Companion().RenameMarker(second, "детонация"));
    EXPECT_TRUE(session->Companion().DeleteMarker(first));
    session->Close();

    const TRecordingTimes times = ReadRecordingTimes(file.string(), ReadAll(file));
    ASSERT_EQ(times.State(), TCompanionState::Complete);
    std::vector<std::uint64_t> changes;
    std::uint64_t skipped = 0;
    for (const TSessionEvent& e : times.Events()) {
        if (e.Kind == TSessionEventKind::CurveChanged)
            changes.push_back(e.Value);
        if (e.Kind == TSessionEventKind::BytesSkipped)
            skipped += e.Value;
    }
    EXPECT_EQ(changes, (std::vector<std::uint64_t>{5, 7, 2}));
    EXPECT_EQ(skipped, garbage);
    ASSERT_EQ(times.Markers().size(), 1u);
    EXPECT_EQ(times.Markers()[0].Text, "детонация");
    EXPECT_EQ(times.Markers()[0].Number, 2);
    EXPECT_LE(times.Markers()[0].Offset, sent.size());
    EXPECT_GE(times.Markers()[0].Offset, sent.size() * 3 / 5) << "it stands where it was made";
}

// ----- A session killed at any moment -----

pid_t Spawn(std::string program, std::vector<std::string> args) {
    args.insert(args.begin(), std::move(program));
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    return pid;
}

TEST_F(CompanionSession, ASessionKilledAtAnyMomentLeavesACompanionThatAgreesWithItsRecording) {
    std::random_device seeds;
    for (int round = 0; round < 6; ++round) {
        const unsigned seed = seeds();
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        const auto recording = runtime.Path() / ("killed" + std::to_string(round) + ".dcc");
        const pid_t child =
            Spawn(TELMIRA_KILLED_SESSION, {recording.string(), std::to_string(Port)});
        ASSERT_GT(child, 0);
        ASSERT_TRUE(WaitFor([&] { return pty.Exclusive(); }));

        // Ten-millisecond chunks at the line rate until the kill, at a moment of its own.
        std::atomic<bool> stop{false};
        std::thread sender([&] {
            sim::TStreamGenerator generator(seed, true);
            std::vector<std::uint8_t> chunk;
            for (auto at = TClock::now(); !stop; at += 10ms) {
                chunk.clear();
                for (int k = 0; k < 6; ++k)
                    generator.AppendFrame(chunk);
                WriteAll(pty.Master(), chunk);
                std::this_thread::sleep_until(at + 10ms);
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200 + random() % 2300));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        stop = true;
        sender.join();
        ASSERT_TRUE(WIFSIGNALED(status));

        const auto recorded = ReadAll(recording);
        const TRecordingTimes times = ReadRecordingTimes(recording.string(), recorded);
        EXPECT_TRUE(times.State() == TCompanionState::CutOff ||
                    times.State() == TCompanionState::Short)
            << CompanionStateText(times.State());
        const auto& end = times.CompanionEnd();
        EXPECT_LT(end.FileLength - end.WholeLength, RecordOverhead + MaxPayload)
            << "at most one record is cut short";
        for (const TCheckpoint& c : times.Checkpoints())
            EXPECT_LE(c.Offset, recorded.size());
        for (const TMarker& m : times.Markers())
            EXPECT_LE(m.Offset, recorded.size());
        if (times.Used()) {
            EXPECT_FALSE(times.Markers().empty());
        }
    }
}

// ----- What the user sees -----

// The time column of telmira-dcc csv --time.
std::vector<double> CsvTimes(const std::string& csv) {
    std::vector<double> times;
    for (std::size_t at = csv.find('\n') + 1; at < csv.size(); at = csv.find('\n', at) + 1)
        times.push_back(std::stod(csv.substr(csv.rfind(',', csv.find('\n', at)) + 1)));
    return times;
}

TEST_F(CompanionSession, APauseOfThreeSecondsIsAStepOfThreeSecondsInTheCsvTimes) {
    constexpr std::uint8_t SimulatorPort = 4;
    const auto sent = runtime.Path() / "sent.dcc";
    const std::string bin = TELMIRA_BIN_DIR;
    const pid_t simulator =
        Spawn(bin + "/telmira-sim",
              {"--port", std::to_string(SimulatorPort), "--seed", "3", "--wait-reader",
               "--pause-at", "1", "--pause-for", "3", "--seconds", "2", "--log", sent.string()});
    ASSERT_GT(simulator, 0);
    ASSERT_TRUE(WaitFor([&] {
        return std::filesystem::is_symlink(runtime.Path() / "telmira" / "ports" / "COM4");
    }));
    TLiveSession session(file, SimulatorPort, values, plot, nullptr);
    session.AttachHandler(true);
    int status = -1;
    ASSERT_TRUE(WaitFor([&] { return ::waitpid(simulator, &status, WNOHANG) == simulator; }));
    ASSERT_TRUE(WaitFor([&] { return ReadAll(file) == ReadAll(sent); }));
    session.Close();

    const TProgramRun csv = RunProgram(bin + "/telmira-dcc", {"csv", "--time", file.string()});
    ASSERT_EQ(csv.Status, 0);
    EXPECT_EQ(csv.Err, "") << "the times are measured";
    const std::vector<double> times = CsvTimes(csv.Out);
    ASSERT_EQ(times.size(), 2u * 640);
    std::size_t at = 1;
    for (std::size_t k = 1; k < times.size(); ++k)
        if (times[k] - times[k - 1] > times[at] - times[at - 1])
            at = k;
    EXPECT_EQ(at, 640u) << "the first frame after a second of frames";
    EXPECT_NEAR(times[at] - times[at - 1], 3.0, 0.05);
}

} // namespace
} // namespace telemetry
