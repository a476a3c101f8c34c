#pragma once

// The rows of the list "Метки": the marks of the recording on the chart (MarkerModel.h) by
// where they stand, the session's events among the markers unless hidden. No Qt: the list
// shows these rows as they are.

#include "ui/reading/MarkerModel.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

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

// marks: as the model gives them, markers by number, then the events in the order they came.
// Rows by frame; at one frame markers by number before events.
[[nodiscard]] std::vector<TMarkerRow> MarkerRows(const std::vector<TMark>& marks, bool withEvents);

// The row to show chosen once the list is rows: the one with key, else, where it went (a
// deletion), the one that took its place, else the last; none for an empty list or without a
// row chosen before.
[[nodiscard]] std::optional<std::size_t> RowToChoose(const std::vector<TMarkerRow>& rows,
                                                     std::optional<int> key,
                                                     std::optional<std::size_t> before);
