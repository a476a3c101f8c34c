#include "telemetry/FrameTable.h"
#include "tools/sim/Simulator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

namespace telemetry {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct TFrameAt {
    TFrameFields Fields;
    std::uint64_t End;
    bool operator==(const TFrameAt&) const = default;
};

// The frames of a stream as the byte-at-a-time decoder completes them, each with the offset
// after the byte that completed it: read off the latest values whenever the counter moves.
std::vector<TFrameAt> FramesByteByByte(const Bytes& stream) {
    std::vector<TFrameAt> frames;
    TLatestValues values;
    std::uint8_t state = 0;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        const std::int32_t before = values.FrameCounter;
        DecodeByte(stream[i], DecodeMode::Replay, state, values, nullptr);
        if (values.FrameCounter != before)
            frames.push_back({{values.Period, values.Map, values.CurveNumber, values.Temperature,
                               values.OctaneCorrector, values.AdvanceCode},
                              i + 1});
    }
    return frames;
}

void FillInBlocks(TFrameTable& table, const Bytes& stream, std::size_t blockSize) {
    std::uint8_t state = 0;
    TLatestValues values;
    for (std::size_t at = 0; at < stream.size(); at += blockSize) {
        const std::size_t n = std::min(blockSize, stream.size() - at);
        DecodeBlock({stream.data() + at, n}, DecodeMode::Replay, state, values, nullptr, &table);
    }
}

std::vector<TFrameAt> Rows(const TFrameTable& table) {
    std::vector<TFrameAt> rows;
    for (std::int64_t k = 0; k < table.Rows(); ++k) {
        const auto f = table.Frame(k);
        rows.push_back({{f->Period, f->Map, f->CurveNumber, f->Temperature, f->OctaneCorrector,
                         f->AdvanceCode},
                        table.EndOffset(k)});
    }
    return rows;
}

Bytes Garbage(std::size_t n) {
    return Bytes(n, 0x5A);
}

// A noisy stream over several chunks, with gaps around the 4 bits' limit and far beyond it.
Bytes NoisyStream() {
    Bytes stream = sim::GenerateRecording(17, 3 * TFrameTable::ChunkRows, true);
    for (const auto& [at, gap] : std::vector<std::pair<std::size_t, std::size_t>>{
             {9 * 100, 14}, {9 * 200, 15}, {9 * 300, 16}, {9 * 5000, 300}, {9 * 9000, 70000}}) {
        // Where a frame of the clean part starts, near the offset given.
        std::size_t start = at;
        while (!(stream[start] == 0xFF && stream[start + 1] == 0xFF && stream[start + 2] != 0xFF))
            ++start;
        const Bytes gapBytes = Garbage(gap);
        stream.insert(stream.begin() + static_cast<std::ptrdiff_t>(start), gapBytes.begin(),
                      gapBytes.end());
    }
    return stream;
}

TEST(FrameTable, RowsAreTheFramesTheDecoderCompletesWhereverBlocksEnd) {
    const Bytes stream = NoisyStream();
    const std::vector<TFrameAt> expected = FramesByteByByte(stream);
    ASSERT_GT(expected.size(), 3 * TFrameTable::ChunkRows - 100);
    for (const std::size_t blockSize :
         {stream.size(), std::size_t{1}, std::size_t{9}, std::size_t{13}, std::size_t{4096}}) {
        SCOPED_TRACE(blockSize);
        TFrameTable table;
        FillInBlocks(table, stream, blockSize);
        EXPECT_EQ(Rows(table), expected);
        EXPECT_EQ(table.Bytes(), stream.size());
        EXPECT_EQ(table.Frame(-1), std::nullopt);
        EXPECT_EQ(table.Frame(table.Rows()), std::nullopt);
    }
}

TEST(FrameTable, RowsEndingByAnOffsetIsTheInverseOfTheEnds) {
    const Bytes stream = NoisyStream();
    TFrameTable table;
    FillInBlocks(table, stream, stream.size());
    EXPECT_EQ(table.RowsEndingBy(0), 0);
    EXPECT_EQ(table.RowsEndingBy(table.EndOffset(0) - 1), 0);
    for (std::int64_t k = 0; k < table.Rows(); ++k) {
        const std::uint64_t end = table.EndOffset(k);
        ASSERT_EQ(table.RowsEndingBy(end), k + 1) << "frame " << k << " ends there";
        ASSERT_EQ(table.RowsEndingBy(end - 1), k) << "frame " << k << "'s last byte";
    }
    EXPECT_EQ(table.RowsEndingBy(stream.size() + 1'000'000), table.Rows());
    EXPECT_EQ(TFrameTable().RowsEndingBy(100), 0);
}

// The table as the decoder drives it, with blocks and gaps no test stream could hold.
TEST(FrameTable, SkipsOfAnySizeAreKeptExactly) {
    const std::uint64_t gaps[] = {0,  14, 15, 16, 255, 256, std::uint64_t{1} << 32,       3,
                                  15, 15, 0,  40, 7,   0,   (std::uint64_t{5} << 32) + 11};
    TFrameTable table;
    std::vector<std::uint64_t> ends;
    std::uint64_t blockStart = 0, at = 0;
    for (int round = 0; round < 700; ++round) { // over several chunks
        std::vector<TCompletedFrame> frames;
        for (const std::uint64_t gap : gaps) {
            at += gap + FrameSize;
            ends.push_back(at);
            frames.push_back({{static_cast<std::uint16_t>(at), 1, 2, 3, 4, 5},
                              static_cast<std::size_t>(at - blockStart)});
        }
        table.FramesCompleted(frames);
        table.BlockDecoded(static_cast<std::size_t>(at + 2 - blockStart),
                           {{0x1234, 7, 0, 0, 0, 0}, 2});
        at += 2; // the block ends two bytes into the next frame
        blockStart = at;
    }
    ASSERT_EQ(table.Rows(), static_cast<std::int64_t>(ends.size()));
    for (std::size_t k = 0; k < ends.size(); ++k) {
        ASSERT_EQ(table.EndOffset(static_cast<std::int64_t>(k)), ends[k]) << "frame " << k;
        ASSERT_EQ(table.RowsEndingBy(ends[k]), static_cast<std::int64_t>(k + 1));
    }
    EXPECT_EQ(table.Bytes(), at);
}

TEST(FrameTable, UnfinishedFrameHoldsTheFieldsThatHaveArrived) {
    const TFrameTable empty;
    EXPECT_EQ(empty.Unfinished().Arrived, 0) << "before any block";
    EXPECT_EQ(empty.Unfinished().Fields, (TFrameFields{0, 0, 0, 0, 0, 0}));
    const Bytes frame = {0xFF, 0xFF, 0x12, 0x34, 1, 2, 3, 4, 5};
    const TFrameFields all = {0x1234, 1, 2, 3, 4, 5};
    for (std::size_t cut = 0; cut < FrameSize; ++cut) {
        SCOPED_TRACE(cut);
        Bytes stream = frame;
        stream.insert(stream.end(), frame.begin(), frame.begin() + static_cast<long>(cut));
        TFrameTable table;
        FillInBlocks(table, stream, stream.size());
        ASSERT_EQ(table.Rows(), 1);
        const TUnfinishedFrame& unfinished = table.Unfinished();
        const std::uint8_t arrived = cut > 3 ? static_cast<std::uint8_t>(cut - 3) : 0;
        EXPECT_EQ(unfinished.Arrived, arrived);
        const TFrameFields expected = {arrived > 0 ? all.Period : std::uint16_t{0},
                                       arrived > 1 ? all.Map : std::uint8_t{0},
                                       arrived > 2 ? all.CurveNumber : std::uint8_t{0},
                                       arrived > 3 ? all.Temperature : std::uint8_t{0},
                                       arrived > 4 ? all.OctaneCorrector : std::uint8_t{0},
                                       0};
        EXPECT_EQ(unfinished.Fields, expected);
    }
}

TEST(FrameTable, RunsCoverTheAskedRowsInOrderWithinChunks) {
    const Bytes stream = sim::GenerateRecording(3, 3 * TFrameTable::ChunkRows + 10, false);
    TFrameTable table;
    FillInBlocks(table, stream, stream.size());
    const std::int64_t rows = table.Rows();
    const std::int64_t chunk = TFrameTable::ChunkRows;
    const struct {
        std::int64_t first, end, expectedFirst, expectedEnd;
    } cases[] = {{0, rows, 0, rows}, {chunk - 1, chunk + 1, chunk - 1, chunk + 1},
                 {-5, 3, 0, 3},      {rows - 2, rows + 10, rows - 2, rows},
                 {10, 10, 10, 10},   {20, 10, 20, 20}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        std::int64_t next = c.expectedFirst;
        table.ForEachRun(c.first, c.end, [&](const TFrameRun& run) {
            ASSERT_EQ(run.First, next);
            ASSERT_GT(run.Count, 0u);
            ASSERT_EQ(run.First / chunk,
                      (run.First + static_cast<std::int64_t>(run.Count) - 1) / chunk);
            for (std::size_t i = 0; i < run.Count; ++i) {
                const auto f = *table.Frame(run.First + static_cast<std::int64_t>(i));
                ASSERT_EQ(run.Fields(i),
                          (TFrameFields{f.Period, f.Map, f.CurveNumber, f.Temperature,
                                        f.OctaneCorrector, f.AdvanceCode}));
            }
            next += static_cast<std::int64_t>(run.Count);
        });
        EXPECT_EQ(next, c.expectedEnd);
    }
}

// Frames as the decoder would hand them over for a clean stream, in blocks of 4 KiB.
void FillWithFrames(TFrameTable& table, std::int64_t frames) {
    std::vector<TCompletedFrame> block;
    for (std::int64_t k = 0; k < frames; ++k) {
        block.push_back({{static_cast<std::uint16_t>(k), static_cast<std::uint8_t>(k >> 16), 2, 3,
                          4, static_cast<std::uint8_t>(k)},
                         (block.size() + 1) * FrameSize});
        if (block.size() == 455 || k + 1 == frames) {
            table.FramesCompleted(block);
            table.BlockDecoded(block.size() * FrameSize, {});
            block.clear();
        }
    }
}

TEST(FrameTable, ReservedTableHoldsTheSameFramesInLittleMoreThanTheirBytes) {
    // Past a huge page of chunks: the reserved frames lie in a huge mapping and an ordinary one.
    const std::int64_t frames = 100 * TFrameTable::ChunkRows + 7;
    TFrameTable grown, reserved;
    reserved.Reserve(frames);
    const std::size_t heldBefore = reserved.StorageBytes();
    FillWithFrames(grown, frames);
    FillWithFrames(reserved, frames);
    EXPECT_EQ(reserved.StorageBytes(), heldBefore) << "took nothing beyond what it reserved";
    EXPECT_LT(reserved.StorageBytes(), static_cast<std::size_t>(frames * 15 / 2) + 64 * 1024);
    ASSERT_EQ(reserved.Rows(), frames);
    for (std::int64_t k = 0; k < frames; k += 997) {
        ASSERT_EQ(reserved.Frame(k), grown.Frame(k)) << "frame " << k;
        ASSERT_EQ(reserved.EndOffset(k), static_cast<std::uint64_t>(k + 1) * FrameSize);
    }
    EXPECT_EQ(reserved.Frame(frames - 1), grown.Frame(frames - 1));
    reserved.Reserve(frames / 2);
    EXPECT_EQ(reserved.StorageBytes(), heldBefore) << "room it has is not taken again";
}

TEST(FrameTable, RoomThatCannotBeHadLeavesTheTableToGrow) {
    for (const std::int64_t rows :
         {std::int64_t{1} << 50, std::numeric_limits<std::int64_t>::max()}) {
        TFrameTable table;
        table.Reserve(rows);
        FillWithFrames(table, 10000);
        EXPECT_EQ(table.Rows(), 10000);
        EXPECT_EQ(table.EndOffset(9999), 10000u * FrameSize);
    }
}

TEST(FrameTable, ClearedTableFillsAsANewOne) {
    const Bytes first = sim::GenerateRecording(5, 5000, true);
    const Bytes second = sim::GenerateRecording(6, 300, true);
    TFrameTable reused;
    FillInBlocks(reused, first, 4096);
    reused.Clear();
    EXPECT_EQ(reused.Rows(), 0);
    EXPECT_EQ(reused.Bytes(), 0u);
    EXPECT_EQ(reused.StorageBytes(), 0u);
    FillInBlocks(reused, second, 4096);
    TFrameTable fresh;
    FillInBlocks(fresh, second, 4096);
    EXPECT_EQ(Rows(reused), Rows(fresh));
    EXPECT_EQ(reused.Unfinished().Arrived, fresh.Unfinished().Arrived);
}

// A plot that takes a number of hand-overs, then fails as a chart that is full does.
class TFailingPlot final : public TFramePlot {
public:
    explicit TFailingPlot(int takes) : takes_(takes) {}
    void AddPoints(int series, double, std::span<const double> ys, std::uint32_t) override {
        if (takes_-- == 0)
            throw std::length_error("full");
        if (series == SeriesAdvance)
            advancePoints += ys.size();
    }
    std::size_t advancePoints = 0;

private:
    int takes_;
};

TEST(FrameTable, HoldsNoFrameWhosePointsThePlotRefused) {
    const Bytes stream = sim::GenerateRecording(8, 5000, false);
    for (const int takes : {0, 5, 6, 7, 30}) {
        SCOPED_TRACE(takes);
        TFailingPlot plot(takes);
        TFrameTable table;
        TLatestValues values;
        std::uint8_t state = 0;
        EXPECT_THROW(DecodeBlock(stream, DecodeMode::Replay, state, values, &plot, &table),
                     std::length_error);
        EXPECT_EQ(table.Rows(), static_cast<std::int64_t>(plot.advancePoints));
    }
}

} // namespace
} // namespace telemetry
