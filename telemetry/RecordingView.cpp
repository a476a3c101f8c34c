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
    while (walk.at < view.size()) {
        walk.copied = 0;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        const std::size_t n = std::min(BlockSize, view.size() - walk.at);
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

void TRecordingView::Replay(std::uint8_t& state, TLatestValues& values, TFramePlot& plot,
                            TFrameSink* frames) const {
    walk::TWalkProgress walk;
    if (walk::WalkUntilCut(Bytes(), file_, walk, state, values, plot, frames))
        return;
    // What of the block in hand the file still holds.
    const std::size_t held = walk::CurrentFileSize(file_);
    if (held > walk.at)
        DecodeBlock({walk.block, std::min(walk.copied, held - walk.at)}, DecodeMode::Replay, state,
                    values, &plot, frames);
    throw std::runtime_error(RecordingViewError);
}

} // namespace telemetry
