// GoogleTest main of the acceptance suite: one QApplication, headless, with
// the texts of this build, the demo upgrade files, English texts.
#include "platform/ui/window_helpers.h"
#include <QApplication>
#include <gtest/gtest.h>

#include "platform/ui/qt_user_dialogs.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("ZELMAR_DATA_DIR"))
        qputenv("ZELMAR_DATA_DIR", ZELMAR_TEST_DATA_DIR);
    // As run-demo.sh: the demo upgrade files lie beside the demo fleet.
    if (qEnvironmentVariableIsEmpty("ZELMAR_SLIB_DIR"))
        qputenv("ZELMAR_SLIB_DIR", ZELMAR_DEMO_UPGRADES);
    qputenv("ZELMAR_LANG", "en");
    QApplication app(argc, argv);
    zelmar::ui::installUserDialogs();
    // As app/main.cpp names the tool: the password prompts carry this title.
    QApplication::setApplicationName(QStringLiteral("zelmar-tcpip-settings"));
    zelmar::ui::setApplicationTitle(QStringLiteral("Zelmar TCP/IP Settings Tool"));
    QApplication::setOrganizationName(QStringLiteral("Zelmar"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
