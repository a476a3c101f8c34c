#pragma once

// Windows only: what a program prints reaches the console it was started from, as the UTF-8
// text it is.

#include <string_view>

namespace native {

enum class TStandard { Output, Error };

// Writes text to the program's standard output or error. A window program, which Windows
// starts from a console without any standard handles, writes to the console of the program
// that started it, when that has one. A console shows the text as it is, whatever its code
// page; a file or a pipe gets the UTF-8 bytes. False when nothing could take it.
bool WriteStandard(TStandard stream, std::string_view text) noexcept;

// While it lives, the console the program prints to with the C library takes its bytes as
// UTF-8, as the program writes them; the console's own code page is given back afterwards.
class TUtf8Console {
public:
    TUtf8Console() noexcept;
    ~TUtf8Console();
    TUtf8Console(const TUtf8Console&) = delete;
    TUtf8Console& operator=(const TUtf8Console&) = delete;

private:
    unsigned int restored_ = 0; // the code page to give back; 0 when none was changed
};

} // namespace native
