#include "ui/platform/QtWindowThread.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

// The link needs an event loop for its hand-overs, not a display.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    serial::InstallQtWindowThread();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
