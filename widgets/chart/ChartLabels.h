#pragma once

// What an axis' labels say and where they stand, over the axis' map: a label engine picks
// the step for the room the axis has, walks the labelled values and writes their texts.
// An axis shows values (TValueLabels) unless it is given an engine of another kind.

#include "widgets/chart/ChartRules.h"

#include <QString>

class TChartAxis;

namespace chart {

class TLabelEngine {
public:
    virtual ~TLabelEngine() = default;
    // The step between labels when `capacity` of them fit along the axis.
    [[nodiscard]] virtual double Step(const TChartAxis& axis, int capacity) const = 0;
    // The labels and major ticks for that step, largest value first.
    [[nodiscard]] virtual TLabelWalk Walk(const TChartAxis& axis, double step,
                                          const TLabelWalkOptions& options) const = 0;
    // The text of the label for value, on one line (the axis may break it into several).
    [[nodiscard]] virtual QString Text(const TChartAxis& axis, double value) const = 0;
};

// Numbers in the axis' AxisValuesFormat, a step of the 1-2-5 sequence apart from its
// Increment up; on a date-time axis date-times in its DateTimeFormat, a step of the
// date-time table apart, or whole calendar units apart on an exact axis whose Increment is
// one of the table's steps; on a logarithmic axis without an Increment, the powers of its
// base.
class TValueLabels final : public TLabelEngine {
public:
    [[nodiscard]] double Step(const TChartAxis& axis, int capacity) const override;
    [[nodiscard]] TLabelWalk Walk(const TChartAxis& axis, double step,
                                  const TLabelWalkOptions& options) const override;
    [[nodiscard]] QString Text(const TChartAxis& axis, double value) const override;
};

} // namespace chart
