#pragma once

// Which checkpoints a session writes: as few as keep every byte's arrival time, read back by
// straight lines between checkpoints, close to when its block came, and at least one every
// MaxCheckpointSpan while bytes come.
//
// What a block tells: its last byte arrived by the time it was read. The bytes before it came
// no faster than the line rate and not before the previous block's read, so the block's bytes
// are taken to have come at the line rate up to its read, or, where that would put them
// before the previous read, at that read. A block after a stop in the stream (a pause, a port
// away) thus starts a new line at the same offset, and a stretch of bytes that came faster
// than the line (a pseudo-terminal's) gets a bend where the previous read was.
//
// A read comes late when the reader thread wakes late, never early: a byte's time may be up to
// EarlyTolerance before its read says and LateTolerance after it, so that reads late now and
// then on a busy machine cost no checkpoints, while a time is never much later than its read.

#include "telemetry/CompanionFormat.h"

#include <cstdint>
#include <vector>

namespace telemetry {

inline constexpr std::int64_t EarlyTolerance = 15'000;       // microseconds
inline constexpr std::int64_t LateTolerance = 5'000;         // microseconds
inline constexpr std::int64_t MaxCheckpointSpan = 1'000'000; // microseconds

class TArrivalCheckpoints {
public:
    // A block of size bytes that ends at offset end was read at micros. Blocks come in order,
    // back to back; a time before the previous block's is taken as that time. Appends the
    // checkpoints that became due to out, in order.
    void Block(std::uint64_t end, std::uint64_t size, std::int64_t micros,
               std::vector<TCheckpoint>& out);
    // Makes the last block's end a checkpoint, unless it is one already.
    void Flush(std::vector<TCheckpoint>& out);

private:
    // A point the line through the checkpoints must pass within the tolerances.
    void AddVertex(TCheckpoint vertex, std::vector<TCheckpoint>& out);
    void Emit(TCheckpoint checkpoint, std::vector<TCheckpoint>& out);

    bool started_ = false;
    std::int64_t previousRead_ = 0;
    TCheckpoint anchor_; // the last checkpoint
    TCheckpoint last_;   // the last vertex, the anchor when there is none since
    // The slopes, in microseconds a byte, of the lines from the anchor that pass every vertex
    // since it within the tolerances.
    double low_ = 0;
    double high_ = 0;
};

} // namespace telemetry
