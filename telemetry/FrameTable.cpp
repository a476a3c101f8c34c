#include "telemetry/FrameTable.h"

#include <bit>
#include <cstring>

namespace telemetry {

namespace {

// The skipped bytes the rows 0 to count - 1 of a chunk keep in their 4 bits.
std::uint64_t NibbleSum(const std::uint8_t* skipped, std::size_t count) noexcept {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < count / 2; ++i)
        sum += (skipped[i] & 0x0F) + (skipped[i] >> 4);
    if (count % 2 != 0)
        sum += skipped[count / 2] & 0x0F;
    return sum;
}

// Writes the row's 7 bytes and the byte after them, which the next row overwrites.
void StoreRow(std::uint8_t* row, const TFrameFields& f) noexcept {
    const std::uint64_t packed =
        f.Period | std::uint64_t{f.Map} << 16 | std::uint64_t{f.CurveNumber} << 24 |
        std::uint64_t{f.Temperature} << 32 | std::uint64_t{f.OctaneCorrector} << 40 |
        std::uint64_t{f.AdvanceCode} << 48;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(row, &packed, sizeof packed);
    } else {
        for (std::size_t i = 0; i < sizeof packed; ++i)
            row[i] = static_cast<std::uint8_t>(packed >> (8 * i));
    }
}

std::uint8_t Nibble(const std::uint8_t* skipped, std::size_t i) noexcept {
    return i % 2 == 0 ? skipped[i / 2] & 0x0F : skipped[i / 2] >> 4;
}

} // namespace

void TFrameTable::Clear() noexcept {
    chunks_ = std::vector<TChunkEntry>();
    wideSkips_ = std::vector<TWideSkip>();
    rows_ = 0;
    bytes_ = 0;
    lastEnd_ = 0;
    unfinished_ = {};
}

void TFrameTable::FramesCompleted(std::span<const TCompletedFrame> frames) {
    while (!frames.empty()) {
        if (static_cast<std::size_t>(rows_) == chunks_.size() * ChunkRows)
            chunks_.push_back({std::make_unique_for_overwrite<TChunk>(), lastEnd_});
        TChunk& chunk = *chunks_.back().Columns;
        const std::size_t first = static_cast<std::size_t>(rows_) % ChunkRows;
        const std::size_t count = std::min(ChunkRows - first, frames.size());
        for (std::size_t i = 0; i < count; ++i) {
            const TCompletedFrame& frame = frames[i];
            const std::size_t at = first + i;
            const std::uint64_t end = bytes_ + frame.End;
            const std::uint64_t skipped = end - FrameSize - lastEnd_;
            const std::uint8_t nibble =
                skipped < WideSkip ? static_cast<std::uint8_t>(skipped) : WideSkip;
            if (nibble == WideSkip)
                wideSkips_.push_back({rows_, skipped});
            StoreRow(chunk.Rows + at * TFrameRun::RowSize, frame.Fields);
            std::uint8_t& pair = chunk.Skipped[at / 2];
            pair = at % 2 == 0 ? nibble : static_cast<std::uint8_t>(pair | nibble << 4);
            lastEnd_ = end;
            ++rows_;
        }
        frames = frames.subspan(count);
    }
}

void TFrameTable::BlockDecoded(std::size_t bytes, const TUnfinishedFrame& unfinished) {
    bytes_ += bytes;
    unfinished_ = unfinished;
}

std::optional<TDecodedFrame> TFrameTable::Frame(std::int64_t number) const noexcept {
    if (number < 0 || number >= rows_)
        return std::nullopt;
    const auto row = static_cast<std::size_t>(number);
    const TChunk& chunk = *chunks_[row / ChunkRows].Columns;
    const TFrameRun run{number, 1, chunk.Rows + row % ChunkRows * TFrameRun::RowSize};
    return TDecodedFrame{number,
                         run.Period(0),
                         run.Map(0),
                         run.CurveNumber(0),
                         run.Temperature(0),
                         run.OctaneCorrector(0),
                         run.AdvanceCode(0)};
}

std::vector<TFrameTable::TWideSkip>::const_iterator
TFrameTable::WideSkipFrom(std::int64_t row) const {
    return std::lower_bound(wideSkips_.begin(), wideSkips_.end(), row,
                            [](const TWideSkip& skip, std::int64_t r) { return skip.Row < r; });
}

std::uint64_t TFrameTable::EndOffset(std::int64_t row) const noexcept {
    const auto r = static_cast<std::size_t>(row);
    const TChunkEntry& entry = chunks_[r / ChunkRows];
    const std::size_t count = r % ChunkRows + 1;
    std::uint64_t end = entry.Start + count * FrameSize + NibbleSum(entry.Columns->Skipped, count);
    // An exact skip is counted as WideSkip among the rows' bits.
    for (auto skip = WideSkipFrom(row - static_cast<std::int64_t>(count) + 1);
         skip != wideSkips_.end() && skip->Row <= row; ++skip)
        end += skip->Bytes - WideSkip;
    return end;
}

std::int64_t TFrameTable::RowsEndingBy(std::uint64_t offset) const noexcept {
    // A chunk's rows all end after its start, and every row before it ends at or before it:
    // the rows that end by offset are those of the chunks before the last that starts below
    // offset, and some of that chunk's.
    const auto after = std::partition_point(chunks_.begin(), chunks_.end(),
                                            [&](const TChunkEntry& c) { return c.Start < offset; });
    if (after == chunks_.begin())
        return 0;
    const auto c = static_cast<std::size_t>(after - chunks_.begin()) - 1;
    const auto first = static_cast<std::int64_t>(c * ChunkRows);
    const std::size_t count = static_cast<std::size_t>(rows_ - first) < ChunkRows
                                  ? static_cast<std::size_t>(rows_ - first)
                                  : ChunkRows;
    const std::uint8_t* skipped = chunks_[c].Columns->Skipped;
    auto wide = WideSkipFrom(first);
    std::uint64_t end = chunks_[c].Start;
    std::size_t i = 0;
    for (; i < count; ++i) {
        const std::uint8_t nibble = Nibble(skipped, i);
        end += FrameSize + (nibble == WideSkip ? (wide++)->Bytes : nibble);
        if (end > offset)
            break;
    }
    return first + static_cast<std::int64_t>(i);
}

std::size_t TFrameTable::StorageBytes() const noexcept {
    return chunks_.size() * sizeof(TChunk) + chunks_.capacity() * sizeof(TChunkEntry) +
           wideSkips_.capacity() * sizeof(TWideSkip);
}

} // namespace telemetry
