// Renders the security dialog headless into a PNG for the documentation:
//   QT_QPA_PLATFORM=offscreen ZELMAR_LANG=sv security-screenshot out.png
// The dialog shows the state of a controller whose password was accepted.
#include "comm/shared_state.h"
#include "dialogs/security/form_security.h"

#include "tests/dialogs/screenshot_app.h"

int main(int argc, char** argv) {
    zelmar::screenshot::ScreenshotApp app(argc, argv);
    const char* output = app.outputPath();
    if (!output)
        return 2;
    zelmar::comm::state().CurrentController.RequireEncryption = zelmar::vbTrue;
    zelmar::comm::state().CurrentController.PasswordOk = zelmar::vbTrue;
    zelmar::comm::state().NetworkPassword = QStringLiteral("Secret-42");

    zelmar::dialogs::FormSecurity dialog;
    dialog.show();
    return zelmar::screenshot::savePicture(dialog, output) ? 0 : 1;
}
