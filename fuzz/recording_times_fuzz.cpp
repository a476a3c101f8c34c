// A recording's times from any companion beside any recording: the reader never fails, and what
// it gives holds together. The recording fed in pieces gives what it gives fed whole; a companion
// that is not used leaves every time estimated, with no markers or events; a used one gives times
// that never go back, measured exactly between its first and last checkpoint, and nothing past
// the recording's end. The marks telmira-dcc markers lists are every marker and event once, by
// frame, each at a frame of the recording or before the first, one CSV line each.
//
// Input: two bytes, the companion's length n (least significant first); one byte that sets
// where the recording is cut into pieces; n bytes of companion; the rest is the recording.

#include "telemetry/FrameTable.h"
#include "telemetry/FrameTimes.h"
#include "telemetry/MarkerRows.h"
#include "telemetry/RecordingTimes.h"
#include "telemetry/Telemetry.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <tuple>

using namespace telemetry;

namespace {

void Require(bool holds, const char* rule) {
    if (holds)
        return;
    std::fprintf(stderr, "%s\n", rule);
    std::abort();
}

TRecordingTimes Check(std::span<const std::uint8_t> companion,
                      std::span<const std::uint8_t> recording, std::uint8_t cuts) {
    TCompanionCheck check(
        TCompanionBytes{TCompanionBytes::TFound::Read, {companion.begin(), companion.end()}});
    // Pieces of 0 to 63 bytes in a sequence the cut byte starts, or the recording whole.
    std::uint32_t next = cuts;
    while (cuts != 0 && !recording.empty()) {
        next = next * 1103515245u + 12345u;
        const std::size_t n = std::min<std::size_t>(recording.size(), (next >> 16) % 64);
        check.Feed(recording.first(n));
        recording = recording.subspan(n);
    }
    check.Feed(recording);
    return check.Finish();
}

bool Same(const TRecordingTimes& a, const TRecordingTimes& b) {
    const auto& ea = a.CompanionEnd();
    const auto& eb = b.CompanionEnd();
    return a.State() == b.State() && a.RecordingSize() == b.RecordingSize() &&
           a.Start() == b.Start() && a.Checkpoints() == b.Checkpoints() &&
           a.Markers() == b.Markers() && a.Events() == b.Events() &&
           std::tie(ea.FileLength, ea.WholeLength, ea.WholeCrc, ea.TiedTo, ea.NextMarker) ==
               std::tie(eb.FileLength, eb.WholeLength, eb.WholeCrc, eb.TiedTo, eb.NextMarker);
}

void RequireHoldsTogether(const TRecordingTimes& times, std::size_t companionSize) {
    const std::uint64_t size = times.RecordingSize();
    Require(CompanionStateText(times.State())[0] != '\0', "a state without a text");
    const auto& end = times.CompanionEnd();
    Require(end.WholeLength <= end.FileLength && end.FileLength == companionSize,
            "the companion's lengths are wrong");
    if (times.Start())
        Require(!WallStartText(*times.Start()).empty(), "a start without a text");
    const auto& checkpoints = times.Checkpoints();
    if (!times.Used()) {
        Require(checkpoints.empty() && times.Markers().empty() && times.Events().empty() &&
                    !times.Start(),
                "an unused companion gave something");
        for (std::uint64_t o : {std::uint64_t{0}, size / 2, size})
            Require(times.At(o) == TByteTime{static_cast<double>(o) / LineBytesPerSecond, false},
                    "an unused companion's time is not the line rate's");
        return;
    }
    Require(end.TiedTo <= size, "the companion ties bytes the recording does not have");
    for (std::size_t k = 1; k < checkpoints.size(); ++k)
        Require(checkpoints[k].Offset >= checkpoints[k - 1].Offset &&
                    checkpoints[k].Micros >= checkpoints[k - 1].Micros,
                "the checkpoints go back");
    if (!checkpoints.empty()) {
        Require(checkpoints.back().Offset <= size, "a checkpoint past the recording's end");
        Require(
            (times.State() == TCompanionState::Complete) ==
                (checkpoints.back().Offset == size && times.State() != TCompanionState::Damaged),
            "complete, yet bytes are left untimed");
    }
    for (const TMarker& marker : times.Markers())
        Require(marker.Offset <= size && marker.Number < end.NextMarker &&
                    marker.Text.size() <= MaxMarkerText,
                "a marker out of place");
    for (std::size_t k = 1; k < times.Markers().size(); ++k)
        Require(times.Markers()[k - 1].Number < times.Markers()[k].Number, "markers out of order");
    for (const TSessionEvent& event : times.Events())
        Require(event.Offset <= size, "an event past the recording's end");

    TTimeCursor cursor(times);
    double previous = -1;
    const std::uint64_t last = std::min<std::uint64_t>(size, 2048);
    for (std::uint64_t o = 0; o <= last + 1; ++o) {
        const std::uint64_t offset = o > last ? size : o;
        const TByteTime t = times.At(offset);
        Require(std::isfinite(t.Seconds) && t.Seconds >= 0, "a time that is not one");
        Require(t.Seconds >= previous - 1e-9, "time goes back");
        Require(cursor.At(offset) == t, "the cursor differs");
        const bool inside = !checkpoints.empty() && checkpoints.front().Offset <= offset &&
                            offset <= checkpoints.back().Offset;
        Require(t.Measured == inside, "measured outside the checkpoints, or estimated inside");
        previous = t.Seconds;
    }
}

void RequireMarksListed(const TRecordingTimes& times, std::span<const std::uint8_t> recording) {
    TFrameTable frames;
    TLatestValues values;
    std::uint8_t state = 0;
    DecodeBlock(recording, DecodeMode::Replay, state, values, nullptr, &frames);
    const auto seconds = [&](std::int64_t frame) {
        return FrameTime(frames, times, frame).Seconds;
    };
    const std::vector<TMarkerRow> rows =
        MarkerRows(Marks(times.Markers(), times.Events(), frames, seconds), true);
    Require(rows.size() == times.Markers().size() + times.Events().size(),
            "a mark left out or listed twice");
    std::int64_t previous = -1;
    for (const TMarkerRow& row : rows) {
        Require(row.Mark.Frame >= previous && row.Mark.Frame < frames.Rows(),
                "a mark out of order or past the frames");
        previous = row.Mark.Frame;
        std::string line;
        AppendMarkerCsvLine(line, row);
        std::size_t commas = 0, ends = 0;
        bool quoted = false;
        for (const char c : line) {
            quoted = c == '"' ? !quoted : quoted;
            commas += !quoted && c == ',';
            ends += !quoted && c == '\n';
        }
        Require(commas == 4 && ends == 1 && !quoted && line.back() == '\n',
                "a line that is not five CSV fields");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    if (input.size() < 3)
        return 0;
    const std::size_t length = std::min<std::size_t>(input[0] | input[1] << 8, input.size() - 3);
    const std::span<const std::uint8_t> companion = input.subspan(3, length);
    const std::span<const std::uint8_t> recording = input.subspan(3 + length);

    const TRecordingTimes whole = Check(companion, recording, 0);
    RequireHoldsTogether(whole, companion.size());
    RequireMarksListed(whole, recording);
    Require(Same(whole, Check(companion, recording, input[2])),
            "the recording fed in pieces gives other times");
    return 0;
}
