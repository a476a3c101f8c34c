#include "widgets/chart/ChartLabels.h"

#include "widgets/chart/ChartAxis.h"

#include <QLocale>

namespace chart {

double TValueLabels::Step(const TChartAxis& axis, int capacity) const {
    const double range = axis.Map().Range();
    if (axis.IsDateTime())
        return DateTimeLabelStep(range, capacity, axis.Increment());
    return ValueLabelStep(range, capacity, axis.Increment(), axis.LabelsSeparation());
}

TLabelWalk TValueLabels::Walk(const TChartAxis& axis, double step,
                              const TLabelWalkOptions& options) const {
    const TAxisMap& map = axis.Map();
    const double unit =
        axis.IsDateTime() && axis.ExactDateTime() ? CalendarUnit(axis.Increment(), step) : 0;
    if (unit > 0)
        return WalkCalendarLabels(map, unit, options);
    if (axis.Logarithmic() && axis.Increment() == 0)
        return WalkLogarithmicLabels(map, options);
    return WalkLabels(map, step, options);
}

QString TValueLabels::Text(const TChartAxis& axis, double value) const {
    const QLocale locale;
    if (axis.IsDateTime())
        return FormatDateTime(value, axis.DateTimeFormat(), axis.Map().Range(), locale);
    return FormatFloat(value, axis.AxisValuesFormat(), locale);
}

} // namespace chart
