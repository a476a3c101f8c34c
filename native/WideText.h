#pragma once

// Windows only: the program's strings are UTF-8, the system's wide-character functions take
// UTF-16.

#include <string>
#include <string_view>

namespace native {

// Invalid UTF-8 becomes U+FFFD, and so does an unpaired surrogate the other way: a name that
// does not convert names no file, and opening it fails as for any missing file.
[[nodiscard]] std::wstring WideText(std::string_view utf8);
[[nodiscard]] std::string Utf8Text(std::wstring_view wide);

} // namespace native
