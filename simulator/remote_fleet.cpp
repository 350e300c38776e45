#include "simulator/remote_fleet.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <stdexcept>

#include "platform/netservice/wire/ipv4.h"
#include "simulator/fleet_host_protocol.h"
#include "simulator/sim_crypto.h"

namespace zelmar::sim {

namespace {
QString text(const std::string& s) { return QString::fromStdString(s); }

// Starting a large fleet or moving a controller takes a while on a busy machine.
constexpr int kAnswerTimeoutMs = 120000;

net::platform::Endpoint parseHost(const std::string& host) {
    const auto colon = host.rfind(':');
    const auto address = colon == std::string::npos ? std::nullopt : net::ipv4::parse(host.substr(0, colon));
    const int port = colon == std::string::npos ? 0 : std::atoi(host.c_str() + colon + 1);
    if (!address || port <= 0 || port > 65535)
        throw std::runtime_error("fleet host: \"" + host + "\" is not address:port");
    return {*address, std::uint16_t(port)};
}

net::platform::LineChannel connectTo(const net::platform::Endpoint& host) {
    std::string error;
    auto channel = net::platform::LineChannel::connect(host, &error);
    if (!channel)
        throw std::runtime_error("fleet host: " + error);
    return std::move(*channel);
}

// One datagram the host saw, for the tap.
void deliver(const QJsonObject& event, const DatagramTap& tap) {
    const QByteArray bytes = QByteArray::fromBase64(event.value("bytes").toString().toLatin1());
    const net::platform::Endpoint peer{std::uint32_t(event.value("address").toDouble()),
                                       std::uint16_t(event.value("port").toInt())};
    tap(event.value("in").toBool(), event.value("controller").toString().toStdString(), peer,
        std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}
}  // namespace

RemoteFleet::RemoteFleet(const std::string& host, const FleetData& data)
    : host_(parseHost(host)), channel_(connectTo(host_)) {
    QJsonArray controllers;
    for (SimControllerState s : data.controllers) {
        SimCrypto::adoptPassword(s);  // the host is sent the key a controller keeps, never the password
        controllers.append(fleethost::stateToJson(s));
    }
    id_ = call("create", {{"controllers", controllers}, {"faults", faultsToJson(data.faults)}}).toInt();
}

RemoteFleet::~RemoteFleet() {
    channel_ = {};  // the host stops the fleet, and so closes the tapping connection
    if (tapThread_.joinable())
        tapThread_.join();
}

void RemoteFleet::setDatagramTap(DatagramTap tap) {
    auto channel = connectTo(host_);
    if (!channel.sendLine(QJsonDocument(QJsonObject{{"op", "attachTap"}, {"fleet", id_}}).toJson(QJsonDocument::Compact).toStdString()))
        throw std::runtime_error("fleet host: the tap could not be attached");
    const auto reply = channel.receiveLine(kAnswerTimeoutMs);
    if (!reply || QJsonDocument::fromJson(QByteArray::fromStdString(*reply)).object().contains("error"))
        throw std::runtime_error("fleet host: the tap could not be attached");
    if (tapThread_.joinable())
        tapThread_.join();  // the host closed the earlier tap's connection
    tapThread_ = std::thread([channel = std::move(channel), tap = std::move(tap)]() mutable {
        while (const auto line = channel.receiveLine(-1)) {
            if (tap)
                deliver(QJsonDocument::fromJson(QByteArray::fromStdString(*line)).object(), tap);
            channel.sendLine("ack");
        }
    });
}

QJsonValue RemoteFleet::call(const char* op, QJsonObject args) const {
    args["op"] = QLatin1String(op);
    std::lock_guard lock(m_);
    if (!channel_.sendLine(QJsonDocument(args).toJson(QJsonDocument::Compact).toStdString()))
        throw std::runtime_error(std::string("fleet host: the connection is gone (") + op + ")");
    const auto line = channel_.receiveLine(kAnswerTimeoutMs);
    if (!line)
        throw std::runtime_error(std::string("fleet host: no answer to ") + op);
    const QJsonObject reply = QJsonDocument::fromJson(QByteArray::fromStdString(*line)).object();
    if (reply.contains("error"))
        throw std::runtime_error(std::string("fleet host: ") + op + ": " + reply.value("error").toString().toStdString());
    return reply.value("ok");
}

std::string RemoteFleet::toJson() const { return call("toJson").toString().toStdString(); }
void RemoteFleet::setStateFile(const std::string& path) { call("setStateFile", {{"path", text(path)}}); }
void RemoteFleet::setLogFile(const std::string& path) { call("setLogFile", {{"path", text(path)}}); }

std::uint16_t RemoteFleet::start(std::uint16_t port) {
    port_ = std::uint16_t(call("start", {{"port", port}}).toInt());
    running_ = true;
    return port_;
}

void RemoteFleet::stop() {
    if (running_)
        call("stop");
    running_ = false;
}

net::ServiceConfig RemoteFleet::clientConfig() const {
    return net::ServiceConfig::fromJson(call("clientConfig").toString().toStdString());
}

std::size_t RemoteFleet::size() const { return std::size_t(call("size").toInteger()); }

std::optional<SimControllerState> RemoteFleet::controller(const std::string& serialNo) const {
    const QJsonValue s = call("controller", {{"serialNo", text(serialNo)}});
    return s.isObject() ? std::optional(fleethost::stateFromJson(s.toObject())) : std::nullopt;
}

std::vector<SimControllerState> RemoteFleet::controllers() const {
    std::vector<SimControllerState> out;
    for (const QJsonValue& s : call("controllers").toArray())
        out.push_back(fleethost::stateFromJson(s.toObject()));
    return out;
}

void RemoteFleet::setOffline(const std::string& serialNo, bool offline) {
    call("setOffline", {{"serialNo", text(serialNo)}, {"on", offline}});
}
void RemoteFleet::setConnected(const std::string& serialNo, bool connected) {
    call("setConnected", {{"serialNo", text(serialNo)}, {"on", connected}});
}
void RemoteFleet::setLossPercent(double percent) { call("setLossPercent", {{"percent", percent}}); }
void RemoteFleet::setDuplicatePercent(double percent) { call("setDuplicatePercent", {{"percent", percent}}); }
void RemoteFleet::setReorderPercent(double percent) { call("setReorderPercent", {{"percent", percent}}); }
void RemoteFleet::setDelayMs(int minMs, int maxMs) { call("setDelayMs", {{"min", minMs}, {"max", maxMs}}); }
void RemoteFleet::setLoseReplies(net::wire::MsgType type, bool lose) {
    call("setLoseReplies", {{"type", int(type)}, {"on", lose}});
}
void RemoteFleet::setLoseRequests(net::wire::MsgType type, bool lose) {
    call("setLoseRequests", {{"type", int(type)}, {"on", lose}});
}
void RemoteFleet::setLoseNextReplies(const std::string& serialNo, net::wire::MsgType type, int count) {
    call("setLoseNextReplies", {{"serialNo", text(serialNo)}, {"type", int(type)}, {"count", count}});
}
void RemoteFleet::setRestartMs(int ms) { call("setRestartMs", {{"ms", ms}}); }

bool RemoteFleet::moveController(const std::string& serialNo, const std::string& newAddress) {
    return call("moveController", {{"serialNo", text(serialNo)}, {"address", text(newAddress)}}).toBool();
}

std::vector<std::string> RemoteFleet::log() const {
    std::vector<std::string> lines;
    for (const QJsonValue& line : call("log").toArray())
        lines.push_back(line.toString().toStdString());
    return lines;
}

void RemoteFleet::clearLog() { call("clearLog"); }
SimStats RemoteFleet::stats() const { return fleethost::statsFromJson(call("stats").toObject()); }

}  // namespace zelmar::sim
