#include "RecordingView.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace telemetry;
namespace fs = std::filesystem;

struct TPoint {
    int series;
    double x;
};

struct TRecordedPlot final : TFramePlot {
    std::vector<TPoint> points;
    void AddPoint(int series, double x, double, std::uint32_t) override {
        points.push_back({series, x});
    }
};

class RecordingViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "telmira-view-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    static std::vector<std::uint8_t> Frames(int count) {
        std::vector<std::uint8_t> bytes;
        for (int k = 0; k < count; ++k)
            bytes.insert(bytes.end(),
                         {0xFF, 0xFF, 0x12, 0x34, 1, 2, 3, 4, static_cast<std::uint8_t>(k)});
        return bytes;
    }

    // What acquiring file, mapping and view in the viewer's order raises, or "" when all three
    // are obtained.
    static std::string AcquisitionFailure(const std::string& path) {
        try {
            TRecordingFile file(path);
            TRecordingMapping mapping(file);
            TRecordingView view(mapping);
            return "";
        } catch (const std::runtime_error& error) {
            return error.what();
        }
    }

    fs::path dir_;
};

TEST_F(RecordingViewTest, EachUnusableFileFailsWithTheMessageOfItsStep) {
    const std::string missing = (dir_ / "missing.dcc").string();
    const std::string empty = Write("empty.dcc", {});
    const std::string pipe = (dir_ / "pipe.dcc").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string locked = Write("locked.dcc", Frames(2));
    const int holder = ::open(locked.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_SH), 0); // as the live session holds its recording

    struct Case {
        const char* rule;
        std::string path;
        std::string message;
    };
    const Case cases[] = {
        {"a missing file cannot be opened", missing, RecordingOpenError},
        {"a file another holder has locked cannot be opened", locked, RecordingOpenError},
        {"an empty file cannot be mapped", empty, RecordingMapError},
        {"a pipe cannot be mapped, and opening it does not wait", pipe, RecordingMapError},
        {"a regular file with bytes is viewed", Write("good.dcc", Frames(1)), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        EXPECT_EQ(AcquisitionFailure(c.path), c.message);
    }
    ::close(holder);
}

TEST_F(RecordingViewTest, TheLockIsExclusiveWhileTheFileIsOpenAndGoneAfterwards) {
    const std::string path = Write("frames.dcc", Frames(1));
    const int other = ::open(path.c_str(), O_RDONLY);
    {
        TRecordingFile file(path);
        EXPECT_NE(::flock(other, LOCK_SH | LOCK_NB), 0);
        EXPECT_EQ(AcquisitionFailure(path), RecordingOpenError);
    }
    EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    ::close(other);
}

TEST_F(RecordingViewTest, ReplayDecodesEveryByteWithTheReplaysOwnState) {
    std::vector<std::uint8_t> bytes = {0x34, 0x01}; // the tail of a frame the file starts in
    const std::vector<std::uint8_t> frames = Frames(3);
    bytes.insert(bytes.end(), frames.begin(), frames.end());
    bytes.insert(bytes.end(), {0xFF, 0xFF, 0x00, 0x10}); // cut short after its period
    TRecordingFile file(Write("frames.dcc", bytes));
    TRecordingMapping mapping(file);
    TRecordingView view(mapping);
    TLatestValues values;
    values.LiveState = 5;
    std::uint8_t state = 0;
    TRecordedPlot plot;

    view.Replay(state, values, plot);

    ASSERT_EQ(plot.points.size(), 3u * 6 + 1);
    for (std::size_t i = 0; i < 18; ++i)
        EXPECT_EQ(plot.points[i].x, static_cast<double>(i / 6)) << "point " << i;
    EXPECT_EQ(plot.points.back().series, SeriesSpeed);
    EXPECT_EQ(values.FrameCounter, 3);
    EXPECT_EQ(values.Period, 0x0010);
    EXPECT_EQ(values.AdvanceCode, 2);
    EXPECT_EQ(values.LiveState, 5);
    EXPECT_EQ(state, 4);
}

TEST_F(RecordingViewTest, AFileCutShortDuringTheReplayIsReportedNotFatal) {
    const long page = ::sysconf(_SC_PAGESIZE);
    const std::string path = Write("cut.dcc", Frames(static_cast<int>(4 * page / 9)));
    TRecordingFile file(path);
    TRecordingMapping mapping(file);
    TRecordingView view(mapping);
    ASSERT_EQ(::truncate(path.c_str(), page), 0); // another program ignoring the lock
    struct sigaction before {};
    ::sigaction(SIGBUS, nullptr, &before);
    TLatestValues values;
    std::uint8_t state = 0;
    TRecordedPlot plot;

    try {
        view.Replay(state, values, plot);
        FAIL() << "the cut went unnoticed";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), RecordingViewError);
    }

    EXPECT_EQ(values.FrameCounter, page / 9) << "the frames before the cut stay decoded";
    struct sigaction after {};
    ::sigaction(SIGBUS, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler) << "the previous handler is back";
}

TEST_F(RecordingViewTest, AFileOverFourGibibytesIsViewedToItsLastByte) {
    const std::uint64_t leading = (std::uint64_t{1} << 32) + 7;
    const std::vector<std::uint8_t> frame = Frames(1);
    const std::string path = (dir_ / "large.dcc").string();
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        const bool written =
            ::pwrite(fd, frame.data(), frame.size(), static_cast<off_t>(leading)) ==
            static_cast<ssize_t>(frame.size());
        ::close(fd);
        if (!written)
            GTEST_SKIP() << "the temporary folder takes no sparse file of this size";
    }
    TRecordingFile file(path);
    TRecordingMapping mapping(file);
    TRecordingView view(mapping);

    ASSERT_EQ(mapping.Size(), leading + frame.size());
    const auto tail = view.Bytes().last(frame.size());
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), frame.begin()));
}

TEST_F(RecordingViewTest, ExistenceMeansAnythingButAFolder) {
    EXPECT_TRUE(RecordingExists(Write("frames.dcc", Frames(1))));
    EXPECT_TRUE(RecordingExists(Write("empty.dcc", {})));
    EXPECT_FALSE(RecordingExists((dir_ / "missing.dcc").string()));
    EXPECT_FALSE(RecordingExists(dir_.string()));
}

} // namespace
