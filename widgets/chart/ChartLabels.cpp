#include "widgets/chart/ChartLabels.h"

#include <QLocale>

#include <cmath>

namespace chart {

double TValueLabels::Step(const TLabelScale& scale, int capacity) const {
    const double range = scale.Map.Range();
    if (scale.DateTime)
        return DateTimeLabelStep(range, capacity, scale.Increment);
    return ValueLabelStep(range, capacity, scale.Increment, scale.LabelsSeparation);
}

TLabelWalk TValueLabels::Walk(const TLabelScale& scale, double step,
                              const TLabelWalkOptions& options) const {
    const double unit =
        scale.DateTime && scale.ExactDateTime ? CalendarUnit(scale.Increment, step) : 0;
    if (unit > 0)
        return WalkCalendarLabels(scale.Map, unit, options);
    if (scale.Map.Logarithmic && scale.Increment == 0)
        return WalkLogarithmicLabels(scale.Map, options);
    return WalkLabels(scale.Map, step, options);
}

QString TValueLabels::Text(const TLabelScale& scale, double value) const {
    const QLocale locale;
    if (scale.DateTime)
        return FormatDateTime(value, scale.DateTimeFormat, scale.Map.Range(), locale);
    return FormatFloat(value, scale.ValuesFormat, locale);
}

double TTimeLabels::Step(const TLabelScale& scale, int capacity) const {
    const double range =
        timeline_->Seconds(scale.Map.Maximum) - timeline_->Seconds(scale.Map.Minimum);
    return TimeLabelStep(range, capacity);
}

TLabelWalk TTimeLabels::Walk(const TLabelScale& scale, double step,
                             const TLabelWalkOptions& options) const {
    const TAxisMap& map = scale.Map;
    const double low = timeline_->Seconds(map.Minimum);
    const double high = timeline_->Seconds(map.Maximum);
    if (!(step > 0) || !((high - low) / step < MaxLabelSteps))
        return {};
    std::vector<double> frames;
    for (double t = std::floor(high / step) * step; t >= low - 1e-9; t -= step) {
        // Inside a gap a time has no frame of its own.
        if (!timeline_->InGap(t))
            frames.push_back(timeline_->Frame(t));
    }
    return WalkLabelsAt(map, frames, options);
}

QString TTimeLabels::Text(const TLabelScale& scale, double value) const {
    const bool hours = std::max(std::fabs(timeline_->Seconds(scale.Map.Maximum)),
                                std::fabs(timeline_->Seconds(scale.Map.Minimum))) >= 3600;
    const QString text = QString::fromStdString(ElapsedText(timeline_->Seconds(value), hours));
    return timeline_->Estimated() ? QStringLiteral("≈") + text : text;
}

} // namespace chart
