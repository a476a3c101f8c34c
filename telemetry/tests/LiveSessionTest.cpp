#include "telemetry/LiveSession.h"
#include "serial/tests/Pty.h"
#include "telemetry/FrameTable.h"
#include "telemetry/tests/FlockRule.h"
#include "telemetry/tests/FullDisk.h"
#include "tools/sim/Simulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <mutex>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace telemetry {
namespace {

using serial::testing::TPty;
using serial::testing::TTempRuntimeDir;
using serial::testing::WaitFor;
using testing::NfsFlock;
using testing::TFlockRule;
using testing::TFullDisk;

struct TPoint {
    double x, y;
    std::uint32_t colour;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Each series' points in the order they came.
class TPoints : public TFramePlot {
public:
    std::array<std::vector<TPoint>, PlotSeriesCount> Series;
    void AddPoints(int series, double firstX, std::span<const double> ys,
                   std::uint32_t colour) override {
        for (std::size_t i = 0; i < ys.size(); ++i)
            Series[series].push_back({firstX + static_cast<double>(i), ys[i], colour});
    }
    [[nodiscard]] bool Empty() const { return Size() == 0; }
    [[nodiscard]] std::size_t Size() const {
        std::size_t n = 0;
        for (const auto& s : Series)
            n += s.size();
        return n;
    }
};

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// What "telmira-dcc csv" lists for a recording.
std::string ToolCsv(const std::filesystem::path& recording) {
    const std::string command =
        std::string(TELMIRA_BIN_DIR) + "/telmira-dcc csv " + recording.string();
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string csv;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        csv.append(buffer, n);
    ::pclose(pipe);
    return csv;
}

// The frames of a table as "telmira-dcc csv" lists frames.
std::string TableCsv(const TFrameTable& frames) {
    std::string csv = CsvHeader;
    for (std::int64_t k = 0; k < frames.Rows(); ++k)
        AppendCsvLine(csv, *frames.Frame(k));
    return csv;
}

// The first line where two texts differ, with both lines; nothing when they are the same.
std::string FirstDifference(const std::string& a, const std::string& b) {
    std::istringstream as(a), bs(b);
    std::string la, lb;
    for (int line = 0;; ++line) {
        const bool moreA = static_cast<bool>(std::getline(as, la));
        const bool moreB = static_cast<bool>(std::getline(bs, lb));
        if (!moreA && !moreB)
            return {};
        if (moreA != moreB || la != lb)
            return "line " + std::to_string(line) + ": " + (moreA ? la : "(none)") + " | " +
                   (moreB ? lb : "(none)");
    }
}

// An open descriptor of the file that tries the locks another program would take.
class TOtherOpener {
public:
    explicit TOtherOpener(const std::filesystem::path& file) : fd_(::open(file.c_str(), O_RDWR)) {}
    ~TOtherOpener() { ::close(fd_); }
    bool Try(int lock) const {
        const bool got = ::flock(fd_, lock | LOCK_NB) == 0;
        if (got)
            ::flock(fd_, LOCK_UN);
        return got;
    }

private:
    int fd_;
};

// Opens a named pipe for reading if the code under test is still stuck opening it for
// writing when the deadline passes, so that a wrong open fails the test instead of hanging it.
class TPipeRescue {
public:
    explicit TPipeRescue(std::filesystem::path pipe)
        : pipe_(std::move(pipe)), thread_([this] {
              std::unique_lock lock(mutex_);
              if (!done_.wait_for(lock, std::chrono::seconds(2), [this] { return finished_; }))
                  reader_ = ::open(pipe_.c_str(), O_RDONLY | O_NONBLOCK);
          }) {}
    ~TPipeRescue() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_one();
        thread_.join();
        if (reader_ >= 0)
            ::close(reader_);
    }
    TPipeRescue(const TPipeRescue&) = delete;
    TPipeRescue& operator=(const TPipeRescue&) = delete;

private:
    std::filesystem::path pipe_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    int reader_ = -1;
    std::thread thread_;
};

class LiveSessionTest : public ::testing::Test {
protected:
    static constexpr std::uint8_t Port = 2;
    TTempRuntimeDir runtime;
    TPty pty;
    std::filesystem::path file = runtime.Path() / "run.dcc";
    TLatestValues values;
    TPoints plot;
    TFrameTable frames;
    std::vector<std::string> errors;

    LiveSessionTest() { pty.LinkAs(Port); }

    std::unique_ptr<TLiveSession> Open(const std::filesystem::path& name) {
        return std::make_unique<TLiveSession>(
            name, Port, values, plot, [this](const std::string& m) { errors.push_back(m); },
            &frames);
    }
};

class SessionModeTest : public LiveSessionTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SessionModeTest, EveryReceivedByteIsRecordedAndDecodedInTheChosenMode) {
    const bool plotting = GetParam();
    values.LiveState = 5;
    values.FrameCounter = 77;
    const auto session = Open(file);
    EXPECT_EQ(values.LiveState, 0);
    EXPECT_EQ(values.FrameCounter, 0);
    session->AttachHandler(plotting);

    const auto sent = sim::GenerateRecording(4, 6000, true);
    pty.Write(sent);
    ASSERT_TRUE(
        WaitFor([&] { return std::filesystem::file_size(file) + SessionThreshold > sent.size(); }));

    const auto recorded = ReadAll(file);
    EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), sent.begin()));
    // What the session shows is what its recording decodes to.
    const DecodeMode mode = plotting ? DecodeMode::LivePlotting : DecodeMode::LiveRecordingOnly;
    TLatestValues expected;
    TPoints expectedPlot;
    DecodeBlock(recorded, mode, expected.LiveState, expected, &expectedPlot);
    EXPECT_EQ(plot.Series, expectedPlot.Series);
    EXPECT_EQ(values.Period, expected.Period);
    EXPECT_EQ(values.AdvanceCode, expected.AdvanceCode);
    EXPECT_EQ(values.FrameCounter, expected.FrameCounter);
    EXPECT_EQ(values.LiveState, expected.LiveState);
    if (plotting) {
        EXPECT_GT(values.FrameCounter, 5000);
        EXPECT_EQ(frames.Rows(), values.FrameCounter) << "a row for each frame plotted";
        EXPECT_EQ(frames.Bytes(), recorded.size());
    } else {
        EXPECT_TRUE(plot.Empty()) << "recording only leaves the chart as it was";
        EXPECT_EQ(frames.Rows(), 0) << "and its frames";
        EXPECT_EQ(values.FrameCounter, 0);
        EXPECT_NE(values.Period, 0) << "while the latest values follow the stream";
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, SessionModeTest, ::testing::Values(true, false),
                         [](const auto& info) {
                             return info.param ? "Plotting" : "RecordingOnly";
                         });

TEST_F(LiveSessionTest, RecordingIsCreatedEmptyAndHeldSharedUntilClosed) {
    std::ofstream(file) << "a longer recording of an earlier session";
    const auto session = Open(file);
    EXPECT_EQ(std::filesystem::file_size(file), 0u);

    const TOtherOpener other(file);
    EXPECT_FALSE(other.Try(LOCK_EX)) << "the viewer must refuse a recording in progress";
    EXPECT_TRUE(other.Try(LOCK_SH)) << "other readers are welcome";

    session->Close();
    EXPECT_TRUE(other.Try(LOCK_EX));
    EXPECT_NO_THROW(serial::TComPort(Port, 9)) << "closing released the port";
}

TEST_F(LiveSessionTest, RecordingThatCannotBeCreatedOpensNoPort) {
    EXPECT_THROW(Open(runtime.Path() / "missing" / "run.dcc"), ERecordingCreateError);
    EXPECT_NO_THROW(serial::TComPort(Port, 9));
}

TEST_F(LiveSessionTest, PortFailureLeavesAnEmptyRecordingThatNobodyHolds) {
    try {
        TLiveSession session(file, 200, values, plot, nullptr);
        FAIL() << "opened a port that does not exist";
    } catch (const serial::EComPortError& e) {
        EXPECT_STREQ(e.what(), "Error opening port \\\\.\\COM200");
    }
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(std::filesystem::file_size(file), 0u);
    EXPECT_TRUE(TOtherOpener(file).Try(LOCK_EX));
}

TEST_F(LiveSessionTest, WriteFailureIsReportedOnceAndNothingUnrecordedIsDecoded) {
    const auto session = Open(file);
    session->AttachHandler(true);
    const TFullDisk full;
    pty.Write(sim::GenerateRecording(1, 100, false));
    ASSERT_TRUE(WaitFor([&] { return !errors.empty(); }));
    pty.Write(sim::GenerateRecording(2, 100, false));
    ASSERT_TRUE(WaitFor([&] { return pty.Queued() > 0; }));
    EXPECT_EQ(errors,
              std::vector<std::string>{"Error writing file " + file.string() + ": File too large"});
    EXPECT_TRUE(plot.Empty());
    EXPECT_EQ(values.Period, 0);
    EXPECT_EQ(session->Health().State, TLinkState::Stopped);
    EXPECT_EQ(session->Health().BytesRecorded, 0u);
}

// The figures a replay of the recording gives, as telmira-dcc info prints them.
TRecordingFigures FiguresOfFile(const std::filesystem::path& file) {
    const auto bytes = ReadAll(file);
    TLatestValues values;
    std::uint8_t state = 0;
    DecodeBlock(bytes, DecodeMode::Replay, state, values, nullptr);
    return FiguresOf(bytes.size(), static_cast<std::uint64_t>(values.FrameCounter), state);
}

TEST_F(LiveSessionTest, WriteThatFailsPartWayCountsWhatReachedTheFile) {
    const auto session = Open(file);
    session->AttachHandler(false);
    const TFullDisk full(1000); // a block of the stream crosses it
    pty.Write(sim::GenerateRecording(3, 200, false));
    ASSERT_TRUE(WaitFor([&] { return !errors.empty(); }));
    ASSERT_EQ(std::filesystem::file_size(file), 1000u);
    const TLinkReport report = session->Health();
    EXPECT_EQ(report.State, TLinkState::Stopped);
    EXPECT_EQ(report.BytesRecorded, 1000u);
    EXPECT_EQ(report.Frames, FiguresOfFile(file).Frames);
    EXPECT_EQ(report.SkippedBytes, FiguresOfFile(file).SkippedBytes);
}

// The stream of frames frames from seed, followed by the first cut bytes of one more frame.
std::vector<std::uint8_t> StreamCutShort(std::uint64_t seed, std::size_t frames, std::size_t cut) {
    auto bytes = sim::GenerateRecording(seed, frames + 1, false);
    bytes.resize(bytes.size() - FrameSize + cut);
    return bytes;
}

TEST_F(LiveSessionTest, LostLineIsReportedOnceAndTheRecordingGoesOnWhenItComesBack) {
    const auto session = Open(file);
    session->AttachHandler(true);
    std::vector<std::unique_ptr<TPty>> lines;
    TPty* lastPty = &pty;
    std::vector<std::uint8_t> sent;
    // A line that comes back starts with a few bytes that are no frame's; the live chart's
    // decoder goes on with the frame the line cut short there, as a replay of the file does.
    const std::vector<std::uint8_t> noise = {1, 2, 3, 4, 5, 6};
    for (int line = 0; line < 3; ++line) {
        SCOPED_TRACE(line);
        auto part = StreamCutShort(40 + line, 300, 4); // the line goes mid-frame
        if (line > 0)
            part.insert(part.begin(), noise.begin(), noise.end());
        lastPty->Write(part);
        sent.insert(sent.end(), part.begin(), part.end());
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::file_size(file) == sent.size(); }));
        EXPECT_EQ(session->Health().State, TLinkState::Receiving);

        lastPty->CloseMaster();
        ASSERT_TRUE(WaitFor([&] { return session->Health().State == TLinkState::WaitingForPort; }));
        EXPECT_TRUE(session->WaitingForPort());
        EXPECT_EQ(errors.size(), 1u) << "only the first failure is shown";
        lastPty = lines.emplace_back(std::make_unique<TPty>()).get();
        lastPty->LinkAs(Port);
        ASSERT_TRUE(WaitFor([&] { return lastPty->Exclusive(); })) << "the port is opened again";
        EXPECT_FALSE(session->WaitingForPort());
    }
    EXPECT_EQ(errors, std::vector<std::string>{"Error clearing port \\\\.\\COM2"});

    auto last = sim::GenerateRecording(50, 300, false);
    last.insert(last.begin(), noise.begin(), noise.end());
    lastPty->Write(last);
    sent.insert(sent.end(), last.begin(), last.end());
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::file_size(file) == sent.size(); }));
    EXPECT_EQ(ReadAll(file), sent) << "every byte in order, nothing twice";
    EXPECT_EQ(values.FrameCounter, 4 * 300 + 3) << "the chart goes on";
    EXPECT_EQ(plot.Series[SeriesAdvance].back().x, 4 * 300 + 2);
    EXPECT_EQ(frames.Rows(), 4 * 300 + 3);
    EXPECT_EQ(FirstDifference(TableCsv(frames), ToolCsv(file)), "")
        << "the session shows the frames the recording holds, across each reconnect";
    TLatestValues replayed;
    std::uint8_t state = 0;
    TPoints replayedPlot;
    DecodeBlock(sent, DecodeMode::Replay, state, replayed, &replayedPlot);
    EXPECT_TRUE(plot.Series == replayedPlot.Series) << "and plots what a replay of it plots";
    const TLinkReport report = session->Health();
    const TRecordingFigures figures = FiguresOfFile(file);
    EXPECT_EQ(report.Frames, figures.Frames) << "the recording's frames, as a replay counts them";
    EXPECT_EQ(report.SkippedBytes, figures.SkippedBytes);
    EXPECT_EQ(figures.Frames, 4u * 300 + 3) << "each cut frame takes five bytes of noise";

    lastPty->CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return session->Health().State == TLinkState::WaitingForPort; }));
    session->Close(); // while waiting for the port
    EXPECT_EQ(ReadAll(file), sent);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_TRUE(TOtherOpener(file).Try(LOCK_EX)) << "the recording is released";
}

// A simulator of ours, its output in a file: the line it names its pseudo-terminal in.
class TSimulator {
public:
    TSimulator(const std::filesystem::path& out, std::vector<std::string> args) : out_(out) {
        args.insert(args.begin(), TELMIRA_SIM_PROGRAM);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                           0600);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        ::posix_spawn_file_actions_destroy(&actions);
    }
    ~TSimulator() { Stop(SIGTERM); }
    TSimulator(const TSimulator&) = delete;
    TSimulator& operator=(const TSimulator&) = delete;

    // The pseudo-terminal it streams on, once it has said so.
    [[nodiscard]] std::string Terminal() const {
        std::string node;
        WaitFor([&] {
            std::ifstream in(out_);
            const std::string said{std::istreambuf_iterator<char>(in), {}};
            const auto at = said.find(" is /dev/pts/");
            if (at != std::string::npos)
                node = said.substr(at + 4, said.find(' ', at + 4) - at - 4);
            return pid_ < 0 || !node.empty();
        });
        return node;
    }
    void Stop(int signal) {
        if (pid_ < 0)
            return;
        ::kill(pid_, signal);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    std::filesystem::path out_;
    pid_t pid_ = -1;
};

// Issue 18: a simulator on port 23 is killed, so that its link stays behind, and the next
// program asking for a pseudo-terminal, a simulator on port 24, gets the same node. The session
// waiting for port 23 records nothing of it, and takes the port again once a link is made anew.
TEST_F(LiveSessionTest, ANodeThatReappearsUnderTheLostPortsLinkIsNeverRecorded) {
    const auto said = [&](const std::string& name) { return runtime.Path() / name; };
    auto first =
        std::make_unique<TSimulator>(said("first.out"), std::vector<std::string>{"--port", "23"});
    const std::string node = first->Terminal();
    ASSERT_FALSE(node.empty());
    auto session = std::make_unique<TLiveSession>(
        file, 23, values, plot, [this](const std::string& m) { errors.push_back(m); });
    session->AttachHandler(true);
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::file_size(file) > 1000; }));

    first->Stop(SIGKILL);
    ASSERT_TRUE(WaitFor([&] { return session->WaitingForPort(); }));
    const auto before = ReadAll(file);

    // The node goes to the lowest number free: simulators that get a lower one stay until one
    // gets it, unless another program took it first.
    std::vector<std::unique_ptr<TSimulator>> others;
    std::unique_ptr<TSimulator> second;
    for (int port = 24; port < 40 && !second; ++port) {
        auto next =
            std::make_unique<TSimulator>(said("second" + std::to_string(port) + ".out"),
                                         std::vector<std::string>{"--port", std::to_string(port)});
        if (next->Terminal() == node)
            second = std::move(next);
        else
            others.push_back(std::move(next));
    }
    if (!second)
        GTEST_SKIP() << "another program kept " << node;
    EXPECT_FALSE(WaitFor([&] { return ReadAll(file) != before || !session->WaitingForPort(); },
                         10 * ReopenInterval))
        << "the second simulator was recorded";
    EXPECT_EQ(errors, std::vector<std::string>{"Error clearing port \\\\.\\COM23"});

    // A device that comes back behind a link made anew is taken, with what it sent meanwhile.
    second.reset();
    TPty back;
    back.Raw();
    const auto early = sim::GenerateRecording(7, 20, false);
    back.Write(early);
    back.LinkAs(23);
    ASSERT_TRUE(WaitFor([&] { return ReadAll(file).size() == before.size() + early.size(); }));
    auto expected = before;
    expected.insert(expected.end(), early.begin(), early.end());
    EXPECT_EQ(ReadAll(file), expected);
    session->Close();
}

TEST_F(LiveSessionTest, SessionSyncsItsRecordingWhileDataComesAndOnClose) {
    const auto session = Open(file);
    session->AttachHandler(false);
    const auto sent = sim::GenerateRecording(6, 200, false);
    pty.Write(sent);
    ASSERT_TRUE(WaitFor([&] { return session->Syncs() >= 1; }, std::chrono::seconds(5)))
        << "bytes half a second old are synced even when no more come";
    pty.Write(sent);
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::file_size(file) == 2 * sent.size(); }));
    const auto before = session->Syncs();
    session->Close();
    EXPECT_EQ(session->Syncs(), before + 1);
}

TEST_F(LiveSessionTest, HealthCountsTheStreamAndSaysNoDataWithinTwoSeconds) {
    std::vector<sim::TFrameFields> frames;
    sim::TNoiseCounts noise;
    const auto sent = sim::GenerateRecording(8, 1000, true, &frames, &noise);
    const auto opened = std::chrono::steady_clock::now();
    const auto session = Open(file);
    session->AttachHandler(true);
    ASSERT_TRUE(WaitFor([&] { return session->Health().State == TLinkState::NoData; },
                        std::chrono::duration_cast<std::chrono::milliseconds>(
                            opened + std::chrono::seconds(2) - std::chrono::steady_clock::now())))
        << "a port that delivers nothing says so";

    pty.Write(sent);
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::file_size(file) + 9 > sent.size(); }));
    const TLinkReport report = session->Health();
    EXPECT_EQ(report.State, TLinkState::Receiving);
    EXPECT_EQ(report.BytesRecorded, std::filesystem::file_size(file));
    EXPECT_EQ(report.Frames, frames.size());
    EXPECT_EQ(report.SkippedBytes, noise.LeadingBytes + noise.GarbageBytes);
    EXPECT_GT(report.FrameRate, 0u) << "they came within the last second";
    EXPECT_LE(report.FrameRate, frames.size());
    ASSERT_TRUE(WaitFor([&] { return session->Health().State == TLinkState::NoData; },
                        std::chrono::seconds(2)));
    session->Close();
}

TEST_F(LiveSessionTest, OnlyARegularFileOrANewNameCanBeARecording) {
    const auto pipe = runtime.Path() / "pipe.dcc";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const std::filesystem::path& name : {pipe, std::filesystem::path("/dev/null")}) {
        SCOPED_TRACE(name);
        const TPipeRescue rescue(pipe);
        EXPECT_THROW(Open(name), ERecordingCreateError);
    }
    EXPECT_NO_THROW(serial::TComPort(Port, 9)) << "no port was opened";
}

TEST_F(LiveSessionTest, LockHeldElsewhereRefusesTheRecordingAndRemovesOnlyAFileItMade) {
    const std::string earlier = "a recording the viewer is replaying";
    std::ofstream(file) << earlier;
    const int viewer = ::open(file.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(viewer, LOCK_EX), 0);
    EXPECT_THROW(Open(file), ERecordingCreateError);
    ::close(viewer);
    EXPECT_EQ(ReadAll(file), std::vector<std::uint8_t>(earlier.begin(), earlier.end()))
        << "a file that was there stays as it was";

    // Another program takes the lock in the moment between creation and locking.
    const auto fresh = runtime.Path() / "fresh.dcc";
    {
        const TFlockRule heldElsewhere([](int, int) {
            errno = EWOULDBLOCK;
            return -1;
        });
        EXPECT_THROW(Open(fresh), ERecordingCreateError);
    }
    EXPECT_FALSE(std::filesystem::exists(fresh)) << "the file this session made is gone";
    EXPECT_NO_THROW(serial::TComPort(Port, 9)) << "no port was opened";
}

// NFS turns flock into a byte-range lock, which a descriptor opened only for writing cannot
// take shared.
TEST_F(LiveSessionTest, LockThatCannotBeTakenForAnyOtherReasonIsDoneWithout) {
    std::unique_ptr<TLiveSession> session;
    {
        const TFlockRule nfs(NfsFlock);
        ASSERT_NO_THROW(session = Open(file));
    }
    session->AttachHandler(false);
    const auto sent = sim::GenerateRecording(3, 10, false);
    pty.Write(sent);
    EXPECT_TRUE(WaitFor([&] { return ReadAll(file) == sent; }));
}

TEST_F(LiveSessionTest, BlocksReceivedBeforeTheModeIsChosenAreRecordedFirstWhenItIs) {
    const auto sent = sim::GenerateRecording(5, 3, false);
    const auto session = Open(file);
    for (std::size_t at = 0; at < 2 * SessionThreshold; at += SessionThreshold)
        pty.WriteAndWaitUntilRead(std::span(sent).subspan(at, SessionThreshold), true);
    EXPECT_EQ(std::filesystem::file_size(file), 0u);
    // Kept once the window thread has taken the hand-overs.
    EXPECT_TRUE(WaitFor([&] { return session->Health().BytesKept == 2 * SessionThreshold; }));
    TLinkReport report = session->Health();
    EXPECT_EQ(report.State, TLinkState::AwaitingMode);
    EXPECT_EQ(report.BytesRecorded, 0u);

    session->AttachHandler(true);
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::file_size(file) == 2 * SessionThreshold; }))
        << "recorded once the mode is chosen, with no more bytes coming";
    EXPECT_EQ(values.FrameCounter, 2);
    report = session->Health();
    EXPECT_EQ(report.BytesKept, 0u);
    EXPECT_EQ(report.BytesRecorded, 2 * SessionThreshold);
    pty.Write(std::span(sent).subspan(2 * SessionThreshold));
    ASSERT_TRUE(WaitFor([&] { return ReadAll(file) == sent; }));
    EXPECT_EQ(values.FrameCounter, 3);
    EXPECT_EQ(plot.Size(), 3u * PlotSeriesCount);
}

TEST_F(LiveSessionTest, ClosingRecordsAndDecodesEveryByteReceivedBeforeIt) {
    const auto sent = sim::GenerateRecording(6, 2, false);
    const auto session = Open(file);
    session->AttachHandler(true);
    // One block is read and waits for the window thread; the rest of the stream is fewer
    // bytes than a block.
    pty.WriteAndWaitUntilRead(std::span(sent).first(SessionThreshold), false);
    pty.Write(std::span(sent).subspan(SessionThreshold, 5));
    pty.WaitUntilQueued(5, false);

    session->Close();

    EXPECT_EQ(ReadAll(file), std::vector(sent.begin(), sent.begin() + SessionThreshold + 5));
    EXPECT_EQ(values.FrameCounter, 1);
    EXPECT_EQ(values.LiveState, 5);
    EXPECT_EQ(pty.Queued(), 0);
    EXPECT_NO_THROW(serial::TComPort(Port, 9)) << "closing released the port";
}

} // namespace
} // namespace telemetry
