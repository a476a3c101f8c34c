#include "RecordingView.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace telemetry;

struct TCountingPlot final : TFramePlot {
    int points = 0;
    void AddPoints(int, double, std::span<const double> ys, std::uint32_t) override {
        points += static_cast<int>(ys.size());
    }
};

class RecordingViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "telmira-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // A file of frames written at offset; false when the folder refuses it.
    bool Write(const std::string& path, int frames, off_t offset = 0) {
        std::vector<std::uint8_t> bytes;
        for (int k = 0; k < frames; ++k)
            bytes.insert(bytes.end(), {0xFF, 0xFF, 0x12, 0x34, 1, 2, 3, 4, 5});
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const bool written = fd >= 0 && ::pwrite(fd, bytes.data(), bytes.size(), offset) ==
                                            static_cast<ssize_t>(bytes.size());
        ::close(fd);
        return written;
    }

    std::filesystem::path dir_;
};

TEST_F(RecordingViewTest, AFileCutShortDuringTheReplayIsReportedNotFatal) {
    const long page = ::sysconf(_SC_PAGESIZE);
    const std::string path = (dir_ / "cut.dcc").string();
    ASSERT_TRUE(Write(path, static_cast<int>(4 * page / 9)));
    TViewedFile file(path);
    TRecordingMapping mapping(file);
    TRecordingView view(mapping);
    ASSERT_EQ(::truncate(path.c_str(), page), 0); // by a program that ignores the lock
    struct sigaction before {};
    ::sigaction(SIGBUS, nullptr, &before);
    TLatestValues values;
    std::uint8_t state = 0;
    TCountingPlot plot;

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
    const std::string path = (dir_ / "large.dcc").string();
    if (!Write(path, 1, static_cast<off_t>(leading)))
        GTEST_SKIP() << "the temporary folder takes no sparse file of this size";
    TViewedFile file(path);
    TRecordingMapping mapping(file);
    TRecordingView view(mapping);

    ASSERT_EQ(mapping.Size(), leading + FrameSize);
    EXPECT_EQ(view.Bytes()[leading], SyncByte);
    EXPECT_EQ(view.Bytes().back(), 5);
}

} // namespace
