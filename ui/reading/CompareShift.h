#pragma once

// Where a second recording B stands on the chart beside the one it shows, A: B's frame j is
// drawn at A's frame j + shift, a shift of any size either way. No Qt: pure arithmetic that
// saturates rather than wraps.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace compare {

// A recording's completed frames, First to Last.
struct TFrames {
    std::int64_t First;
    std::int64_t Last;
};

[[nodiscard]] constexpr std::int64_t Saturated(__int128 value) noexcept {
    return static_cast<std::int64_t>(std::clamp<__int128>(
        value, std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()));
}

// The shift that puts B's frame frameB at A's frame frameA.
[[nodiscard]] constexpr std::int64_t AligningShift(std::int64_t frameA,
                                                   std::int64_t frameB) noexcept {
    return Saturated(static_cast<__int128>(frameA) - frameB);
}

// Where B's frame stands on A's axis.
[[nodiscard]] constexpr std::int64_t OnA(std::int64_t frameB, std::int64_t shift) noexcept {
    return Saturated(static_cast<__int128>(frameB) + shift);
}

// B's frame at A's frame frameA; none past either end of B's frames.
[[nodiscard]] constexpr std::optional<std::int64_t>
FrameOfB(std::int64_t frameA, std::int64_t shift, TFrames b) noexcept {
    const __int128 j = static_cast<__int128>(frameA) - shift;
    if (j < b.First || j > b.Last)
        return std::nullopt;
    return static_cast<std::int64_t>(j);
}

// B's frames as they stand on A's axis.
[[nodiscard]] constexpr TFrames OnA(TFrames b, std::int64_t shift) noexcept {
    return {OnA(b.First, shift), OnA(b.Last, shift)};
}

// The frames of A's axis that either recording has, none when neither has any.
[[nodiscard]] constexpr std::optional<TFrames> Union(std::optional<TFrames> a,
                                                     std::optional<TFrames> bOnA) noexcept {
    if (!a)
        return bOnA;
    if (!bOnA)
        return a;
    return TFrames{std::min(a->First, bOnA->First), std::max(a->Last, bOnA->Last)};
}

// The shift after a drag along A's axis that started at shift, from value `from` to value
// `to` of the axis: moved by the frames dragged over, to the nearest whole frame.
[[nodiscard]] inline std::int64_t DraggedShift(std::int64_t shift, double from,
                                               double to) noexcept {
    const double moved = std::round(to - from);
    if (!(moved == moved))
        return shift;
    constexpr double limit = 9.2e18;
    return Saturated(static_cast<__int128>(shift) +
                     static_cast<__int128>(std::clamp(moved, -limit, limit)));
}

} // namespace compare
