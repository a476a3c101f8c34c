#include "ui/platform/LoadAddress.h"

#include <windows.h>

std::uintptr_t OffsetInModule(const void* code) noexcept {
    // A module's handle is its load address.
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(code), &module))
        return reinterpret_cast<std::uintptr_t>(code);
    return reinterpret_cast<std::uintptr_t>(code) - reinterpret_cast<std::uintptr_t>(module);
}
