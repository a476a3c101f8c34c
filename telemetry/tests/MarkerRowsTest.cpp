#include "telemetry/MarkerRows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace telemetry;

// The rows as "key/number/kind@frame:text".
std::vector<std::string> Shown(const std::vector<TMarkerRow>& rows) {
    std::vector<std::string> shown;
    for (const TMarkerRow& row : rows)
        shown.push_back(std::to_string(row.Key) + "/" + std::to_string(row.Mark.Number) + "/" +
                        row.Kind + "@" + std::to_string(row.Mark.Frame) + ":" + row.Text);
    return shown;
}

// As the model gives them: markers by number, then events as they came.
const std::vector<TMark> Marks = {
    {TMarkKind::Marker, 1, 60, 0.1, "стук"},
    {TMarkKind::Marker, 2, 40, 0.1, ""}, // set later, on an earlier frame
    {TMarkKind::Marker, 4, 60, 0.1, "там же"},
    {TMarkKind::PortLost, 0, -1, 0, "Порт потерян"}, // before any whole frame
    {TMarkKind::BytesSkipped, 0, 40, 0, "Пропущено байт: 17"},
    {TMarkKind::CurveChanged, 0, 60, 0, "Сменилась кривая: 3"},
    {TMarkKind::PortBack, 0, 70, 0, "Порт снова доступен"},
    {TMarkKind::SessionClosed, 0, 99, 0, "Сеанс закрыт"},
};

TEST(MarkerRows, RowsStandByFrameMarkersFirstAndEventsAreNamedOnceOrHidden) {
    EXPECT_EQ(Shown(MarkerRows(Marks, true)), (std::vector<std::string>{
                                                  "-1/0/Порт потерян@-1:",
                                                  "2/2/Метка@40:",
                                                  "-2/0/Пропуск байт@40:Пропущено байт: 17",
                                                  "1/1/Метка@60:стук",
                                                  "4/4/Метка@60:там же",
                                                  "-3/0/Смена кривой@60:Сменилась кривая: 3",
                                                  "-4/0/Порт снова доступен@70:",
                                                  "-5/0/Сеанс закрыт@99:",
                                              }));
    EXPECT_EQ(
        Shown(MarkerRows(Marks, false)),
        (std::vector<std::string>{"2/2/Метка@40:", "1/1/Метка@60:стук", "4/4/Метка@60:там же"}));
}

} // namespace
