#pragma once

// An open file as the operating system names it, for the classes whose implementation differs
// between Windows and the others while their interface does not. File names are strings of
// the bytes the system takes, UTF-8 on Windows, where they reach the wide-character functions.

namespace telemetry {

#ifdef _WIN32
using TNativeFile = void*; // a HANDLE
#else
using TNativeFile = int; // a file descriptor
#endif

} // namespace telemetry
