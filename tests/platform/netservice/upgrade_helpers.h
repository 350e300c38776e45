#pragma once
// Images and upgrade files for the port OS upgrade tests.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/netservice/upgrade/upgrade_file.h"
#include "simulator/sim_state.h"
#include "tests/common/sim_site.h"

namespace zelmar::testing {

// Deterministic pseudo-random bytes: the same size and seed give the same image.
inline std::vector<std::uint8_t> randomImage(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> image(size);
    for (auto& b : image)
        b = std::uint8_t(rng());
    return image;
}

inline net::UpgradeFile upgradeFile(std::int16_t type, const std::string& revision, std::size_t size,
                                    unsigned seed = 7) {
    const auto bytes = net::UpgradeFile::Build(type, revision, randomImage(size, seed));
    net::UpgradeFile file;
    file.LoadBytes(bytes.data(), bytes.size());
    return file;
}

// One controller of port type 3 running "2.11", restarting in 200 ms after an upgrade.
inline sim::SimControllerState upgradableController(int n = 1, std::int16_t portOsType = 3) {
    sim::SimControllerState s = siteController(30, 0x55, "127.79.0", n);
    s.name = "Port " + std::to_string(n);
    s.ipAddress = s.configIpAddress = "10.40.0." + std::to_string(10 + n);
    s.subnetMask = s.configSubnetMask = "255.255.0.0";
    s.attachedNetwork = "10.40.0.0/16";
    s.modelCode = 110;
    s.portOsType = portOsType;
    s.portOsRevision = "2.11";
    s.restartMs = 200;
    return s;
}

}  // namespace zelmar::testing
