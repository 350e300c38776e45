#pragma once
// What the documentation's screenshot programs share: a headless application
// with the tool's message boxes and title, the output path from the command
// line, and a dialog's picture saved as PNG.
#include <QApplication>
#include <QPixmap>
#include <QWidget>
#include <cstdio>

#include "platform/ui/qt_user_dialogs.h"
#include "platform/ui/window_helpers.h"

namespace zelmar::screenshot {

// Runs before the application object exists: the platform is chosen then.
struct OffscreenByDefault {
    OffscreenByDefault() {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
};

class ScreenshotApp : private OffscreenByDefault, public QApplication {
public:
    ScreenshotApp(int& argc, char** argv) : QApplication(argc, argv), argc_(argc), argv_(argv) {
        ui::installUserDialogs();
        ui::setApplicationTitle(QStringLiteral("Zelmar TCP/IP Settings Tool"));
    }

    // The first argument; without one, the usage line is printed and this is null.
    const char* outputPath() const {
        if (argc_ < 2) {
            std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv_[0]);
            return nullptr;
        }
        return argv_[1];
    }

private:
    int argc_;
    char** argv_;
};

// The widget as it draws itself, as PNG at `path`; says so on stderr where that fails.
inline bool savePicture(QWidget& widget, const char* path) {
    QApplication::processEvents();
    const QPixmap shot = widget.grab();
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(path), "PNG")) {
        std::fprintf(stderr, "could not write %s\n", path);
        return false;
    }
    return true;
}

}  // namespace zelmar::screenshot
