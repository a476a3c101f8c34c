#pragma once

// Runs one of the programs as a user would from a shell, for tests of what it prints and the
// status it exits with.

#include <string>
#include <vector>

struct TProgramRun {
    int Status = -1; // the exit status; -1 when the program did not exit by itself
    std::string Out;
    std::string Err;
};

// Runs program with arguments and an empty standard input, and waits for it to end.
TProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments);
