#pragma once

// The extremes of a value list's sealed blocks, of groups of Fanout blocks, of groups of
// Fanout groups, and so on: the extremes of any stretch of whole blocks, or the first block
// in it that leaves a range, take a few entries of each level, however long the list is.

#include "store/ValueBlock.h"

#include <cstddef>
#include <vector>

namespace store {

class TExtremesTree {
public:
    static constexpr std::size_t Fanout = 16;

    [[nodiscard]] std::size_t Blocks() const noexcept {
        return levels_.empty() ? 0 : levels_[0].size();
    }
    // Room for `blocks` blocks in all, so that extending up to that many raises nothing.
    // Raises std::bad_alloc.
    void Reserve(std::size_t blocks);
    // The next block's extremes, with room reserved.
    void Extend(const TExtremes& block) noexcept;
    // New extremes for a block whose values changed.
    void Replace(std::size_t block, const TExtremes& extremes) noexcept;
    // Forgets every block from index `blocks` on.
    void Truncate(std::size_t blocks) noexcept;
    void Release() noexcept;
    [[nodiscard]] std::size_t Bytes() const noexcept;

    [[nodiscard]] const TExtremes& Block(std::size_t block) const noexcept {
        return levels_[0][block];
    }
    // The extremes of blocks [first, end), taken in order.
    [[nodiscard]] TExtremes Extremes(std::size_t first, std::size_t end) const noexcept;
    // The first block in [first, end) that does not lie inside (see TValueBlock::SpanEnd),
    // or end.
    template <typename Inside>
    [[nodiscard]] std::size_t FirstOutside(std::size_t first, std::size_t end,
                                           Inside&& inside) const;
    // The least s in [first, end] such that the blocks [s, end) all lie inside.
    template <typename Inside>
    [[nodiscard]] std::size_t SpanStart(std::size_t first, std::size_t end, Inside&& inside) const;

private:
    [[nodiscard]] static constexpr std::size_t Span(std::size_t level) noexcept {
        return std::size_t{1} << (4 * level);
    }
    [[nodiscard]] const TExtremes& Node(std::size_t level, std::size_t block) const noexcept {
        return levels_[level][block >> (4 * level)];
    }
    // The highest level whose entry starts at block b and ends by `end`.
    [[nodiscard]] std::size_t Climb(std::size_t b, std::size_t end) const noexcept;
    // The same for the entry that ends at block s and starts at `first` or later.
    [[nodiscard]] std::size_t ClimbBack(std::size_t s, std::size_t first) const noexcept;
    template <typename Inside> static bool Covers(const TExtremes& e, Inside& inside) {
        return !e.NaN && e.HasValues() && inside(e.Min, e.Max);
    }

    // Level L entry k covers blocks [k Fanout^L, (k + 1) Fanout^L); the last entry of a
    // level may cover fewer. A level is kept once it has a whole entry.
    std::vector<std::vector<TExtremes>> levels_;
};

template <typename Inside>
std::size_t TExtremesTree::FirstOutside(std::size_t first, std::size_t end, Inside&& inside) const {
    std::size_t b = first;
    while (b < end) {
        std::size_t level = Climb(b, end);
        if (Covers(Node(level, b), inside)) {
            b += Span(level);
            continue;
        }
        // Some block under this entry leaves the range: find it a level at a time.
        const std::size_t entryEnd = b + Span(level);
        while (level > 0) {
            --level;
            while (b < entryEnd && Covers(Node(level, b), inside))
                b += Span(level);
            if (b == entryEnd)
                break;
        }
        if (b < entryEnd)
            return b;
    }
    return end;
}

template <typename Inside>
std::size_t TExtremesTree::SpanStart(std::size_t first, std::size_t end, Inside&& inside) const {
    std::size_t s = end;
    while (s > first) {
        std::size_t level = ClimbBack(s, first);
        if (Covers(Node(level, s - Span(level)), inside)) {
            s -= Span(level);
            continue;
        }
        const std::size_t entryStart = s - Span(level);
        while (level > 0) {
            --level;
            while (s > entryStart && Covers(Node(level, s - Span(level)), inside))
                s -= Span(level);
            if (s == entryStart)
                break;
        }
        if (s > entryStart)
            return s;
    }
    return first;
}

} // namespace store
