#pragma once

// The range of values a quantity takes over a recording's frames: what an axis or a colour
// scale that follows the data spans.

#include "analysis/ExpectedAdvance.h"
#include "analysis/Quantity.h"
#include "telemetry/FrameTable.h"

#include <optional>

namespace analysis {

struct TValueExtent {
    double Minimum;
    double Maximum;
    bool operator==(const TValueExtent&) const = default;
};

// The smallest and the largest value of q over the frames of range that have one (the speed
// of a period of 0 and the deviation of a curve without a curve are none); none where no frame
// has one. expected is needed for the deviation (std::invalid_argument without it).
[[nodiscard]] std::optional<TValueExtent> QuantityExtent(const telemetry::TFrameTable& table,
                                                         TQuantity q,
                                                         const TExpectedAdvance* expected,
                                                         TFrameRange range = {});

// Both extents together; either may be none.
[[nodiscard]] std::optional<TValueExtent> Joined(std::optional<TValueExtent> a,
                                                 std::optional<TValueExtent> b) noexcept;

} // namespace analysis
