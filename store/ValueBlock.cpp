#include "store/ValueBlock.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace store {

namespace {

bool Finite(double v) noexcept {
    return v - v == 0;
}

// Integers that a double holds exactly, zero without a sign.
bool ExactInteger(double v, std::int64_t& integer) noexcept {
    constexpr double Limit = 9007199254740992.0; // 2^53
    if (!(std::fabs(v) <= Limit))
        return false;
    integer = static_cast<std::int64_t>(v);
    return static_cast<double>(integer) == v && !(v == 0 && std::signbit(v));
}

bool ExactFloat(double v) noexcept {
    if (!(std::fabs(v) <= FLT_MAX) && !std::isinf(v) && !std::isnan(v))
        return false;
    return SameBits(static_cast<double>(static_cast<float>(v)), v);
}

} // namespace

bool TSteps::Begin(double v, TSteps& run) noexcept {
    run = {v, 0};
    return Finite(v) && SameBits(run[0], v);
}

bool TSteps::Start(double v0, double v1, TSteps& run) noexcept {
    run = {v0, v1 - v0};
    return Finite(v0) && Finite(run.Step) && SameBits(run[0], v0) && SameBits(run[1], v1);
}

TValueBlock TValueBlock::Run(const TSteps& run) noexcept {
    return TValueBlock(TForm::Steps, run);
}

TValueBlock TValueBlock::Encode(const double* values, TPayloadArena& arena) {
    TSteps run;
    if (TSteps::Start(values[0], values[1], run)) {
        std::size_t k = 2;
        while (k < Size && SameBits(run[k], values[k]))
            ++k;
        if (k == Size)
            return Run(run);
    }

    std::int64_t low = 0, high = 0;
    bool integers = ExactInteger(values[0], low);
    high = low;
    for (std::size_t i = 1; integers && i < Size; ++i) {
        std::int64_t v = 0;
        integers = ExactInteger(values[i], v);
        low = std::min(low, v);
        high = std::max(high, v);
    }
    if (integers) {
        const auto range = static_cast<std::uint64_t>(high - low);
        const auto base = static_cast<double>(low);
        if (range <= 0xFF)
            return Pack<std::uint8_t>(TForm::UInt8, values, base, arena);
        if (range <= 0xFFFF)
            return Pack<std::uint16_t>(TForm::UInt16, values, base, arena);
        if (range <= 0xFFFFFFFF)
            return Pack<std::uint32_t>(TForm::UInt32, values, base, arena);
    }

    std::size_t i = 0;
    while (i < Size && ExactFloat(values[i]))
        ++i;
    if (i == Size)
        return Pack<float>(TForm::Float, values, 0, arena);
    return Pack<double>(TForm::Double, values, 0, arena);
}

template <typename T>
TValueBlock TValueBlock::Pack(TForm form, const double* values, double base, TPayloadArena& arena) {
    TValueBlock block(form, {base, 0});
    std::byte* const payload = arena.Allocate(Entries * sizeof(T));
    block.payload_ = payload;
    T* stored = reinterpret_cast<T*>(payload);
    for (std::size_t i = 0; i < Size; ++i) {
        if constexpr (std::is_integral_v<T>)
            stored[i] = static_cast<T>(values[i] - base);
        else
            stored[i] = static_cast<T>(values[i]); // no arithmetic, which could quiet a NaN
    }
    T* minima = stored + Size;
    T* maxima = minima + Chunks;
    for (std::size_t c = 0; c < Chunks; ++c) {
        const T* chunk = stored + c * ChunkSize;
        if constexpr (std::is_integral_v<T>) {
            T low = chunk[0], high = chunk[0];
            for (std::size_t j = 1; j < ChunkSize; ++j) {
                low = std::min(low, chunk[j]);
                high = std::max(high, chunk[j]);
            }
            minima[c] = low;
            maxima[c] = high;
        } else {
            TExtremes e;
            for (std::size_t j = 0; j < ChunkSize; ++j)
                e.Take(chunk[j]);
            // An all-NaN chunk keeps its empty extremes, which its type holds as infinities.
            minima[c] = static_cast<T>(e.Min);
            maxima[c] = static_cast<T>(e.Max);
            if (e.NaN)
                block.nanChunks_ |= std::uint32_t{1} << c;
        }
    }
    // Segments from their chunks, in order, as values are taken.
    T* segmentMinima = maxima + Chunks;
    T* segmentMaxima = segmentMinima + Segments;
    constexpr std::size_t PerSegment = SegmentSize / ChunkSize;
    for (std::size_t g = 0; g < Segments; ++g) {
        T low = minima[g * PerSegment], high = maxima[g * PerSegment];
        for (std::size_t c = g * PerSegment + 1; c < (g + 1) * PerSegment; ++c) {
            low = minima[c] < low ? minima[c] : low;
            high = maxima[c] > high ? maxima[c] : high;
        }
        segmentMinima[g] = low;
        segmentMaxima[g] = high;
    }
    return block;
}

template <typename T, typename OnValues, typename OnSummaries>
void TValueBlock::Pieces(std::size_t first, std::size_t end, OnValues&& values,
                         OnSummaries&& summaries) const {
    auto down = [](std::size_t i, std::size_t to) { return i / to * to; };
    auto up = [](std::size_t i, std::size_t to) { return (i + to - 1) / to * to; };
    const std::size_t headEnd = std::min(end, up(first, ChunkSize));
    const std::size_t bodyEnd = std::max(headEnd, down(end, ChunkSize));
    values(first, headEnd);
    if (headEnd < bodyEnd) {
        const std::size_t segmentsFirst = std::min(bodyEnd, up(headEnd, SegmentSize));
        const std::size_t segmentsEnd = std::max(segmentsFirst, down(bodyEnd, SegmentSize));
        summaries(ChunkMinima<T>(), ChunkMaxima<T>(), headEnd / ChunkSize,
                  segmentsFirst / ChunkSize, headEnd / ChunkSize, segmentsFirst / ChunkSize);
        summaries(SegmentMinima<T>(), SegmentMaxima<T>(), segmentsFirst / SegmentSize,
                  segmentsEnd / SegmentSize, segmentsFirst / ChunkSize, segmentsEnd / ChunkSize);
        summaries(ChunkMinima<T>(), ChunkMaxima<T>(), segmentsEnd / ChunkSize, bodyEnd / ChunkSize,
                  segmentsEnd / ChunkSize, bodyEnd / ChunkSize);
    }
    values(bodyEnd, end);
}

template <typename T>
TExtremes TValueBlock::Scan(std::size_t first, std::size_t end) const noexcept {
    const T* v = Values<T>();
    if constexpr (std::is_integral_v<T>) {
        // Each stored integer stands for one value, so the order of taking does not matter.
        T low = std::numeric_limits<T>::max(), high = 0;
        Pieces<T>(
            first, end,
            [&](std::size_t from, std::size_t to) {
                for (std::size_t i = from; i < to; ++i) {
                    low = std::min(low, v[i]);
                    high = std::max(high, v[i]);
                }
            },
            [&](const T* minima, const T* maxima, std::size_t from, std::size_t to, std::size_t,
                std::size_t) {
                for (std::size_t k = from; k < to; ++k) {
                    low = std::min(low, minima[k]);
                    high = std::max(high, maxima[k]);
                }
            });
        return {Decode(low), Decode(high), false};
    } else {
        // The comparisons pass NaNs over and keep the first of equal values; whether a NaN
        // was among the values is asked only of chunks that hold one.
        double low = std::numeric_limits<double>::infinity(), high = -low;
        bool nan = false;
        Pieces<T>(
            first, end,
            [&](std::size_t from, std::size_t to) {
                if (from >= to)
                    return;
                for (std::size_t i = from; i < to; ++i) {
                    const double x = v[i];
                    low = x < low ? x : low;
                    high = x > high ? x : high;
                }
                if (NaNIn(from / ChunkSize, from / ChunkSize + 1))
                    for (std::size_t i = from; i < to; ++i)
                        nan |= v[i] != v[i];
            },
            [&](const T* minima, const T* maxima, std::size_t from, std::size_t to,
                std::size_t chunkFrom, std::size_t chunkTo) {
                for (std::size_t k = from; k < to; ++k) {
                    const double chunkLow = minima[k], chunkHigh = maxima[k];
                    low = chunkLow < low ? chunkLow : low;
                    high = chunkHigh > high ? chunkHigh : high;
                }
                nan |= chunkFrom < chunkTo && NaNIn(chunkFrom, chunkTo);
            });
        return {low, high, nan};
    }
}

template <typename T>
void TValueBlock::WidenBy(TExtremes& e, std::size_t first, std::size_t end) const noexcept {
    const T* v = Values<T>();
    // Extremes in the stored type, which orders as the values do, decoded once. NaNs are
    // passed over; a chunk of NaNs keeps its empty extremes, infinities.
    constexpr T Highest = std::numeric_limits<T>::has_infinity ? std::numeric_limits<T>::infinity()
                                                               : std::numeric_limits<T>::max();
    constexpr T Lowest = std::numeric_limits<T>::has_infinity ? -std::numeric_limits<T>::infinity()
                                                              : std::numeric_limits<T>::lowest();
    auto widen = [&](T low, T high) {
        if (low <= high)
            e.Follow({Decode(low), Decode(high), false});
    };
    // The whole chunks and segments first,
    T low = Highest, high = Lowest;
    Pieces<T>(
        first, end, [](std::size_t, std::size_t) {},
        [&](const T* minima, const T* maxima, std::size_t from, std::size_t to,
            std::size_t chunkFrom, std::size_t chunkTo) {
            for (std::size_t k = from; k < to; ++k) {
                low = minima[k] < low ? minima[k] : low;
                high = maxima[k] > high ? maxima[k] : high;
            }
            e.NaN |= chunkFrom < chunkTo && NaNIn(chunkFrom, chunkTo);
        });
    widen(low, high);
    // then the values of a chunk cut by first or end, only where its extremes could widen e.
    const T* minima = ChunkMinima<T>();
    const T* maxima = ChunkMaxima<T>();
    Pieces<T>(
        first, end,
        [&](std::size_t from, std::size_t to) {
            if (from >= to)
                return;
            const std::size_t c = from / ChunkSize;
            const bool chunkNaN = NaNIn(c, c + 1);
            if (!chunkNaN && Decode(minima[c]) >= e.Min && Decode(maxima[c]) <= e.Max)
                return;
            T partLow = Highest, partHigh = Lowest;
            for (std::size_t i = from; i < to; ++i) {
                partLow = v[i] < partLow ? v[i] : partLow;
                partHigh = v[i] > partHigh ? v[i] : partHigh;
            }
            if (chunkNaN)
                for (std::size_t i = from; i < to; ++i)
                    e.NaN |= v[i] != v[i];
            widen(partLow, partHigh);
        },
        [](const T*, const T*, std::size_t, std::size_t, std::size_t, std::size_t) {});
}

void TValueBlock::Widen(TExtremes& e, std::size_t first, std::size_t end) const noexcept {
    if (first >= end)
        return;
    switch (form_) {
    case TForm::Steps:
        e.Take(steps_[first]);
        e.Take(steps_[end - 1]);
        return;
    case TForm::UInt8:
        return WidenBy<std::uint8_t>(e, first, end);
    case TForm::UInt16:
        return WidenBy<std::uint16_t>(e, first, end);
    case TForm::UInt32:
        return WidenBy<std::uint32_t>(e, first, end);
    case TForm::Float:
        return WidenBy<float>(e, first, end);
    case TForm::Double:
        return WidenBy<double>(e, first, end);
    }
}

TExtremes TValueBlock::ChunkExtremes(std::size_t chunk) const noexcept {
    const std::size_t i = chunk * ChunkSize;
    switch (form_) {
    case TForm::Steps: {
        TExtremes e;
        e.Take(steps_[i]);
        e.Take(steps_[i + ChunkSize - 1]);
        return e;
    }
    case TForm::UInt8:
        return {Decode(ChunkMinima<std::uint8_t>()[chunk]),
                Decode(ChunkMaxima<std::uint8_t>()[chunk]), false};
    case TForm::UInt16:
        return {Decode(ChunkMinima<std::uint16_t>()[chunk]),
                Decode(ChunkMaxima<std::uint16_t>()[chunk]), false};
    case TForm::UInt32:
        return {Decode(ChunkMinima<std::uint32_t>()[chunk]),
                Decode(ChunkMaxima<std::uint32_t>()[chunk]), false};
    case TForm::Float:
        return {ChunkMinima<float>()[chunk], ChunkMaxima<float>()[chunk],
                (nanChunks_ >> chunk & 1) != 0};
    case TForm::Double:
        return {ChunkMinima<double>()[chunk], ChunkMaxima<double>()[chunk],
                (nanChunks_ >> chunk & 1) != 0};
    }
    return {};
}

TExtremes TValueBlock::Extremes(std::size_t first, std::size_t end) const noexcept {
    if (first >= end)
        return {};
    switch (form_) {
    case TForm::Steps: {
        // Equal steps never turn back: the ends are the extremes.
        TExtremes e;
        e.Take(steps_[first]);
        e.Take(steps_[end - 1]);
        return e;
    }
    case TForm::UInt8:
        return Scan<std::uint8_t>(first, end);
    case TForm::UInt16:
        return Scan<std::uint16_t>(first, end);
    case TForm::UInt32:
        return Scan<std::uint32_t>(first, end);
    case TForm::Float:
        return Scan<float>(first, end);
    case TForm::Double:
        return Scan<double>(first, end);
    }
    return {};
}

void TValueBlock::Copy(std::size_t first, std::size_t count, double* out) const noexcept {
    auto copy = [&](const auto* stored) {
        for (std::size_t i = 0; i < count; ++i)
            out[i] = Decode(stored[first + i]);
    };
    switch (form_) {
    case TForm::Steps:
        for (std::size_t i = 0; i < count; ++i)
            out[i] = steps_[first + i];
        break;
    case TForm::UInt8:
        copy(Values<std::uint8_t>());
        break;
    case TForm::UInt16:
        copy(Values<std::uint16_t>());
        break;
    case TForm::UInt32:
        copy(Values<std::uint32_t>());
        break;
    case TForm::Float:
        copy(Values<float>());
        break;
    case TForm::Double:
        std::memcpy(out, Values<double>() + first, count * sizeof(double));
        break;
    }
}

void TValueBlock::Relocate(TPayloadArena& arena) {
    const std::size_t bytes = PayloadBytes();
    if (bytes == 0)
        return;
    std::byte* const payload = arena.Allocate(bytes);
    std::memcpy(payload, payload_, bytes);
    payload_ = payload;
}

void TValueBlock::Prefetch(std::size_t i) const noexcept {
    std::size_t width = 0;
    switch (form_) {
    case TForm::Steps:
        return;
    case TForm::UInt8:
        width = 1;
        break;
    case TForm::UInt16:
        width = 2;
        break;
    case TForm::UInt32:
    case TForm::Float:
        width = 4;
        break;
    case TForm::Double:
        width = 8;
        break;
    }
    __builtin_prefetch(payload_ + i * width);
    constexpr std::size_t Line = 64;
    for (std::size_t at = Size * width; at < Entries * width; at += Line)
        __builtin_prefetch(payload_ + at);
}

std::size_t TValueBlock::PayloadBytes() const noexcept {
    const std::size_t entries = Entries;
    switch (form_) {
    case TForm::Steps:
        return 0;
    case TForm::UInt8:
        return entries;
    case TForm::UInt16:
        return entries * 2;
    case TForm::UInt32:
    case TForm::Float:
        return entries * 4;
    case TForm::Double:
        return entries * 8;
    }
    return 0;
}

} // namespace store
