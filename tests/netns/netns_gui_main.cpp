// GoogleTest main of the namespace site's dialog run: one QApplication,
// headless, named as app/main.cpp names the tool; the data folder (texts,
// installed configuration) comes from the environment netns_site.sh sets.
#include <QApplication>
#include <gtest/gtest.h>

#include "platform/ui/qt_user_dialogs.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("ZELMAR_LANG", "en");
    QApplication app(argc, argv);
    zelmar::ui::installUserDialogs();
    QApplication::setApplicationName(QStringLiteral("zelmar-tcpip-settings"));
    QApplication::setApplicationDisplayName(QStringLiteral("Zelmar TCP/IP Settings Tool"));
    QApplication::setOrganizationName(QStringLiteral("Zelmar"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
