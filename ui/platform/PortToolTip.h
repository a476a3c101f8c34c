#pragma once

// The port box's tooltip: where the chosen number leads, then the other ports the machine
// numbers. One implementation per platform (PortToolTipPosix.cpp, PortToolTipWin32.cpp), chosen
// at build time: Linux numbers links and adapters (PortMap.h), Windows its COM devices.

#include <QString>

[[nodiscard]] QString PortToolTip(int chosen);
