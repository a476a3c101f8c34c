#pragma once

// A live session: the serial stream in, the recording out, and every received byte fed
// to the frame decoder, with or without plotting. The window creates a session when the
// user opens the port and destroys it (or calls Close) when the user closes it.

#include "ComPort.h"
#include "Telemetry.h"

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

namespace telemetry {

// The recording could not be created; the window says "Ошибка создания файла".
class ERecordingCreateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writing or closing the recording failed.
class EInOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The recording of a session. It is created empty (an existing regular file is truncated;
// anything else of that name, a named pipe or a device, is refused; no extension is added),
// every write goes straight to the operating system, so the file is complete up to the last
// handled byte at any moment, and a shared lock is held while it is open: other programs may
// read and write it, but the viewer, which wants the file to itself, refuses it. A file whose
// lock is held elsewhere is refused; where the file system grants no lock, the file is
// recorded without one.
class TRecordingFile {
public:
    explicit TRecordingFile(std::string fileName);
    ~TRecordingFile();
    TRecordingFile(const TRecordingFile&) = delete;
    TRecordingFile& operator=(const TRecordingFile&) = delete;

    void Write(std::span<const std::uint8_t> bytes);
    // Reports a failed close, which the destructor cannot.
    void Close();
    [[nodiscard]] const std::string& FileName() const noexcept { return fileName_; }

private:
    std::string fileName_;
    int fd_ = -1;
};

// Writes a received block to the recording, then decodes it with values.LiveState. A
// failed write raises before any byte of the block is decoded.
void RecordBlock(TRecordingFile& file, std::span<const std::uint8_t> block, DecodeMode mode,
                 TLatestValues& values, TFramePlot* plot);

// The least block the reader hands over: one frame.
inline constexpr std::uint8_t SessionThreshold = FrameSize;

class TLiveSession {
public:
    // Creates the recording (ERecordingCreateError), then opens the port with a
    // threshold of one frame (serial::EComPortError; the recording then stays on disk,
    // empty), then resets values.LiveState and values.FrameCounter. Blocks received
    // before AttachHandler are kept, and recorded and decoded first once it has chosen the
    // mode, so that the recording starts with the first byte read after the port opened.
    // onError runs on the window thread when the port fails or a handler raises (a write
    // failed): the session then records nothing more but stays open until it is closed.
    TLiveSession(const std::string& fileName, std::uint8_t portNumber, TLatestValues& values,
                 TFramePlot& plot, serial::TErrorHandler onError);
    // Releases the port, then the recording.
    ~TLiveSession();
    TLiveSession(const TLiveSession&) = delete;
    TLiveSession& operator=(const TLiveSession&) = delete;

    // Once per session: SaveHarReal when plotting in real time, otherwise SaveHarNoReal.
    void AttachHandler(bool plotInRealTime);

    // Record the block and decode it: with points on the plot, or the latest values only.
    void SaveHarReal(std::span<const std::uint8_t> data);
    void SaveHarNoReal(std::span<const std::uint8_t> data);

    // Records and decodes every byte received so far, those still in the driver included
    // (they may end inside a frame), then destroys the port, then closes the recording.
    // Raises EInOutError when a write or the close fails; the port is released either way.
    void Close();

    [[nodiscard]] const std::string& FileName() const noexcept { return file_.FileName(); }

private:
    TLatestValues& values_;
    TFramePlot& plot_;
    TRecordingFile file_;
    std::unique_ptr<serial::TComPort> port_;
};

} // namespace telemetry
