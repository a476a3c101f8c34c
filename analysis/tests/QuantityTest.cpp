#include "analysis/Quantity.h"

#include <gtest/gtest.h>

namespace analysis {
namespace {

TEST(Quantities, NamesAreTheRecordingToolsColumns) {
    for (const TQuantity q :
         {TQuantity::Speed, TQuantity::Map, TQuantity::Curve, TQuantity::Temperature,
          TQuantity::Octane, TQuantity::Advance, TQuantity::Deviation, TQuantity::Frame})
        EXPECT_EQ(QuantityNamed(QuantityName(q)), q);
    EXPECT_EQ(QuantityName(TQuantity::Speed), "rpm");
    EXPECT_EQ(QuantityNamed("RPM"), std::nullopt);
}

TEST(Quantities, EachInItsOwnUnit) {
    const telemetry::TFrameFields f{4660, 1, 2, 3, 4, 5};
    EXPECT_DOUBLE_EQ(*FieldValue(f, TQuantity::Speed), 5933.0472103004295);
    EXPECT_EQ(FieldValue(f, TQuantity::Temperature), 3);
    EXPECT_EQ(FieldValue(f, TQuantity::Advance), 6.50390625);
    EXPECT_EQ(FieldValue({0, 1, 2, 3, 4, 5}, TQuantity::Speed), std::nullopt);
    EXPECT_EQ(FieldValue(f, TQuantity::Deviation), std::nullopt);
}

TEST(FrameFilter, EveryConditionMustHold) {
    TFrameFilter filter;
    filter.Curves.reset(2);
    filter.Ranges = {{TQuantity::Temperature, 70}, {TQuantity::Speed, 1000, 6000}};
    filter.Frames = {10, 20};
    const telemetry::TFrameFields warm{9216, 0, 1, 70, 0, 0}; // 3000 об/мин
    EXPECT_TRUE(filter.Passes(10, warm)) << "the ranges' ends are in";
    EXPECT_FALSE(filter.Passes(20, warm)) << "the frames' end is out";
    EXPECT_FALSE(filter.Passes(15, {9216, 0, 2, 90, 0, 0})) << "curve 2 is not in the set";
    EXPECT_FALSE(filter.Passes(15, {9216, 0, 1, 69, 0, 0}));
    EXPECT_FALSE(filter.Passes(15, {0, 0, 1, 90, 0, 0})) << "no speed is in no speed range";
    EXPECT_TRUE(filter.Passes(15, {4608, 0, 1, 255, 0, 0})) << "6000 об/мин";
    filter.Ranges.push_back({TQuantity::Deviation, 0, 1});
    EXPECT_THROW(CheckFilter(filter), std::invalid_argument);
}

} // namespace
} // namespace analysis
