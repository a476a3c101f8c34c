#pragma once

// A port's name and what is opened for it. On Windows the name itself is opened; elsewhere
// the device comes from the port folder and the adapters present (PortFolder.h).

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>

namespace serial {

// "\\.\COM" followed by the number in decimal, without leading zeros.
[[nodiscard]] std::string PortName(std::uint8_t number);

// A port number that leads nowhere the program may open: what() says why for whoever runs
// the program, Explanation says it to the window's user, in Russian.
class EPortRefused : public std::runtime_error {
public:
    EPortRefused(const std::string& why, std::string explanation)
        : std::runtime_error(why), explanation_(std::move(explanation)) {}
    [[nodiscard]] const std::string& Explanation() const noexcept { return explanation_; }

private:
    std::string explanation_;
};

// The device to open for port <number>. Raises EPortRefused when it may not tell.
[[nodiscard]] std::filesystem::path PortDevice(std::uint8_t number);

} // namespace serial
