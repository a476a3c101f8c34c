#include "telemetry/MarkerRows.h"
#include "telemetry/Markers.h"
#include "telemetry/Telemetry.h"
#include "tools/sim/Simulator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace telemetry {
namespace {

class MarkerRowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<std::uint8_t> recording = sim::GenerateRecording(3, 100, false);
        std::uint8_t state = 0;
        TLatestValues values;
        DecodeBlock(recording, DecodeMode::Replay, state, values, nullptr, &frames_);
        ASSERT_GE(frames_.Rows(), 90);
    }
    // The rows as "number/kind@frame:text".
    std::vector<std::string> Shown(const std::vector<TMarkerRow>& rows) const {
        std::vector<std::string> shown;
        for (const TMarkerRow& row : rows)
            shown.push_back(std::to_string(row.Number) + "/" + MarkerRowKind(row) + "@" +
                            std::to_string(row.Frame) + ":" + row.Text);
        return shown;
    }

    TFrameTable frames_;
};

TEST_F(MarkerRowsTest, RowsFollowTheRecordingAndStandOnTheFramesTheChartDrawsThemOn) {
    const std::uint64_t end40 = frames_.EndOffset(40);
    const std::vector<TMarker> markers = {
        {1, frames_.EndOffset(60), TMarkerOrigin::Live, "стук"},
        // Set later, while viewing, on an earlier frame; its offset inside frame 41.
        {2, end40 + 3, TMarkerOrigin::Viewing, ""},
        {4, frames_.EndOffset(60), TMarkerOrigin::Viewing, "там же"},
    };
    const std::vector<TSessionEvent> events = {
        {TSessionEventKind::PortLost, 2, 0, 0}, // before any whole frame
        {TSessionEventKind::BytesSkipped, end40 + 3, 0, 17},
        {TSessionEventKind::CurveChanged, frames_.EndOffset(60), 0, 3},
        {TSessionEventKind::PortBack, frames_.EndOffset(70), 0, 0},
        {TSessionEventKind::SessionClosed, frames_.Bytes(), 0, 0},
    };
    const std::string last = std::to_string(frames_.Rows() - 1);
    EXPECT_EQ(Shown(MarkerRows(markers, events, frames_, true)),
              (std::vector<std::string>{
                  "0/Порт потерян@-1:",
                  "2/Метка@40:",
                  "0/Пропуск байт@40:пропущено 17 байт",
                  "1/Метка@60:стук",
                  "4/Метка@60:там же",
                  "0/Смена кривой@60:кривая 3",
                  "0/Порт снова открыт@70:",
                  "0/Конец сеанса@" + last + ":",
              }));
    EXPECT_EQ(Shown(MarkerRows(markers, events, frames_, false)),
              (std::vector<std::string>{"2/Метка@40:", "1/Метка@60:стук", "4/Метка@60:там же"}));

    // Keys tell every row from every other, events by their place among the events.
    const std::vector<TMarkerRow> rows = MarkerRows(markers, events, frames_, true);
    EXPECT_EQ(rows[0].Key, -1);
    EXPECT_EQ(rows[1].Key, 2);
    EXPECT_EQ(rows[7].Key, -5);
}

// Numbers stay with their markers: a deleted one leaves a gap and is never given again, so the
// list, the lines on the chart and the companion's records name the same marker alike.
TEST_F(MarkerRowsTest, ADeletionLeavesTheOtherNumbersAndTheRowThatTookItsPlaceChosen) {
    TMarkerList list;
    for (int n = 1; n <= 3; ++n)
        ASSERT_TRUE(list.Add({n, frames_.EndOffset(10 * n), TMarkerOrigin::Viewing, ""}));
    const auto rows = [&] { return MarkerRows(list.Markers(), {}, frames_, true); };

    ASSERT_TRUE(list.Delete(2));
    EXPECT_EQ(Shown(rows()), (std::vector<std::string>{"1/Метка@10:", "3/Метка@30:"}));
    EXPECT_EQ(RowToChoose(rows(), 2, 1), 1u) << "the row that took the deleted one's place";
    ASSERT_TRUE(list.Delete(3));
    EXPECT_EQ(RowToChoose(rows(), 3, 1), 0u) << "the last row went: the one before it";
    EXPECT_EQ(list.NextNumber(), 4) << "the deleted last number is not given again";

    // A marker added before the chosen one moves it down a row; it stays chosen.
    ASSERT_TRUE(list.Add({4, frames_.EndOffset(5), TMarkerOrigin::Viewing, "раньше"}));
    EXPECT_EQ(RowToChoose(rows(), 1, 0), 1u);
    EXPECT_EQ(RowToChoose(rows(), 1, std::nullopt), std::nullopt) << "nothing was chosen";

    ASSERT_TRUE(list.Delete(1));
    ASSERT_TRUE(list.Delete(4));
    EXPECT_EQ(RowToChoose(rows(), 4, 0), std::nullopt) << "an empty list";
}

} // namespace
} // namespace telemetry
