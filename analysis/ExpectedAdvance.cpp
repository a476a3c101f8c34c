#include "analysis/ExpectedAdvance.h"

#include <limits>

namespace analysis {

namespace {

constexpr std::size_t Periods = 65536;

} // namespace

TExpectedAdvance::TExpectedAdvance(const TExpectedCurves& curves) {
    for (std::size_t curve = 0; curve < 256; ++curve)
        curves_[curve] = curves.Has(static_cast<std::uint8_t>(curve));
    tables_.assign((1 + curves_.count()) * Periods, std::numeric_limits<double>::quiet_NaN());
    std::size_t next = Periods;
    for (std::size_t curve = 0; curve < 256; ++curve) {
        if (!curves_.test(curve)) {
            byPeriod_[curve] = tables_.data();
            continue;
        }
        double* expected = tables_.data() + next;
        next += Periods;
        const auto points = curves.Points(static_cast<std::uint8_t>(curve));
        for (std::size_t period = 1; period < Periods; ++period)
            expected[period] =
                Interpolate(points, telemetry::EngineSpeed(static_cast<std::uint16_t>(period)));
        byPeriod_[curve] = expected;
    }
}

} // namespace analysis
