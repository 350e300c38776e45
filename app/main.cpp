// The Zelmar TCP/IP Settings Tool: creates the main settings dialog, runs its
// load handler (which may already ask about the connected controller) and
// shows it. Closing the dialog ends the tool. No command line is read.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <exception>

#include "dialogs/main/form_tcp_settings.h"
#include "platform/ui/handler_guard.h"
#include "platform/ui/qt_user_dialogs.h"
#include "platform/ui/window_helpers.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    zelmar::ui::installUserDialogs();
    QApplication::setApplicationName(QStringLiteral("zelmar-tcpip-settings"));
    // The title of messages and boxes; each window shows its own caption only.
    zelmar::ui::setApplicationTitle(QStringLiteral("Zelmar TCP/IP Settings Tool"));
    QApplication::setOrganizationName(QStringLiteral("Zelmar"));

    try {
        zelmar::dialogs::FormTCPSettings form;
        QApplication::setWindowIcon(form.windowIcon());
        // Every handler catches its own errors, shows them and ends the tool;
        // an error here could only come from building the window itself.
        form.Form_Load();
        // An error in a dialog shown during loading has ended the tool already.
        return zelmar::ui::showAndRunMainLoop(form);
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, zelmar::ui::applicationTitle(),
                              QStringLiteral("Starting the tool failed: %1").arg(QString::fromUtf8(e.what())));
    }
    return 1;
}
