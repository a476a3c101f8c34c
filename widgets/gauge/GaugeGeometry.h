#pragma once

// The dial's rules with no painting: reference lengths, angles, tick layout, label texts,
// hand lighting and colour mixes. Angles are degrees clockwise from the right-pointing
// direction with y pointing down, so the point at angle θ and radius r from (cx, cy) is
// (cx + r·cos θ, cy + r·sin θ).

#include <QPointF>
#include <QString>
#include <QtGlobal>

#include <array>
#include <cstdint>
#include <vector>

namespace gauge {

using TArgb = std::uint32_t; // 0xAARRGGBB

// A length given as a fraction of a reference length, or in pixels.
struct TElementSize {
    float Value = 0;
    bool Proportional = true;
};

// Fraction of the reference while proportional (at most the whole reference), else pixels.
[[nodiscard]] double ResolveSize(TElementSize size, double reference) noexcept;
// The same for signed offsets: a proportional offset is limited to ±reference.
[[nodiscard]] double ResolveOffset(TElementSize offset, double reference) noexcept;

struct TDialSizes {
    TElementSize BorderWidth;
    TElementSize BevelOuterWidth;
    bool BevelOuterOn = true; // style is not bvsNone
    TElementSize BevelInnerWidth;
    bool BevelInnerOn = true;
    TElementSize ScalePosition;
};

struct TDialMetrics {
    double D = 0;      // dial size: the smaller side
    double V = 0;      // border width
    double T = 0;      // outer bevel width, 0 when the bevel is off
    double U = 0;      // inner bevel width, 0 when the bevel is off
    double B = 0;      // border thickness V + T + U
    double BPrime = 0; // V + T / 2 + U / 2: the border ring's pen width
    double R = 0;      // face radius D / 2 - B
    double S = 0;      // scale radius
};

[[nodiscard]] TDialMetrics ComputeDialMetrics(int width, int height,
                                              const TDialSizes& sizes) noexcept;

// Offset of the dial box inside the control: a centred D x D square when the border is
// proportional, the whole control otherwise.
[[nodiscard]] QPointF DialOffset(int width, int height, bool proportional) noexcept;

struct TScaleEnds {
    float Start = 0;
    float End = 0;
    float Sweep = 0;
};

// MinAngle and MaxAngle are counter-clockwise; the scale runs clockwise from the MaxAngle
// end (Start) to the MinAngle end (End). No reduction modulo 360.
[[nodiscard]] TScaleEnds ScaleEnds(float minAngle, float maxAngle) noexcept;

// Degrees; not limited to the scale, so a value outside [min, max] turns the hand past an end.
[[nodiscard]] float HandAngle(double min, double max, double value, bool reversed,
                              TScaleEnds ends) noexcept;

[[nodiscard]] QPointF PolarPoint(QPointF centre, double radius, double radians) noexcept;

struct TTickRules {
    TScaleEnds Ends;
    bool Reversed = false;
    double Min = 0;
    double Max = 100;
    unsigned MajorCount = 11;
    unsigned MinorCount = 4;
    bool MajorVisible = true;
    bool MinorVisible = true;
    bool MajorLabelsVisible = true;
    bool MinorLabelsVisible = false;
    bool MinTickVisible = true;
    bool MinTickLabelVisible = true;
    bool MaxTickVisible = true;
    bool MaxTickLabelVisible = true;
};

struct TTickMark {
    bool Major = true;
    float Radians = 0; // direction of the tick from the scale centre
    bool Labelled = false;
    float LabelValue = 0;
};

// The ticks to draw, in drawing order. A major count of 1 gives one tick at the Min end;
// 0 gives none.
[[nodiscard]] std::vector<TTickMark> LayoutTicks(const TTickRules& rules);

// Decimals of the label texts for a value range (for minor labels the caller passes the
// range divided by the major count).
[[nodiscard]] int LabelDecimals(bool fixedPrecision, unsigned numberDigits, double range) noexcept;

// Fixed-point text with exactly `decimals` decimals, the given decimal separator and no
// thousands separator. A value that rounds to zero is shown unsigned.
[[nodiscard]] QString LabelText(double value, int decimals, const QString& decimalSeparator);

// The user's decimal separator.
[[nodiscard]] QString LocaleDecimalSeparator();

// Alphas of white over the hand's two long facets and its tail-end facet.
struct THandLighting {
    int A = 0;
    int B = 0;
    int F = 0;
};
[[nodiscard]] THandLighting HandLighting(float angle) noexcept;

// The hand in its own coordinates: x along the hand towards the tip, y across it.
struct THandShape {
    std::array<QPointF, 4> Outline;
    std::array<QPointF, 3> FacetA;
    std::array<QPointF, 3> FacetB;
    std::array<QPointF, 4> TailFacet;
    QPointF ShadowCentre;
};
[[nodiscard]] THandShape HandShape(double length, double tailLength, double tipWidth,
                                   double tailWidth, double tailIndent) noexcept;

// Each of red, green and blue times 0.65, alpha kept.
[[nodiscard]] TArgb BevelDarkColour(TArgb border) noexcept;
// c1 + (c2 - c1) * a per channel, with a = t - 0.095 sin(2πt) limited to [0, 1].
[[nodiscard]] TArgb MixColour(TArgb c1, TArgb c2, double t) noexcept;
[[nodiscard]] double MixFactor(double t) noexcept;

// Alpha of the centre shadow's middle ring, from the bottom cap's diameter resolved against 400.
[[nodiscard]] int CentreShadowAlpha(double bottomSizeOf400) noexcept;

// Colour stops (position, factor) of a bevel ring's 45-degree gradient over a box.
[[nodiscard]] std::array<std::pair<double, double>, 4> BevelBlend(double boxWidth,
                                                                  double boxHeight) noexcept;

} // namespace gauge
