#include "analysis/Density.h"
#include "analysis/tests/TestFrames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace analysis {
namespace {

using telemetry::TFrameFields;

struct TPlainPixel {
    std::uint32_t Frames = 0;
    std::uint32_t Coloured = 0;
    double ColourSum = 0;
};

// The pixel of a frame on an axis, from the README's formula.
std::optional<int> PlainPixel(const telemetry::TDecodedFrame& f, const TDensityAxis& axis,
                              const TExpectedCurves* curves) {
    const auto value = test::PlainValue(f, axis.Quantity, curves);
    if (!value)
        return std::nullopt;
    const double t = (*value - axis.From) * (axis.Pixels / (axis.To - axis.From));
    if (!(t >= 0 && t < axis.Pixels))
        return std::nullopt;
    return static_cast<int>(std::floor(t));
}

std::map<std::pair<int, int>, TPlainPixel> PlainDensity(const telemetry::TFrameTable& table,
                                                        const TDensityLayout& layout,
                                                        const TExpectedCurves* curves) {
    std::map<std::pair<int, int>, TPlainPixel> pixels;
    for (const telemetry::TDecodedFrame& f : test::AllFrames(table)) {
        if (!test::PlainPasses(f, layout.Filter))
            continue;
        const auto x = PlainPixel(f, layout.X, curves);
        const auto y = PlainPixel(f, layout.Y, curves);
        if (!x || !y)
            continue;
        TPlainPixel& p = pixels[{*x, *y}];
        ++p.Frames;
        if (layout.Colour)
            if (const auto c = test::PlainValue(f, *layout.Colour, curves)) {
                ++p.Coloured;
                p.ColourSum += *c;
            }
    }
    return pixels;
}

void ExpectSameAsPlain(const TDensity& density, const telemetry::TFrameTable& table,
                       const TExpectedCurves* curves = nullptr) {
    const auto plain = PlainDensity(table, density.Layout(), curves);
    std::int64_t frames = 0;
    std::uint32_t most = 0;
    for (const auto& [at, p] : plain) {
        frames += p.Frames;
        most = std::max(most, p.Frames);
    }
    EXPECT_EQ(density.Frames(), frames);
    EXPECT_EQ(density.MostFrames(), most);
    std::int64_t counted = 0;
    for (int y = 0; y < density.Height(); ++y)
        for (int x = 0; x < density.Width(); ++x) {
            const std::uint32_t n = density.Count(x, y);
            counted += n;
            if (n == 0)
                continue;
            const auto p = plain.find({x, y});
            ASSERT_NE(p, plain.end()) << x << ',' << y;
            ASSERT_EQ(n, p->second.Frames) << x << ',' << y;
            if (p->second.Coloured == 0)
                EXPECT_EQ(density.ColourMean(x, y), std::nullopt);
            else
                EXPECT_NEAR(*density.ColourMean(x, y), p->second.ColourSum / p->second.Coloured,
                            1e-9 * std::fabs(p->second.ColourSum / p->second.Coloured) + 1e-12);
        }
    EXPECT_EQ(counted, frames) << "a frame counted twice or in no pixel";
}

TEST(Density, CountsEveryFrameOnItsPixelUnderEachFilter) {
    const auto table = test::SimulatedTable(21, 60000, true);
    for (const TFrameFilter& filter : test::SampleFilters(table->Rows())) {
        TDensityLayout layout;
        layout.X = {TQuantity::Speed, 300, 6900, 330};
        layout.Y = {TQuantity::Advance, 5, 52, 188};
        layout.Filter = filter;
        TDensity density(layout);
        density.Extend(*table);
        ExpectSameAsPlain(density, *table);
    }
}

TEST(Density, AnyTwoQuantitiesAndAnyColour) {
    const auto table = test::SimulatedTable(22, 40000, true);
    struct TCase {
        TDensityAxis X, Y;
        std::optional<TQuantity> Colour;
    };
    for (const TCase& c :
         {TCase{{TQuantity::Map, 0, 256, 256},
                {TQuantity::Temperature, 40, 140, 50},
                TQuantity::Speed},
          {{TQuantity::Advance, 10, 40, 97}, {TQuantity::Advance, 0, 60, 61}, std::nullopt},
          {{TQuantity::Curve, -0.5, 3.5, 4}, {TQuantity::Octane, 0, 9, 9}, TQuantity::Frame},
          {{TQuantity::Speed, 2000, 2001, 1000},
           {TQuantity::Map, 0, 1e6, 3},
           TQuantity::Advance}}) {
        TDensityLayout layout;
        layout.X = c.X;
        layout.Y = c.Y;
        layout.Colour = c.Colour;
        TDensity density(layout);
        density.Extend(*table);
        ExpectSameAsPlain(density, *table);
    }
}

TEST(Density, DeviationAxisAndColourFollowTheExpectedCurves) {
    const auto table = test::SimulatedTable(23, 40000, true);
    TExpectedCurves curves;
    curves.SetCurve(1, {{900, 8}, {3000, 30}, {5000, 34}});
    curves.SetCurve(3, {{1000, 12}, {6000, 40}});
    const TExpectedAdvance advance(curves);
    TDensityLayout layout;
    layout.Y = {TQuantity::Deviation, -10, 10, 200};
    layout.Colour = TQuantity::Deviation;
    for (const TFrameFilter& filter : test::SampleFilters(table->Rows())) {
        layout.Filter = filter;
        TDensity density(layout, &advance);
        density.Extend(*table);
        ExpectSameAsPlain(density, *table, &curves);
    }
    layout.Y = {TQuantity::Advance, 0, 60, 60};
    layout.Filter = {};
    TDensity colouredOnly(layout, &advance);
    colouredOnly.Extend(*table);
    ExpectSameAsPlain(colouredOnly, *table, &curves);
    EXPECT_THROW(TDensity{layout}, std::invalid_argument) << "no curves";
}

TEST(Density, AValueAtTheTopOfARangeLiesPastTheLastPixel) {
    // 6000 об/мин exactly, and a little slower; MAP 100, and the last pixel's 99.
    const auto table =
        test::TableOf({{4608, 50, 0, 0, 0, 0}, {4609, 99, 0, 0, 0, 0}, {4609, 100, 0, 0, 0, 0}});
    TDensityLayout layout;
    layout.X = {TQuantity::Speed, 5000, 6000, 10};
    layout.Y = {TQuantity::Map, 0, 100, 100};
    TDensity density(layout);
    density.Extend(*table);
    EXPECT_EQ(density.Frames(), 1);
    EXPECT_EQ(density.Count(9, 99), 1u);
    layout.X.To = 6000.001;
    TDensity wider(layout);
    wider.Extend(*table);
    EXPECT_EQ(wider.Frames(), 2);
    EXPECT_EQ(wider.Count(9, 50), 1u);
}

TEST(Density, AddingFramesAsTheyComeGivesTheWholeCount) {
    const auto table = test::SimulatedTable(24, 20000, false);
    TDensityLayout layout;
    layout.Colour = TQuantity::Temperature;
    TDensity whole(layout), live(layout);
    whole.Extend(*table);
    for (const std::int64_t end : {1, 4095, 4096, 4097, 9000, 20000})
        live.Extend(*table, end);
    EXPECT_TRUE(std::equal(whole.Counts().begin(), whole.Counts().end(), live.Counts().begin()));
    EXPECT_EQ(live.MostFrames(), whole.MostFrames());
    for (int y = 0; y < whole.Height(); ++y)
        for (int x = 0; x < whole.Width(); ++x)
            ASSERT_EQ(live.ColourMean(x, y), whole.ColourMean(x, y));
}

TEST(Density, AResetCountsAsANewOneAndAFailedOneChangesNothing) {
    const auto table = test::SimulatedTable(27, 20000, true);
    TDensityLayout first;
    TDensityLayout zoomed;
    zoomed.X = {TQuantity::Speed, 1000, 1500, 500};
    zoomed.Y = {TQuantity::Map, 20, 60, 400};
    zoomed.Colour = TQuantity::Speed;
    TDensity density(first);
    density.Extend(*table);
    density.Reset(zoomed);
    EXPECT_EQ(density.Counted(), 0);
    density.Extend(*table);
    TDensity fresh(zoomed);
    fresh.Extend(*table);
    EXPECT_TRUE(std::equal(fresh.Counts().begin(), fresh.Counts().end(), density.Counts().begin()));
    EXPECT_EQ(density.MostFrames(), fresh.MostFrames());
    EXPECT_EQ(density.ColourMean(250, 200), fresh.ColourMean(250, 200));
    TDensityLayout bad = first;
    bad.Colour = TQuantity::Deviation; // without expected curves
    EXPECT_THROW(density.Reset(bad), std::invalid_argument);
    EXPECT_EQ(density.Layout(), zoomed);
    EXPECT_EQ(density.Frames(), fresh.Frames());
}

TEST(Density, RefusesAxesItCannotDraw) {
    for (const TDensityAxis& bad :
         {TDensityAxis{TQuantity::Frame, 0, 1, 10}, TDensityAxis{TQuantity::Speed, 1, 1, 10},
          TDensityAxis{TQuantity::Speed, 0, INFINITY, 10}, TDensityAxis{TQuantity::Speed, 0, 1, 0},
          TDensityAxis{TQuantity::Speed, 0, 1, 16385}}) {
        TDensityLayout layout;
        layout.X = bad;
        EXPECT_THROW(TDensity{layout}, std::invalid_argument);
    }
    TDensityLayout huge;
    huge.X.Pixels = huge.Y.Pixels = 16384;
    EXPECT_THROW(TDensity{huge}, std::invalid_argument);
}

// The drawn frame nearest to a point, by a scan of every frame's place.
std::optional<std::int64_t> PlainNearest(const telemetry::TFrameTable& table,
                                         const TDensityLayout& layout, TGridPoint at,
                                         double radius) {
    std::optional<std::int64_t> nearest;
    double best = INFINITY;
    for (const telemetry::TDecodedFrame& f : test::AllFrames(table)) {
        if (!test::PlainPasses(f, layout.Filter) || !PlainPixel(f, layout.X, nullptr) ||
            !PlainPixel(f, layout.Y, nullptr))
            continue;
        const double x = (*test::PlainValue(f, layout.X.Quantity) - layout.X.From) *
                         (layout.X.Pixels / (layout.X.To - layout.X.From));
        const double y = (*test::PlainValue(f, layout.Y.Quantity) - layout.Y.From) *
                         (layout.Y.Pixels / (layout.Y.To - layout.Y.From));
        const double d = std::hypot(x - at.X, y - at.Y);
        if (d <= radius && d < best) {
            best = d;
            nearest = f.Number;
        }
    }
    return nearest;
}

TEST(NearestFrame, IsTheDrawnFrameNearestOnScreen) {
    const auto table = test::SimulatedTable(25, 30000, true);
    TDensityLayout layout;
    layout.X = {TQuantity::Speed, 500, 7000, 650};
    layout.Y = {TQuantity::Map, 0, 256, 256};
    layout.Filter.Ranges = {{TQuantity::Temperature, 0, 110}};
    TDensity density(layout);
    density.Extend(*table);
    for (const TGridPoint at : {TGridPoint{100.5, 40.25}, {300, 200}, {10, 10}, {649.9, 255.9}})
        for (const double radius : {2.0, 20.0, double{INFINITY}}) {
            SCOPED_TRACE(testing::Message() << at.X << ',' << at.Y << " within " << radius);
            EXPECT_EQ(density.Nearest(*table, at, radius),
                      PlainNearest(*table, layout, at, radius));
        }
}

TEST(NearestFrame, TiesGoToTheEarliestAndFilteredFramesAreNeverChosen) {
    // 3000 об/мин at x = 30, MAP 50 at y = 50.
    const auto table = test::TableOf({
        {9216, 50, 7, 0, 0, 0}, // frame 0: right on the point, but curve 7 is filtered out
        {0, 50, 1, 0, 0, 0},    // frame 1: no speed, not drawn
        {9216, 52, 1, 0, 0, 0}, // frame 2: 2 pixels above
        {9216, 48, 1, 0, 0, 0}, // frame 3: 2 pixels below, as near
        {9216, 52, 1, 0, 0, 0}, // frame 4: the same place as frame 2
    });
    TDensityLayout layout;
    layout.X = {TQuantity::Speed, 0, 7000, 70};
    layout.Y = {TQuantity::Map, 0, 100, 100};
    layout.Filter.Curves.reset(7);
    TDensity density(layout);
    density.Extend(*table);
    EXPECT_EQ(density.Nearest(*table, {30, 50}, 5), 2);
    EXPECT_EQ(density.Nearest(*table, {30, 51}, 5), 2);
    EXPECT_EQ(density.Nearest(*table, {30, 49.5}, 5), 3);
    EXPECT_EQ(density.Nearest(*table, {30, 50}, 1.99), std::nullopt);
    EXPECT_EQ(density.Nearest(*table, {30, 50}, 2), 2) << "the radius itself is near enough";
    layout.Filter.Frames = {3, 5};
    TDensity later(layout);
    later.Extend(*table);
    EXPECT_EQ(later.Nearest(*table, {30, 51}, 5), 4) << "frame 2 lies outside the frames shown";
}

TEST(NearestFrame, APlaceIsWhereTheFrameIsCounted) {
    const auto table = test::SimulatedTable(26, 5000, true);
    TExpectedCurves curves;
    for (const std::uint8_t curve : {0, 1, 2})
        curves.SetCurve(curve, {{1000, 10.0 + curve}, {5000, 40}});
    const TExpectedAdvance advance(curves);
    TDensityLayout layout;
    layout.X = {TQuantity::Speed, 0, 7000, 700};
    layout.Y = {TQuantity::Deviation, -20, 20, 400};
    TDensity density(layout, &advance);
    density.Extend(*table);
    ASSERT_GT(density.Frames(), 1000);
    std::vector<std::uint32_t> placed(density.Counts().size());
    for (const telemetry::TDecodedFrame& f : test::AllFrames(*table))
        if (const auto place = density.Place(f.Number, f))
            ++placed[static_cast<std::size_t>(std::floor(place->Y)) * 700 +
                     static_cast<std::size_t>(std::floor(place->X))];
    EXPECT_TRUE(std::equal(placed.begin(), placed.end(), density.Counts().begin()));
    const auto any = density.Nearest(*table, {350, 200}, INFINITY);
    ASSERT_TRUE(any);
    EXPECT_TRUE(density.Place(*any, *table->Frame(*any)));
}

} // namespace
} // namespace analysis
