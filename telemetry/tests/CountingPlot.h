#pragma once

// A plot that only counts the points a replay hands it, for the viewer's tests.

#include "telemetry/Telemetry.h"

#include <span>

namespace telemetry::testing {

struct TCountingPlot final : TFramePlot {
    int points = 0;
    void AddPoints(int, double, std::span<const double> ys, std::uint32_t) override {
        points += static_cast<int>(ys.size());
    }
};

} // namespace telemetry::testing
