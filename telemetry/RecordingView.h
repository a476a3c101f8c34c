#pragma once

// A recording opened for one replay: the file, held under an exclusive lock, and a read-only
// view of all its bytes, walked once through the frame decoder. Each object releases what it
// acquired in its destructor, so a replay that fails at any step gives back the view, then
// the file, in that order. Each platform has its own implementation (RecordingViewPosix.cpp,
// RecordingViewWin32.cpp) of the same rules and messages.

#include "telemetry/NativeFile.h"
#include "telemetry/ReplayProgress.h"
#include "telemetry/Telemetry.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace telemetry {

// The viewer's messages, raised as std::runtime_error.
inline constexpr char RecordingOpenError[] = "Ошибка открытия файла";
inline constexpr char RecordingMapError[] = "Ошибка отображения файла";
inline constexpr char RecordingViewError[] = "Невозможно просмотреть файл";

// A replay found the file cut short under it: RecordingViewError, and how far it decoded.
class ERecordingCut : public std::runtime_error {
public:
    explicit ERecordingCut(std::uint64_t decoded)
        : std::runtime_error(RecordingViewError), decoded_(decoded) {}
    // The bytes before the cut that were decoded.
    [[nodiscard]] std::uint64_t Decoded() const noexcept { return decoded_; }

private:
    std::uint64_t decoded_;
};

// True when path names something that exists and is not a directory.
[[nodiscard]] bool RecordingExists(const std::string& path);

// The file open for reading and held to itself, so that nobody writes to it during the replay;
// a file the live session records is unavailable here. On Windows the file is opened sharing
// reading only, which fails while anyone else may write to it and lets readers in. Elsewhere it is
// held under an exclusive advisory lock, which fails while anyone else holds a lock on it (the live
// session holds a shared one); where the file system grants no lock at all, the file is opened
// without one. Raises RecordingOpenError when the file cannot be opened or held.
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
    // frames when given, and returns the bytes decoded: all of them unless progress stopped the
    // walk. progress, when given, is told how far the walk is after every stretch of it and may
    // stop it there. When another program cuts the file short during the walk, or a page of the
    // view no longer reads (a file on a removed drive), no byte past the file's new end is
    // decoded (those the view still shows read as zeros) and no frame that needs one is counted:
    // the bytes before the end stay decoded and ERecordingCut is raised. Elsewhere than on
    // Windows, one stretch at a time per process: it owns the process's bus-error handler while
    // it is walked. On Windows a stretch's vectored exception handler takes only the faults of
    // its own thread.
    std::uint64_t Replay(std::uint8_t& state, TLatestValues& values, TFramePlot& plot,
                         TReplayProgress* progress = nullptr, TFrameSink* frames = nullptr) const;

private:
    const std::uint8_t* data_;
    std::size_t size_;
    TNativeFile file_; // the viewed file
};

} // namespace telemetry
