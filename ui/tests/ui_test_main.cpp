#include "ui/shell/Application.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The ui tests run under the program's own application object, so that failures escaping
// handlers reach its event loop exactly as in the program. This main takes precedence over
// the one in the GoogleTest main library, which the linker then leaves out.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The user's settings, the program's and Qt's, are never the tests' to change: the user's
    // configuration folder is one of the test program's own, gone when it ends.
    const QTemporaryDir config(QDir::tempPath() + "/telmira-ui-config-XXXXXX");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
