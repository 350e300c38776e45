// The site window at the size of a large site, headless:
//   1. 5,000 controllers: filling the table (the model and the view shown),
//      sorting by a column, and the process's peak memory afterwards;
//   2. 1,000 rows applied at 10 % loss from the window (Apply: the check,
//      the setups, the read-back): the longest time its event loop did not run, and
//      the apply's time beside `zelmar-netctl plan apply` with the same jobs.
// Goals: fill <= 100 ms, sort <= 50 ms, <= 96 MiB, the longest stall <= 50 ms,
// the apply no more than 1.2 times zelmar-netctl's.
//
// bench-site-window [JOBS] runs part 2 with those --jobs (default 16; "auto":
// the adaptive pace, the window's own default).
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>

#include "bench/timed_netctl.h"
#include "platform/ui/modal_seam.h"
#include "platform/ui/qt_user_dialogs.h"
#include "site/csv.h"
#include "sitewindow/site_window.h"
#include "tests/sitewindow/site_window_wait.h"

using namespace zelmar;

namespace {
// The process's peak resident memory in MiB (Linux), or -1.
double peakMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return -1;
}

std::vector<site::ControllerRecord> siteOf(int count) {
    std::vector<site::ControllerRecord> out;
    for (int i = 0; i < count; ++i) {
        site::ControllerRecord r;
        char serial[16];
        std::snprintf(serial, sizeof serial, "%02d-%05d", 10 + i / 100000, i % 100000 + 1);
        r.serialNo = serial;
        char mac[24];
        std::snprintf(mac, sizeof mac, "00-1A-4C-%02X-%02X-%02X", (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
        r.ethernetAddress = mac;
        r.name = "Controller " + std::to_string(i + 1);
        r.description = "Building " + std::to_string(i / 50 + 1) + ", floor " + std::to_string(i % 7);
        r.useDhcp = i % 4 == 0;
        r.ipAddress = "10." + std::to_string(20 + i / 65000) + "." + std::to_string((i / 250) % 256) + "." +
                      std::to_string(i % 250 + 1);
        r.subnetMask = "255.255.0.0";
        r.gateway = "10.20.0.1";
        r.dnsServer = "10.20.0.2";
        r.dnsName = "c" + std::to_string(i + 1) + ".site.example";
        r.portOsType = std::int16_t(3 + i % 3);
        r.portOsRevision = "3.1.0";
        out.push_back(r);
    }
    return out;
}

double msSince(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

bool waitIdle(sitewindow::SiteWindow& w) { return zelmar::testing::waitUntilIdle(w, 600000); }

void fillAndSort() {
    sitewindow::SiteWindow w(net::ServiceConfig{});
    w.resize(1200, 700);
    w.show();
    QApplication::processEvents();
    const auto records = siteOf(5000);
    QElapsedTimer t;
    t.start();
    w.model().setControllers(records);
    QApplication::processEvents();  // the view lays out and paints what shows
    const double fill = msSince(t);
    auto* table = w.findChild<QTableView*>(QStringLiteral("siteTable"));
    const int ip = sitemodel::SiteTableModel::plannedColumn(sitemodel::PlanField::IpAddress) - 1;
    t.restart();
    table->sortByColumn(ip, Qt::DescendingOrder);
    QApplication::processEvents();
    const double sortIp = msSince(t);
    t.restart();
    table->sortByColumn(2, Qt::AscendingOrder);  // by name, a text
    QApplication::processEvents();
    const double sortName = msSince(t);
    std::printf("%-44s | %9.1f | %s\n", "fill 5,000 rows (model and view)", fill, "<= 100");
    std::printf("%-44s | %9.1f | %s\n", "sort 5,000 rows by IP address", sortIp, "<= 50");
    std::printf("%-44s | %9.1f | %s\n", "sort 5,000 rows by name", sortName, "<= 50");
    std::printf("%-44s | %9.1f | %s\n", "peak memory, MiB", peakMiB(), "<= 96");
}

void applyAtLoss(int jobs) {
    constexpr int kRows = 1000;
    QTemporaryDir dir;
    // The window: Apply checks first, then sets up and reads back; its event loop watched.
    auto fleet = sim::SimFleet::generate(kRows);
    fleet.start(0);
    const std::string plan = bench::newNameAndAddressPlan(fleet);
    const QString path = dir.filePath(QStringLiteral("plan.csv"));
    std::ofstream(path.toStdString()) << plan;
    net::ServiceConfig config = fleet.clientConfig();
    sitewindow::SiteWindow w(config);
    w.session().setJobs(jobs == bench::kAdaptive ? std::nullopt : std::optional<int>(jobs));
    w.show();
    w.findChild<QAction*>(QStringLiteral("actionSearch"))->trigger();
    waitIdle(w);
    ui::ModalSeam::pushInput(path);
    w.findChild<QAction*>(QStringLiteral("actionOpenPlan"))->trigger();
    fleet.setLossPercent(10);
    QElapsedTimer sinceTick, total;
    double longestStall = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestStall = std::max(longestStall, msSince(sinceTick));
        sinceTick.restart();
    });
    ticker.start(5);
    sinceTick.start();
    total.start();
    w.findChild<QAction*>(QStringLiteral("actionApply"))->trigger();
    waitIdle(w);
    const double windowSeconds = msSince(total) / 1000.0;
    ticker.stop();
    int applied = 0;
    for (const auto& row : w.model().rows())
        applied += row.state == sitemodel::RowState::Applied;

    // zelmar-netctl plan apply on a fresh fleet alike, with the same jobs.
    auto again = sim::SimFleet::generate(kRows);
    again.start(0);
    const QString againPath = dir.filePath(QStringLiteral("plan-netctl.csv"));
    std::ofstream(againPath.toStdString()) << bench::newNameAndAddressPlan(again);
    again.setLossPercent(10);
    const bench::TimedCommand netctl =
        bench::runTimed({"plan", "apply", againPath.toStdString()}, bench::quietJsonOptions(again, jobs));

    std::printf("%-44s | %9.1f | %s\n", ("longest event-loop stall, apply --jobs " + bench::jobsText(jobs)).c_str(),
                longestStall, "<= 50");
    std::printf("%-44s | %9.2f | %d/%d applied\n", "window: check, apply, read back, s", windowSeconds, applied, kRows);
    std::printf("%-44s | %9.2f | exit %d\n", "zelmar-netctl plan apply, s", netctl.seconds, netctl.code);
    std::printf("%-44s | %9.2f | %s\n", "window / zelmar-netctl", windowSeconds / netctl.seconds, "<= 1.2");
}
}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::installUserDialogs();
    const std::string given = argc > 1 ? argv[1] : "16";
    const int jobs = given == "auto" ? bench::kAdaptive : std::atoi(given.c_str());
    std::printf("site window, headless\n");
    std::printf("%-44s | %9s | %s\n", "measure", "value", "goal");
    std::printf("---------------------------------------------+-----------+------------\n");
    fillAndSort();
    std::fflush(stdout);
    applyAtLoss(jobs);
    return 0;
}
