#pragma once
// Simulated sites for tests over real UDP on loopback: controllers made by
// number, a fleet of them started on a free port, and client configurations
// whose waits fit loopback, where every controller answers at once.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/netservice/net_service.h"
#include "platform/netservice/config/service_config.h"
#include "simulator/sim_fleet.h"

namespace zelmar::testing {

// Controller n (1-based) of a site: serial "<prefix>-<n in five digits>",
// Ethernet 00-1A-4C-<site>-00-<n>, listening at <loopback>.<n>.
inline sim::SimControllerState siteController(int serialPrefix, int site, const std::string& loopback, int n) {
    sim::SimControllerState s;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d-%05d", serialPrefix, n);
    s.serialNo = buf;
    std::snprintf(buf, sizeof buf, "00-1A-4C-%02X-00-%02X", site, n);
    s.ethernetAddress = buf;
    s.address = loopback + "." + std::to_string(n);
    return s;
}

// A controller at 127.79.0.<n>, serial 10-0000<n>, on the network 127.79.0.0/16.
inline sim::SimControllerState controller(int n, const std::string& name) {
    sim::SimControllerState c = siteController(10, 0x00, "127.79.0", n);
    const std::string digit = std::to_string(n);
    c.name = name;
    c.description = "Building " + digit;
    c.mainComputerAddress = "127.79.0.200";
    c.useDhcp = false;
    c.ipAddress = c.address;
    c.subnetMask = "255.255.0.0";
    c.gateway = "127.79.0.1";
    c.dnsServer = "127.79.0.2";
    c.capabilities = 8;
    c.attachedNetwork = "127.79.0.0/16";
    return c;
}

// Controller n at 127.79.0.<n>, serial 10-0000<n>, reporting the fixed address
// 10.30.0.<n> on 10.30.0.0/16: an office network apart from its loopback address.
inline sim::SimControllerState officeController(int n) {
    sim::SimControllerState c = controller(n, "Unit " + std::to_string(n));
    c.ipAddress = c.configIpAddress = "10.30.0." + std::to_string(n);
    c.subnetMask = c.configSubnetMask = "255.255.0.0";
    c.gateway = c.configGateway = "10.30.0.254";
    c.dnsServer = c.configDnsServer = "10.30.0.253";
    c.attachedNetwork = "10.30.0.0/16";
    return c;
}

// These controllers, serving on a free port (writing their state file, if one is given).
inline sim::SimFleet startFleet(std::vector<sim::SimControllerState> controllers, const std::string& stateFile = {}) {
    sim::FleetData data;
    data.controllers = std::move(controllers);
    sim::SimFleet fleet(std::move(data));
    fleet.setStateFile(stateFile);
    fleet.start(0);
    return fleet;
}

// A generated fleet of `count` (serials 10-00001 on), serving on a free port.
inline sim::SimFleet startFleet(int count, sim::GenerateOptions options = {}) {
    auto fleet = sim::SimFleet::generate(count, options);
    fleet.start(0);
    return fleet;
}

// The client configuration of a fleet whose failing lookups give up soon.
inline net::ServiceConfig quickConfig(const sim::SimFleet& fleet) {
    net::ServiceConfig c = fleet.clientConfig();
    c.lookupTimeoutMs = 600;
    return c;
}

// Shorter still, for the dialogs: a search ends soon after the answers, which spread little.
inline net::ServiceConfig quickSearchConfig(const sim::SimFleet& fleet) {
    net::ServiceConfig c = fleet.clientConfig();
    c.firstAnswerWaitMs = 400;
    c.lookupTimeoutMs = 400;
    c.answerSpreadMs = 20;
    return c;
}

// The serial number of controller i (0-based) of a generated fleet.
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
