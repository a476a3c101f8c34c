#pragma once

// How a live session's link is doing, from what the session recorded: the state the window
// shows, the recording's figures (RecordingFigures.h: what a replay of the file counts), and
// the frame rate over the last second.

#include "telemetry/RecordingFigures.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>

namespace telemetry {

enum class TLinkState {
    Receiving,      // a block came within the last NoDataAfter
    NoData,         // the port is open, but nothing came for longer than NoDataAfter
    WaitingForPort, // the port failed; the session tries to open it again
    AwaitingMode,   // the session keeps what comes until it is told whether to plot it
    Stopped,        // a write failed: nothing more is recorded
};

// The silence after which a port counts as delivering nothing.
inline constexpr std::chrono::seconds NoDataAfter{1};

struct TLinkReport {
    TLinkState State = TLinkState::NoData;
    std::uint64_t BytesRecorded = 0;
    std::uint64_t Frames = 0;       // whole frames decoded
    std::uint64_t SkippedBytes = 0; // bytes that were no part of a frame
    std::uint64_t FrameRate = 0;    // whole frames completed during the last second
    std::uint64_t BytesKept = 0;    // received while awaiting the mode, not yet recorded

    friend bool operator==(const TLinkReport&, const TLinkReport&) = default;
};

class TLinkHealth {
public:
    using TClock = std::chrono::steady_clock;

    // The port was opened at start: silence is counted from there.
    explicit TLinkHealth(TClock::time_point start) : lastHeard_(start) {}

    // Bytes reached the recording: a received block, or what of it was written before a
    // write failed.
    void Block(std::span<const std::uint8_t> recorded, TClock::time_point now);
    void PortLost() noexcept { waiting_ = true; }
    // A write failed: the recording ends, whatever the port does.
    void RecordingStopped() noexcept { stopped_ = true; }
    // The port is open again: silence is counted from now.
    void PortBack(TClock::time_point now) noexcept;

    [[nodiscard]] TLinkReport Report(TClock::time_point now);
    // What the recording holds so far.
    [[nodiscard]] TRecordingFigures Figures() const noexcept { return recording_.Figures(); }

private:
    struct TArrival {
        TClock::time_point At;
        std::size_t Frames;
    };

    // Drops the arrivals at or before start from the rate's window.
    void ForgetBefore(TClock::time_point start);

    TFigureCount recording_;
    bool waiting_ = false;
    bool stopped_ = false;
    TClock::time_point lastHeard_;
    std::deque<TArrival> lastSecond_;
};

} // namespace telemetry
