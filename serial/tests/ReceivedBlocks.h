#pragma once

// What the tests of the serial link send and what a port under test hands over.

#include "serial/ComPort.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace serial::testing {

// Bytes in a pattern that repeats only after 251, so that a lost or doubled run shows.
inline std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed = 0) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 7 + seed) % 251);
    return bytes;
}

inline std::vector<std::uint8_t> Joined(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Collects the blocks and the errors of the ports attached to it.
struct TReceivedBlocks {
    std::vector<std::vector<std::uint8_t>> Blocks;
    std::vector<std::string> Errors;

    void Attach(TComPort& port) {
        port.SetOnData([this](std::span<const std::uint8_t> block) {
            Blocks.emplace_back(block.begin(), block.end());
        });
        port.OnError = [this](const std::string& message) { Errors.push_back(message); };
    }

    // Every block, joined in order.
    [[nodiscard]] std::vector<std::uint8_t> All() const {
        std::vector<std::uint8_t> all;
        for (const auto& block : Blocks)
            all.insert(all.end(), block.begin(), block.end());
        return all;
    }
};

} // namespace serial::testing
