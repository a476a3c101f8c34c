#include "telemetry/FrameTable.h"

#include "store/ChunkPages.h"

#include <bit>
#include <cstddef>
#include <cstring>
#include <exception>
#include <limits>
#include <new>

namespace telemetry {

namespace {

constexpr std::size_t HugePage = std::size_t{2} << 20;
constexpr std::size_t SmallestSlab = std::size_t{64} << 10;
constexpr std::size_t Page = 4096;

// The skipped bytes the rows 0 to count - 1 of a chunk keep in their 4 bits.
std::uint64_t NibbleSum(const std::uint8_t* skipped, std::size_t count) noexcept {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < count / 2; ++i)
        sum += (skipped[i] & 0x0F) + (skipped[i] >> 4);
    if (count % 2 != 0)
        sum += skipped[count / 2] & 0x0F;
    return sum;
}

// Writes the row's 7 bytes and the byte after them, which the next row overwrites. Where the
// fields lie in memory as in a row, the row is a copy of them.
void StoreRow(std::uint8_t* row, const TFrameFields& f) noexcept {
    if constexpr (std::endian::native == std::endian::little && sizeof(TFrameFields) == 8 &&
                  offsetof(TFrameFields, Map) == 2 && offsetof(TFrameFields, CurveNumber) == 3 &&
                  offsetof(TFrameFields, Temperature) == 4 &&
                  offsetof(TFrameFields, OctaneCorrector) == 5 &&
                  offsetof(TFrameFields, AdvanceCode) == 6) {
        std::memcpy(row, &f, sizeof f);
    } else {
        const std::uint8_t bytes[8] = {static_cast<std::uint8_t>(f.Period),
                                       static_cast<std::uint8_t>(f.Period >> 8),
                                       f.Map,
                                       f.CurveNumber,
                                       f.Temperature,
                                       f.OctaneCorrector,
                                       f.AdvanceCode,
                                       0};
        std::memcpy(row, bytes, sizeof bytes);
    }
}

// Room for one more element, in steps that double.
template <typename T> void MakeRoomForOne(std::vector<T>& list) {
    if (list.size() == list.capacity())
        list.reserve(std::max<std::size_t>(16, 2 * list.capacity()));
}

std::uint8_t Nibble(const std::uint8_t* skipped, std::size_t i) noexcept {
    return i % 2 == 0 ? skipped[i / 2] & 0x0F : skipped[i / 2] >> 4;
}

} // namespace

void TFrameTable::Clear() noexcept {
    Release();
    chunks_ = std::vector<TChunkEntry>();
    wideSkips_ = std::vector<TWideSkip>();
    rows_ = 0;
    bytes_ = 0;
    lastEnd_ = 0;
    unfinished_ = {};
}

void TFrameTable::Release() noexcept {
    for (const TSlab& slab : slabs_)
        store::UnmapChunkPages(slab.Mapping, slab.MappedBytes);
    slabs_ = std::vector<TSlab>();
    slab_ = 0;
}

void TFrameTable::MapSlab(std::size_t bytes, bool huge) {
    MakeRoomForOne(slabs_);
    const store::TChunkPages pages = store::MapChunkPages(bytes, huge);
    slabs_.push_back({pages.Mapping, pages.MappedBytes, pages.Start, bytes, 0});
}

// Slabs double from SmallestSlab, so that a short recording takes little, up to a huge page.
void TFrameTable::AddChunk() {
    MakeRoomForOne(chunks_);
    while (slab_ < slabs_.size() && slabs_[slab_].Room() == 0)
        ++slab_;
    if (slab_ == slabs_.size()) {
        const std::size_t bytes =
            slabs_.empty() ? SmallestSlab : std::min(2 * slabs_.back().Bytes, HugePage);
        MapSlab(bytes, bytes == HugePage);
    }
    TSlab& slab = slabs_[slab_];
    auto* chunk = ::new (slab.Start + slab.Chunks * sizeof(TChunk)) TChunk;
    ++slab.Chunks;
    chunks_.push_back({chunk, lastEnd_});
}

void TFrameTable::Reserve(std::int64_t rows) noexcept {
    const std::size_t needed =
        (static_cast<std::size_t>(std::max<std::int64_t>(rows, 0)) + ChunkRows - 1) / ChunkRows;
    std::size_t room = chunks_.size();
    for (std::size_t i = slab_; i < slabs_.size(); ++i)
        room += slabs_[i].Room();
    if (needed <= room || needed > std::numeric_limits<std::size_t>::max() / sizeof(TChunk))
        return;
    // Whole huge pages, and ordinary ones for the rest.
    const std::size_t more = needed - room;
    const std::size_t huge = more * sizeof(TChunk) / HugePage * HugePage;
    const std::size_t rest = more - std::min(more, huge / sizeof(TChunk));
    try {
        if (huge > 0)
            MapSlab(huge, true);
        if (rest > 0)
            MapSlab((rest * sizeof(TChunk) + Page - 1) / Page * Page, false);
        chunks_.reserve(needed);
    } catch (const std::exception&) {
        // What was had stays, and is used first.
    }
}

// A failure leaves the table with the frames before the chunk's run that failed.
void TFrameTable::FramesCompleted(std::span<const TCompletedFrame> frames) {
    while (!frames.empty()) {
        if (static_cast<std::size_t>(rows_) == chunks_.size() * ChunkRows)
            AddChunk();
        TChunk& chunk = *chunks_.back().Chunk;
        const std::size_t first = static_cast<std::size_t>(rows_) % ChunkRows;
        const std::size_t count = std::min(ChunkRows - first, frames.size());
        std::uint64_t lastEnd = lastEnd_;
        try {
            for (std::size_t i = 0; i < count; ++i) {
                const TCompletedFrame& frame = frames[i];
                const std::size_t at = first + i;
                const std::uint64_t end = bytes_ + frame.End;
                const std::uint64_t skipped = end - FrameSize - lastEnd;
                std::uint8_t nibble = static_cast<std::uint8_t>(skipped);
                if (skipped >= WideSkip) {
                    nibble = WideSkip;
                    wideSkips_.push_back({rows_ + static_cast<std::int64_t>(i), skipped});
                }
                StoreRow(chunk.Rows + at * TFrameRun::RowSize, frame.Fields);
                std::uint8_t& pair = chunk.Skipped[at / 2];
                pair = at % 2 == 0 ? nibble : static_cast<std::uint8_t>(pair | nibble << 4);
                lastEnd = end;
            }
        } catch (...) {
            while (!wideSkips_.empty() && wideSkips_.back().Row >= rows_)
                wideSkips_.pop_back();
            throw;
        }
        rows_ += static_cast<std::int64_t>(count);
        lastEnd_ = lastEnd;
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
    const TChunk& chunk = *chunks_[row / ChunkRows].Chunk;
    const TFrameRun run{number, 1, chunk.Rows + row % ChunkRows * TFrameRun::RowSize};
    return TDecodedFrame{run.Fields(0), number};
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
    std::uint64_t end = entry.Start + count * FrameSize + NibbleSum(entry.Chunk->Skipped, count);
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
    const std::uint8_t* skipped = chunks_[c].Chunk->Skipped;
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
    std::size_t bytes =
        chunks_.capacity() * sizeof(TChunkEntry) + wideSkips_.capacity() * sizeof(TWideSkip);
    for (const TSlab& slab : slabs_)
        bytes += slab.Bytes;
    return bytes;
}

} // namespace telemetry
