// Widget tests run on Qt's offscreen platform, under the programs' own
// application object named as the program under test would name itself.
#include "application.h"

#include <gtest/gtest.h>

#include <cstdlib>

#ifndef TIDE_TEST_APP_NAME
#define TIDE_TEST_APP_NAME "tide_tests"
#endif
#ifndef TIDE_TEST_APP_VERSION
#define TIDE_TEST_APP_VERSION ""
#endif

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    tide::Application app(argc, argv, QStringLiteral(TIDE_TEST_APP_NAME),
                          QStringLiteral(TIDE_TEST_APP_VERSION));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
