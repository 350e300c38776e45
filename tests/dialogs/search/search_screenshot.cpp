// Renders the search dialog headless, with a list filled from a simulated
// fleet on loopback, into a PNG for the documentation:
//   QT_QPA_PLATFORM=offscreen ZELMAR_LANG=sv search-screenshot out.png [while-filling.png]
//   ZELMAR_SCREENSHOT_FLEET=demo/fleet.json search-screenshot demo-search.png
// The second picture, if asked for, is taken while the list fills.
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeView>

#include "comm/com_sub.h"
#include "dialogs/search/form_search_tcp.h"
#include "simulator/sim_fleet.h"
#include "tests/dialogs/screenshot_app.h"

int main(int argc, char** argv) {
    zelmar::screenshot::ScreenshotApp app(argc, argv);
    const char* output = app.outputPath();
    if (!output)
        return 2;

    // ZELMAR_SCREENSHOT_FLEET names a fleet file (the demo's) instead of a generated fleet.
    const QByteArray fleetFile = qgetenv("ZELMAR_SCREENSHOT_FLEET");
    zelmar::sim::GenerateOptions options;
    options.firstAddress = "127.78.0.1";
    auto fleet = fleetFile.isEmpty() ? zelmar::sim::SimFleet::generate(14, options)
                                     : zelmar::sim::SimFleet::fromFile(fleetFile.toStdString());
    fleet.start();
    zelmar::net::ServiceConfig config = fleet.clientConfig();
    zelmar::comm::setServiceConfigForTests(config);

    int result = 0;
    {
        zelmar::dialogs::FormSearchTCP dialog;
        QSignalSpy finished(&dialog, &zelmar::dialogs::FormSearchTCP::searchFinished);
        auto* list = dialog.findChild<QTreeView*>(QStringLiteral("CtrlList"));
        if (argc > 2 && list) {
            const QString path = QString::fromLocal8Bit(argv[2]);
            QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, &dialog, [&dialog, list, path] {
                if (list->model()->rowCount() == 6)
                    QTimer::singleShot(0, &dialog, [&dialog, path] {
                        // What the screen shows: the window as last painted.
                        dialog.screen()->grabWindow(dialog.winId()).save(path, "PNG");
                    });
            });
        }
        dialog.show();
        dialog.activateWindow();
        if (!finished.wait(10000)) {
            std::fprintf(stderr, "the search did not finish\n");
            return 1;
        }
        if (list && list->model()->rowCount() > 2)
            list->setCurrentIndex(list->model()->index(2, 0));
        if (!zelmar::screenshot::savePicture(dialog, output))
            result = 1;
    }
    zelmar::comm::CloseService();
    return result;
}
