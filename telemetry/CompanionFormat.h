#pragma once

// The companion file a live session writes beside its recording ("run.dcc" gets
// "run.dcc.tlm"): when the session started, when each stretch of the recording arrived,
// markers and the session's own events. The recording itself stays the received bytes alone.
//
// The file: the four bytes "TLMC", a format version byte (CompanionVersion), then records, one
// after another, appended and never changed:
//
//   kind     1 byte, a TCompanionRecord
//   length   1 byte: the payload's length
//   payload  length bytes
//   check    CRC-32C (Crc32c.h) of kind, length and payload, 4 bytes, least significant first
//
// Numbers in a payload are unsigned LEB128 ("varint": 7 bits a byte, least significant first,
// the top bit set on every byte but the last) unless a width is given; fixed widths are
// little-endian. Offsets count bytes of the recording; the byte that ends at offset o is byte
// o - 1. Times are microseconds since the session's start, on a clock that only goes forward.
// The README describes every record.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace telemetry {

inline constexpr std::uint8_t CompanionMagic[4] = {'T', 'L', 'M', 'C'};
inline constexpr std::uint8_t CompanionVersion = 1;
inline constexpr std::size_t CompanionHeaderSize = 5;
// Kind, length and check around a payload.
inline constexpr std::size_t RecordOverhead = 6;
inline constexpr std::size_t MaxPayload = 255;
// The longest marker text kept, in bytes of UTF-8; a longer one is cut at a character.
inline constexpr std::size_t MaxMarkerText = 200;

// The line rate, which estimated times assume: 57600 baud, 10 bits a byte.
inline constexpr double LineBytesPerSecond = 5760;

// The companion of a recording: its name with ".tlm" added.
[[nodiscard]] std::string CompanionPath(const std::string& recordingPath);

enum class TCompanionRecord : std::uint8_t {
    // The session's start: 8 bytes signed, microseconds since 1970-01-01 00:00 UTC; 4 bytes
    // signed, the local time's offset from UTC in seconds, east positive. The first record
    // of a live session's companion; checkpoints and events count their time from it.
    Start = 'S',
    // varint offset step, varint time step, 4 bytes CRC-32C of the recording's bytes from the
    // previous checkpoint's or tie's offset to this offset. The steps count from the previous
    // checkpoint (offset: or tie), the first from offset 0 and time 0. The byte ending at this
    // offset came at this time. Between two checkpoints the bytes came evenly; two at one
    // offset mean that the stream stopped there and went on at the later time.
    Checkpoint = 'C',
    // varint offset step, 4 bytes CRC-32C of the bytes since the previous checkpoint's or
    // tie's offset: ties those bytes to the companion without timing them.
    Tie = 'T',
    // varint number (1 up), varint offset, 1 byte origin (TMarkerOrigin), then the text.
    // The marker stands at the last whole frame that ends at or before the offset.
    Marker = 'M',
    // varint number, then the marker's new text.
    Rename = 'R',
    // varint number.
    Delete = 'D',
    // 1 byte TSessionEventKind, varint offset, varint time, varint value.
    Event = 'E',
};

enum class TMarkerOrigin : std::uint8_t { Live = 0, Viewing = 1 };

enum class TSessionEventKind : std::uint8_t {
    PortLost = 1,
    PortBack = 2,
    BytesSkipped = 3,  // value: the bytes the decoder passed over since the previous such event
    CurveChanged = 4,  // value: the new curve number
    SessionClosed = 5, // the offset is the recording's final size
};

struct TCheckpoint {
    std::uint64_t Offset = 0;
    std::int64_t Micros = 0;
    friend bool operator==(const TCheckpoint&, const TCheckpoint&) = default;
};

struct TMarker {
    int Number = 0;
    std::uint64_t Offset = 0;
    TMarkerOrigin Origin = TMarkerOrigin::Live;
    std::string Text;
    friend bool operator==(const TMarker&, const TMarker&) = default;
};

struct TSessionEvent {
    TSessionEventKind Kind = TSessionEventKind::PortLost;
    std::uint64_t Offset = 0;
    std::int64_t Micros = 0;
    std::uint64_t Value = 0;
    friend bool operator==(const TSessionEvent&, const TSessionEvent&) = default;
};

// The session's start on the wall clock.
struct TWallStart {
    std::int64_t UtcMicros = 0;
    std::int32_t LocalOffsetSeconds = 0;
    friend bool operator==(const TWallStart&, const TWallStart&) = default;
};

// Now, as a session's start.
[[nodiscard]] TWallStart WallStartNow();

// "2024-05-01 14:03:22.123 +03:00": the local time and its offset.
[[nodiscard]] std::string WallStartText(const TWallStart& start);

// Text cut to at most MaxMarkerText bytes, at the start of a UTF-8 character.
[[nodiscard]] std::string_view MarkerText(std::string_view text) noexcept;

// Appends records to a companion's bytes.
class TRecordEncoder {
public:
    explicit TRecordEncoder(std::vector<std::uint8_t>& out) : out_(out) {}

    void Header();
    void Start(const TWallStart& start);
    void Checkpoint(std::uint64_t offsetStep, std::uint64_t timeStep, std::uint32_t crc);
    void Tie(std::uint64_t offsetStep, std::uint32_t crc);
    void Marker(const TMarker& marker);
    void Rename(int number, std::string_view text);
    void Delete(int number);
    void Event(const TSessionEvent& event);

private:
    void Begin(TCompanionRecord kind);
    void End();
    void Varint(std::uint64_t value);
    void Fixed(std::uint64_t value, int bytes);

    std::vector<std::uint8_t>& out_;
    std::size_t recordStart_ = 0;
};

// One record read from a companion's bytes.
struct TRawRecord {
    TCompanionRecord Kind;
    std::span<const std::uint8_t> Payload;
};

// Reads a payload's fields in order; every read after the payload ran out fails.
class TPayloadReader {
public:
    explicit TPayloadReader(std::span<const std::uint8_t> payload) : rest_(payload) {}
    std::optional<std::uint64_t> Varint();
    std::optional<std::uint64_t> Fixed(int bytes);
    // What is left, as text.
    std::string_view Rest();
    [[nodiscard]] bool AtEnd() const noexcept { return rest_.empty(); }

private:
    std::span<const std::uint8_t> rest_;
};

} // namespace telemetry
