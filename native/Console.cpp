#include "native/Console.h"

#include "native/WideText.h"

#include <cstdio>
#include <new>
#include <string>

#include <windows.h>

namespace native {

namespace {

// The parent's console, opened once: the C library cannot open it for a window program.
HANDLE ParentConsole() noexcept {
    static const HANDLE console = [] {
        // A program already attached to a console (Wine attaches window programs to their
        // parent's) is refused with ERROR_ACCESS_DENIED and writes there all the same.
        if (!::AttachConsole(ATTACH_PARENT_PROCESS) && ::GetLastError() != ERROR_ACCESS_DENIED)
            return INVALID_HANDLE_VALUE;
        return ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    }();
    return console;
}

} // namespace

bool WriteStandard(TStandard stream, std::string_view text) noexcept {
    HANDLE handle =
        ::GetStdHandle(stream == TStandard::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (!handle || handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) == FILE_TYPE_UNKNOWN)
        handle = ParentConsole();
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    try {
        DWORD mode = 0;
        if (::GetConsoleMode(handle, &mode)) {
            const std::wstring wide = WideText(text);
            DWORD written = 0;
            for (std::size_t at = 0; at < wide.size(); at += written)
                if (!::WriteConsoleW(handle, wide.data() + at, static_cast<DWORD>(wide.size() - at),
                                     &written, nullptr) ||
                    written == 0)
                    return false;
            return true;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    DWORD written = 0;
    for (std::size_t at = 0; at < text.size(); at += written)
        if (!::WriteFile(handle, text.data() + at, static_cast<DWORD>(text.size() - at), &written,
                         nullptr) ||
            written == 0)
            return false;
    return true;
}

TUtf8Console::TUtf8Console() noexcept {
    const UINT current = ::GetConsoleOutputCP();
    if (current != 0 && current != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8))
        restored_ = current;
}

TUtf8Console::~TUtf8Console() {
    if (restored_ != 0) {
        std::fflush(stdout);
        std::fflush(stderr);
        ::SetConsoleOutputCP(restored_);
    }
}

} // namespace native
