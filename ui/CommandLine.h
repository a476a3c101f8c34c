#pragma once

// telmira's command line. The window itself takes no arguments: the command line answers
// --help and --version, and turns anything else away before a window opens.

#include <span>
#include <string>

struct TCommandLine {
    enum class TAction { Run, Help, Version, Refuse };
    TAction Action = TAction::Run;
    std::string Complaint; // with Refuse: what is wrong, in one line
};

// arguments: the command line without the program's name. The first argument that decides
// wins: "--help --x" asks for help, "--x --help" is refused.
[[nodiscard]] TCommandLine ParseCommandLine(std::span<const char* const> arguments);

// What --help and --version print.
[[nodiscard]] std::string HelpText();
[[nodiscard]] std::string VersionText();

// The exit status of a refused command line.
inline constexpr int RefusedCommandLineStatus = 2;
