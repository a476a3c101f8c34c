#include "widgets/chart/ChartRules.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace chart {

namespace {

constexpr double PixelLimit = 2147483647.0;

int ClampToInt(double v) noexcept {
    return static_cast<int>(std::clamp(v, -PixelLimit, PixelLimit));
}

// Powers of ten are exact up to 1e22, so dividing by one gives the correctly rounded
// decimal (2 / 1e12 == 2e-12).
double ScaleByPowerOfTen(double mantissa, int exponent) noexcept {
    if (exponent >= 0)
        return mantissa * std::pow(10.0, exponent);
    return mantissa / std::pow(10.0, -exponent);
}

} // namespace

TRectI PlotRectFromMargins(int width, int height, const TMargins& m, int border) noexcept {
    TRectI r;
    r.Left = static_cast<int>(RoundHalfEven(width * m.Left / 100.0)) + border;
    r.Top = static_cast<int>(RoundHalfEven(height * m.Top / 100.0)) + border;
    r.Right = width - border - static_cast<int>(RoundHalfEven(width * m.Right / 100.0));
    r.Bottom = height - border - static_cast<int>(RoundHalfEven(height * m.Bottom / 100.0));
    r.Left = std::max(r.Left, 0);
    r.Top = std::max(r.Top, 0);
    if (r.Right < r.Left)
        r.Right = r.Left + 1;
    else if (r.Right == r.Left)
        r.Right = r.Left + width;
    if (r.Bottom < r.Top)
        r.Bottom = r.Top + 1;
    else if (r.Bottom == r.Top)
        r.Bottom = r.Top + height;
    return r;
}

TRectI IntersectOrKeep(const TRectI& previous, const TRectI& next) noexcept {
    TRectI r{std::max(previous.Left, next.Left), std::max(previous.Top, next.Top),
             std::min(previous.Right, next.Right), std::min(previous.Bottom, next.Bottom)};
    if (r.Right <= r.Left || r.Bottom <= r.Top)
        return previous;
    return r;
}

double NextLabelStep(double step) noexcept {
    if (!(step > 0) || !std::isfinite(step))
        return MinimumStep;
    int exponent = static_cast<int>(std::floor(std::log10(step)));
    double mantissa = step / std::pow(10.0, exponent);
    // log10 may land one decade off next to a power of ten; a step that is a power of ten
    // by a rounding error still counts as one.
    constexpr double tolerance = 1e-9;
    if (mantissa >= 10 * (1 - tolerance)) {
        mantissa /= 10;
        ++exponent;
    } else if (mantissa < 1 * (1 - tolerance)) {
        mantissa *= 10;
        --exponent;
    }
    if (mantissa < 2 * (1 - tolerance))
        return ScaleByPowerOfTen(2, exponent);
    if (mantissa < 5 * (1 - tolerance))
        return ScaleByPowerOfTen(5, exponent);
    return ScaleByPowerOfTen(1, exponent + 1);
}

int LabelCapacity(int axisLength, int labelSize, int separationPercent) noexcept {
    if (labelSize <= 0)
        return 1;
    const double gap = RoundHalfEven(separationPercent * 0.01 * labelSize);
    const double room = labelSize + gap;
    if (room <= 0)
        return 1;
    return ClampToInt(RoundHalfEven(axisLength / room));
}

double ValueLabelStep(double range, int capacity, double increment,
                      int separationPercent) noexcept {
    if (capacity < 1)
        return MinimumStep;
    double step = increment > 0 ? increment : std::fabs(range) >= 1 ? 1.0 : MinimumStep;
    if (separationPercent > 0) {
        // Each pass either fits or climbs a notch of the 1-2-5 sequence; a finite range
        // fits after at most a few dozen notches.
        for (int pass = 0; pass < 2000; ++pass) {
            const double q = range / step;
            if (std::fabs(q) < PixelLimit && RoundHalfEven(q) <= capacity)
                break;
            step = NextLabelStep(step);
        }
    }
    return std::max(step, MinimumStep);
}

const std::vector<double>& DateTimeSteps() noexcept {
    static const std::vector<double> steps = [] {
        const double s = OneSecond, m = 60 * s, h = 60 * m;
        return std::vector<double>{s,      5 * s,  10 * s, 15 * s, 30 * s, m,     5 * m,
                                   10 * m, 15 * m, 30 * m, h,      2 * h,  6 * h, 12 * h,
                                   1,      2,      3,      7,      15,     30,    60,
                                   90,     120,    182,    365};
    }();
    return steps;
}

double DateTimeLabelStep(double range, int capacity, double increment) noexcept {
    if (capacity < 1)
        return OneSecond;
    double step = std::max(increment, OneSecond);
    if (range / step > 1000000)
        step = range / 1000000;
    const auto& table = DateTimeSteps();
    for (int pass = 0; pass < 2000 && RoundHalfEven(range / step) > capacity; ++pass) {
        auto next = std::upper_bound(table.begin(), table.end(), step);
        step = next != table.end() ? *next : step * 2;
    }
    return std::max(step, OneSecond);
}

int TAxisMap::ToPixel(double value) const noexcept {
    const double range = Range();
    if (range == 0)
        return Centre();
    double t;
    if (Logarithmic && Minimum > 0 && Maximum > 0 && LogarithmicBase > 1) {
        if (value <= 0)
            return Horizontal != Inverted ? Start : End;
        const double lb = std::log(LogarithmicBase);
        const double lmin = std::log(Minimum) / lb, lmax = std::log(Maximum) / lb;
        t = (std::log(value) / lb - lmin) * Length() / (lmax - lmin);
    } else {
        t = (value - Minimum) * Length() / range;
    }
    if (!(std::fabs(t) < PixelLimit)) // NaN too
        return Centre();
    const double rounded = RoundHalfEven(t);
    return Horizontal != Inverted ? ClampToInt(Start + rounded) : ClampToInt(End - rounded);
}

double TAxisMap::ToValue(double pixel) const noexcept {
    const int length = Length();
    if (length < 1)
        return 0;
    const double offset = Inverted ? End - pixel : pixel - Start;
    if (Logarithmic && Minimum > 0 && Maximum > 0 && LogarithmicBase > 1) {
        const double lmin = std::log(Minimum), lmax = std::log(Maximum);
        const double d = offset * (lmax - lmin) / length;
        return Horizontal ? std::exp(lmin + d) : std::exp(lmax - d);
    }
    const double d = offset * Range() / length;
    return Horizontal ? Minimum + d : Maximum - d;
}

namespace {

// A label is drawn only on its axis: the walk's allowance for rounding below the minimum
// reaches past the axis' end once the range is narrow against the values.
void Record(TLabelWalk& walk, const TAxisMap& map, double value, const TLabelWalkOptions& o) {
    const int pixel = map.ToPixel(value);
    if (pixel < map.Start || pixel > map.End)
        return;
    if (!o.LabelsOnAxis && !(pixel > map.Start && pixel < map.End))
        return;
    if (o.Labels)
        walk.Labels.push_back({value, pixel});
    if ((o.Labels || !o.TickOnLabelsOnly) && walk.Ticks.size() < MaxTicks)
        walk.Ticks.push_back(pixel);
}

} // namespace

TLabelWalk WalkLabels(const TAxisMap& map, double step, const TLabelWalkOptions& o) {
    TLabelWalk walk;
    const double range = map.Range();
    if (!(step > 0) || !(std::fabs(range / step) < MaxLabelSteps))
        return walk;
    double value = map.Maximum;
    if (map.Minimum != map.Maximum && o.RoundFirstLabel)
        value = std::trunc(map.Maximum / step) * step;
    while (value > map.Maximum)
        value -= step;
    // A little below the minimum, so that a label the steps reach only up to rounding
    // errors is still drawn, on either side of zero.
    const double lowerLimit = map.Minimum - 1e-12 - std::fabs(map.Minimum) * 1e-12;
    while (value >= lowerLimit) {
        Record(walk, map, value, o);
        if (range == 0)
            break;
        const double next = value - step;
        if (next == value)
            break;
        value = next;
    }
    return walk;
}

TLabelWalk WalkLabelsAt(const TAxisMap& map, const std::vector<double>& values,
                        const TLabelWalkOptions& o) {
    TLabelWalk walk;
    for (double value : values)
        Record(walk, map, value, o);
    return walk;
}

TLabelWalk WalkLogarithmicLabels(const TAxisMap& map, const TLabelWalkOptions& o) {
    TLabelWalk walk;
    if (!(map.Minimum > 0) || !(map.Maximum > 0) || !(map.LogarithmicBase > 1))
        return walk;
    const double base = map.LogarithmicBase;
    // The quotient of logarithms falls a rounding error short of a whole power (log 1000 /
    // log 10 is 2.9999999999999996): the power that is the maximum itself is labelled too.
    double value = std::pow(base, std::floor(std::log(map.Maximum) / std::log(base) + 1e-9));
    if (value > map.Maximum * (1 + 1e-12))
        value /= base;
    for (int i = 0; i < MaxLabelSteps && value >= map.Minimum * (1 - 1e-12); ++i) {
        Record(walk, map, value, o);
        value /= base;
    }
    return walk;
}

double CalendarUnit(double increment, double step) noexcept {
    const auto& table = DateTimeSteps();
    auto at = std::find_if(table.begin(), table.end(),
                           [&](double entry) { return std::fabs(entry - increment) < OneSecond; });
    if (at == table.end())
        return 0;
    auto unit = std::find_if(at, table.end(), [&](double entry) { return entry >= step; });
    return unit != table.end() ? *unit : table.back();
}

namespace {

const QDate CalendarEpoch(1899, 12, 30);

double DaysOf(const QDate& date) noexcept {
    return static_cast<double>(CalendarEpoch.daysTo(date));
}

} // namespace

TLabelWalk WalkCalendarLabels(const TAxisMap& map, double unit, const TLabelWalkOptions& o) {
    TLabelWalk walk;
    if (!(unit > 0) || !(std::fabs(map.Range() / unit) < MaxLabelSteps) || map.Maximum < 0 ||
        !(map.Maximum < 3e6))
        return walk;
    const double lowerLimit = map.Minimum - 1e-12 - std::fabs(map.Minimum) * 1e-12;
    if (unit < 1) {
        double value = std::trunc(map.Maximum / unit) * unit;
        for (; value >= lowerLimit; value -= unit)
            Record(walk, map, value, o);
        return walk;
    }
    const int days = static_cast<int>(RoundHalfEven(unit));
    QDate date = CalendarEpoch.addDays(static_cast<qint64>(std::floor(map.Maximum)));
    int months = 0;
    if (days >= 365) {
        date = QDate(date.year(), 1, 1);
        months = 12;
    } else if (days >= 30) {
        date = QDate(date.year(), date.month(), 1);
        months = days >= 182 ? 6 : days >= 120 ? 4 : days >= 90 ? 3 : days >= 60 ? 2 : 1;
    } else if (days >= 15) {
        date = QDate(date.year(), date.month(), date.day() >= 15 ? 15 : 1);
    }
    for (int i = 0; i < MaxLabelSteps && DaysOf(date) >= lowerLimit; ++i) {
        Record(walk, map, DaysOf(date), o);
        if (months > 0)
            date = date.addMonths(-months);
        else if (days >= 15)
            date = date.day() == 15 ? QDate(date.year(), date.month(), 1)
                                    : date.addMonths(-1).addDays(14);
        else
            date = date.addDays(-days);
    }
    return walk;
}

std::vector<int> MinorTickPixels(const std::vector<int>& ticks, int count, int start, int end,
                                 bool logarithmic) {
    std::vector<int> pixels;
    if (ticks.empty() || count <= 0)
        return pixels;
    auto add = [&](double p) {
        const int pixel = static_cast<int>(RoundHalfEven(p));
        if (pixel > start && pixel < end)
            pixels.push_back(pixel);
    };
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        const double span = ticks[i] - ticks[i - 1];
        for (int j = 1; j <= count; ++j)
            add(ticks[i] - RoundHalfEven(j * span / (count + 1)));
    }
    if (ticks.size() >= 2 && !logarithmic) {
        const double d = static_cast<double>(ticks[1] - ticks[0]) / (count + 1);
        for (int j = 1; j <= count; ++j) {
            add(ticks.front() - RoundHalfEven(j * d));
            add(ticks.back() + RoundHalfEven(j * d));
        }
    }
    return pixels;
}

namespace {

struct TNumberFormat {
    QString Prefix, Suffix;
    bool Grouping = false;
    int MinIntegerDigits = 0;
    int MinDecimals = 0;
    int MaxDecimals = 0;
};

TNumberFormat ParseNumberFormat(const QString& format) {
    TNumberFormat f;
    const QString section = format.section(QLatin1Char(';'), 0, 0);
    auto isPattern = [](QChar c) { return c == '#' || c == '0' || c == ',' || c == '.'; };
    qsizetype first = 0;
    while (first < section.size() && !isPattern(section[first]))
        ++first;
    qsizetype last = section.size();
    while (last > first && !isPattern(section[last - 1]))
        --last;
    f.Prefix = section.left(first);
    f.Suffix = section.mid(last);
    bool decimals = false;
    for (qsizetype i = first; i < last; ++i) {
        const QChar c = section[i];
        if (c == '.') {
            decimals = true;
        } else if (!decimals) {
            if (c == ',')
                f.Grouping = true;
            else if (c == '0')
                ++f.MinIntegerDigits;
        } else if (c == '0' || c == '#') {
            if (c == '0' && f.MaxDecimals == f.MinDecimals)
                ++f.MinDecimals;
            ++f.MaxDecimals;
        }
    }
    return f;
}

} // namespace

QString FormatFloat(double value, const QString& format, const QLocale& locale) {
    if (!std::isfinite(value))
        return QString::number(value);
    const TNumberFormat f = ParseNumberFormat(format);
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.*f", f.MaxDecimals, std::fabs(value));
    QString digits = QString::fromLatin1(buffer);
    QString integer = digits.section(QLatin1Char('.'), 0, 0);
    QString fraction = digits.section(QLatin1Char('.'), 1, 1);
    while (fraction.size() > f.MinDecimals && fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    const bool zero =
        std::none_of(digits.begin(), digits.end(), [](QChar c) { return c >= '1' && c <= '9'; });
    if (integer == QLatin1String("0") && f.MinIntegerDigits == 0)
        integer.clear();
    while (integer.size() < f.MinIntegerDigits)
        integer.prepend(QLatin1Char('0'));
    if (f.Grouping) {
        const QString separator = locale.groupSeparator();
        for (qsizetype at = integer.size() - 3; at > 0; at -= 3)
            integer.insert(at, separator);
    }
    QString text = integer;
    if (!fraction.isEmpty())
        text += locale.decimalPoint() + fraction;
    if (value < 0 && !zero)
        text.prepend(QLatin1Char('-'));
    return f.Prefix + text + f.Suffix;
}

QString FormatDateTime(double days, const QString& format, double range, const QLocale& locale) {
    if (days < 0 || !std::isfinite(days))
        return {};
    static const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0), QTimeZone::utc());
    const QDateTime at = epoch.addMSecs(static_cast<qint64>(RoundHalfEven(days * 86400000.0)));
    if (format.isEmpty())
        return range > 1 ? locale.toString(at.date(), QLocale::ShortFormat)
                         : locale.toString(at.time(), QLocale::ShortFormat);
    const QDate date = at.date();
    const QTime time = at.time();
    auto number = [](int v, int width) {
        return QStringLiteral("%1").arg(v, width, 10, QLatin1Char('0'));
    };
    QString text;
    bool afterHour = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i].toLower();
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run].toLower() == c)
            ++run;
        if (c == '"' || c == '\'') {
            const qsizetype close = format.indexOf(format[i], i + 1);
            const qsizetype stop = close < 0 ? format.size() : close;
            text += format.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        switch (c.unicode()) {
        case 'y':
            text += run <= 2 ? number(date.year() % 100, 2) : number(date.year(), 4);
            break;
        case 'm':
            text += afterHour ? number(time.minute(), run >= 2 ? 2 : 1)
                              : number(date.month(), run >= 2 ? 2 : 1);
            break;
        case 'd':
            text += number(date.day(), run >= 2 ? 2 : 1);
            break;
        case 'h':
            text += number(time.hour(), run >= 2 ? 2 : 1);
            break;
        case 'n':
            text += number(time.minute(), run >= 2 ? 2 : 1);
            break;
        case 's':
            text += number(time.second(), run >= 2 ? 2 : 1);
            break;
        case 'z':
            text += number(time.msec(), run >= 3 ? 3 : 1);
            break;
        default:
            text += format.mid(i, run);
            break;
        }
        if (c != ' ' && c != ':')
            afterHour = c == 'h';
        i += run;
    }
    return text;
}

} // namespace chart
