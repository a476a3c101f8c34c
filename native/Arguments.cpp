#include "native/Arguments.h"

#ifdef _WIN32
#include "native/WideText.h"

#include <windows.h>

#include <shellapi.h>
#endif

namespace native {

#ifdef _WIN32

std::vector<std::string> ProgramArguments(int, char**) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    if (!wide)
        return arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(Utf8Text(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

#else

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return {argv + (argc > 0 ? 1 : 0), argv + argc};
}

#endif

} // namespace native
