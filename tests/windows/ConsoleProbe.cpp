// A window program, as telmira is on Windows, that prints a line to standard output and one to
// standard error the way telmira prints its help: for ConsoleOutputTest.

#include "native/Console.h"

int main() {
    const bool written = native::WriteStandard(native::TStandard::Output, "вывод: справка\n") &&
                         native::WriteStandard(native::TStandard::Error, "ошибка: жалоба\n");
    return written ? 0 : 1;
}
