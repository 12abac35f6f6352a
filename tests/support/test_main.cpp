#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // The suite needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef THARNVIK_TEST_FONTS
    // The fonts are the test's choice, not the machine's (ctest names them).
    if (qEnvironmentVariableIsEmpty("FONTCONFIG_FILE"))
        qputenv("FONTCONFIG_FILE", THARNVIK_TEST_FONTS);
#endif
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
