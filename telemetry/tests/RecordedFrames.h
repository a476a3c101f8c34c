#pragma once

// Frames that tell where they stand: frame k carries k in its last byte, so that a recording
// made of them shows any byte lost, moved or written over.

#include <cstdint>
#include <vector>

namespace telemetry::testing {

// Frames first to first + count - 1.
inline std::vector<std::uint8_t> RecordedFrames(int first, int count) {
    std::vector<std::uint8_t> bytes;
    for (int k = first; k < first + count; ++k)
        bytes.insert(bytes.end(),
                     {0xFF, 0xFF, 0x12, 0x34, 1, 2, 3, 4, static_cast<std::uint8_t>(k)});
    return bytes;
}

} // namespace telemetry::testing
