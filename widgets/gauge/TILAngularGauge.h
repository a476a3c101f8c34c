#pragma once

// The round dial instrument: a hand over a circular scale between Min and Max, with major
// and minor ticks, labels, a caption, a two-piece centre cap, a bevelled border, a ranges arc
// and an optional glass reflection. Everything that does not depend on Value is drawn once
// into cached layers, so a change of Value alone redraws only the hand and the caps.

#include "widgets/gauge/GaugeProperties.h"

#include <QColor>
#include <QImage>
#include <QWidget>

class QPainter;

namespace gauge {

// The area outside the dial: the parent's colour, or a colour of the gauge's own.
class TILBackground : public TULPersistent {
public:
    TILBackground(TULPropertyOwner& owner, QColor color)
        : TULPersistent(owner), UseParentColor(owner, true), Color(owner, color) {}
    TULField<bool> UseParentColor;
    TULField<QColor> Color;
    void Assign(const TILBackground& other) {
        UseParentColor.Set(other.UseParentColor());
        Color.Set(other.Color());
    }
};

class TILAngularGauge : public QWidget, private TULPropertyOwner {
    Q_OBJECT

public:
    explicit TILAngularGauge(QWidget* parent = nullptr);
    ~TILAngularGauge() override;

    [[nodiscard]] double Min() const noexcept { return MinValue; }
    [[nodiscard]] double Max() const noexcept { return MaxValue; }
    [[nodiscard]] double Value() const noexcept { return CurrentValue; }

    // Stored unchanged: Value is not re-clamped to a new bound until it is set again.
    void SetMin(double min);
    void SetMax(double max);
    // Clamped to Min first, then to Max; with Min > Max every value at or above Min becomes
    // Max. A value that is not a number is ignored.
    void SetValue(double value);
    // Called once the gauge's configuration is complete: clamps Value without notification.
    void Loaded();

    [[nodiscard]] bool TabStop() const noexcept;
    void SetTabStop(bool tabStop);

    TULField<TArgb> Color;
    TULField<bool> AntiAlias;
    TULField<bool> Transparent;
    TILBackground Background;
    TULProportionalControlBorder Border;
    TULCaption Caption;
    TILGlass Glass;
    TILAngularGaugeScale Scale;
    TILAnalogGaugeScaleRanges Ranges;
    TILAngularGaugeHand Hand;
    TILAnalogGaugeCenter Center;

    // How many times the cached layers have been built; lets tests and benchmarks see that a
    // value change reuses them.
    [[nodiscard]] int LayerBuildCount() const noexcept { return LayerBuilds; }

    [[nodiscard]] QSize sizeHint() const override { return {160, 160}; }

protected:
    // Drops the cached layers and asks for a repaint.
    virtual void PropertiesChanged();
    // Asks for a repaint; the cached layers stay valid.
    virtual void ValueChanged();
    // Draws the gauge for a control of width x height onto the surface.
    virtual void PaintGauge(QPainter& surface, int width, int height);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    TULLock::TGuard AcquireLock() override { return Lock.Acquire(); }
    void NotifyPropertiesChanged() override { PropertiesChanged(); }

    void DropLayers();
    void BuildLayers(int w, int h);
    [[nodiscard]] double Clamped(double value) const noexcept;
    [[nodiscard]] QColor BackgroundColour() const;

    TULLock Lock;
    double MinValue = 0;
    double MaxValue = 100;
    double CurrentValue = 0;

    QImage OffScreen;
    QImage BackgroundLayer;
    QImage BevelLayer;
    QImage GlassLayer;
    int LayerBuilds = 0;
};

} // namespace gauge
