#pragma once

// The status line under the pages: how the link of the live session is doing.

#include "LinkHealth.h"

#include <QString>

// The height the status line adds to the window, in pixels.
inline constexpr int LinkStatusHeight = 20;

// "Приём данных | записано 5 760 байт | кадров 640 | пропущено 0 байт | 640 кадров/с | COM1"
// and so on; port names the port and, once known, the device behind it. A closed session
// keeps its totals under "Порт закрыт".
[[nodiscard]] QString LinkStatusText(const telemetry::TLinkReport& report, bool open,
                                     const QString& port);
