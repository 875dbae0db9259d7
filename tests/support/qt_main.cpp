// Widget tests run on Qt's offscreen platform, with an application object
// named as the program under test would name itself.
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
#ifdef TIDE_TEST_APP_NAME
    QApplication::setApplicationName(QStringLiteral(TIDE_TEST_APP_NAME));
#endif
#ifdef TIDE_TEST_APP_VERSION
    QApplication::setApplicationVersion(QStringLiteral(TIDE_TEST_APP_VERSION));
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
