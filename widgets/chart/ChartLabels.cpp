#include "widgets/chart/ChartLabels.h"

#include <QLocale>

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

} // namespace chart
