#include "simulator/fleet_file.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <random>
#include <set>
#include <stdexcept>

#include "platform/netservice/wire/ipv4.h"
#include "platform/netservice/wire/wire.h"
#include "simulator/controller_rules.h"
#include "simulator/sim_controller.h"

namespace zelmar::sim {

namespace ipv4 = net::ipv4;

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }

std::string text(const QJsonObject& o, const char* key, const std::string& fallback = {}) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return fallback;
    if (!v.isString())
        throw std::runtime_error(std::string("fleet file: \"") + key + "\" must be a text");
    return v.toString().toStdString();
}
bool flag(const QJsonObject& o, const char* key, bool fallback = false) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return fallback;
    if (!v.isBool())
        throw std::runtime_error(std::string("fleet file: \"") + key + "\" must be true or false");
    return v.toBool();
}
double number(const QJsonObject& o, const char* key, double fallback, double min, double max) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return fallback;
    if (!v.isDouble() || v.toDouble() < min || v.toDouble() > max)
        throw std::runtime_error(std::string("fleet file: \"") + key + "\" must be a number from " +
                                 std::to_string(min) + " to " + std::to_string(max));
    return v.toDouble();
}

// Text fields kept as they are, read and written under their own names.
struct TextField {
    const char* key;
    std::string SimControllerState::*member;
};
constexpr TextField kIdentityFields[] = {
    {"serialNo", &SimControllerState::serialNo},
    {"ethernetAddress", &SimControllerState::ethernetAddress},
    {"address", &SimControllerState::address},
    {"name", &SimControllerState::name},
    {"description", &SimControllerState::description},
    {"dnsName", &SimControllerState::dnsName},
    {"mainComputerAddress", &SimControllerState::mainComputerAddress},
};
// The addresses a controller runs with, each beside the one it is configured with.
struct AddressField {
    TextField running;
    TextField configured;
};
constexpr AddressField kAddressFields[] = {
    {{"ipAddress", &SimControllerState::ipAddress}, {"configIpAddress", &SimControllerState::configIpAddress}},
    {{"subnetMask", &SimControllerState::subnetMask}, {"configSubnetMask", &SimControllerState::configSubnetMask}},
    {{"gateway", &SimControllerState::gateway}, {"configGateway", &SimControllerState::configGateway}},
    {{"dnsServer", &SimControllerState::dnsServer}, {"configDnsServer", &SimControllerState::configDnsServer}},
};

void readAddresses(const QJsonObject& o, SimControllerState& s) {
    for (const AddressField& f : kAddressFields)
        s.*f.running.member = text(o, f.running.key, "0.0.0.0");
    // Fixed controllers run with what they are configured with, unless told otherwise.
    for (const AddressField& f : kAddressFields)
        s.*f.configured.member = text(o, f.configured.key, s.useDhcp ? "0.0.0.0" : s.*f.running.member);
}

// What a controller must satisfy on its own and beside those read before it.
void checkController(const SimControllerState& s, int position, std::set<std::string>& macs,
                     std::set<std::string>& addresses) {
    std::string why;
    if (!SimController::validState(s, &why))
        throw std::runtime_error("fleet file: controller " + std::to_string(position) + ", " + why);
    if (!s.attachedNetwork.empty()) {
        const auto slash = s.attachedNetwork.find('/');
        if (slash == std::string::npos || !ipv4::parse(s.attachedNetwork.substr(0, slash)) ||
            !ipv4::parseMask(s.attachedNetwork.substr(slash + 1)))
            throw std::runtime_error("fleet file: " + s.serialNo + ": attachedNetwork must look like 10.20.0.0/16");
    }
    if (!macs.insert(s.ethernetAddress).second)
        throw std::runtime_error("fleet file: Ethernet address " + s.ethernetAddress + " appears twice");
    if (!addresses.insert(s.address).second)
        throw std::runtime_error("fleet file: address " + s.address + " appears twice");
}

QJsonObject readRoot(const std::string& json) {
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &err);
    if (err.error != QJsonParseError::NoError)
        throw std::runtime_error("fleet file is not JSON: " + err.errorString().toStdString() + " at character " +
                                 std::to_string(err.offset));
    if (!doc.isObject())
        throw std::runtime_error("fleet file: the top level is a list, not an object with \"controllers\"");
    return doc.object();
}

// Controller i of a generated fleet: serial 10-00001 on, Ethernet 00-1A-4C-..., at `address`.
SimControllerState generatedIdentity(int i, std::uint32_t address) {
    SimControllerState s;
    s.address = ipv4::format(address);
    const int series = 10 + i / 99999;
    const int number = i % 99999 + 1;
    char serial[16];
    std::snprintf(serial, sizeof serial, "%02d-%05d", series, number);
    s.serialNo = serial;
    net::wire::Ethernet mac{0x00, 0x1A, 0x4C, std::uint8_t(i >> 16), std::uint8_t(i >> 8), std::uint8_t(i)};
    s.ethernetAddress = net::wire::formatEthernet(mac);
    return s;
}

// Name, description, model and port OS, drawn in this order: a seed always gives the same fleet.
void describeGenerated(SimControllerState& s, int i, std::mt19937& rng) {
    static const char* const kPlants[] = {"AHU",       "Boiler",     "Chiller",      "Heat pump",  "Zone",
                                          "Pump station", "Ventilation", "Substation", "Cooling tower",
                                          "Värmecentral", "Lüftung",    "Fan coil"};
    static const char* const kBuildings[] = {"Main building", "Block B", "Warehouse", "Lab wing", "Hus 3",
                                             "Parking deck", "North annex"};
    static const std::int16_t kModels[] = {101, 102, 110, 120, 205, 310};
    static const std::int16_t kPortTypes[] = {1, 2, 3, 5};
    static const char* const kRevisions[] = {"2.10", "2.11", "3.0.4", "3.1.0"};
    const char* plant = kPlants[rng() % std::size(kPlants)];
    // A few controllers are still unnamed, as they come from the factory.
    s.name = (i % 37 == 36) ? std::string() : std::string(plant) + " " + std::to_string(i % 50 + 1);
    s.description = (i % 5 == 4) ? std::string()
                                 : std::string(kBuildings[rng() % std::size(kBuildings)]) + ", floor " +
                                       std::to_string(rng() % 6);
    s.modelCode = kModels[rng() % std::size(kModels)];
    s.portOsType = kPortTypes[rng() % std::size(kPortTypes)];
    s.portOsRevision = kRevisions[rng() % std::size(kRevisions)];
    s.capabilities = s.portOsType >= 3 ? 8u : 0u;
}

// The site network of controller i and its IP settings there: every third on DHCP.
void placeGenerated(SimControllerState& s, int i) {
    const int site = i / 50000;  // about one /16 per 50,000 controllers
    const std::uint32_t net = (10u << 24) | (std::uint32_t(20 + site) << 16);
    s.attachedNetwork = ipv4::format(net) + "/16";
    s.mainComputerAddress = ipv4::format(net | 5);
    s.useDhcp = i % 3 == 1;
    if (s.useDhcp) {
        leaseFromNetwork(s);
        s.dnsName = "ctl-" + std::to_string(i + 1) + ".plant.zelmar.test";
    } else {
        const std::uint32_t host = net | std::uint32_t(((i % 50000) / 250 + 1) << 8) | std::uint32_t(i % 250 + 3);
        s.ipAddress = s.configIpAddress = ipv4::format(host);
        s.subnetMask = s.configSubnetMask = "255.255.0.0";
        s.gateway = s.configGateway = ipv4::format(net | 1);
        s.dnsServer = s.configDnsServer = ipv4::format(net | 2);
    }
}

// A factory-new controller: no address yet, nothing that fits the network.
void makeFactoryNew(SimControllerState& s) {
    s.useDhcp = false;
    s.name.clear();
    s.ipAddress = s.subnetMask = s.gateway = s.dnsServer = "0.0.0.0";
    s.configIpAddress = s.configSubnetMask = s.configGateway = s.configDnsServer = "0.0.0.0";
    s.dnsName.clear();
}

}  // namespace

FaultSettings faultsFromJson(const QJsonObject& faults) {
    FaultSettings f;
    f.lossPercent = number(faults, "lossPercent", 0, 0, 100);
    f.duplicatePercent = number(faults, "duplicatePercent", 0, 0, 100);
    f.reorderPercent = number(faults, "reorderPercent", 0, 0, 100);
    f.delayMinMs = int(number(faults, "delayMinMs", 0, 0, 10000));
    f.delayMaxMs = int(number(faults, "delayMaxMs", f.delayMinMs, f.delayMinMs, 10000));
    return f;
}

QJsonObject faultsToJson(const FaultSettings& f) {
    QJsonObject faults;
    faults["lossPercent"] = f.lossPercent;
    faults["duplicatePercent"] = f.duplicatePercent;
    faults["reorderPercent"] = f.reorderPercent;
    faults["delayMinMs"] = f.delayMinMs;
    faults["delayMaxMs"] = f.delayMaxMs;
    return faults;
}

SimControllerState controllerFromJson(const QJsonObject& o) {
    SimControllerState s;
    for (const TextField& f : kIdentityFields)
        s.*f.member = text(o, f.key);
    s.useDhcp = flag(o, "useDhcp");
    readAddresses(o, s);
    s.requireEncryption = flag(o, "requireEncryption");
    // Either the key, or for convenience the password it is derived from (never written back).
    s.encryptionKey = text(o, "encryptionKey");
    s.encryptionPassword = text(o, "encryptionPassword");
    s.capabilities = std::uint32_t(number(o, "capabilities", 0, 0, 4294967295.0));
    s.modelCode = std::int16_t(number(o, "modelCode", 0, -32768, 32767));
    s.portOsType = std::int16_t(number(o, "portOsType", 0, -32768, 32767));
    s.portOsRevision = text(o, "portOsRevision");
    s.connected = flag(o, "connected");
    s.answerTiming = flag(o, "answerTiming", true);
    s.attachedNetwork = text(o, "attachedNetwork");
    s.offline = flag(o, "offline");
    s.marked = flag(o, "marked");
    s.restartMs = int(number(o, "restartMs", s.restartMs, 0, 600000));
    s.lastUpgradeTransferId = std::uint32_t(number(o, "lastUpgradeTransferId", 0, 0, 4294967295.0));
    s.lastUpgradeClient = text(o, "lastUpgradeClient");
    return s;
}

QJsonObject controllerToJson(const SimControllerState& s) {
    QJsonObject o;
    for (const TextField& f : kIdentityFields)
        o[QLatin1String(f.key)] = q(s.*f.member);
    o["useDhcp"] = s.useDhcp;
    for (const AddressField& f : kAddressFields) {
        o[QLatin1String(f.running.key)] = q(s.*f.running.member);
        o[QLatin1String(f.configured.key)] = q(s.*f.configured.member);
    }
    o["requireEncryption"] = s.requireEncryption;
    if (!s.encryptionKey.empty())
        o["encryptionKey"] = q(s.encryptionKey);
    o["capabilities"] = double(s.capabilities);
    o["modelCode"] = s.modelCode;
    o["portOsType"] = s.portOsType;
    o["portOsRevision"] = q(s.portOsRevision);
    o["connected"] = s.connected;
    if (!s.answerTiming)
        o["answerTiming"] = false;
    o["attachedNetwork"] = q(s.attachedNetwork);
    if (s.offline)
        o["offline"] = true;
    if (s.marked)
        o["marked"] = true;
    o["restartMs"] = s.restartMs;
    if (s.lastUpgradeTransferId != 0) {
        o["lastUpgradeTransferId"] = double(s.lastUpgradeTransferId);
        o["lastUpgradeClient"] = q(s.lastUpgradeClient);
    }
    return o;
}


FleetData parseFleet(const std::string& json) {
    const QJsonObject root = readRoot(json);
    FleetData fleet;
    fleet.faults = faultsFromJson(root.value("faults").toObject());
    if (!root.value("controllers").isArray())
        throw std::runtime_error("fleet file: \"controllers\" must be a list");
    std::set<std::string> macs, addresses;
    int position = 0;
    for (const QJsonValue& v : root.value("controllers").toArray()) {
        ++position;
        if (!v.isObject())
            throw std::runtime_error("fleet file: every controller must be an object");
        SimControllerState s = controllerFromJson(v.toObject());
        checkController(s, position, macs, addresses);
        fleet.controllers.push_back(std::move(s));
    }
    return fleet;
}

std::string fleetToJson(const FleetData& fleet) {
    QJsonArray list;
    for (const SimControllerState& s : fleet.controllers)
        list.append(controllerToJson(s));
    QJsonObject root;
    root["controllers"] = list;
    root["faults"] = faultsToJson(fleet.faults);
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

FleetData generateFleet(int count, const GenerateOptions& options) {
    const char* space = options.anyAddress ? "the IPv4 address space" : "127.0.0.0/8";
    const auto inSpace = [&options](std::uint64_t a) {
        return a <= 0xFFFFFFFFu && (options.anyAddress || ipv4::isLoopback(std::uint32_t(a)));
    };
    const auto first = ipv4::parse(options.firstAddress);
    if (!first)
        throw std::runtime_error("first address \"" + options.firstAddress + "\" is not an IPv4 address");
    if (!inSpace(*first))
        throw std::runtime_error(std::string("first address must be in ") + space);
    if (count < 0 || count > 60000)
        throw std::runtime_error("a generated fleet has 0 to 60000 controllers");
    std::mt19937 rng(options.seed);
    FleetData fleet;
    std::uint64_t address = *first;  // wide: running past 255.255.255.255 is caught, not wrapped
    for (int i = 0; i < count; ++i) {
        while ((address & 0xFF) == 0 || (address & 0xFF) == 255)
            ++address;
        if (!inSpace(address))
            throw std::runtime_error(std::string("the fleet does not fit in ") + space + " from the first address");
        SimControllerState s = generatedIdentity(i, std::uint32_t(address++));
        describeGenerated(s, i, rng);
        placeGenerated(s, i);
        if (i == 5)
            makeFactoryNew(s);
        s.connected = i < options.connected;
        fleet.controllers.push_back(std::move(s));
    }
    return fleet;
}

}  // namespace zelmar::sim
