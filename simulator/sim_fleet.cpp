// SimFleet: a fleet served by this process (LocalFleet) or by the fleet host
// a test program chose (RemoteFleet); every call goes to the one it has.
#include "simulator/sim_fleet.h"

#include <QFile>
#include <stdexcept>

#include "platform/netservice/system/durable_file.h"
#include "simulator/fleet_engine.h"
#include "simulator/remote_fleet.h"

namespace zelmar::sim {

namespace {
std::string& fleetHostSetting() {
    static std::string host;
    return host;
}
}  // namespace

SimFleet::SimFleet() : fleet_(std::make_unique<LocalFleet>(FleetData{})) {}

SimFleet::SimFleet(FleetData data) : SimFleet(std::move(data), true) {}

SimFleet SimFleet::inThisProcess(FleetData data) { return SimFleet(std::move(data), false); }

SimFleet::SimFleet(FleetData data, bool mayUseHost) {
    if (mayUseHost && !fleetHost().empty())
        fleet_ = std::make_unique<RemoteFleet>(fleetHost(), data);
    else
        fleet_ = std::make_unique<LocalFleet>(std::move(data));
}

void SimFleet::useFleetHost(const std::string& host) { fleetHostSetting() = host; }
std::string SimFleet::fleetHost() { return fleetHostSetting(); }

SimFleet::~SimFleet() = default;  // a fleet stops when it goes
SimFleet::SimFleet(SimFleet&&) noexcept = default;
SimFleet& SimFleet::operator=(SimFleet&&) noexcept = default;

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

void SimFleet::writeClientConfig(const std::string& path) const {
    std::string error;
    if (!net::replaceFileDurably(path, clientConfig().toJson(), &error))
        throw std::runtime_error("cannot write client configuration: " + error);
}

std::string SimFleet::toJson() const { return fleet_->toJson(); }
void SimFleet::setStateFile(const std::string& path) { fleet_->setStateFile(path); }
void SimFleet::setLogFile(const std::string& path) { fleet_->setLogFile(path); }
void SimFleet::start(std::uint16_t port) { fleet_->start(port); }
void SimFleet::stop() { fleet_->stop(); }
bool SimFleet::running() const { return fleet_->running(); }
std::uint16_t SimFleet::port() const { return fleet_->port(); }
net::ServiceConfig SimFleet::clientConfig() const { return fleet_->clientConfig(); }
std::size_t SimFleet::size() const { return fleet_->size(); }
std::optional<SimControllerState> SimFleet::controller(const std::string& serialNo) const {
    return fleet_->controller(serialNo);
}
std::vector<SimControllerState> SimFleet::controllers() const { return fleet_->controllers(); }
void SimFleet::setOffline(const std::string& serialNo, bool offline) { fleet_->setOffline(serialNo, offline); }
void SimFleet::setConnected(const std::string& serialNo, bool connected) { fleet_->setConnected(serialNo, connected); }
void SimFleet::setLossPercent(double percent) { fleet_->setLossPercent(percent); }
void SimFleet::setDuplicatePercent(double percent) { fleet_->setDuplicatePercent(percent); }
void SimFleet::setReorderPercent(double percent) { fleet_->setReorderPercent(percent); }
void SimFleet::setDelayMs(int minMs, int maxMs) { fleet_->setDelayMs(minMs, maxMs); }
void SimFleet::setLoseReplies(net::wire::MsgType type, bool lose) { fleet_->setLoseReplies(type, lose); }
void SimFleet::setLoseRequests(net::wire::MsgType type, bool lose) { fleet_->setLoseRequests(type, lose); }
void SimFleet::setLoseNextReplies(const std::string& serialNo, net::wire::MsgType type, int count) {
    fleet_->setLoseNextReplies(serialNo, type, count);
}
void SimFleet::setRestartMs(int ms) { fleet_->setRestartMs(ms); }
bool SimFleet::moveController(const std::string& serialNo, const std::string& newAddress) {
    return fleet_->moveController(serialNo, newAddress);
}
std::vector<std::string> SimFleet::log() const { return fleet_->log(); }
void SimFleet::clearLog() { fleet_->clearLog(); }
SimStats SimFleet::stats() const { return fleet_->stats(); }
void SimFleet::setDatagramTap(DatagramTap tap) { fleet_->setDatagramTap(std::move(tap)); }

}  // namespace zelmar::sim
