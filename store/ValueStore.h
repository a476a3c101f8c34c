#pragma once

// The values of one value list: sealed blocks of TValueBlock::Size values, each in its own
// narrowest exact form, the extremes tree over them, and an open tail that takes new values.
// The tail keeps a run of equal steps (the frame counter) as its description alone and other
// values as they come; it is sealed into a block when full. Memory follows the values: no
// more is held than the blocks, the tree and one tail need, and growing copies no values.

#include "store/ExtremesTree.h"
#include "store/PayloadArena.h"
#include "store/ValueBlock.h"

#include <array>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace store {

class TValueStore {
public:
    static constexpr std::size_t BlockSize = TValueBlock::Size;

    TValueStore() = default;
    TValueStore(TValueStore&&) noexcept = default;
    TValueStore& operator=(TValueStore&&) noexcept = default;

    [[nodiscard]] std::size_t size() const noexcept { return Sealed() + tailCount_; }
    [[nodiscard]] bool empty() const noexcept { return size() == 0; }
    [[nodiscard]] double operator[](std::size_t i) const noexcept {
        const std::size_t sealed = Sealed();
        if (i < sealed)
            return blocks_[i / BlockSize][i % BlockSize];
        return tailIsRun_ ? run_[i - sealed] : tail_[i - sealed];
    }
    [[nodiscard]] double back() const noexcept { return (*this)[size() - 1]; }
    // Values [first, first + out.size()) into out.
    void Copy(std::size_t first, std::span<double> out) const noexcept;

    // The extremes of values [first, end), taken in order.
    [[nodiscard]] TExtremes Extremes(std::size_t first, std::size_t end) const noexcept;
    // The same, but read in the order that looks at fewest values: whole blocks first, then
    // only what could widen them; of equal extremes any may be given (0 or -0).
    [[nodiscard]] TExtremes Bounds(std::size_t first, std::size_t end) const noexcept;
    // The first index in [first, end) whose value is not inside, or end; and the least s in
    // [first, end] such that values [s, end) are all inside. Inside(lo, hi) says whether
    // every value from lo to hi lies in a convex set of the caller's, without NaN; it is
    // asked with lo == hi for single values, which may be NaN. Both look at few values of a
    // long stretch inside the set.
    template <typename Inside>
    [[nodiscard]] std::size_t SpanEnd(std::size_t first, std::size_t end, Inside&& inside) const;
    template <typename Inside>
    [[nodiscard]] std::size_t SpanStart(std::size_t first, std::size_t end, Inside&& inside) const;
    // For values that never decrease (no NaN): the first index in [first, end) whose value
    // is at least v, or end.
    [[nodiscard]] std::size_t LowerBound(std::size_t first, std::size_t end,
                                         double v) const noexcept;

    // Asks for the memory that reading near value i takes, for a reader that knows where it
    // will look next.
    void Prefetch(std::size_t i) const noexcept {
        if (i < Sealed())
            blocks_[i / BlockSize].Prefetch(i % BlockSize);
    }

    // Bytes held for the values (allocated, not only used).
    [[nodiscard]] std::size_t Bytes() const noexcept;

    // Appending is split so that several stores can take values all or none: Prepare makes
    // room for the first values (sealing a full tail, raising std::bad_alloc, never changing
    // the values held) and says how many fit, at least one; Append then takes up to that
    // many and cannot fail.
    [[nodiscard]] std::size_t Prepare(std::span<const double> values);
    void Append(std::span<const double> values) noexcept;
    // Prepare and Append until all are in.
    void AppendAll(std::span<const double> values);
    // The same for the values run[from], run[from + 1], ...: a run that goes on with the
    // tail's own steps, both in exact integers (a frame counter), is taken without a look at
    // each value.
    [[nodiscard]] std::size_t PrepareSteps(const TSteps& run, std::size_t from, std::size_t count);
    void AppendSteps(const TSteps& run, std::size_t from, std::size_t count) noexcept;

    // An insertion built aside, so that a failure (std::bad_alloc) changes nothing: the
    // values from block firstBlock on, with v at index. CommitInsert puts them in place and
    // cannot fail.
    [[nodiscard]] TValueStore PrepareInsert(std::size_t index, double v, std::size_t& firstBlock);
    void CommitInsert(TValueStore&& rest, std::size_t firstBlock) noexcept;
    // Replaces value index; raises std::bad_alloc, leaving the values as they were.
    void Set(std::size_t index, double v);
    void Release() noexcept;

private:
    [[nodiscard]] std::size_t Sealed() const noexcept { return blocks_.size() * BlockSize; }
    [[nodiscard]] TExtremes TailExtremes(std::size_t first, std::size_t end) const noexcept;
    // The extremes of whole chunk c of a tail that holds its values one by one.
    [[nodiscard]] const TExtremes& TailChunk(std::size_t c) const noexcept;
    // How many of values continue the tail's run.
    [[nodiscard]] std::size_t RunLength(std::span<const double> values) const noexcept;
    // Whether run[from] to run[from + count - 1] continue the tail's run.
    [[nodiscard]] bool ContinuesRun(const TSteps& run, std::size_t from,
                                    std::size_t count) const noexcept;
    void Seal();
    // Moves the payloads into a fresh arena when replaced blocks have left more behind in
    // the arena than the blocks hold.
    void CompactIfWasteful();
    // Room for `count` tail values held one by one; the run so far is written out.
    void MakeTailRoom(std::size_t count);
    // The equal steps that value i belongs to, when it belongs to some.
    [[nodiscard]] const TSteps* StepsAt(std::size_t i) const noexcept;

    TPayloadArena arena_;
    std::vector<TValueBlock> blocks_;
    std::size_t payloadBytes_ = 0; // the blocks' own, of arena_.Used()
    TExtremesTree tree_;
    std::unique_ptr<double[]> tail_; // the tail's values, once they are not a run
    std::size_t tailCapacity_ = 0;
    std::size_t tailCount_ = 0;
    TSteps run_;
    bool tailIsRun_ = true;
    // Extremes of the tail's whole chunks, worked out in order as they are first asked for,
    // so that the newest points are bounded as cheaply as sealed ones. A tail that changes
    // other than by growing forgets them.
    mutable std::array<TExtremes, TValueBlock::Chunks> tailChunks_;
    mutable std::size_t tailChunksKnown_ = 0;
};

template <typename Inside>
std::size_t TValueStore::SpanEnd(std::size_t first, std::size_t end, Inside&& inside) const {
    const std::size_t sealedEnd = std::min(end, Sealed());
    std::size_t i = first;
    while (i < sealedEnd) {
        std::size_t b = i / BlockSize;
        if (i % BlockSize == 0 && (b + 1) * BlockSize <= sealedEnd) {
            b = tree_.FirstOutside(b, sealedEnd / BlockSize, inside);
            i = b * BlockSize;
            if (i >= sealedEnd)
                break;
        }
        const std::size_t start = b * BlockSize;
        const std::size_t to = std::min(sealedEnd, start + BlockSize);
        const std::size_t j = blocks_[b].SpanEnd(i - start, to - start, inside) + start;
        if (j < to)
            return j;
        i = to;
    }
    i = std::max(i, first);
    if (i >= end)
        return end;
    const std::size_t sealed = Sealed();
    if (tailIsRun_) {
        const double low = run_[i - sealed], high = run_[end - 1 - sealed];
        if (inside(std::min(low, high), std::max(low, high)))
            return end;
    }
    constexpr std::size_t C = TValueBlock::ChunkSize;
    while (i < end) {
        const std::size_t k = i - sealed, chunkEnd = i + C;
        if (!tailIsRun_ && k % C == 0 && chunkEnd <= end) {
            const TExtremes& chunk = TailChunk(k / C);
            if (!chunk.NaN && chunk.HasValues() && inside(chunk.Min, chunk.Max)) {
                i = chunkEnd;
                continue;
            }
        }
        for (const std::size_t stop = std::min(end, (k / C + 1) * C + sealed); i < stop; ++i) {
            const double v = (*this)[i];
            if (!inside(v, v))
                return i;
        }
    }
    return end;
}

template <typename Inside>
std::size_t TValueStore::SpanStart(std::size_t first, std::size_t end, Inside&& inside) const {
    const std::size_t sealed = Sealed();
    std::size_t s = end;
    if (s > sealed) {
        const std::size_t from = std::max(first, sealed);
        bool covered = false;
        if (tailIsRun_) {
            const double low = run_[from - sealed], high = run_[s - 1 - sealed];
            covered = inside(std::min(low, high), std::max(low, high));
        }
        constexpr std::size_t C = TValueBlock::ChunkSize;
        while (!covered && s > from) {
            const std::size_t k = s - sealed;
            if (!tailIsRun_ && k % C == 0 && s - C >= from) {
                const TExtremes& chunk = TailChunk(k / C - 1);
                if (!chunk.NaN && chunk.HasValues() && inside(chunk.Min, chunk.Max)) {
                    s -= C;
                    continue;
                }
            }
            for (const std::size_t stop = std::max(from, (k - 1) / C * C + sealed); s > stop; --s) {
                const double v = (*this)[s - 1];
                if (!inside(v, v))
                    return s;
            }
        }
        if (covered)
            s = from;
    }
    while (s > first) {
        std::size_t b = (s - 1) / BlockSize;
        if (s % BlockSize == 0 && b * BlockSize >= first) {
            const std::size_t firstWhole = (first + BlockSize - 1) / BlockSize;
            const std::size_t start = tree_.SpanStart(firstWhole, s / BlockSize, inside);
            s = start * BlockSize;
            if (s <= first || start == firstWhole)
                continue;
            b = start - 1;
        }
        const std::size_t blockStart = b * BlockSize;
        const std::size_t from = std::max(first, blockStart);
        const std::size_t j =
            blocks_[b].SpanStart(from - blockStart, s - blockStart, inside) + blockStart;
        if (j > from)
            return j;
        s = from;
    }
    return s;
}

} // namespace store
