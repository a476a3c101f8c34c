#include "widgets/gauge/TILAngularGauge.h"

#include "widgets/gauge/GaugePainter.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace gauge {

namespace {

constexpr int MinimumSide = 5;
// Offset of the hand's and the centre cap's shadows, of the dial size.
constexpr double ShadowOffset = 0.014;

bool BevelOn(const TULBevel& bevel) {
    return bevel.Style() != TULBevelStyle::bvsNone;
}

TDialSizes DialSizes(const TULProportionalControlBorder& border,
                     const TILAngularGaugeScale& scale) {
    TDialSizes sizes;
    sizes.BorderWidth = border.Width.AsElementSize();
    sizes.BevelOuterWidth = border.BevelOuter.Width.AsElementSize();
    sizes.BevelOuterOn = BevelOn(border.BevelOuter);
    sizes.BevelInnerWidth = border.BevelInner.Width.AsElementSize();
    sizes.BevelInnerOn = BevelOn(border.BevelInner);
    sizes.ScalePosition = scale.Position.AsElementSize();
    return sizes;
}

// First and second colour of a bevel ring: a raised ring is lit at its upper left.
std::pair<TArgb, TArgb> BevelColours(const TULBevel& bevel, TArgb dark) {
    constexpr TArgb light = 0xFFFFFFFF;
    return bevel.Style() == TULBevelStyle::bvsRaised ? std::pair{light, dark}
                                                     : std::pair{dark, light};
}

} // namespace

TILAngularGauge::TILAngularGauge(QWidget* parent)
    : QWidget(parent), Color(*this, 0xFFD3D3D3), AntiAlias(*this, true), Transparent(*this, false),
      Background(*this, QApplication::palette().color(QPalette::Button)), Border(*this),
      Caption(*this), Glass(*this), Scale(*this), Ranges(*this), Hand(*this), Center(*this) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(MinimumSide, MinimumSide);
    setFocusPolicy(Qt::NoFocus);
    resize(160, 160);
}

TILAngularGauge::~TILAngularGauge() {
    Lock.Stop();
}

double TILAngularGauge::Clamped(double value) const noexcept {
    if (value < MinValue) {
        return MinValue;
    }
    if (value > MaxValue) {
        return MaxValue;
    }
    return value;
}

void TILAngularGauge::SetValue(double value) {
    const auto guard = Lock.Acquire();
    if (!guard || std::isnan(value)) {
        return;
    }
    const double clamped = Clamped(value);
    if (clamped == CurrentValue) {
        return;
    }
    CurrentValue = clamped;
    ValueChanged();
}

void TILAngularGauge::SetMin(double min) {
    const auto guard = Lock.Acquire();
    if (!guard || std::isnan(min) || min == MinValue) {
        return;
    }
    MinValue = min;
    PropertiesChanged();
}

void TILAngularGauge::SetMax(double max) {
    const auto guard = Lock.Acquire();
    if (!guard || std::isnan(max) || max == MaxValue) {
        return;
    }
    MaxValue = max;
    PropertiesChanged();
}

void TILAngularGauge::Loaded() {
    if (const auto guard = Lock.Acquire()) {
        CurrentValue = Clamped(CurrentValue);
    }
}

bool TILAngularGauge::TabStop() const noexcept {
    return focusPolicy() != Qt::NoFocus;
}

void TILAngularGauge::SetTabStop(bool tabStop) {
    setFocusPolicy(tabStop ? Qt::TabFocus : Qt::NoFocus);
}

void TILAngularGauge::PropertiesChanged() {
    DropLayers();
    setAttribute(Qt::WA_OpaquePaintEvent, !Transparent());
    update();
}

void TILAngularGauge::ValueChanged() {
    update();
}

void TILAngularGauge::DropLayers() {
    BackgroundLayer = QImage();
    BevelLayer = QImage();
    GlassLayer = QImage();
}

QColor TILAngularGauge::BackgroundColour() const {
    const QWidget* parent = parentWidget();
    if (Background.UseParentColor() && parent) {
        return parent->palette().color(parent->backgroundRole());
    }
    return Background.Color();
}

void TILAngularGauge::paintEvent(QPaintEvent*) {
    if (OffScreen.size() != size()) {
        OffScreen = MakeSurface(width(), height());
    }
    OffScreen.fill(Transparent() ? QColor(Qt::transparent) : BackgroundColour());
    if (const auto guard = Lock.Acquire()) {
        QPainter surface(&OffScreen);
        PaintGauge(surface, width(), height());
    }
    QPainter(this).drawImage(0, 0, OffScreen);
}

void TILAngularGauge::resizeEvent(QResizeEvent* event) {
    DropLayers();
    QWidget::resizeEvent(event);
}

void TILAngularGauge::moveEvent(QMoveEvent* event) {
    DropLayers();
    QWidget::moveEvent(event);
}

void TILAngularGauge::showEvent(QShowEvent* event) {
    DropLayers();
    QWidget::showEvent(event);
}

void TILAngularGauge::hideEvent(QHideEvent* event) {
    DropLayers();
    QWidget::hideEvent(event);
}

void TILAngularGauge::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void TILAngularGauge::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

void TILAngularGauge::PaintGauge(QPainter& surface, int width, int height) {
    const auto guard = Lock.Acquire();
    if (!guard) {
        return;
    }
    const bool proportional = Border.Proportional();
    const int side = std::min(width, height);
    const int w = proportional ? side : width;
    const int h = proportional ? side : height;
    surface.save();
    surface.translate(DialOffset(width, height, proportional));

    const TDialMetrics m = ComputeDialMetrics(w, h, DialSizes(Border, Scale));
    if (BackgroundLayer.isNull()) {
        BuildLayers(w, h);
    }
    surface.setRenderHint(QPainter::Antialiasing, false);
    surface.drawImage(0, 0, BackgroundLayer);
    surface.setRenderHint(QPainter::Antialiasing, AntiAlias());

    const float angle = HandAngle(MinValue, MaxValue, CurrentValue, Scale.Reversed(),
                                  ScaleEnds(Scale.MinAngle(), Scale.MaxAngle()));
    surface.save();
    const QRectF clipBox(m.B / 2, m.B / 2, w - m.B, h - m.B);
    surface.setClipPath(BorderPath(Border.Shape(), clipBox, Border.CornerRadius.Resolve(m.D)),
                        Qt::IntersectClip);
    if (Hand.Visible()) {
        const double r = m.R;
        const THandShape shape =
            HandShape(Hand.Length.Resolve(r), Hand.TailLength.Resolve(r), Hand.TipWidth.Resolve(r),
                      Hand.TailWidth.Resolve(r), Hand.TailIndentSize.Resolve(r));
        THandStyle style;
        style.Color = Hand.Color();
        style.Shadow = Hand.Shadow.Visible();
        style.ShadowOffset = ShadowOffset * std::min(w, h);
        style.TailFacet = Hand.TailIndentSize.Resolve(r) != 0;
        DrawHand(surface, QPointF((w - 1) / 2.0, (h - 1) / 2.0), angle, shape, style);
    }
    DrawCaps(surface, QPointF(w / 2.0, h / 2.0), QRectF(0, 0, w, h),
             Center.Bottom.Size.Resolve(m.D), Center.Bottom.Color(), Center.Top.Size.Resolve(m.D),
             Center.Top.Color());
    surface.restore();

    surface.setRenderHint(QPainter::Antialiasing, false);
    if (!GlassLayer.isNull()) {
        surface.drawImage(0, 0, GlassLayer);
    }
    if (!BevelLayer.isNull()) {
        surface.drawImage(0, 0, BevelLayer);
    }
    surface.restore();
}

void TILAngularGauge::BuildLayers(int w, int h) {
    ++LayerBuilds;
    const TDialMetrics m = ComputeDialMetrics(w, h, DialSizes(Border, Scale));
    const double corner = Border.CornerRadius.Resolve(m.D);
    const TULBorderShape shape = Border.Shape();
    const QPointF centre(w / 2.0, h / 2.0);
    const bool smooth = AntiAlias();

    BackgroundLayer = MakeSurface(w + 1, h + 1);
    QPainter layer(&BackgroundLayer);
    layer.setRenderHint(QPainter::Antialiasing, smooth);
    layer.setRenderHint(QPainter::TextAntialiasing, true);

    layer.setPen(Qt::NoPen);
    layer.setBrush(ToQColor(Color()));
    layer.drawPath(
        BorderPath(shape, QRectF(m.BPrime / 2, m.BPrime / 2, w - m.BPrime, h - m.BPrime), corner));

    const QRectF clipBox(m.B / 2, m.B / 2, w - m.B, h - m.B);
    if (m.T > 0 || m.U > 0) {
        BevelLayer = MakeSurface(w + 1, h + 1);
        QPainter bevel(&BevelLayer);
        bevel.setRenderHint(QPainter::Antialiasing, smooth);
        if (m.BPrime > 0) {
            bevel.setPen(QPen(ToQColor(Border.Color()), m.BPrime));
            bevel.setBrush(Qt::NoBrush);
            bevel.drawPath(BorderPath(shape, clipBox, corner));
        }
        const TArgb dark = BevelDarkColour(Border.Color());
        if (BevelOn(Border.BevelOuter)) {
            const QRectF box(m.T / 2, m.T / 2, w - m.T, h - m.T);
            const auto [first, second] = BevelColours(Border.BevelOuter, dark);
            StrokeBevelRing(bevel, BorderPath(shape, box, corner), box, m.T, first, second);
        }
        if (BevelOn(Border.BevelInner)) {
            const double inset = m.T + m.V + m.U / 2;
            const QRectF box(inset, inset, w - 2 * inset, h - 2 * inset);
            const auto [first, second] = BevelColours(Border.BevelInner, dark);
            StrokeBevelRing(bevel, BorderPath(shape, box, corner), box, m.U, first, second);
        }
    }

    layer.setClipPath(BorderPath(shape, clipBox, corner), Qt::IntersectClip);

    if (!Caption.Text().isEmpty()) {
        const QFont font =
            MakeFont(Caption.Font.Name(), Caption.Font.Style(), Caption.Font.Size.Resolve(m.R));
        const QPointF anchor(centre.x() + Caption.Position.X.Resolve(m.R),
                             centre.y() + Caption.Position.Y.Resolve(m.R));
        DrawCentredText(layer, anchor, Caption.Angle(), font, Caption.Font.Brush.Color(),
                        Caption.Text());
    }

    const TScaleEnds ends = ScaleEnds(Scale.MinAngle(), Scale.MaxAngle());
    if (Ranges.Visible()) {
        const double pen = 2 * Ranges.Width.Resolve(m.R);
        const double inset = m.B + Ranges.Position.Resolve(2 * m.R) + pen / 2;
        const QRectF box(inset, inset, w - 2 * inset, h - 2 * inset);
        DrawArc(layer, box, ends.Start, ends.Sweep, pen, Ranges.Color());
        for (const TILScaleRange& range : Ranges.Ranges()) {
            const float from = HandAngle(MinValue, MaxValue, range.Start, Scale.Reversed(), ends);
            const float to = HandAngle(MinValue, MaxValue, range.End, Scale.Reversed(), ends);
            DrawArc(layer, box, from, to - from, 0.8 * pen, range.Color);
        }
    }

    TTickRules rules;
    rules.Ends = ends;
    rules.Reversed = Scale.Reversed();
    rules.Min = MinValue;
    rules.Max = MaxValue;
    const TILInstrumentMajorTicks& major = Scale.MajorTicks;
    const TILInstrumentTicks& minor = Scale.MinorTicks;
    rules.MajorCount = major.Count();
    rules.MinorCount = minor.Count();
    rules.MajorVisible = major.Visible();
    rules.MinorVisible = minor.Visible();
    rules.MajorLabelsVisible = major.Labels.Visible();
    rules.MinorLabelsVisible = minor.Labels.Visible();
    rules.MinTickVisible = major.MinTick.Visible();
    rules.MinTickLabelVisible = major.MinTick.TickLabel.Visible();
    rules.MaxTickVisible = major.MaxTick.Visible();
    rules.MaxTickLabelVisible = major.MaxTick.TickLabel.Visible();

    const double s = m.S;
    const double majorLength = major.Length.Resolve(2 * m.R);
    const double majorWidth = major.Thickness.Resolve(2 * m.R);
    const double minorLength = minor.Length.Resolve(2 * m.R);
    const double minorWidth = minor.Thickness.Resolve(2 * m.R);
    const QFont majorFont = MakeFont(major.Labels.Font.Name(), major.Labels.Font.Style(),
                                     major.Labels.Font.Size.Resolve(m.R));
    const QFont minorFont = MakeFont(minor.Labels.Font.Name(), minor.Labels.Font.Style(),
                                     minor.Labels.Font.Size.Resolve(m.R));
    const QString separator = LocaleDecimalSeparator();
    const bool fixed = Scale.Precision.FixedPrecision();
    const unsigned digits = Scale.Precision.NumberDigits();
    const int majorDecimals = LabelDecimals(fixed, digits, MaxValue - MinValue);
    const int minorDecimals =
        LabelDecimals(fixed, digits, (MaxValue - MinValue) / std::max(1u, major.Count()));

    for (const TTickMark& mark : LayoutTicks(rules)) {
        const TILInstrumentTicks& ticks =
            mark.Major ? static_cast<const TILInstrumentTicks&>(major) : minor;
        const double length = mark.Major ? majorLength : minorLength;
        DrawLine(layer, PolarPoint(centre, s, mark.Radians),
                 PolarPoint(centre, s - length, mark.Radians), mark.Major ? majorWidth : minorWidth,
                 ticks.Brush.Color());
        if (mark.Labelled) {
            const QString text =
                LabelText(mark.LabelValue, mark.Major ? majorDecimals : minorDecimals, separator);
            DrawCentredText(layer,
                            PolarPoint(centre, ticks.Labels.Position.Resolve(s), mark.Radians),
                            ticks.Labels.Angle(), mark.Major ? majorFont : minorFont,
                            ticks.Labels.Font.Brush.Color(), text);
        }
    }

    const TArgb bottom = Center.Bottom.Color();
    if ((bottom >> 24) != 0 && Center.Shadow.Visible()) {
        layer.save();
        layer.translate(ShadowOffset * m.D, ShadowOffset * m.D);
        FillCentreShadow(layer, centre, 1.1 * Center.Bottom.Size.Resolve(m.D),
                         CentreShadowAlpha(Center.Bottom.Size.Resolve(400)));
        layer.restore();
    }

    if (Glass.Visible()) {
        GlassLayer = MakeSurface(w + 1, h + 1);
        QPainter glass(&GlassLayer);
        glass.setRenderHint(QPainter::Antialiasing, smooth);
        glass.setClipPath(BorderPath(shape, clipBox, corner));
        // A reflection over the upper half of the face, bright at the top.
        const QRectF sheen(m.B, m.B, w - 2 * m.B, (h - 2 * m.B) * 0.55);
        QLinearGradient light(sheen.topLeft(), sheen.bottomLeft());
        light.setColorAt(0, ToQColor(Glass.LightColor()));
        light.setColorAt(1, ToQColor(Glass.Color()));
        glass.setPen(Qt::NoPen);
        glass.setBrush(light);
        glass.drawEllipse(sheen);
    }
}

} // namespace gauge
