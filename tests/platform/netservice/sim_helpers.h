#pragma once
// Starting a simulated fleet for a test and pointing a service at it.
#include <string>

#include "platform/netservice/net_service.h"
#include "simulator/sim_fleet.h"

namespace zelmar::testing {

inline sim::SimFleet startFleet(int count, sim::GenerateOptions options = {}) {
    auto fleet = sim::SimFleet::generate(count, options);
    fleet.start(0);
    return fleet;
}

// A configuration that keeps failing lookups short in tests.
inline net::ServiceConfig quickConfig(const sim::SimFleet& fleet) {
    net::ServiceConfig c = fleet.clientConfig();
    c.lookupTimeoutMs = 600;
    return c;
}

inline std::string serialOf(int i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "10-%05d", i + 1);
    return buf;
}

// Index of the entry with this serial number, or -1.
inline int indexOf(net::NetService& s, const std::string& serial) {
    for (int i = 0; i < s.ControllerCount(); ++i)
        if (s.Item(std::int16_t(i))->SerialNo() == serial)
            return i;
    return -1;
}

}  // namespace zelmar::testing
