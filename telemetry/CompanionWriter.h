#pragma once

// What a live session writes into its recording's companion (CompanionFormat.h): the start,
// the checkpoints of the blocks' arrival, markers and the session's events. The companion is
// secondary to the recording: a failure to create or write it never stops the recording; the
// companion is then left as it stands, and Failure says why; the markers and events go on in
// the lists.
//
// Checkpoints and ties reach the file only when the recording's bytes they cover are synced:
// the recording syncs first (LiveSession calls the recording's SyncIfDue before this one's),
// so that after a power loss a companion never claims bytes its recording lost. Markers and
// events go to the file at once: a session killed a moment later keeps them.

#include "telemetry/ArrivalCheckpoints.h"
#include "telemetry/CompanionFile.h"
#include "telemetry/CompanionFormat.h"
#include "telemetry/Crc32c.h"
#include "telemetry/Markers.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace telemetry {

// What the decoder made of a recorded block.
struct TBlockDecoded {
    std::size_t Frames = 0;         // whole frames the block completed
    std::uint64_t SkippedBytes = 0; // bytes passed over since the session began, this block's too
    std::uint8_t CurveNumber = 0;   // the latest values' curve number after the block
};

// The least time between two events of skipped bytes: the bytes skipped meanwhile are added up.
inline constexpr std::chrono::seconds SkippedEventInterval{1};

class TCompanionWriter {
public:
    using TClock = std::chrono::steady_clock;

    // Creates (or empties) the companion of the recording at recordingPath for a session that
    // starts at start, and writes the start. Never raises.
    TCompanionWriter(const std::string& recordingPath, TClock::time_point start);
    ~TCompanionWriter();
    TCompanionWriter(const TCompanionWriter&) = delete;
    TCompanionWriter& operator=(const TCompanionWriter&) = delete;

    // A block the recording took, whose last byte was read at readAt.
    void Block(std::span<const std::uint8_t> bytes, TClock::time_point readAt,
               const TBlockDecoded& decoded, TClock::time_point now);
    void PortLost(TClock::time_point now);
    void PortBack(TClock::time_point now);
    // Writes what is held once the oldest of it is SyncAfter old, and syncs: the recording has
    // synced the bytes it covers by then. Sums up skipped bytes a second old.
    void SyncIfDue(TClock::time_point now);
    // The final checkpoint, the skipped bytes not yet told, the session's end; then syncs and
    // closes. Call once the recording is closed; a second call does nothing.
    void Close(TClock::time_point now);

    // Markers at the recording's end as it stands, with their number; renamed and deleted
    // by number (false for a number not in the list).
    int AddMarker(std::string_view text);
    bool RenameMarker(int number, std::string_view text);
    bool DeleteMarker(int number);
    [[nodiscard]] const std::vector<TMarker>& Markers() const noexcept {
        return markers_.Markers();
    }
    // The session's events so far, as the companion holds them.
    [[nodiscard]] const std::vector<TSessionEvent>& Events() const noexcept { return events_; }

    // The recording's size as this writer counted it.
    [[nodiscard]] std::uint64_t RecordingSize() const noexcept { return recorded_; }
    // Why the companion is not written (any more); none while it is.
    [[nodiscard]] const std::optional<std::string>& Failure() const noexcept { return failure_; }

private:
    [[nodiscard]] std::int64_t Micros(TClock::time_point t) const;
    void Event(TSessionEventKind kind, TClock::time_point now, std::uint64_t value);
    void SkippedBytes(std::uint64_t total, TClock::time_point now, bool tellNow);
    // Folds the recording's bytes up to each checkpoint into its CRC and holds its record.
    void Hold(std::span<const std::uint8_t> bytes, std::uint64_t firstOffset,
              TClock::time_point now);
    // Writes bytes to the file at once.
    void WriteNow(const std::vector<std::uint8_t>& bytes);
    void Unsynced(TClock::time_point now);
    void WriteHeldAndSync();
    void Failed(const std::exception& e);

    std::unique_ptr<TCompanionFile> file_; // none once it failed
    std::optional<std::string> failure_;
    const TClock::time_point start_;
    TArrivalCheckpoints rule_;
    std::vector<TCheckpoint> due_;     // checkpoints the rule gave, to be encoded
    std::vector<std::uint8_t> held_;   // checkpoint records that wait for the recording's sync
    std::vector<std::uint8_t> record_; // scratch for a record written at once
    std::uint64_t recorded_ = 0;
    std::uint64_t tiedOffset_ = 0; // the offset of the last checkpoint
    std::int64_t tiedMicros_ = 0;  // and its time
    std::uint32_t crc_ = 0;        // of the bytes from tiedOffset_ to recorded_
    std::optional<TClock::time_point> unsyncedSince_;
    std::uint64_t skippedTold_ = 0; // skipped bytes told in events so far
    std::uint64_t skippedSeen_ = 0;
    std::optional<TClock::time_point> skippedToldAt_;
    std::optional<std::uint8_t> curve_;
    TMarkerList markers_;
    std::vector<TSessionEvent> events_;
    bool closed_ = false;
};

} // namespace telemetry
