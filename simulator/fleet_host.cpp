#include "simulator/fleet_host.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include "platform/netservice/wire/ipv4.h"
#include "simulator/fleet_host_protocol.h"
#include "simulator/sim_fleet.h"

namespace zelmar::sim {

namespace {

using Args = QJsonObject;
using Op = std::function<QJsonValue(SimFleet&, const Args&)>;

std::string text(const Args& a, const char* key) { return a.value(QLatin1String(key)).toString().toStdString(); }

QJsonArray statesToJson(const std::vector<SimControllerState>& states) {
    QJsonArray list;
    for (const SimControllerState& s : states)
        list.append(fleethost::stateToJson(s));
    return list;
}

// Every call of SimFleet a test makes, by name.
const std::map<QString, Op>& operations() {
    static const std::map<QString, Op> ops = {
        {"toJson", [](SimFleet& f, const Args&) { return QJsonValue(QString::fromStdString(f.toJson())); }},
        {"setStateFile", [](SimFleet& f, const Args& a) { f.setStateFile(hostPath(text(a, "path"))); return QJsonValue(); }},
        {"setLogFile", [](SimFleet& f, const Args& a) { f.setLogFile(hostPath(text(a, "path"))); return QJsonValue(); }},
        {"start", [](SimFleet& f, const Args& a) { f.start(std::uint16_t(a.value("port").toInt())); return QJsonValue(f.port()); }},
        {"stop", [](SimFleet& f, const Args&) { f.stop(); return QJsonValue(); }},
        {"running", [](SimFleet& f, const Args&) { return QJsonValue(f.running()); }},
        {"clientConfig", [](SimFleet& f, const Args&) { return QJsonValue(QString::fromStdString(f.clientConfig().toJson())); }},
        {"size", [](SimFleet& f, const Args&) { return QJsonValue(qint64(f.size())); }},
        {"controller", [](SimFleet& f, const Args& a) {
             const auto s = f.controller(text(a, "serialNo"));
             return s ? QJsonValue(fleethost::stateToJson(*s)) : QJsonValue();
         }},
        {"controllers", [](SimFleet& f, const Args&) { return QJsonValue(statesToJson(f.controllers())); }},
        {"setOffline", [](SimFleet& f, const Args& a) { f.setOffline(text(a, "serialNo"), a.value("on").toBool()); return QJsonValue(); }},
        {"setConnected", [](SimFleet& f, const Args& a) { f.setConnected(text(a, "serialNo"), a.value("on").toBool()); return QJsonValue(); }},
        {"setLossPercent", [](SimFleet& f, const Args& a) { f.setLossPercent(a.value("percent").toDouble()); return QJsonValue(); }},
        {"setDuplicatePercent", [](SimFleet& f, const Args& a) { f.setDuplicatePercent(a.value("percent").toDouble()); return QJsonValue(); }},
        {"setReorderPercent", [](SimFleet& f, const Args& a) { f.setReorderPercent(a.value("percent").toDouble()); return QJsonValue(); }},
        {"setDelayMs", [](SimFleet& f, const Args& a) { f.setDelayMs(a.value("min").toInt(), a.value("max").toInt()); return QJsonValue(); }},
        {"setLoseReplies", [](SimFleet& f, const Args& a) {
             f.setLoseReplies(net::wire::MsgType(a.value("type").toInt()), a.value("on").toBool());
             return QJsonValue();
         }},
        {"setLoseRequests", [](SimFleet& f, const Args& a) {
             f.setLoseRequests(net::wire::MsgType(a.value("type").toInt()), a.value("on").toBool());
             return QJsonValue();
         }},
        {"setLoseNextReplies", [](SimFleet& f, const Args& a) {
             f.setLoseNextReplies(text(a, "serialNo"), net::wire::MsgType(a.value("type").toInt()), a.value("count").toInt());
             return QJsonValue();
         }},
        {"setRestartMs", [](SimFleet& f, const Args& a) { f.setRestartMs(a.value("ms").toInt()); return QJsonValue(); }},
        {"moveController", [](SimFleet& f, const Args& a) { return QJsonValue(f.moveController(text(a, "serialNo"), text(a, "address"))); }},
        {"log", [](SimFleet& f, const Args&) {
             QJsonArray lines;
             for (const std::string& line : f.log())
                 lines.append(QString::fromStdString(line));
             return QJsonValue(lines);
         }},
        {"clearLog", [](SimFleet& f, const Args&) { f.clearLog(); return QJsonValue(); }},
        {"stats", [](SimFleet& f, const Args&) { return QJsonValue(fleethost::statsToJson(f.stats())); }},
    };
    return ops;
}

// The fleet of a "create" request: the controllers as they are, no checks of a fleet file.
SimFleet createFleet(const Args& a) {
    FleetData data;
    for (const QJsonValue& v : a.value("controllers").toArray())
        data.controllers.push_back(fleethost::stateFromJson(v.toObject()));
    data.faults = faultsFromJson(a.value("faults").toObject());
    return SimFleet::inThisProcess(std::move(data));
}

// The fleets by the number "create" gave them, for the connections that tap them.
struct Registry {
    std::mutex m;
    std::map<int, SimFleet*> fleets;
    int next = 1;
};
Registry& registry() {
    static Registry r;
    return r;
}

// A fleet made for one connection, known by its number while it lives.
struct OwnedFleet {
    std::optional<SimFleet> fleet;
    int id = 0;
    ~OwnedFleet() { forget(); }
    void make(SimFleet made) {
        forget();
        fleet = std::move(made);
        std::lock_guard lock(registry().m);
        id = registry().next++;
        registry().fleets[id] = &*fleet;
    }
    void forget() {
        if (id == 0)
            return;
        std::lock_guard lock(registry().m);
        registry().fleets.erase(id);
        id = 0;
    }
};

// Every datagram of the fleet goes to the tapping connection, which answers
// "ack" when it has seen it: the client's tap runs before the answer leaves.
SimFleet::DatagramTap tapSender(std::shared_ptr<net::platform::LineChannel> channel) {
    return [channel](bool incoming, const std::string& controller, const net::platform::Endpoint& peer,
                     const std::vector<std::uint8_t>& bytes) {
        const QJsonObject event{
            {"in", incoming},
            {"controller", QString::fromStdString(controller)},
            {"address", double(peer.address)},
            {"port", peer.port},
            {"bytes", QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())).toBase64())}};
        if (channel->sendLine(QJsonDocument(event).toJson(QJsonDocument::Compact).toStdString()))
            channel->receiveLine(10000);
    };
}

// The first request of a tapping connection: the fleet's datagrams go there from now on.
bool attachTap(const QJsonObject& request, net::platform::LineChannel& channel) {
    std::unique_lock lock(registry().m);
    const auto it = registry().fleets.find(request.value("fleet").toInt());
    if (it == registry().fleets.end()) {
        channel.sendLine(R"({"error":"no such fleet"})");
        return false;
    }
    channel.sendLine(R"({"ok":null})");
    it->second->setDatagramTap(tapSender(std::make_shared<net::platform::LineChannel>(std::move(channel))));
    return true;
}

QJsonObject answer(OwnedFleet& owned, const QJsonObject& request) {
    const QString op = request.value("op").toString();
    std::optional<SimFleet>& fleet = owned.fleet;
    QJsonObject reply;
    try {
        if (op == QLatin1String("create")) {
            owned.make(createFleet(request));
            reply["ok"] = owned.id;
        } else if (const auto it = operations().find(op); it == operations().end()) {
            reply["error"] = QStringLiteral("unknown operation: %1").arg(op);
        } else if (!fleet) {
            reply["error"] = QStringLiteral("no fleet: the first request is \"create\"");
        } else {
            reply["ok"] = it->second(*fleet, request);
        }
    } catch (const std::exception& e) {
        reply["error"] = QString::fromStdString(e.what());
    }
    return reply;
}

void serve(net::platform::LineChannel channel) {
    OwnedFleet owned;
    while (const auto line = channel.receiveLine(-1)) {
        const QJsonObject request = QJsonDocument::fromJson(QByteArray::fromStdString(*line)).object();
        if (request.value("op").toString() == QLatin1String("attachTap")) {
            attachTap(request, channel);
            return;  // the channel now belongs to the fleet's tap
        }
        const QJsonObject reply = answer(owned, request);
        if (!channel.sendLine(QJsonDocument(reply).toJson(QJsonDocument::Compact).toStdString()))
            break;
    }
}  // the connection is gone: the fleet stops with it

}  // namespace

FleetHost::FleetHost(std::uint16_t port) {
    std::string error;
    auto listener = net::platform::LineListener::listen({*net::ipv4::parse("127.0.0.1"), port}, &error);
    if (!listener)
        throw std::runtime_error("cannot start the fleet host: " + error);
    listener_ = std::move(*listener);
}

void FleetHost::run(const std::atomic<bool>& stop) {
    while (!stop) {
        if (auto channel = listener_.accept(100))
            std::thread(serve, std::move(*channel)).detach();
    }
}

std::string hostPath(const std::string& clientPath) {
    const QString path = QString::fromStdString(clientPath);
    static const QRegularExpression drivePath(QStringLiteral("^([A-Za-z]):[\\\\/](.*)$"));
    const QRegularExpressionMatch m = drivePath.match(path);
    const QString prefix = qEnvironmentVariable("WINEPREFIX");
    // A host whose own paths have drives names files as its clients do.
    if (!m.hasMatch() || prefix.isEmpty() || QDir::rootPath() != QLatin1String("/"))
        return clientPath;
    const QString drive = QDir(prefix).filePath(QStringLiteral("dosdevices/") + m.captured(1).toLower() + u':');
    const QString root = QFileInfo(drive).canonicalFilePath();
    if (root.isEmpty())
        throw std::runtime_error("no drive " + m.captured(1).toStdString() + ": in the Wine prefix " + prefix.toStdString());
    return QDir(root).filePath(QString(m.captured(2)).replace(u'\\', u'/')).toStdString();
}

}  // namespace zelmar::sim
