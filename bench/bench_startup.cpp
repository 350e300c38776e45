// bench-startup: the tool's start-up as a technician meets it, for simulated
// fleets of 25, 1,000 and 5,000 controllers: the main dialog is created and
// loaded as the tool starts, "No" answers the start-up question, the search
// dialog opens and lists every controller, Cancel closes it, and the main
// window shows. Printed: the times from the start of the process to each of
// those points, and the process's peak memory (resident set high-water mark)
// with that many controllers listed.
//
// Each fleet size runs in a process of its own (this program started again
// with --child N), so that the peak memory is that of one start-up; the
// simulator runs as its own process (zelmar-controller-sim next to this
// program), so its memory is not counted. `bench-startup 5000` runs one size.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QAbstractItemView>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "comm/com_sub.h"
#include "dialogs/main/form_tcp_settings.h"
#include "dialogs/search/form_search_tcp.h"
#include "platform/ui/modal_seam.h"
#include "platform/ui/qt_user_dialogs.h"

// ---------------------------------------------------------------- platform: peak memory
#if defined(__linux__)
#include <fstream>
#elif defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#endif

namespace {

// The process's peak resident memory in KiB, or -1 where it is not known.
long long peakResidentKiB() {
#if defined(__linux__)
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atoll(line.c_str() + 6);
    return -1;
#elif defined(_WIN32)
    PROCESS_MEMORY_COUNTERS counters{};
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return static_cast<long long>(counters.PeakWorkingSetSize / 1024);
    return -1;
#else
    return -1;
#endif
}

}  // namespace
// ---------------------------------------------------------------- end of platform part

namespace {

using namespace zelmar;

struct StartupResult {
    int controllers = 0;
    int rows = 0;
    double appMs = 0;       // process start to QApplication created
    // From the creation of the main dialog (the tool's own start-up):
    double dialogMs = 0;    // the search dialog is the active modal window
    double listedMs = 0;    // its list holds every controller, the search is over
    double mainMs = 0;      // Cancel pressed, the main window is shown
    long long peakKiB = -1;
};

QString simulatorPath() {
#ifdef _WIN32
    return QCoreApplication::applicationDirPath() + QStringLiteral("/zelmar-controller-sim.exe");
#else
    return QCoreApplication::applicationDirPath() + QStringLiteral("/zelmar-controller-sim");
#endif
}

// One start-up against a simulator process with `count` controllers.
int runChild(int argc, char** argv, int count, const QElapsedTimer& sinceStart) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zelmar::ui::installUserDialogs();
    StartupResult r;
    r.controllers = count;
    r.appMs = sinceStart.nsecsElapsed() / 1e6;

    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/zelmar-bench-startup-XXXXXX"));
    const QString config = work.filePath(QStringLiteral("client.json"));
    QProcess sim;
    sim.start(simulatorPath(), {QStringLiteral("--generate"), QString::number(count), QStringLiteral("--connected"),
                                QStringLiteral("0"), QStringLiteral("--port"), QStringLiteral("0"),
                                QStringLiteral("--client-config"), config});
    QByteArray ready;
    QElapsedTimer wait;
    wait.start();
    while (!ready.contains('\n') && wait.elapsed() < 60000 && sim.state() != QProcess::NotRunning) {
        sim.waitForReadyRead(200);
        ready += sim.readAllStandardOutput();
    }
    if (!ready.startsWith("ready ")) {
        std::fprintf(stderr, "the simulator did not start: %s\n", sim.readAllStandardError().constData());
        return 1;
    }
    qputenv("ZELMAR_NETSERVICE_CONFIG", config.toLocal8Bit());

    // The start-up question is answered through the modal seam; the search
    // dialog is a real modal window, worked from a timer in its event loop.
    ui::ModalSeam::pushButton(ui::ButtonNo);
    QElapsedTimer clock;  // from the creation of the main dialog
    auto* poll = new QTimer(&app);
    poll->setInterval(0);
    bool dialogSeen = false;
    QObject::connect(poll, &QTimer::timeout, poll, [&] {
        auto* search = qobject_cast<dialogs::FormSearchTCP*>(QApplication::activeModalWidget());
        if (!search)
            return;
        if (!dialogSeen) {
            dialogSeen = true;
            r.dialogMs = clock.nsecsElapsed() / 1e6;
        }
        auto* list = search->findChild<QAbstractItemView*>(QStringLiteral("CtrlList"));
        if (search->isBusy() || list->model()->rowCount() < count) {
            if (clock.elapsed() < 120000)
                return;  // not yet: look again at the next turn of the event loop
        }
        poll->stop();
        r.rows = list->model()->rowCount();
        r.listedMs = clock.nsecsElapsed() / 1e6;
        search->findChild<QPushButton*>(QStringLiteral("ButtonCancel"))->click();
    });
    poll->start();

    {
        clock.start();
        dialogs::FormTCPSettings form;
        form.Form_Load();
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            std::fprintf(stderr, "the main window was not exposed\n");
        r.mainMs = clock.nsecsElapsed() / 1e6;
        r.peakKiB = peakResidentKiB();
        form.close();
    }
    comm::CloseService();
    sim.terminate();
    if (!sim.waitForFinished(5000))
        sim.kill();
    std::printf("result %d %d %.1f %.1f %.1f %.1f %lld\n", r.controllers, r.rows, r.appMs, r.dialogMs, r.listedMs,
                r.mainMs, r.peakKiB);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (argc == 3 && std::string(argv[1]) == "--child")
        return runChild(argc, argv, std::atoi(argv[2]), sinceStart);

    std::vector<int> sizes = {25, 1000, 5000};
    if (argc > 1) {
        sizes.clear();
        for (int i = 1; i < argc; ++i)
            sizes.push_back(std::atoi(argv[i]));
    }
    QCoreApplication app(argc, argv);  // for QProcess and the program's own path

    std::printf("bench-startup: start-up to the main window, answering No and cancelling the search once every\n"
                "controller is listed; one process per size; 'app' is process start to QApplication, the other\n"
                "times run from the creation of the main dialog\n\n");
    std::printf("%11s | %6s | %9s | %13s | %13s | %14s | %12s\n", "controllers", "rows", "app ms", "search dlg ms",
                "all listed ms", "main window ms", "peak MiB");
    std::printf("------------+--------+-----------+---------------+---------------+----------------+-------------\n");
    int failures = 0;
    for (int n : sizes) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), QString::number(n)});
        if (!child.waitForFinished(180000)) {
            child.kill();
            child.waitForFinished(3000);
        }
        const QList<QByteArray> lines = child.readAllStandardOutput().split('\n');
        StartupResult r;
        bool found = false;
        for (const QByteArray& line : lines) {
            if (std::sscanf(line.constData(), "result %d %d %lf %lf %lf %lf %lld", &r.controllers, &r.rows, &r.appMs,
                            &r.dialogMs, &r.listedMs, &r.mainMs, &r.peakKiB) == 7)
                found = true;
        }
        if (!found) {
            std::printf("%11d | failed (exit code %d)\n", n, child.exitCode());
            ++failures;
            continue;
        }
        std::printf("%11d | %6d | %9.1f | %13.1f | %13.1f | %14.1f | %12s\n", r.controllers, r.rows, r.appMs,
                    r.dialogMs, r.listedMs, r.mainMs,
                    r.peakKiB < 0 ? "n/a" : QByteArray::number(r.peakKiB / 1024.0, 'f', 1).constData());
    }
    std::printf("\nQt platform: %s; peak MiB: the process's resident high-water mark (VmHWM) with the list full\n",
                qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ? "offscreen" : qgetenv("QT_QPA_PLATFORM").constData());
    return failures == 0 ? 0 : 1;
}
