#include "store/ValueStore.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace store {

namespace {

// Integers up to this are exact in a double, and so are their sums below it.
constexpr double ExactIntegers = 4503599627370496.0; // 2^52

bool Integral(double v) noexcept {
    return std::fabs(v) <= ExactIntegers && std::trunc(v) == v;
}

// Whether run[0] to run[end - 1] are integers computed exactly, which any other rule of the
// same steps then gives bit for bit.
bool ExactSteps(const TSteps& run, std::size_t end) noexcept {
    return Integral(run.First) && Integral(run.Step) &&
           std::fabs(run.First) + static_cast<double>(end) * std::fabs(run.Step) <= ExactIntegers;
}

// Doubling, so that a list that grows block by block copies a bounded amount per block.
void GrowBlocks(std::vector<TValueBlock>& blocks, std::size_t size) {
    if (blocks.capacity() < size)
        blocks.reserve(std::max(size, 2 * blocks.capacity()));
}

} // namespace

void TValueStore::Copy(std::size_t first, std::span<double> out) const noexcept {
    std::size_t i = first, o = 0;
    const std::size_t sealed = Sealed();
    while (o < out.size() && i < sealed) {
        const std::size_t offset = i % BlockSize;
        const std::size_t n = std::min(BlockSize - offset, out.size() - o);
        blocks_[i / BlockSize].Copy(offset, n, out.data() + o);
        i += n;
        o += n;
    }
    for (; o < out.size(); ++o, ++i)
        out[o] = (*this)[i];
}

TExtremes TValueStore::TailExtremes(std::size_t first, std::size_t end) const noexcept {
    TExtremes e;
    if (first >= end)
        return e;
    if (tailIsRun_) {
        // Equal steps never turn back: the ends are the extremes.
        e.Take(run_[first]);
        e.Take(run_[end - 1]);
        return e;
    }
    constexpr std::size_t C = TValueBlock::ChunkSize;
    for (std::size_t i = first; i < end;) {
        const std::size_t chunkEnd = (i / C + 1) * C;
        if (i % C == 0 && chunkEnd <= end) {
            e.Follow(TailChunk(i / C));
            i = chunkEnd;
            continue;
        }
        for (const std::size_t stop = std::min(end, chunkEnd); i < stop; ++i)
            e.Take(tail_[i]);
    }
    return e;
}

const TExtremes& TValueStore::TailChunk(std::size_t c) const noexcept {
    constexpr std::size_t C = TValueBlock::ChunkSize;
    for (; tailChunksKnown_ <= c; ++tailChunksKnown_) {
        TExtremes e;
        for (std::size_t i = tailChunksKnown_ * C; i < (tailChunksKnown_ + 1) * C; ++i)
            e.Take(tail_[i]);
        tailChunks_[tailChunksKnown_] = e;
    }
    return tailChunks_[c];
}

TExtremes TValueStore::Extremes(std::size_t first, std::size_t end) const noexcept {
    TExtremes e;
    const std::size_t sealed = Sealed();
    const std::size_t sealedEnd = std::min(end, sealed);
    std::size_t i = first;
    if (i < sealedEnd && i % BlockSize != 0) {
        const std::size_t b = i / BlockSize;
        const std::size_t to = std::min(sealedEnd, (b + 1) * BlockSize);
        e.Follow(blocks_[b].Extremes(i - b * BlockSize, to - b * BlockSize));
        i = to;
    }
    if (i < sealedEnd) {
        const std::size_t wholeEnd = sealedEnd / BlockSize;
        if (i / BlockSize < wholeEnd) {
            e.Follow(tree_.Extremes(i / BlockSize, wholeEnd));
            i = wholeEnd * BlockSize;
        }
        if (i < sealedEnd) {
            e.Follow(blocks_[i / BlockSize].Extremes(0, sealedEnd - i));
            i = sealedEnd;
        }
    }
    i = std::max(i, std::min(first, end));
    if (i < end)
        e.Follow(TailExtremes(i - sealed, end - sealed));
    return e;
}

TExtremes TValueStore::Bounds(std::size_t first, std::size_t end) const noexcept {
    TExtremes e;
    const std::size_t sealed = Sealed();
    const std::size_t sealedEnd = std::min(end, sealed);
    if (first < sealedEnd) {
        const std::size_t headBlock = first / BlockSize, tailBlock = (sealedEnd - 1) / BlockSize;
        // A block cut by first or end is looked into only where its extremes could widen
        // what the whole blocks give.
        auto partial = [&](std::size_t b, std::size_t from, std::size_t to) {
            const TExtremes& whole = tree_.Block(b);
            if (!whole.NaN && whole.Min >= e.Min && whole.Max <= e.Max)
                return;
            blocks_[b].Widen(e, from - b * BlockSize, to - b * BlockSize);
        };
        const std::size_t wholeFirst = first % BlockSize == 0 ? headBlock : headBlock + 1;
        const std::size_t wholeEnd = sealedEnd / BlockSize;
        if (wholeFirst < wholeEnd)
            e = tree_.Extremes(wholeFirst, wholeEnd);
        if (headBlock == tailBlock) {
            if (wholeFirst >= wholeEnd)
                partial(headBlock, first, sealedEnd);
        } else {
            if (wholeFirst > headBlock)
                partial(headBlock, first, wholeFirst * BlockSize);
            if (wholeEnd == tailBlock)
                partial(tailBlock, tailBlock * BlockSize, sealedEnd);
        }
    }
    const std::size_t from = std::max(first, sealed);
    if (from < end)
        e.Follow(TailExtremes(from - sealed, end - sealed));
    return e;
}

const TSteps* TValueStore::StepsAt(std::size_t i) const noexcept {
    if (i < Sealed())
        return blocks_[i / BlockSize].Steps();
    return tailIsRun_ && tailCount_ >= 2 ? &run_ : nullptr;
}

std::size_t TValueStore::LowerBound(std::size_t first, std::size_t end, double v) const noexcept {
    if (first >= end || !((*this)[first] < v))
        return first;
    std::size_t below = first; // a value under v
    std::size_t atOrAbove = end;
    // Equal steps (a counter) tell where v falls; a check of two values confirms it.
    if (const TSteps* steps = StepsAt(first); steps && steps->Step > 0) {
        const double ahead = std::ceil((v - (*this)[first]) / steps->Step);
        if (ahead >= 1 && ahead < static_cast<double>(end - first)) {
            const std::size_t guess = first + static_cast<std::size_t>(ahead);
            if ((*this)[guess] < v) {
                below = guess;
            } else {
                if ((*this)[guess - 1] < v)
                    return guess;
                atOrAbove = guess;
            }
        }
    }
    std::size_t step = 1;
    while (below + step < atOrAbove && (*this)[below + step] < v) {
        below += step;
        step *= 2;
    }
    atOrAbove = std::min(atOrAbove, below + step);
    while (atOrAbove - below > 1) {
        const std::size_t middle = below + (atOrAbove - below) / 2;
        if ((*this)[middle] < v)
            below = middle;
        else
            atOrAbove = middle;
    }
    return atOrAbove;
}

std::size_t TValueStore::Bytes() const noexcept {
    return arena_.Bytes() + blocks_.capacity() * sizeof(TValueBlock) + tree_.Bytes() +
           tailCapacity_ * sizeof(double);
}

std::size_t TValueStore::RunLength(std::span<const double> values) const noexcept {
    if (!tailIsRun_)
        return 0;
    TSteps run = run_;
    std::size_t k = tailCount_, j = 0;
    if (j < values.size() && k == 0) {
        if (!TSteps::Begin(values[j], run))
            return j;
        ++j;
        ++k;
    }
    if (j < values.size() && k == 1) {
        if (!TSteps::Start(run.First, values[j], run))
            return j;
        ++j;
        ++k;
    }
    // A run of one value (a slow quantity) is that value throughout: its first is no -0,
    // which the rule would turn into 0.
    if (run.Step == 0) {
        while (j < values.size() && SameBits(run.First, values[j]))
            ++j;
        return j;
    }
    // Eight at a time while all eight have the rule's bits (the step count is exact as a
    // double), then one by one.
    constexpr std::size_t Group = 8;
    double steps = static_cast<double>(static_cast<std::int64_t>(k));
    while (j + Group <= values.size()) {
        std::uint64_t differ = 0;
        for (std::size_t g = 0; g < Group; ++g)
            differ |= std::bit_cast<std::uint64_t>(run.First + (steps + g) * run.Step) ^
                      std::bit_cast<std::uint64_t>(values[j + g]);
        if (differ != 0)
            break;
        j += Group;
        k += Group;
        steps += Group;
    }
    while (j < values.size() && SameBits(run[k], values[j])) {
        ++j;
        ++k;
    }
    return j;
}

bool TValueStore::ContinuesRun(const TSteps& run, std::size_t from,
                               std::size_t count) const noexcept {
    if (!tailIsRun_ || !ExactSteps(run, from + count))
        return false;
    const double first = run[from];
    switch (tailCount_) {
    case 0:
        return true;
    case 1:
        return ExactSteps({run_.First, run.Step}, 1 + count) &&
               SameBits(run_.First + run.Step, first);
    default:
        return SameBits(run_.Step, run.Step) && ExactSteps(run_, tailCount_ + count) &&
               SameBits(run_[tailCount_], first);
    }
}

std::size_t TValueStore::PrepareSteps(const TSteps& run, std::size_t from, std::size_t count) {
    if (count == 0)
        return 0;
    if (tailCount_ == BlockSize)
        Seal();
    const std::size_t fit = std::min(count, BlockSize - tailCount_);
    if (!ContinuesRun(run, from, fit))
        MakeTailRoom(tailCount_ + fit);
    return fit;
}

void TValueStore::AppendSteps(const TSteps& run, std::size_t from, std::size_t count) noexcept {
    if (!tailIsRun_) {
        for (std::size_t i = 0; i < count; ++i)
            tail_[tailCount_ + i] = run[from + i];
    } else if (tailCount_ == 0) {
        run_ = {run[from], run.Step};
    } else if (tailCount_ == 1) {
        run_.Step = run.Step;
    }
    tailCount_ += count;
}

void TValueStore::MakeTailRoom(std::size_t count) {
    if (count > tailCapacity_) {
        std::size_t capacity = std::max<std::size_t>(tailCapacity_, 4);
        while (capacity < count)
            capacity = std::min(BlockSize, 2 * capacity);
        auto values = std::make_unique_for_overwrite<double[]>(capacity);
        if (!tailIsRun_)
            std::memcpy(values.get(), tail_.get(), tailCount_ * sizeof(double));
        tail_ = std::move(values);
        tailCapacity_ = capacity;
    }
    if (tailIsRun_) {
        for (std::size_t k = 0; k < tailCount_; ++k)
            tail_[k] = run_[k];
        tailIsRun_ = false;
        tailChunksKnown_ = 0;
    }
}

void TValueStore::CompactIfWasteful() {
    if (arena_.Used() - payloadBytes_ <= payloadBytes_)
        return;
    TPayloadArena arena;
    std::vector<TValueBlock> blocks = blocks_;
    for (TValueBlock& block : blocks)
        block.Relocate(arena);
    arena_ = std::move(arena);
    blocks_.swap(blocks);
}

void TValueStore::Seal() {
    CompactIfWasteful();
    TValueBlock block =
        tailIsRun_ ? TValueBlock::Run(run_) : TValueBlock::Encode(tail_.get(), arena_);
    GrowBlocks(blocks_, blocks_.size() + 1);
    tree_.Reserve(blocks_.size() + 1);
    const TExtremes extremes = block.Extremes(0, BlockSize);
    payloadBytes_ += block.PayloadBytes();
    blocks_.push_back(block);
    tree_.Extend(extremes);
    tailCount_ = 0;
    tailIsRun_ = true;
    tailChunksKnown_ = 0;
    run_ = {};
}

std::size_t TValueStore::Prepare(std::span<const double> values) {
    if (values.empty())
        return 0;
    if (tailCount_ == BlockSize)
        Seal();
    const std::size_t fit = std::min(values.size(), BlockSize - tailCount_);
    if (RunLength(values.first(fit)) < fit)
        MakeTailRoom(tailCount_ + fit);
    return fit;
}

void TValueStore::Append(std::span<const double> values) noexcept {
    if (!tailIsRun_) {
        std::memcpy(tail_.get() + tailCount_, values.data(), values.size() * sizeof(double));
        tailCount_ += values.size();
        return;
    }
    // Prepare found every value on the run; the first two set it.
    std::size_t j = 0;
    for (; j < values.size() && tailCount_ < 2; ++j, ++tailCount_) {
        if (tailCount_ == 0)
            (void)TSteps::Begin(values[j], run_);
        else
            (void)TSteps::Start(run_.First, values[j], run_);
    }
    tailCount_ += values.size() - j;
}

void TValueStore::AppendAll(std::span<const double> values) {
    while (!values.empty()) {
        const std::size_t n = Prepare(values);
        Append(values.first(n));
        values = values.subspan(n);
    }
}

TValueStore TValueStore::PrepareInsert(std::size_t index, double v, std::size_t& firstBlock) {
    CompactIfWasteful();
    firstBlock = std::min(index / BlockSize, blocks_.size());
    TValueStore rest;
    double buffer[256];
    auto take = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to;) {
            const std::size_t n = std::min(std::size(buffer), to - i);
            Copy(i, {buffer, n});
            rest.AppendAll({buffer, n});
            i += n;
        }
    };
    take(firstBlock * BlockSize, index);
    rest.AppendAll({&v, 1});
    take(index, size());
    GrowBlocks(blocks_, firstBlock + rest.blocks_.size());
    tree_.Reserve(firstBlock + rest.blocks_.size());
    arena_.ReserveChunks(rest.arena_.Chunks());
    return rest;
}

void TValueStore::CommitInsert(TValueStore&& rest, std::size_t firstBlock) noexcept {
    // The payloads of the blocks replaced stay in the arena until it is compacted.
    for (std::size_t b = firstBlock; b < blocks_.size(); ++b)
        payloadBytes_ -= blocks_[b].PayloadBytes();
    blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(firstBlock), blocks_.end());
    tree_.Truncate(firstBlock);
    for (std::size_t k = 0; k < rest.blocks_.size(); ++k) {
        blocks_.push_back(rest.blocks_[k]);
        tree_.Extend(rest.tree_.Block(k));
    }
    payloadBytes_ += rest.payloadBytes_;
    arena_.Adopt(std::move(rest.arena_));
    tail_ = std::move(rest.tail_);
    tailCapacity_ = rest.tailCapacity_;
    tailCount_ = rest.tailCount_;
    run_ = rest.run_;
    tailIsRun_ = rest.tailIsRun_;
    tailChunksKnown_ = 0;
}

void TValueStore::Set(std::size_t index, double v) {
    const std::size_t sealed = Sealed();
    if (index >= sealed) {
        const std::size_t k = index - sealed;
        if (tailIsRun_) {
            if (SameBits(run_[k], v))
                return;
            MakeTailRoom(tailCount_);
        }
        tail_[k] = v;
        tailChunksKnown_ = std::min(tailChunksKnown_, k / TValueBlock::ChunkSize);
        return;
    }
    CompactIfWasteful();
    const std::size_t b = index / BlockSize;
    double values[BlockSize];
    blocks_[b].Copy(0, BlockSize, values);
    values[index % BlockSize] = v;
    // The replaced payload stays in the arena until it is compacted.
    const TValueBlock block = TValueBlock::Encode(values, arena_);
    payloadBytes_ += block.PayloadBytes() - blocks_[b].PayloadBytes();
    blocks_[b] = block;
    tree_.Replace(b, block.Extremes(0, BlockSize));
}

void TValueStore::Release() noexcept {
    std::vector<TValueBlock>().swap(blocks_);
    arena_.Release();
    payloadBytes_ = 0;
    tree_.Release();
    tail_.reset();
    tailCapacity_ = tailCount_ = tailChunksKnown_ = 0;
    run_ = {};
    tailIsRun_ = true;
}

} // namespace store
