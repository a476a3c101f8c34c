#include "ui/reading/MarkerRows.h"

#include <algorithm>

namespace {

const char* KindName(TMarkKind kind) noexcept {
    switch (kind) {
    case TMarkKind::Marker:
        return "Метка";
    case TMarkKind::PortLost:
        return "Порт потерян";
    case TMarkKind::PortBack:
        return "Порт снова доступен";
    case TMarkKind::BytesSkipped:
        return "Пропуск байт";
    case TMarkKind::CurveChanged:
        return "Смена кривой";
    case TMarkKind::SessionClosed:
        return "Сеанс закрыт";
    }
    return "Событие сеанса";
}

} // namespace

std::vector<TMarkerRow> MarkerRows(const std::vector<TMark>& marks, bool withEvents) {
    std::vector<TMarkerRow> rows;
    int events = 0;
    for (const TMark& mark : marks) {
        const bool marker = mark.Kind == TMarkKind::Marker;
        const int key = marker ? mark.Number : -1 - events++;
        if (!marker && !withEvents)
            continue;
        // An event's text names it; only the count of bytes skipped and the curve are news.
        const bool told =
            marker || mark.Kind == TMarkKind::BytesSkipped || mark.Kind == TMarkKind::CurveChanged;
        rows.push_back({key, mark, KindName(mark.Kind), told ? mark.Text : std::string()});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const TMarkerRow& a, const TMarkerRow& b) {
        return a.Mark.Frame < b.Mark.Frame;
    });
    return rows;
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
