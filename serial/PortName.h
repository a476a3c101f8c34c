#pragma once

// A port's name and what is opened for it. On Windows the name itself is opened; elsewhere
// the device comes from the port folder and the adapters present (PortFolder.h).

#include <cstdint>
#include <filesystem>
#include <string>

namespace serial {

// "\\.\COM" followed by the number in decimal, without leading zeros.
[[nodiscard]] std::string PortName(std::uint8_t number);

// The device to open for port <number>. Throws std::runtime_error when it cannot tell.
[[nodiscard]] std::filesystem::path PortDevice(std::uint8_t number);

} // namespace serial
