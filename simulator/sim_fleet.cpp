#include "simulator/sim_fleet.h"

#include <QFile>
#include <QJsonArray>
#include <algorithm>
#include <stdexcept>
#include <thread>

#include "platform/netservice/system/durable_file.h"
#include "platform/netservice/wire/ipv4.h"
#include "simulator/fleet_engine.h"
#include "simulator/fleet_host_protocol.h"
#include "simulator/remote_fleet.h"

namespace zelmar::sim {

namespace ipv4 = net::ipv4;

SimFleet::SimFleet() : impl_(std::make_unique<Impl>()) {}

SimFleet::SimFleet(FleetData data) : SimFleet(std::move(data), true) {}

SimFleet SimFleet::inThisProcess(FleetData data) { return SimFleet(std::move(data), false); }

SimFleet::SimFleet(FleetData data, bool mayUseHost) : SimFleet() {
    impl_->faults = impl_->storedFaults = data.faults;
    for (SimControllerState& s : data.controllers) {
        impl_->stored.push_back({s.offline, s.restartMs});
        impl_->controllers.emplace_back(std::move(s));
    }
    for (std::size_t i = 0; i < impl_->controllers.size(); ++i)
        impl_->controllers[i].setStore([impl = impl_.get(), i](const SimControllerState& next) {
            return impl->store(i, next);  // called on the fleet's thread, under its lock
        });
    if (mayUseHost && !fleetHost().empty())
        impl_->remote = std::make_unique<RemoteFleet>(fleetHost(), impl_->snapshot());
}

namespace {
std::string& fleetHostSetting() {
    static std::string host;
    return host;
}
}  // namespace

void SimFleet::useFleetHost(const std::string& host) { fleetHostSetting() = host; }
std::string SimFleet::fleetHost() { return fleetHostSetting(); }

SimFleet::~SimFleet() {
    if (impl_)
        stop();
}
SimFleet::SimFleet(SimFleet&&) noexcept = default;
SimFleet& SimFleet::operator=(SimFleet&& other) noexcept {
    if (this != &other) {
        if (impl_)
            stop();
        impl_ = std::move(other.impl_);
    }
    return *this;
}

SimFleet SimFleet::fromJson(const std::string& json) { return SimFleet(parseFleet(json)); }

SimFleet SimFleet::fromFile(const std::string& path) {
    QFile in(QString::fromStdString(path));
    if (!in.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read fleet file " + path);
    const std::string json = in.readAll().toStdString();
    try {
        return fromJson(json);
    } catch (const std::exception& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
}

SimFleet SimFleet::generate(int count, const GenerateOptions& options) {
    return SimFleet(generateFleet(count, options));
}

std::string SimFleet::toJson() const {
    if (impl_->remote)
        return impl_->remote->call("toJson").toString().toStdString();
    std::lock_guard lock(impl_->m);
    return fleetToJson(impl_->snapshot());
}

void SimFleet::setStateFile(const std::string& path) {
    if (impl_->remote) {
        impl_->remote->call("setStateFile", {{"path", QString::fromStdString(path)}});
        return;
    }
    std::lock_guard lock(impl_->m);
    impl_->stateFile = path;
}

void SimFleet::setLogFile(const std::string& path) {
    if (impl_->remote) {
        impl_->remote->call("setLogFile", {{"path", QString::fromStdString(path)}});
        return;
    }
    std::lock_guard lock(impl_->m);
    impl_->logFile = path;
    impl_->logOut.close();
    if (!path.empty()) {
        impl_->logOut.setFileName(QString::fromStdString(path));
        if (!impl_->logOut.open(QIODevice::WriteOnly | QIODevice::Append))
            throw std::runtime_error("cannot open log file " + path);
    }
}

void SimFleet::start(std::uint16_t requestedPort) {
    if (impl_->remote) {
        impl_->boundPort = std::uint16_t(impl_->remote->call("start", {{"port", requestedPort}}).toInt());
        impl_->isRunning = true;
        return;
    }
    if (impl_->isRunning)
        return;
    Impl& d = *impl_;
    net::platform::raiseOpenFileLimit(d.controllers.size() + 64);
    std::string error;
    d.boundPort = 0;
    // A free port is looked for again when one address finds it taken.
    for (int attempt = 0; attempt < 20 && d.boundPort == 0; ++attempt) {
        d.boundPort = d.bindAll(requestedPort, error);
        if (d.boundPort == 0 && requestedPort != 0)
            throw std::runtime_error("cannot start the fleet: " + error);
    }
    if (d.boundPort == 0)
        throw std::runtime_error("cannot start the fleet: no free port (" + error + ")");
    d.poller = std::make_unique<net::platform::Poller>();
    for (std::size_t i = 0; i < d.sockets.size(); ++i)
        d.poller->add(*d.sockets[i], i);
    d.stopping = false;
    d.isRunning = true;
    d.thread = std::thread([&d] { d.loop(); });
}

void SimFleet::stop() {
    if (impl_->remote) {
        if (impl_->isRunning)
            impl_->remote->call("stop");
        impl_->isRunning = false;
        return;
    }
    Impl& d = *impl_;
    if (!d.isRunning)
        return;
    d.stopping = true;
    if (d.thread.joinable())
        d.thread.join();
    std::lock_guard lock(d.m);
    d.sockets.clear();
    d.portHolder.reset();
    d.poller.reset();
    d.timers = {};
    d.isRunning = false;
}

bool SimFleet::running() const { return impl_->isRunning; }
std::uint16_t SimFleet::port() const { return impl_->boundPort; }

net::ServiceConfig SimFleet::clientConfig() const {
    if (impl_->remote)
        return net::ServiceConfig::fromJson(impl_->remote->call("clientConfig").toString().toStdString());
    net::ServiceConfig c;
    c.port = impl_->boundPort;
    c.bindAddress = "127.0.0.1";
    std::vector<std::uint32_t> addresses;
    {
        std::lock_guard lock(impl_->m);
        for (const SimController& ctl : impl_->controllers)
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

void SimFleet::writeClientConfig(const std::string& path) const {
    std::string error;
    if (!net::replaceFileDurably(path, clientConfig().toJson(), &error))
        throw std::runtime_error("cannot write client configuration: " + error);
}

std::size_t SimFleet::size() const {
    if (impl_->remote)
        return std::size_t(impl_->remote->call("size").toInteger());
    std::lock_guard lock(impl_->m);
    return impl_->controllers.size();
}

std::optional<SimControllerState> SimFleet::controller(const std::string& serialNo) const {
    if (impl_->remote) {
        const QJsonValue s = impl_->remote->call("controller", {{"serialNo", QString::fromStdString(serialNo)}});
        return s.isObject() ? std::optional(fleethost::stateFromJson(s.toObject())) : std::nullopt;
    }
    std::lock_guard lock(impl_->m);
    const auto i = impl_->indexOf(serialNo);
    if (!i)
        return std::nullopt;
    return impl_->controllers[*i].state;
}

std::vector<SimControllerState> SimFleet::controllers() const {
    if (impl_->remote) {
        std::vector<SimControllerState> out;
        for (const QJsonValue& s : impl_->remote->call("controllers").toArray())
            out.push_back(fleethost::stateFromJson(s.toObject()));
        return out;
    }
    std::lock_guard lock(impl_->m);
    std::vector<SimControllerState> out;
    for (const SimController& c : impl_->controllers)
        out.push_back(c.state);
    return out;
}

void SimFleet::setOffline(const std::string& serialNo, bool offline) {
    if (impl_->remote) {
        impl_->remote->call("setOffline", {{"serialNo", QString::fromStdString(serialNo)}, {"on", offline}});
        return;
    }
    std::lock_guard lock(impl_->m);
    if (const auto i = impl_->indexOf(serialNo))
        impl_->controllers[*i].state.offline = offline;
}

void SimFleet::setConnected(const std::string& serialNo, bool connected) {
    if (impl_->remote) {
        impl_->remote->call("setConnected", {{"serialNo", QString::fromStdString(serialNo)}, {"on", connected}});
        return;
    }
    std::lock_guard lock(impl_->m);
    if (const auto i = impl_->indexOf(serialNo))
        impl_->controllers[*i].state.connected = connected;
}

void SimFleet::setRestartMs(int ms) {
    if (impl_->remote) {
        impl_->remote->call("setRestartMs", {{"ms", ms}});
        return;
    }
    std::lock_guard lock(impl_->m);
    for (SimController& c : impl_->controllers)
        c.state.restartMs = std::max(0, ms);
}

void SimFleet::setLoseReplies(net::wire::MsgType type, bool lose) {
    if (impl_->remote) {
        impl_->remote->call("setLoseReplies", {{"type", int(type)}, {"on", lose}});
        return;
    }
    std::lock_guard lock(impl_->m);
    if (lose)
        impl_->lostReplyTypes.insert(std::uint8_t(type));
    else
        impl_->lostReplyTypes.erase(std::uint8_t(type));
}

void SimFleet::setLoseNextReplies(const std::string& serialNo, net::wire::MsgType type, int count) {
    if (impl_->remote) {
        impl_->remote->call("setLoseNextReplies",
                            {{"serialNo", QString::fromStdString(serialNo)}, {"type", int(type)}, {"count", count}});
        return;
    }
    std::lock_guard lock(impl_->m);
    if (const auto i = impl_->indexOf(serialNo))
        impl_->repliesToLose[{*i, std::uint8_t(type)}] = std::max(0, count);
}

void SimFleet::setLossPercent(double percent) {
    if (impl_->remote) {
        impl_->remote->call("setLossPercent", {{"percent", percent}});
        return;
    }
    std::lock_guard lock(impl_->m);
    impl_->faults.lossPercent = std::clamp(percent, 0.0, 100.0);
}

void SimFleet::setDuplicatePercent(double percent) {
    if (impl_->remote) {
        impl_->remote->call("setDuplicatePercent", {{"percent", percent}});
        return;
    }
    std::lock_guard lock(impl_->m);
    impl_->faults.duplicatePercent = std::clamp(percent, 0.0, 100.0);
}

void SimFleet::setDelayMs(int minMs, int maxMs) {
    if (impl_->remote) {
        impl_->remote->call("setDelayMs", {{"min", minMs}, {"max", maxMs}});
        return;
    }
    std::lock_guard lock(impl_->m);
    impl_->faults.delayMinMs = std::max(0, minMs);
    impl_->faults.delayMaxMs = std::max(impl_->faults.delayMinMs, maxMs);
}

bool SimFleet::moveController(const std::string& serialNo, const std::string& newAddress) {
    if (impl_->remote)
        return impl_->remote
            ->call("moveController", {{"serialNo", QString::fromStdString(serialNo)}, {"address", QString::fromStdString(newAddress)}})
            .toBool();
    const auto a = ipv4::parse(newAddress);
    if (!a || !ipv4::isLoopback(*a))
        return false;
    const bool wasRunning = running();
    const std::uint16_t port = impl_->boundPort;
    stop();
    std::string old;
    {
        std::lock_guard lock(impl_->m);
        const auto i = impl_->indexOf(serialNo);
        if (!i)
            return false;
        old = impl_->controllers[*i].state.address;
        impl_->controllers[*i].state.address = ipv4::format(*a);
    }
    if (!wasRunning)
        return true;
    try {
        start(port);
        return true;
    } catch (const std::exception&) {
        std::lock_guard lock(impl_->m);
        impl_->controllers[*impl_->indexOf(serialNo)].state.address = old;
    }
    start(port);
    return false;
}

std::vector<std::string> SimFleet::log() const {
    if (impl_->remote) {
        std::vector<std::string> lines;
        for (const QJsonValue& line : impl_->remote->call("log").toArray())
            lines.push_back(line.toString().toStdString());
        return lines;
    }
    std::lock_guard lock(impl_->m);
    return {impl_->logLines.begin(), impl_->logLines.end()};
}

void SimFleet::clearLog() {
    if (impl_->remote) {
        impl_->remote->call("clearLog");
        return;
    }
    std::lock_guard lock(impl_->m);
    impl_->logLines.clear();
}

void SimFleet::setDatagramTap(DatagramTap tap) {
    if (impl_->remote) {
        impl_->remote->setDatagramTap(std::move(tap));
        return;
    }
    std::lock_guard lock(impl_->m);
    impl_->tap = std::move(tap);
}

SimStats SimFleet::stats() const {
    if (impl_->remote)
        return fleethost::statsFromJson(impl_->remote->call("stats").toObject());
    std::lock_guard lock(impl_->m);
    return impl_->stats;
}

}  // namespace zelmar::sim
