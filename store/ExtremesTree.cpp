#include "store/ExtremesTree.h"

namespace store {

namespace {

// Doubling, so that a tree that grows block by block copies a bounded amount per block.
void Grow(std::vector<TExtremes>& level, std::size_t size) {
    if (level.capacity() < size)
        level.reserve(std::max(size, 2 * level.capacity()));
}

} // namespace

void TExtremesTree::Reserve(std::size_t blocks) {
    std::size_t levels = 1;
    while (levels < 16 && Span(levels) <= blocks)
        ++levels;
    levels_.reserve(levels);
    while (levels_.size() < levels)
        levels_.emplace_back();
    // Levels made here for room only are empty, and dropped again by Truncate; Extend
    // fills them as their first entry becomes whole.
    for (std::size_t level = 0; level < levels; ++level)
        Grow(levels_[level], (blocks + Span(level) - 1) / Span(level));
}

void TExtremesTree::Extend(const TExtremes& block) noexcept {
    levels_[0].push_back(block);
    const std::size_t blocks = levels_[0].size();
    for (std::size_t level = 1; level < levels_.size() && Span(level) <= blocks; ++level) {
        std::vector<TExtremes>& entries = levels_[level];
        const std::size_t index = (blocks - 1) >> (4 * level);
        if (entries.size() > index) {
            entries[index].Follow(block);
        } else if (index > 0 || blocks == Span(level)) {
            // The level's first entry becomes whole now: it covers what the level below has.
            TExtremes e;
            if (index == 0) {
                for (const TExtremes& lower : levels_[level - 1])
                    e.Follow(lower);
            } else {
                e = block;
            }
            entries.push_back(e);
        }
    }
}

void TExtremesTree::Replace(std::size_t block, const TExtremes& extremes) noexcept {
    levels_[0][block] = extremes;
    for (std::size_t level = 1;
         level < levels_.size() && block >> (4 * level) < levels_[level].size(); ++level) {
        const std::size_t index = block >> (4 * level);
        const std::vector<TExtremes>& lower = levels_[level - 1];
        TExtremes e;
        for (std::size_t i = index * Fanout; i < std::min(lower.size(), (index + 1) * Fanout); ++i)
            e.Follow(lower[i]);
        levels_[level][index] = e;
    }
}

void TExtremesTree::Truncate(std::size_t blocks) noexcept {
    if (levels_.empty())
        return;
    levels_[0].resize(std::min(levels_[0].size(), blocks));
    for (std::size_t level = 1; level < levels_.size(); ++level) {
        std::vector<TExtremes>& entries = levels_[level];
        if (Span(level) > blocks) {
            entries.clear();
            continue;
        }
        const std::size_t kept = (blocks + Span(level) - 1) / Span(level);
        entries.resize(std::min(entries.size(), kept));
        if (blocks % Span(level) == 0 || entries.size() < kept)
            continue;
        // The last entry lost some of its blocks: it covers what is left of them.
        const std::vector<TExtremes>& lower = levels_[level - 1];
        TExtremes e;
        for (std::size_t i = (kept - 1) * Fanout; i < lower.size(); ++i)
            e.Follow(lower[i]);
        entries.back() = e;
    }
}

void TExtremesTree::Release() noexcept {
    std::vector<std::vector<TExtremes>>().swap(levels_);
}

std::size_t TExtremesTree::Bytes() const noexcept {
    std::size_t bytes = levels_.capacity() * sizeof(levels_[0]);
    for (const auto& level : levels_)
        bytes += level.capacity() * sizeof(TExtremes);
    return bytes;
}

std::size_t TExtremesTree::Climb(std::size_t b, std::size_t end) const noexcept {
    std::size_t level = 0;
    while (level + 1 < levels_.size() && b % Span(level + 1) == 0 && b + Span(level + 1) <= end)
        ++level;
    return level;
}

std::size_t TExtremesTree::ClimbBack(std::size_t s, std::size_t first) const noexcept {
    std::size_t level = 0;
    while (level + 1 < levels_.size() && s % Span(level + 1) == 0 && s >= first + Span(level + 1))
        ++level;
    return level;
}

TExtremes TExtremesTree::Extremes(std::size_t first, std::size_t end) const noexcept {
    TExtremes e;
    for (std::size_t b = first; b < end;) {
        const std::size_t level = Climb(b, end);
        e.Follow(Node(level, b));
        b += Span(level);
    }
    return e;
}

} // namespace store
