#pragma once

// The markers of a recording being viewed, and each change to them added to the recording's
// companion at once: a new marker, a new text, a deletion, each as a record of its own. A
// recording without a companion gets one, which ties its bytes and holds the markers. A
// change that cannot be saved (a read-only folder, a companion in use or unusable) stays in
// the list, and SaveFailure says why; it is saved with the next change that can be.

#include "telemetry/CompanionFile.h"
#include "telemetry/Markers.h"
#include "telemetry/RecordingTimes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telemetry {

class TViewedMarkers {
public:
    // times: what was read of the recording at recordingPath when it was opened.
    TViewedMarkers(std::string recordingPath, const TRecordingTimes& times);

    // A marker at the last whole frame that ends at or before offset; its number.
    int Add(std::uint64_t offset, std::string_view text);
    // False for a number not in the list.
    bool Rename(int number, std::string_view text);
    bool Delete(int number);

    [[nodiscard]] const std::vector<TMarker>& Markers() const noexcept {
        return markers_.Markers();
    }
    // Why the changes not yet saved could not be; none once every change is in the companion.
    [[nodiscard]] const std::optional<ECompanionWriteError>& SaveFailure() const noexcept {
        return failure_;
    }

private:
    void Save();
    // What the next save writes, and what it leaves the companion as.
    [[nodiscard]] std::vector<std::uint8_t> Records() const;
    void Saved(const std::vector<std::uint8_t>& records);
    // The CRC of the recording's bytes from offset from to the end, which must be at size.
    [[nodiscard]] std::uint32_t RecordingCrc(std::uint64_t from) const;

    std::string recordingPath_;
    std::uint64_t recordingSize_;
    TCompanionState state_;
    TRecordingTimes::TCompanionEnd end_;
    TMarkerList markers_;
    std::vector<std::uint8_t> unsaved_; // records, in order
    std::optional<ECompanionWriteError> failure_;
};

} // namespace telemetry
