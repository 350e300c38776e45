// GoogleTest main for tests that use widgets: one QApplication for the run,
// headless. Dialog tests also get the texts catalogues of this build
// (ZELMAR_TEST_DATA_DIR) and, where they want one, a language (ZELMAR_TEST_LANG).
#include "platform/ui/window_helpers.h"
#include <QApplication>
#include <gtest/gtest.h>

#include "platform/ui/qt_user_dialogs.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef ZELMAR_TEST_DATA_DIR
    if (qEnvironmentVariableIsEmpty("ZELMAR_DATA_DIR"))
        qputenv("ZELMAR_DATA_DIR", ZELMAR_TEST_DATA_DIR);
#endif
#ifdef ZELMAR_TEST_LANG
    if (qEnvironmentVariableIsEmpty("ZELMAR_LANG"))
        qputenv("ZELMAR_LANG", ZELMAR_TEST_LANG);
#endif
    QApplication app(argc, argv);
    zelmar::ui::installUserDialogs();
    QApplication::setApplicationName(QStringLiteral("zelmar-tcpip-settings-test"));
    zelmar::ui::setApplicationTitle(QStringLiteral("Zelmar TCP/IP Settings Tool"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
