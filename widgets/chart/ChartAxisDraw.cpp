#include "widgets/chart/ChartAxisDraw.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

namespace chart {

namespace {

// +1 for the axes whose outside lies toward larger coordinates (bottom, right), -1 for the
// others.
int Outward(const TChartAxis& axis) {
    return axis.Kind() == TAxisKind::Bottom || axis.Kind() == TAxisKind::Right ? 1 : -1;
}

bool PointLabelStyle(TAxisLabelStyle style) {
    return style == TAxisLabelStyle::talText || style == TAxisLabelStyle::talMark;
}

void DrawTitle(QPainter& painter, const TChartAxis& axis) {
    const TAxisTitle& title = axis.Title();
    if (title.Caption.isEmpty())
        return;
    painter.save();
    painter.setFont(title.Font);
    // The title's band runs from TitlePosition outward; the title stands in its middle, at
    // any angle, clear of the labels on the band's inner side.
    const int centre = axis.Map().Centre();
    const int across = axis.TitlePosition() + Outward(axis) * MeasureAxis(axis, 0).Title / 2;
    const QPoint at = axis.Horizontal() ? QPoint(centre, across) : QPoint(across, centre);
    painter.translate(at);
    painter.rotate(-title.Angle);
    const int width = TextWidth(title.Font, title.Caption);
    const int height = FontHeight(title.Font);
    painter.drawText(QRect(-width / 2, -height / 2, width, height), Qt::AlignCenter, title.Caption);
    painter.restore();
}

// Where a label of `width` by `height` pixels at pixel along the axis has its top left.
QPoint LabelCorner(const TChartAxis& axis, int pixel, int width, int height, int fontHeight) {
    const int position = axis.LabelPosition();
    switch (axis.Kind()) {
    case TAxisKind::Bottom:
        return {pixel - width / 2, position};
    case TAxisKind::Top:
        return {pixel - width / 2, position - height};
    case TAxisKind::Left:
        return {position - width, pixel - fontHeight / 2};
    default:
        return {position, pixel - fontHeight / 2};
    }
}

void DrawLabels(QPainter& painter, const TChartAxis& axis, const TAxisPicture& picture) {
    const QFontMetrics metrics(axis.LabelsFont());
    const int fontHeight = metrics.height();
    const int angle = axis.LabelsAngle();
    painter.setFont(axis.LabelsFont());
    painter.setPen(Qt::black);
    for (const auto& [pixel, text] : picture.Labels) {
        const QStringList lines = text.split(QLatin1Char('\n'));
        const int width = axis.LabelWidth(text);
        const int height = fontHeight * static_cast<int>(lines.size());
        QPoint topLeft = LabelCorner(axis, pixel, width, height, fontHeight);
        // A label centred on a tick near the picture's side would be cut by it ("1:00:" for
        // the last label of an hour): it moves in just far enough to be read whole.
        if (angle == 0 && axis.Horizontal())
            topLeft.setX(
                std::clamp(topLeft.x(), 0, std::max(0, painter.device()->width() - width)));
        if (angle != 0) {
            const QPoint anchor = axis.Horizontal() ? QPoint(pixel, axis.LabelPosition())
                                                    : QPoint(axis.LabelPosition(), pixel);
            painter.save();
            painter.translate(anchor);
            painter.rotate(-angle);
            painter.translate(topLeft - anchor);
        }
        const QPoint origin = angle != 0 ? QPoint(0, 0) : topLeft;
        for (int i = 0; i < lines.size(); ++i) {
            const int lineWidth = metrics.horizontalAdvance(lines[i]);
            const int x =
                axis.Kind() == TAxisKind::Left ? origin.x() + width - lineWidth : origin.x();
            painter.drawText(QPoint(x, origin.y() + i * fontHeight + metrics.ascent()), lines[i]);
        }
        if (angle != 0)
            painter.restore();
    }
}

// The one-pixel lines of an axis, straight into the image: along the axis, the pixel a
// stroke stands at; across it, where it starts and ends.
class TAxisStrokes {
public:
    TAxisStrokes(TRaster& raster, const TChartAxis& axis, const TRectI& plot)
        : raster_(raster), horizontal_(axis.Horizontal()),
          gridFrom_(horizontal_ ? plot.Top : plot.Left),
          gridTo_((horizontal_ ? plot.Bottom : plot.Right) - 1) {}

    void Grid(const TAxisPen& pen, int pixel) {
        const QRgb c = Colour(pen);
        const bool dotted = pen.Style != TChartPen::Style::psSolid;
        const int x0 = horizontal_ ? pixel : gridFrom_, y0 = horizontal_ ? gridFrom_ : pixel;
        const int x1 = horizontal_ ? pixel : gridTo_, y1 = horizontal_ ? gridTo_ : pixel;
        if (dotted)
            raster_.DottedLine(x0, y0, x1, y1, c);
        else
            raster_.Line(x0, y0, x1, y1, c);
    }

    // A tick from `from` across the axis, `length` pixels in `direction`.
    void Tick(const TAxisPen& pen, int pixel, int from, int length, int direction) {
        if (length <= 0)
            return;
        const int to = from + direction * length;
        if (horizontal_)
            raster_.Line(pixel, from, pixel, to, Colour(pen));
        else
            raster_.Line(from, pixel, to, pixel, Colour(pen));
    }

private:
    static QRgb Colour(const TAxisPen& pen) {
        return ToRgb(pen.Color == clDefault ? 0x808080 : pen.Color);
    }

    TRaster& raster_;
    bool horizontal_;
    int gridFrom_, gridTo_;
};

void DrawAxisLine(TRaster& raster, const TChartAxis& axis, int line) {
    const TAxisPen& pen = axis.AxisPen();
    if (!pen.Visible)
        return;
    const TAxisMap& map = axis.Map();
    const int w = std::max(1, pen.Width);
    const int first = line - w / 2, last = line + (w - 1) / 2;
    const QRgb c = ToRgb(pen.Color);
    if (axis.Horizontal())
        raster.Fill({map.Start - w / 2, first, map.End + (w - 1) / 2 + 1, last + 1}, c);
    else
        raster.Fill({first, map.Start - w / 2, last + 1, map.End + (w - 1) / 2 + 1}, c);
}

void DrawTicksAndGrid(TRaster& raster, const TChartAxis& axis, const TAxisPicture& picture,
                      const TRectI& plot) {
    TAxisStrokes strokes(raster, axis, plot);
    const int line = picture.Line, outward = Outward(axis);
    if (axis.Ticks().Visible)
        for (int pixel : picture.Ticks)
            strokes.Tick(axis.Ticks(), pixel, line + outward, axis.TickLength(), outward);
    if (axis.Grid().Visible)
        for (int pixel : picture.Ticks)
            strokes.Grid(axis.Grid(), pixel);
    if (axis.TicksInner().Visible)
        for (int pixel : picture.Ticks)
            strokes.Tick(axis.TicksInner(), pixel, line - outward, axis.TickInnerLength(),
                         -outward);
    if (picture.Ticks.empty() || !(axis.MinorTicks().Visible || axis.MinorGrid().Visible))
        return;
    const TAxisMap& map = axis.Map();
    for (int pixel : MinorTickPixels(picture.Ticks, axis.MinorTickCount(), map.Start, map.End,
                                     axis.Logarithmic())) {
        if (axis.MinorTicks().Visible)
            strokes.Tick(axis.MinorTicks(), pixel, line + outward, axis.MinorTickLength(), outward);
        if (axis.MinorGrid().Visible)
            strokes.Grid(axis.MinorGrid(), pixel);
    }
}

} // namespace

int FontHeight(const QFont& font) {
    return QFontMetrics(font).height();
}

int TextWidth(const QFont& font, const QString& text) {
    const QFontMetrics metrics(font);
    int width = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        width = std::max(width, metrics.horizontalAdvance(line));
    return width;
}

TAxisBands MeasureAxis(const TChartAxis& axis, int widestPointLabel) {
    TAxisBands bands;
    const bool horizontal = axis.Horizontal();
    // A text lying along the axis takes its height across it, one standing across it its
    // width.
    auto along = [&](int angle) { return horizontal ? angle % 180 == 0 : angle % 180 == 90; };
    const TAxisTitle& title = axis.Title();
    if (!title.Caption.isEmpty())
        bands.Title = axis.TitleSize()     ? axis.TitleSize()
                      : along(title.Angle) ? FontHeight(title.Font)
                                           : TextWidth(title.Font, title.Caption);
    if (axis.Labels()) {
        const TAxisLabelStyle style = axis.Placement().LabelStyle;
        bands.Labels = axis.LabelsSize()                   ? axis.LabelsSize()
                       : along(axis.LabelsAngle())         ? FontHeight(axis.LabelsFont())
                       : style == TAxisLabelStyle::talNone ? 0
                       : PointLabelStyle(style)            ? widestPointLabel
                                                           : axis.WidestLabel();
    }
    if (axis.AxisPen().Visible)
        bands.Ticks += axis.AxisPen().Width;
    if (axis.Ticks().Visible)
        bands.Ticks += axis.TickLength();
    if (axis.MinorTicks().Visible)
        bands.Ticks = std::max(bands.Ticks, axis.MinorTickLength());
    return bands;
}

TAxisPicture WalkAxis(const TChartAxis& axis, const std::vector<TPointLabel>& pointLabels) {
    const TAxisMap& map = axis.Map();
    const TAxisLabelStyle style = axis.Placement().LabelStyle;
    TAxisPicture picture{true,
                         axis.AxisLinePosition(),
                         axis.LabelPosition(),
                         axis.TitlePosition(),
                         map.Start,
                         map.End,
                         {},
                         {}};
    if (PointLabelStyle(style)) {
        for (const TPointLabel& label : pointLabels) {
            if (picture.Ticks.size() >= MaxTicks)
                break;
            const int pixel = map.ToPixel(label.Value);
            if (pixel >= map.Start && pixel <= map.End) {
                picture.Ticks.push_back(pixel);
                picture.Labels.emplace_back(pixel, QString::fromStdString(label.Text));
            }
        }
        return picture;
    }
    const TLabelWalkOptions options{axis.RoundFirstLabel(), axis.LabelsOnAxis(),
                                    axis.Labels() && style != TAxisLabelStyle::talNone,
                                    axis.TickOnLabelsOnly()};
    TLabelWalk walk =
        axis.LabelEngine().Walk(axis.LabelScale(), axis.LabelStep(map.Length()), options);
    picture.Ticks = std::move(walk.Ticks);
    // A walk may put two labels closer than their texts need (a time axis on either side of a
    // gap in the stream), where they would read as one: the one walked first is drawn, the
    // other left out unless half the separation between labels (two pixels at least) is left.
    int lastPixel = 0, lastExtent = 0;
    for (const TAxisLabel& label : walk.Labels) {
        QString text = axis.LabelText(label.Value);
        const int extent = axis.LabelExtent(text);
        const int blank = std::max(2, axis.LabelsSeparation() * std::max(extent, lastExtent) / 200);
        if (!picture.Labels.empty() &&
            2 * std::abs(label.Pixel - lastPixel) < extent + lastExtent + 2 * blank)
            continue;
        lastPixel = label.Pixel;
        lastExtent = extent;
        picture.Labels.emplace_back(label.Pixel, std::move(text));
    }
    return picture;
}

bool AxisHit(const TChartAxis& axis, int x, int y) {
    if (!axis.Shown() || axis.Kind() == TAxisKind::Depth)
        return false;
    const TAxisMap& map = axis.Map();
    const int inner = axis.AxisLinePosition() - 3 * Outward(axis);
    const int outer = axis.LabelPosition();
    const int along = axis.Horizontal() ? x : y, across = axis.Horizontal() ? y : x;
    return along >= map.Start && along <= map.End && across >= std::min(inner, outer) &&
           across <= std::max(inner, outer);
}

void DrawAxis(QPainter& painter, TRaster& raster, const TChartAxis& axis,
              const TAxisPicture& picture, const TRectI& plot) {
    DrawTitle(painter, axis);
    DrawLabels(painter, axis, picture);
    DrawAxisLine(raster, axis, picture.Line);
    DrawTicksAndGrid(raster, axis, picture, plot);
}

} // namespace chart
