#include "platform/netservice/service_core.h"

#include <algorithm>

#include "platform/netservice/crypto/sealed_read_pass.h"
#include "platform/netservice/search/search_targets.h"
#include "platform/netservice/service_error.h"
#include "platform/netservice/transport/wait_until.h"
#include "platform/netservice/upgrade/upgrade_transfer.h"

namespace zelmar::net {

using platform::Endpoint;
using wire::Message;
using wire::MsgType;

ServiceCore::ServiceCore(ServiceConfig config)
    : config_(std::move(config)), port_(config_), crypto_(book_), search_(port_, *this), setups_(*this) {
    port_.setDecoder([this](const std::uint8_t* data, std::size_t size, Message& msg) {
        return crypto_.decodeReply(data, size, msg);
    });
}

bool ServiceCore::isValidAddress(const std::string& address) const {
    const auto a = port_.resolve(address);
    return a && *a != 0 && *a != 0xFFFFFFFFu;
}

// ---- searches

void ServiceCore::search() {
    const auto start = Clock::now();
    search_.run();
    readSealedDescriptions(port_, crypto_, book_);
    port_.counters().lastSearchMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::int32_t ServiceCore::heard(const Message& reply, wire::ControllerInfo info, const Endpoint& from,
                                std::uint64_t searchNo) {
    const std::int32_t index = book_.heard(std::move(info), from, searchNo, Clock::now());
    if (index >= 0)
        crypto_.heard(index, reply);
    return index;
}

std::vector<LastHeard> ServiceCore::whereLastHeard(const std::string& serialNo) {
    std::vector<LastHeard> out;
    for (const ControllerRecord& r : book_.records())
        if (wire::serialMatches(serialNo, r.info.serialNo))
            out.push_back({r.source.address, r.restartUntil});
    return out;
}

bool ServiceCore::lookUpAgain(std::int32_t index) {
    const auto start = Clock::now();
    const ControllerRecord& r = book_.at(index);
    search_.lookUp(r.info.serialNo, {r.source.address, r.restartUntil});
    if (crypto_.readDue(index))
        readSealedDescriptions(port_, crypto_, book_);  // it requires encryption: the rest comes sealed
    return book_.at(index).heardAt >= start;
}

void ServiceCore::learnControllers(const ServiceCore& other) {
    for (std::int32_t theirs = 0; theirs < other.count(); ++theirs) {
        const std::int32_t index = book_.learn(other.book_.at(theirs));
        if (index >= 0)
            crypto_.learnt(index, other.crypto_, theirs);
    }
}

// ---- entries

ServiceCore::EntryResults& ServiceCore::results(std::int32_t index) {
    book_.at(index);  // an index outside the entries is an error
    if (results_.size() <= std::size_t(index))
        results_.resize(std::size_t(index) + 1);
    return results_[std::size_t(index)];
}

void ServiceCore::countRead() {
    if (config_.failEntryReadsAfter >= 0 && reads_ >= config_.failEntryReadsAfter)
        throw ServiceError("entry read failed (fault injection after " + std::to_string(config_.failEntryReadsAfter) +
                           " reads)");
    ++reads_;
}

const wire::ControllerInfo& ServiceCore::readInfo(std::int32_t index) {
    countRead();
    return book_.at(index).info;
}

const SetupState& ServiceCore::readSetup(std::int32_t index) {
    countRead();
    checkIndex(index);
    return setups_.state(index);
}

std::string ServiceCore::readNotSent(std::int32_t index) {
    countRead();
    return results(index).notSent;
}

UpgradeVerdict ServiceCore::readUpgradeVerdict(std::int32_t index) {
    countRead();
    return results(index).upgradeVerdict;
}

std::string ServiceCore::readUpgradeProblem(std::int32_t index) {
    countRead();
    return results(index).upgradeProblem;
}

bool ServiceCore::answeredLastSearch(std::int32_t index) const {
    // Learnt controllers were not heard by this object's searches.
    return search_.number() != 0 && book_.at(index).heardInSearch == search_.number();
}

wire::SetupFields& ServiceCore::held(std::int32_t index) {
    checkIndex(index);
    return setups_.held(index);
}

void ServiceCore::withdraw(std::int32_t index) {
    checkIndex(index);
    setups_.withdraw(index);
}

// ---- transactions

bool ServiceCore::checkNetwork(std::int32_t index, std::int32_t& detail) {
    checkIndex(index);
    return setups_.checkNetwork(index, detail);
}

void ServiceCore::apply(std::int32_t index) {
    checkIndex(index);
    setups_.apply(index);
}

bool ServiceCore::mark(std::int32_t index, bool on) {
    checkIndex(index);
    Message request;
    request.type = MsgType::Mark;
    request.addU8(wire::TagMarked, on ? 1 : 0);
    const auto reply = exchange(index, std::move(request), MsgType::MarkReply);
    // Only the controller's own word counts: Ok, and the state asked for.
    return reply && reply->u8(wire::TagStatus) == std::uint8_t(wire::Status::Ok) &&
           reply->u8(wire::TagMarked) == std::uint8_t(on ? 1 : 0);
}

bool ServiceCore::upgradePortOs(std::int32_t index, const UpgradeFile& file, UpgradeProgress progress) {
    checkIndex(index);  // an index outside the entries is an error, whatever the file
    UpgradeTransferOptions options;
    options.progress = std::move(progress);
    const UpgradeOutcome outcome = UpgradeTransfer(*this, index, options).run(file);
    EntryResults& r = results(index);
    r.upgradeVerdict = outcome.verdict;
    r.upgradeProblem = outcome.problem;
    return outcome.ok;
}

void ServiceCore::enrol(std::int32_t index, bool on) {
    crypto_.enrol(index, on);
    if (!crypto_.needsPublicKey(index))
        return;
    // Its public key is not known (it required encryption at the last search): a search
    // addressed to it brings its description, a challenge and its public key.
    Message search;
    search.type = MsgType::Search;
    const auto reply = exchange(index, std::move(search), MsgType::SearchReply);
    wire::ControllerInfo info;
    if (reply && wire::readControllerInfo(*reply, info))
        heard(*reply, std::move(info), book_.at(index).source, search_.number());
}

// ---- what a port OS transfer asks of the service

wire::ControllerInfo ServiceCore::upgradeTarget(std::int32_t index) {
    const wire::ControllerInfo info = book_.at(index).info;
    port_.open();
    return info;
}

bool ServiceCore::sendOnce(std::int32_t index, Message& request) {
    const auto bytes = encodeRequest(index, request);
    return port_.send(book_.at(index).source, bytes);
}

void ServiceCore::restartsFor(std::int32_t index, int ms) {
    book_.at(index).restartUntil = Clock::now() + std::chrono::milliseconds(ms);
}

// ---- the request path

std::vector<std::uint8_t> ServiceCore::encodeRequest(std::int32_t index, Message& request) {
    request.requestId = port_.newRequestId();
    return crypto_.encode(index, request);
}

std::optional<Message> ServiceCore::exchange(std::int32_t index, Message request, MsgType replyType, int timeoutMs,
                                             int resendMs) {
    port_.open();
    std::optional<PendingRequest> pending = startRequest(index, request, resendMs > 0 ? resendMs : config_.retransmitMs);
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
        port_.waitReadable(std::min(msUntil(pending->resend.next), msUntil(deadline)));
        const std::uint32_t sentAs = pending->requestId;
        if (auto reply = receiveReplyTo(*pending, replyType, deadline))
            return reply;
        // Sealed anew (a new session, or the next password) after the controller answered: its
        // sends count from one, so that a try of another password is not also broadcast through
        // the search targets, where the controller could hear it twice and count two wrong keys.
        if (pending->requestId != sentAs)
            attempts = 0;
    }
    return std::nullopt;
}

std::optional<PendingRequest> ServiceCore::startRequest(std::int32_t index, Message& request, int resendMs) {
    std::string& notSent = results(index).notSent;
    notSent = crypto_.mustNotSend(index, request.type);
    if (!notSent.empty())
        return std::nullopt;
    auto bytes = encodeRequest(index, request);
    if (bytes.empty()) {
        results(index).notSent = "the request does not fit in one datagram";
        return std::nullopt;
    }
    return PendingRequest{index, std::move(bytes), request.requestId, ResendBackoff(resendMs, Clock::now())};
}

void ServiceCore::sendAttempt(const PendingRequest& request, int attempt, std::optional<TargetSet>& fallback) {
    const Endpoint source = book_.at(request.index).source;
    port_.send(source, request.bytes);
    if (attempt < 3)
        return;
    // Not where it answered last (moved, or an address the workstation cannot reach):
    // ask through the search targets; the target Ethernet address keeps the others out.
    if (!fallback)
        fallback = configuredTargets(config_);
    for (std::uint32_t a : fallback->addresses)
        if (a != source.address)
            port_.send({a, config_.port}, request.bytes);
    for (unsigned via : fallback->limitedBroadcastVia)
        port_.sendLimitedBroadcast(via, request.bytes);
}

std::optional<Message> ServiceCore::receiveReplyTo(PendingRequest& request, MsgType replyType,
                                                   Clock::time_point deadline) {
    const wire::Ethernet target = book_.at(request.index).info.ethernet;
    Message msg;
    Endpoint from;
    bool usable = false;
    int taken = 0;
    while (port_.receiveOne(msg, from, usable)) {
        if (++taken % 256 == 0 && Clock::now() >= deadline)
            break;
        if (!usable)
            continue;
        if (msg.type != replyType || msg.requestId != request.requestId || msg.ethernet(wire::TagEthernet) != target) {
            ++port_.counters().datagramsDropped;  // a late answer, or one from another controller
            continue;
        }
        if (crypto_.replyAction(msg, request, [this] { return port_.newRequestId(); }) != crypto::ReplyAction::Take)
            continue;
        book_.at(request.index).source = from;
        return msg;
    }
    return std::nullopt;
}

}  // namespace zelmar::net
