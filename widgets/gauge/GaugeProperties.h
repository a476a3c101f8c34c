#pragma once

// The gauge's property tree. Every property object belongs to one gauge and reaches it
// through TULPropertyOwner: a setter takes the gauge's lock, compares, stores, and on a real
// change tells the gauge, which drops its cached drawing and asks for a repaint. Paths read
// as the component's dotted property paths: gauge.Scale.MajorTicks.Count.Set(7).

#include "widgets/gauge/GaugeGeometry.h"

#include <QString>

#include <mutex>
#include <utility>
#include <vector>

namespace gauge {

// A re-entrant lock that can be stopped for good: once the gauge's destruction has begun,
// acquiring it yields nothing, so a late paint or setter does nothing.
class TULLock {
public:
    class TGuard {
    public:
        TGuard() = default;
        explicit TGuard(std::recursive_mutex& mutex) : Mutex(&mutex) {}
        TGuard(TGuard&& other) noexcept : Mutex(std::exchange(other.Mutex, nullptr)) {}
        TGuard& operator=(TGuard&&) = delete;
        ~TGuard() {
            if (Mutex) {
                Mutex->unlock();
            }
        }
        explicit operator bool() const noexcept { return Mutex != nullptr; }

    private:
        std::recursive_mutex* Mutex = nullptr;
    };

    [[nodiscard]] TGuard Acquire();
    void Stop();

private:
    std::recursive_mutex Mutex;
    bool Stopped = false;
};

class TULPropertyOwner {
public:
    [[nodiscard]] virtual TULLock::TGuard AcquireLock() = 0;
    virtual void NotifyPropertiesChanged() = 0;

protected:
    ~TULPropertyOwner() = default;
};

// Base of every property object: non-copyable, bound to its owner for life.
class TULPersistent {
public:
    explicit TULPersistent(TULPropertyOwner& owner) : Owner(owner) {}
    TULPersistent(const TULPersistent&) = delete;
    TULPersistent& operator=(const TULPersistent&) = delete;

protected:
    TULPropertyOwner& Owner;
};

// One stored property value: gauge.Hand.Visible() reads, gauge.Hand.Visible.Set(false) writes.
template <class T> class TULField : public TULPersistent {
public:
    TULField(TULPropertyOwner& owner, T initial)
        : TULPersistent(owner), Stored(std::move(initial)) {}

    [[nodiscard]] const T& operator()() const noexcept { return Stored; }

    void Set(const T& value) {
        const auto guard = Owner.AcquireLock();
        if (!guard || Stored == value) {
            return;
        }
        Stored = value;
        Owner.NotifyPropertiesChanged();
    }

private:
    T Stored;
};

// A length: a fraction of the reference length its user gives, or pixels. Negative values are
// stored as 0; a value above 100 can only be pixels.
class TULElementSize : public TULPersistent {
public:
    TULElementSize(TULPropertyOwner& owner, float value)
        : TULPersistent(owner), Size{value, true} {}

    [[nodiscard]] float Value() const noexcept { return Size.Value; }
    [[nodiscard]] bool Proportional() const noexcept { return Size.Proportional; }
    [[nodiscard]] TElementSize AsElementSize() const noexcept { return Size; }
    [[nodiscard]] double Resolve(double reference) const noexcept {
        return ResolveSize(Size, reference);
    }

    void SetValue(float value);
    void SetProportional(bool proportional);
    void Assign(const TULElementSize& other);

protected:
    void Store(TElementSize size);
    TElementSize Size;
};

// A signed offset: negative values are kept, and a value beyond ±100 can only be pixels.
class TULElementOffsetSize : public TULElementSize {
public:
    TULElementOffsetSize(TULPropertyOwner& owner, float value) : TULElementSize(owner, value) {}

    [[nodiscard]] double Resolve(double reference) const noexcept {
        return ResolveOffset(Size, reference);
    }

    void SetValue(float value);
    void SetProportional(bool proportional);
};

enum TFontStyle : int { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// Every brush the system uses is a solid colour.
class TLPGPBrush : public TULPersistent {
public:
    TLPGPBrush(TULPropertyOwner& owner, TArgb color) : TULPersistent(owner), Color(owner, color) {}
    TULField<TArgb> Color;
    void Assign(const TLPGPBrush& other) { Color.Set(other.Color()); }
};

class TLPGPPen : public TULPersistent {
public:
    explicit TLPGPPen(TULPropertyOwner& owner) : TULPersistent(owner), Enabled(owner, false) {}
    TULField<bool> Enabled; // outline of the text; drawn only as a plain fill here
    void Assign(const TLPGPPen& other) { Enabled.Set(other.Enabled()); }
};

class TULFont : public TULPersistent {
public:
    TULFont(TULPropertyOwner& owner, float size);
    TULField<QString> Name;
    TULField<int> Style; // TFontStyle bits
    TULElementSize Size; // em size in points, of the face radius
    TLPGPBrush Brush;
    TLPGPPen Pen;
    void Assign(const TULFont& other);
};

enum class TULBorderShape {
    gbsEllipse,
    gbsRectangle,
    gbsRoundRectangle,
    gbsDiamond,
    gbsRoundDiamond
};
enum class TULBevelStyle { bvsNone, bvsRaised, bvsLowered };

class TULBevel : public TULPersistent {
public:
    TULBevel(TULPropertyOwner& owner, TULBevelStyle style, float width)
        : TULPersistent(owner), Style(owner, style), Width(owner, width) {}
    TULField<TULBevelStyle> Style;
    TULElementSize Width;
    void Assign(const TULBevel& other) {
        Style.Set(other.Style());
        Width.Assign(other.Width);
    }
};

class TULProportionalControlBorder : public TULPersistent {
public:
    explicit TULProportionalControlBorder(TULPropertyOwner& owner);
    TULField<bool> Proportional;
    TULField<TULBorderShape> Shape;
    TULField<TArgb> Color;
    TULElementSize Width;
    TULElementSize CornerRadius;
    TULBevel BevelOuter;
    TULBevel BevelInner;
    void Assign(const TULProportionalControlBorder& other);
};

class TULPosition : public TULPersistent {
public:
    TULPosition(TULPropertyOwner& owner, float x, float y)
        : TULPersistent(owner), X(owner, x), Y(owner, y) {}
    TULElementOffsetSize X;
    TULElementOffsetSize Y;
    void Assign(const TULPosition& other) {
        X.Assign(other.X);
        Y.Assign(other.Y);
    }
};

class TULCaption : public TULPersistent {
public:
    explicit TULCaption(TULPropertyOwner& owner);
    TULField<QString> Text;
    TULFont Font;
    TULPosition Position; // of the text's centre from the dial centre, of the face radius
    TULField<float> Angle;
    void Assign(const TULCaption& other);
};

class TILGlass : public TULPersistent {
public:
    explicit TILGlass(TULPropertyOwner& owner)
        : TULPersistent(owner), Visible(owner, true), Color(owner, 0x00FFFFFF),
          LightColor(owner, 0xAAFFFFFF) {}
    TULField<bool> Visible;
    TULField<TArgb> Color;
    TULField<TArgb> LightColor;
    void Assign(const TILGlass& other);
};

class TILScalePrecision : public TULPersistent {
public:
    explicit TILScalePrecision(TULPropertyOwner& owner)
        : TULPersistent(owner), NumberDigits(owner, 2), FixedPrecision(owner, false) {}
    TULField<unsigned> NumberDigits;
    TULField<bool> FixedPrecision;
    void Assign(const TILScalePrecision& other) {
        NumberDigits.Set(other.NumberDigits());
        FixedPrecision.Set(other.FixedPrecision());
    }
};

class TILTickLabels : public TULPersistent {
public:
    TILTickLabels(TULPropertyOwner& owner, bool visible, float position, float fontSize)
        : TULPersistent(owner), Visible(owner, visible), Position(owner, position), Angle(owner, 0),
          Font(owner, fontSize) {}
    TULField<bool> Visible;
    TULElementSize Position; // of the scale radius
    TULField<float> Angle;
    TULFont Font;
    void Assign(const TILTickLabels& other);
};

class TILTickLabelSwitch : public TULPersistent {
public:
    explicit TILTickLabelSwitch(TULPropertyOwner& owner)
        : TULPersistent(owner), Visible(owner, true) {}
    TULField<bool> Visible;
};

class TILEndTick : public TULPersistent {
public:
    explicit TILEndTick(TULPropertyOwner& owner)
        : TULPersistent(owner), Visible(owner, true), TickLabel(owner) {}
    TULField<bool> Visible;
    TILTickLabelSwitch TickLabel;
    void Assign(const TILEndTick& other) {
        Visible.Set(other.Visible());
        TickLabel.Visible.Set(other.TickLabel.Visible());
    }
};

class TILInstrumentTicks : public TULPersistent {
public:
    TILInstrumentTicks(TULPropertyOwner& owner, unsigned count, float length, float thickness,
                       bool labelsVisible, float labelsPosition, float labelsFontSize);
    TULField<bool> Visible;
    TULField<unsigned> Count;
    TULElementSize Length;    // of the face diameter
    TULElementSize Thickness; // of the face diameter
    TLPGPBrush Brush;
    TILTickLabels Labels;
    void Assign(const TILInstrumentTicks& other);
};

class TILInstrumentMajorTicks : public TILInstrumentTicks {
public:
    explicit TILInstrumentMajorTicks(TULPropertyOwner& owner)
        : TILInstrumentTicks(owner, 11, 0.05f, 0.02f, true, 0.75f, 0.09f), MinTick(owner),
          MaxTick(owner) {}
    TILEndTick MinTick;
    TILEndTick MaxTick;
    void Assign(const TILInstrumentMajorTicks& other);
};

class TILAngularGaugeScale : public TULPersistent {
public:
    explicit TILAngularGaugeScale(TULPropertyOwner& owner)
        : TULPersistent(owner), Position(owner, 0.9f), MinAngle(owner, 315), MaxAngle(owner, 225),
          Reversed(owner, false), Precision(owner), MajorTicks(owner),
          MinorTicks(owner, 4, 0.02f, 0.01f, false, 0.85f, 0.065f) {}
    TULElementSize Position; // of the face radius
    TULField<float> MinAngle;
    TULField<float> MaxAngle;
    TULField<bool> Reversed;
    TILScalePrecision Precision;
    TILInstrumentMajorTicks MajorTicks;
    TILInstrumentTicks MinorTicks;
    void Assign(const TILAngularGaugeScale& other);
};

// One coloured stretch of the ranges arc, from one scale value to another.
struct TILScaleRange {
    TArgb Color = 0xFF808080;
    double Start = 0;
    double End = 0;
    bool operator==(const TILScaleRange&) const = default;
};

class TILAnalogGaugeScaleRanges : public TULPersistent {
public:
    explicit TILAnalogGaugeScaleRanges(TULPropertyOwner& owner)
        : TULPersistent(owner), Visible(owner, true), Color(owner, 0xFF808080),
          Position(owner, 0.01f), Width(owner, 0.025f), Ranges(owner, {}) {}
    TULField<bool> Visible;
    TULField<TArgb> Color;
    TULElementSize Position; // inset from the face edge, of the face diameter
    TULElementSize Width;    // of the face radius; the arc is twice as wide
    TULField<std::vector<TILScaleRange>> Ranges;
    void Assign(const TILAnalogGaugeScaleRanges& other);
};

class TILShadow : public TULPersistent {
public:
    explicit TILShadow(TULPropertyOwner& owner) : TULPersistent(owner), Visible(owner, true) {}
    TULField<bool> Visible;
};

class TILAngularGaugeHand : public TULPersistent {
public:
    explicit TILAngularGaugeHand(TULPropertyOwner& owner);
    TULField<bool> Visible;
    TULField<TArgb> Color;
    TULElementSize Length; // all of the face radius
    TULElementSize TailLength;
    TULElementSize TipWidth;
    TULElementSize TailWidth;
    TULElementSize TailIndentSize;
    TILShadow Shadow;
    void Assign(const TILAngularGaugeHand& other);
};

class TILCenterCap : public TULPersistent {
public:
    TILCenterCap(TULPropertyOwner& owner, float size, TArgb color)
        : TULPersistent(owner), Size(owner, size), Color(owner, color) {}
    TULElementSize Size; // diameter, of the dial size
    TULField<TArgb> Color;
    void Assign(const TILCenterCap& other) {
        Size.Assign(other.Size);
        Color.Set(other.Color());
    }
};

class TILAnalogGaugeCenter : public TULPersistent {
public:
    explicit TILAnalogGaugeCenter(TULPropertyOwner& owner)
        : TULPersistent(owner), Bottom(owner, 0.2f, 0x64808080), Top(owner, 0.143f, 0xFF708090),
          Shadow(owner) {}
    TILCenterCap Bottom;
    TILCenterCap Top;
    TILShadow Shadow;
    void Assign(const TILAnalogGaugeCenter& other) {
        Bottom.Assign(other.Bottom);
        Top.Assign(other.Top);
        Shadow.Visible.Set(other.Shadow.Visible());
    }
};

} // namespace gauge
