#pragma once

// The complete frames of one recording, kept once for everything that reads them: the chart's
// readout, the chosen frame and the gauges during playback, CSV export, and the analysis of a
// recording. No Qt: the recording tool and every platform build it.

#include "telemetry/DecodedFrame.h"
#include "telemetry/Telemetry.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace telemetry {

// Rows First to First + Count - 1 of a table, RowSize bytes a row: the period's low byte, its
// high byte, the MAP, curve number, temperature, octane corrector and advance code. Valid until
// the table is appended to or cleared.
struct TFrameRun {
    static constexpr std::size_t RowSize = 7;

    std::int64_t First;
    std::size_t Count;
    const std::uint8_t* Rows;

    [[nodiscard]] std::uint16_t Period(std::size_t i) const noexcept {
        return static_cast<std::uint16_t>(Rows[RowSize * i] | Rows[RowSize * i + 1] << 8);
    }
    [[nodiscard]] std::uint8_t Map(std::size_t i) const noexcept { return Rows[RowSize * i + 2]; }
    [[nodiscard]] std::uint8_t CurveNumber(std::size_t i) const noexcept {
        return Rows[RowSize * i + 3];
    }
    [[nodiscard]] std::uint8_t Temperature(std::size_t i) const noexcept {
        return Rows[RowSize * i + 4];
    }
    [[nodiscard]] std::uint8_t OctaneCorrector(std::size_t i) const noexcept {
        return Rows[RowSize * i + 5];
    }
    [[nodiscard]] std::uint8_t AdvanceCode(std::size_t i) const noexcept {
        return Rows[RowSize * i + 6];
    }
    [[nodiscard]] TFrameFields Fields(std::size_t i) const noexcept {
        return {Period(i),          Map(i),        CurveNumber(i), Temperature(i),
                OctaneCorrector(i), AdvanceCode(i)};
    }
};

// The complete frames of a recording in the order the decoder completes them, exactly the
// frames "telmira-dcc csv" lists, filled as the decoder's frame sink by the walk that replays
// the recording onto the chart or by the live session that records it. Row k is frame k: the
// frame the chart plots at X = k, in a replay and in a live session that plots (whose frame
// counter starts with the table and goes on with it across a reconnect).
//
// A row keeps the frame's fields (7 bytes) and, in 4 bits, how many bytes the decoder passed
// over between the end of the frame before it (or the recording's start) and its start; 15 or
// more are kept exactly beside the rows, one entry for each such frame. Rows come in chunks of
// ChunkRows, each with the recording offset at which its first row's skipped bytes begin, so a
// frame's end in the recording is that offset plus 9 and the skipped bytes of each row of its
// chunk up to it. A frame costs 7.5 bytes, and 16 bytes more for each frame that 15 bytes or
// more precede (a recording with such gaps spends at least 24 bytes of its own on each).
//
// The chunks lie in mappings taken from the system, which double as the table grows up to
// 2 MiB, each then offered as a huge page: a long replay takes a page fault per 2 MiB of frames
// instead of one per 4 KiB. A growing table holds less than its last mapping beyond its
// frames; one told of the frames to come (Reserve) less than a page.
//
// The decoder must start at the recording's first byte, seeking a frame start, when the table
// is empty. Single-threaded, like the decoder.
class TFrameTable final : public TFrameSink {
public:
    static constexpr std::size_t ChunkRows = 4096;

    TFrameTable() = default;
    ~TFrameTable() { Release(); }
    TFrameTable(const TFrameTable&) = delete;
    TFrameTable& operator=(const TFrameTable&) = delete;

    // Forgets every frame and byte: the table of a recording to come.
    void Clear() noexcept;
    // Room for rows frames in all, taken at once: what a replay does that knows how many frames
    // its recording holds at most. Where the system refuses that much at once (a huge file that
    // is no recording), the table grows as it fills instead.
    void Reserve(std::int64_t rows) noexcept;

    void FramesCompleted(std::span<const TCompletedFrame> frames) override;
    void BlockDecoded(std::size_t bytes, const TUnfinishedFrame& unfinished) override;

    [[nodiscard]] std::int64_t Rows() const noexcept { return rows_; }
    // Frame number with its fields; none outside 0 to Rows() - 1.
    [[nodiscard]] std::optional<TDecodedFrame> Frame(std::int64_t number) const noexcept;
    // The frame the decoded bytes end inside of, numbered Rows() when it completes: the fields
    // that have arrived so far.
    [[nodiscard]] const TUnfinishedFrame& Unfinished() const noexcept { return unfinished_; }

    // The recording's bytes decoded into the table: its size once the walk is done.
    [[nodiscard]] std::uint64_t Bytes() const noexcept { return bytes_; }
    // One past the last byte of frame row in the recording; row is 0 to Rows() - 1. Takes the
    // time of a pass over one chunk.
    [[nodiscard]] std::uint64_t EndOffset(std::int64_t row) const noexcept;
    // How many frames end at or before offset: the first of them is row 0, and the frame whose
    // bytes offset lies in or before is row RowsEndingBy(offset).
    [[nodiscard]] std::int64_t RowsEndingBy(std::uint64_t offset) const noexcept;

    // Calls take(const TFrameRun&) for the rows first to end - 1 (clamped to the table), in
    // order, a chunk or less at a time.
    template <typename Take>
    void ForEachRun(std::int64_t first, std::int64_t end, Take&& take) const;

    // What the table holds in memory: its chunks' mappings, chunk list and exact skips.
    [[nodiscard]] std::size_t StorageBytes() const noexcept;

private:
    // Skips of this many bytes or more are kept exactly, beside the rows.
    static constexpr std::uint8_t WideSkip = 15;

    struct TChunk {
        // One byte more, which the last row's 8-byte store covers.
        std::uint8_t Rows[ChunkRows * TFrameRun::RowSize + 1];
        std::uint8_t Skipped[ChunkRows / 2]; // two rows a byte, the even row in the low half
    };
    struct TChunkEntry {
        TChunk* Chunk;
        std::uint64_t Start; // the end of the frame before its first row, or 0
    };
    struct TWideSkip {
        std::int64_t Row;
        std::uint64_t Bytes;
    };
    // A mapping chunks are taken from, in order.
    struct TSlab {
        void* Mapping;
        std::size_t MappedBytes;
        std::byte* Start;
        std::size_t Bytes;  // what chunks may take of it, and all of it that is touched
        std::size_t Chunks; // taken so far
        [[nodiscard]] std::size_t Room() const noexcept { return Bytes / sizeof(TChunk) - Chunks; }
    };

    // The first exact skip at or after row.
    [[nodiscard]] std::vector<TWideSkip>::const_iterator WideSkipFrom(std::int64_t row) const;
    void AddChunk();
    void MapSlab(std::size_t bytes, bool huge);
    void Release() noexcept;

    std::vector<TSlab> slabs_;
    std::size_t slab_ = 0; // the first slab with room
    std::vector<TChunkEntry> chunks_;
    std::vector<TWideSkip> wideSkips_; // in row order
    std::int64_t rows_ = 0;
    std::uint64_t bytes_ = 0;   // bytes of the blocks decoded so far
    std::uint64_t lastEnd_ = 0; // one past the last row's last byte, or 0
    TUnfinishedFrame unfinished_{};
};

template <typename Take>
void TFrameTable::ForEachRun(std::int64_t first, std::int64_t end, Take&& take) const {
    first = std::max<std::int64_t>(first, 0);
    end = std::min(end, rows_);
    while (first < end) {
        const auto row = static_cast<std::size_t>(first);
        const std::size_t at = row % ChunkRows;
        const std::size_t count = std::min(ChunkRows - at, static_cast<std::size_t>(end - first));
        const TChunk& chunk = *chunks_[row / ChunkRows].Chunk;
        take(TFrameRun{first, count, chunk.Rows + at * TFrameRun::RowSize});
        first += static_cast<std::int64_t>(count);
    }
}

} // namespace telemetry
