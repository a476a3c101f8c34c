#pragma once

// The expected advance of each curve number by period: ExpectedCurves' rule evaluated once for
// each of the 65,536 periods, so that a frame's deviation from its curve is one lookup however
// many frames are counted. 512 KiB a curve: the analysis page makes one for its curves and
// lends it to its plot, table and band counts.

#include "analysis/ExpectedCurves.h"
#include "telemetry/FrameTable.h"
#include "telemetry/Telemetry.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <vector>

namespace analysis {

class TExpectedAdvance {
public:
    explicit TExpectedAdvance(const TExpectedCurves& curves);
    TExpectedAdvance(const TExpectedAdvance&) = delete;
    TExpectedAdvance& operator=(const TExpectedAdvance&) = delete;

    // The curve numbers that have an expected curve.
    [[nodiscard]] const std::bitset<256>& Curves() const noexcept { return curves_; }
    // The curve's expected advance at the period's engine speed: Interpolate over its points at
    // EngineSpeed(period). NaN for a period of 0 and for a curve number without a curve.
    [[nodiscard]] double Expected(std::uint8_t curve, std::uint16_t period) const noexcept {
        return byPeriod_[curve][period];
    }
    // Frame i of the run: its advance minus its expected advance.
    [[nodiscard]] double Deviation(const telemetry::TFrameRun& run, std::size_t i) const noexcept {
        return telemetry::AdvanceDegrees(run.AdvanceCode(i)) -
               byPeriod_[run.CurveNumber(i)][run.Period(i)];
    }

private:
    std::bitset<256> curves_;
    std::vector<double> tables_; // NaN for every period, then a table for each of curves_
    std::array<const double*, 256> byPeriod_;
};

} // namespace analysis
