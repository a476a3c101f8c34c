#pragma once

// What telmira-dcc says of a recording's companion: info's lines, and csv's note on times that
// are not all measured.

#include "telemetry/RecordingTimes.h"

#include <cstdio>
#include <string>

// info's lines: how the times were had, the session's start, the recording's duration, the
// markers by origin and the session's events by kind.
void PrintCompanionLines(std::FILE* out, const telemetry::TRecordingTimes& times);

// The note csv --time gives on standard error when not every time is measured; empty when
// every one is.
[[nodiscard]] std::string TimesNote(const std::string& path,
                                    const telemetry::TRecordingTimes& times);

// The note markers gives on standard error: where the companion is not used, that no marks are
// listed and why; else, as csv --time's, when not every time is measured.
[[nodiscard]] std::string MarkersNote(const std::string& path,
                                      const telemetry::TRecordingTimes& times);
