#include "analysis/Extent.h"

#include "analysis/FrameKernel.h"

#include <algorithm>
#include <cmath>

namespace analysis {

std::optional<TValueExtent> QuantityExtent(const telemetry::TFrameTable& table, TQuantity q,
                                           const TExpectedAdvance* expected, TFrameRange range) {
    const kernel::TValueOf valueOf(q, expected);
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    valueOf.Dispatch([&](auto value) {
        table.ForEachRun(range.First, range.End, [&](const telemetry::TFrameRun& run) {
            for (std::size_t i = 0; i < run.Count; ++i) {
                const double v = value(run, i);
                // NaN fails both: no value.
                low = v < low ? v : low;
                high = v > high ? v : high;
            }
        });
    });
    if (low > high)
        return std::nullopt;
    const double a = valueOf.Value(low), b = valueOf.Value(high);
    return TValueExtent{std::min(a, b), std::max(a, b)};
}

std::optional<TValueExtent> Joined(std::optional<TValueExtent> a,
                                   std::optional<TValueExtent> b) noexcept {
    if (!a)
        return b;
    if (!b)
        return a;
    return TValueExtent{std::min(a->Minimum, b->Minimum), std::max(a->Maximum, b->Maximum)};
}

} // namespace analysis
