// Linked into every test program that talks to simulated controllers: with
// ZELMAR_TEST_FLEET_HOST set ("127.0.0.1:port"), its fleets are served by
// that fleet host, a simulator built for another system (the Windows tests
// under Wine against the Linux simulator: scripts/windows-test.sh).
#include <cstdlib>

#include "simulator/sim_fleet.h"

namespace {
const bool kFleetHostChosen = [] {
    if (const char* host = std::getenv("ZELMAR_TEST_FLEET_HOST"); host && *host)
        zelmar::sim::SimFleet::useFleetHost(host);
    return true;
}();
}  // namespace
