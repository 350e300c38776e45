// `zelmar-netctl upgrade --all` over 100 simulated controllers on loopback: a
// 1 MiB image each, every controller silent for 3 s after its switch, every
// answer 10-20 ms late, without loss and with 10 % loss in each direction.
// One row per --jobs (auto: none given, the adaptive pace): the whole
// command's time (search, transfers, restarts, verification), the image bytes
// delivered per second over that time, and how many controllers reported the
// new revision after their restart. Then 25 controllers on a link whose
// answers are 200 ms late, at 10 % loss: --jobs 4 and auto.
//
// bench-fleet-upgrade [LOSS [JOBS...]] runs one loss rate (and those jobs only;
// "auto" for the adaptive pace); bench-fleet-upgrade delay [JOBS...] only the late link.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "platform/netservice/upgrade/upgrade_file.h"
#include "simulator/fleet_file.h"
#include "bench/timed_netctl.h"
#include "simulator/sim_fleet.h"
#include "tools/netctl/netctl_commands.h"

using namespace zelmar;

namespace {
constexpr int kControllers = 100;
constexpr int kLateControllers = 25;  // on the late link, where four at a time take long
constexpr int kLateMs = 200;
constexpr double kLateLoss = 10;
constexpr std::size_t kImageBytes = 1u << 20;
constexpr int kRestartMs = 3000;

std::string writeUpgradeFile(const QTemporaryDir& dir) {
    std::mt19937 rng(3);
    std::vector<std::uint8_t> image(kImageBytes);
    for (auto& b : image)
        b = std::uint8_t(rng());
    const auto bytes = net::UpgradeFile::Build(3, "3.2.0", image);
    const QString path = QDir(dir.path()).filePath("3.TcpIpPortOS");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) ||
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size()))
        std::exit(1);
    return path.toStdString();
}

struct Row {
    double seconds = 0;
    int upgraded = 0;
    int others = 0;
    int code = 0;
};

Row upgradeFleet(int controllers, double loss, int delayMs, int jobs, const std::string& file) {
    sim::FleetData data = sim::generateFleet(controllers);
    for (auto& c : data.controllers) {
        c.portOsType = 3;
        c.portOsRevision = "3.1.0";
    }
    sim::SimFleet fleet(std::move(data));
    fleet.setRestartMs(kRestartMs);
    if (delayMs > 0)
        fleet.setDelayMs(delayMs, delayMs);
    else
        fleet.setDelayMs(10, 20);
    fleet.start(0);
    fleet.setLossPercent(loss);

    netctl::Options o = bench::quietJsonOptions(fleet, jobs);
    o.all = true;
    const bench::TimedCommand run = bench::runTimed({"upgrade", file}, o);
    Row row;
    row.code = run.code;
    row.seconds = run.seconds;
    for (const QByteArray& line : QByteArray::fromStdString(run.out).split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject c = QJsonDocument::fromJson(line).object();
        if (c["outcome"] == "upgraded") {
            ++row.upgraded;
        } else {
            ++row.others;
            std::fprintf(stderr, "  %s: %s %s\n", qPrintable(c["SerialNo"].toString()),
                         qPrintable(c["outcome"].toString()), qPrintable(c["detail"].toString()));
        }
    }
    if (row.upgraded + row.others != controllers)
        std::fprintf(stderr, "  %d of %d controllers in the table: %s", row.upgraded + row.others, controllers,
                     run.err.c_str());
    return row;
}

void printHeader() {
    std::printf("%6s | %4s | %9s | %13s | %13s | %8s | %4s\n", "loss %", "jobs", "seconds", "MB/s (images)",
                "s a controller", "verified", "exit");
    std::printf("-------+------+-----------+---------------+----------------+----------+-----\n");
}

void printRow(int controllers, double loss, int jobs, const Row& r) {
    const double megabytes = double(r.upgraded) * double(kImageBytes) / 1e6;
    std::printf("%6.0f | %4s | %9.1f | %13.1f | %14.2f | %4d/%-3d | %4d\n", loss, bench::jobsText(jobs).c_str(),
                r.seconds, megabytes / r.seconds, r.seconds / controllers, r.upgraded, controllers, r.code);
    std::fflush(stdout);
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const std::string file = writeUpgradeFile(dir);
    std::vector<double> losses = {0.0, 10.0};
    std::vector<int> jobs = {1, 4, 16, 32, bench::kAdaptive};
    const bench::RowChoice choice = bench::chooseRows(argc, argv, losses, jobs);
    if (!choice.delayOnly) {
        std::printf("upgrade --all, %d controllers, %zu MiB image each, restart %d ms, answers 10-20 ms late\n",
                    kControllers, kImageBytes >> 20, kRestartMs);
        printHeader();
        for (double loss : losses)
            for (int j : jobs)
                printRow(kControllers, loss, j, upgradeFleet(kControllers, loss, 0, j, file));
    }
    if (choice.delayToo) {
        std::printf("\nupgrade --all, %d controllers, %zu MiB image each, restart %d ms, answers %d ms late\n",
                    kLateControllers, kImageBytes >> 20, kRestartMs, kLateMs);
        printHeader();
        for (int j : argc > 2 ? jobs : std::vector<int>{4, bench::kAdaptive})
            printRow(kLateControllers, kLateLoss, j, upgradeFleet(kLateControllers, kLateLoss, kLateMs, j, file));
    }
    return 0;
}
