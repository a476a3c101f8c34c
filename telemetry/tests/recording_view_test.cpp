#include "telemetry/FrameTable.h"
#include "telemetry/RecordingView.h"
#include "telemetry/tests/CountingPlot.h"
#include "telemetry/tests/FlockRule.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

using namespace telemetry;
using telemetry::testing::TCountingPlot;

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

// A cut at a page boundary makes the pages beyond it fault; a cut inside the last page reads
// as zeros up to the page's end without a fault.
TEST_F(RecordingViewTest, AFileCutShortDuringTheReplayCountsNoFrameBeyondTheCut) {
    const long page = ::sysconf(_SC_PAGESIZE);
    const struct {
        const char* where;
        int frames;
        off_t cut;
    } cases[] = {
        {"at a page boundary", static_cast<int>(4 * page / 9), page},
        {"inside the last page", 1111, 9004},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        const std::string path = (dir_ / "cut.dcc").string();
        ASSERT_TRUE(Write(path, c.frames));
        TViewedFile file(path);
        TRecordingMapping mapping(file);
        TRecordingView view(mapping);
        ASSERT_EQ(::truncate(path.c_str(), c.cut), 0); // by a program that ignores the lock
        struct sigaction before {};
        ::sigaction(SIGBUS, nullptr, &before);
        TLatestValues values;
        std::uint8_t state = 0;
        TCountingPlot plot;
        TFrameTable frames;

        try {
            view.Replay(state, values, plot, &frames);
            FAIL() << "the cut went unnoticed";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), RecordingViewError);
        }

        EXPECT_EQ(values.FrameCounter, c.cut / 9) << "the frames before the cut stay decoded";
        EXPECT_EQ(frames.Rows(), c.cut / 9) << "and in the frame table";
        EXPECT_EQ(frames.Bytes(), static_cast<std::uint64_t>(c.cut));
        EXPECT_EQ(values.AdvanceCode, 5) << "the last frame counted is a whole one of the file";
        EXPECT_EQ(values.Temperature, 3);
        struct sigaction after {};
        ::sigaction(SIGBUS, nullptr, &after);
        EXPECT_EQ(after.sa_handler, before.sa_handler) << "the previous handler is back";
    }
}

TEST_F(RecordingViewTest, OnlyALockHeldElsewhereRefusesTheFile) {
    const std::string path = (dir_ / "run.dcc").string();
    ASSERT_TRUE(Write(path, 3));
    {
        // NFS turns flock into a byte-range lock, which a descriptor opened only for reading
        // cannot take exclusive.
        const telemetry::testing::TFlockRule nfs(telemetry::testing::NfsFlock);
        TViewedFile file(path);
        TRecordingView view{TRecordingMapping(file)};
        EXPECT_EQ(view.Bytes().size(), 3 * FrameSize);
    }
    const int recorder = ::open(path.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(recorder, LOCK_SH), 0);
    try {
        TViewedFile file(path);
        ADD_FAILURE() << "a file that a live session records was opened for a replay";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), RecordingOpenError);
    }
    ::close(recorder);
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
