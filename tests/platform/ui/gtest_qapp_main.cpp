// GoogleTest main for tests that use widgets: one QApplication for the run.
#include "platform/ui/window_helpers.h"
#include <QApplication>
#include <gtest/gtest.h>

#include "platform/ui/qt_user_dialogs.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zelmar::ui::installUserDialogs();
    QApplication::setApplicationName(QStringLiteral("ZelmarTestApp"));
    zelmar::ui::setApplicationTitle(QStringLiteral("Zelmar Test App"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
