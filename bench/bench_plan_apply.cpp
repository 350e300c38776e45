// `zelmar-netctl plan apply` over 1,000 simulated controllers on loopback:
// every controller gets a new name and a new fixed address, without loss and
// with 10 % loss in each direction. Times are of whole commands (the search,
// the plan check with each controller's network check, the setups and the
// read-back of every controller); the re-run finds nothing left to do. Each
// loss rate runs with --jobs 1 (one controller at a time), 4, 16 and without
// --jobs (auto: the adaptive pace, the default). Then 200 controllers on a
// link whose answers are 200 ms late, at 10 % loss: --jobs 4 and auto.
//
// bench-plan [LOSS [JOBS...]] runs one loss rate (and those jobs only; "auto"
// for the adaptive pace); bench-plan delay [JOBS...] only the late link.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/timed_netctl.h"
#include "simulator/sim_fleet.h"
#include "site/csv.h"
#include "tools/netctl/netctl_commands.h"

using namespace zelmar;

namespace {
constexpr int kControllers = 1000;
constexpr int kLateControllers = 200;  // on the late link, where one at a time takes long
constexpr int kLateMs = 200;
constexpr double kLateLoss = 10;
constexpr double kHeavyLoss = 60;
constexpr int kHeavyControllers = 50;
constexpr int kHeavyAttempts = 4;

bool writeFile(const QString& path, const std::string& text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text.data(), qint64(text.size())) == qint64(text.size());
}

struct Timed {
    double seconds;
    int code;
    QJsonObject outcomes;
};
Timed runPlan(const sim::SimFleet& fleet, const std::string& command, const std::string& file, int jobs) {
    const bench::TimedCommand run = bench::runTimed({"plan", command, file}, bench::quietJsonOptions(fleet, jobs));
    const QJsonObject outcomes = QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).object();
    // Rows that did not end applied or skipped, for the reader of the table (on standard error).
    for (const auto row : outcomes["rows"].toArray()) {
        const QJsonObject o = row.toObject();
        if (o["outcome"] != "applied" && o["outcome"] != "skipped")
            std::fprintf(stderr, "  row %d %s: %s %s %s\n", o["row"].toInt(), qPrintable(o["SerialNo"].toString()),
                         qPrintable(o["outcome"].toString()), qPrintable(o["field"].toString()),
                         qPrintable(o["detail"].toString()));
    }
    return {run.seconds, run.code, outcomes};
}

void printHeader() {
    std::printf("%6s | %4s | %-22s | %8s | %8s | %7s | %7s | %7s | %9s | %10s | %4s\n", "loss %", "jobs", "command",
                "seconds", "ms/row", "applied", "skipped", "refused", "no answer", "unverified", "exit");
    std::printf("-------+------+------------------------+----------+----------+---------+---------+---------+-----------+------------+-----\n");
}

void printRow(double loss, int jobs, const char* what, const Timed& r, int controllers) {
    const QJsonObject n = r.outcomes["counts"].toObject();
    std::printf("%6.0f | %4s | %-22s | %8.2f | %8.1f | %7d | %7d | %7d | %9d | %10d | %4d\n", loss,
                bench::jobsText(jobs).c_str(), what, r.seconds, 1000.0 * r.seconds / controllers, n["applied"].toInt(),
                n["skipped"].toInt(), n["refused"].toInt(), n["no answer"].toInt(), n["unverified"].toInt(), r.code);
}

// plan check, plan apply and its re-run over a fresh fleet of `controllers`.
bool planRows(const QTemporaryDir& dir, int controllers, double loss, int delayMs, int jobs) {
    auto fleet = sim::SimFleet::generate(controllers);
    fleet.start(0);
    const QString path = QDir(dir.path()).filePath(QString("plan-%1-%2-%3.csv").arg(loss).arg(delayMs).arg(jobs));
    if (!writeFile(path, bench::newNameAndAddressPlan(fleet)))
        return false;
    fleet.setLossPercent(loss);
    if (delayMs > 0)
        fleet.setDelayMs(delayMs, delayMs);
    const Timed check = runPlan(fleet, "check", path.toStdString(), jobs);
    std::printf("%6.0f | %4s | %-22s | %8.2f | %8.1f | %7s | %7s | %7s | %9s | %10s | %4d\n", loss,
                bench::jobsText(jobs).c_str(), "plan check", check.seconds, 1000.0 * check.seconds / controllers, "", "",
                "", "", "", check.code);
    printRow(loss, jobs, "plan apply", runPlan(fleet, "apply", path.toStdString(), jobs), controllers);
    printRow(loss, jobs, "plan apply (re-run)", runPlan(fleet, "apply", path.toStdString(), jobs), controllers);
    std::fflush(stdout);
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    std::vector<double> losses = {0.0, 10.0};
    std::vector<int> jobsList = {1, 4, 16, bench::kAdaptive};
    const bench::RowChoice choice = bench::chooseRows(argc, argv, losses, jobsList);
    if (!choice.delayOnly) {
        std::printf("plan apply, %d controllers, every one a new name and a new fixed address\n", kControllers);
        printHeader();
        for (double loss : losses)
            for (int jobs : jobsList)
                if (!planRows(dir, kControllers, loss, 0, jobs))
                    return 1;
    }
    if (choice.delayToo) {
        std::printf("\nplan apply, %d controllers, every answer %d ms late\n", kLateControllers, kLateMs);
        printHeader();
        for (int jobs : argc > 2 ? jobsList : std::vector<int>{4, bench::kAdaptive})
            if (!planRows(dir, kLateControllers, kLateLoss, kLateMs, jobs))
                return 1;
    }
    if (choice.delayOnly)
        return 0;
    // Serial numbers the site does not have: told after the command's searches,
    // not waited for one by one.
    std::printf("\nplan check, 200 rows whose serial numbers no controller of a site of 200 has\n");
    std::printf("%6s | %4s | %8s | %9s | %4s\n", "loss %", "jobs", "seconds", "not found", "exit");
    std::printf("-------+------+----------+-----------+-----\n");
    for (double loss : losses) {
        auto fleet = sim::SimFleet::generate(200);
        fleet.start(0);
        fleet.setLossPercent(loss);
        std::string plan = site::csv::line({"SerialNo", "Name"});
        for (int i = 1; i <= 200; ++i)
            plan += site::csv::line({"90-" + std::to_string(10000 + i), "Unknown " + std::to_string(i)});
        const QString path = QDir(dir.path()).filePath("unknown.csv");
        if (!writeFile(path, plan))
            return 1;
        const bench::TimedCommand run = bench::runTimed({"plan", "check", path.toStdString()},
                                                        bench::quietJsonOptions(fleet, bench::kAdaptive));
        const auto problems = QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).object()["problems"].toArray();
        std::printf("%6.0f | %4s | %8.2f | %9d | %4d\n", loss, bench::jobsText(bench::kAdaptive).c_str(), run.seconds,
                    int(problems.size()), run.code);
    }
    // A heavy loss: the searches miss controllers that a lookup of each still finds.
    std::printf("\nplan check at %.0f %% loss, %d controllers, %d attempts with the default configuration\n",
                kHeavyLoss, kHeavyControllers, kHeavyAttempts);
    std::printf("%7s | %8s | %9s | %4s\n", "attempt", "seconds", "not found", "exit");
    std::printf("--------+----------+-----------+-----\n");
    auto fleet = sim::SimFleet::generate(kHeavyControllers);
    fleet.start(0);
    const QString path = QDir(dir.path()).filePath("heavy.csv");
    if (!writeFile(path, bench::newNameAndAddressPlan(fleet)))
        return 1;
    fleet.setLossPercent(kHeavyLoss);
    int passed = 0;
    for (int attempt = 1; attempt <= kHeavyAttempts; ++attempt) {
        const bench::TimedCommand run = bench::runTimed({"plan", "check", path.toStdString()},
                                                        bench::quietJsonOptions(fleet, bench::kAdaptive));
        int notFound = 0;
        for (const auto p : QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).object()["problems"].toArray())
            notFound += p.toObject()["column"] == "SerialNo";
        passed += run.code == 0;
        std::printf("%7d | %8.2f | %9d | %4d\n", attempt, run.seconds, notFound, run.code);
    }
    std::printf("passed %d of %d\n", passed, kHeavyAttempts);
    return 0;
}
