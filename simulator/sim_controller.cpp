#include "simulator/sim_controller.h"

#include <atomic>

#include "platform/netservice/wire/ipv4.h"
#include "simulator/controller_rules.h"

namespace zelmar::sim {

namespace wire = net::wire;
namespace ipv4 = net::ipv4;
using net::platform::Endpoint;
using wire::Message;
using wire::MsgType;

namespace {
constexpr int kMaxSpreadMs = 2000;

std::uint32_t ipOr0(const std::string& text) { return ipv4::parse(text).value_or(0); }

const char* typeName(MsgType t) {
    switch (t) {
    case MsgType::Search: return "Search";
    case MsgType::SearchAck: return "SearchAck";
    case MsgType::Setup: return "Setup";
    case MsgType::CheckNetwork: return "CheckNetwork";
    case MsgType::Mark: return "Mark";
    case MsgType::Read: return "Read";
    case MsgType::UpgradeStart: return "UpgradeStart";
    case MsgType::UpgradeData: return "UpgradeData";
    case MsgType::UpgradeCommit: return "UpgradeCommit";
    case MsgType::UpgradeAbort: return "UpgradeAbort";
    default: return "Reply";
    }
}
}  // namespace

SimController::SimController(SimControllerState s) : state(std::move(s)) {
    if (const auto mac = wire::parseEthernet(state.ethernetAddress))
        mac_ = *mac;
    SimCrypto::adoptPassword(state);  // keeps the key derived from it, never the password
}

namespace {
std::atomic<bool> g_anyAddress{false};
}

void SimController::allowAnyAddress(bool on) { g_anyAddress = on; }

bool SimController::validState(const SimControllerState& s, std::string* why) {
    auto fail = [why](const std::string& w) {
        if (why)
            *why = w;
        return false;
    };
    // Every text must be one the controller can send: an answer with a control
    // character in it would be dropped by every client.
    if (s.serialNo.empty())
        return fail("serialNo is empty");
    if (const std::string p = wire::textProblem(wire::TagSerialNo, s.serialNo); !p.empty())
        return fail("serialNo " + p);
    const std::pair<const char*, std::pair<std::uint16_t, const std::string*>> texts[] = {
        {"name", {wire::TagName, &s.name}},
        {"description", {wire::TagDescription, &s.description}},
        {"dnsName", {wire::TagDnsName, &s.dnsName}},
        {"mainComputerAddress", {wire::TagMainComputer, &s.mainComputerAddress}},
        {"portOsRevision", {wire::TagPortOsRevision, &s.portOsRevision}},
    };
    for (const auto& [field, item] : texts)
        if (const std::string p = wire::textProblem(item.first, *item.second); !p.empty())
            return fail(s.serialNo + ": " + field + " " + p);
    if (!wire::parseEthernet(s.ethernetAddress))
        return fail(s.serialNo + ": bad ethernetAddress \"" + s.ethernetAddress + "\"");
    const auto a = ipv4::parse(s.address);
    if (!a)
        return fail(s.serialNo + ": address \"" + s.address + "\" is not an IPv4 address");
    if (!g_anyAddress && !ipv4::isLoopback(*a))
        return fail(s.serialNo + ": address \"" + s.address + "\" is not in 127.0.0.0/8");
    const std::pair<const char*, const std::string*> addresses[] = {
        {"ipAddress", &s.ipAddress},           {"subnetMask", &s.subnetMask},
        {"gateway", &s.gateway},               {"dnsServer", &s.dnsServer},
        {"configIpAddress", &s.configIpAddress}, {"configSubnetMask", &s.configSubnetMask},
        {"configGateway", &s.configGateway},   {"configDnsServer", &s.configDnsServer},
    };
    for (const auto& [field, text] : addresses)
        if (!ipv4::parse(*text))
            return fail(s.serialNo + ": " + field + " is not an IPv4 address");
    return SimCrypto::validState(s, why);
}

wire::ControllerInfo SimController::info() const {
    wire::ControllerInfo i;
    i.serialNo = state.serialNo;
    i.ethernet = mac_;
    i.name = state.name;
    i.description = state.description;
    i.dnsName = state.dnsName;
    i.mainComputerAddress = state.mainComputerAddress;
    i.ipAddress = ipOr0(state.ipAddress);
    i.subnetMask = ipOr0(state.subnetMask);
    i.gateway = ipOr0(state.gateway);
    i.dnsServer = ipOr0(state.dnsServer);
    i.useDhcp = state.useDhcp;
    i.requireEncryption = state.requireEncryption;
    i.connected = state.connected;
    i.passwordOk = true;
    i.capabilities = state.capabilities;
    i.modelCode = state.modelCode;
    i.portOsType = state.portOsType;
    i.portOsRevision = state.portOsRevision;
    return i;
}

std::vector<std::uint8_t> SimController::reply(MsgType type, std::uint32_t id, wire::Status status,
                                               std::uint16_t badField, bool withInfo) const {
    Message m;
    m.type = type;
    m.requestId = id;
    m.addU8(wire::TagStatus, std::uint8_t(status));
    if (badField)
        m.addU16(wire::TagBadField, badField);
    if (withInfo) {
        wire::putControllerInfo(m, info());
    } else {
        m.add(wire::TagSerialNo, state.serialNo);
        m.addEthernet(wire::TagEthernet, mac_);
    }
    return wire::encode(m);
}

namespace {
bool isTransaction(MsgType t) { return t == MsgType::Setup || t == MsgType::CheckNetwork || t == MsgType::Mark; }

// Why a request in clear is not for this controller; nullptr when it is.
const char* notOurs(const Message& m, const wire::Ethernet& mac) {
    if (wire::isReply(m.type))
        return "a reply sent to a controller";
    // A request meant for another controller (by Ethernet address) is not ours.
    if (m.has(wire::TagTargetEthernet)) {
        const auto target = m.ethernet(wire::TagTargetEthernet);
        if (!target || *target != mac)
            return "for another controller";
    } else if (isTransaction(m.type)) {
        return "transaction without a target";
    }
    return nullptr;
}

// "Setup id=7" from the header of a well-formed datagram.
std::string requestLabel(const std::uint8_t* data) {
    const std::uint32_t id = (std::uint32_t(data[8]) << 24) | (std::uint32_t(data[9]) << 16) |
                             (std::uint32_t(data[10]) << 8) | data[11];
    return std::string(typeName(MsgType(data[5]))) + " id=" + std::to_string(id);
}

SimController::Result dropped(const std::string& why) {
    SimController::Result r;
    r.dropped = why;
    return r;
}

SimController::Result answered(const Endpoint& to, std::vector<std::uint8_t> bytes, std::string log) {
    SimController::Result r;
    r.out.push_back({to, std::move(bytes), 0});
    r.log = std::move(log);
    return r;
}
}  // namespace

SimController::Result SimController::handle(const std::uint8_t* data, std::size_t size, const Endpoint& from,
                                            std::mt19937& rng) {
    // A sealed request is opened first (or answered at once, or dropped); what follows sees it in clear.
    SimCrypto::Inbound sealed = crypto_.receive(state, mac_, data, size, from);
    if (sealed.kind == SimCrypto::Inbound::Drop)
        return dropped(sealed.why);
    if (sealed.kind == SimCrypto::Inbound::Answer)
        return answered(from, std::move(sealed.answer), requestLabel(data) + " " + sealed.why);
    const bool isSealed = sealed.kind == SimCrypto::Inbound::Opened;
    Message m;
    if (isSealed)
        m = std::move(sealed.msg);
    else if (const auto err = wire::decode(data, size, m); err != wire::DecodeError::None)
        return dropped(wire::toString(err));  // dropped without a word to the sender
    if (const char* why = notOurs(m, mac_))
        return dropped(why);
    const Request q{m, from, rng};
    std::optional<Result> early = isSealed ? std::nullopt : refusedInClear(q);
    if (!early)
        early = repeatedTransaction(q);
    if (early)
        return std::move(*early);
    Result r = dispatch(q);
    finish(r, q, isSealed ? &sealed : nullptr);
    return r;
}

std::optional<SimController::Result> SimController::refusedInClear(const Request& q) {
    // What a controller that requires encryption takes only sealed, and a key ever, is refused in clear.
    auto refusal = crypto_.refuseClear(state, mac_, q.m);
    if (!refusal)
        return std::nullopt;
    if (refusal->empty())
        return dropped("refused in clear");
    return answered(q.from, std::move(*refusal),
                    std::string(typeName(q.m.type)) + " id=" + std::to_string(q.m.requestId) + " refused: not sealed");
}

std::optional<SimController::Result> SimController::repeatedTransaction(const Request& q) {
    // A repeated transaction is answered from memory and never applied twice.
    if (!isTransaction(q.m.type))
        return std::nullopt;
    const std::vector<std::uint8_t>* before = transactions_.answer(q.from, q.m.requestId, q.m.type);
    if (!before)
        return std::nullopt;
    if (q.m.type == MsgType::Setup)
        ++state.setupRetransmits;
    return answered(q.from, *before,
                    std::string(typeName(q.m.type)) + " id=" + std::to_string(q.m.requestId) + " repeated");
}

SimController::Result SimController::dispatch(const Request& q) {
    static constexpr std::pair<MsgType, Handler> kHandlers[] = {
        {MsgType::Search, &SimController::onSearch},         {MsgType::SearchAck, &SimController::onSearchAck},
        {MsgType::Setup, &SimController::onSetup},           {MsgType::CheckNetwork, &SimController::onCheck},
        {MsgType::Mark, &SimController::onMark},             {MsgType::Read, &SimController::onRead},
        {MsgType::UpgradeStart, &SimController::onUpgrade},  {MsgType::UpgradeData, &SimController::onUpgrade},
        {MsgType::UpgradeCommit, &SimController::onUpgrade}, {MsgType::UpgradeAbort, &SimController::onUpgrade},
    };
    for (const auto& [type, handler] : kHandlers)
        if (type == q.m.type)
            return (this->*handler)(q);
    return {};
}

void SimController::finish(Result& r, const Request& q, const SimCrypto::Inbound* sealed) {
    if (sealed) {
        // Answers to a sealed request leave sealed with the key that opened it.
        for (Outgoing& o : r.out)
            crypto_.sealReply(o.bytes, *sealed, mac_, q.from);
        if (!r.log.empty())
            r.log += " (sealed)";
    }
    for (Outgoing& o : r.out)
        o.to = q.from;  // answers go to whoever asked, whatever our own IP settings
    if (isTransaction(q.m.type) && !r.out.empty())
        transactions_.keep(q.from, q.m.requestId, q.m.type, r.out.front().bytes);
}

SimController::Result SimController::onSearch(const Request& q) {
    const Message& m = q.m;
    Result r;
    const std::uint16_t flags = m.u16(wire::TagSearchFlags).value_or(0);
    if ((flags & wire::SearchConnectedOnly) && !state.connected) {
        r.dropped = "not connected";
        return r;
    }
    if (const std::string* filter = m.find(wire::TagSerialFilter)) {
        if (!wire::serialMatches(*filter, state.serialNo)) {
            r.dropped = "another serial number";
            return r;
        }
    }
    // The asker has our answer: stay quiet in its retransmission rounds, and while our answer
    // still waits to go out. Asked again after an answer not acknowledged, it may have been
    // lost: answer again.
    const auto now = now_ ? now_() : std::chrono::steady_clock::now();
    if (searches_.acknowledged(q.from, m.requestId) || searches_.answerWaiting(q.from, m.requestId, now))
        return r;
    const int spread = std::min<int>(m.u16(wire::TagAnswerSpreadMs).value_or(0), kMaxSpreadMs);
    const int delay = spread > 0 ? std::uniform_int_distribution<int>(0, spread)(q.rng) : 0;
    searches_.note(q.from, m.requestId, now + std::chrono::milliseconds(delay));
    Message reply;
    reply.type = MsgType::SearchReply;
    reply.requestId = m.requestId;
    crypto_.describe(reply, info(), state, q.from);  // only its identity while it requires encryption
    if (state.answerTiming) {
        // Which round it answers and how long it waited: the asker learns the round trip and the loss.
        if (const auto round = m.u8(wire::TagSearchRound))
            reply.addU8(wire::TagAnsweredRound, *round);
        reply.addU16(wire::TagAnswerWaitMs, std::uint16_t(delay));
    }
    r.out.push_back({q.from, wire::encode(reply), delay});
    ++state.searchesAnswered;
    r.log = "Search id=" + std::to_string(m.requestId) + (flags ? " connected-only" : "") +
            (m.has(wire::TagSerialFilter) ? " serial=" + *m.find(wire::TagSerialFilter) : std::string()) +
            " answered after " + std::to_string(delay) + "ms";
    return r;
}

SimController::Result SimController::onSearchAck(const Request& q) {
    searches_.acknowledge(q.from, q.m.requestId);
    return {};  // acks are not logged: one per answer would drown the log
}

SimController::Result SimController::onSetup(const Request& q) {
    const Message& m = q.m;
    Result r;
    ++state.setupsReceived;
    wire::SetupFields fields;
    SetupVerdict verdict;
    SimControllerState after;
    if (const std::uint16_t bad = wire::readSetupFields(m, fields))
        verdict = {wire::Status::Invalid, bad};
    else
        verdict = checkSetup(state, fields, after);
    if (verdict.status == wire::Status::Ok) {
        // All fields or none: the new state replaces the old one in one step, once it is stored.
        after.setupsApplied = state.setupsApplied + 1;
        if (store_ && !store_(after))
            verdict = {wire::Status::NotStored, 0};
        else
            state = std::move(after);
    }
    if (verdict.status != wire::Status::Ok)
        ++state.setupsRejected;
    r.out.push_back({{}, reply(MsgType::SetupReply, m.requestId, verdict.status, verdict.badField, true), 0});
    // An applied setup says the address the controller answers on now, so that a log replayed tells who held what when.
    r.log = "Setup id=" + std::to_string(m.requestId) + " " +
            (verdict.status == wire::Status::Ok ? "applied ip=" + state.ipAddress + (state.useDhcp ? " dhcp" : "")
                                                : "rejected status=" + std::to_string(int(verdict.status)) +
                                                      " field=" + std::to_string(verdict.badField));
    return r;
}

SimController::Result SimController::onCheck(const Request& q) {
    const Message& m = q.m;
    Result r;
    ++state.checksReceived;
    wire::SetupFields fields;
    std::uint32_t problems = 0;
    if (wire::readSetupFields(m, fields) != 0)
        problems = wire::CheckAddressInvalid;
    else
        problems = checkNetworkFit(state, fields);
    Message reply;
    reply.type = MsgType::CheckReply;
    reply.requestId = m.requestId;
    reply.addU8(wire::TagStatus, std::uint8_t(wire::Status::Ok));
    reply.add(wire::TagSerialNo, state.serialNo);
    reply.addEthernet(wire::TagEthernet, mac_);
    reply.addU32(wire::TagCheckResult, problems);
    r.out.push_back({{}, wire::encode(reply), 0});
    r.log = "CheckNetwork id=" + std::to_string(m.requestId) + " problems=" + std::to_string(problems);
    return r;
}

SimController::Result SimController::onMark(const Request& q) {
    const Message& m = q.m;
    Result r;
    const auto on = m.u8(wire::TagMarked);
    if (!on || *on > 1) {
        r.dropped = "bad Marked item";
        return r;
    }
    state.marked = *on == 1;
    ++(state.marked ? state.markCount : state.unmarkCount);
    r.changed = true;  // written after the answer: a lost mark costs nothing but the lamp
    Message reply;
    reply.type = MsgType::MarkReply;
    reply.requestId = m.requestId;
    reply.addU8(wire::TagStatus, std::uint8_t(wire::Status::Ok));
    reply.add(wire::TagSerialNo, state.serialNo);
    reply.addEthernet(wire::TagEthernet, mac_);
    reply.addU8(wire::TagMarked, state.marked ? 1 : 0);
    r.out.push_back({{}, wire::encode(reply), 0});
    r.log = std::string(state.marked ? "Mark" : "Unmark") + " id=" + std::to_string(m.requestId);
    return r;
}

SimController::Result SimController::onUpgrade(const Request& q) {
    Result r;
    if (!q.m.has(wire::TagTargetEthernet)) {
        r.dropped = "upgrade request without a target";
        return r;
    }
    SimUpgrade::Result u = upgrade_.handle(q.m, q.from, state, mac_, store_);
    r.dropped = std::move(u.dropped);
    r.log = std::move(u.log);
    if (!u.reply.empty())
        r.out.push_back({q.from, std::move(u.reply), 0});
    if (u.switched) {
        // The new revision was stored before the reply was made.
        r.restartMs = std::max(0, state.restartMs);
    }
    return r;
}

SimController::Result SimController::onRead(const Request& q) {
    const Message& m = q.m;
    // Only ever reached sealed: the whole description for a client that has the key.
    Result r;
    Message reply;
    reply.type = MsgType::ReadReply;
    reply.requestId = m.requestId;
    reply.addU8(wire::TagStatus, std::uint8_t(wire::Status::Ok));
    wire::putControllerInfo(reply, info());
    r.out.push_back({{}, wire::encode(reply), 0});
    r.log = "Read id=" + std::to_string(m.requestId);
    return r;
}

}  // namespace zelmar::sim
