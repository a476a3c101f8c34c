#pragma once

// telmira's command line: a recording to view as the window opens, --help and --version;
// anything else is turned away before a window opens.

#include <span>
#include <string>

struct TCommandLine {
    enum class TAction { Run, Help, Version, Refuse };
    TAction Action = TAction::Run;
    std::string Complaint; // with Refuse: what is wrong, in one line
    std::string Recording; // with Run: the file to view, or empty
};

// arguments: the command line without the program's name. The first argument that decides
// wins: "--help --x" asks for help, "--x --help" is refused. One argument that is no option
// names the recording; a second is refused.
[[nodiscard]] TCommandLine ParseCommandLine(std::span<const char* const> arguments);

// What --help and --version print.
[[nodiscard]] std::string HelpText();
[[nodiscard]] std::string VersionText();

// The exit status of a refused command line.
inline constexpr int RefusedCommandLineStatus = 2;
