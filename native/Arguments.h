#pragma once

// A program's command line as UTF-8 strings.

#include <string>
#include <vector>

namespace native {

// The arguments after the program's name. On Windows they come from the wide-character
// command line, so that a file name outside the local code page reaches the program whole;
// elsewhere they are argv's bytes.
[[nodiscard]] std::vector<std::string> ProgramArguments(int argc, char** argv);

} // namespace native
