// The communication tests set the mouse pointer and pass through the modal
// seam (the user dialogs on Qt), both of which need an application object.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/ui/qt_user_dialogs.h"

int main(int argc, char** argv) {
    // Test discovery runs the program without the test environment: stay headless there too.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zelmar::ui::installUserDialogs();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
