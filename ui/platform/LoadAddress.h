#pragma once

// Where code lies within the program as loaded: one implementation per platform
// (LoadAddressPosix.cpp, LoadAddressWin32.cpp), chosen at build time.

#include <cstdint>

// code's distance from the load address of the module holding it, which stays the same from
// run to run; the address itself when the system cannot tell the module.
[[nodiscard]] std::uintptr_t OffsetInModule(const void* code) noexcept;
