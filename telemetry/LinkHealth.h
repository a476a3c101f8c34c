#pragma once

// How a live session's link is doing, from what the session recorded and decoded: the
// state the window shows, the bytes recorded, the whole frames, the bytes passed over while
// looking for a frame start, and the frame rate over the last second. Counted per block,
// never per byte.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>

namespace telemetry {

enum class TLinkState {
    Receiving,      // a block came within the last NoDataAfter
    NoData,         // the port is open, but nothing came for longer than NoDataAfter
    WaitingForPort, // the port failed; the session tries to open it again
};

// The silence after which a port counts as delivering nothing.
inline constexpr std::chrono::seconds NoDataAfter{1};

struct TLinkReport {
    TLinkState State = TLinkState::NoData;
    std::uint64_t BytesRecorded = 0;
    std::uint64_t Frames = 0;       // whole frames decoded
    std::uint64_t SkippedBytes = 0; // bytes that were no part of a frame
    std::uint64_t FrameRate = 0;    // whole frames completed during the last second

    friend bool operator==(const TLinkReport&, const TLinkReport&) = default;
};

class TLinkHealth {
public:
    using TClock = std::chrono::steady_clock;

    // The port was opened at start: silence is counted from there.
    explicit TLinkHealth(TClock::time_point start) : lastHeard_(start) {}

    // A block was recorded and decoded: its size, the frames it completed (what
    // DecodeBlock returns) and the decoder's state after it.
    void Block(std::size_t bytes, std::size_t frames, std::uint8_t decoderState,
               TClock::time_point now);
    void PortLost() noexcept { waiting_ = true; }
    // The port is open again: silence is counted from now.
    void PortBack(TClock::time_point now) noexcept;

    [[nodiscard]] TLinkReport Report(TClock::time_point now);

private:
    struct TArrival {
        TClock::time_point At;
        std::size_t Frames;
    };

    // Drops the arrivals at or before start from the rate's window.
    void ForgetBefore(TClock::time_point start);

    std::uint64_t bytes_ = 0;
    std::uint64_t frames_ = 0;
    std::uint8_t pending_ = 0; // bytes of the frame the decoder is in the middle of
    bool waiting_ = false;
    TClock::time_point lastHeard_;
    std::deque<TArrival> lastSecond_;
};

} // namespace telemetry
