#include "widgets/chart/Chart.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

using chart::TRectI;

namespace {

// Colours given to series attached with clDefault, in attachment order.
constexpr TColor SeriesPalette[] = {0x0000FF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF,
                                    0x008080, 0x800000, 0x008000, 0x000080, 0x808000};

// Paints come no closer together than this: 30 a second, smooth to the eye under the
// mouse.
constexpr int FrameMilliseconds = 33;
// New points alone are shown at most at the gauges' refresh rate: a stream of 640 frames a
// second moves the picture by a few columns at most between two such paints. Where drawing
// takes longer (much plotted, a slow machine), they wait a hundred times as long as the last
// drawing took, up to a second, so that following the stream costs about one percent of a
// core however much is plotted.
constexpr qint64 PointsMilliseconds = 100;
constexpr qint64 PointsWaitPerDrawing = 100;
constexpr qint64 LongestPointsMilliseconds = 1000;

constexpr int ZoomThreshold = 16;
constexpr double WheelStepPercent = 3;

const TLineSeries* AsLine(const TChartSeries& s) {
    return dynamic_cast<const TLineSeries*>(&s);
}

int FontHeight(const QFont& font) {
    return QFontMetrics(font).height();
}

QStringList Lines(const QString& text) {
    return text.split(QLatin1Char('\n'));
}

int TextWidth(const QFontMetrics& metrics, const QString& text) {
    int width = 0;
    for (const QString& line : Lines(text))
        width = std::max(width, metrics.horizontalAdvance(line));
    return width;
}

} // namespace

TChart::TChart(QWidget* parent) : QWidget(parent), pointsMilliseconds_(PointsMilliseconds) {
    for (int i = 0; i < 5; ++i)
        axes_[i] = std::make_unique<TChartAxis>(*this, static_cast<TAxisKind>(i));
    setAttribute(Qt::WA_OpaquePaintEvent); // the image covers the whole area
    updateTimer_.setSingleShot(true);
    connect(&updateTimer_, &QTimer::timeout, this, &TChart::ShowChanges);
}

TChart::~TChart() = default;

void TChart::Attach(std::unique_ptr<TChartSeries> series) {
    series->parentChart_ = this;
    if (series->SeriesColor == clDefault)
        series->SeriesColor = SeriesPalette[series_.size() % std::size(SeriesPalette)];
    series_.push_back(std::move(series));
    RequestRepaint();
}

void TChart::SetMargins(const chart::TMargins& m) {
    if (m.Left == margins_.Left && m.Top == margins_.Top && m.Right == margins_.Right &&
        m.Bottom == margins_.Bottom)
        return;
    margins_ = m;
    PropertiesChanged();
}

void TChart::PropertiesChanged() {
    ++generation_;
    RequestRepaint();
}

void TChart::RequestRepaint() {
    RequestRepaintWithin(FrameMilliseconds);
}

void TChart::RequestPointsRepaint() {
    RequestRepaintWithin(pointsMilliseconds_);
}

void TChart::RequestRepaintWithin(qint64 milliseconds) {
    imageStale_ = true;
    if (updatePending_)
        return;
    // Always through the event loop: a replay adds all its points before anything is drawn.
    const qint64 since = sinceLastPaint_.isValid() ? sinceLastPaint_.elapsed() : milliseconds;
    const int wait = static_cast<int>(std::max<qint64>(0, milliseconds - since));
    if (!updateTimer_.isActive() || updateTimer_.remainingTime() > wait)
        updateTimer_.start(wait);
}

void TChart::ShowChanges() {
    if (!isVisible()) {
        // Drawn at the paint that comes when the chart is shown again.
        updatePending_ = true;
        update();
        return;
    }
    // Drawn ahead of the paint, so that one paint covers exactly the rows that changed (the
    // plot, and the axes' labels and the switches lying over the chart only when they did),
    // and a redraw that changes nothing costs no paint.
    sinceLastPaint_.start();
    const QRect changed = DrawImage();
    imageStale_ = false;
    pointsMilliseconds_ =
        std::clamp(sinceLastPaint_.nsecsElapsed() * PointsWaitPerDrawing / 1'000'000,
                   PointsMilliseconds, LongestPointsMilliseconds);
    if (!changed.isEmpty())
        update(changed);
}

// ---------------------------------------------------------------------------------------
// Layout

bool TChart::SeriesUsesAxis(const TChartSeries& s, const TChartAxis& axis) const {
    const TLineSeries* line = AsLine(s);
    const THorizAxis h = line ? line->HorizAxis : THorizAxis::aBottomAxis;
    const TVertAxis v = line ? line->VertAxis : TVertAxis::aLeftAxis;
    switch (axis.Kind()) {
    case TAxisKind::Bottom:
        return h == THorizAxis::aBottomAxis || h == THorizAxis::aBothHorizAxis;
    case TAxisKind::Top:
        return h == THorizAxis::aTopAxis || h == THorizAxis::aBothHorizAxis;
    case TAxisKind::Left:
        return v == TVertAxis::aLeftAxis || v == TVertAxis::aBothVertAxis;
    case TAxisKind::Right:
        return v == TVertAxis::aRightAxis || v == TVertAxis::aBothVertAxis;
    case TAxisKind::Depth:
        return false;
    }
    return false;
}

bool TChart::AxisShown(const TChartAxis& axis) const {
    if (!axisVisible_ || !axis.Visible())
        return false;
    return std::any_of(series_.begin(), series_.end(),
                       [&](const auto& s) { return s->Active() && SeriesUsesAxis(*s, axis); });
}

std::vector<const TChartSeries*> TChart::ParticipatingSeries(const TChartAxis& axis) const {
    // An axis whose series are all hidden still scales to them.
    const bool anyActive = std::any_of(series_.begin(), series_.end(), [&](const auto& s) {
        return s->Active() && SeriesUsesAxis(*s, axis);
    });
    std::vector<const TChartSeries*> result;
    for (const auto& s : series_)
        if ((s->Active() || !anyActive) && s->Count() > 0 && SeriesUsesAxis(*s, axis))
            result.push_back(s.get());
    return result;
}

void TChart::CalcAxesRanges() {
    for (auto& a : axes_) {
        TChartAxis& axis = *a;
        const bool horizontal = axis.Horizontal();
        bool first = true;
        double low = 0, high = 0;
        for (const TChartSeries* s : ParticipatingSeries(axis)) {
            const TChartValueList& values = horizontal ? s->XValues : s->YValues;
            const double mn = values.MinValue(), mx = values.MaxValue();
            if (first || mn < low)
                low = mn;
            if (first || mx > high)
                high = mx;
            first = false;
        }
        if (axis.automatic_ || axis.automaticMinimum_)
            axis.minimum_ = low;
        if (axis.automatic_ || axis.automaticMaximum_)
            axis.maximum_ = high;
        chart::TAxisMap& map = axis.map_;
        map.Minimum = axis.minimum_;
        map.Maximum = axis.maximum_;
        map.Horizontal = horizontal;
        map.Inverted = axis.inverted_;
        map.Logarithmic = axis.logarithmic_;
        map.LogarithmicBase = axis.logarithmicBase_;
        axis.dateTime_ = false;
        for (const auto& s : series_) {
            if (s->Active() && SeriesUsesAxis(*s, axis)) {
                axis.dateTime_ = (horizontal ? s->XValues : s->YValues).DateTime;
                break;
            }
        }
    }
}

TAxisLabelStyle TChart::ResolvedLabelStyle(const TChartAxis& axis) const {
    if (axis.LabelStyle() != TAxisLabelStyle::talAuto)
        return axis.LabelStyle();
    const TChartSeries* user = nullptr;
    for (const auto& s : series_)
        if (s->Active() && SeriesUsesAxis(*s, axis)) {
            user = s.get();
            break;
        }
    if (!user)
        return TAxisLabelStyle::talNone;
    // Line series show Y against X: point labels belong on the horizontal axes.
    if (axis.Horizontal() && user->Count() > 0 && !user->Label(0).empty())
        return TAxisLabelStyle::talText;
    return TAxisLabelStyle::talValue;
}

double TChart::LabelStep(const TChartAxis& axis, int length) const {
    const chart::TAxisMap& map = axis.map_;
    const QFontMetrics metrics(axis.labelsFont_);
    const QString maxText = axis.LabelText(map.Maximum), minText = axis.LabelText(map.Minimum);
    const bool across = axis.labelsAngle_ == 90 || axis.labelsAngle_ == 270;
    auto extent = [&](const QString& text) {
        const int width = axis.LabelWidth(text);
        const int height = metrics.height() * static_cast<int>(Lines(text).size());
        return axis.Horizontal() != across ? width : height;
    };
    const int size = std::max(extent(maxText), extent(minText));
    const int capacity = chart::LabelCapacity(length, size, axis.labelsSeparation_);
    if (axis.dateTime_)
        return chart::DateTimeLabelStep(map.Range(), capacity, axis.increment_);
    return chart::ValueLabelStep(map.Range(), capacity, axis.increment_, axis.labelsSeparation_);
}

int TChart::WidestLabel(const TChartAxis& axis) const {
    const QFontMetrics metrics(axis.labelsFont_);
    switch (ResolvedLabelStyle(axis)) {
    case TAxisLabelStyle::talNone:
        return 0;
    case TAxisLabelStyle::talMark:
    case TAxisLabelStyle::talText: {
        int widest = 0;
        for (const auto& s : series_)
            if (s->Active() && SeriesUsesAxis(*s, axis))
                for (std::size_t i = 0; i < s->Count(); ++i)
                    widest =
                        std::max(widest, TextWidth(metrics, QString::fromStdString(s->Label(i))));
        return widest;
    }
    default:
        break;
    }
    double low = axis.map_.Minimum, high = axis.map_.Maximum;
    if (axis.roundFirstLabel_ || (axis.dateTime_ && axis.exactDateTime_)) {
        const double step = LabelStep(axis, axis.previousLength_);
        low = std::trunc(low / step) * step;
        high = std::trunc(high / step) * step;
    }
    return std::max(axis.LabelWidth(axis.LabelText(low)), axis.LabelWidth(axis.LabelText(high))) +
           metrics.horizontalAdvance(QLatin1Char(' '));
}

void TChart::ReserveAxisBands() {
    for (auto& a : axes_) {
        TChartAxis& axis = *a;
        axis.shown_ = AxisShown(axis);
        if (!axis.shown_)
            continue;
        const TRectI before = plotRect_;
        const TAxisKind kind = axis.Kind();
        const bool horizontal = axis.Horizontal();
        // Inward is toward larger coordinates from the top and left edges.
        const int inward = kind == TAxisKind::Top || kind == TAxisKind::Left ? 1 : -1;
        int edge = kind == TAxisKind::Bottom ? before.Bottom
                   : kind == TAxisKind::Top  ? before.Top
                   : kind == TAxisKind::Left ? before.Left
                                             : before.Right;
        if (!axis.title_.Caption.isEmpty()) {
            const bool along =
                horizontal ? axis.title_.Angle % 180 == 0 : axis.title_.Angle % 180 == 90;
            const int size = axis.titleSize_ ? axis.titleSize_
                             : along
                                 ? FontHeight(axis.title_.Font)
                                 : TextWidth(QFontMetrics(axis.title_.Font), axis.title_.Caption);
            edge += inward * size;
            axis.titlePosition_ = edge;
        }
        if (axis.labels_) {
            const bool along =
                horizontal ? axis.labelsAngle_ % 180 == 0 : axis.labelsAngle_ % 180 == 90;
            const int size = axis.labelsSize_ ? axis.labelsSize_
                             : along          ? FontHeight(axis.labelsFont_)
                                              : WidestLabel(axis);
            edge += inward * size;
        }
        axis.labelPosition_ = edge; // without labels, the outer edge of the ticks
        int ticks = 0;
        if (axis.axisPen_.Visible)
            ticks += axis.axisPen_.Width;
        if (axis.ticks_.Visible)
            ticks += axis.tickLength_;
        if (axis.minorTicks_.Visible)
            ticks = std::max(ticks, axis.minorTickLength_);
        edge += inward * ticks;
        if (axis.positionPercent_ != 0) {
            const int shift = static_cast<int>(chart::RoundHalfEven(
                (horizontal ? before.Height() : before.Width()) * axis.positionPercent_ / 100));
            axis.titlePosition_ += inward * shift;
            axis.labelPosition_ += inward * shift;
        }
        TRectI after = before;
        (kind == TAxisKind::Bottom ? after.Bottom
         : kind == TAxisKind::Top  ? after.Top
         : kind == TAxisKind::Left ? after.Left
                                   : after.Right) = edge;
        plotRect_ = chart::IntersectOrKeep(before, after);
    }
}

void TChart::CalcAxesSpans() {
    for (auto& a : axes_) {
        TChartAxis& axis = *a;
        const int origin = axis.Horizontal() ? plotRect_.Left : plotRect_.Top;
        const int size = axis.Horizontal() ? plotRect_.Width() : plotRect_.Height();
        axis.map_.Start =
            origin + static_cast<int>(chart::RoundHalfEven(size * axis.startPosition_ / 100));
        axis.map_.End =
            origin + static_cast<int>(chart::RoundHalfEven(size * axis.endPosition_ / 100));
        axis.previousLength_ = axis.map_.Length();
    }
}

void TChart::ApplySeriesMargins() {
    // Stairs ask for the width of their line at both ends; hidden point markers ask for
    // nothing.
    for (auto& a : axes_) {
        TChartAxis& axis = *a;
        if (axis.Kind() == TAxisKind::Depth)
            continue;
        int margin = 0;
        for (const auto& s : series_) {
            const TLineSeries* line = AsLine(*s);
            if (line && s->Active() && SeriesUsesAxis(*s, axis) && line->Stairs)
                margin = std::max(margin, line->LinePen.Width);
        }
        if (margin == 0)
            continue;
        chart::TAxisMap shrunk = axis.map_;
        shrunk.Start += margin;
        shrunk.End -= margin;
        double low = shrunk.ToValue(axis.map_.Start), high = shrunk.ToValue(axis.map_.End);
        if (low > high)
            std::swap(low, high);
        if (axis.automatic_ || axis.automaticMinimum_)
            axis.map_.Minimum = low;
        if (axis.automatic_ || axis.automaticMaximum_)
            axis.map_.Maximum = high;
    }
}

// ---------------------------------------------------------------------------------------
// Drawing

QRgb TChart::PanelRgb() const {
    if (color_ == clDefault)
        return palette().color(QPalette::Window).rgb() | 0xFF000000u;
    return chart::ToRgb(color_);
}

const QImage& TChart::Draw() {
    DrawImage();
    imageStale_ = false;
    return image_;
}

void TChart::DrawBevels(chart::TRaster& raster) {
    const QRgb highlight = palette().color(QPalette::Light).rgb();
    const QRgb shadow = palette().color(QPalette::Dark).rgb();
    TRectI r{0, 0, width(), height()};
    auto ring = [&](QRgb topLeft, QRgb bottomRight) {
        raster.Fill({r.Left, r.Top, r.Right, r.Top + 1}, topLeft);
        raster.Fill({r.Left, r.Top, r.Left + 1, r.Bottom}, topLeft);
        raster.Fill({r.Left, r.Bottom - 1, r.Right, r.Bottom}, bottomRight);
        raster.Fill({r.Right - 1, r.Top, r.Right, r.Bottom}, bottomRight);
        r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
    };
    auto bevel = [&](TBevelCut cut) {
        if (cut == TBevelCut::bvNone)
            return;
        for (int i = 0; i < bevelWidth_; ++i)
            cut == TBevelCut::bvLowered ? ring(shadow, highlight) : ring(highlight, shadow);
    };
    bevel(bevelOuter_);
    for (int i = 0; i < borderWidth_; ++i)
        ring(PanelRgb(), PanelRgb());
    bevel(bevelInner_);
}

void TChart::DrawBackWall(chart::TRaster& raster) {
    const TRectI& p = plotRect_;
    const TChartWall& wall = backWall_;
    const bool fill = wall.BrushStyle != TBrushStyle::bsClear &&
                      !(wall.Color == clDefault && wall.BrushStyle == TBrushStyle::bsSolid);
    if (fill) {
        TColor c = wall.Color == clDefault ? 0xFFFFFF : wall.Color;
        if (wall.BrushStyle != TBrushStyle::bsSolid && c == wall.BrushColor)
            c = wall.BrushColor == 0 ? 0xFFFFFF : 0;
        raster.Fill({p.Left, p.Top, p.Right + 1, p.Bottom + 1}, chart::ToRgb(c));
    }
    if (wall.Pen.Visible) {
        const QRgb c = chart::ToRgb(wall.Pen.Color);
        raster.Fill({p.Left, p.Top, p.Right + 1, p.Top + 1}, c);
        raster.Fill({p.Left, p.Bottom, p.Right + 1, p.Bottom + 1}, c);
        raster.Fill({p.Left, p.Top, p.Left + 1, p.Bottom + 1}, c);
        raster.Fill({p.Right, p.Top, p.Right + 1, p.Bottom + 1}, c);
    }
}

TChart::TAxisPicture TChart::WalkAxis(TChartAxis& axis) {
    const chart::TAxisMap& map = axis.map_;
    const TAxisKind kind = axis.Kind();
    const bool horizontal = axis.Horizontal();
    const int outward = kind == TAxisKind::Bottom || kind == TAxisKind::Right ? 1 : -1;
    const int shift = static_cast<int>(chart::RoundHalfEven(
        (horizontal ? plotRect_.Height() : plotRect_.Width()) * axis.positionPercent_ / 100));
    const int line = (kind == TAxisKind::Bottom ? plotRect_.Bottom
                      : kind == TAxisKind::Top  ? plotRect_.Top
                      : kind == TAxisKind::Left ? plotRect_.Left
                                                : plotRect_.Right) -
                     outward * shift;
    axis.axisLinePosition_ = line;
    const double step = LabelStep(axis, map.Length());

    chart::TLabelWalkOptions options{axis.roundFirstLabel_, axis.labelsOnAxis_, axis.labels_,
                                     axis.tickOnLabelsOnly_};
    const TAxisLabelStyle style = ResolvedLabelStyle(axis);
    chart::TLabelWalk walk;
    if (style == TAxisLabelStyle::talText || style == TAxisLabelStyle::talMark) {
        for (const auto& s : series_) {
            if (!s->Active() || !SeriesUsesAxis(*s, axis))
                continue;
            for (std::size_t i = 0; i < s->Count() && walk.Ticks.size() < chart::MaxTicks; ++i) {
                const double v = horizontal ? s->XValue(i) : s->YValue(i);
                const int pixel = map.ToPixel(v);
                if (pixel >= map.Start && pixel <= map.End && !s->Label(i).empty()) {
                    walk.Labels.push_back({v, pixel});
                    walk.Ticks.push_back(pixel);
                }
            }
            break;
        }
    } else {
        options.Labels = axis.labels_ && style != TAxisLabelStyle::talNone;
        const double unit =
            axis.dateTime_ && axis.exactDateTime_ ? chart::CalendarUnit(axis.increment_, step) : 0;
        if (unit > 0)
            walk = chart::WalkCalendarLabels(map, unit, options);
        else if (axis.logarithmic_ && axis.increment_ == 0)
            walk = chart::WalkLogarithmicLabels(map, options);
        else
            walk = chart::WalkLabels(map, step, options);
    }

    TAxisPicture picture{true,      line,    axis.labelPosition_,   axis.titlePosition_,
                         map.Start, map.End, std::move(walk.Ticks), {}};
    for (const chart::TAxisLabel& label : walk.Labels) {
        QString text;
        if (style == TAxisLabelStyle::talText || style == TAxisLabelStyle::talMark) {
            for (const auto& s : series_)
                if (s->Active() && SeriesUsesAxis(*s, axis)) {
                    const std::size_t n = s->Count();
                    for (std::size_t i = 0; i < n; ++i)
                        if ((horizontal ? s->XValue(i) : s->YValue(i)) == label.Value) {
                            text = QString::fromStdString(s->Label(i));
                            break;
                        }
                    break;
                }
        } else {
            text = axis.LabelText(label.Value);
        }
        picture.Labels.emplace_back(label.Pixel, std::move(text));
    }
    return picture;
}

void TChart::DrawAxis(QPainter& painter, chart::TRaster& raster, const TChartAxis& axis,
                      const TAxisPicture& picture) {
    const chart::TAxisMap& map = axis.map_;
    const TAxisKind kind = axis.Kind();
    const bool horizontal = axis.Horizontal();
    const int outward = kind == TAxisKind::Bottom || kind == TAxisKind::Right ? 1 : -1;
    const int line = picture.Line;
    const QFontMetrics metrics(axis.labelsFont_);
    const int fontHeight = metrics.height();

    if (!axis.title_.Caption.isEmpty()) {
        painter.save();
        painter.setFont(axis.title_.Font);
        const int centre = map.Centre();
        const QPoint at =
            horizontal ? QPoint(centre, axis.titlePosition_) : QPoint(axis.titlePosition_, centre);
        painter.translate(at);
        painter.rotate(-axis.title_.Angle);
        const int w = TextWidth(QFontMetrics(axis.title_.Font), axis.title_.Caption);
        painter.drawText(QRect(-w / 2, outward > 0 ? -FontHeight(axis.title_.Font) : 0, w,
                               FontHeight(axis.title_.Font)),
                         Qt::AlignCenter, axis.title_.Caption);
        painter.restore();
    }

    painter.setFont(axis.labelsFont_);
    painter.setPen(Qt::black);
    for (const auto& [pixel, text] : picture.Labels) {
        const QStringList lines = Lines(text);
        const int width = axis.LabelWidth(text);
        const int height = fontHeight * static_cast<int>(lines.size());
        QPoint topLeft;
        switch (kind) {
        case TAxisKind::Bottom:
            topLeft = {pixel - width / 2, axis.labelPosition_};
            break;
        case TAxisKind::Top:
            topLeft = {pixel - width / 2, axis.labelPosition_ - height};
            break;
        case TAxisKind::Left:
            topLeft = {axis.labelPosition_ - width, pixel - fontHeight / 2};
            break;
        default:
            topLeft = {axis.labelPosition_, pixel - fontHeight / 2};
            break;
        }
        if (axis.labelsAngle_ != 0) {
            const QPoint anchor = horizontal ? QPoint(pixel, axis.labelPosition_)
                                             : QPoint(axis.labelPosition_, pixel);
            painter.save();
            painter.translate(anchor);
            painter.rotate(-axis.labelsAngle_);
            painter.translate(topLeft - anchor);
        }
        const QPoint origin = axis.labelsAngle_ != 0 ? QPoint(0, 0) : topLeft;
        for (int i = 0; i < lines.size(); ++i) {
            const int lineWidth = metrics.horizontalAdvance(lines[i]);
            const int x = kind == TAxisKind::Left ? origin.x() + width - lineWidth : origin.x();
            painter.drawText(QPoint(x, origin.y() + i * fontHeight + metrics.ascent()), lines[i]);
        }
        if (axis.labelsAngle_ != 0)
            painter.restore();
    }

    // From here on everything is one-pixel lines, drawn straight into the image.
    auto stroke = [&](const TAxisPen& pen, int along0, int along1, int across0, int across1) {
        const QRgb c = chart::ToRgb(pen.Color == clDefault ? 0x808080 : pen.Color);
        const bool dotted = pen.Style != TChartPen::Style::psSolid;
        if (horizontal) {
            if (dotted)
                raster.DottedLine(along0, across0, along1, across1, c);
            else
                raster.Line(along0, across0, along1, across1, c);
        } else {
            if (dotted)
                raster.DottedLine(across0, along0, across1, along1, c);
            else
                raster.Line(across0, along0, across1, along1, c);
        }
    };
    // Ticks run perpendicular to the axis from `from`, `length` pixels outward or inward.
    auto tick = [&](const TAxisPen& pen, int pixel, int from, int length, int direction) {
        if (length <= 0)
            return;
        const QRgb c = chart::ToRgb(pen.Color == clDefault ? 0x808080 : pen.Color);
        if (horizontal)
            raster.Line(pixel, from, pixel, from + direction * length, c);
        else
            raster.Line(from, pixel, from + direction * length, pixel, c);
    };

    if (axis.axisPen_.Visible) {
        const int w = std::max(1, axis.axisPen_.Width);
        const int first = line - w / 2, last = line + (w - 1) / 2;
        const QRgb c = chart::ToRgb(axis.axisPen_.Color);
        if (horizontal)
            raster.Fill({map.Start - w / 2, first, map.End + (w - 1) / 2 + 1, last + 1}, c);
        else
            raster.Fill({first, map.Start - w / 2, last + 1, map.End + (w - 1) / 2 + 1}, c);
    }
    if (axis.ticks_.Visible)
        for (int pixel : picture.Ticks)
            tick(axis.ticks_, pixel, line + outward, axis.tickLength_, outward);
    if (axis.grid_.Visible) {
        const int from = horizontal ? plotRect_.Top : plotRect_.Left;
        const int to = (horizontal ? plotRect_.Bottom : plotRect_.Right) - 1;
        for (int pixel : picture.Ticks)
            stroke(axis.grid_, pixel, pixel, from, to);
    }
    if (axis.ticksInner_.Visible)
        for (int pixel : picture.Ticks)
            tick(axis.ticksInner_, pixel, line - outward, axis.tickInnerLength_, -outward);
    if (!picture.Ticks.empty() && (axis.minorTicks_.Visible || axis.minorGrid_.Visible)) {
        const std::vector<int> minor = chart::MinorTickPixels(
            picture.Ticks, axis.minorTickCount_, map.Start, map.End, axis.logarithmic_);
        for (int pixel : minor) {
            if (axis.minorTicks_.Visible)
                tick(axis.minorTicks_, pixel, line + outward, axis.minorTickLength_, outward);
            if (axis.minorGrid_.Visible) {
                const int from = horizontal ? plotRect_.Top : plotRect_.Left;
                const int to = (horizontal ? plotRect_.Bottom : plotRect_.Right) - 1;
                stroke(axis.minorGrid_, pixel, pixel, from, to);
            }
        }
    }
}

void TChart::DrawSeries(chart::TRaster& raster) {
    if (clipPoints_)
        raster.SetClip(
            {plotRect_.Left + 1, plotRect_.Top + 1, plotRect_.Right, plotRect_.Bottom - 1});
    for (const auto& s : series_) {
        const TLineSeries* line = AsLine(*s);
        if (!line || !line->Active() || line->Count() == 0)
            continue;
        const TChartAxis& h = line->HorizAxis == THorizAxis::aTopAxis ? Axis(TAxisKind::Top)
                                                                      : Axis(TAxisKind::Bottom);
        const TChartAxis& v = line->VertAxis == TVertAxis::aRightAxis ? Axis(TAxisKind::Right)
                                                                      : Axis(TAxisKind::Left);
        const bool inverted = h.Inverted();
        const int leftEdge = inverted ? plotRect_.Right : plotRect_.Left;
        const int rightEdge = inverted ? plotRect_.Left : plotRect_.Right;
        const double xl = h.Map().ToValue(leftEdge), xr = h.Map().ToValue(rightEdge);
        const auto range = chart::VisibleIndexRange(*line, xl, xr);
        if (!range)
            continue;
        if (s->BeforeDrawValues)
            s->BeforeDrawValues(*s);
        chart::TSeriesView view{h.Map(), v.Map(), leftEdge, xl};
        if (clipPoints_) {
            view.FirstShownRow = plotRect_.Top + 1;
            view.LastShownRow = plotRect_.Bottom - 2;
        }
        chart::DrawLineSeries(raster, *line, view, *range);
        if (s->AfterDrawValues)
            s->AfterDrawValues(*s);
    }
    raster.ResetClip();
}

void TChart::LayOut() {
    const QSize size = this->size();
    plotRect_ = chart::PlotRectFromMargins(size.width(), size.height(), margins_, borderWidth_);
    // Titles take their room only when they have something to show.
    auto caption = [&](const TChartText& text, bool top) -> std::optional<QRect> {
        if (!text.Visible || text.Text.isEmpty())
            return std::nullopt;
        const int height =
            FontHeight(ChartDefaultFont()) * static_cast<int>(Lines(text.Text).size());
        const QRect area(plotRect_.Left, top ? plotRect_.Top : plotRect_.Bottom - height,
                         plotRect_.Width(), height);
        TRectI rest = plotRect_;
        (top ? rest.Top : rest.Bottom) += top ? height : -height;
        plotRect_ = chart::IntersectOrKeep(plotRect_, rest);
        return area;
    };
    titleArea_ = caption(title_, true);
    footArea_ = caption(foot_, false);

    CalcAxesRanges();
    ReserveAxisBands();
    CalcAxesSpans();
    ApplySeriesMargins();
}

TChart::TBackground TChart::DescribeBackground() {
    TBackground b;
    b.Generation = generation_;
    b.Size = size();
    b.Colours = {PanelRgb(), palette().color(QPalette::Light).rgb(),
                 palette().color(QPalette::Dark).rgb()};
    b.Plot = plotRect_;
    for (std::size_t i = 0; i < axes_.size(); ++i)
        if (axisVisible_ && axes_[i]->shown_)
            b.Axes[i] = WalkAxis(*axes_[i]);
    return b;
}

void TChart::DrawBackground() {
    const QSize size = background_.Size;
    if (backgroundImage_.size() != size)
        backgroundImage_ = QImage(size, QImage::Format_RGB32);
    chart::TRaster raster(backgroundImage_);
    raster.Fill({0, 0, size.width(), size.height()}, PanelRgb());
    DrawBevels(raster);

    QPainter painter(&backgroundImage_);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    auto caption = [&](const TChartText& text, const std::optional<QRect>& area) {
        if (!area)
            return;
        painter.setFont(ChartDefaultFont());
        painter.setPen(QColor(0, 0, 255));
        painter.drawText(*area, static_cast<int>(text.Alignment | Qt::AlignTop), text.Text);
    };
    caption(title_, titleArea_);
    caption(foot_, footArea_);
    DrawBackWall(raster);
    for (std::size_t i = 0; i < axes_.size(); ++i)
        if (background_.Axes[i].Shown)
            DrawAxis(painter, raster, *axes_[i], background_.Axes[i]);
}

namespace {

// The band of rows in which two pictures differ, empty when they are the same.
QRect ChangedRows(const QImage& now, const QImage& before) {
    if (now.size() != before.size())
        return now.rect();
    const auto bytes = static_cast<std::size_t>(now.bytesPerLine());
    auto same = [&](int y) {
        return std::memcmp(now.constScanLine(y), before.constScanLine(y), bytes) == 0;
    };
    int first = 0, last = now.height() - 1;
    while (first <= last && same(first))
        ++first;
    while (last > first && same(last))
        --last;
    return first > last ? QRect() : QRect(0, first, now.width(), last - first + 1);
}

} // namespace

QRect TChart::DrawImage() {
    const QSize size = this->size();
    // The last picture is kept, to tell what the new one changes.
    std::swap(image_, previousImage_);
    if (image_.size() != size)
        image_ = QImage(size, QImage::Format_RGB32);
    if (image_.isNull())
        return {};
    LayOut();
    if (axisVisible_ && OnBeforeDrawAxes)
        OnBeforeDrawAxes(*this);
    // The background is drawn again only when something it shows has changed: live
    // plotting mostly adds points that leave the axes' labels where they were.
    TBackground wanted = DescribeBackground();
    if (!(wanted == background_) || backgroundImage_.size() != size) {
        background_ = std::move(wanted);
        DrawBackground();
    }
    std::memcpy(image_.bits(), backgroundImage_.constBits(),
                static_cast<std::size_t>(image_.sizeInBytes()));
    chart::TRaster raster(image_);
    if (OnBeforeDrawSeries)
        OnBeforeDrawSeries(*this);
    DrawSeries(raster);
    if (OnAfterDraw)
        OnAfterDraw(*this);
    return ChangedRows(image_, previousImage_);
}

void TChart::paintEvent(QPaintEvent* event) {
    // The timer keeps running: this paint may cover only part of the chart (a switch lying
    // over it paints the chart beneath itself), and the rest of the window still needs the
    // picture drawn now. What update() asked for comes whatever this paint covers.
    updatePending_ = false;
    sinceLastPaint_.start();
    QRect changed;
    if (imageStale_ || image_.size() != size()) {
        changed = DrawImage();
        imageStale_ = false;
    }
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
    // The picture changed beyond what this paint covers: that part is painted next.
    const QRegion rest = QRegion(changed).subtracted(event->region());
    if (!rest.isEmpty())
        update(rest);
    if (!zoom_.Active)
        return;
    // Not-xor: each pixel becomes the inverse of pen xor image, so the rectangle never
    // touches the cached picture and vanishes with the next copy.
    const QRgb pen = PanelRgb() == 0xFFFFFFFFu ? 0xFF000000u : PanelRgb();
    painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    const int left = std::min(zoom_.Start.x(), zoom_.Last.x());
    const int right = std::max(zoom_.Start.x(), zoom_.Last.x());
    const int top = std::min(zoom_.Start.y(), zoom_.Last.y());
    const int bottom = std::max(zoom_.Start.y(), zoom_.Last.y());
    if (right <= left || bottom <= top)
        return;
    // The outline of left..right-1 by top..bottom-1, every pixel once.
    painter.fillRect(QRect(left, top, right - left, 1), QColor(pen));
    if (bottom - top > 1)
        painter.fillRect(QRect(left, bottom - 1, right - left, 1), QColor(pen));
    if (bottom - top > 2) {
        painter.fillRect(QRect(left, top + 1, 1, bottom - top - 2), QColor(pen));
        if (right - left > 1)
            painter.fillRect(QRect(right - 1, top + 1, 1, bottom - top - 2), QColor(pen));
    }
}

// ---------------------------------------------------------------------------------------
// Zoom and scroll

TChartHit TChart::HitTest(QPoint p) const {
    const int px = p.x(), py = p.y();
    for (auto it = series_.rbegin(); it != series_.rend(); ++it) {
        const TLineSeries* line = AsLine(**it);
        if (!line || !line->Active() || line->Count() < 2)
            continue;
        const chart::TAxisMap& h = line->HorizAxis == THorizAxis::aTopAxis
                                       ? Axis(TAxisKind::Top).Map()
                                       : Axis(TAxisKind::Bottom).Map();
        const chart::TAxisMap& v = line->VertAxis == TVertAxis::aRightAxis
                                       ? Axis(TAxisKind::Right).Map()
                                       : Axis(TAxisKind::Left).Map();
        // Only segments whose columns come near the pointer can be hit.
        double a = h.ToValue(px - 2), b = h.ToValue(px + 2);
        if (a > b)
            std::swap(a, b);
        const auto range = chart::VisibleIndexRange(*line, a, b);
        if (!range)
            continue;
        const std::size_t first = range->First > 0 ? range->First - 1 : 0;
        for (std::size_t i = first; i < range->Last; ++i) {
            if (line->ValueColor(i) == clNone || line->ValueColor(i + 1) == clNone)
                continue;
            const double x0 = h.ToPixel(line->XValue(i)), y0 = v.ToPixel(line->YValue(i));
            const double x1 = h.ToPixel(line->XValue(i + 1)), y1 = v.ToPixel(line->YValue(i + 1));
            const double dx = x1 - x0, dy = y1 - y0, length2 = dx * dx + dy * dy;
            double t = length2 > 0 ? ((px - x0) * dx + (py - y0) * dy) / length2 : 0;
            t = std::clamp(t, 0.0, 1.0);
            const double ex = x0 + t * dx - px, ey = y0 + t * dy - py;
            if (ex * ex + ey * ey <= 2.0)
                return TChartHit::Series;
        }
    }
    for (const auto& a : axes_) {
        const TChartAxis& axis = *a;
        if (!axis.shown_ || axis.Kind() == TAxisKind::Depth)
            continue;
        const chart::TAxisMap& m = axis.Map();
        const int inward = axis.Kind() == TAxisKind::Top || axis.Kind() == TAxisKind::Left ? 1 : -1;
        const int inner = axis.axisLinePosition_ + 3 * inward;
        const int outer = axis.labelPosition_;
        const int along = axis.Horizontal() ? px : py, across = axis.Horizontal() ? py : px;
        if (along >= m.Start && along <= m.End && across >= std::min(inner, outer) &&
            across <= std::max(inner, outer))
            return TChartHit::Axis;
    }
    const bool anyActive =
        std::any_of(series_.begin(), series_.end(), [](const auto& s) { return s->Active(); });
    if (anyActive && plotRect_.Contains(px, py))
        return TChartHit::PlotRect;
    return TChartHit::None;
}

void TChart::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (zoom_.Active || panning_.Active)
        return;
    const QPoint p = event->position().toPoint();
    const TChartHit hit = HitTest(p);
    if (hit != TChartHit::Series && hit != TChartHit::Axis && hit != TChartHit::PlotRect)
        return;
    if (event->button() == Qt::LeftButton && AllowZoom) {
        unsetCursor();
        zoom_ = {true, p, p};
        update();
    } else if (event->button() == Qt::RightButton && AllowPanning != TPanningMode::pmNone) {
        unsetCursor();
        panning_ = {true, p, p};
    }
}

void TChart::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    const QPoint p = event->position().toPoint();
    if (zoom_.Active) {
        if (p == zoom_.Last)
            return;
        zoom_.Last = p;
        update();
    } else if (panning_.Active) {
        if (!plotRect_.Contains(p.x(), p.y())) {
            panning_.Active = false;
            return;
        }
        if (p != panning_.Last)
            ScrollTo(p);
    }
}

void TChart::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    const QPoint p = event->position().toPoint();
    if (zoom_.Active && event->button() == Qt::LeftButton) {
        zoom_.Active = false;
        zoom_.Last = p;
        update();
        const QPoint start = zoom_.Start;
        if (std::abs(p.x() - start.x()) > ZoomThreshold &&
            std::abs(p.y() - start.y()) > ZoomThreshold) {
            if (start.x() < p.x() && start.y() < p.y())
                ZoomIn(QRect(start, p));
            else
                UndoZoom();
            RequestRepaint();
        }
    }
    panning_.Active = false;
}

void TChart::wheelEvent(QWheelEvent* event) {
    QWidget::wheelEvent(event);
    wheelRemainder_ += event->angleDelta().y();
    const int notches = wheelRemainder_ / QWheelEvent::DefaultDeltasPerStep;
    wheelRemainder_ -= notches * QWheelEvent::DefaultDeltasPerStep;
    if (notches == 0)
        return;
    event->accept();
    // An axis without a range has nothing to scroll: fixing it there would pin it to a
    // sliver around that one value for all data that come later.
    std::vector<TChartAxis*> scrolled;
    for (TAxisKind kind : {TAxisKind::Left, TAxisKind::Right})
        if (Axis(kind).Maximum() != Axis(kind).Minimum())
            scrolled.push_back(&Axis(kind));
    if (scrolled.empty())
        return;
    // As for the first scroll step, so that undoing the zoom returns to the scaling before.
    if (!scalesToRestore_)
        SaveScales();
    // A notch toward the user (negative delta) moves the vertical axes up the values.
    for (int n = 0; n < std::abs(notches); ++n) {
        for (TChartAxis* axis : scrolled) {
            const double d = (axis->Maximum() - axis->Minimum()) * WheelStepPercent * 0.01;
            const double shift = notches < 0 ? d : -d;
            axis->SetMinMax(axis->Minimum() + shift, axis->Maximum() + shift);
        }
    }
    RequestRepaint();
}

void TChart::SaveScales() {
    for (int i = 0; i < 4; ++i) {
        const TChartAxis& a = *axes_[i];
        savedScales_[i] = {a.automatic_, a.automaticMinimum_, a.automaticMaximum_, a.minimum_,
                           a.maximum_};
    }
    scalesToRestore_ = true;
}

void TChart::ZoomIn(QRect r) {
    r = r.normalized();
    const int x0 = r.left(), y0 = r.top(), x1 = r.left() + r.width() - 1,
              y1 = r.top() + r.height() - 1;
    std::array<std::pair<double, double>, 4> target;
    for (int i = 0; i < 4; ++i) {
        const TChartAxis& a = *axes_[i];
        target[i] = a.Horizontal() ? std::pair(a.Map().ToValue(x0), a.Map().ToValue(x1))
                                   : std::pair(a.Map().ToValue(y1), a.Map().ToValue(y0));
    }
    if (!scalesToRestore_)
        SaveScales();
    if (AnimatedZoom) {
        for (int step = 1; step < AnimatedZoomSteps; ++step) {
            for (int i = 0; i < 4; ++i) {
                TChartAxis& a = *axes_[i];
                const double low = a.minimum_ + (target[i].first - a.minimum_) / 3;
                const double high = a.maximum_ + (target[i].second - a.maximum_) / 3;
                a.SetMinMax(low, high);
            }
            repaint();
        }
    }
    for (int i = 0; i < 4; ++i)
        axes_[i]->SetMinMax(target[i].first, target[i].second);
    zoomed_ = true;
    if (OnZoom)
        OnZoom(*this);
}

void TChart::UndoZoom() {
    if (scalesToRestore_) {
        for (int i = 0; i < 4; ++i) {
            TChartAxis& a = *axes_[i];
            const TSavedScale& s = savedScales_[i];
            a.automatic_ = s.Automatic;
            a.automaticMinimum_ = s.AutomaticMinimum;
            a.automaticMaximum_ = s.AutomaticMaximum;
            a.minimum_ = s.Minimum;
            a.maximum_ = s.Maximum;
        }
        scalesToRestore_ = false;
    }
    if (OnUndoZoom)
        OnUndoZoom(*this);
    RequestRepaint();
    zoomed_ = false;
}

void TChart::ScrollTo(QPoint p) {
    if (!scalesToRestore_)
        SaveScales();
    bool processed = false;
    auto scroll = [&](TAxisKind kind, int from, int to) {
        TChartAxis& axis = Axis(kind);
        const double d = axis.Map().ToValue(from) - axis.Map().ToValue(to);
        double low = axis.Minimum() + d, high = axis.Maximum() + d;
        bool allow = true;
        if (OnAllowScroll)
            OnAllowScroll(axis, low, high, allow);
        if (allow)
            axis.SetMinMax(low, high);
    };
    const QPoint last = panning_.Last;
    if (p.x() != last.x() &&
        (AllowPanning == TPanningMode::pmHorizontal || AllowPanning == TPanningMode::pmBoth)) {
        scroll(TAxisKind::Top, last.x(), p.x());
        scroll(TAxisKind::Bottom, last.x(), p.x());
        processed = true;
    }
    if (p.y() != last.y() &&
        (AllowPanning == TPanningMode::pmVertical || AllowPanning == TPanningMode::pmBoth)) {
        scroll(TAxisKind::Left, last.y(), p.y());
        scroll(TAxisKind::Right, last.y(), p.y());
        processed = true;
    }
    panning_.Last = p;
    if (processed) {
        if (OnScroll)
            OnScroll(*this);
        RequestRepaint();
    }
}
