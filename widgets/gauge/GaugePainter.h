#pragma once

// Painter helpers: each draws one element of the dial from geometry already computed.
// Pens have flat ends, as the ticks and arcs are measured to their ends.

#include "widgets/gauge/GaugeGeometry.h"
#include "widgets/gauge/GaugeProperties.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QRectF>

class QPainter;

namespace gauge {

[[nodiscard]] inline QColor ToQColor(TArgb argb) {
    return QColor::fromRgba(argb);
}

// A layer or off-screen image: premultiplied ARGB on a 96 dots-per-inch surface, so that
// font sizes in points come out as 4/3 of them in pixels whatever the screen.
[[nodiscard]] QImage MakeSurface(int width, int height);

// Outline of the dial for a border shape, fitted to a box.
[[nodiscard]] QPainterPath BorderPath(TULBorderShape shape, const QRectF& box, double cornerRadius);

// A ring stroked along the outline with a 45-degree gradient from `first` at the upper left
// to `second` at the lower right.
void StrokeBevelRing(QPainter& painter, const QPainterPath& outline, const QRectF& box,
                     double width, TArgb first, TArgb second);

// The nearest available sans-serif family stands in for a family that is not installed.
[[nodiscard]] QFont MakeFont(const QString& family, int style, double emPoints);

// Text centred on the anchor and turned by angle degrees about it.
void DrawCentredText(QPainter& painter, QPointF anchor, float angle, const QFont& font, TArgb color,
                     const QString& text);

void DrawLine(QPainter& painter, QPointF from, QPointF to, double width, TArgb color);

// An arc of the ellipse in the box, from start clockwise over sweep degrees.
void DrawArc(QPainter& painter, const QRectF& box, double start, double sweep, double width,
             TArgb color);

// A soft shadow of a circle: darkest in the middle, fading to nothing at the rim.
void FillCentreShadow(QPainter& painter, QPointF centre, double diameter, int middleAlpha);

struct THandStyle {
    TArgb Color = 0xFFFF0000;
    bool Shadow = true;
    double ShadowOffset = 0;
    bool TailFacet = true; // a hand without a tail indent has no tail-end facet
};

// The hand turned to angle degrees about the pivot: shadow, body, lit facets.
void DrawHand(QPainter& painter, QPointF pivot, float angle, const THandShape& shape,
              const THandStyle& style);

// Bottom cap with a vertical gradient over the whole dial box, top cap with a diagonal one.
void DrawCaps(QPainter& painter, QPointF centre, const QRectF& dialBox, double bottomDiameter,
              TArgb bottomColor, double topDiameter, TArgb topColor);

} // namespace gauge
