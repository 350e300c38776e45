// The Zelmar TCP/IP Settings Tool: creates the main settings dialog, runs its
// load handler (which may already ask about the connected controller) and
// shows it. Closing the dialog ends the tool. No command line is read.
#include <QApplication>
#include <QIcon>

#include "dialogs/main/form_tcp_settings.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zelmar-tcpip-settings"));
    QApplication::setApplicationDisplayName(QStringLiteral("Zelmar TCP/IP Settings Tool"));
    QApplication::setOrganizationName(QStringLiteral("Zelmar"));

    zelmar::dialogs::FormTCPSettings form;
    QApplication::setWindowIcon(form.windowIcon());
    // An error leaving Form_Load has been shown and has ended the tool by now.
    form.Form_Load();
    form.show();
    return app.exec();
}
