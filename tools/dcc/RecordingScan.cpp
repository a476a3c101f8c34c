#include "tools/dcc/RecordingScan.h"

#include <cstring>

void TRecordingScan::Feed(std::span<const std::uint8_t> bytes) {
    bytes_ += bytes.size();
    const std::uint8_t* p = bytes.data();
    const std::uint8_t* const end = p + bytes.size();
    while (p != end) {
        if (state_ == 0 && *p != telemetry::SyncByte) {
            // Long stretches without a sync byte (a damaged or sparse file) are passed over
            // at memchr speed; the decoder would only stay in state 0 for each of them.
            const void* sync = std::memchr(p, telemetry::SyncByte, end - p);
            p = sync ? static_cast<const std::uint8_t*>(sync) : end;
            continue;
        }
        const std::uint8_t b = *p++;
        const std::uint8_t before = state_;
        // The decoder's frame counter is 32-bit and a recording may hold more frames, so
        // frames are numbered here; the points the replay would plot are not needed.
        telemetry::DecodeByte(b, telemetry::DecodeMode::Replay, state_, values_, nullptr);
        if (before == 8) {
            frameEnd_ = bytes_ - static_cast<std::uint64_t>(end - p);
            onFrame_({frames_, values_.Period, values_.Map, values_.CurveNumber,
                      values_.Temperature, values_.OctaneCorrector, values_.AdvanceCode});
            ++frames_;
        }
    }
}
