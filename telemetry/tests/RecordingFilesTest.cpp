// The recording's and the viewer's file layers as every platform gives them: the same rules
// and messages on Linux and on Windows.

#include "telemetry/RecordingFile.h"
#include "telemetry/RecordingView.h"
#include "telemetry/tests/CountingPlot.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace telemetry {
namespace {

namespace fs = std::filesystem;
using testing::TCountingPlot;

// A folder of its own in the temporary folder, removed with what it holds.
class TTempFolder {
public:
    TTempFolder()
        : path_(fs::temp_directory_path() /
                ("telmira-files-" + std::to_string(std::random_device{}()))) {
        fs::create_directories(path_);
    }
    ~TTempFolder() { fs::remove_all(path_); }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    [[nodiscard]] const fs::path& Path() const noexcept { return path_; }

private:
    fs::path path_;
};

std::vector<std::uint8_t> Frames(int count) {
    std::vector<std::uint8_t> bytes;
    for (int k = 0; k < count; ++k)
        bytes.insert(bytes.end(),
                     {0xFF, 0xFF, 0x12, 0x34, 1, 2, 3, 4, static_cast<std::uint8_t>(k)});
    return bytes;
}

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The viewer's steps on the file, as the window takes them: the message of the step that
// failed, or the frames the replay counted.
struct TReplay {
    std::string error;
    std::int32_t frames = 0;
    int points = 0;
};

TReplay Replay(const fs::path& path) {
    TReplay replay;
    try {
        const TViewedFile file(path.string());
        const TRecordingMapping mapping(file);
        const TRecordingView view(mapping);
        TLatestValues values;
        std::uint8_t state = 0;
        TCountingPlot plot;
        view.Replay(state, values, plot);
        replay.frames = values.FrameCounter;
        replay.points = plot.points;
    } catch (const std::runtime_error& error) {
        replay.error = error.what();
    }
    return replay;
}

class RecordingFilesTest : public ::testing::Test {
protected:
    TTempFolder folder;
    fs::path file = folder.Path() / "run.dcc";
    TRecordingFile::TClock::time_point now = TRecordingFile::TClock::now();
};

TEST_F(RecordingFilesTest, ViewerRefusesARecordingInProgressAndReplaysItOnceClosed) {
    TRecordingFile recording(file.string());
    recording.Write(Frames(3), now);

    EXPECT_EQ(Replay(file).error, RecordingOpenError);

    recording.Close();
    const TReplay replay = Replay(file);
    EXPECT_EQ(replay.error, "");
    EXPECT_EQ(replay.frames, 3);
    EXPECT_EQ(replay.points, 18);
}

TEST_F(RecordingFilesTest, OtherProgramsMayReadAndWriteARecordingInProgress) {
    TRecordingFile recording(file.string());
    recording.Write(Frames(2), now);

    EXPECT_EQ(ReadAll(file), Frames(2));
    EXPECT_TRUE(std::fstream(file, std::ios::in | std::ios::out | std::ios::binary).is_open());
}

TEST_F(RecordingFilesTest, NoRecordingOverAFileTheViewerHoldsWhichStaysAsItWas) {
    WriteFile(file, Frames(2));
    {
        const TViewedFile viewer(file.string());
        EXPECT_THROW(TRecordingFile(file.string()), ERecordingCreateError);
    }
    EXPECT_EQ(ReadAll(file), Frames(2));
}

TEST_F(RecordingFilesTest, RecordingEmptiesAnEarlierFileAndAddsNoExtension) {
    const fs::path plain = folder.Path() / "run";
    WriteFile(plain, Frames(5));
    {
        TRecordingFile recording(plain.string());
        EXPECT_EQ(fs::file_size(plain), 0u);
        recording.Write(Frames(1), now);
        recording.Close();
    }
    EXPECT_EQ(ReadAll(plain), Frames(1));
    EXPECT_FALSE(fs::exists(folder.Path() / "run.dcc"));
}

TEST_F(RecordingFilesTest, ViewerNamesTheStepThatFailed) {
    const fs::path empty = folder.Path() / "empty.dcc";
    WriteFile(empty, {});
    const fs::path cutShort = folder.Path() / "cut.dcc";
    std::vector<std::uint8_t> bytes = Frames(1000);
    bytes.resize(bytes.size() - 4);
    WriteFile(cutShort, bytes);
    const struct {
        const char* what;
        fs::path path;
        bool exists;
        TReplay replay;
    } cases[] = {
        {"no such file", folder.Path() / "missing.dcc", false, {RecordingOpenError}},
        {"an empty file", empty, true, {RecordingMapError}},
        {"a last frame cut short", cutShort, true, {"", 999, 999 * 6 + 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RecordingExists(c.path.string()), c.exists);
        const TReplay replay = Replay(c.path);
        EXPECT_EQ(replay.error, c.replay.error);
        EXPECT_EQ(replay.frames, c.replay.frames);
        EXPECT_EQ(replay.points, c.replay.points);
    }
    EXPECT_FALSE(RecordingExists(folder.Path().string())) << "a folder is no recording";
}

TEST_F(RecordingFilesTest, WrittenBytesAreSyncedOnceHalfASecondOldAndOnClose) {
    using namespace std::chrono_literals;
    TRecordingFile recording(file.string());
    const std::vector<std::uint8_t> block(100, 0x55);

    recording.SyncIfDue(now + 10s);
    EXPECT_EQ(recording.Syncs(), 0u) << "nothing written, nothing to sync";
    recording.Write(block, now);
    recording.Write(block, now + 300ms);
    recording.SyncIfDue(now + 499ms);
    EXPECT_EQ(recording.Syncs(), 0u);
    recording.SyncIfDue(now + 500ms);
    EXPECT_EQ(recording.Syncs(), 1u) << "the oldest unsynced byte is half a second old";
    recording.SyncIfDue(now + 900ms);
    EXPECT_EQ(recording.Syncs(), 1u) << "both blocks went with that sync";

    recording.Write(block, now + 1s);
    recording.SyncIfDue(now + 1400ms);
    EXPECT_EQ(recording.Syncs(), 1u);
    recording.Close();
    EXPECT_EQ(recording.Syncs(), 2u) << "closing syncs what is left";
    EXPECT_EQ(fs::file_size(file), 300u);
}

} // namespace
} // namespace telemetry
