// Shared entry of core_tests and ui_tests: a Qt application object exists for every test,
// and without a display the tests fall back to the offscreen platform.
#include <gtest/gtest.h>

#ifdef VESTRUM_UI_TESTS
#include <QApplication>
using TestApplication = QApplication;
#else
// Paged documents and PDF lay text out with real fonts, which need a GUI application.
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
