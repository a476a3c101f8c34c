#include "widgets/gauge/TILAngularGauge.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace gauge;

namespace {

class TCountingGauge : public TILAngularGauge {
public:
    int PropertyChanges = 0;
    int ValueChanges = 0;

protected:
    void PropertiesChanged() override {
        ++PropertyChanges;
        TILAngularGauge::PropertiesChanged();
    }
    void ValueChanged() override {
        ++ValueChanges;
        TILAngularGauge::ValueChanged();
    }
};

const QColor Outside(0, 0, 255);

// The instruments page's look, on a background of its own colour.
void ConfigureLikeThePage(TILAngularGauge& g, int width, int height) {
    g.resize(width, height);
    g.Glass.Visible.Set(false);
    g.Scale.Position.SetValue(0.95f);
    g.Scale.Precision.NumberDigits.Set(1);
    g.Ranges.Width.SetValue(0.01f);
    g.Center.Bottom.Size.SetValue(0.17f);
    g.Background.UseParentColor.Set(false);
    g.Background.Color.Set(Outside);
}

QImage Render(TILAngularGauge& g) {
    QImage image(g.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::magenta);
    g.render(&image);
    return image;
}

QColor At(const QImage& image, QPointF p) {
    return image.pixelColor(static_cast<int>(std::floor(p.x())),
                            static_cast<int>(std::floor(p.y())));
}

QPointF Polar(QPointF centre, double radius, double degrees) {
    const double a = degrees * std::numbers::pi / 180;
    return centre + QPointF(radius * std::cos(a), radius * std::sin(a));
}

bool IsHandRed(const QColor& c) {
    return c.red() > 180 && c.green() < 100 && c.blue() < 100;
}

class GaugeFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ConfigureLikeThePage(Gauge, 305, 305);
        Gauge.PropertyChanges = 0;
    }
    TCountingGauge Gauge;
};

} // namespace

TEST_F(GaugeFixture, ValueIsClampedWithTheMinTestFirst) {
    struct Case {
        const char* rule;
        double min, max, value, expected;
    } const cases[] = {
        {"above Max stores Max", 0, 50, 75, 50},
        {"below Min stores Min", 0, 50, -3, 0},
        {"inside is stored as is", 0, 50, 12.5, 12.5},
        {"Min above Max: at or above Min ends as Max", 10, 5, 12, 5},
        {"Min above Max: below Min ends as Min", 10, 5, 3, 10},
    };
    for (const Case& c : cases) {
        Gauge.SetMin(c.min);
        Gauge.SetMax(c.max);
        Gauge.SetValue(c.value);
        EXPECT_DOUBLE_EQ(Gauge.Value(), c.expected) << c.rule;
    }
}

TEST_F(GaugeFixture, NewBoundsDoNotReclampUntilTheNextValueOrLoaded) {
    Gauge.SetMax(6000);
    Gauge.SetValue(0);
    Gauge.SetMax(1100);
    Gauge.SetMin(700);
    EXPECT_DOUBLE_EQ(Gauge.Value(), 0);
    const int before = Gauge.ValueChanges;
    Gauge.Loaded();
    EXPECT_DOUBLE_EQ(Gauge.Value(), 700);
    EXPECT_EQ(Gauge.ValueChanges, before) << "Loaded clamps without notification";
}

TEST_F(GaugeFixture, ValueChangeNotifiesOnlyTheValue) {
    Gauge.SetValue(40);
    EXPECT_EQ(Gauge.ValueChanges, 1);
    EXPECT_EQ(Gauge.PropertyChanges, 0);
    Gauge.SetValue(40);
    Gauge.SetValue(std::nan(""));
    EXPECT_EQ(Gauge.ValueChanges, 1) << "an equal value or no number changes nothing";
    EXPECT_DOUBLE_EQ(Gauge.Value(), 40);
}

TEST_F(GaugeFixture, SettersNotifyOnlyRealChanges) {
    Gauge.SetMax(100);
    Gauge.SetMin(0);
    Gauge.Scale.MajorTicks.Count.Set(11);
    Gauge.Hand.Length.SetValue(0.78f);
    Gauge.Caption.Text.Set(QString());
    EXPECT_EQ(Gauge.PropertyChanges, 0);

    Gauge.SetMax(50);
    Gauge.Scale.MinorTicks.Count.Set(3);
    Gauge.Hand.Color.Set(0xFF00FF00);
    Gauge.Caption.Position.Y.SetValue(0.5f);
    EXPECT_EQ(Gauge.PropertyChanges, 4);
    EXPECT_EQ(Gauge.Scale.MinorTicks.Count(), 3u);
}

TEST_F(GaugeFixture, ElementSizeSetterRules) {
    TULElementSize& size = Gauge.Hand.Length;
    size.SetValue(-1);
    EXPECT_EQ(size.Value(), 0) << "negative sizes are stored as 0";
    size.SetValue(150);
    EXPECT_FALSE(size.Proportional()) << "beyond 100 a size is pixels";
    size.SetProportional(true);
    EXPECT_EQ(size.Value(), 100);
    EXPECT_TRUE(size.Proportional());

    TULElementOffsetSize& offset = Gauge.Caption.Position.Y;
    offset.SetValue(-0.5f);
    EXPECT_EQ(offset.Value(), -0.5f) << "negative offsets are kept";
    EXPECT_TRUE(offset.Proportional());
    offset.SetValue(-150);
    EXPECT_FALSE(offset.Proportional());
    offset.SetProportional(true);
    EXPECT_EQ(offset.Value(), -100);
}

TEST_F(GaugeFixture, AssigningAPropertyObjectCopiesAndNotifies) {
    TILAngularGauge other;
    other.Hand.Color.Set(0xFF0000FF);
    other.Hand.TailLength.SetValue(0.3f);
    Gauge.Hand.Assign(other.Hand);
    EXPECT_EQ(Gauge.Hand.Color(), 0xFF0000FFu);
    EXPECT_EQ(Gauge.Hand.TailLength.Value(), 0.3f);
    EXPECT_EQ(Gauge.PropertyChanges, 2);
}

TEST(GaugeLock, ReentrantUntilStoppedThenYieldsNothing) {
    TULLock lock;
    {
        const auto outer = lock.Acquire();
        const auto inner = lock.Acquire();
        EXPECT_TRUE(outer);
        EXPECT_TRUE(inner);
    }
    lock.Stop();
    EXPECT_FALSE(lock.Acquire());
}

TEST_F(GaugeFixture, ValueChangeReusesTheLayersAndRangeChangeRebuildsThemOnce) {
    Gauge.SetMax(6000);
    Render(Gauge);
    ASSERT_EQ(Gauge.LayerBuildCount(), 1);
    Gauge.SetValue(3000);
    Render(Gauge);
    Render(Gauge);
    EXPECT_EQ(Gauge.LayerBuildCount(), 1);

    Gauge.SetMax(1100);
    Gauge.SetMin(700);
    Gauge.SetValue(700);
    Gauge.Scale.MajorTicks.Count.Set(11);
    Gauge.Scale.MinorTicks.Count.Set(3);
    Render(Gauge);
    EXPECT_EQ(Gauge.LayerBuildCount(), 2);

    Gauge.resize(200, 200);
    Render(Gauge);
    EXPECT_EQ(Gauge.LayerBuildCount(), 3);
}

TEST(GaugePixels, DialOfA217By209GaugeStartsFourPixelsIn) {
    TILAngularGauge g;
    ConfigureLikeThePage(g, 217, 209);
    const QImage image = Render(g);
    EXPECT_EQ(image.pixelColor(0, 0), Outside);
    EXPECT_EQ(image.pixelColor(216, 208), Outside);
    EXPECT_EQ(image.pixelColor(2, 104), Outside);
    EXPECT_NE(image.pixelColor(6, 104), Outside);
    EXPECT_EQ(image.pixelColor(215, 104), Outside);
    EXPECT_NE(image.pixelColor(211, 104), Outside);
    EXPECT_NE(image.pixelColor(108, 1), Outside) << "no vertical offset";
}

TEST_F(GaugeFixture, HandPointsAtMinMiddleAndMax) {
    const QPointF pivot(152, 152);
    const double radius = 0.6 * 140.3; // inside the labels, beyond the tail
    struct Case {
        double value;
        double degrees;
    } const cases[] = {{0, 135}, {50, 270}, {100, 405}};
    for (const Case& c : cases) {
        Gauge.SetValue(c.value);
        const QImage image = Render(Gauge);
        EXPECT_TRUE(IsHandRed(At(image, Polar(pivot, radius, c.degrees)))) << c.value;
        EXPECT_FALSE(IsHandRed(At(image, Polar(pivot, radius, c.degrees + 180)))) << c.value;
        EXPECT_FALSE(IsHandRed(At(image, Polar(pivot, radius, c.degrees + 90)))) << c.value;
    }
}

TEST_F(GaugeFixture, OuterBevelIsLitAtTheUpperLeftAndInnerTheOtherWayRound) {
    const QImage image = Render(Gauge);
    const QPointF centre(152.5, 152.5);
    const double outer = 152.5 - 3.05;
    const double inner = 152.5 - 9.15;
    const auto light = [](const QColor& c) { return c.red() > 230 && c.blue() > 230; };
    const auto dark = [](const QColor& c) { return std::abs(c.red() - 0x89) < 16; };
    EXPECT_TRUE(light(At(image, Polar(centre, outer, 225))));
    EXPECT_TRUE(dark(At(image, Polar(centre, outer, 45))));
    EXPECT_TRUE(dark(At(image, Polar(centre, inner, 225))));
    EXPECT_TRUE(light(At(image, Polar(centre, inner, 45))));
}

TEST_F(GaugeFixture, WithoutBevelsNoBorderRingIsDrawn) {
    Gauge.Border.BevelOuter.Width.SetValue(0);
    Gauge.Border.BevelInner.Width.SetValue(0);
    Gauge.Border.Width.SetValue(0.05f);
    Gauge.Border.Color.Set(0xFF0000FF);
    const QImage image = Render(Gauge);
    EXPECT_EQ(image.pixelColor(12, 152), QColor(0xD3, 0xD3, 0xD3)) << "face, not ring";
}
