#include "platform/netservice/service_core.h"

#include <algorithm>
#include <random>

#include "platform/netservice/search/adapters.h"
#include "platform/netservice/wire/ipv4.h"
#include "platform/netservice/net_service.h"
#include "platform/netservice/wait_until.h"

namespace zelmar::net {

using platform::Endpoint;
using wire::Message;
using wire::MsgType;

namespace {
constexpr std::size_t kTargetLimit = 65536;     // hosts one target or one network may name
constexpr std::size_t kTotalTargetLimit = 262144;
}  // namespace

ServiceCore::ServiceCore(ServiceConfig config) : config_(std::move(config)), buffer_(wire::kMaxDatagram + 1) {
    std::random_device rd;
    requestId_ = rd();
}

std::uint32_t ServiceCore::nextRequestId() {
    if (++requestId_ == 0)
        ++requestId_;
    return requestId_;
}

void ServiceCore::ensureSocket() {
    if (socket_)
        return;
    const auto bindAddress = ipv4::parse(config_.bindAddress);
    if (!bindAddress)
        throw ServiceError("bindAddress \"" + config_.bindAddress + "\" is not an IPv4 address");
    if (!config_.allowNonLoopback && !ipv4::isLoopback(*bindAddress))
        throw ServiceError("bindAddress must be in 127.0.0.0/8 unless allowNonLoopback is set");
    std::string error;
    socket_ = platform::UdpSocket::bind(*bindAddress, 0, &error);
    if (!socket_)
        throw ServiceError("cannot open the service socket: " + error);
    socket_->setReceiveBuffer(config_.receiveBufferBytes);
    socket_->setSendBuffer(1 << 20);
    socket_->setBroadcast(true);  // directed and limited broadcasts of the "adapters" target
}

bool ServiceCore::sendAllowed(std::uint32_t address) const {
    return config_.allowNonLoopback || ipv4::isLoopback(address);
}

bool ServiceCore::sendMessage(const Endpoint& to, const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty() || !sendAllowed(to.address)) {  // an empty datagram is never sent
        ++stats_.datagramsDropped;
        return false;
    }
    ++stats_.datagramsSent;
    return socket_->sendTo(to, bytes.data(), bytes.size());
}

std::optional<std::uint32_t> ServiceCore::resolve(const std::string& address) {
    if (const auto a = ipv4::parse(address))
        return a;
    if (!ipv4::isDnsName(address))  // the only names worth handing to the resolver
        return std::nullopt;
    return platform::resolveName(address, !config_.allowNonLoopback);
}

void ServiceCore::clearCriteria() {
    addresses_.clear();
    networkSearch_ = false;
    serialSearch_ = false;
    serialForSearch_.clear();
}

bool ServiceCore::isValidAddress(const std::string& address) {
    const auto a = resolve(address);
    return a && *a != 0 && *a != 0xFFFFFFFFu;
}

void ServiceCore::addAddress(const std::string& address) {
    const auto a = resolve(address);
    if (!a)
        throw ServiceError(address + " is not a valid IP address or known host name");
    if (addresses_.size() < kTotalTargetLimit)
        addresses_.push_back(*a);
}

void ServiceCore::addNetwork(const std::string& address, const std::string& mask) {
    const auto a = resolve(address);
    if (!a)
        throw ServiceError(address + " is not a valid IP address or known host name");
    const auto m = ipv4::parseMask(mask);
    if (!m) {
        // Not a usable mask: the address itself is still searched.
        addAddress(address);
        return;
    }
    // Wider networks are narrowed to the /16 around the address (65,534 hosts).
    const int prefix = std::max(*ipv4::prefixLength(*m), 16);
    const auto hosts = ipv4::expandTarget(ipv4::format(*a) + "/" + std::to_string(prefix), kTargetLimit);
    if (!hosts)
        return;
    for (std::uint32_t h : *hosts) {
        if (addresses_.size() >= kTotalTargetLimit)
            break;
        addresses_.push_back(h);
    }
    networkSearch_ = true;
}

TargetSet ServiceCore::searchTargets() {
    TargetSet out;
    for (const auto& t : config_.searchTargets) {
        if (t == kAdaptersTarget) {
            // Looked at anew for every search: a cable plugged in since counts.
            addAdapterTargets(listAdapters(), out);
            continue;
        }
        const auto hosts = ipv4::expandTarget(t, kTargetLimit);
        if (!hosts)
            throw ServiceError("search target \"" + t + "\" is not \"adapters\" or an address, range or network of at most 65536 hosts");
        for (std::uint32_t h : *hosts)
            if (out.addresses.size() < kTotalTargetLimit)
                out.addresses.push_back(h);
    }
    return out;
}

bool ServiceCore::sendLimitedBroadcast(unsigned interfaceIndex, const std::vector<std::uint8_t>& bytes) {
    if (!sendAllowed(kLimitedBroadcast)) {
        ++stats_.datagramsDropped;
        return false;
    }
    ++stats_.datagramsSent;
    return socket_->sendThrough(interfaceIndex, {kLimitedBroadcast, config_.port}, bytes.data(), bytes.size());
}

bool ServiceCore::receiveOne(Message& msg, Endpoint& from, bool& usable) {
    const long n = socket_->receiveFrom(buffer_.data(), buffer_.size(), from);
    if (n < 0)
        return false;
    ++stats_.datagramsReceived;
    usable = std::size_t(n) <= wire::kMaxDatagram && decodeReply(buffer_.data(), std::size_t(n), msg) &&
             wire::isReply(msg.type);
    if (!usable)
        ++stats_.datagramsDropped;
    return true;
}

void ServiceCore::addSerialNoSearch() {
    if (const std::string problem = wire::textProblem(wire::TagSerialFilter, searchSerialNo); !problem.empty())
        throw ServiceError("the serial number to look for " + problem + "; nothing was sent");
    serialSearch_ = true;
    serialForSearch_ = searchSerialNo;
}

ServiceCore::Record& ServiceCore::recordForWrite(std::int32_t index) {
    if (index < 0 || index >= count())
        throw ServiceError("controller index " + std::to_string(index) + " is not among the " +
                           std::to_string(count()) + " entries");
    return records_[std::size_t(index)];
}

ServiceCore::Record& ServiceCore::record(std::int32_t index) {
    if (config_.failEntryReadsAfter >= 0 && reads_ >= config_.failEntryReadsAfter)
        throw ServiceError("entry read failed (fault injection after " + std::to_string(config_.failEntryReadsAfter) +
                           " reads)");
    Record& r = recordForWrite(index);
    ++reads_;
    return r;
}

std::vector<std::uint8_t> ServiceCore::encodeRequest(std::int32_t index, Message& request) {
    request.requestId = nextRequestId();
    request.addEthernet(wire::TagTargetEthernet, recordForWrite(index).info.ethernet);
    return sealRequest(index, wire::encode(request));
}

wire::ControllerInfo ServiceCore::upgradeTarget(std::int32_t index) {
    recordForWrite(index);
    ensureSocket();
    return records_[std::size_t(index)].info;
}

bool ServiceCore::sendOnce(std::int32_t index, Message& request) {
    const auto bytes = encodeRequest(index, request);
    return sendMessage(records_[std::size_t(index)].source, bytes);
}

void ServiceCore::restartsFor(std::int32_t index, int ms) {
    recordForWrite(index).restartUntil = Clock::now() + std::chrono::milliseconds(ms);
}

std::optional<Message> ServiceCore::exchange(std::int32_t index, Message request, MsgType replyType, int timeoutMs) {
    ensureSocket();
    recordForWrite(index);
    std::optional<PendingRequest> pending = startRequest(index, request);
    if (!pending)
        return std::nullopt;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(timeoutMs >= 0 ? timeoutMs : config_.lookupTimeoutMs);
    int attempts = 0;
    std::optional<TargetSet> fallback;
    while (Clock::now() < deadline) {
        if (pending->resend.due(Clock::now())) {
            sendAttempt(*pending, ++attempts, fallback);
            pending->resend.sent(Clock::now());
        }
        socket_->waitReadable(std::min(msUntil(pending->resend.next), msUntil(deadline)));
        if (auto reply = receiveReplyTo(*pending, replyType, deadline))
            return reply;
    }
    return std::nullopt;
}

std::optional<PendingRequest> ServiceCore::startRequest(std::int32_t index, Message& request) {
    records_[std::size_t(index)].notSent = mustNotSend(index, request.type);
    if (!records_[std::size_t(index)].notSent.empty())
        return std::nullopt;
    auto bytes = encodeRequest(index, request);
    if (bytes.empty()) {
        records_[std::size_t(index)].notSent = "the request does not fit in one datagram";
        return std::nullopt;
    }
    return PendingRequest{index, std::move(bytes), request.requestId, ResendBackoff(config_.retransmitMs, Clock::now())};
}

void ServiceCore::sendAttempt(const PendingRequest& request, int attempt, std::optional<TargetSet>& fallback) {
    const Endpoint source = records_[std::size_t(request.index)].source;
    sendMessage(source, request.bytes);
    if (attempt < 3)
        return;
    // Not where it answered last (moved, or an address the workstation cannot reach):
    // ask through the search targets; the target Ethernet address keeps the others out.
    if (!fallback)
        fallback = searchTargets();
    for (std::uint32_t a : fallback->addresses)
        if (a != source.address)
            sendMessage({a, config_.port}, request.bytes);
    for (unsigned via : fallback->limitedBroadcastVia)
        sendLimitedBroadcast(via, request.bytes);
}

std::optional<Message> ServiceCore::receiveReplyTo(PendingRequest& request, MsgType replyType,
                                                   Clock::time_point deadline) {
    const wire::Ethernet target = records_[std::size_t(request.index)].info.ethernet;
    Message msg;
    Endpoint from;
    bool usable = false;
    int taken = 0;
    while (receiveOne(msg, from, usable)) {
        if (++taken % 256 == 0 && Clock::now() >= deadline)
            break;
        if (!usable)
            continue;
        if (msg.type != replyType || msg.requestId != request.requestId || msg.ethernet(wire::TagEthernet) != target) {
            ++stats_.datagramsDropped;  // a late answer, or one from another controller
            continue;
        }
        if (sealedReplyAction(msg, request) != crypto::ReplyAction::Take)
            continue;
        records_[std::size_t(request.index)].source = from;
        return msg;
    }
    return std::nullopt;
}

void ServiceCore::apply(std::int32_t index) {
    Record& r = recordForWrite(index);
    wire::SetupFields fields = std::move(r.held);
    r.held = wire::SetupFields{};
    r.setupOk = false;
    r.setupStatus = wire::Status::Ok;
    r.setupBadField = 0;
    r.notSent.clear();
    if (fields.empty()) {
        r.setupOk = true;  // nothing held: nothing to send, nothing refused
        r.setupOutcome = SetupOutcome::Confirmed;
        return;
    }
    if (refusedBeforeSending(index, fields))
        return;
    // The encryption password becomes the controller's key and travels only sealed (crypto_service.cpp).
    prepareSetup(index, fields);
    Message request;
    request.type = MsgType::Setup;
    wire::putSetupFields(request, fields);
    if (const auto reply = exchange(index, std::move(request), MsgType::SetupReply))
        takeSetupReply(index, *reply);
    else
        settleUnansweredSetup(index, fields);
    finishSetup(index, fields);
}

bool ServiceCore::refusedBeforeSending(std::int32_t index, const wire::SetupFields& fields) {
    // Refused here rather than by the controller: a value it must drop, or settings that
    // would travel in clear to a controller that requires encryption, never leave.
    Record& r = records_[std::size_t(index)];
    std::string problem;
    if (const std::uint16_t bad = wire::unsendableSetupField(fields, problem)) {
        r.notSent = wire::itemName(bad) + " " + problem;
        r.setupOutcome = SetupOutcome::Refused;
        r.setupStatus = wire::Status::Invalid;
        r.setupBadField = bad;
        return true;
    }
    if (r.notSent = mustNotSend(index, MsgType::Setup); !r.notSent.empty()) {
        r.setupOutcome = SetupOutcome::Refused;
        r.setupStatus = wire::Status::Refused;
        return true;
    }
    return false;
}

void ServiceCore::takeSetupReply(std::int32_t index, const Message& reply) {
    Record& r = records_[std::size_t(index)];
    const auto status = reply.u8(wire::TagStatus);
    r.setupOk = status && *status == std::uint8_t(wire::Status::Ok);
    r.setupOutcome = r.setupOk ? SetupOutcome::Confirmed : SetupOutcome::Refused;
    if (!r.setupOk) {
        r.setupStatus = status ? wire::Status(*status) : wire::Status::Invalid;
        r.setupBadField = reply.u16(wire::TagBadField).value_or(0);
    }
    wire::ControllerInfo info;
    if (r.setupOk && wire::readControllerInfo(reply, info) && info.ethernet == r.info.ethernet)
        r.info = std::move(info);
}

void ServiceCore::settleUnansweredSetup(std::int32_t index, const wire::SetupFields& asked) {
    if (Record& r = records_[std::size_t(index)]; !r.notSent.empty()) {
        r.setupOutcome = SetupOutcome::Refused;  // it never left (too large for one datagram)
        r.setupStatus = wire::Status::Invalid;
        return;
    }
    // Applied with its answer lost, or never arrived: only the controller can tell.
    // (The lookup may append records: no reference to one is held across it.)
    const SetupOutcome outcome = verifySetup(index, asked);
    records_[std::size_t(index)].setupOutcome = outcome;
    records_[std::size_t(index)].setupOk = outcome == SetupOutcome::Confirmed;
}

bool ServiceCore::checkNetwork(std::int32_t index, std::int32_t& detail) {
    ensurePublicKey(index);  // held settings that switch encryption on travel sealed (crypto_service.cpp)
    const Record& r = recordForWrite(index);
    wire::SetupFields ip;
    ip.useDhcp = r.held.useDhcp;
    ip.configIpAddress = r.held.configIpAddress;
    ip.configSubnetMask = r.held.configSubnetMask;
    ip.configGateway = r.held.configGateway;
    ip.configDnsServer = r.held.configDnsServer;
    std::string problem;
    if (const std::uint16_t bad = wire::unsendableSetupField(ip, problem)) {
        records_[std::size_t(index)].notSent = wire::itemName(bad) + " " + problem;
        return false;
    }
    Message request;
    request.type = MsgType::CheckNetwork;
    wire::putSetupFields(request, ip);
    const auto reply = exchange(index, std::move(request), MsgType::CheckReply);
    if (!reply)
        return false;
    const auto result = reply->u32(wire::TagCheckResult);
    if (!result)
        return false;
    records_[std::size_t(index)].fitsNetwork = *result == 0;
    detail = std::int32_t(*result);
    return true;
}

bool ServiceCore::mark(std::int32_t index, bool on) {
    recordForWrite(index);
    Message request;
    request.type = MsgType::Mark;
    request.addU8(wire::TagMarked, on ? 1 : 0);
    const auto reply = exchange(index, std::move(request), MsgType::MarkReply);
    // Only the controller's own word counts: Ok, and the state asked for.
    return reply && reply->u8(wire::TagStatus) == std::uint8_t(wire::Status::Ok) &&
           reply->u8(wire::TagMarked) == std::uint8_t(on ? 1 : 0);
}

}  // namespace zelmar::net
