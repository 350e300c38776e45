// zelmar-site: the site window, the whole site in one table, searched as it
// opens. Reads its service configuration as every program does (ZELMAR_NETSERVICE_CONFIG, the
// technician's own, the installed one); keeps its window size and column
// widths in the user's configuration folder, and nothing else.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <exception>

#include "platform/netservice/config/service_config.h"
#include "platform/qorglib/folders.h"
#include "platform/qorglib/language.h"
#include "platform/qorglib/qorglib.h"
#include "platform/ui/handler_guard.h"
#include "platform/ui/qt_translations.h"
#include "platform/ui/qt_user_dialogs.h"
#include "platform/ui/window_helpers.h"
#include "sitemodel/site_texts.h"
#include "sitewindow/site_window.h"
#include "support/support.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    zelmar::ui::installUserDialogs();
    QApplication::setApplicationName(QStringLiteral("zelmar-site"));
    QApplication::setOrganizationName(QStringLiteral("Zelmar"));
    try {
        std::int32_t out1 = 0, out2 = 0;
        InitApplication(zelmar::support::toAnsi(QStringLiteral("Zelmar TCP/IP Site Commissioning")).constData(), 0, &out1,
                        0, &out2);
        zelmar::ui::setApplicationTitle(zelmar::sitemodel::text(zelmar::sitemodel::TextWindowTitle));
        zelmar::ui::loadQtTranslations(zelmar::qorg::currentLanguage());
        zelmar::sitewindow::SiteWindow window(zelmar::net::ServiceConfig::fromEnvironment());
        QApplication::setWindowIcon(window.windowIcon());
        if (const QString folder = zelmar::qorg::userConfigFolder(); !folder.isEmpty())
            window.setSettingsFile(QDir(folder).filePath(QStringLiteral("zelmar/site-window.ini")));
        window.restoreLayout();
        // The site is searched as the window opens: what a technician opens it for.
        QTimer::singleShot(0, &window, [&window] {
            if (QAction* search = window.findChild<QAction*>(QStringLiteral("actionSearch")))
                search->trigger();
        });
        return zelmar::ui::showAndRunMainLoop(window);
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("zelmar-site"),
                              QStringLiteral("Starting the site window failed: %1").arg(QString::fromUtf8(e.what())));
    }
    return 1;
}
