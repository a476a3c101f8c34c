#include "telemetry/RecordingTimes.h"

#include "telemetry/Crc32c.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace telemetry {

namespace {

// Times and offsets stay far below the range of the arithmetic on them.
constexpr std::uint64_t Largest = std::uint64_t{1} << 62;

double Seconds(std::int64_t micros) {
    return static_cast<double>(micros) * 1e-6;
}

double LineSeconds(std::uint64_t bytes) {
    return static_cast<double>(bytes) / LineBytesPerSecond;
}

// Seconds a byte on the line from before to after, whose offsets differ.
double Slope(const TCheckpoint& before, const TCheckpoint& after) {
    return (Seconds(after.Micros) - Seconds(before.Micros)) /
           static_cast<double>(after.Offset - before.Offset);
}

constexpr auto OnLine = TTimeCursor::OnLine;

} // namespace

const char* CompanionStateText(TCompanionState state) noexcept {
    switch (state) {
    case TCompanionState::Complete:
        return "measured";
    case TCompanionState::CutOff:
        return "measured; the session did not close, its last bytes estimated";
    case TCompanionState::Appended:
        return "measured; the recording grew after its session closed, the bytes added "
               "estimated";
    case TCompanionState::Damaged:
        return "measured up to a damaged record of the companion, the rest estimated";
    case TCompanionState::Untimed:
        return "estimated: the companion holds no times";
    case TCompanionState::Missing:
        return "estimated: no companion";
    case TCompanionState::Unreadable:
        return "estimated: the companion cannot be read";
    case TCompanionState::Short:
        return "estimated: the companion ends before it ties anything to the recording";
    case TCompanionState::Garbled:
        return "estimated: the companion is garbled";
    case TCompanionState::Foreign:
        return "estimated: the companion belongs to another recording, or the recording was "
               "changed";
    case TCompanionState::NewerFormat:
        return "estimated: the companion is of a newer format";
    }
    return "";
}

TRecordingTimes::TRecordingTimes(std::uint64_t recordingSize, TCompanionState why)
    : state_(why), size_(recordingSize) {}

TByteTime TRecordingTimes::At(std::uint64_t offset) const {
    if (checkpoints_.empty())
        return {LineSeconds(offset), false};
    const TCheckpoint& first = checkpoints_.front();
    const TCheckpoint& last = checkpoints_.back();
    if (offset < first.Offset)
        return {std::max(0.0, Seconds(first.Micros) - LineSeconds(first.Offset - offset)), false};
    if (offset > last.Offset)
        return {Seconds(last.Micros) + LineSeconds(offset - last.Offset), false};
    // The first checkpoint at or after offset; where several share an offset, the byte that
    // ends there belongs to the line before the stop.
    const auto after =
        std::lower_bound(checkpoints_.begin(), checkpoints_.end(), offset,
                         [](const TCheckpoint& c, std::uint64_t o) { return c.Offset < o; });
    if (after->Offset == offset)
        return {Seconds(after->Micros), true};
    const TCheckpoint& before = *(after - 1);
    return {OnLine(Seconds(before.Micros), Slope(before, *after), offset - before.Offset), true};
}

TByteTime TTimeCursor::AtAnotherLine(std::uint64_t offset) {
    const std::vector<TCheckpoint>& checkpoints = times_.Checkpoints();
    if (checkpoints.empty() || offset <= checkpoints.front().Offset ||
        offset >= checkpoints.back().Offset)
        return times_.At(offset);
    while (checkpoints[next_].Offset < offset)
        ++next_;
    const TCheckpoint& after = checkpoints[next_];
    if (after.Offset == offset)
        return {Seconds(after.Micros), true};
    const TCheckpoint& before = checkpoints[next_ - 1];
    lineStart_ = before.Offset;
    lineEnd_ = after.Offset;
    lineSeconds_ = Seconds(before.Micros);
    slope_ = Slope(before, after);
    return {OnLine(lineSeconds_, slope_, offset - lineStart_), true};
}

TCompanionCheck::TCompanionCheck(const TCompanionBytes& companion) {
    switch (companion.Found) {
    case TCompanionBytes::TFound::Missing:
        refused_ = TCompanionState::Missing;
        return;
    case TCompanionBytes::TFound::Unreadable:
    case TCompanionBytes::TFound::TooLarge:
        refused_ = TCompanionState::Unreadable;
        return;
    case TCompanionBytes::TFound::Read:
        break;
    }
    Parse(companion.Bytes);
}

void TCompanionCheck::Parse(std::span<const std::uint8_t> bytes) {
    times_.end_.FileLength = bytes.size();
    if (bytes.size() < CompanionHeaderSize) {
        // What a session killed while writing its first bytes leaves, or a stray empty file.
        refused_ = std::equal(bytes.begin(), bytes.end(), std::begin(CompanionMagic),
                              std::begin(CompanionMagic) + std::min<std::size_t>(4, bytes.size()))
                       ? TCompanionState::Short
                       : TCompanionState::Garbled;
        return;
    }
    if (!std::equal(std::begin(CompanionMagic), std::end(CompanionMagic), bytes.begin()) ||
        bytes[4] == 0) {
        refused_ = TCompanionState::Garbled;
        return;
    }
    if (bytes[4] > CompanionVersion) {
        refused_ = TCompanionState::NewerFormat;
        return;
    }
    std::size_t at = CompanionHeaderSize;
    times_.end_.WholeLength = at;
    while (bytes.size() - at >= RecordOverhead) {
        const std::size_t length = bytes[at + 1];
        if (bytes.size() - at < RecordOverhead + length)
            break; // cut short: a session killed while writing it
        const auto record = bytes.subspan(at, 2 + length);
        const auto check = bytes.subspan(at + 2 + length, 4);
        const std::uint32_t stored = std::uint32_t{check[0]} | std::uint32_t{check[1]} << 8 |
                                     std::uint32_t{check[2]} << 16 | std::uint32_t{check[3]} << 24;
        if (Crc32c(record) != stored || !Take(static_cast<TCompanionRecord>(record[0]),
                                              record.subspan(2), at == CompanionHeaderSize)) {
            damaged_ = true;
            break;
        }
        at += RecordOverhead + length;
        times_.end_.WholeLength = at;
    }
    times_.end_.WholeCrc = Crc32c(bytes.first(times_.end_.WholeLength));
}

bool TCompanionCheck::Take(TCompanionRecord kind, std::span<const std::uint8_t> payload,
                           bool first) {
    TPayloadReader in(payload);
    const std::uint64_t tiedTo = tied_.empty() ? 0 : tied_.back().End;
    const auto number = [](std::optional<std::uint64_t> n) {
        return n && *n >= 1 && *n <= INT_MAX ? std::optional<int>(static_cast<int>(*n))
                                             : std::nullopt;
    };
    switch (kind) {
    case TCompanionRecord::Start: {
        const auto utc = in.Fixed(8);
        const auto offset = in.Fixed(4);
        if (!first || !utc || !offset || !in.AtEnd())
            return false;
        times_.start_ = TWallStart{static_cast<std::int64_t>(*utc),
                                   static_cast<std::int32_t>(static_cast<std::uint32_t>(*offset))};
        return true;
    }
    case TCompanionRecord::Checkpoint: {
        const auto offsetStep = in.Varint();
        const auto timeStep = in.Varint();
        const auto crc = in.Fixed(4);
        const std::vector<TCheckpoint>& checkpoints = times_.checkpoints_;
        const std::int64_t lastMicros = checkpoints.empty() ? 0 : checkpoints.back().Micros;
        // Checkpoints follow the start, and no tie comes between two: ties cover what the
        // session left untimed.
        if (!times_.start_ || !offsetStep || !timeStep || !crc || !in.AtEnd() ||
            *offsetStep > Largest - tiedTo ||
            *timeStep > Largest - static_cast<std::uint64_t>(lastMicros) ||
            (!checkpoints.empty() && checkpoints.back().Offset != tiedTo))
            return false;
        times_.checkpoints_.push_back(
            {tiedTo + *offsetStep, lastMicros + static_cast<std::int64_t>(*timeStep)});
        tied_.push_back({tiedTo + *offsetStep, static_cast<std::uint32_t>(*crc)});
        return true;
    }
    case TCompanionRecord::Tie: {
        const auto offsetStep = in.Varint();
        const auto crc = in.Fixed(4);
        if (!offsetStep || !crc || !in.AtEnd() || *offsetStep > Largest - tiedTo)
            return false;
        tied_.push_back({tiedTo + *offsetStep, static_cast<std::uint32_t>(*crc)});
        return true;
    }
    case TCompanionRecord::Marker: {
        const auto n = number(in.Varint());
        const auto offset = in.Varint();
        const auto origin = in.Fixed(1);
        if (!n || !offset || !origin || *origin > 1)
            return false;
        markers_.Add({*n, *offset, static_cast<TMarkerOrigin>(*origin), std::string(in.Rest())});
        return true;
    }
    case TCompanionRecord::Rename: {
        const auto n = number(in.Varint());
        if (!n)
            return false;
        markers_.Rename(*n, in.Rest());
        return true;
    }
    case TCompanionRecord::Delete: {
        const auto n = number(in.Varint());
        if (!n || !in.AtEnd())
            return false;
        markers_.Delete(*n);
        return true;
    }
    case TCompanionRecord::Event: {
        const auto eventKind = in.Fixed(1);
        const auto offset = in.Varint();
        const auto micros = in.Varint();
        const auto value = in.Varint();
        if (!times_.start_ || !eventKind || *eventKind < 1 || *eventKind > 5 || !offset ||
            !micros || *micros > Largest || !value || !in.AtEnd())
            return false;
        const auto eventKindValue = static_cast<TSessionEventKind>(*eventKind);
        times_.events_.push_back(
            {eventKindValue, *offset, static_cast<std::int64_t>(*micros), *value});
        closed_ = closed_ || eventKindValue == TSessionEventKind::SessionClosed;
        return true;
    }
    }
    return true; // a kind this version does not know: its length lets it be passed over
}

bool TCompanionCheck::NeedsRecording() const noexcept {
    return !refused_ && !tied_.empty();
}

void TCompanionCheck::Feed(std::span<const std::uint8_t> recording) {
    fed_ += recording.size();
    if (refused_ || mismatch_)
        return;
    for (;;) {
        while (stretch_ < tied_.size() && tied_[stretch_].End == fed_ - recording.size()) {
            mismatch_ = mismatch_ || crc_ != tied_[stretch_].Crc;
            crc_ = 0;
            ++stretch_;
        }
        if (recording.empty() || stretch_ == tied_.size() || mismatch_)
            return;
        const std::uint64_t at = fed_ - recording.size();
        const auto take = static_cast<std::size_t>(
            std::min<std::uint64_t>(recording.size(), tied_[stretch_].End - at));
        crc_ = Crc32cUpdate(crc_, recording.first(take));
        recording = recording.subspan(take);
    }
}

TRecordingTimes TCompanionCheck::Finish() {
    // Stretches that end where the recording ends are closed by feeding nothing.
    Feed({});
    const std::uint64_t size = fed_;
    const std::uint64_t tiedTo = tied_.empty() ? 0 : tied_.back().End;
    times_.end_.NextMarker = markers_.NextNumber();
    // Unused, but what it holds is known, so that markers can be added to a companion cut
    // short before it tied anything.
    const auto unused = [&](TCompanionState why) {
        TRecordingTimes times(size, why);
        times.end_ = times_.end_;
        return times;
    };
    if (refused_)
        return unused(*refused_);
    if (tiedTo == 0)
        return unused(damaged_ ? TCompanionState::Garbled : TCompanionState::Short);
    if (mismatch_ || size < tiedTo)
        return unused(TCompanionState::Foreign);

    TRecordingTimes times = std::move(times_);
    times.size_ = size;
    times.end_.TiedTo = tiedTo;
    for (const TMarker& marker : markers_.Markers())
        if (marker.Offset <= size)
            times.markers_.push_back(marker);
    std::erase_if(times.events_, [&](const TSessionEvent& e) { return e.Offset > size; });
    if (damaged_)
        times.state_ = TCompanionState::Damaged;
    else if (times.checkpoints_.empty())
        times.state_ = TCompanionState::Untimed;
    else if (size > times.checkpoints_.back().Offset)
        times.state_ = closed_ ? TCompanionState::Appended : TCompanionState::CutOff;
    else
        times.state_ = TCompanionState::Complete;
    return times;
}

TRecordingTimes ReadRecordingTimes(const std::string& recordingPath,
                                   std::span<const std::uint8_t> recording) {
    TCompanionCheck check(ReadCompanionFile(recordingPath));
    check.Feed(recording);
    return check.Finish();
}

} // namespace telemetry
