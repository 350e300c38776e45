// Renders the main dialog headless into a PNG for the documentation:
//   QT_QPA_PLATFORM=offscreen ZELMAR_LANG=sv main-screenshot out.png
// The dialog shows a controller that obtains its settings by DHCP.
#include "dialogs/main/form_tcp_settings.h"

#include <QCheckBox>
#include <QLineEdit>

#include "tests/dialogs/screenshot_app.h"

int main(int argc, char** argv) {
    zelmar::screenshot::ScreenshotApp app(argc, argv);
    const char* output = app.outputPath();
    if (!output)
        return 2;
    zelmar::dialogs::FormTCPSettings dialog;
    // Texts and state as after loading, without asking about a connected controller.
    dialog.SetLanguage();
    auto set = [&](const char* name, const char* text) {
        dialog.control<QLineEdit>(QString::fromLatin1(name))->setText(QString::fromUtf8(text));
    };
    set("CtrlCurrentName", "Boiler room 2");
    set("CtrlCurrentSerialNo", "12-00345");
    set("CtrlCurrentEthernet", "00-50-C2-1A-2B-3C");
    set("CtrlCurrentDescription", "Heating, building B");
    set("tbIP", "127.0.0.21");
    set("tbSub", "255.0.0.0");
    set("tbGateway", "127.0.0.1");
    set("tbDNS", "127.0.0.53");
    set("tbHostName", "boiler2");
    set("tbDomain", "site.example");
    set("tbMainCompIP", "127.0.0.10");
    dialog.control<QCheckBox>(QStringLiteral("rbDHCP"))->setChecked(true);
    dialog.SetUIState();
    dialog.show();
    return zelmar::screenshot::savePicture(dialog, output) ? 0 : 1;
}
