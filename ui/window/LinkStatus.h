#pragma once

// The status line under the pages: how the link of the live session is doing, or what the
// recording on the chart holds.

#include "telemetry/LinkHealth.h"
#include "telemetry/RecordingFigures.h"
#include "telemetry/RecordingTimes.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <filesystem>

// The height the status line adds to the window, in pixels.
inline constexpr int LinkStatusHeight = 20;
// How often the status line follows the link.
inline constexpr std::chrono::milliseconds LinkStatusRefresh{250};

// What the status line says when nothing was recorded or viewed yet.
inline constexpr char PortClosedText[] = "Порт закрыт";

// "Приём данных | записано 5 760 байт | кадров 640 | пропущено 0 байт | 640 кадров/с | " and
// the port (PortText). A closed session keeps its totals under "Порт закрыт". While the
// plotting question waits, the bytes kept meanwhile.
[[nodiscard]] QString LinkStatusText(const telemetry::TLinkReport& report, bool open,
                                     const QString& port);

// How a replay onto the chart ended.
enum class TViewEnd {
    Whole,     // every byte read, every frame on the chart
    TooLong,   // every byte read; the chart took the first frames only
    Cancelled, // the user stopped it
    CutShort,  // the file was cut short while it was read
};

// The status line of a viewed recording: how the replay ended, the figures of the bytes read
// (of size in all) and the frames on the chart.
[[nodiscard]] QString ViewStatusText(TViewEnd end, const telemetry::TRecordingFigures& read,
                                     std::uint64_t size, std::uint64_t framesOnChart);

// What the status line of a viewed recording adds about its times where not every one was
// measured: that times are estimated ("≈") and why, naming the companion by companionName.
// Empty when the companion timed every byte.
[[nodiscard]] QString TimesStatusText(telemetry::TCompanionState state,
                                      const QString& companionName);

// The error box's words for a recording of frames that fills the chart with its first
// framesOnChart.
[[nodiscard]] QString ChartTooShortText(std::uint64_t framesOnChart, std::uint64_t frames);

// The time frames last at the line's full rate: "51 ч 29 мин 22 с", "5 мин 0 с", "19 с".
[[nodiscard]] QString LineRateDuration(std::uint64_t frames);

// A port and its device: "COM3: /dev/serial/by-id/usb-FTDI_A-if00-port0 (/dev/ttyUSB0)", the
// device a link leads to in brackets.
[[nodiscard]] QString PortText(int number, const std::filesystem::path& device);
