// Linked into every test program for Windows: its standard output keeps LF line ends, as on
// Linux, so that ctest reads the tests a program lists (--gtest_list_tests) by their names;
// a CR left on each name makes the name match no test.

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace {

const int binaryStdout = _setmode(_fileno(stdout), _O_BINARY);

} // namespace
