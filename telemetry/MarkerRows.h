#pragma once

// The marks of a recording, its markers and its session's events, each at its frame with the
// frame's time, and the rows they make: those of the window's list "Метки" and of telmira-dcc
// markers, which lists the same rows in the same order. No Qt.

#include "telemetry/CompanionFormat.h"
#include "telemetry/FrameTable.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telemetry {

enum class TMarkKind { Marker, PortLost, PortBack, BytesSkipped, CurveChanged, SessionClosed };

struct TMark {
    TMarkKind Kind = TMarkKind::Marker;
    int Number = 0;          // a marker's; 0 for an event
    std::int64_t Frame = -1; // the last whole frame at the mark; -1 before the first
    double Seconds = 0;      // the frame's time since the recording's start
    std::string Text;        // a marker's text; what the event was, in words
    std::uint64_t Value = 0; // an event's bytes skipped, or the curve it changed to
    friend bool operator==(const TMark&, const TMark&) = default;
};

// What an event was, in the status line's words: "Порт потерян", "Пропущено байт: 12", ...
[[nodiscard]] std::string EventText(const TSessionEvent& event);

// The markers, by number, then the events in the order they came, each at the last whole frame
// of frames that ends by its offset, with seconds giving that frame's time.
[[nodiscard]] std::vector<TMark> Marks(const std::vector<TMarker>& markers,
                                       const std::vector<TSessionEvent>& events,
                                       const TFrameTable& frames,
                                       const std::function<double(std::int64_t)>& seconds);

struct TMarkerRow {
    // What a row stands for while the list changes around it: a marker's number, or for an
    // event minus one minus its place among the events.
    int Key = 0;
    TMark Mark;
    std::string Kind; // "Метка", or the event's name
    std::string Text; // a marker's own, or what the event's name leaves to tell

    [[nodiscard]] bool IsMarker() const noexcept { return Mark.Kind == TMarkKind::Marker; }
    friend bool operator==(const TMarkerRow&, const TMarkerRow&) = default;
};

// marks: as Marks gives them. Rows by frame; at one frame markers by number before events.
[[nodiscard]] std::vector<TMarkerRow> MarkerRows(const std::vector<TMark>& marks, bool withEvents);

// The row to show chosen once the list is rows: the one with key, else, where it went (a
// deletion), the one that took its place, else the last; none for an empty list or without a
// row chosen before.
[[nodiscard]] std::optional<std::size_t> RowToChoose(const std::vector<TMarkerRow>& rows,
                                                     std::optional<int> key,
                                                     std::optional<std::size_t> before);

// telmira-dcc markers: a header, then a line per row.
inline constexpr char MarkersCsvHeader[] = "number,frame,time,kind,text\n";

// A mark's kind in a word: marker, lost (the port), back (the port again), skipped (bytes),
// curve (changed), closed (the session).
[[nodiscard]] const char* MarkKindWord(TMarkKind kind) noexcept;

// Appends row's CSV line with its line end: a marker's number (empty for an event), the frame
// and its time in seconds with three decimals (both empty before the first frame), the kind's
// word, and a marker's text or an event's number (bytes skipped, the new curve; else empty).
void AppendMarkerCsvLine(std::string& text, const TMarkerRow& row);

// A CSV field holding text: as it is, or, where it holds a comma, a double quote or a line
// end, between double quotes with each double quote doubled.
void AppendCsvText(std::string& text, std::string_view field);

} // namespace telemetry
