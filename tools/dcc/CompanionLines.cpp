#include "tools/dcc/CompanionLines.h"

#include <charconv>

namespace {

using telemetry::TSessionEventKind;

std::string Seconds(double seconds) {
    char digits[32];
    const auto [end, ec] =
        std::to_chars(digits, digits + sizeof digits, seconds, std::chars_format::fixed, 3);
    return std::string(digits, end);
}

} // namespace

void PrintCompanionLines(std::FILE* out, const telemetry::TRecordingTimes& times) {
    std::fprintf(out, "times: %s\n", telemetry::CompanionStateText(times.State()));
    std::fprintf(out, "start: %s\n",
                 times.Start() ? telemetry::WallStartText(*times.Start()).c_str() : "-");
    const telemetry::TByteTime duration = times.Duration();
    std::fprintf(out, "duration: %s s%s\n", Seconds(duration.Seconds).c_str(),
                 duration.Measured ? "" : " (estimated)");

    int live = 0;
    for (const telemetry::TMarker& marker : times.Markers())
        live += marker.Origin == telemetry::TMarkerOrigin::Live;
    std::fprintf(out, "markers: %zu (live %d, viewing %zu)\n", times.Markers().size(), live,
                 times.Markers().size() - static_cast<std::size_t>(live));

    unsigned long long counts[6] = {};
    unsigned long long skipped = 0;
    for (const telemetry::TSessionEvent& event : times.Events()) {
        ++counts[static_cast<int>(event.Kind)];
        if (event.Kind == TSessionEventKind::BytesSkipped)
            skipped += event.Value;
    }
    std::fprintf(out,
                 "events: port lost %llu, port back %llu, bytes skipped %llu (%llu bytes), curve "
                 "changed %llu, session closed %llu\n",
                 counts[static_cast<int>(TSessionEventKind::PortLost)],
                 counts[static_cast<int>(TSessionEventKind::PortBack)],
                 counts[static_cast<int>(TSessionEventKind::BytesSkipped)], skipped,
                 counts[static_cast<int>(TSessionEventKind::CurveChanged)],
                 counts[static_cast<int>(TSessionEventKind::SessionClosed)]);
}

std::string TimesNote(const std::string& path, const telemetry::TRecordingTimes& times) {
    if (times.State() == telemetry::TCompanionState::Complete)
        return {};
    return "telmira-dcc: " + path + ": times " + telemetry::CompanionStateText(times.State()) +
           "\n";
}

std::string MarkersNote(const std::string& path, const telemetry::TRecordingTimes& times) {
    if (times.Used())
        return TimesNote(path, times);
    return "telmira-dcc: " + path + ": no markers or events, and times " +
           telemetry::CompanionStateText(times.State()) + "\n";
}
