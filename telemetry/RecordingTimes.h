#pragma once

// The time of every byte of a recording, measured by its companion (CompanionFormat.h) or,
// without a companion that can be used, estimated from the line rate; and the companion's
// markers and session events. No Qt: the window and telmira-dcc read recordings alike.
//
// A companion is used only when every stretch of the recording it ties (checkpoints and ties)
// matches the recording's bytes, and the recording is at least as long as they say: a
// companion left beside another recording, or beside one rewritten or cut short since, is
// never applied. What a used companion leaves untimed is estimated:
// - a session that died (killed, power lost) before it closed: the bytes after its last
//   checkpoint, which the recording kept while the companion waited for the next sync;
// - a recording added to after its session closed: the bytes added;
// - a damaged record in the middle: every record from it on is ignored, for its length can no
//   longer be trusted; the records before it were checked as the others are.
// Estimated bytes go on from the last measured one at the line rate.

#include "telemetry/CompanionFile.h"
#include "telemetry/CompanionFormat.h"
#include "telemetry/Markers.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace telemetry {

// What became of a recording's companion.
enum class TCompanionState {
    // Used:
    Complete, // every byte timed
    CutOff,   // the session did not close: the bytes after its last checkpoint are estimated
    Appended, // the recording grew after its session closed: the bytes added are estimated
    Damaged,  // used up to a damaged record; what it would have timed is estimated
    Untimed,  // holds no times (markers made while viewing): every byte is estimated
    // Not used; every byte is estimated:
    Missing,     // there is none
    Unreadable,  // it could not be read, or is too large to be one
    Short,       // it ends before anything that ties it to a recording
    Garbled,     // it is not a companion, or its first records are damaged
    Foreign,     // it belongs to another recording, or the recording changed since
    NewerFormat, // a newer telmira wrote it
};

[[nodiscard]] constexpr bool CompanionUsed(TCompanionState state) noexcept {
    return state <= TCompanionState::Untimed;
}

// A line for telmira-dcc: "measured" or why not, in English.
[[nodiscard]] const char* CompanionStateText(TCompanionState state) noexcept;

// Seconds from the recording's start: the session's start where measured, the recording's
// first byte where estimated.
struct TByteTime {
    double Seconds = 0;
    bool Measured = false;
    friend bool operator==(const TByteTime&, const TByteTime&) = default;
};

class TRecordingTimes {
public:
    // Every byte estimated, for the reason given.
    TRecordingTimes(std::uint64_t recordingSize, TCompanionState why);

    [[nodiscard]] TCompanionState State() const noexcept { return state_; }
    [[nodiscard]] bool Used() const noexcept { return CompanionUsed(state_); }
    [[nodiscard]] std::uint64_t RecordingSize() const noexcept { return size_; }
    // The session's start on the wall clock, from a used companion.
    [[nodiscard]] const std::optional<TWallStart>& Start() const noexcept { return start_; }

    // When the byte that ends at offset arrived: measured between the first and the last
    // checkpoint (both included), estimated elsewhere. Offsets past the recording's end are
    // estimated like those before it.
    [[nodiscard]] TByteTime At(std::uint64_t offset) const;
    // The time of the recording's last byte.
    [[nodiscard]] TByteTime Duration() const { return At(size_); }

    // Markers as the records leave them, by number, and events in the order they came; those
    // past the recording's end are left out.
    [[nodiscard]] const std::vector<TMarker>& Markers() const noexcept { return markers_; }
    [[nodiscard]] const std::vector<TSessionEvent>& Events() const noexcept { return events_; }
    [[nodiscard]] const std::vector<TCheckpoint>& Checkpoints() const noexcept {
        return checkpoints_;
    }

    // What adding to the companion needs to know of it as it was read.
    struct TCompanionEnd {
        std::uint64_t FileLength = 0;  // every byte the companion held
        std::uint64_t WholeLength = 0; // up to the end of its last whole record
        std::uint32_t WholeCrc = 0;    // of those bytes
        std::uint64_t TiedTo = 0;      // the recording's bytes its checkpoints and ties cover
        int NextMarker = 1;            // above every marker number it gave
    };
    [[nodiscard]] const TCompanionEnd& CompanionEnd() const noexcept { return end_; }

private:
    friend class TCompanionCheck;
    TRecordingTimes() = default;

    TCompanionState state_ = TCompanionState::Missing;
    std::uint64_t size_ = 0;
    std::optional<TWallStart> start_;
    std::vector<TCheckpoint> checkpoints_;
    std::vector<TMarker> markers_;
    std::vector<TSessionEvent> events_;
    TCompanionEnd end_;
};

// Times for offsets that only grow, at a constant cost each: a walk over a recording's frames.
class TTimeCursor {
public:
    explicit TTimeCursor(const TRecordingTimes& times) : times_(times) {}
    // As TRecordingTimes::At, to the bit; offset at least the previous one's.
    [[nodiscard]] TByteTime At(std::uint64_t offset) {
        if (offset > lineStart_ && offset < lineEnd_)
            return {OnLine(lineSeconds_, slope_, offset - lineStart_), true};
        return AtAnotherLine(offset);
    }

    // The time on a line between checkpoints, bytesIn after its start: the same arithmetic
    // wherever such a time is taken.
    [[nodiscard]] static double OnLine(double lineSeconds, double slope,
                                       std::uint64_t bytesIn) noexcept {
        return lineSeconds + static_cast<double>(bytesIn) * slope;
    }

private:
    TByteTime AtAnotherLine(std::uint64_t offset);

    const TRecordingTimes& times_;
    std::size_t next_ = 0; // the first checkpoint at or after the previous offset
    // The line between the checkpoints around the previous offset, open at both ends.
    std::uint64_t lineStart_ = 0;
    std::uint64_t lineEnd_ = 0;
    double lineSeconds_ = 0;
    double slope_ = 0;
};

// A companion's records, checked against its recording's bytes as they come in order, so that
// a recording of any length is read once.
class TCompanionCheck {
public:
    // The companion's bytes. Missing, Unreadable and TooLarge lead to estimated times.
    explicit TCompanionCheck(const TCompanionBytes& companion);
    TCompanionCheck(const TCompanionCheck&) = delete;
    TCompanionCheck& operator=(const TCompanionCheck&) = delete;

    // Whether the recording's bytes are needed at all: not without a companion to check.
    [[nodiscard]] bool NeedsRecording() const noexcept;
    // The recording's next bytes.
    void Feed(std::span<const std::uint8_t> recording);
    // Once every byte of the recording was fed.
    [[nodiscard]] TRecordingTimes Finish();

private:
    // A stretch of the recording a checkpoint or tie covers, and its CRC.
    struct TTiedStretch {
        std::uint64_t End;
        std::uint32_t Crc;
    };

    void Parse(std::span<const std::uint8_t> bytes);
    // False for a record whose payload does not read as its kind's.
    bool Take(TCompanionRecord kind, std::span<const std::uint8_t> payload, bool first);

    std::optional<TCompanionState> refused_; // known before the recording is read
    bool damaged_ = false;
    bool closed_ = false;
    TRecordingTimes times_;
    TMarkerList markers_;
    std::vector<TTiedStretch> tied_;
    // Checking.
    std::uint64_t fed_ = 0;
    std::size_t stretch_ = 0;
    std::uint32_t crc_ = 0;
    bool mismatch_ = false;
};

// The companion beside recordingPath, checked against all of the recording's bytes.
[[nodiscard]] TRecordingTimes ReadRecordingTimes(const std::string& recordingPath,
                                                 std::span<const std::uint8_t> recording);

} // namespace telemetry
