#include "analysis/Quantity.h"

#include <cmath>
#include <stdexcept>

namespace analysis {

namespace {

constexpr std::array<std::string_view, 8> Names = {"rpm",    "map",     "curve",     "temperature",
                                                   "octane", "advance", "deviation", "frame"};

} // namespace

std::string_view QuantityName(TQuantity q) noexcept {
    return Names[static_cast<std::size_t>(q)];
}

std::optional<TQuantity> QuantityNamed(std::string_view name) noexcept {
    for (std::size_t i = 0; i < Names.size(); ++i)
        if (Names[i] == name)
            return static_cast<TQuantity>(i);
    return std::nullopt;
}

// The chart's series positions are the field quantities' order.
std::optional<double> FieldValue(const telemetry::TFrameFields& frame, TQuantity q) noexcept {
    return IsField(q) ? telemetry::Quantity(frame, static_cast<int>(q)) : std::nullopt;
}

bool TFrameFilter::Passes(std::int64_t frame, const telemetry::TFrameFields& fields) const {
    if (!Frames.Contains(frame) || !Curves.test(fields.CurveNumber))
        return false;
    for (const TQuantityRange& range : Ranges) {
        const std::optional<double> value = FieldValue(fields, range.Quantity);
        if (!value || *value < range.Minimum || *value > range.Maximum)
            return false;
    }
    return true;
}

void CheckFilter(const TFrameFilter& filter) {
    for (const TQuantityRange& range : filter.Ranges) {
        if (!IsField(range.Quantity))
            throw std::invalid_argument("a frame filter's range is of a frame's field");
        if (std::isnan(range.Minimum) || std::isnan(range.Maximum))
            throw std::invalid_argument("a frame filter's range has NaN for an end");
    }
}

} // namespace analysis
