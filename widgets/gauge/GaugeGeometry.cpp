#include "widgets/gauge/GaugeGeometry.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace gauge {

double ResolveSize(TElementSize size, double reference) noexcept {
    if (!size.Proportional) {
        return size.Value;
    }
    return size.Value <= 100 ? size.Value * reference : reference;
}

double ResolveOffset(TElementSize offset, double reference) noexcept {
    if (!offset.Proportional) {
        return offset.Value;
    }
    if (offset.Value > 100) {
        return reference;
    }
    if (offset.Value < -100) {
        return -reference;
    }
    return offset.Value * reference;
}

TDialMetrics ComputeDialMetrics(int width, int height, const TDialSizes& sizes) noexcept {
    TDialMetrics m;
    m.D = std::min(width, height);
    m.V = ResolveSize(sizes.BorderWidth, m.D);
    m.T = sizes.BevelOuterOn ? ResolveSize(sizes.BevelOuterWidth, m.D) : 0.0;
    m.U = sizes.BevelInnerOn ? ResolveSize(sizes.BevelInnerWidth, m.D) : 0.0;
    m.B = m.V + m.T + m.U;
    m.BPrime = m.V + m.T / 2 + m.U / 2;
    m.R = m.D / 2 - m.B;
    m.S = ResolveSize(sizes.ScalePosition, m.R);
    return m;
}

QPointF DialOffset(int width, int height, bool proportional) noexcept {
    if (!proportional) {
        return {0, 0};
    }
    const int d = std::min(width, height);
    return {(width - d) / 2.0, (height - d) / 2.0};
}

TScaleEnds ScaleEnds(float minAngle, float maxAngle) noexcept {
    TScaleEnds ends;
    ends.Start = 360 - maxAngle;
    ends.End = 360 - minAngle;
    ends.Sweep = 360 - (ends.Start - ends.End);
    return ends;
}

float HandAngle(double min, double max, double value, bool reversed, TScaleEnds ends) noexcept {
    const float lo = static_cast<float>(min);
    const float span = static_cast<float>(max) - lo;
    float percent = span == 0 ? 0.0f : (static_cast<float>(value) - lo) * 100.0f / span;
    if (reversed) {
        percent = 100.0f - percent;
    }
    return ends.Start + ends.Sweep * percent / 100.0f;
}

QPointF PolarPoint(QPointF centre, double radius, double radians) noexcept {
    return {centre.x() + radius * std::cos(radians), centre.y() + radius * std::sin(radians)};
}

std::vector<TTickMark> LayoutTicks(const TTickRules& rules) {
    std::vector<TTickMark> marks;
    const unsigned n = rules.MajorCount;
    if (n == 0) {
        return marks;
    }
    constexpr float degree = std::numbers::pi_v<float> / 180.0f;
    float theta = (rules.Reversed ? rules.Ends.End : rules.Ends.Start) * degree;
    const float minValue = static_cast<float>(rules.Min);
    if (n == 1) {
        if (rules.MajorVisible && rules.MinTickVisible) {
            marks.push_back(
                {true, theta, rules.MajorLabelsVisible && rules.MinTickLabelVisible, minValue});
        }
        return marks;
    }
    const unsigned m = rules.MinorCount;
    const float intervals = static_cast<float>((n - 1) * (m + 1));
    const float step = (rules.Ends.Sweep / intervals) * degree * (rules.Reversed ? -1.0f : 1.0f);
    const float majorStep = static_cast<float>((rules.Max - rules.Min) / (n - 1));
    const float minorStep = majorStep / static_cast<float>(m + 1);

    float value = minValue;
    for (unsigned i = 0; i < n; ++i) {
        const bool first = i == 0;
        const bool last = i == n - 1;
        const bool inner = !first && !last;
        const bool tickShown = rules.MajorVisible && (inner || (first && rules.MinTickVisible) ||
                                                      (last && rules.MaxTickVisible));
        if (tickShown) {
            const bool labelled =
                rules.MajorLabelsVisible && (inner || (first && rules.MinTickLabelVisible) ||
                                             (last && rules.MaxTickLabelVisible));
            marks.push_back({true, theta, labelled, value});
        }
        if (last) {
            if (!rules.MajorVisible && rules.MinorVisible) {
                marks.push_back({false, theta, rules.MinorLabelsVisible, value});
            }
            break;
        }
        for (unsigned j = 0; j <= m; ++j) {
            if (rules.MinorVisible && (j > 0 || !rules.MajorVisible)) {
                marks.push_back({false, theta, rules.MinorLabelsVisible,
                                 value + static_cast<float>(j) * minorStep});
            }
            theta += step;
        }
        value += majorStep;
    }
    return marks;
}

int LabelDecimals(bool fixedPrecision, unsigned numberDigits, double range) noexcept {
    const int digits = static_cast<int>(std::min(numberDigits, 32u));
    if (fixedPrecision) {
        return digits;
    }
    if (digits == 0) {
        return 0;
    }
    const double r = std::fabs(range);
    if (!std::isfinite(r)) {
        return 0;
    }
    int d = 0;
    if (r != 0) {
        d = digits - (static_cast<int>(std::trunc(std::log10(r))) + 1);
    }
    if (r < 1) {
        ++d;
    }
    return std::max(d, 0);
}

QString LabelText(double value, int decimals, const QString& decimalSeparator) {
    QString text = QString::number(value, 'f', decimals).trimmed();
    if (text.startsWith(QLatin1Char('-')) &&
        std::all_of(text.cbegin() + 1, text.cend(),
                    [](QChar c) { return c == QLatin1Char('0') || c == QLatin1Char('.'); })) {
        text.remove(0, 1);
    }
    text.replace(QLatin1Char('.'), decimalSeparator);
    return text;
}

QString LocaleDecimalSeparator() {
    return QLocale::system().decimalPoint();
}

namespace {

double Light(double q) noexcept {
    return 1 - std::fabs(180 - q) / 180;
}

int LightAlpha(double weight) noexcept {
    const double alpha = std::nearbyint(weight * 170) + 20;
    return static_cast<int>(std::clamp(alpha, 0.0, 255.0));
}

} // namespace

THandLighting HandLighting(float angle) noexcept {
    const double a = angle;
    double q1 = a - 45;
    if (q1 > 360) {
        q1 -= 360;
    } else if (q1 < 0) {
        q1 += 360;
    }
    double q2 = a + 45;
    if (q2 > 360) {
        q2 -= 360;
    }
    double q3 = a + 135;
    if (q3 > 360) {
        q3 -= 360;
    } else if (q3 < 0) {
        q3 += 360;
    }
    const double l1 = Light(q1);
    const double l2 = Light(q2);
    const double l3 = Light(q3);
    return {LightAlpha((1 - l2) * 3 / 4 + l1 / 4), LightAlpha(l1 / 4 + l2 * 3 / 4),
            LightAlpha(l1 / 4 + l3 * 3 / 4)};
}

THandShape HandShape(double length, double tailLength, double tipWidth, double tailWidth,
                     double tailIndent) noexcept {
    const double tip = tipWidth / 2;
    const double tail = (tipWidth + tailWidth) / 2;
    const QPointF tailTop(-tailLength, -tail);
    const QPointF tailBottom(-tailLength, tail);
    const QPointF tipTop(length, -tip);
    const QPointF tipBottom(length, tip);
    const QPointF indentTop(tailIndent - tailLength, -tip);
    const QPointF indentBottom(tailIndent - tailLength, tip);
    THandShape shape;
    shape.Outline = {tailTop, tipTop, tipBottom, tailBottom};
    shape.FacetA = {indentTop, tailTop, tipTop};
    shape.FacetB = {indentBottom, tailBottom, tipBottom};
    shape.TailFacet = {tailTop, tailBottom, indentBottom, indentTop};
    shape.ShadowCentre = QPointF(-tailLength / 2, 0);
    return shape;
}

namespace {

int Channel(TArgb c, int shift) noexcept {
    return static_cast<int>((c >> shift) & 0xFF);
}

TArgb Pack(int a, int r, int g, int b) noexcept {
    return (static_cast<TArgb>(a) << 24) | (static_cast<TArgb>(r) << 16) |
           (static_cast<TArgb>(g) << 8) | static_cast<TArgb>(b);
}

} // namespace

TArgb BevelDarkColour(TArgb border) noexcept {
    const auto dark = [border](int shift) {
        return std::min(255, static_cast<int>(std::lround(Channel(border, shift) * 0.65)));
    };
    return Pack(Channel(border, 24), dark(16), dark(8), dark(0));
}

double MixFactor(double t) noexcept {
    return std::clamp(t - 0.095 * std::sin(2 * std::numbers::pi * t), 0.0, 1.0);
}

TArgb MixColour(TArgb c1, TArgb c2, double t) noexcept {
    const double a = MixFactor(t);
    const auto mix = [&](int shift) {
        const int from = Channel(c1, shift);
        return static_cast<int>(std::lround(from + (Channel(c2, shift) - from) * a));
    };
    return Pack(mix(24), mix(16), mix(8), mix(0));
}

int CentreShadowAlpha(double bottomSizeOf400) noexcept {
    return static_cast<int>(std::clamp(std::nearbyint(bottomSizeOf400) + 50, 0.0, 140.0));
}

std::array<std::pair<double, double>, 4> BevelBlend(double boxWidth, double boxHeight) noexcept {
    const double larger = std::max(boxWidth, boxHeight);
    const double k = larger > 0 ? std::min(boxWidth, boxHeight) / larger : 1.0;
    return {{{0.0, 0.0}, {0.14 * k, 0.0}, {1 - 0.14 * k, 1.0}, {1.0, 1.0}}};
}

} // namespace gauge
