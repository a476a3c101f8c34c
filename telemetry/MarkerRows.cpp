#include "telemetry/MarkerRows.h"

#include <algorithm>

namespace telemetry {

namespace {

std::string EventText(const TSessionEvent& event) {
    switch (event.Kind) {
    case TSessionEventKind::BytesSkipped:
        return "пропущено " + std::to_string(event.Value) + " байт";
    case TSessionEventKind::CurveChanged:
        return "кривая " + std::to_string(event.Value);
    default:
        return {};
    }
}

} // namespace

std::vector<TMarkerRow> MarkerRows(std::span<const TMarker> markers,
                                   std::span<const TSessionEvent> events, const TFrameTable& frames,
                                   bool withEvents) {
    struct TPlaced {
        std::uint64_t Offset;
        TMarkerRow Row;
    };
    std::vector<TPlaced> placed;
    for (const TMarker& marker : markers)
        placed.push_back({marker.Offset,
                          {marker.Number, marker.Number, std::nullopt,
                           frames.RowsEndingBy(marker.Offset) - 1, marker.Text}});
    if (withEvents)
        for (std::size_t i = 0; i < events.size(); ++i)
            placed.push_back({events[i].Offset,
                              {-1 - static_cast<int>(i), 0, events[i].Kind,
                               frames.RowsEndingBy(events[i].Offset) - 1, EventText(events[i])}});
    std::stable_sort(placed.begin(), placed.end(),
                     [](const TPlaced& a, const TPlaced& b) { return a.Offset < b.Offset; });
    std::vector<TMarkerRow> rows;
    rows.reserve(placed.size());
    for (TPlaced& p : placed)
        rows.push_back(std::move(p.Row));
    return rows;
}

const char* MarkerRowKind(const TMarkerRow& row) noexcept {
    if (!row.Event)
        return "Метка";
    switch (*row.Event) {
    case TSessionEventKind::PortLost:
        return "Порт потерян";
    case TSessionEventKind::PortBack:
        return "Порт снова открыт";
    case TSessionEventKind::BytesSkipped:
        return "Пропуск байт";
    case TSessionEventKind::CurveChanged:
        return "Смена кривой";
    case TSessionEventKind::SessionClosed:
        return "Конец сеанса";
    }
    return "Событие";
}

std::optional<std::size_t> RowToChoose(const std::vector<TMarkerRow>& rows, std::optional<int> key,
                                       std::optional<std::size_t> before) {
    if (rows.empty() || !before)
        return std::nullopt;
    if (key) {
        const auto at = std::find_if(rows.begin(), rows.end(),
                                     [&](const TMarkerRow& row) { return row.Key == *key; });
        if (at != rows.end())
            return static_cast<std::size_t>(at - rows.begin());
    }
    return std::min(*before, rows.size() - 1);
}

} // namespace telemetry
