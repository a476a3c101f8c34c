#include "widgets/gauge/GaugePainter.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <QRadialGradient>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace gauge {

namespace {

// 96 dots per inch, the resolution font sizes in points are meant for.
constexpr int DotsPerMeter96 = 3780;

QPolygonF Polygon(const auto& points) {
    return QPolygonF(QList<QPointF>(points.begin(), points.end()));
}

QPen FlatPen(const QBrush& brush, double width) {
    return QPen(brush, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
}

QPainterPath RoundedPolygon(const std::array<QPointF, 4>& corners, double radius) {
    QPainterPath path;
    for (std::size_t i = 0; i < corners.size(); ++i) {
        const QPointF corner = corners[i];
        const QPointF previous = corners[(i + corners.size() - 1) % corners.size()];
        const QPointF next = corners[(i + 1) % corners.size()];
        const auto towards = [&](QPointF other) {
            const double length = std::hypot(other.x() - corner.x(), other.y() - corner.y());
            const double f = length > 0 ? std::min(radius / length, 0.5) : 0.0;
            return corner + (other - corner) * f;
        };
        if (i == 0) {
            path.moveTo(towards(previous));
        } else {
            path.lineTo(towards(previous));
        }
        path.quadTo(corner, towards(next));
    }
    path.closeSubpath();
    return path;
}

} // namespace

QImage MakeSurface(int width, int height) {
    QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_ARGB32_Premultiplied);
    image.setDotsPerMeterX(DotsPerMeter96);
    image.setDotsPerMeterY(DotsPerMeter96);
    image.fill(Qt::transparent);
    return image;
}

QPainterPath BorderPath(TULBorderShape shape, const QRectF& box, double cornerRadius) {
    QPainterPath path;
    const double radius = std::clamp(cornerRadius, 0.0, std::min(box.width(), box.height()) / 2);
    const std::array<QPointF, 4> diamond = {
        QPointF(box.center().x(), box.top()), QPointF(box.right(), box.center().y()),
        QPointF(box.center().x(), box.bottom()), QPointF(box.left(), box.center().y())};
    switch (shape) {
    case TULBorderShape::gbsEllipse:
        path.addEllipse(box);
        break;
    case TULBorderShape::gbsRectangle:
        path.addRect(box);
        break;
    case TULBorderShape::gbsRoundRectangle:
        path.addRoundedRect(box, radius, radius);
        break;
    case TULBorderShape::gbsDiamond:
        path.addPolygon(Polygon(diamond));
        path.closeSubpath();
        break;
    case TULBorderShape::gbsRoundDiamond:
        path = RoundedPolygon(diamond, radius);
        break;
    }
    return path;
}

void StrokeBevelRing(QPainter& painter, const QPainterPath& outline, const QRectF& box,
                     double width, TArgb first, TArgb second) {
    if (width <= 0) {
        return;
    }
    const QRectF area = box.adjusted(-width / 2, -width / 2, width / 2, width / 2);
    // At 45 degrees the lines of equal colour through the two corners are (w + h) / 2 apart
    // along each axis.
    const double reach = (area.width() + area.height()) / 2;
    QLinearGradient gradient(area.topLeft(), area.topLeft() + QPointF(reach, reach));
    const QColor from = ToQColor(first);
    const QColor to = ToQColor(second);
    for (const auto& [position, factor] : BevelBlend(area.width(), area.height())) {
        gradient.setColorAt(position, factor == 0 ? from : to);
    }
    painter.strokePath(outline, FlatPen(QBrush(gradient), width));
}

QFont MakeFont(const QString& family, int style, double emPoints) {
    QFont font;
    font.setFamilies({family, QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setBold((style & fsBold) != 0);
    font.setItalic((style & fsItalic) != 0);
    font.setUnderline((style & fsUnderline) != 0);
    font.setStrikeOut((style & fsStrikeOut) != 0);
    if (emPoints > 0) {
        font.setPointSizeF(emPoints);
    }
    return font;
}

void DrawCentredText(QPainter& painter, QPointF anchor, float angle, const QFont& font, TArgb color,
                     const QString& text) {
    if (text.isEmpty() || font.pointSizeF() <= 0) {
        return;
    }
    constexpr double far = 1e5;
    painter.save();
    painter.translate(anchor);
    painter.rotate(angle);
    painter.setFont(font);
    painter.setPen(ToQColor(color));
    painter.drawText(QRectF(-far, -far, 2 * far, 2 * far), Qt::AlignCenter | Qt::TextDontClip,
                     text);
    painter.restore();
}

void DrawLine(QPainter& painter, QPointF from, QPointF to, double width, TArgb color) {
    if (width <= 0) {
        return;
    }
    painter.setPen(FlatPen(QBrush(ToQColor(color)), width));
    painter.drawLine(from, to);
}

void DrawArc(QPainter& painter, const QRectF& box, double start, double sweep, double width,
             TArgb color) {
    if (width <= 0 || box.width() <= 0 || box.height() <= 0) {
        return;
    }
    // QPainterPath counts angles counter-clockwise; ours run clockwise.
    QPainterPath arc;
    arc.arcMoveTo(box, -start);
    arc.arcTo(box, -start, -sweep);
    painter.strokePath(arc, FlatPen(QBrush(ToQColor(color)), width));
}

void FillCentreShadow(QPainter& painter, QPointF centre, double diameter, int middleAlpha) {
    if (diameter <= 0) {
        return;
    }
    QRadialGradient gradient(centre, diameter / 2);
    gradient.setColorAt(0, QColor(0, 0, 0, 140));
    gradient.setColorAt(0.6, QColor(0, 0, 0, middleAlpha));
    gradient.setColorAt(1, QColor(255, 255, 255, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawEllipse(centre, diameter / 2, diameter / 2);
}

void DrawHand(QPainter& painter, QPointF pivot, float angle, const THandShape& shape,
              const THandStyle& style) {
    const QPolygonF outline = Polygon(shape.Outline);
    painter.setPen(Qt::NoPen);
    const double length = shape.Outline[1].x() - shape.Outline[0].x();
    const double breadth = shape.Outline[3].y() - shape.Outline[0].y();
    if (style.Shadow && length > 0 && breadth > 0) {
        // An elliptic gradient spanning the hand, dark around the shadow centre and clear at
        // the outline's ends, stands in for a gradient that follows the outline itself.
        painter.save();
        painter.translate(style.ShadowOffset, style.ShadowOffset);
        painter.translate(pivot);
        painter.rotate(angle);
        const double middle = (shape.Outline[0].x() + shape.Outline[1].x()) / 2;
        const double squash = breadth / length;
        QRadialGradient gradient(QPointF(middle, 0), length / 2, shape.ShadowCentre);
        gradient.setColorAt(0, QColor(0, 0, 0, 0x8C));
        gradient.setColorAt(0.3, QColor(0, 0, 0, 0x8C));
        gradient.setColorAt(1, QColor(255, 255, 255, 0));
        QBrush brush(gradient);
        brush.setTransform(QTransform::fromScale(1, squash));
        painter.setBrush(brush);
        painter.drawPolygon(outline);
        painter.restore();
    }
    painter.save();
    painter.translate(pivot);
    painter.rotate(angle);
    painter.setBrush(ToQColor(style.Color));
    painter.drawPolygon(outline);
    const THandLighting light = HandLighting(angle);
    painter.setBrush(QColor(255, 255, 255, light.A));
    painter.drawPolygon(Polygon(shape.FacetA));
    painter.setBrush(QColor(255, 255, 255, light.B));
    painter.drawPolygon(Polygon(shape.FacetB));
    if (style.TailFacet) {
        painter.setBrush(QColor(255, 255, 255, light.F));
        painter.drawPolygon(Polygon(shape.TailFacet));
    }
    painter.restore();
}

void DrawCaps(QPainter& painter, QPointF centre, const QRectF& dialBox, double bottomDiameter,
              TArgb bottomColor, double topDiameter, TArgb topColor) {
    painter.setPen(Qt::NoPen);
    if ((bottomColor >> 24) != 0 && bottomDiameter > 0) {
        QLinearGradient gradient(dialBox.topLeft(), dialBox.bottomLeft());
        gradient.setColorAt(0, QColor(0, 0, 0));
        gradient.setColorAt(1, ToQColor(bottomColor));
        painter.setBrush(gradient);
        painter.drawEllipse(centre, bottomDiameter / 2, bottomDiameter / 2);
    }
    if ((topColor >> 24) != 0 && topDiameter > 0) {
        const QRectF square(centre.x() - topDiameter / 2, centre.y() - topDiameter / 2, topDiameter,
                            topDiameter);
        QLinearGradient gradient(square.topLeft(), square.bottomRight());
        gradient.setColorAt(0, ToQColor(MixColour(0xFFFFFFFF, topColor, 0.4)));
        gradient.setColorAt(0.5, ToQColor(topColor));
        gradient.setColorAt(1, ToQColor(MixColour(topColor, 0xFF000000, 0.7)));
        painter.setBrush(gradient);
        painter.drawEllipse(square);
    }
}

} // namespace gauge
