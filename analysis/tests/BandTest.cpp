#include "analysis/Band.h"
#include "analysis/tests/TestFrames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace analysis {
namespace {

using telemetry::TFrameFields;

std::vector<TCurveBand> PlainBand(const telemetry::TFrameTable& table,
                                  const TExpectedCurves& curves, double tolerance,
                                  const TFrameFilter& filter) {
    std::map<int, TCurveBand> counts;
    for (const telemetry::TDecodedFrame& f : test::AllFrames(table)) {
        if (f.Period == 0 || !curves.Has(f.CurveNumber) || !test::PlainPasses(f, filter))
            continue;
        const double advance = f.AdvanceCode * 0.17578125 + 5.625;
        const double expected = *curves.Expected(f.CurveNumber, 27648000.0 / f.Period);
        TCurveBand& c =
            counts.try_emplace(f.CurveNumber, TCurveBand{f.CurveNumber, 0, 0}).first->second;
        ++c.Frames;
        if (!(std::fabs(advance - expected) <= tolerance))
            ++c.Outside;
    }
    std::vector<TCurveBand> band;
    for (const auto& [curve, c] : counts)
        band.push_back(c);
    return band;
}

TExpectedCurves SomeCurves() {
    TExpectedCurves curves;
    curves.SetCurve(0, {{900, 8}, {3000, 30}, {5000, 34}});
    curves.SetCurve(1, {{800, 9.5}, {2950, 31.2}, {5500, 35}});
    curves.SetCurve(3, {{2000, 22}});
    curves.SetCurve(255, {{500, 20}, {6000, 20}});
    curves.SetCurve(200, {{500, 20}});
    return curves;
}

TEST(Band, CountsMatchAPlainScanForEachToleranceAndFilter) {
    const auto table = test::SimulatedTable(31, 80000, true);
    const TExpectedCurves curves = SomeCurves();
    const TExpectedAdvance expected(curves);
    for (const double tolerance : {0.0, 0.5, DefaultTolerance, 3.0})
        for (const TFrameFilter& filter : test::SampleFilters(table->Rows())) {
            SCOPED_TRACE(tolerance);
            TBandCounts band(expected, tolerance, filter);
            band.Extend(*table);
            const auto plain = PlainBand(*table, curves, tolerance, filter);
            EXPECT_EQ(band.Curves(), plain);
        }
}

TEST(Band, TheEdgeIsInsideAndFramesWithoutSpeedOrCurveAreLeftOut) {
    TExpectedCurves curves;
    curves.SetCurve(1, {{1000, 10}, {3000, 30}});
    curves.SetCurve(2, {{2000, 20.375}});
    // Curve 1 at 3000 об/мин expects 30: code 128 gives 28.125, code 146 gives 31.2890625.
    const TExpectedAdvance expected(curves);
    const auto table = test::TableOf({
        {9216, 0, 1, 0, 0, 140}, // 30.234375: inside
        {9216, 0, 1, 0, 0, 146}, // 1.2890625 above: outside
        {9216, 0, 1, 0, 0, 128}, // 1.875 below: outside
        {0, 0, 1, 0, 0, 255},    // no speed: left out
        {9216, 0, 7, 0, 0, 0},   // curve 7 has no curve: left out
        {9216, 0, 2, 0, 0, 79},  // 19.5117... against 20.375: 0.86328125 below
        {9216, 0, 2, 0, 0, 85},  // 20.5664...: 0.19140625 above
    });
    TBandCounts band(expected, 0.86328125, {});
    band.Extend(*table);
    EXPECT_EQ(band.Curves(), (std::vector<TCurveBand>{{1, 3, 2}, {2, 2, 0}}))
        << "a frame exactly the tolerance away is inside";
    TBandCounts narrower(expected, std::nextafter(0.86328125, 0), {});
    narrower.Extend(*table);
    EXPECT_EQ(narrower.Curves(), (std::vector<TCurveBand>{{1, 3, 2}, {2, 2, 1}}));
    EXPECT_EQ(BandCsv(band), "curve,frames,outside\n1,3,2\n2,2,0\n");
}

TEST(Band, CurvesWithoutFramesAreNotListedAndCountsGrowAsFramesCome) {
    const auto table = test::SimulatedTable(32, 20000, false);
    const TExpectedAdvance expected(SomeCurves());
    TBandCounts whole(expected, 1);
    whole.Extend(*table);
    for (const TCurveBand& c : whole.Curves()) {
        EXPECT_GT(c.Frames, 0);
        EXPECT_NE(c.Curve, 200);
    }
    TBandCounts live(expected, 1);
    for (const std::int64_t end : {3, 4096, 10001, 20000})
        live.Extend(*table, end);
    EXPECT_EQ(live.Curves(), whole.Curves());
    EXPECT_EQ(BandCsv(TBandCounts(expected, 1)), "curve,frames,outside\n");
    EXPECT_THROW(TBandCounts(expected, -0.1), std::invalid_argument);
    EXPECT_THROW(TBandCounts(expected, NAN), std::invalid_argument);
}

} // namespace
} // namespace analysis
