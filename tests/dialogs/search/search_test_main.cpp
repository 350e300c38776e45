// GoogleTest main for the search dialog tests: one QApplication for the run,
// headless, English texts from this build's catalogues.
#include "platform/ui/window_helpers.h"
#include <QApplication>
#include <gtest/gtest.h>

#include "platform/ui/qt_user_dialogs.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("ZELMAR_DATA_DIR"))
        qputenv("ZELMAR_DATA_DIR", ZELMAR_TEST_DATA_DIR);
    if (qEnvironmentVariableIsEmpty("ZELMAR_LANG"))
        qputenv("ZELMAR_LANG", "en");
    QApplication app(argc, argv);
    zelmar::ui::installUserDialogs();
    QApplication::setApplicationName(QStringLiteral("zelmar-tcpip-settings-test"));
    zelmar::ui::setApplicationTitle(QStringLiteral("Zelmar TCP/IP Settings Tool"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
