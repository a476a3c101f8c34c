#include "ui/platform/LoadAddress.h"

#include <dlfcn.h>

std::uintptr_t OffsetInModule(const void* code) noexcept {
    Dl_info info{};
    if (::dladdr(code, &info) == 0 || !info.dli_fbase)
        return reinterpret_cast<std::uintptr_t>(code);
    return reinterpret_cast<std::uintptr_t>(code) -
           reinterpret_cast<std::uintptr_t>(info.dli_fbase);
}
