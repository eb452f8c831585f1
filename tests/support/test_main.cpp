// One QApplication per test process, with a settings folder of its own.
#include <gtest/gtest.h>
#include <QApplication>

#include "tests/support/temp_config.h"

int main(int argc, char** argv) {
    zelt::test::setUpConfigDir();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
