#include "telemetry/CompanionFormat.h"

#include "telemetry/Crc32c.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace telemetry {

namespace {

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar, and back.
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) noexcept {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct TCivilDate {
    std::int64_t Year;
    unsigned Month, Day;
};

constexpr TCivilDate CivilFromDays(std::int64_t z) noexcept {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

constexpr std::int64_t FloorDiv(std::int64_t a, std::int64_t b) noexcept {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

} // namespace

std::string CompanionPath(const std::string& recordingPath) {
    return recordingPath + ".tlm";
}

TWallStart WallStartNow() {
    const auto now = std::chrono::system_clock::now();
    const std::int64_t micros =
        std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
#ifdef _WIN32
    const bool known = ::localtime_s(&local, &seconds) == 0;
#else
    const bool known = ::localtime_r(&seconds, &local) != nullptr;
#endif
    std::int32_t offset = 0;
    if (known) {
        // The local time read as if it were UTC, less the time itself.
        const std::int64_t asUtc =
            DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                          static_cast<unsigned>(local.tm_mday)) *
                86400 +
            local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
        offset = static_cast<std::int32_t>(asUtc - static_cast<std::int64_t>(seconds));
    }
    return {micros, offset};
}

std::string WallStartText(const TWallStart& start) {
    const std::int64_t localMillis =
        FloorDiv(start.UtcMicros, 1000) + std::int64_t{start.LocalOffsetSeconds} * 1000;
    const std::int64_t days = FloorDiv(localMillis, 86'400'000);
    const std::int64_t ms = localMillis - days * 86'400'000;
    const TCivilDate date = CivilFromDays(days);
    const std::int32_t offsetMinutes = start.LocalOffsetSeconds / 60;
    const int absMinutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02lld:%02lld:%02lld.%03lld %c%02d:%02d",
                  static_cast<long long>(date.Year), date.Month, date.Day,
                  static_cast<long long>(ms / 3'600'000), static_cast<long long>(ms / 60'000 % 60),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000),
                  offsetMinutes < 0 ? '-' : '+', absMinutes / 60, absMinutes % 60);
    return text;
}

std::string_view MarkerText(std::string_view text) noexcept {
    if (text.size() <= MaxMarkerText)
        return text;
    std::size_t end = MaxMarkerText;
    // Back over continuation bytes (10xxxxxx) to the start of the character cut in two.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

void TRecordEncoder::Header() {
    out_.insert(out_.end(), std::begin(CompanionMagic), std::end(CompanionMagic));
    out_.push_back(CompanionVersion);
}

void TRecordEncoder::Begin(TCompanionRecord kind) {
    recordStart_ = out_.size();
    out_.push_back(static_cast<std::uint8_t>(kind));
    out_.push_back(0);
}

void TRecordEncoder::End() {
    out_[recordStart_ + 1] = static_cast<std::uint8_t>(out_.size() - recordStart_ - 2);
    const std::uint32_t crc = Crc32c(std::span(out_).subspan(recordStart_));
    Fixed(crc, 4);
}

void TRecordEncoder::Varint(std::uint64_t value) {
    while (value >= 0x80) {
        out_.push_back(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    out_.push_back(static_cast<std::uint8_t>(value));
}

void TRecordEncoder::Fixed(std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void TRecordEncoder::Start(const TWallStart& start) {
    Begin(TCompanionRecord::Start);
    Fixed(static_cast<std::uint64_t>(start.UtcMicros), 8);
    Fixed(static_cast<std::uint32_t>(start.LocalOffsetSeconds), 4);
    End();
}

void TRecordEncoder::Checkpoint(std::uint64_t offsetStep, std::uint64_t timeStep,
                                std::uint32_t crc) {
    Begin(TCompanionRecord::Checkpoint);
    Varint(offsetStep);
    Varint(timeStep);
    Fixed(crc, 4);
    End();
}

void TRecordEncoder::Tie(std::uint64_t offsetStep, std::uint32_t crc) {
    Begin(TCompanionRecord::Tie);
    Varint(offsetStep);
    Fixed(crc, 4);
    End();
}

void TRecordEncoder::Marker(const TMarker& marker) {
    Begin(TCompanionRecord::Marker);
    Varint(static_cast<std::uint64_t>(marker.Number));
    Varint(marker.Offset);
    out_.push_back(static_cast<std::uint8_t>(marker.Origin));
    const std::string_view text = MarkerText(marker.Text);
    out_.insert(out_.end(), text.begin(), text.end());
    End();
}

void TRecordEncoder::Rename(int number, std::string_view text) {
    Begin(TCompanionRecord::Rename);
    Varint(static_cast<std::uint64_t>(number));
    text = MarkerText(text);
    out_.insert(out_.end(), text.begin(), text.end());
    End();
}

void TRecordEncoder::Delete(int number) {
    Begin(TCompanionRecord::Delete);
    Varint(static_cast<std::uint64_t>(number));
    End();
}

void TRecordEncoder::Event(const TSessionEvent& event) {
    Begin(TCompanionRecord::Event);
    out_.push_back(static_cast<std::uint8_t>(event.Kind));
    Varint(event.Offset);
    Varint(static_cast<std::uint64_t>(event.Micros));
    Varint(event.Value);
    End();
}

std::optional<std::uint64_t> TPayloadReader::Varint() {
    std::uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (rest_.empty())
            return std::nullopt;
        const std::uint8_t b = rest_.front();
        rest_ = rest_.subspan(1);
        // The tenth byte has room for one bit only.
        if (shift == 63 && b > 1)
            return std::nullopt;
        value |= std::uint64_t{b & 0x7Fu} << shift;
        if (!(b & 0x80))
            return value;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> TPayloadReader::Fixed(int bytes) {
    if (rest_.size() < static_cast<std::size_t>(bytes))
        return std::nullopt;
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= std::uint64_t{rest_[static_cast<std::size_t>(i)]} << (8 * i);
    rest_ = rest_.subspan(static_cast<std::size_t>(bytes));
    return value;
}

std::string_view TPayloadReader::Rest() {
    const std::string_view text(reinterpret_cast<const char*>(rest_.data()), rest_.size());
    rest_ = {};
    return text;
}

} // namespace telemetry
