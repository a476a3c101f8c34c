#include "ui/shell/Application.h"

#include <gtest/gtest.h>

// The ui tests run under the program's own application object, so that failures escaping
// handlers reach its event loop exactly as in the program. This main takes precedence over
// the one in the GoogleTest main library, which the linker then leaves out.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
