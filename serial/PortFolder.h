#pragma once

// Where a numbered port lives on this machine. A port keeps the name "\\.\COM<n>" that
// its messages quote; the device behind it is the link COM<n> in the per-user port folder
// when there is one (a USB adapter, the simulator's pseudo-terminal), else an adapter's
// number (PortMap.h), else /dev/ttyS<n-1>.

#include "serial/PortMap.h"
#include "serial/PortName.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace serial {

// $XDG_RUNTIME_DIR/telmira/ports when that variable is set, else /tmp/telmira-<uid>/ports.
[[nodiscard]] std::filesystem::path PortFolder();

// Why a folder is not trusted: for whoever runs the program, and for the window's user, in
// Russian, with what to do about it.
struct TDistrust {
    std::string Why;
    std::string Explanation;
};

// Nothing when the folder and its parent are real directories of this user that nobody
// else can write to; otherwise why not. A link found anywhere else could redirect a port.
[[nodiscard]] std::optional<TDistrust> WhyUntrusted(const std::filesystem::path& folder);

// Creates the port folder (and its parent) with mode 0700 where missing. Returns the
// folder, or throws std::runtime_error when it cannot be made or is not trusted.
std::filesystem::path EnsurePortFolder();

// The numbered ports of this machine: NumberedPorts of /dev and the port folder.
[[nodiscard]] std::vector<TPortTarget> MachinePorts();

// Where port number leads on this machine (PortDevice). Raises EPortRefused when the port
// folder is there but not trusted.
[[nodiscard]] TPortTarget PortTarget(std::uint8_t number);

} // namespace serial
