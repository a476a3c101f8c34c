#include "analysis/Alignment.h"

#include <gtest/gtest.h>

#include <limits>

namespace analysis {
namespace {

constexpr std::int64_t Most = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t Least = std::numeric_limits<std::int64_t>::min();

TEST(Alignment, AligningPutsTheChosenFramesTogetherEitherWay) {
    for (const auto& [a, b] :
         {std::pair<std::int64_t, std::int64_t>{500, 200}, {200, 500}, {0, 0}}) {
        const TAlignment shift = TAlignment::Aligning(a, b);
        EXPECT_EQ(shift.OnA(b), a);
        EXPECT_EQ(shift.FrameOfB(a, 1000), b);
    }
    EXPECT_EQ(TAlignment::Aligning(500, 200).Shift, 300) << "B later on A's axis";
    EXPECT_EQ(TAlignment::Aligning(200, 500).Shift, -300) << "B earlier";
}

TEST(Alignment, FramesPastEitherEndOfBAreNone) {
    const TAlignment later{300};
    EXPECT_EQ(later.FrameOfB(299, 1000), std::nullopt) << "before B's start";
    EXPECT_EQ(later.FrameOfB(300, 1000), 0);
    EXPECT_EQ(later.FrameOfB(1299, 1000), 999);
    EXPECT_EQ(later.FrameOfB(1300, 1000), std::nullopt) << "past B's end";
    const TAlignment earlier{-300};
    EXPECT_EQ(earlier.FrameOfB(0, 1000), 300);
    EXPECT_EQ(earlier.FrameOfB(700, 1000), std::nullopt);
}

TEST(Alignment, RangesOfBAreClampedToItsFrames) {
    struct TCase {
        const char* rule;
        std::int64_t shift;
        TFrameRange a;
        TFrameRange b;
    };
    for (const TCase& c : {
             TCase{"inside", 100, {200, 300}, {100, 200}},
             {"over B's start", 100, {0, 300}, {0, 200}},
             {"over B's end", -100, {900, 1200}, {1000, 1000}},
             {"over B's end, some frames", -100, {850, 1200}, {950, 1000}},
             {"all before B", 5000, {0, 5000}, {0, 0}},
             {"all after B", -5000, {0, 100}, {0, 0}},
             {"everything", 0, {0, Most}, {0, 1000}},
             {"a shift past any range", Least, {0, Most}, {0, 0}},
         }) {
        SCOPED_TRACE(c.rule);
        const TFrameRange b = TAlignment{c.shift}.FramesOfB(c.a, 1000);
        EXPECT_EQ(b.Empty(), c.b.Empty());
        if (!c.b.Empty()) {
            EXPECT_EQ(b, c.b);
        }
    }
}

TEST(Alignment, OverlapOfTheTwoRecordingsOnAsAxis) {
    EXPECT_EQ(TAlignment{0}.Overlap(1000, 600), (TFrameRange{0, 600}));
    EXPECT_EQ(TAlignment{500}.Overlap(1000, 600), (TFrameRange{500, 1000}));
    EXPECT_EQ(TAlignment{-200}.Overlap(1000, 600), (TFrameRange{0, 400}));
    EXPECT_TRUE(TAlignment{1000}.Overlap(1000, 600).Empty());
    EXPECT_TRUE(TAlignment{-600}.Overlap(1000, 600).Empty());
    EXPECT_TRUE(TAlignment{Most}.Overlap(1000, 600).Empty());
}

TEST(Alignment, BsFilterTakesBsFramesAtAsAndKeepsTheRest) {
    TFrameFilter a;
    a.Curves.reset();
    a.Curves.set(3);
    a.Ranges.push_back({TQuantity::Map, 10, 20});
    // Over all of A's frames: all of B's, even those standing before A's first.
    EXPECT_EQ(TAlignment{-200}.FilterOfB(a, 600), a);
    a.Frames = {100, 300};
    const TFrameFilter b = TAlignment{-200}.FilterOfB(a, 600);
    EXPECT_EQ(b.Frames, (TFrameRange{300, 500}));
    EXPECT_EQ(b.Curves, a.Curves);
    EXPECT_EQ(b.Ranges, a.Ranges);
    EXPECT_TRUE(TAlignment{400}.FilterOfB(a, 600).Frames.Empty()) << "B starts after the range";
}

TEST(Alignment, ExtremeShiftsSaturateInsteadOfWrapping) {
    EXPECT_EQ(TAlignment::Aligning(Least, 1).Shift, Least);
    EXPECT_EQ(TAlignment::Aligning(Most, -1).Shift, Most);
    EXPECT_EQ(TAlignment{Most}.OnA(5), Most);
    EXPECT_EQ(TAlignment{Least}.FrameOfB(Most, 1000), std::nullopt);
}

} // namespace
} // namespace analysis
