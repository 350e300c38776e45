// Renders the security dialog headless into a PNG for the documentation:
//   QT_QPA_PLATFORM=offscreen ZELMAR_LANG=sv security-screenshot out.png
// The dialog shows the state of a controller whose password was accepted.
#include "comm/shared_state.h"
#include "dialogs/security/form_security.h"

#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "platform/ui/qt_user_dialogs.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zelmar::ui::installUserDialogs();
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    zelmar::comm::state().CurrentController.PasswordOk = zelmar::vbTrue;
    zelmar::comm::state().NetworkPassword = QStringLiteral("Secret-42");

    zelmar::dialogs::FormSecurity dialog;
    dialog.show();
    QApplication::processEvents();
    const QPixmap shot = dialog.grab();
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
