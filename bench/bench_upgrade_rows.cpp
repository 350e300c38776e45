// The port OS upgrade rows of bench-netservice: a 4 MiB image sent to one
// simulated controller over UDP on loopback, without loss and with loss in
// both directions (protocol 5.11). Transfer time is from the start request to
// the commit reply, the controller's check of the whole image included.
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/netservice/net_service.h"
#include "platform/netservice/service_core.h"
#include "platform/netservice/upgrade/upgrade_file.h"
#include "simulator/sim_fleet.h"

using namespace zelmar;

void printUpgradeRows() {
    constexpr std::size_t kImage = 4u << 20;
    constexpr int kRuns = 5;
    std::mt19937 rng(4);
    std::vector<std::uint8_t> image(kImage);
    for (auto& b : image)
        b = std::uint8_t(rng());

    std::printf("\nport OS upgrade, %zu MiB image, %d runs each (block 1280 bytes, window 64)\n", kImage >> 20, kRuns);
    std::printf("%9s | %8s | %16s | %16s | %14s | %12s\n", "loss %", "sealed", "transfer ms", "MB/s", "blocks sent",
                "resent");
    std::printf("%9s | %8s | %16s | %16s | %14s | %12s\n", "", "", "median / worst", "median / worst", "per run",
                "per run");
    std::printf("----------+----------+------------------+------------------+----------------+-------------\n");
    const struct {
        double loss;
        bool sealed;
    } rows[] = {{0, false}, {5, false}, {10, false}, {0, true}, {5, true}};
    for (const auto& row : rows) {
        const double loss = row.loss;
        const char* sealedText = row.sealed ? "yes" : "no";
        auto data = sim::generateFleet(1);
        if (row.sealed) {
            // A controller that requires encryption: every block travels sealed.
            data.controllers[0].capabilities = 8;
            data.controllers[0].requireEncryption = true;
            data.controllers[0].encryptionPassword = "bench password";
        }
        sim::SimFleet fleet(std::move(data));
        fleet.setRestartMs(0);  // back at once, so the runs follow each other
        fleet.start(0);
        net::NetService service(fleet.clientConfig());
        if (row.sealed)
            service.setPassword("bench password");
        service.Search();
        if (service.ControllerCount() != 1) {
            std::printf("%9.0f | %8s | controller not found\n", loss, sealedText);
            continue;
        }
        const auto type = service.Item(0)->PortOsType();
        fleet.setLossPercent(loss);
        std::vector<double> times;
        std::uint64_t sent = 0, resent = 0;
        int failures = 0;
        for (int run = 0; run < kRuns; ++run) {
            const auto bytes = net::UpgradeFile::Build(type, "bench-" + std::to_string(run), image);
            net::UpgradeFile file;
            file.LoadBytes(bytes.data(), bytes.size());
            const auto before = service.core().stats();
            if (!service.Item(0)->UpgradePortOs(file)) {
                ++failures;
                continue;
            }
            const auto& after = service.core().stats();
            times.push_back(after.lastUpgradeMs);
            sent += after.upgradeBlocksSent - before.upgradeBlocksSent;
            resent += after.upgradeBlocksResent - before.upgradeBlocksResent;
        }
        fleet.stop();
        if (times.empty()) {
            std::printf("%9.0f | %8s | every run failed\n", loss, sealedText);
            continue;
        }
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2], worst = times.back();
        const double mb = double(kImage) / 1e6;
        char t[48], r[48];
        std::snprintf(t, sizeof t, "%.1f / %.1f", median, worst);
        std::snprintf(r, sizeof r, "%.1f / %.1f%s", mb / (median / 1000), mb / (worst / 1000),
                      failures ? " FAILED" : "");
        std::printf("%9.0f | %8s | %16s | %16s | %14llu | %12llu\n", loss, sealedText, t, r,
                    static_cast<unsigned long long>(sent / times.size()),
                    static_cast<unsigned long long>(resent / times.size()));
        std::fflush(stdout);
    }
}
