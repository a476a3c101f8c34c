#include "telemetry/FrameTable.h"
#include "telemetry/RecordingView.h"
#include "telemetry/RecordingWalk.h"
#include "telemetry/tests/CountingPlot.h"
#include "telemetry/tests/FlockRule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
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
            view.Replay(state, values, plot, nullptr, &frames);
            FAIL() << "the cut went unnoticed";
        } catch (const ERecordingCut& error) {
            EXPECT_STREQ(error.what(), RecordingViewError);
            EXPECT_EQ(error.Decoded(), static_cast<std::uint64_t>(c.cut)) << "up to the cut";
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

// Tells the walk's progress to whoever waits, and stops the walk once told of stopAt bytes.
struct TRecordedProgress final : TReplayProgress {
    std::uint64_t stopAt = UINT64_MAX;
    std::vector<std::uint64_t> told;
    std::uint64_t total = 0;
    bool Walked(std::uint64_t done, std::uint64_t of) override {
        told.push_back(done);
        total = of;
        return done < stopAt;
    }
};

TEST_F(RecordingViewTest, ProgressIsToldAfterEachStretchAndStopsTheWalkThere) {
    const std::string path = (dir_ / "long.dcc").string();
    const std::uint64_t stretch = walk::StretchSize;
    const auto frames = static_cast<int>((3 * stretch + stretch / 2) / FrameSize); // the last short
    ASSERT_TRUE(Write(path, frames));
    const std::uint64_t size = std::uint64_t{FrameSize} * frames;
    const struct {
        const char* rule;
        std::uint64_t stopAt;
        std::vector<std::uint64_t> told;
    } cases[] = {
        {"a walk that goes on is told of every stretch, the last at the end",
         UINT64_MAX,
         {stretch, 2 * stretch, 3 * stretch, size}},
        {"a walk stopped after its second stretch decodes nothing after it",
         2 * stretch,
         {stretch, 2 * stretch}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        TViewedFile file(path);
        TRecordingMapping mapping(file);
        TRecordingView view(mapping);
        TLatestValues values;
        std::uint8_t state = 0;
        TCountingPlot plot;
        TRecordedProgress progress;
        progress.stopAt = c.stopAt;

        const std::uint64_t decoded = view.Replay(state, values, plot, &progress);

        EXPECT_EQ(progress.told, c.told);
        EXPECT_EQ(progress.total, size);
        EXPECT_EQ(decoded, c.told.back());
        EXPECT_EQ(values.FrameCounter, static_cast<std::int32_t>(decoded / FrameSize));
        EXPECT_EQ(state, decoded % FrameSize) << "the frame the stop cut in two is being decoded";
        const int held = static_cast<int>(decoded % FrameSize); // speed at its fourth byte
        EXPECT_EQ(plot.points, 6 * values.FrameCounter + std::max(0, held - 3));
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
