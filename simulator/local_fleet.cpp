// The calls of a fleet served by this process (fleet_engine.h); the serving
// thread and the faults are in fleet_engine.cpp.
#include <algorithm>
#include <stdexcept>

#include "platform/netservice/system/durable_file.h"
#include "platform/netservice/wire/ipv4.h"
#include "simulator/fleet_engine.h"

namespace zelmar::sim {

namespace ipv4 = net::ipv4;

LocalFleet::LocalFleet(FleetData data) {
    faults = storedFaults = data.faults;
    for (SimControllerState& s : data.controllers) {
        stored.push_back({s.offline, s.restartMs});
        members.emplace_back(std::move(s));
    }
    for (std::size_t i = 0; i < members.size(); ++i)
        members[i].setStore([this, i](const SimControllerState& next) {
            return store(i, next);  // called on the serving thread, under its lock
        });
}

LocalFleet::~LocalFleet() { stop(); }

std::string LocalFleet::toJson() const {
    std::lock_guard lock(m);
    return fleetToJson(snapshot());
}

void LocalFleet::setStateFile(const std::string& path) {
    std::lock_guard lock(m);
    stateFile = path;
}

void LocalFleet::setLogFile(const std::string& path) {
    std::lock_guard lock(m);
    logFile = path;
    logOut.close();
    if (!path.empty()) {
        logOut.setFileName(QString::fromStdString(path));
        if (!logOut.open(QIODevice::WriteOnly | QIODevice::Append))
            throw std::runtime_error("cannot open log file " + path);
    }
}

std::uint16_t LocalFleet::start(std::uint16_t requestedPort) {
    if (isRunning)
        return boundPort;
    net::platform::raiseOpenFileLimit(members.size() + 64);
    std::string error;
    boundPort = 0;
    // A free port is looked for again when one address finds it taken.
    for (int attempt = 0; attempt < 20 && boundPort == 0; ++attempt) {
        boundPort = bindAll(requestedPort, error);
        if (boundPort == 0 && requestedPort != 0)
            throw std::runtime_error("cannot start the fleet: " + error);
    }
    if (boundPort == 0)
        throw std::runtime_error("cannot start the fleet: no free port (" + error + ")");
    poller = std::make_unique<net::platform::Poller>();
    for (std::size_t i = 0; i < sockets.size(); ++i)
        poller->add(*sockets[i], i);
    stopping = false;
    isRunning = true;
    thread = std::thread([this] { loop(); });
    return boundPort;
}

void LocalFleet::stop() {
    if (!isRunning)
        return;
    stopping = true;
    if (thread.joinable())
        thread.join();
    std::lock_guard lock(m);
    sockets.clear();
    portHolder.reset();
    poller.reset();
    timers = {};
    isRunning = false;
}

net::ServiceConfig LocalFleet::clientConfig() const {
    net::ServiceConfig c;
    c.port = boundPort;
    c.bindAddress = "127.0.0.1";
    std::vector<std::uint32_t> addresses;
    {
        std::lock_guard lock(m);
        for (const SimController& ctl : members)
            addresses.push_back(*ipv4::parse(ctl.state.address));
    }
    std::sort(addresses.begin(), addresses.end());
    // Runs of nearby addresses become one range, as a broadcast would cover them.
    for (std::size_t i = 0; i < addresses.size();) {
        std::size_t j = i;
        while (j + 1 < addresses.size() && addresses[j + 1] - addresses[j] <= 3 && addresses[j + 1] - addresses[i] < 65535)
            ++j;
        c.searchTargets.push_back(i == j ? ipv4::format(addresses[i])
                                         : ipv4::format(addresses[i]) + "-" + ipv4::format(addresses[j]));
        i = j + 1;
    }
    return c;
}

std::size_t LocalFleet::size() const {
    std::lock_guard lock(m);
    return members.size();
}

std::optional<SimControllerState> LocalFleet::controller(const std::string& serialNo) const {
    std::lock_guard lock(m);
    const auto i = indexOf(serialNo);
    if (!i)
        return std::nullopt;
    return members[*i].state;
}

std::vector<SimControllerState> LocalFleet::controllers() const {
    std::lock_guard lock(m);
    std::vector<SimControllerState> out;
    for (const SimController& c : members)
        out.push_back(c.state);
    return out;
}

void LocalFleet::setOffline(const std::string& serialNo, bool offline) {
    std::lock_guard lock(m);
    if (const auto i = indexOf(serialNo))
        members[*i].state.offline = offline;
}

void LocalFleet::setConnected(const std::string& serialNo, bool connected) {
    std::lock_guard lock(m);
    if (const auto i = indexOf(serialNo))
        members[*i].state.connected = connected;
}

void LocalFleet::setRestartMs(int ms) {
    std::lock_guard lock(m);
    for (SimController& c : members)
        c.state.restartMs = std::max(0, ms);
}

void LocalFleet::setLoseReplies(net::wire::MsgType type, bool lose) {
    std::lock_guard lock(m);
    if (lose)
        lostReplyTypes.insert(std::uint8_t(type));
    else
        lostReplyTypes.erase(std::uint8_t(type));
}

void LocalFleet::setLoseRequests(net::wire::MsgType type, bool lose) {
    std::lock_guard lock(m);
    if (lose)
        lostRequestTypes.insert(std::uint8_t(type));
    else
        lostRequestTypes.erase(std::uint8_t(type));
}

void LocalFleet::setLoseNextReplies(const std::string& serialNo, net::wire::MsgType type, int count) {
    std::lock_guard lock(m);
    if (const auto i = indexOf(serialNo))
        repliesToLose[{*i, std::uint8_t(type)}] = std::max(0, count);
}

void LocalFleet::setLossPercent(double percent) {
    std::lock_guard lock(m);
    faults.lossPercent = std::clamp(percent, 0.0, 100.0);
}

void LocalFleet::setDuplicatePercent(double percent) {
    std::lock_guard lock(m);
    faults.duplicatePercent = std::clamp(percent, 0.0, 100.0);
}

void LocalFleet::setReorderPercent(double percent) {
    std::lock_guard lock(m);
    faults.reorderPercent = std::clamp(percent, 0.0, 100.0);
}

void LocalFleet::setDelayMs(int minMs, int maxMs) {
    std::lock_guard lock(m);
    faults.delayMinMs = std::max(0, minMs);
    faults.delayMaxMs = std::max(faults.delayMinMs, maxMs);
}

bool LocalFleet::moveController(const std::string& serialNo, const std::string& newAddress) {
    const auto a = ipv4::parse(newAddress);
    if (!a || !ipv4::isLoopback(*a))
        return false;
    const bool wasRunning = running();
    const std::uint16_t port = boundPort;
    stop();
    std::string old;
    {
        std::lock_guard lock(m);
        const auto i = indexOf(serialNo);
        if (!i)
            return false;
        old = members[*i].state.address;
        members[*i].state.address = ipv4::format(*a);
    }
    if (!wasRunning)
        return true;
    try {
        start(port);
        return true;
    } catch (const std::exception&) {
        std::lock_guard lock(m);
        members[*indexOf(serialNo)].state.address = old;
    }
    start(port);
    return false;
}

std::vector<std::string> LocalFleet::log() const {
    std::lock_guard lock(m);
    return {logLines.begin(), logLines.end()};
}

void LocalFleet::clearLog() {
    std::lock_guard lock(m);
    logLines.clear();
}

void LocalFleet::setDatagramTap(DatagramTap t) {
    std::lock_guard lock(m);
    tap = std::move(t);
}

SimStats LocalFleet::stats() const {
    std::lock_guard lock(m);
    return counters;
}

}  // namespace zelmar::sim
