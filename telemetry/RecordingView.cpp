#include "telemetry/RecordingView.h"
#include "telemetry/RecordingWalk.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>

namespace telemetry {

namespace walk {

bool WalkBlocks(std::span<const std::uint8_t> view, TNativeFile file, TWalkProgress& walk,
                std::uint8_t& state, TLatestValues& values, TFramePlot& plot, TFrameSink* frames) {
    const std::size_t page = PageSize();
    while (walk.at < walk.until) {
        walk.copied = 0;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        const std::size_t n = std::min(BlockSize, walk.until - walk.at);
        std::memcpy(walk.block, view.data() + walk.at, n);
        walk.copied = n;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        const std::size_t nextPage = (walk.at + n + page - 1) / page * page;
        if (nextPage < view.size())
            static_cast<void>(*static_cast<const volatile std::uint8_t*>(view.data() + nextPage));
        else if (CurrentFileSize(file) < walk.at + n)
            return false;
        DecodeBlock({walk.block, n}, DecodeMode::Replay, state, values, &plot, frames);
        walk.at += n;
        std::atomic_signal_fence(std::memory_order_seq_cst);
    }
    return true;
}

} // namespace walk

std::uint64_t TRecordingView::Replay(std::uint8_t& state, TLatestValues& values, TFramePlot& plot,
                                     TReplayProgress* progress, TFrameSink* frames) const {
    walk::TWalkProgress walk;
    while (walk.at < size_) {
        // A guard for each stretch: what progress does between them runs outside any.
        walk.until = std::min(size_, walk.at + walk::StretchSize);
        if (!walk::WalkUntilCut(Bytes(), file_, walk, state, values, plot, frames)) {
            // What of the block in hand the file still holds.
            const std::size_t held = walk::CurrentFileSize(file_);
            std::size_t decoded = walk.at;
            if (held > walk.at) {
                const std::size_t n = std::min(walk.copied, held - walk.at);
                DecodeBlock({walk.block, n}, DecodeMode::Replay, state, values, &plot, frames);
                decoded += n;
            }
            throw ERecordingCut(decoded);
        }
        if (progress && !progress->Walked(walk.at, size_))
            break;
    }
    return walk.at;
}

} // namespace telemetry
