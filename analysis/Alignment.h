#pragma once

// A second recording B beside the one on screen, A, shifted along A's frame axis so that the
// same stretch of road lines up: B's frame j stands at A's frame j + Shift. A shift of any size
// either way is allowed; frames past either end of a recording are none.

#include "analysis/Quantity.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

namespace analysis {

struct TAlignment {
    std::int64_t Shift = 0;

    // The shift that puts B's frame frameB at A's frame frameA.
    [[nodiscard]] static constexpr TAlignment Aligning(std::int64_t frameA,
                                                       std::int64_t frameB) noexcept {
        return {Saturated(static_cast<__int128>(frameA) - frameB)};
    }

    // Where B's frame stands on A's axis.
    [[nodiscard]] constexpr std::int64_t OnA(std::int64_t frameB) const noexcept {
        return Saturated(static_cast<__int128>(frameB) + Shift);
    }
    // B's frame at A's frame frameA; none where B, of rowsB frames, has none.
    [[nodiscard]] constexpr std::optional<std::int64_t>
    FrameOfB(std::int64_t frameA, std::int64_t rowsB) const noexcept {
        const __int128 j = static_cast<__int128>(frameA) - Shift;
        if (j < 0 || j >= rowsB)
            return std::nullopt;
        return static_cast<std::int64_t>(j);
    }
    // B's frames at A's frames a, of B's rowsB; empty where they lie past either end of B.
    [[nodiscard]] constexpr TFrameRange FramesOfB(TFrameRange a,
                                                  std::int64_t rowsB) const noexcept {
        const __int128 first = std::max<__int128>(static_cast<__int128>(a.First) - Shift, 0);
        const __int128 end = std::min<__int128>(static_cast<__int128>(a.End) - Shift, rowsB);
        if (end <= first)
            return {0, 0};
        return {static_cast<std::int64_t>(first), static_cast<std::int64_t>(end)};
    }
    // A's frames, of rowsA, at which B, of rowsB, has a frame too.
    [[nodiscard]] constexpr TFrameRange Overlap(std::int64_t rowsA,
                                                std::int64_t rowsB) const noexcept {
        const __int128 first = std::max<__int128>(Shift, 0);
        const __int128 end = std::min<__int128>(static_cast<__int128>(rowsB) + Shift, rowsA);
        if (end <= first)
            return {0, 0};
        return {static_cast<std::int64_t>(first), static_cast<std::int64_t>(end)};
    }

    // The filter B's frames pass where A's pass filter: the same but for the frames, which are
    // B's at A's; a filter of all A's frames passes all B's, those before A's first included.
    [[nodiscard]] TFrameFilter FilterOfB(TFrameFilter filter, std::int64_t rowsB) const {
        if (filter.Frames != TFrameRange{})
            filter.Frames = FramesOfB(filter.Frames, rowsB);
        return filter;
    }

    bool operator==(const TAlignment&) const = default;

private:
    [[nodiscard]] static constexpr std::int64_t Saturated(__int128 value) noexcept {
        return static_cast<std::int64_t>(
            std::clamp<__int128>(value, std::numeric_limits<std::int64_t>::min(),
                                 std::numeric_limits<std::int64_t>::max()));
    }
};

} // namespace analysis
