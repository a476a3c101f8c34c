#include "LiveSession.h"
#include "Pty.h"
#include "Simulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/file.h>
#include <unistd.h>

namespace telemetry {
namespace {

using serial::testing::TPty;
using serial::testing::TTempRuntimeDir;
using serial::testing::WaitFor;

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
    [[nodiscard]] bool Empty() const {
        return std::all_of(Series.begin(), Series.end(), [](const auto& s) { return s.empty(); });
    }
};

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
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

class LiveSessionTest : public ::testing::Test {
protected:
    static constexpr std::uint8_t Port = 2;
    TTempRuntimeDir runtime;
    TPty pty;
    std::filesystem::path file = runtime.Path() / "run.dcc";
    TLatestValues values;
    TPoints plot;
    std::vector<std::string> errors;

    LiveSessionTest() { pty.LinkAs(Port); }

    std::unique_ptr<TLiveSession> Open(const std::filesystem::path& name) {
        return std::make_unique<TLiveSession>(
            name, Port, values, plot, [this](const std::string& m) { errors.push_back(m); });
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
    } else {
        EXPECT_TRUE(plot.Empty()) << "recording only leaves the chart as it was";
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
    const auto session = Open("/dev/full");
    session->AttachHandler(true);
    pty.Write(sim::GenerateRecording(1, 100, false));
    ASSERT_TRUE(WaitFor([&] { return !errors.empty(); }));
    pty.Write(sim::GenerateRecording(2, 100, false));
    ASSERT_TRUE(WaitFor([&] { return pty.Queued() > 0; }));
    EXPECT_EQ(errors,
              std::vector<std::string>{"Error writing file /dev/full: No space left on device"});
    EXPECT_TRUE(plot.Empty());
    EXPECT_EQ(values.Period, 0);
}

} // namespace
} // namespace telemetry
