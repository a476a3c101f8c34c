#include "widgets/gauge/GaugeGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace gauge;

namespace {

// The instruments page's configuration for the sizes that set the reference lengths.
TDialSizes PageDial() {
    TDialSizes sizes;
    sizes.BorderWidth = {0.0f};
    sizes.BevelOuterWidth = {0.02f};
    sizes.BevelInnerWidth = {0.02f};
    sizes.ScalePosition = {0.95f};
    return sizes;
}

double Degrees(float radians) {
    return radians * 180.0 / std::numbers::pi;
}

// Direction in [0, 360).
double Direction(float radians) {
    const double d = std::fmod(Degrees(radians), 360.0);
    return d < 0 ? d + 360 : d;
}

TTickRules PageTicks(double min, double max, unsigned major, unsigned minor) {
    TTickRules rules;
    rules.Ends = ScaleEnds(315, 225);
    rules.Min = min;
    rules.Max = max;
    rules.MajorCount = major;
    rules.MinorCount = minor;
    return rules;
}

} // namespace

TEST(DialMetrics, WorkedExampleOf305Gauge) {
    const TDialMetrics m = ComputeDialMetrics(305, 305, PageDial());
    EXPECT_DOUBLE_EQ(m.D, 305);
    EXPECT_NEAR(m.B, 12.2, 1e-5);
    EXPECT_NEAR(m.R, 140.3, 1e-5);
    EXPECT_NEAR(m.S, 133.3, 0.05);
    const double face = 2 * m.R;
    EXPECT_NEAR(ResolveSize({0.05f}, face), 14.0, 0.05); // major tick length
    EXPECT_NEAR(ResolveSize({0.02f}, face), 5.6, 0.05);  // major width, minor length
    EXPECT_NEAR(ResolveSize({0.01f}, face), 2.8, 0.05);  // minor width
    EXPECT_NEAR(ResolveSize({0.75f}, m.S), 100.0, 0.05); // label radius
    EXPECT_NEAR(ResolveSize({0.09f}, m.R), 12.6, 0.05);  // label em size, points
    EXPECT_NEAR(ResolveSize({0.78f}, m.R), 109.4, 0.05); // hand
    EXPECT_NEAR(ResolveSize({0.4f}, m.R), 56.1, 0.05);   // tail
    EXPECT_NEAR(ResolveSize({0.17f}, m.D), 51.9, 0.05);  // bottom cap
    EXPECT_NEAR(ResolveSize({0.143f}, m.D), 43.6, 0.05); // top cap
    EXPECT_NEAR(ResolveOffset({0.7f}, m.R), 98.2, 0.05); // caption below the centre
}

TEST(DialMetrics, SmallerSideSetsTheDialAndItIsCentred) {
    const TDialMetrics m = ComputeDialMetrics(217, 209, PageDial());
    EXPECT_DOUBLE_EQ(m.D, 209);
    EXPECT_EQ(DialOffset(217, 209, true), QPointF(4, 0));
    EXPECT_EQ(DialOffset(209, 217, true), QPointF(0, 4));
    EXPECT_EQ(DialOffset(217, 209, false), QPointF(0, 0));
}

TEST(DialMetrics, BevelsWithStyleNoneTakeNoRoom) {
    TDialSizes sizes = PageDial();
    sizes.BevelOuterOn = false;
    sizes.BorderWidth = {0.01f};
    const TDialMetrics m = ComputeDialMetrics(200, 200, sizes);
    EXPECT_NEAR(m.B, 2 + 4, 1e-5);
    EXPECT_NEAR(m.BPrime, 2 + 2, 1e-5);
}

TEST(ElementSize, ResolutionRules) {
    struct Case {
        const char* rule;
        TElementSize size;
        double expected;
    } const cases[] = {
        {"fraction of the reference", {0.5f, true}, 50},
        {"at most the whole reference", {150, true}, 100},
        {"pixels when not proportional", {7, false}, 7},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(ResolveSize(c.size, 100), c.expected, 1e-6) << c.rule;
    }
    EXPECT_NEAR(ResolveOffset({-0.5f, true}, 100), -50, 1e-6);
    EXPECT_NEAR(ResolveOffset({-150, true}, 100), -100, 1e-6);
    EXPECT_NEAR(ResolveOffset({-150, false}, 100), -150, 1e-6);
}

TEST(HandAngle, MapsValuesOntoTheClockwiseScale) {
    const TScaleEnds ends = ScaleEnds(315, 225);
    EXPECT_FLOAT_EQ(ends.Start, 135);
    EXPECT_FLOAT_EQ(ends.End, 45) << "the direction of Start + Sweep, 405";
    EXPECT_FLOAT_EQ(ends.Sweep, 270);
    struct Case {
        const char* rule;
        double min, max, value;
        bool reversed;
        float expected;
    } const cases[] = {
        {"Min at the lower left", 0, 6000, 0, false, 135},
        {"middle straight up", 0, 6000, 3000, false, 270},
        {"Max at the lower right", 0, 6000, 6000, false, 405},
        {"reversed: Min at the lower right", 0, 50, 0, true, 405},
        {"reversed: Max at the lower left", 0, 50, 50, true, 135},
        {"value below a new range turns past Start", 700, 1100, 0, false, -337.5f},
        {"empty range shows Start", 5, 5, 9, false, 135},
    };
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(HandAngle(c.min, c.max, c.value, c.reversed, ends), c.expected) << c.rule;
    }
}

TEST(TickLayout, SevenMajorsWithFourMinorsStepNineDegrees) {
    const auto marks = LayoutTicks(PageTicks(0, 6000, 7, 4));
    std::vector<double> majors;
    std::vector<float> labels;
    int minors = 0;
    for (const TTickMark& mark : marks) {
        if (mark.Major) {
            majors.push_back(Degrees(mark.Radians));
            ASSERT_TRUE(mark.Labelled);
            labels.push_back(mark.LabelValue);
        } else {
            ++minors;
            EXPECT_FALSE(mark.Labelled);
            EXPECT_NEAR(std::fmod(Degrees(mark.Radians) - 135 + 1e-3, 9.0), 0, 2e-3);
        }
    }
    const double expected[] = {135, 180, 225, 270, 315, 360, 405};
    ASSERT_EQ(majors.size(), std::size(expected));
    for (std::size_t i = 0; i < majors.size(); ++i) {
        EXPECT_NEAR(majors[i], expected[i], 1e-3) << i;
        EXPECT_FLOAT_EQ(labels[i], 1000.0f * i);
    }
    EXPECT_EQ(minors, 6 * 4);
}

TEST(TickLayout, IdleRangeLabelsEveryFortyWithThreeMinors) {
    const auto marks = LayoutTicks(PageTicks(700, 1100, 11, 3));
    std::vector<float> labels;
    for (const TTickMark& mark : marks) {
        if (mark.Major) {
            labels.push_back(mark.LabelValue);
        }
    }
    ASSERT_EQ(labels.size(), 11u);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        EXPECT_FLOAT_EQ(labels[i], 700.0f + 40.0f * i);
    }
    EXPECT_EQ(marks.size(), 11u + 10u * 3u);
}

TEST(TickLayout, ReversedScaleStartsAtTheEnd) {
    TTickRules rules = PageTicks(0, 50, 11, 4);
    rules.Reversed = true;
    const auto marks = LayoutTicks(rules);
    EXPECT_NEAR(Direction(marks.front().Radians), 45, 1e-3);
    EXPECT_FLOAT_EQ(marks.front().LabelValue, 0);
    EXPECT_NEAR(Direction(marks.back().Radians), 135, 1e-3);
    EXPECT_FLOAT_EQ(marks.back().LabelValue, 50);
}

TEST(TickLayout, EndTickSwitchesHideTicksAndLabels) {
    TTickRules rules = PageTicks(0, 10, 3, 1);
    rules.MinTickVisible = false;
    rules.MaxTickLabelVisible = false;
    const auto marks = LayoutTicks(rules);
    ASSERT_FALSE(marks.empty());
    EXPECT_FALSE(marks.front().Major) << "no tick at the Min end";
    EXPECT_TRUE(marks.back().Major);
    EXPECT_FALSE(marks.back().Labelled) << "Max tick without its label";
}

TEST(TickLayout, WithoutMajorsMinorsFillEveryPositionAndLabelFractions) {
    TTickRules rules = PageTicks(0, 10, 3, 1);
    rules.MajorVisible = false;
    rules.MinorLabelsVisible = true;
    const auto marks = LayoutTicks(rules);
    ASSERT_EQ(marks.size(), 5u);
    const float values[] = {0, 2.5f, 5, 7.5f, 10};
    for (std::size_t i = 0; i < marks.size(); ++i) {
        EXPECT_FALSE(marks[i].Major);
        EXPECT_FLOAT_EQ(marks[i].LabelValue, values[i]);
    }
}

TEST(TickLayout, DegenerateMajorCounts) {
    EXPECT_TRUE(LayoutTicks(PageTicks(0, 10, 0, 4)).empty());
    const auto one = LayoutTicks(PageTicks(0, 10, 1, 4));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_NEAR(Degrees(one[0].Radians), 135, 1e-3);
}

TEST(LabelDecimals, DependOnTheRangeAndDigits) {
    struct Case {
        bool fixed;
        unsigned digits;
        double range;
        int expected;
    } const cases[] = {
        {false, 2, 50, 0},   {false, 2, 5, 1},    {false, 2, 0.5, 2},  {false, 2, 0.05, 3},
        {true, 2, 50, 2},    {true, 2, 0.05, 2},  {false, 0, 0.05, 0}, {false, 1, 0, 1},
        {false, 1, 6000, 0}, {false, 1, -0.5, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LabelDecimals(c.fixed, c.digits, c.range), c.expected)
            << "fixed " << c.fixed << " digits " << c.digits << " range " << c.range;
    }
}

TEST(LabelText, FixedDecimalsWithTheGivenSeparator) {
    EXPECT_EQ(LabelText(1000, 0, ","), "1000");
    EXPECT_EQ(LabelText(2.26, 1, ","), "2,3");
    EXPECT_EQ(LabelText(0.126, 2, "."), "0.13");
    EXPECT_EQ(LabelText(-1e-7, 1, "."), "0.0");
    EXPECT_EQ(LabelText(-3.6, 0, "."), "-4");
}

TEST(HandLighting, AlphasAlongThePageScale) {
    struct Case {
        float angle;
        THandLighting expected;
    } const cases[] = {
        {135, {41, 169, 105}},
        {270, {148, 84, 84}},
        {405, {84, 84, 148}},
    };
    for (const Case& c : cases) {
        const THandLighting l = HandLighting(c.angle);
        EXPECT_EQ(l.A, c.expected.A) << c.angle;
        EXPECT_EQ(l.B, c.expected.B) << c.angle;
        EXPECT_EQ(l.F, c.expected.F) << c.angle;
    }
}

TEST(HandLighting, FarOutsideTheScaleStaysWithinAlphaRange) {
    for (const float angle : {-337.5f, -700.0f, 900.0f}) {
        const THandLighting l = HandLighting(angle);
        for (const int alpha : {l.A, l.B, l.F}) {
            EXPECT_GE(alpha, 0) << angle;
            EXPECT_LE(alpha, 255) << angle;
        }
    }
}

TEST(Colours, DerivedColoursOfBevelsCapsAndShadow) {
    EXPECT_EQ(BevelDarkColour(0xFFD3D3D3), 0xFF898989u);
    EXPECT_EQ(BevelDarkColour(0x80FFFFFF), 0x80A6A6A6u);
    EXPECT_NEAR(MixFactor(0.4), 0.34416, 1e-5);
    EXPECT_NEAR(MixFactor(0.7), 0.79035, 1e-5);
    EXPECT_EQ(MixColour(0xFFFFFFFF, 0xFF708090, 0.4), 0xFFCED3D9u);
    EXPECT_EQ(MixColour(0xFF708090, 0xFF000000, 0.7), 0xFF171B1Eu);
    EXPECT_EQ(CentreShadowAlpha(ResolveSize({0.17f}, 400)), 118);
    EXPECT_EQ(CentreShadowAlpha(ResolveSize({0.5f}, 400)), 140);
}

TEST(HandShape, OutlineAndFacetsShareTheirCorners) {
    const THandShape s = HandShape(100, 40, 2, 10, 7);
    EXPECT_EQ(s.Outline[0], QPointF(-40, -6));
    EXPECT_EQ(s.Outline[1], QPointF(100, -1));
    EXPECT_EQ(s.Outline[2], QPointF(100, 1));
    EXPECT_EQ(s.Outline[3], QPointF(-40, 6));
    EXPECT_EQ(s.FacetA[0], QPointF(-33, -1));
    EXPECT_EQ(s.TailFacet[2], QPointF(-33, 1));
    EXPECT_EQ(s.ShadowCentre, QPointF(-20, 0));
}
