// main() for suites that need a Qt application object for their whole run: it must outlive
// every test and be destroyed before the process exits, not among the static destructors.

#include <gtest/gtest.h>

#include <clocale>

#ifdef TAVREL_GUI_TESTS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char* argv[]) {
    ::testing::InitGoogleTest(&argc, argv);
    // Widgets are tested without a display unless one is asked for.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TestApplication app(argc, argv);
    // Qt took the locale from the environment; the suites expect "C" unless a test sets one.
    std::setlocale(LC_ALL, "C");
    return RUN_ALL_TESTS();
}
