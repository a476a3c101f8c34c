#pragma once

// What the window holds of the markers of the recording on the chart, and of its session's own
// events: each with its number, frame, time, text and kind. The user's markers are added,
// renamed and deleted here, and each change goes to the recording's companion: through the
// live session's writer while recording, appended to the companion of a recording viewed.
// Qt-free, so that the chart's lines, the readout and the list of markers read one model.

#include "telemetry/CompanionFormat.h"
#include "telemetry/FrameTable.h"
#include "telemetry/MarkerRows.h"
#include "telemetry/RecordingTimes.h"
#include "telemetry/ViewedMarkers.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telemetry {
class TCompanionWriter;
}

class TMarkerModel {
public:
    // frames: the chart's frames; seconds: a frame's time. Both outlive the model.
    TMarkerModel(const telemetry::TFrameTable& frames, std::function<double(std::int64_t)> seconds);

    // A recording viewed, with its times as read when it was opened.
    void View(const std::string& path, const telemetry::TRecordingTimes& times);
    // A live session's companion, which must outlive the model's use of it: until Freeze or
    // Clear.
    void Live(telemetry::TCompanionWriter& writer);
    // The live session ends: its marks stay as they stand, and no more can be added.
    void Freeze();
    // Nothing shown: no marks, none added.
    void Clear();

    [[nodiscard]] bool Live() const noexcept { return writer_ != nullptr; }
    // Whether Add can add a marker now.
    [[nodiscard]] bool CanAdd() const noexcept { return writer_ || viewed_; }
    // A marker at frame of a recording viewed (a frame of the table), or at the newest byte of
    // a live session (frame unused); its number, or none.
    std::optional<int> Add(std::optional<std::int64_t> frame);
    // False for a number not in the list.
    bool Rename(int number, std::string_view text);
    bool Delete(int number);

    // The markers by number, then the events in the order they came.
    [[nodiscard]] std::vector<telemetry::TMark> Marks() const;
    // The markers as the companion holds them, by number.
    [[nodiscard]] const std::vector<telemetry::TMarker>& Markers() const;
    // Why changes were not saved in the companion; none while they are.
    [[nodiscard]] std::optional<telemetry::TCompanionWriteFailure> SaveFailure() const;

private:
    const telemetry::TFrameTable& frames_;
    std::function<double(std::int64_t)> seconds_;
    telemetry::TCompanionWriter* writer_ = nullptr;
    std::optional<telemetry::TViewedMarkers> viewed_;
    // What a recording viewed or a session ended left: shown, not changed.
    std::vector<telemetry::TMarker> markers_;
    std::vector<telemetry::TSessionEvent> events_;
};
