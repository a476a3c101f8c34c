#include "telemetry/ArrivalCheckpoints.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace telemetry {

namespace {

constexpr double MicrosPerByte = 1e6 / LineBytesPerSecond;

} // namespace

void TArrivalCheckpoints::Block(std::uint64_t end, std::uint64_t size, std::int64_t micros,
                                std::vector<TCheckpoint>& out) {
    if (size == 0 || size > end)
        return;
    const std::uint64_t start = end - size;
    // Before the first block, the session's start is the read before.
    const std::int64_t previous = previousRead_;
    micros = std::max(micros, previous);
    previousRead_ = micros;
    const std::int64_t firstByte =
        micros - static_cast<std::int64_t>(std::llround(static_cast<double>(size) * MicrosPerByte));
    if (!started_) {
        started_ = true;
        Emit({start, std::max(previous, firstByte)}, out);
    } else if (firstByte > previous + EarlyTolerance) {
        // The stream stopped: its bytes go on from a new line at the same offset.
        Flush(out);
        Emit({start, firstByte}, out);
    }
    if (firstByte > previous && size > 1) {
        // A small stop, or a late read: the line passes the first byte's time too.
        AddVertex({start + 1, micros - static_cast<std::int64_t>(std::llround(
                                           static_cast<double>(size - 1) * MicrosPerByte))},
                  out);
    } else if (firstByte < previous) {
        // At the line rate the first bytes would have come before the previous read: they
        // came at once then, and the rest at the line rate.
        const auto atLineRate =
            static_cast<std::uint64_t>(static_cast<double>(micros - previous) / MicrosPerByte);
        if (end - atLineRate > start)
            AddVertex({end - atLineRate, previous}, out);
    }
    AddVertex({end, micros}, out);
}

// The last vertex, on the line from the anchor that passes every vertex since within the
// tolerances: where the vertex itself is off that line (a late read), a little before it.
void TArrivalCheckpoints::Flush(std::vector<TCheckpoint>& out) {
    if (!started_ || last_ == anchor_)
        return;
    const auto bytes = static_cast<double>(last_.Offset - anchor_.Offset);
    const double slope =
        std::clamp(static_cast<double>(last_.Micros - anchor_.Micros) / bytes, low_, high_);
    Emit({last_.Offset, anchor_.Micros + std::llround(slope * bytes)}, out);
}

void TArrivalCheckpoints::Emit(TCheckpoint checkpoint, std::vector<TCheckpoint>& out) {
    out.push_back(checkpoint);
    anchor_ = checkpoint;
    last_ = checkpoint;
    low_ = -std::numeric_limits<double>::infinity();
    high_ = std::numeric_limits<double>::infinity();
}

void TArrivalCheckpoints::AddVertex(TCheckpoint vertex, std::vector<TCheckpoint>& out) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto bytes = static_cast<double>(vertex.Offset - anchor_.Offset);
        const auto rise = static_cast<double>(vertex.Micros - anchor_.Micros);
        // Never a line back in time: the anchor may lie a little after a late read's bytes.
        const double low = std::max({low_, (rise - EarlyTolerance) / bytes, 0.0});
        const double high = std::min(high_, (rise + LateTolerance) / bytes);
        const bool fits = vertex.Micros - anchor_.Micros <= MaxCheckpointSpan && low <= high;
        // A vertex right after a checkpoint always makes a line of its own.
        if (fits || last_ == anchor_) {
            low_ = low;
            high_ = high;
            last_ = vertex;
            return;
        }
        Flush(out);
    }
}

} // namespace telemetry
