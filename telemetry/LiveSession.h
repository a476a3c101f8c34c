#pragma once

// A live session: the serial stream in, the recording out, and every received byte fed
// to the frame decoder, with or without plotting. The window creates a session when the
// user opens the port and destroys it (or calls Close) when the user closes it.

#include "serial/ComPort.h"
#include "telemetry/CompanionWriter.h"
#include "telemetry/LinkHealth.h"
#include "telemetry/RecordingFile.h"
#include "telemetry/Telemetry.h"

#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace telemetry {

// How often the session asks its recording to sync the bytes that are SyncAfter old, so that
// a power loss takes less than a second of the recording.
inline constexpr std::chrono::milliseconds SyncCheckInterval{250};

// The least block the reader hands over: one frame.
inline constexpr std::uint8_t SessionThreshold = FrameSize;

// How often a session whose port failed tries to open it again: a port that comes back is
// open again within this time.
inline constexpr std::chrono::milliseconds ReopenInterval{100};

class TLiveSession {
public:
    // Creates the recording (ERecordingCreateError), then opens the port with a
    // threshold of one frame (serial::EComPortError; the recording then stays on disk,
    // empty), then resets values.LiveState and values.FrameCounter. When plotting, the frames
    // the decoder completes go to frames as well, when given. Blocks received
    // before AttachHandler are kept, and recorded and decoded first once it has chosen the
    // mode, so that the recording starts with the first byte read after the port opened.
    // Needs the window thread's event loop, which syncs the recording every
    // SyncCheckInterval and reopens a failed port.
    //
    // onError runs on the window thread with the failure's message:
    // - the first time the port fails (a USB adapter pulled out, the line gone). The
    //   session stays open and tries the same port every ReopenInterval, with the same
    //   settings and checks, and opens it only on the device it lost (serial::SameDevice:
    //   the same adapter; a pseudo-terminal only behind a link made anew; never a
    //   /dev/ttyS<n-1> in the meantime), without purging what the driver has queued by
    //   then; once it opens, the recording goes on where it stopped and the decoder goes on
    //   with it as a replay of the recording will, so that the session shows the frames its
    //   recording holds. Later failures of the session only show in its health.
    //   WaitingForPort tells the handler this case from the next.
    // - when a handler raises (a write failed, the disk is full): the session then records
    //   nothing more, tries nothing, and stays open until it is closed.
    TLiveSession(const std::string& fileName, std::uint8_t portNumber, TLatestValues& values,
                 TFramePlot& plot, serial::TErrorHandler onError, TFrameSink* frames = nullptr);
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
    // Ends the waiting for a failed port too.
    void Close();

    [[nodiscard]] const std::string& FileName() const noexcept { return file_.FileName(); }
    // How the link is doing now: until AttachHandler, the bytes kept meanwhile.
    [[nodiscard]] TLinkReport Health();
    // What was opened for the port number.
    [[nodiscard]] const std::filesystem::path& Device() const noexcept { return device_.Device; }
    // Whether the port failed and the session tries it again, the recording going on.
    [[nodiscard]] bool WaitingForPort() const { return reopenTimer_.isActive(); }
    // How many times the recording was synced to the disk.
    [[nodiscard]] std::uint64_t Syncs() const noexcept { return file_.Syncs(); }
    // The recording's companion: its markers, and why it is not written if it is not.
    [[nodiscard]] TCompanionWriter& Companion() noexcept { return companion_; }

private:
    using TClock = TRecordingFile::TClock;

    enum class THandler { None, Plotting, RecordingOnly };

    void Record(std::span<const std::uint8_t> data, DecodeMode mode, TFramePlot* plot,
                TFrameSink* frames);
    void Attach();
    void PortFailed(const std::string& message);
    void Reopen();
    void Tick();

    const std::uint8_t portNumber_;
    TLatestValues& values_;
    TFramePlot& plot_;
    TFrameSink* frames_;
    TRecordingFile file_;
    TLinkHealth health_;
    std::unique_ptr<serial::TComPort> port_; // none while the failed port is waited for
    serial::TDeviceIdentity device_;         // what the port was last opened on
    TCompanionWriter companion_;             // made once the port is open: the session starts then
    serial::TErrorHandler onError_;
    THandler handler_ = THandler::None;
    bool recordingFailed_ = false; // a handler raised: nothing more is recorded
    bool portFailureReported_ = false;
    QTimer ticker_;
    QTimer reopenTimer_; // runs while the failed port is waited for
};

} // namespace telemetry
