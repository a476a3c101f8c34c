#include "widgets/chart/ChartCursor.h"

#include <gtest/gtest.h>

namespace {

using chart::TAxisMap;

TEST(ChartCursor, IndexOfXFindsOnlyAPointAtExactlyThatX) {
    TLineSeries series;
    for (int x : {0, 1, 2, 5, 6})
        series.AddPoint(x, 10 * x);
    const struct {
        double x;
        std::optional<std::size_t> index;
    } cases[] = {{0, 0},
                 {2, 2},
                 {5, 3},
                 {6, 4},
                 {3, std::nullopt},
                 {-1, std::nullopt},
                 {7, std::nullopt},
                 {1.5, std::nullopt}};
    for (const auto& c : cases)
        EXPECT_EQ(chart::IndexOfX(series, c.x), c.index) << c.x;
    EXPECT_EQ(chart::IndexOfX(TLineSeries(), 0), std::nullopt);
}

TEST(ChartCursor, NearestWholeXRoundsThePixelsValueWithinTheData) {
    // 100 pixels for X 0 to 10: a whole X every 10 pixels, from pixel 20.
    const TAxisMap map{0, 10, 20, 120, true, false, false, 10};
    const struct {
        const char* rule;
        int pixel;
        std::int64_t first, last, nearest;
    } cases[] = {
        {"the plot's left edge", 20, 0, 10, 0},
        {"the plot's right edge", 120, 0, 10, 10},
        {"just short of halfway goes back", 44, 0, 10, 2},
        {"halfway goes on", 45, 0, 10, 3},
        {"on a frame", 70, 0, 10, 5},
        {"left of the data's first X", 50, 4, 10, 4},
        {"right of the data's last X", 110, 0, 6, 6},
        {"far outside the axis", -5000, 0, 10, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(chart::NearestWholeX(map, c.pixel, c.first, c.last), c.nearest) << c.rule;
    // An hour on 1000 pixels: thousands of frames per column.
    const TAxisMap hour{0, 2303999, 10, 1010, true, false, false, 10};
    EXPECT_EQ(chart::NearestWholeX(hour, 510, 0, 2303999), 1152000);
}

TEST(ChartCursor, ReadoutStandsBesideTheCursorNeverOverIt) {
    const chart::TRectI plot{10, 0, 990, 440};
    const QSize box(150, 100);
    const struct {
        const char* rule;
        int cursor;
        int left;
    } cases[] = {
        {"right of the cursor where it fits", 100, 100 + chart::ReadoutGap},
        {"left of the cursor near the right edge", 900, 900 - chart::ReadoutGap - 150},
        {"right again when neither side fits", 12, 12 + chart::ReadoutGap},
    };
    for (const auto& c : cases) {
        const QRect r = chart::PlaceReadout(plot, c.cursor, box);
        EXPECT_EQ(r, QRect(c.left, chart::ReadoutGap, 150, 100)) << c.rule;
        EXPECT_FALSE(r.left() <= c.cursor && c.cursor <= r.right()) << c.rule;
    }
}

} // namespace
