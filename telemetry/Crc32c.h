#pragma once

// CRC-32C (Castagnoli: reflected polynomial 0x82F63B78, initial value and final xor
// 0xFFFFFFFF, as iSCSI and ext4 use it), fed in pieces: Crc32cUpdate(Crc32cUpdate(0, a), b) is
// the CRC of a followed by b. The CRC of no bytes is 0; that of "123456789" is 0xE3069283.
// A companion's checks against its recording run over every byte of the recording when it
// is opened, so the processor's own CRC instruction computes it where there is one (SSE 4.2,
// every x86-64 processor since 2008).

#include <cstdint>
#include <span>

namespace telemetry {

[[nodiscard]] std::uint32_t Crc32cUpdate(std::uint32_t crc,
                                         std::span<const std::uint8_t> bytes) noexcept;

[[nodiscard]] inline std::uint32_t Crc32c(std::span<const std::uint8_t> bytes) noexcept {
    return Crc32cUpdate(0, bytes);
}

// The same from tables alone, what runs without the instruction.
[[nodiscard]] std::uint32_t Crc32cUpdateByTables(std::uint32_t crc,
                                                 std::span<const std::uint8_t> bytes) noexcept;

} // namespace telemetry
