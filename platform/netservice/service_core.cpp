#include "platform/netservice/service_core.h"

#include <algorithm>
#include <random>

#include "platform/netservice/adapters.h"
#include "platform/netservice/ipv4.h"
#include "platform/netservice/net_service.h"
#include "platform/netservice/search_timing.h"

namespace zelmar::net {

using platform::Endpoint;
using wire::Message;
using wire::MsgType;

namespace {
constexpr std::size_t kTargetLimit = 65536;     // hosts one target or one network may name
constexpr std::size_t kTotalTargetLimit = 262144;
constexpr std::size_t kSendBurst = 64;          // datagrams sent between two looks at the receive queue

int msUntil(ServiceCore::Clock::time_point t) {
    const auto now = ServiceCore::Clock::now();
    if (t <= now)
        return 0;
    // Capped: "never" (time_point::max()) must not overflow.
    const auto d = std::chrono::duration_cast<std::chrono::microseconds>(t - now).count();
    return int(std::min<long long>((d + 999) / 1000, 3600 * 1000));
}

}  // namespace

struct ServiceCore::SearchPlan {
    std::vector<std::uint32_t> destinations;
    std::vector<std::uint32_t> hints;  // asked first: where the controller last answered
    std::vector<unsigned> limitedBroadcastVia;  // every round also goes to 255.255.255.255 through these adapters
    std::uint16_t flags = 0;
    std::optional<std::string> serialFilter;
    bool lookup = false;              // ends on the first matching answer / when every address answered
    bool endWhenAllAnswered = false;
    int timeoutMs = 0;
};

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

std::int32_t ServiceCore::takeReply(const Message& msg, const Endpoint& from) {
    wire::ControllerInfo info;
    if (!wire::readControllerInfo(msg, info)) {
        ++stats_.datagramsDropped;
        return -1;
    }
    const auto it = byEthernet_.find(info.ethernet);
    if (it != byEthernet_.end()) {
        Record& r = records_[std::size_t(it->second)];
        r.info = std::move(info);
        r.source = from;
        r.heardInSearch = searchNo_;
        r.heardAt = Clock::now();
        notePeer(it->second, msg);
        return it->second;
    }
    if (std::int32_t(records_.size()) >= kMaxRecords) {
        ++stats_.datagramsDropped;
        return -1;
    }
    Record r;
    r.info = std::move(info);
    r.source = from;
    r.heardInSearch = searchNo_;
    r.heardAt = Clock::now();
    records_.push_back(std::move(r));
    const auto index = std::int32_t(records_.size() - 1);
    byEthernet_.emplace(records_.back().info.ethernet, index);
    notePeer(index, msg);
    return index;
}

void ServiceCore::addSerialNoSearch() {
    if (const std::string problem = wire::textProblem(wire::TagSerialFilter, searchSerialNo); !problem.empty())
        throw ServiceError("the serial number to look for " + problem + "; nothing was sent");
    serialSearch_ = true;
    serialForSearch_ = searchSerialNo;
}

void ServiceCore::search() {
    ensureSocket();
    SearchPlan plan;
    if (serialSearch_) {
        plan.serialFilter = serialForSearch_;
        plan.lookup = true;
        plan.timeoutMs = config_.lookupTimeoutMs;
        if (addresses_.empty()) {
            TargetSet targets = searchTargets();
            plan.destinations = std::move(targets.addresses);
            plan.limitedBroadcastVia = std::move(targets.limitedBroadcastVia);
        } else {
            plan.destinations = addresses_;
        }
        for (const Record& r : records_)
            if (wire::serialMatches(serialForSearch_, r.info.serialNo)) {
                plan.hints.push_back(r.source.address);
                // Restarting after a port OS upgrade: the lookup waits out the restart it was told of.
                plan.timeoutMs = std::max(plan.timeoutMs, msUntil(r.restartUntil) + config_.lookupTimeoutMs);
            }
        // Where it answered last is asked in every round, not only first: a controller added by
        // address lies outside the targets, and after an upgrade it is silent until its restart is over.
        plan.destinations.insert(plan.destinations.end(), plan.hints.begin(), plan.hints.end());
    } else if (!addresses_.empty()) {
        plan.destinations = addresses_;
        plan.lookup = !networkSearch_;
        plan.endWhenAllAnswered = true;
        plan.timeoutMs = networkSearch_ ? config_.maxSearchMs : config_.lookupTimeoutMs;
    } else {
        TargetSet targets = searchTargets();
        plan.destinations = std::move(targets.addresses);
        plan.limitedBroadcastVia = std::move(targets.limitedBroadcastVia);
        plan.endWhenAllAnswered = true;
        plan.timeoutMs = config_.maxSearchMs;
        if (connectedMode)
            plan.flags |= wire::SearchConnectedOnly;
    }
    // Each address is asked once per round, however often it was added.
    std::sort(plan.destinations.begin(), plan.destinations.end());
    plan.destinations.erase(std::unique(plan.destinations.begin(), plan.destinations.end()), plan.destinations.end());
    const auto start = Clock::now();
    stats_.lastNewAnswerMs = 0;
    ++searchNo_;
    runSearch(plan);
    readSealedRecords();
    stats_.lastSearchMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void ServiceCore::runSearch(SearchPlan& plan) {
    const std::uint32_t id = nextRequestId();
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(plan.timeoutMs);
    const int spread0 = plan.lookup || plan.serialFilter ? 0 : config_.answerSpreadMs;

    auto request = [&](int spreadMs) {
        Message m;
        m.type = MsgType::Search;
        m.requestId = id;
        if (plan.flags)
            m.addU16(wire::TagSearchFlags, plan.flags);
        if (plan.serialFilter)
            m.add(wire::TagSerialFilter, *plan.serialFilter);
        m.addU16(wire::TagAnswerSpreadMs, std::uint16_t(spreadMs));
        return wire::encode(m);
    };

    std::unordered_set<std::uint32_t> answeredAddresses;
    std::unordered_set<std::int32_t> answeredRecords;
    std::unordered_set<std::uint32_t> wanted(plan.destinations.begin(), plan.destinations.end());
    std::size_t wantedAnswered = 0;
    bool done = false;
    // Broadcast and network searches measure round trips: when each destination was first asked.
    std::vector<Clock::time_point> firstAsked;
    SearchTiming* timingOfNewAnswers = nullptr;
    auto firstAskedAt = [&](std::uint32_t address) {
        const auto it = std::lower_bound(plan.destinations.begin(), plan.destinations.end(), address);
        if (it == plan.destinations.end() || *it != address)
            return start;  // an answer to a broadcast: asked when the search began
        return firstAsked[std::size_t(it - plan.destinations.begin())];
    };

    auto drain = [&] {
        Message msg;
        Endpoint from;
        bool usable = false;
        int taken = 0;
        while (!done && receiveOne(msg, from, usable)) {
            // A flood of datagrams must not hold the search past its bound.
            if (++taken % 256 == 0 && Clock::now() >= deadline)
                done = true;
            if (!usable)
                continue;
            if (msg.type != MsgType::SearchReply || msg.requestId != id) {
                ++stats_.datagramsDropped;  // a late answer to an earlier request
                continue;
            }
            const std::int32_t index = takeReply(msg, from);
            if (index < 0)
                continue;
            Message ack;
            ack.type = MsgType::SearchAck;
            ack.requestId = id;
            sendMessage(from, wire::encode(ack));
            // Only addresses that were asked are remembered, so the set stays as small as the target list.
            if (wanted.count(from.address) && answeredAddresses.insert(from.address).second)
                ++wantedAnswered;
            if (answeredRecords.insert(index).second) {
                const auto now = Clock::now();
                stats_.lastNewAnswerMs = std::chrono::duration<double, std::milli>(now - start).count();
                if (timingOfNewAnswers)
                    timingOfNewAnswers->newAnswer(now, now - firstAskedAt(from.address));
            }
            if (plan.serialFilter && wire::serialMatches(*plan.serialFilter, records_[std::size_t(index)].info.serialNo))
                done = true;
            if (plan.endWhenAllAnswered && wantedAnswered == wanted.size())
                done = true;
        }
    };

    // `askedAt`, when given, gets the time each address of `to` is asked.
    auto sendRound = [&](const std::vector<std::uint32_t>& to, int spreadMs,
                         std::vector<Clock::time_point>* askedAt = nullptr) {
        ++stats_.searchRounds;
        const auto bytes = request(spreadMs);
        std::size_t burst = 0;
        for (std::size_t i = 0; i < to.size(); ++i) {
            const std::uint32_t a = to[i];
            if (done)
                return;
            if (answeredAddresses.count(a))
                continue;  // this address has answered this search already
            if (askedAt)
                (*askedAt)[i] = Clock::now();
            sendMessage({a, config_.port}, bytes);
            if (++burst % kSendBurst == 0)
                drain();
        }
        if (&to == &plan.destinations)
            for (unsigned via : plan.limitedBroadcastVia)
                sendLimitedBroadcast(via, bytes);
        drain();
    };

    if (!plan.hints.empty()) {
        sendRound(plan.hints, 0);
        // The controller usually still sits where it answered last: give it a moment before asking everyone.
        const auto graceEnd = Clock::now() + std::chrono::milliseconds(std::max(5, config_.retransmitMs / 5));
        while (!done && Clock::now() < graceEnd) {
            socket_->waitReadable(msUntil(graceEnd));
            drain();
        }
    }
    if (done)
        return;

    if (plan.lookup || plan.serialFilter) {
        // Lookup: ask again with growing intervals until it answers or the time is up.
        int interval = config_.retransmitMs;
        auto nextRound = Clock::now();
        while (!done && Clock::now() < deadline) {
            if (Clock::now() >= nextRound) {
                const auto roundStart = Clock::now();
                sendRound(plan.destinations, 0);
                // A long list takes a while to ask and to answer: never ask again before that.
                const auto sendTime = Clock::now() - roundStart;
                nextRound = Clock::now() + std::max<Clock::duration>(std::chrono::milliseconds(interval), 2 * sendTime);
                interval = std::min(interval * 2, config_.retransmitMs * 8);
            }
            if (done)
                break;
            socket_->waitReadable(std::min(msUntil(nextRound), msUntil(deadline)));
            drain();
        }
        return;
    }

    // Broadcast or network search: its rounds and its end follow the round trips it sees.
    if (plan.destinations.empty())
        return;  // nothing to ask, nobody to wait for
    SearchTiming timing({spread0, config_.retransmitMs, config_.firstAnswerWaitMs, config_.maxSearchRounds});
    firstAsked.assign(plan.destinations.size(), start);
    timingOfNewAnswers = &timing;
    sendRound(plan.destinations, spread0, &firstAsked);
    timing.roundSent(Clock::now(), spread0);
    while (!done) {
        const auto end = std::min(timing.end(), deadline);
        const auto now = Clock::now();
        if (now >= end)
            break;
        const auto next = timing.nextRound();
        if (now >= next) {
            const int spread = timing.nextSpreadMs(double(wanted.size() - wantedAnswered) / double(wanted.size()));
            sendRound(plan.destinations, spread);
            timing.roundSent(Clock::now(), spread);
            continue;
        }
        socket_->waitReadable(std::min(msUntil(next), msUntil(end)));
        drain();
    }
}

bool ServiceCore::lookUpAgain(std::int32_t index) {
    ensureSocket();
    const auto start = Clock::now();
    const Record& r = recordForWrite(index);
    SearchPlan plan;
    plan.serialFilter = r.info.serialNo;
    plan.lookup = true;
    // Restarting after a port OS upgrade: the lookup waits out the restart it was told of.
    plan.timeoutMs = msUntil(r.restartUntil) + config_.lookupTimeoutMs;
    plan.hints.push_back(r.source.address);
    TargetSet targets = searchTargets();
    plan.destinations = std::move(targets.addresses);
    plan.limitedBroadcastVia = std::move(targets.limitedBroadcastVia);
    plan.destinations.push_back(r.source.address);  // also when it was added by address, outside the targets
    std::sort(plan.destinations.begin(), plan.destinations.end());
    plan.destinations.erase(std::unique(plan.destinations.begin(), plan.destinations.end()), plan.destinations.end());
    runSearch(plan);
    if (records_[std::size_t(index)].peer.needsRead)
        readSealedRecords();  // it requires encryption: the rest of its description comes sealed
    return records_[std::size_t(index)].heardAt >= start;
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
    const wire::Ethernet target = recordForWrite(index).info.ethernet;
    records_[std::size_t(index)].notSent = mustNotSend(index, request.type);
    if (!records_[std::size_t(index)].notSent.empty())
        return std::nullopt;
    auto bytes = encodeRequest(index, request);
    if (bytes.empty()) {
        records_[std::size_t(index)].notSent = "the request does not fit in one datagram";
        return std::nullopt;
    }
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(timeoutMs >= 0 ? timeoutMs : config_.lookupTimeoutMs);
    int interval = config_.retransmitMs;
    int attempts = 0;
    auto nextSend = Clock::now();
    TargetSet fallback;
    bool fallbackLoaded = false;
    while (Clock::now() < deadline) {
        if (Clock::now() >= nextSend) {
            sendMessage(records_[std::size_t(index)].source, bytes);
            if (++attempts >= 3) {
                // Not where it answered last (moved, or an address the workstation cannot reach):
                // ask through the search targets; the target Ethernet address keeps the others out.
                if (!fallbackLoaded) {
                    fallback = searchTargets();
                    fallbackLoaded = true;
                }
                for (std::uint32_t a : fallback.addresses)
                    if (a != records_[std::size_t(index)].source.address)
                        sendMessage({a, config_.port}, bytes);
                for (unsigned via : fallback.limitedBroadcastVia)
                    sendLimitedBroadcast(via, bytes);
            }
            nextSend = Clock::now() + std::chrono::milliseconds(interval);
            interval = std::min(interval * 2, 1000);
        }
        socket_->waitReadable(std::min(msUntil(nextSend), msUntil(deadline)));
        Message msg;
        Endpoint from;
        bool usable = false;
        int taken = 0;
        while (receiveOne(msg, from, usable)) {
            if (++taken % 256 == 0 && Clock::now() >= deadline)
                break;
            if (!usable)
                continue;
            if (msg.type != replyType || msg.requestId != request.requestId) {
                ++stats_.datagramsDropped;
                continue;
            }
            const auto mac = msg.ethernet(wire::TagEthernet);
            if (!mac || *mac != target) {
                ++stats_.datagramsDropped;
                continue;
            }
            if (sealedReplyAction(index, msg, bytes, request.requestId, nextSend) != crypto::ReplyAction::Take)
                continue;
            records_[std::size_t(index)].source = from;
            return msg;
        }
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
    // Refused here rather than by the controller: a value it must drop, or settings that
    // would travel in clear to a controller that requires encryption, never leave.
    std::string problem;
    if (const std::uint16_t bad = wire::unsendableSetupField(fields, problem)) {
        r.notSent = wire::itemName(bad) + " " + problem;
        r.setupOutcome = SetupOutcome::Refused;
        r.setupStatus = wire::Status::Invalid;
        r.setupBadField = bad;
        return;
    }
    if (r.notSent = mustNotSend(index, MsgType::Setup); !r.notSent.empty()) {
        r.setupOutcome = SetupOutcome::Refused;
        r.setupStatus = wire::Status::Refused;
        return;
    }
    // The encryption password becomes the controller's key and travels only sealed (crypto_service.cpp).
    prepareSetup(index, fields);
    Message request;
    request.type = MsgType::Setup;
    wire::putSetupFields(request, fields);
    const auto reply = exchange(index, std::move(request), MsgType::SetupReply);
    Record& after = records_[std::size_t(index)];
    if (reply) {
        const auto status = reply->u8(wire::TagStatus);
        after.setupOk = status && *status == std::uint8_t(wire::Status::Ok);
        after.setupOutcome = after.setupOk ? SetupOutcome::Confirmed : SetupOutcome::Refused;
        if (!after.setupOk) {
            after.setupStatus = status ? wire::Status(*status) : wire::Status::Invalid;
            after.setupBadField = reply->u16(wire::TagBadField).value_or(0);
        }
        wire::ControllerInfo info;
        if (after.setupOk && wire::readControllerInfo(*reply, info) && info.ethernet == after.info.ethernet)
            after.info = std::move(info);
    } else if (!after.notSent.empty()) {
        after.setupOutcome = SetupOutcome::Refused;  // it never left (too large for one datagram)
        after.setupStatus = wire::Status::Invalid;
    } else {
        // Applied with its answer lost, or never arrived: only the controller can tell.
        // (The lookup may append records: `after` is not used past it.)
        const SetupOutcome outcome = verifySetup(index, fields);
        records_[std::size_t(index)].setupOutcome = outcome;
        records_[std::size_t(index)].setupOk = outcome == SetupOutcome::Confirmed;
    }
    finishSetup(index, fields);
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
