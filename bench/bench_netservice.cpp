// bench-netservice: full search and serial-number lookups against simulated
// fleets of 1, 100, 1,000 and 5,000 controllers over UDP on loopback.
// Prints one table; `bench-netservice 1 100` runs only those sizes.
#include <QCommandLineParser>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/netservice/net_service.h"
#include "platform/netservice/service_core.h"
#include "simulator/sim_fleet.h"
#include "platform/cli/cli_support.h"

using namespace zelmar;
using Clock = std::chrono::steady_clock;

void printUpgradeRows();  // bench_upgrade_rows.cpp
void printEncryptionRows();  // bench_encryption_rows.cpp

namespace {
double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Latency {
    double median = 0;
    double worst = 0;
    int misses = 0;
};

std::string serialOf(int i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d-%05d", 10 + i / 99999, i % 99999 + 1);
    return buf;
}

// 100 lookups of random serial numbers; `fresh` makes a new service object for
// each (no entries, so the lookup asks every search target).
Latency lookups(const sim::SimFleet& fleet, int count, bool fresh, net::NetService* warm) {
    std::mt19937 rng(42);
    std::vector<double> times;
    Latency l;
    for (int k = 0; k < 100; ++k) {
        const std::string serial = serialOf(int(rng() % unsigned(count)));
        std::unique_ptr<net::NetService> own;
        net::NetService* service = warm;
        if (fresh) {
            own = std::make_unique<net::NetService>(fleet.clientConfig());
            service = own.get();
        }
        const auto before = service->ControllerCount();
        const auto t0 = Clock::now();
        service->Clear();
        service->setSearchSerialNo(serial);
        service->AddSerialNoSearch();
        service->Search();
        times.push_back(ms(Clock::now() - t0));
        bool found = false;
        for (int i = 0; i < service->ControllerCount() && !found; ++i)
            found = service->Item(std::int16_t(i))->SerialNo() == serial;
        if (!found || (!fresh && service->ControllerCount() != before))
            ++l.misses;
    }
    std::sort(times.begin(), times.end());
    l.median = (times[49] + times[50]) / 2;
    l.worst = times.back();
    return l;
}

const char* const kUsage =
    "usage: bench-netservice [CONTROLLERS...]\n"
    "Full searches and serial-number lookups against simulated fleets over UDP on loopback,\n"
    "then searches of 1,000 controllers under loss and delay, port OS transfers and the\n"
    "encrypted protocol; prints tables.\n"
    "  CONTROLLERS   fleet sizes of the first table, 1 to 60000 (default: 1 100 1000 5000)\n"
    "  -h, --help    this text\n";

// The fleet sizes asked for; throws cli::UsageError for anything but sizes.
std::vector<int> fleetSizes(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.addOption(QCommandLineOption({"h", "help"}, "help"));
    cli::parseOrThrow(parser, arguments);
    if (parser.isSet("help"))
        return {};
    std::vector<int> sizes;
    for (const QString& size : parser.positionalArguments()) {
        bool ok = false;
        const int n = size.toInt(&ok);
        if (!ok || n < 1 || n > 60000 || size != QString::number(n))
            throw cli::UsageError("a fleet size is a whole number from 1 to 60000, not \"" + size.toStdString() + "\"");
        sizes.push_back(n);
    }
    if (sizes.empty())
        sizes = {1, 100, 1000, 5000};
    return sizes;
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    try {
        sizes = fleetSizes(argc, argv);
    } catch (const cli::UsageError& e) {
        std::fprintf(stderr, "bench-netservice: %s\n%s", e.what(), kUsage);
        return cli::kUsageError;
    }
    if (sizes.empty()) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const net::ServiceConfig defaults;
    std::printf("bench-netservice: UDP on loopback, simulator in-process; spread %d ms, retransmit %d ms, "
                "at most %d search rounds, first-answer wait %d ms\n\n",
                defaults.answerSpreadMs, defaults.retransmitMs, defaults.maxSearchRounds, defaults.firstAnswerWaitMs);
    std::printf("%11s | %9s | %10s | %12s | %14s | %12s | %16s | %16s\n", "controllers", "found", "search ms",
                "last new ms", "end-last ms", "rounds", "lookup warm ms", "lookup cold ms");
    std::printf("%11s | %9s | %10s | %12s | %14s | %12s | %16s | %16s\n", "", "", "", "", "(tail)", "",
                "median / worst", "median / worst");
    std::printf("------------+-----------+------------+--------------+----------------+--------------+------------------+-----------------\n");
    for (int n : sizes) {
        auto fleet = sim::SimFleet::generate(n);
        fleet.start(0);
        net::NetService service(fleet.clientConfig());
        service.Clear();
        service.Search();
        const auto& st = service.core().stats();
        const double searchMs = st.lastSearchMs, lastNew = st.lastNewAnswerMs;
        const auto rounds = st.searchRounds;
        const int found = service.ControllerCount();
        const Latency warm = lookups(fleet, n, false, &service);
        const Latency cold = lookups(fleet, n, true, nullptr);
        char foundText[32], warmText[48], coldText[48];
        std::snprintf(foundText, sizeof foundText, "%d%s", found, found == n ? "" : " LOST");
        std::snprintf(warmText, sizeof warmText, "%.2f / %.2f%s", warm.median, warm.worst, warm.misses ? " MISS" : "");
        std::snprintf(coldText, sizeof coldText, "%.2f / %.2f%s", cold.median, cold.worst, cold.misses ? " MISS" : "");
        std::printf("%11d | %9s | %10.1f | %12.1f | %14.1f | %12llu | %16s | %16s\n", n, foundText, searchMs, lastNew,
                    searchMs - lastNew, static_cast<unsigned long long>(rounds), warmText, coldText);
        std::fflush(stdout);
        fleet.stop();
    }
    // Full searches of 1,000 controllers: under 10 % loss each way, and with every answer
    // delayed as over a slow link; the default configuration, five searches each.
    std::printf("\n%11s | %9s | %10s | %18s | %9s | %21s\n", "controllers", "loss %", "delay ms", "search ms",
                "rounds", "found");
    std::printf("%11s | %9s | %10s | %18s | %9s | %21s\n", "", "", "", "mean / worst", "mean", "");
    std::printf("------------+-----------+------------+--------------------+-----------+----------------------\n");
    struct Link {
        double loss;
        int delayMin, delayMax;
    };
    for (const Link link : {Link{10, 0, 0}, Link{0, 400, 450}, Link{10, 400, 450}}) {
        auto fleet = sim::SimFleet::generate(1000);
        fleet.setLossPercent(link.loss);
        fleet.setDelayMs(link.delayMin, link.delayMax);
        fleet.start(0);
        int fewest = 1000;
        double total = 0, worst = 0, rounds = 0;
        for (int run = 0; run < 5; ++run) {
            net::NetService service(fleet.clientConfig());
            service.Search();
            const auto& st = service.core().stats();
            fewest = std::min(fewest, int(service.ControllerCount()));
            total += st.lastSearchMs;
            worst = std::max(worst, st.lastSearchMs);
            rounds += double(st.searchRounds);
        }
        char delay[24], times[40];
        std::snprintf(delay, sizeof delay, link.delayMax ? "%d-%d" : "0", link.delayMin, link.delayMax);
        std::snprintf(times, sizeof times, "%.1f / %.1f", total / 5, worst);
        std::printf("%11d | %9.0f | %10s | %18s | %9.1f | %5d (fewest of 5)\n", 1000, link.loss, delay, times,
                    rounds / 5, fewest);
        std::fflush(stdout);
        fleet.stop();
    }
    std::printf("\nwarm: lookup in the service object after the full search (asks where the controller last answered);\n"
                "cold: a fresh service object per lookup (asks every search target).\n");
    printUpgradeRows();
    printEncryptionRows();
    return 0;
}
