#pragma once

// The rows of the list "Метки": a recording's markers and, unless hidden, its session's
// events, in the order they stand in the recording, each at the frame the chart draws it on.
// No Qt: the window's list shows these rows as they are.

#include "telemetry/CompanionFormat.h"
#include "telemetry/FrameTable.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace telemetry {

struct TMarkerRow {
    // What a row stands for while the list changes around it: a marker's number, or for an
    // event minus one minus its place among the events.
    int Key = 0;
    int Number = 0;                         // a marker's; 0 for an event
    std::optional<TSessionEventKind> Event; // none for a marker
    // The last whole frame that ends at or before the marker's or event's offset; -1 where no
    // frame does.
    std::int64_t Frame = -1;
    std::string Text; // a marker's own, or what the event tells of itself

    [[nodiscard]] bool IsMarker() const noexcept { return !Event; }
    friend bool operator==(const TMarkerRow&, const TMarkerRow&) = default;
};

// Markers by their numbers and events in the order they came, as a recording's companion
// leaves them; rows ordered by offset, markers before events at one offset.
[[nodiscard]] std::vector<TMarkerRow> MarkerRows(std::span<const TMarker> markers,
                                                 std::span<const TSessionEvent> events,
                                                 const TFrameTable& frames, bool withEvents);

// "Метка", or the event's name.
[[nodiscard]] const char* MarkerRowKind(const TMarkerRow& row) noexcept;

// The row to show chosen once the list is rows: the one with key, else, where it went (a
// deletion), the one that took its place, else the last; none for an empty list or without a
// row chosen before.
[[nodiscard]] std::optional<std::size_t> RowToChoose(const std::vector<TMarkerRow>& rows,
                                                     std::optional<int> key,
                                                     std::optional<std::size_t> before);

} // namespace telemetry
