// What only the Windows file layers meet: devices named like files, and a view whose pages stop
// reading during the replay.

#include "telemetry/RecordingFile.h"
#include "telemetry/RecordingView.h"
#include "telemetry/tests/CountingPlot.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

namespace telemetry {
namespace {

namespace fs = std::filesystem;
using testing::TCountingPlot;

TEST(RecordingWin32Test, ADeviceIsNoRecording) {
    for (const char* device : {"NUL", "CON"}) {
        SCOPED_TRACE(device);
        EXPECT_THROW(TRecordingFile{device}, ERecordingCreateError);
    }
}

// Under Wine, a Linux program cuts a file short behind the back of the Windows programs that
// have it open: the pages of a view beyond the new end stop reading, as on Windows a file on a
// drive that was removed. False where that cannot be done (on Windows).
bool CutShortFromLinux(const fs::path& path, std::uintmax_t size) {
    using TUnixFileName = char*(CDECL*)(const wchar_t*);
    const auto unixFileName = reinterpret_cast<TUnixFileName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixFileName)
        return false;
    char* unixPath = unixFileName(path.wstring().c_str());
    std::string command = "/usr/bin/truncate -s " + std::to_string(size) + " " + unixPath;
    ::HeapFree(::GetProcessHeap(), 0, unixPath);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process))
        return false;
    // Wine gives no handle to wait on for a Linux program: the file's size tells when it ran.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    while (std::chrono::steady_clock::now() < deadline) {
        if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
            (std::uintmax_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow) == size)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// A cut at a page boundary makes the pages beyond it stop reading; a cut inside the last page
// reads as zeros up to the page's end.
class RecordingViewWin32Test : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(folder); }
    void TearDown() override { fs::remove_all(folder); }

    const fs::path folder =
        fs::temp_directory_path() / ("telmira-cut-" + std::to_string(std::random_device{}()));
};

TEST_F(RecordingViewWin32Test, AFileCutShortDuringTheReplayCountsNoFrameBeyondTheCut) {
    const struct {
        const char* where;
        int frames;
        std::uintmax_t cut;
    } cases[] = {
        {"at a page boundary", 4 * 4096 / 9, 4096},
        {"inside the last page", 1111, 9004},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        const fs::path path = folder / "cut.dcc";
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            for (int k = 0; k < c.frames; ++k)
                out.write("\xFF\xFF\x12\x34\x01\x02\x03\x04\x05", 9);
        }
        const TViewedFile file(path.string());
        const TRecordingMapping mapping(file);
        const TRecordingView view(mapping);
        if (!CutShortFromLinux(path, c.cut))
            GTEST_SKIP() << "no Linux program can cut the file short here";
        TLatestValues values;
        std::uint8_t state = 0;
        TCountingPlot plot;

        try {
            view.Replay(state, values, plot);
            ADD_FAILURE() << "the cut went unnoticed";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), RecordingViewError);
        }

        EXPECT_EQ(values.FrameCounter, static_cast<std::int32_t>(c.cut / 9))
            << "the frames before the cut stay decoded";
        EXPECT_EQ(values.AdvanceCode, 5) << "the last frame counted is a whole one of the file";
        EXPECT_EQ(values.Temperature, 3);
    }
}

// The file's own path as the program's strings hold it on Windows: UTF-8.
std::string Utf8Path(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// Names that the local code page of a Western or a Russian PC cannot spell: the program takes
// its file names as UTF-8 and hands them to the wide-character functions.
TEST_F(RecordingViewWin32Test, ARecordingOutsideTheCodePageIsRecordedAndViewed) {
    std::printf("The local code page is %u\n", ::GetACP());
    const fs::path cases[] = {folder / u8"Иван" / u8"заезд.dcc",
                              folder / u8"Ελένη" / u8"δοκιμή ü 試験.dcc"};
    for (const fs::path& path : cases) {
        const std::string name = Utf8Path(path);
        SCOPED_TRACE(name);
        ASSERT_TRUE(::CreateDirectoryW(path.parent_path().c_str(), nullptr));
        {
            TRecordingFile recording(name);
            for (int k = 0; k < 3; ++k)
                recording.Write(
                    {reinterpret_cast<const std::uint8_t*>("\xFF\xFF\x12\x34\x01\x02\x03\x04\x05"),
                     9},
                    TRecordingFile::TClock::now());
            recording.Close();
        }
        WIN32_FILE_ATTRIBUTE_DATA data{};
        ASSERT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
            << "recorded under its own name";
        EXPECT_EQ(data.nFileSizeLow, 27u);
        EXPECT_TRUE(RecordingExists(name));

        const TViewedFile file(name);
        const TRecordingMapping mapping(file);
        const TRecordingView view(mapping);
        TLatestValues values;
        std::uint8_t state = 0;
        TCountingPlot plot;
        view.Replay(state, values, plot);
        EXPECT_EQ(values.FrameCounter, 3);
    }
}

// An indexer, a backup or an editor that only reads leaves the recording viewable, and the
// viewer leaves them reading; a writer it keeps out.
TEST_F(RecordingViewWin32Test, TheViewerLetsReadersInAndKeepsWritersOut) {
    const fs::path path = folder / "shared.dcc";
    {
        std::ofstream out(path, std::ios::binary);
        out.write("\xFF\xFF\x12\x34\x01\x02\x03\x04\x05", 9);
    }
    const auto open = [&](DWORD access) {
        return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    const HANDLE reader = open(GENERIC_READ);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    {
        const TViewedFile file(path.string());
        const HANDLE secondReader = open(GENERIC_READ);
        EXPECT_NE(secondReader, INVALID_HANDLE_VALUE);
        ::CloseHandle(secondReader);
        EXPECT_EQ(open(GENERIC_WRITE), INVALID_HANDLE_VALUE);
        EXPECT_THROW(TRecordingFile{path.string()}, ERecordingCreateError);
    }
    ::CloseHandle(reader);
    EXPECT_EQ(fs::file_size(path), 9u) << "the refused recording left the file as it was";

    const HANDLE writer = open(GENERIC_WRITE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_THROW(TViewedFile{path.string()}, std::runtime_error);
    ::CloseHandle(writer);
}

// The size comes in two halves; a file past 4 GiB needs the high one.
TEST_F(RecordingViewWin32Test, AFileOverFourGibibytesIsViewedToItsLastByte) {
    const std::uint64_t leading = (std::uint64_t{1} << 32) + 7;
    const fs::path path = folder / "large.dcc";
    {
        const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        // Sparse, so that the leading zeros take no room where the file system allows.
        DWORD returned = 0;
        ::DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(leading);
        DWORD written = 0;
        const bool frameWritten =
            ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
            ::WriteFile(file, "\xFF\xFF\x12\x34\x01\x02\x03\x04\x05", 9, &written, nullptr) &&
            written == 9;
        ::CloseHandle(file);
        if (!frameWritten)
            GTEST_SKIP() << "the temporary folder takes no file of this size";
    }
    const TViewedFile file(path.string());
    const TRecordingMapping mapping(file);
    const TRecordingView view(mapping);

    ASSERT_EQ(mapping.Size(), leading + FrameSize);
    EXPECT_EQ(view.Bytes()[leading], SyncByte);
    EXPECT_EQ(view.Bytes().back(), 5);
}

} // namespace
} // namespace telemetry
