#pragma once

// The chart's side of a second recording B beside the one it shows, A: the stretch of A's axis
// the two span together, and a drag of B along it. Where B's frames stand is
// analysis::TAlignment's, the rule the recording tool compares by too. No Qt.

#include "analysis/Alignment.h"

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

// B's frames as they stand on A's axis.
[[nodiscard]] constexpr TFrames OnA(TFrames b, analysis::TAlignment alignment) noexcept {
    return {alignment.OnA(b.First), alignment.OnA(b.Last)};
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
// `to` of the axis: moved by the frames dragged over, to the nearest whole frame, saturating
// rather than wrapping.
[[nodiscard]] inline std::int64_t DraggedShift(std::int64_t shift, double from,
                                               double to) noexcept {
    const double moved = std::round(to - from);
    if (!(moved == moved))
        return shift;
    constexpr double limit = 9.2e18;
    const __int128 dragged =
        static_cast<__int128>(shift) + static_cast<__int128>(std::clamp(moved, -limit, limit));
    return static_cast<std::int64_t>(
        std::clamp<__int128>(dragged, std::numeric_limits<std::int64_t>::min(),
                             std::numeric_limits<std::int64_t>::max()));
}

} // namespace compare
