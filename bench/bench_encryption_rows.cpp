// The encryption rows of bench-netservice: a full search of 1,000 simulated
// controllers of which every second requires encryption, with the right
// password. "cold": nothing derived yet in the process (the slow password hash
// runs once); "warm": a new service object, as the tool makes before every full
// search (the hash is cached, only the per-controller keys are derived again).
#include <cstdio>
#include <map>
#include <string>

#include "platform/netservice/crypto/crypto_keys.h"
#include "platform/netservice/net_service.h"
#include "platform/netservice/service_core.h"
#include "simulator/sim_fleet.h"

using namespace zelmar;

void printEncryptionRows() {
    const char* const password = "Bench-Encryption-Pw";
    sim::FleetData data = sim::generateFleet(1000);
    int encrypted = 0;
    for (std::size_t i = 0; i < data.controllers.size(); i += 2) {
        sim::SimControllerState& s = data.controllers[i];
        s.capabilities |= 8;
        s.requireEncryption = true;
        s.encryptionPassword = password;
        ++encrypted;
    }
    sim::SimFleet fleet(std::move(data));
    fleet.start(0);
    net::crypto::clearKeyCache();  // the fleet derived its own keys through the same process cache
    std::map<std::string, sim::SimControllerState> truth;
    for (const auto& s : fleet.controllers())
        truth.emplace(s.serialNo, s);

    std::printf("\nFull search, 1,000 controllers, %d of them require encryption, right password "
                "(Argon2id %llu passes, %zu MiB)\n",
                encrypted, static_cast<unsigned long long>(net::crypto::kPasswordOpsLimit),
                net::crypto::kPasswordMemLimit >> 20);
    std::printf("%6s | %9s | %11s | %10s | %17s | %20s | %14s\n", "run", "found", "PasswordOk", "search ms",
                "Argon2id runs/ms", "controller keys/ms", "deriving ms");
    std::printf("-------+-----------+-------------+------------+-------------------+----------------------+---------------\n");
    for (const char* run : {"cold", "warm"}) {
        const auto before = net::crypto::keyStats();
        net::NetService service(fleet.clientConfig());
        service.setPassword(password);
        service.Search();
        const auto after = net::crypto::keyStats();
        // Read in full: PasswordOk and the settings the controller holds.
        int readable = 0;
        for (int i = 0; i < service.ControllerCount(); ++i) {
            auto e = service.Item(std::int16_t(i));
            const auto it = truth.find(e->SerialNo());
            if (e->RequireEncryption() && e->PasswordOk() && it != truth.end() && e->Name() == it->second.name &&
                e->Description() == it->second.description && e->SubnetMask() == it->second.subnetMask &&
                e->PortOsRevision() == it->second.portOsRevision)
                ++readable;
        }
        const double hashMs = after.passwordHashMs - before.passwordHashMs;
        const double keyMs = after.controllerKeyMs - before.controllerKeyMs;
        char found[32], ok[32], hash[48], keys[48];
        std::snprintf(found, sizeof found, "%d%s", service.ControllerCount(), service.ControllerCount() == 1000 ? "" : " LOST");
        std::snprintf(ok, sizeof ok, "%d/%d", readable, encrypted);
        std::snprintf(hash, sizeof hash, "%llu / %.1f",
                      static_cast<unsigned long long>(after.passwordHashes - before.passwordHashes), hashMs);
        std::snprintf(keys, sizeof keys, "%llu / %.2f",
                      static_cast<unsigned long long>(after.controllerKeys - before.controllerKeys), keyMs);
        std::printf("%6s | %9s | %11s | %10.1f | %17s | %20s | %14.1f\n", run, found, ok,
                    service.core().stats().lastSearchMs, hash, keys, hashMs + keyMs);
        std::fflush(stdout);
    }
    fleet.stop();
}
