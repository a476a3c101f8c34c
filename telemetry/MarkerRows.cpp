#include "telemetry/MarkerRows.h"

#include "telemetry/DecodedFrame.h"
#include "telemetry/FrameTimes.h"

#include <algorithm>

namespace telemetry {

std::string EventText(const TSessionEvent& event) {
    switch (event.Kind) {
    case TSessionEventKind::PortLost:
        return "Порт потерян";
    case TSessionEventKind::PortBack:
        return "Порт снова доступен";
    case TSessionEventKind::BytesSkipped:
        return "Пропущено байт: " + std::to_string(event.Value);
    case TSessionEventKind::CurveChanged:
        return "Сменилась кривая: " + std::to_string(event.Value);
    case TSessionEventKind::SessionClosed:
        return "Сеанс закрыт";
    }
    return "Событие сеанса";
}

namespace {

TMarkKind KindOf(TSessionEventKind kind) {
    switch (kind) {
    case TSessionEventKind::PortLost:
        return TMarkKind::PortLost;
    case TSessionEventKind::PortBack:
        return TMarkKind::PortBack;
    case TSessionEventKind::BytesSkipped:
        return TMarkKind::BytesSkipped;
    case TSessionEventKind::CurveChanged:
        return TMarkKind::CurveChanged;
    case TSessionEventKind::SessionClosed:
        break;
    }
    return TMarkKind::SessionClosed;
}

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

// An event that says more than its kind: the count of bytes skipped, the new curve.
bool TellsMore(TMarkKind kind) noexcept {
    return kind == TMarkKind::BytesSkipped || kind == TMarkKind::CurveChanged;
}

} // namespace

std::vector<TMark> Marks(const std::vector<TMarker>& markers,
                         const std::vector<TSessionEvent>& events, const TFrameTable& frames,
                         const std::function<double(std::int64_t)>& seconds) {
    std::vector<TMark> marks;
    marks.reserve(markers.size() + events.size());
    const auto at = [&](TMarkKind kind, int number, std::uint64_t offset, std::string text,
                        std::uint64_t value) {
        TMark mark{kind, number, FrameAt(frames, offset), 0, std::move(text), value};
        if (mark.Frame >= 0)
            mark.Seconds = seconds(mark.Frame);
        marks.push_back(std::move(mark));
    };
    for (const TMarker& marker : markers)
        at(TMarkKind::Marker, marker.Number, marker.Offset, marker.Text, 0);
    for (const TSessionEvent& event : events)
        at(KindOf(event.Kind), 0, event.Offset, EventText(event), event.Value);
    return marks;
}

std::vector<TMarkerRow> MarkerRows(const std::vector<TMark>& marks, bool withEvents) {
    std::vector<TMarkerRow> rows;
    int events = 0;
    for (const TMark& mark : marks) {
        const bool marker = mark.Kind == TMarkKind::Marker;
        const int key = marker ? mark.Number : -1 - events++;
        if (!marker && !withEvents)
            continue;
        // An event's text names it; only the count of bytes skipped and the curve are news.
        const bool told = marker || TellsMore(mark.Kind);
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

const char* MarkKindWord(TMarkKind kind) noexcept {
    switch (kind) {
    case TMarkKind::Marker:
        return "marker";
    case TMarkKind::PortLost:
        return "lost";
    case TMarkKind::PortBack:
        return "back";
    case TMarkKind::BytesSkipped:
        return "skipped";
    case TMarkKind::CurveChanged:
        return "curve";
    case TMarkKind::SessionClosed:
        return "closed";
    }
    return "event";
}

void AppendCsvText(std::string& text, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        text += field;
        return;
    }
    text += '"';
    for (const char c : field) {
        if (c == '"')
            text += '"';
        text += c;
    }
    text += '"';
}

void AppendMarkerCsvLine(std::string& text, const TMarkerRow& row) {
    const TMark& mark = row.Mark;
    if (row.IsMarker())
        text += std::to_string(mark.Number);
    text += ',';
    if (mark.Frame >= 0) {
        text += std::to_string(mark.Frame) + ',';
        AppendSecondsText(text, mark.Seconds);
    } else {
        text += ',';
    }
    text += ',';
    text += MarkKindWord(mark.Kind);
    text += ',';
    if (row.IsMarker())
        AppendCsvText(text, mark.Text);
    else if (TellsMore(mark.Kind))
        text += std::to_string(mark.Value);
    text += '\n';
}

} // namespace telemetry
