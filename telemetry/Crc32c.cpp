#include "telemetry/Crc32c.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <nmmintrin.h>
#endif

namespace telemetry {

namespace {

// Eight tables, so that the loop takes eight bytes a step.
using TTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr TTables MakeTables() {
    TTables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0x82F63B78u ^ (c >> 1) : c >> 1;
        t[0][i] = c;
    }
    for (std::size_t i = 0; i < 256; ++i)
        for (std::size_t k = 1; k < 8; ++k)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}

constexpr TTables Tables = MakeTables();

#if defined(__x86_64__)
// c is the running value, without the final xor.
[[gnu::target("sse4.2")]] std::uint32_t ByInstruction(std::uint32_t c, const std::uint8_t* p,
                                                      std::size_t n) noexcept {
    std::uint64_t c64 = c;
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        c64 = _mm_crc32_u64(c64, word);
    }
    c = static_cast<std::uint32_t>(c64);
    for (; n > 0; ++p, --n)
        c = _mm_crc32_u8(c, *p);
    return c;
}

bool HasInstruction() noexcept {
    static const bool has = __builtin_cpu_supports("sse4.2");
    return has;
}
#endif

} // namespace

std::uint32_t Crc32cUpdateByTables(std::uint32_t crc,
                                   std::span<const std::uint8_t> bytes) noexcept {
    std::uint32_t c = ~crc;
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    for (; n >= 8; p += 8, n -= 8) {
        const std::uint32_t low = c ^ (std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                       std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24);
        c = Tables[7][low & 0xFF] ^ Tables[6][(low >> 8) & 0xFF] ^ Tables[5][(low >> 16) & 0xFF] ^
            Tables[4][low >> 24] ^ Tables[3][p[4]] ^ Tables[2][p[5]] ^ Tables[1][p[6]] ^
            Tables[0][p[7]];
    }
    for (; n > 0; ++p, --n)
        c = Tables[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    return ~c;
}

std::uint32_t Crc32cUpdate(std::uint32_t crc, std::span<const std::uint8_t> bytes) noexcept {
#if defined(__x86_64__)
    if (HasInstruction())
        return ~ByInstruction(~crc, bytes.data(), bytes.size());
#endif
    return Crc32cUpdateByTables(crc, bytes);
}

} // namespace telemetry
