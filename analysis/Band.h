#pragma once

// How many frames of each curve number keep to the band around their expected curve. A frame
// is inside the band when |advance - expected| <= tolerance, the expected advance read off its
// curve at its engine speed (ExpectedCurves.h); frames with a period of 0 (no engine speed) and
// frames whose curve number has no curve are left out.

#include "analysis/ExpectedAdvance.h"
#include "analysis/FrameKernel.h"
#include "analysis/Quantity.h"
#include "telemetry/FrameTable.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace analysis {

inline constexpr double DefaultTolerance = 1;

[[nodiscard]] inline bool InsideBand(double advance, double expected, double tolerance) noexcept {
    return std::fabs(advance - expected) <= tolerance;
}

struct TCurveBand {
    std::uint8_t Curve;
    std::int64_t Frames;
    std::int64_t Outside;
    bool operator==(const TCurveBand&) const = default;
};

class TBandCounts {
public:
    // Counts the frames the filter passes; expected must outlive this. Raises
    // std::invalid_argument for a tolerance below 0 or not finite, or a filter that breaks its
    // rules.
    TBandCounts(const TExpectedAdvance& expected, double tolerance,
                const TFrameFilter& filter = {});
    TBandCounts(TExpectedAdvance&&, double, const TFrameFilter& = {}) = delete;

    // Adds the frames from Counted() to end - 1 (clamped to the table).
    void Extend(const telemetry::TFrameTable& table,
                std::int64_t end = std::numeric_limits<std::int64_t>::max());
    [[nodiscard]] std::int64_t Counted() const noexcept { return counted_; }
    [[nodiscard]] double Tolerance() const noexcept { return tolerance_; }

    // Each curve number with an expected curve and frames, ascending.
    [[nodiscard]] std::vector<TCurveBand> Curves() const;

private:
    double tolerance_;
    TFrameRange frames_;
    const TExpectedAdvance& expected_;
    kernel::TCellIndex index_;
    std::array<std::int64_t, 256> inside_{};
    std::array<std::int64_t, 256> outside_{};
    std::int64_t counted_ = 0;
};

// What "telmira-dcc band" prints: the header "curve,frames,outside", then a line per curve of
// Curves().
[[nodiscard]] std::string BandCsv(const TBandCounts& band);

} // namespace analysis
