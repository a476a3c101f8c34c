#pragma once

// What a replay tells whoever waits for it as it walks a recording, and how that one stops it.

#include <cstdint>

namespace telemetry {

class TReplayProgress {
public:
    // done of total bytes are decoded. Called after each stretch of the walk, between reads
    // of the file, so that the caller may do other work (run the window's events) meanwhile.
    // False stops the walk there: the bytes before done stay decoded, none after.
    virtual bool Walked(std::uint64_t done, std::uint64_t total) = 0;

protected:
    ~TReplayProgress() = default;
};

} // namespace telemetry
