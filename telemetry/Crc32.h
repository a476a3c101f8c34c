#pragma once

// CRC-32 as zlib's crc32 and PNG compute it (reflected polynomial 0xEDB88320, initial value and
// final xor 0xFFFFFFFF), fed in pieces: Crc32Update(Crc32Update(0, a), b) is the CRC of a
// followed by b. The CRC of no bytes is 0.

#include <cstdint>
#include <span>

namespace telemetry {

[[nodiscard]] std::uint32_t Crc32Update(std::uint32_t crc,
                                        std::span<const std::uint8_t> bytes) noexcept;

[[nodiscard]] inline std::uint32_t Crc32(std::span<const std::uint8_t> bytes) noexcept {
    return Crc32Update(0, bytes);
}

} // namespace telemetry
