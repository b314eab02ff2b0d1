#include "shell/EventGuard.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Off screen unless asked otherwise: ctest lists the cases with this
    // binary too, where no display may be.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    kelvar::cEventGuard<QApplication> app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
