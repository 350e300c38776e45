#include "platform/netservice/search/controller_search.h"

#include <algorithm>

#include "platform/netservice/search/search_progress.h"
#include "platform/netservice/search/search_targets.h"
#include "platform/netservice/search/search_timing.h"
#include "platform/netservice/service_error.h"
#include "platform/netservice/transport/wait_until.h"
#include "platform/netservice/wire/ipv4.h"

namespace zelmar::net {

using platform::Endpoint;
using wire::Message;
using wire::MsgType;

namespace {
constexpr std::size_t kSendBurst = 64;  // datagrams sent between two looks at the receive queue

// What a search reply tells of its timing; nothing from an older controller.
std::optional<SearchTiming::Told> toldTiming(const Message& reply) {
    const auto round = reply.u8(wire::TagAnsweredRound);
    const auto wait = reply.u16(wire::TagAnswerWaitMs);
    if (!round || !wait)
        return std::nullopt;
    return SearchTiming::Told{*round, *wait};
}

// Each address is asked once per round, however often it was added.
void askEachOnce(std::vector<std::uint32_t>& destinations) {
    std::sort(destinations.begin(), destinations.end());
    destinations.erase(std::unique(destinations.begin(), destinations.end()), destinations.end());
}
}  // namespace

struct ControllerSearch::Plan {
    std::vector<std::uint32_t> destinations;
    std::vector<std::uint32_t> hints;  // asked first: where the controller last answered
    std::vector<unsigned> limitedBroadcastVia;  // every round also goes to 255.255.255.255 through these adapters
    std::uint16_t flags = 0;
    std::optional<std::string> serialFilter;
    bool lookup = false;              // ends on the first matching answer / when every address answered
    bool endWhenAllAnswered = false;
    int timeoutMs = 0;
};

struct ControllerSearch::Run {
    Run(const Plan& plan, std::uint32_t id, Clock::time_point start)
        : plan(plan),
          id(id),
          start(start),
          deadline(start + std::chrono::milliseconds(plan.timeoutMs)),
          progress(plan.destinations, plan.serialFilter, plan.endWhenAllAnswered, start) {}

    const Plan& plan;
    const std::uint32_t id;  // every round asks under the same request id
    const Clock::time_point start;
    const Clock::time_point deadline;
    SearchProgress progress;
    SearchTiming* timing = nullptr;  // broadcast and network searches: learns from the new answers
    int rounds = 0;                  // sent so far
};

ControllerSearch::ControllerSearch(ServicePort& port, SearchLink& link) : port_(port), link_(link) {}

void ControllerSearch::clearCriteria() {
    addresses_.clear();
    networkSearch_ = false;
    serialSearch_ = false;
    serialForSearch_.clear();
}

void ControllerSearch::addAddress(const std::string& address) {
    const auto a = port_.resolve(address);
    if (!a)
        throw ServiceError(address + " is not a valid IP address or known host name");
    if (addresses_.size() < kTotalTargetLimit)
        addresses_.push_back(*a);
}

void ControllerSearch::addNetwork(const std::string& address, const std::string& mask) {
    const auto a = port_.resolve(address);
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

void ControllerSearch::addSerialNoSearch() {
    if (const std::string problem = wire::textProblem(wire::TagSerialFilter, serialNo); !problem.empty())
        throw ServiceError("the serial number to look for " + problem + "; nothing was sent");
    serialSearch_ = true;
    serialForSearch_ = serialNo;
}

void ControllerSearch::run() {
    port_.open();
    const Plan p = plan();
    port_.counters().lastNewAnswerMs = 0;
    ++searchNo_;
    run(p);
}

ControllerSearch::Plan ControllerSearch::plan() {
    Plan plan;
    const ServiceConfig& config = port_.config();
    if (serialSearch_) {
        plan = planSerialLookup();
    } else if (!addresses_.empty()) {
        plan.destinations = addresses_;
        plan.lookup = !networkSearch_;
        plan.endWhenAllAnswered = true;
        plan.timeoutMs = networkSearch_ ? config.maxSearchMs : config.lookupTimeoutMs;
    } else {
        TargetSet targets = configuredTargets(config);
        plan.destinations = std::move(targets.addresses);
        plan.limitedBroadcastVia = std::move(targets.limitedBroadcastVia);
        plan.endWhenAllAnswered = true;
        plan.timeoutMs = config.maxSearchMs;
        if (connectedMode)
            plan.flags |= wire::SearchConnectedOnly;
    }
    askEachOnce(plan.destinations);
    return plan;
}

ControllerSearch::Plan ControllerSearch::planSerialLookup() {
    Plan plan;
    plan.serialFilter = serialForSearch_;
    plan.lookup = true;
    plan.timeoutMs = port_.config().lookupTimeoutMs;
    if (addresses_.empty()) {
        TargetSet targets = configuredTargets(port_.config());
        plan.destinations = std::move(targets.addresses);
        plan.limitedBroadcastVia = std::move(targets.limitedBroadcastVia);
    } else {
        plan.destinations = addresses_;
    }
    for (const LastHeard& last : link_.whereLastHeard(serialForSearch_)) {
        plan.hints.push_back(last.address);
        // Restarting after a port OS upgrade: the lookup waits out the restart it was told of.
        plan.timeoutMs = std::max(plan.timeoutMs, msUntil(last.restartUntil) + port_.config().lookupTimeoutMs);
    }
    // Where it answered last is asked in every round, not only first: a controller added by
    // address lies outside the targets, and after an upgrade it is silent until its restart is over.
    plan.destinations.insert(plan.destinations.end(), plan.hints.begin(), plan.hints.end());
    return plan;
}

void ControllerSearch::lookUp(const std::string& serial, const LastHeard& last) {
    port_.open();
    Plan plan;
    plan.serialFilter = serial;
    plan.lookup = true;
    // Restarting after a port OS upgrade: the lookup waits out the restart it was told of.
    plan.timeoutMs = msUntil(last.restartUntil) + port_.config().lookupTimeoutMs;
    plan.hints.push_back(last.address);
    TargetSet targets = configuredTargets(port_.config());
    plan.destinations = std::move(targets.addresses);
    plan.limitedBroadcastVia = std::move(targets.limitedBroadcastVia);
    plan.destinations.push_back(last.address);  // also when it was added by address, outside the targets
    askEachOnce(plan.destinations);
    run(plan);
}

void ControllerSearch::run(const Plan& plan) {
    Run run(plan, port_.newRequestId(), Clock::now());
    if (!plan.hints.empty())
        askWhereLastHeard(run);
    if (run.progress.done())
        return;
    if (plan.lookup || plan.serialFilter)
        lookUpInRounds(run);
    else if (!plan.destinations.empty())  // else nothing to ask, nobody to wait for
        searchInTimedRounds(run);
}

void ControllerSearch::askWhereLastHeard(Run& run) {
    sendRound(run, run.plan.hints, 0, false);
    // The controller usually still sits where it answered last: give it a moment before asking everyone.
    const auto graceEnd = Clock::now() + std::chrono::milliseconds(std::max(5, port_.config().retransmitMs / 5));
    while (!run.progress.done() && Clock::now() < graceEnd) {
        port_.waitReadable(msUntil(graceEnd));
        drain(run);
    }
}

void ControllerSearch::lookUpInRounds(Run& run) {
    LookupRounds rounds(port_.config().retransmitMs, Clock::now());
    while (!run.progress.done() && Clock::now() < run.deadline) {
        if (rounds.due(Clock::now())) {
            const auto began = Clock::now();
            sendRound(run, run.plan.destinations, 0, false);
            rounds.roundSent(began, Clock::now());
        }
        if (run.progress.done())
            break;
        port_.waitReadable(std::min(msUntil(rounds.next()), msUntil(run.deadline)));
        drain(run);
    }
}

void ControllerSearch::searchInTimedRounds(Run& run) {
    const ServiceConfig& config = port_.config();
    const int firstSpreadMs = config.answerSpreadMs;
    SearchTiming timing({firstSpreadMs, config.retransmitMs, config.firstAnswerWaitMs, config.maxSearchRounds});
    run.progress.timeRoundTrips();
    run.timing = &timing;
    timing.roundBegins(Clock::now(), firstSpreadMs);
    sendRound(run, run.plan.destinations, firstSpreadMs, true);
    timing.roundSent(Clock::now());
    while (!run.progress.done()) {
        const auto end = std::min(timing.end(), run.deadline);
        const auto now = Clock::now();
        if (now >= end)
            break;
        const auto next = timing.nextRound();
        if (now >= next) {
            const int spreadMs = timing.nextSpreadMs(run.progress.stillAskedShare());
            timing.roundBegins(now, spreadMs);
            sendRound(run, run.plan.destinations, spreadMs, false);
            timing.roundSent(Clock::now());
            continue;
        }
        port_.waitReadable(std::min(msUntil(next), msUntil(end)));
        drain(run);
    }
}

void ControllerSearch::sendRound(Run& run, const std::vector<std::uint32_t>& to, int spreadMs, bool timeAsks) {
    ++port_.counters().searchRounds;
    Message m;
    m.type = MsgType::Search;
    m.requestId = run.id;
    if (run.plan.flags)
        m.addU16(wire::TagSearchFlags, run.plan.flags);
    if (run.plan.serialFilter)
        m.add(wire::TagSerialFilter, *run.plan.serialFilter);
    m.addU16(wire::TagAnswerSpreadMs, std::uint16_t(spreadMs));
    run.rounds = std::min(run.rounds + 1, 255);
    m.addU8(wire::TagSearchRound, std::uint8_t(run.rounds));  // its answers tell it back
    const auto bytes = wire::encode(m);
    const std::uint16_t port = port_.config().port;
    std::size_t burst = 0;
    for (std::size_t i = 0; i < to.size(); ++i) {
        if (run.progress.done())
            return;
        if (!run.progress.asks(to[i]))
            continue;  // this address has answered this search already
        if (timeAsks)
            run.progress.firstAsked(i, Clock::now());
        port_.send({to[i], port}, bytes);
        if (++burst % kSendBurst == 0)
            drain(run);
    }
    if (&to == &run.plan.destinations)
        for (unsigned via : run.plan.limitedBroadcastVia)
            port_.sendLimitedBroadcast(via, bytes);
    drain(run);
}

void ControllerSearch::drain(Run& run) {
    Message msg;
    Endpoint from;
    bool usable = false;
    int taken = 0;
    ServiceStats& counters = port_.counters();
    while (!run.progress.done() && port_.receiveOne(msg, from, usable)) {
        // A flood of datagrams must not hold the search past its bound.
        if (++taken % 256 == 0 && Clock::now() >= run.deadline)
            run.progress.stop();
        if (!usable)
            continue;
        wire::ControllerInfo info;
        if (msg.type != MsgType::SearchReply || msg.requestId != run.id || !wire::readControllerInfo(msg, info)) {
            ++counters.datagramsDropped;  // a late answer to an earlier request, or a malformed one
            continue;
        }
        const std::string serial = info.serialNo;
        const std::int32_t index = link_.heard(msg, std::move(info), from, searchNo_);
        if (index < 0) {
            ++counters.datagramsDropped;
            continue;
        }
        const auto arrived = port_.lastArrival();  // not when it was read: a burst of answers queues
        Message ack;
        ack.type = MsgType::SearchAck;
        ack.requestId = run.id;
        port_.send(from, wire::encode(ack));
        const auto answer = run.progress.answered(from.address, index, serial, arrived);
        if (answer.newController)
            counters.lastNewAnswerMs = std::chrono::duration<double, std::milli>(arrived - run.start).count();
        if (run.timing && answer.sinceFirstAsked)
            run.timing->answer({index, answer.newController, arrived, *answer.sinceFirstAsked, answer.askedEarly,
                                toldTiming(msg)});
    }
}

}  // namespace zelmar::net
