#pragma once

// A recording opened for one replay: the file, held under an exclusive lock, and a read-only
// view of all its bytes, walked once through the frame decoder. Each object releases what it
// acquired in its destructor, so a replay that fails at any step gives back the view, then
// the file, in that order. Each platform has its own implementation (RecordingViewPosix.cpp,
// RecordingViewWin32.cpp) of the same rules and messages.

#include "telemetry/NativeFile.h"
#include "telemetry/Telemetry.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace telemetry {

// The viewer's messages, raised as std::runtime_error.
inline constexpr char RecordingOpenError[] = "Ошибка открытия файла";
inline constexpr char RecordingMapError[] = "Ошибка отображения файла";
inline constexpr char RecordingViewError[] = "Невозможно просмотреть файл";

// True when path names something that exists and is not a directory.
[[nodiscard]] bool RecordingExists(const std::string& path);

// The file open for reading and held to itself, so that nobody writes to it during the replay;
// a file the live session records is unavailable here. On Windows the file is opened with no
// sharing, which fails while anyone else has it open. Elsewhere it is held under an exclusive
// advisory lock, which fails while anyone else holds a lock on it (the live session holds a
// shared one); where the file system grants no lock at all, the file is opened without one.
// Raises RecordingOpenError when the file cannot be opened or held.
class TViewedFile {
public:
    explicit TViewedFile(const std::string& path);
    ~TViewedFile();
    TViewedFile(const TViewedFile&) = delete;
    TViewedFile& operator=(const TViewedFile&) = delete;

    [[nodiscard]] TNativeFile Handle() const noexcept { return file_; }

private:
    TNativeFile file_;
};

// What of the file can be mapped: a regular file with at least one byte, all of them.
// Raises RecordingMapError otherwise (an empty file, a pipe, a device).
class TRecordingMapping {
public:
    explicit TRecordingMapping(const TViewedFile& file);
    ~TRecordingMapping();
    TRecordingMapping(const TRecordingMapping&) = delete;
    TRecordingMapping& operator=(const TRecordingMapping&) = delete;

    [[nodiscard]] TNativeFile File() const noexcept { return file_; }
    // What a view is mapped from: the mapping object on Windows, the file itself elsewhere.
    [[nodiscard]] TNativeFile Handle() const noexcept { return mapping_; }
    [[nodiscard]] std::size_t Size() const noexcept { return size_; }

private:
    TNativeFile file_;
    TNativeFile mapping_;
    std::size_t size_;
};

// A read-only view of the whole mapping. Raises RecordingViewError when the address space
// cannot take it. The viewed file stays open while the view lives: the walk asks it for
// its size.
class TRecordingView {
public:
    explicit TRecordingView(const TRecordingMapping& mapping);
    ~TRecordingView();
    TRecordingView(const TRecordingView&) = delete;
    TRecordingView& operator=(const TRecordingView&) = delete;

    [[nodiscard]] std::span<const std::uint8_t> Bytes() const noexcept { return {data_, size_}; }

    // Feeds every byte, in order, to the decoder in replay mode, and the frames it completes to
    // frames when given. When another program cuts
    // the file short during the walk, or a page of the view no longer reads (a file on a
    // removed drive), no byte past the file's new end is decoded (those the view still shows
    // read as zeros) and no frame that needs one is counted: the bytes before the end stay
    // decoded and RecordingViewError is raised. Elsewhere than on Windows, one walk at a time
    // per process: the walk owns the process's bus-error handler while it runs. On Windows a
    // walk's vectored exception handler takes only the faults of its own thread.
    void Replay(std::uint8_t& state, TLatestValues& values, TFramePlot& plot,
                TFrameSink* frames = nullptr) const;

private:
    const std::uint8_t* data_;
    std::size_t size_;
    TNativeFile file_; // the viewed file
};

} // namespace telemetry
