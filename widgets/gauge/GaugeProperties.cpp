#include "widgets/gauge/GaugeProperties.h"

namespace gauge {

TULLock::TGuard TULLock::Acquire() {
    Mutex.lock();
    if (Stopped) {
        Mutex.unlock();
        return {};
    }
    return TGuard(Mutex);
}

void TULLock::Stop() {
    const std::lock_guard guard(Mutex);
    Stopped = true;
}

void TULElementSize::Store(TElementSize size) {
    const auto guard = Owner.AcquireLock();
    if (!guard || (size.Value == Size.Value && size.Proportional == Size.Proportional)) {
        return;
    }
    Size = size;
    Owner.NotifyPropertiesChanged();
}

void TULElementSize::SetValue(float value) {
    if (!(value >= 0)) {
        value = 0;
    }
    Store({value, Size.Proportional && value <= 100});
}

void TULElementSize::SetProportional(bool proportional) {
    Store({proportional && Size.Value > 100 ? 100.0f : Size.Value, proportional});
}

void TULElementSize::Assign(const TULElementSize& other) {
    Store(other.Size);
}

void TULElementOffsetSize::SetValue(float value) {
    if (value != value) {
        value = 0;
    }
    Store({value, Size.Proportional && value >= -100 && value <= 100});
}

void TULElementOffsetSize::SetProportional(bool proportional) {
    float value = Size.Value;
    if (proportional) {
        value = value > 100 ? 100.0f : value < -100 ? -100.0f : value;
    }
    Store({value, proportional});
}

TULFont::TULFont(TULPropertyOwner& owner, float size)
    : TULPersistent(owner), Name(owner, QStringLiteral("Microsoft Sans Serif")),
      Style(owner, fsBold), Size(owner, size), Brush(owner, 0xFF000000), Pen(owner) {}

void TULFont::Assign(const TULFont& other) {
    Name.Set(other.Name());
    Style.Set(other.Style());
    Size.Assign(other.Size);
    Brush.Assign(other.Brush);
    Pen.Assign(other.Pen);
}

TULProportionalControlBorder::TULProportionalControlBorder(TULPropertyOwner& owner)
    : TULPersistent(owner), Proportional(owner, true), Shape(owner, TULBorderShape::gbsEllipse),
      Color(owner, 0xFFD3D3D3), Width(owner, 0), CornerRadius(owner, 0.1f),
      BevelOuter(owner, TULBevelStyle::bvsRaised, 0.02f),
      BevelInner(owner, TULBevelStyle::bvsLowered, 0.02f) {}

void TULProportionalControlBorder::Assign(const TULProportionalControlBorder& other) {
    Proportional.Set(other.Proportional());
    Shape.Set(other.Shape());
    Color.Set(other.Color());
    Width.Assign(other.Width);
    CornerRadius.Assign(other.CornerRadius);
    BevelOuter.Assign(other.BevelOuter);
    BevelInner.Assign(other.BevelInner);
}

TULCaption::TULCaption(TULPropertyOwner& owner)
    : TULPersistent(owner), Text(owner, QString()), Font(owner, 0.09f), Position(owner, 0, 0.7f),
      Angle(owner, 0) {}

void TULCaption::Assign(const TULCaption& other) {
    Text.Set(other.Text());
    Font.Assign(other.Font);
    Position.Assign(other.Position);
    Angle.Set(other.Angle());
}

void TILGlass::Assign(const TILGlass& other) {
    Visible.Set(other.Visible());
    Color.Set(other.Color());
    LightColor.Set(other.LightColor());
}

void TILTickLabels::Assign(const TILTickLabels& other) {
    Visible.Set(other.Visible());
    Position.Assign(other.Position);
    Angle.Set(other.Angle());
    Font.Assign(other.Font);
}

TILInstrumentTicks::TILInstrumentTicks(TULPropertyOwner& owner, unsigned count, float length,
                                       float thickness, bool labelsVisible, float labelsPosition,
                                       float labelsFontSize)
    : TULPersistent(owner), Visible(owner, true), Count(owner, count), Length(owner, length),
      Thickness(owner, thickness), Brush(owner, 0xFF000000),
      Labels(owner, labelsVisible, labelsPosition, labelsFontSize) {}

void TILInstrumentTicks::Assign(const TILInstrumentTicks& other) {
    Visible.Set(other.Visible());
    Count.Set(other.Count());
    Length.Assign(other.Length);
    Thickness.Assign(other.Thickness);
    Brush.Assign(other.Brush);
    Labels.Assign(other.Labels);
}

void TILInstrumentMajorTicks::Assign(const TILInstrumentMajorTicks& other) {
    TILInstrumentTicks::Assign(other);
    MinTick.Assign(other.MinTick);
    MaxTick.Assign(other.MaxTick);
}

void TILAngularGaugeScale::Assign(const TILAngularGaugeScale& other) {
    Position.Assign(other.Position);
    MinAngle.Set(other.MinAngle());
    MaxAngle.Set(other.MaxAngle());
    Reversed.Set(other.Reversed());
    Precision.Assign(other.Precision);
    MajorTicks.Assign(other.MajorTicks);
    MinorTicks.Assign(other.MinorTicks);
}

void TILAnalogGaugeScaleRanges::Assign(const TILAnalogGaugeScaleRanges& other) {
    Visible.Set(other.Visible());
    Color.Set(other.Color());
    Position.Assign(other.Position);
    Width.Assign(other.Width);
    Ranges.Set(other.Ranges());
}

TILAngularGaugeHand::TILAngularGaugeHand(TULPropertyOwner& owner)
    : TULPersistent(owner), Visible(owner, true), Color(owner, 0xFFFF0000), Length(owner, 0.78f),
      TailLength(owner, 0.4f), TipWidth(owner, 0.02f), TailWidth(owner, 0.1f),
      TailIndentSize(owner, 0.07f), Shadow(owner) {}

void TILAngularGaugeHand::Assign(const TILAngularGaugeHand& other) {
    Visible.Set(other.Visible());
    Color.Set(other.Color());
    Length.Assign(other.Length);
    TailLength.Assign(other.TailLength);
    TipWidth.Assign(other.TipWidth);
    TailWidth.Assign(other.TailWidth);
    TailIndentSize.Assign(other.TailIndentSize);
    Shadow.Visible.Set(other.Shadow.Visible());
}

} // namespace gauge
