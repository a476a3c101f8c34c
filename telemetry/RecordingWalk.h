#pragma once

// The viewer's walk over a view whose pages may stop reading: what every platform shares
// (RecordingView.cpp) and what each gives (RecordingViewPosix.cpp, RecordingViewWin32.cpp).

#include "telemetry/NativeFile.h"
#include "telemetry/Telemetry.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace telemetry::walk {

// The smallest page size: a block never straddles two pages, so a block whose read faults
// lies wholly beyond the file's end.
inline constexpr std::size_t BlockSize = 4096;
// The bytes walked under one guard before the replay tells its progress: a few milliseconds'
// work, whole blocks.
inline constexpr std::size_t StretchSize = 64 * BlockSize;

// Where a walk stands. It lives outside the frames a fault returns through, and each change
// is fenced before the next read of the view, so that after the fault it reads as the walk
// left it.
struct TWalkProgress {
    std::size_t at = 0;     // the block in hand starts here; every byte before it is decoded
    std::size_t until = 0;  // the walk stops here, at the end of a block or of the view
    std::size_t copied = 0; // bytes of the block in hand copied out of the view
    std::uint8_t block[BlockSize];
};

// Copies the view block by block and decodes each block once the file is known to hold all of
// it: a page cut short reads as zeros past the file's new end instead of faulting. A block is
// whole when the first byte of the next page still reads, for then the file ends beyond that
// byte; for the blocks of the last page only the file's size tells, asked once. Returns false
// when the walk found the file cut short; walk then holds the block in hand. The decoder and
// the plot it calls never read the view, so a fault never lies in their frames, and this frame
// holds nothing that needs destroying, so a fault may leave it without clean-up. Walks from
// at to until.
bool WalkBlocks(std::span<const std::uint8_t> view, TNativeFile file, TWalkProgress& walk,
                std::uint8_t& state, TLatestValues& values, TFramePlot& plot, TFrameSink* frames);

// Each platform's: WalkBlocks under a guard that turns a fault on a page of the view into a
// return of false.
bool WalkUntilCut(std::span<const std::uint8_t> view, TNativeFile file, TWalkProgress& walk,
                  std::uint8_t& state, TLatestValues& values, TFramePlot& plot, TFrameSink* frames);
// The file's size now; 0 when it cannot be had.
std::size_t CurrentFileSize(TNativeFile file);
std::size_t PageSize();

} // namespace telemetry::walk
