#pragma once

// One sealed block of a value list: a fixed number of doubles kept in the narrowest form
// that gives every one of them back bit for bit, with the extremes of each chunk of the
// block, so that a reader can bound a stretch of values without visiting them.

#include "store/PayloadArena.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace store {

// The smallest and largest of some values, NaNs aside, and whether a NaN was among them.
// Of equal values the first one taken is kept, so that extremes taken in order tell 0 from
// -0 as a pass that compares each value with the extremes so far does.
struct TExtremes {
    double Min = std::numeric_limits<double>::infinity();
    double Max = -std::numeric_limits<double>::infinity();
    bool NaN = false;

    // False when no value was taken, or only NaNs.
    [[nodiscard]] bool HasValues() const noexcept { return Min <= Max; }
    void Take(double v) noexcept {
        Min = v < Min ? v : Min;
        Max = v > Max ? v : Max;
        NaN |= v != v;
    }
    // Extends these by values that come after them.
    void Follow(const TExtremes& later) noexcept {
        if (later.Min < Min)
            Min = later.Min;
        if (later.Max > Max)
            Max = later.Max;
        NaN |= later.NaN;
    }
};

[[nodiscard]] inline bool SameBits(double a, double b) noexcept {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Equal steps from a first value: value k is First + k * Step, the one rule both the writer
// and the reader use. A value belongs to a run only where that rule gives its very bits.
// Runs hold finite values only, so that their ends bound them.
struct TSteps {
    double First = 0;
    double Step = 0;
    [[nodiscard]] double operator[](std::size_t k) const noexcept {
        // Through a signed integer, which converts in one instruction; k never reaches 2^63.
        return First + static_cast<double>(static_cast<std::int64_t>(k)) * Step;
    }
    // The run of the one value v, when v can start one.
    [[nodiscard]] static bool Begin(double v, TSteps& run) noexcept;
    // The run that v0 and v1 start, when they can start one.
    [[nodiscard]] static bool Start(double v0, double v1, TSteps& run) noexcept;
};

class TValueBlock {
public:
    static constexpr std::size_t Size = 1024;    // values in a block
    static constexpr std::size_t ChunkSize = 32; // values a chunk's extremes cover
    static constexpr std::size_t Chunks = Size / ChunkSize;
    static constexpr std::size_t SegmentSize = 256; // values a segment's extremes cover
    static constexpr std::size_t Segments = Size / SegmentSize;

    // Size values in their narrowest exact form, with the payload from arena. Raises
    // std::bad_alloc.
    [[nodiscard]] static TValueBlock Encode(const double* values, TPayloadArena& arena);
    // A whole block of one run, which needs no storage beyond its description.
    [[nodiscard]] static TValueBlock Run(const TSteps& run) noexcept;

    [[nodiscard]] double operator[](std::size_t i) const noexcept;
    void Copy(std::size_t first, std::size_t count, double* out) const noexcept;
    // The extremes of values [first, end), taken in order.
    [[nodiscard]] TExtremes Extremes(std::size_t first, std::size_t end) const noexcept;
    // Widens e by values [first, end): whole chunks by their extremes, the values of a chunk
    // cut by first or end only where its extremes could widen e.
    void Widen(TExtremes& e, std::size_t first, std::size_t end) const noexcept;
    [[nodiscard]] TExtremes ChunkExtremes(std::size_t chunk) const noexcept;
    // Asks for the memory that reading near value i, and the block's chunk extremes, takes.
    void Prefetch(std::size_t i) const noexcept;
    // The run the block holds, when it holds one.
    [[nodiscard]] const TSteps* Steps() const noexcept {
        return form_ == TForm::Steps ? &steps_ : nullptr;
    }
    // Bytes this block holds in its arena.
    [[nodiscard]] std::size_t PayloadBytes() const noexcept;
    // Moves the payload into another arena. Raises std::bad_alloc, leaving it where it was.
    void Relocate(TPayloadArena& arena);

    // The first index in [first, end) whose value is not inside, or end. Inside(lo, hi)
    // says whether every value from lo to hi lies in a convex set of the caller's, without
    // NaN; it is asked with lo == hi for single values, which may be NaN.
    template <typename Inside>
    [[nodiscard]] std::size_t SpanEnd(std::size_t first, std::size_t end, Inside&& inside) const;
    // The least index s in [first, end] such that the values [s, end) are all inside.
    template <typename Inside>
    [[nodiscard]] std::size_t SpanStart(std::size_t first, std::size_t end, Inside&& inside) const;

private:
    enum class TForm : std::uint8_t { Steps, UInt8, UInt16, UInt32, Float, Double };

    TValueBlock(TForm form, TSteps steps) noexcept : form_(form), steps_(steps) {}
    template <typename T> [[nodiscard]] const T* Values() const noexcept {
        return reinterpret_cast<const T*>(payload_);
    }
    // After the values, in their own type: chunk minima, chunk maxima, segment minima and
    // segment maxima.
    static constexpr std::size_t Entries = Size + 2 * (Chunks + Segments);
    template <typename T> [[nodiscard]] const T* ChunkMinima() const noexcept {
        return Values<T>() + Size;
    }
    template <typename T> [[nodiscard]] const T* ChunkMaxima() const noexcept {
        return Values<T>() + Size + Chunks;
    }
    template <typename T> [[nodiscard]] const T* SegmentMinima() const noexcept {
        return Values<T>() + Size + 2 * Chunks;
    }
    template <typename T> [[nodiscard]] const T* SegmentMaxima() const noexcept {
        return Values<T>() + Size + 2 * Chunks + Segments;
    }
    // Whether a NaN lies in chunks [first, end).
    [[nodiscard]] bool NaNIn(std::size_t first, std::size_t end) const noexcept {
        const std::uint64_t span = ((std::uint64_t{1} << (end - first)) - 1) << first;
        return (nanChunks_ & span) != 0;
    }
    // Values [first, end) in order as pieces: values(from, to) for values read one by one,
    // summaries(minima, maxima, from, to, chunkFrom, chunkTo) for entries [from, to) of
    // extremes that cover whole chunks or whole segments, the chunks [chunkFrom, chunkTo).
    template <typename T, typename OnValues, typename OnSummaries>
    void Pieces(std::size_t first, std::size_t end, OnValues&& values,
                OnSummaries&& summaries) const;
    template <typename T> [[nodiscard]] double Decode(T stored) const noexcept {
        if constexpr (std::is_integral_v<T>)
            return steps_.First + static_cast<double>(stored);
        else
            return static_cast<double>(stored);
    }
    template <typename T>
    static TValueBlock Pack(TForm form, const double* values, double base, TPayloadArena& arena);
    template <typename T>
    [[nodiscard]] TExtremes Scan(std::size_t first, std::size_t end) const noexcept;
    template <typename T>
    void WidenBy(TExtremes& e, std::size_t first, std::size_t end) const noexcept;
    template <typename Inside>
    [[nodiscard]] static bool Covers(const TExtremes& e, Inside& inside) {
        return !e.NaN && e.HasValues() && inside(e.Min, e.Max);
    }

    TForm form_;
    std::uint32_t nanChunks_ = 0;        // bit c: chunk c holds a NaN
    TSteps steps_;                       // Steps: the run; integer forms: First is the offset
    const std::byte* payload_ = nullptr; // in the store's arena
};

inline double TValueBlock::operator[](std::size_t i) const noexcept {
    switch (form_) {
    case TForm::Steps:
        return steps_[i];
    case TForm::UInt8:
        return Decode(Values<std::uint8_t>()[i]);
    case TForm::UInt16:
        return Decode(Values<std::uint16_t>()[i]);
    case TForm::UInt32:
        return Decode(Values<std::uint32_t>()[i]);
    case TForm::Float:
        return Values<float>()[i];
    case TForm::Double:
        return Values<double>()[i];
    }
    return 0;
}

template <typename Inside>
std::size_t TValueBlock::SpanEnd(std::size_t first, std::size_t end, Inside&& inside) const {
    std::size_t i = first;
    while (i < end) {
        const std::size_t chunkEnd = (i / ChunkSize + 1) * ChunkSize;
        if (i % ChunkSize == 0 && chunkEnd <= end && Covers(ChunkExtremes(i / ChunkSize), inside)) {
            i = chunkEnd;
            continue;
        }
        for (const std::size_t stop = std::min(chunkEnd, end); i < stop; ++i) {
            const double v = (*this)[i];
            if (!inside(v, v))
                return i;
        }
    }
    return end;
}

template <typename Inside>
std::size_t TValueBlock::SpanStart(std::size_t first, std::size_t end, Inside&& inside) const {
    std::size_t s = end;
    while (s > first) {
        const std::size_t chunkStart = (s - 1) / ChunkSize * ChunkSize;
        if (s % ChunkSize == 0 && chunkStart >= first &&
            Covers(ChunkExtremes(chunkStart / ChunkSize), inside)) {
            s = chunkStart;
            continue;
        }
        for (const std::size_t stop = std::max(chunkStart, first); s > stop; --s) {
            const double v = (*this)[s - 1];
            if (!inside(v, v))
                return s;
        }
    }
    return first;
}

} // namespace store
