#pragma once

// What an axis' labels say and where they stand, over the axis' map: a label engine picks
// the step for the room the axis has, walks the labelled values and writes their texts.
// An axis shows values (TValueLabels) unless it is given an engine of another kind.

#include "widgets/chart/ChartRules.h"
#include "widgets/chart/ChartTimeline.h"

#include <QString>

#include <memory>

namespace chart {

// What an engine is told of the axis it labels.
struct TLabelScale {
    const TAxisMap& Map;
    bool DateTime; // the values are date-times, in days
    bool ExactDateTime;
    double Increment; // the smallest step wanted; 0 leaves it free
    int LabelsSeparation;
    const QString& ValuesFormat;
    const QString& DateTimeFormat;
};

class TLabelEngine {
public:
    virtual ~TLabelEngine() = default;
    // The step between labels when `capacity` of them fit along the axis.
    [[nodiscard]] virtual double Step(const TLabelScale& scale, int capacity) const = 0;
    // The labels and major ticks for that step, largest value first.
    [[nodiscard]] virtual TLabelWalk Walk(const TLabelScale& scale, double step,
                                          const TLabelWalkOptions& options) const = 0;
    // The text of the label for value, on one line (the axis may break it into several).
    [[nodiscard]] virtual QString Text(const TLabelScale& scale, double value) const = 0;
};

// Numbers in the values format, a step of the 1-2-5 sequence apart from the increment up;
// on a date-time axis date-times in the date-time format, a step of the date-time table
// apart, or whole calendar units apart on an exact axis whose increment is one of the
// table's steps; on a logarithmic axis without an increment, the powers of its base.
class TValueLabels final : public TLabelEngine {
public:
    [[nodiscard]] double Step(const TLabelScale& scale, int capacity) const override;
    [[nodiscard]] TLabelWalk Walk(const TLabelScale& scale, double step,
                                  const TLabelWalkOptions& options) const override;
    [[nodiscard]] QString Text(const TLabelScale& scale, double value) const override;
};

// Times since the start over an axis of frame numbers: labels at round seconds, minutes or
// hours ("м:сс", "ч:мм:сс" once the axis reaches an hour) standing at the frames the timeline
// puts them at, none inside a gap; "≈" before each when the times are estimated.
class TTimeLabels final : public TLabelEngine {
public:
    explicit TTimeLabels(std::shared_ptr<const TTimeline> timeline)
        : timeline_(std::move(timeline)) {}

    [[nodiscard]] double Step(const TLabelScale& scale, int capacity) const override;
    [[nodiscard]] TLabelWalk Walk(const TLabelScale& scale, double step,
                                  const TLabelWalkOptions& options) const override;
    [[nodiscard]] QString Text(const TLabelScale& scale, double value) const override;

private:
    std::shared_ptr<const TTimeline> timeline_;
};

} // namespace chart
