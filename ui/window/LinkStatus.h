#pragma once

// The status line under the pages: how the link of the live session is doing.

#include "telemetry/LinkHealth.h"

#include <QString>

#include <chrono>
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

// A port and its device: "COM3: /dev/serial/by-id/usb-FTDI_A-if00-port0 (/dev/ttyUSB0)", the
// device a link leads to in brackets.
[[nodiscard]] QString PortText(int number, const std::filesystem::path& device);
