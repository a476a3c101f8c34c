// The recording's and the viewer's file layers as every platform gives them: the same rules
// and messages on Linux and on Windows.

#include "telemetry/RecordingFile.h"
#include "telemetry/RecordingView.h"
#include "telemetry/tests/CountingPlot.h"
#include "telemetry/tests/RecordedFrames.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

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
    return testing::RecordedFrames(0, count);
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

// The recording_holder program beside this test (RecordingHolder.cpp), recording a file in a
// process of its own, as a live session of another window does.
class TOtherRecorder {
public:
    TOtherRecorder(const fs::path& file, fs::path signals, int first, int second)
        : signals_(std::move(signals)) {
        fs::create_directories(signals_);
        std::vector<std::string> words{Program().string(), file.string(), signals_.string(),
                                       std::to_string(first), std::to_string(second)};
#ifdef _WIN32
        // The words go to the program as one command line, split again at blanks.
        for (std::string& word : words)
            word = '"' + word + '"';
#endif
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
#ifdef _WIN32
        process_ = ::_spawnv(_P_NOWAIT, Program().string().c_str(), argv.data());
#else
        if (::posix_spawn(&process_, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            process_ = -1;
#endif
    }
    ~TOtherRecorder() {
        Finish();
    }
    TOtherRecorder(const TOtherRecorder&) = delete;
    TOtherRecorder& operator=(const TOtherRecorder&) = delete;

    // Whether it holds the file with its first frames recorded; Wine takes seconds to start it.
    [[nodiscard]] bool Held() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (process_ != -1 && !fs::exists(signals_ / "held")) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return process_ != -1;
    }
    // Lets it record the rest and close, and gives its exit status.
    int Finish() {
        if (process_ == -1)
            return -1;
        std::ofstream(signals_ / "go");
        int status = -1;
#ifdef _WIN32
        ::_cwait(&status, process_, 0);
#else
        if (::waitpid(process_, &status, 0) == process_)
            status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
        process_ = -1;
        return status;
    }

private:
    static fs::path Program() {
#ifdef _WIN32
        char self[MAX_PATH];
        ::GetModuleFileNameA(nullptr, self, MAX_PATH);
        return fs::path(self).parent_path() / "recording_holder.exe";
#else
        return fs::read_symlink("/proc/self/exe").parent_path() / "recording_holder";
#endif
    }

    fs::path signals_;
#ifdef _WIN32
    intptr_t process_ = -1;
#else
    pid_t process_ = -1;
#endif
};

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

// Window B chooses the file that window A is recording and answers "Да" to replacing it: B's
// session and every program of ours must leave A's recording as it is.
TEST_F(RecordingFilesTest, ARecordingAnotherProcessMakesIsNeitherEmptiedNorWritten) {
    TOtherRecorder other(file, folder.Path() / "signals", 100, 50);
    ASSERT_TRUE(other.Held());

    EXPECT_THROW(TRecordingFile{file.string()}, EFileBeingWritten);
    EXPECT_THROW(TWriterClaim{file.string()}, EFileBeingWritten) << "a program's output";
    EXPECT_EQ(Replay(file).error, RecordingOpenError) << "nor is it viewed";
    EXPECT_EQ(ReadAll(file), Frames(100)) << "refused before anything was changed";

    EXPECT_EQ(other.Finish(), 0);
    EXPECT_EQ(ReadAll(file), testing::RecordedFrames(0, 150)) << "the recording, byte for byte";
    TRecordingFile again(file.string());
    EXPECT_EQ(fs::file_size(file), 0u) << "a recording that was closed may be recorded over";
}

TEST_F(RecordingFilesTest, OneFileTakesOneWriterAtATimeInOneProcessToo) {
    {
        TRecordingFile recording(file.string());
        recording.Write(Frames(2), now);
        EXPECT_THROW(TRecordingFile{file.string()}, EFileBeingWritten);
        EXPECT_THROW(TWriterClaim{file.string()}, EFileBeingWritten);
        EXPECT_EQ(ReadAll(file), Frames(2));
        recording.Close();
    }
    {
        const TWriterClaim claim(file.string());
        EXPECT_EQ(ReadAll(file), Frames(2)) << "a claim leaves emptying to its program";
        EXPECT_THROW(TRecordingFile{file.string()}, EFileBeingWritten);
        EXPECT_EQ(Replay(file).error, RecordingOpenError) << "the viewer stays off it too";
    }
    EXPECT_NO_THROW(TRecordingFile{file.string()}) << "released with the claim";
}

TEST_F(RecordingFilesTest, ProgramsClaimOnlyFilesAndNeverAFileTheViewerHolds) {
    const fs::path fresh = folder.Path() / "fresh.png";
    EXPECT_NO_THROW(TWriterClaim{fresh.string()});
    EXPECT_TRUE(fs::exists(fresh)) << "made empty for its program to write";
#ifdef _WIN32
    const char* device = "NUL";
#else
    const char* device = "/dev/null";
#endif
    const TWriterClaim deviceClaim(device);
    EXPECT_NO_THROW(TWriterClaim{device}) << "a device is never a recording, nor claimed";

    WriteFile(file, Frames(3));
    {
        const TViewedFile viewer(file.string());
        try {
            const TWriterClaim claim(file.string());
            ADD_FAILURE() << "claimed a file the viewer holds";
        } catch (const EFileBeingWritten&) {
            ADD_FAILURE() << "the viewer records nothing";
        } catch (const EFileCreateError&) {
        }
    }
    EXPECT_EQ(ReadAll(file), Frames(3));
}

} // namespace
} // namespace telemetry
