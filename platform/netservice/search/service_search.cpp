// The search engine of the service core: what a search asks and where, and the
// driver that sends its rounds, takes the answers and stops. Where it stands is
// SearchProgress's (search_progress.h), when broadcast and network searches send
// and end SearchTiming's (search_timing.h); neither touches a socket.
#include <algorithm>

#include "platform/netservice/search/search_progress.h"
#include "platform/netservice/search/search_timing.h"
#include "platform/netservice/service_core.h"
#include "platform/netservice/wait_until.h"

namespace zelmar::net {

using platform::Endpoint;
using wire::Message;
using wire::MsgType;

namespace {
constexpr std::size_t kSendBurst = 64;  // datagrams sent between two looks at the receive queue

// Each address is asked once per round, however often it was added.
void askEachOnce(std::vector<std::uint32_t>& destinations) {
    std::sort(destinations.begin(), destinations.end());
    destinations.erase(std::unique(destinations.begin(), destinations.end()), destinations.end());
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

void ServiceCore::learnControllers(const ServiceCore& other) {
    for (const Record& theirs : other.records_) {
        if (byEthernet_.count(theirs.info.ethernet) != 0 || count() >= kMaxRecords)
            continue;
        Record r;
        r.info = theirs.info;
        r.source = theirs.source;
        r.heardAt = theirs.heardAt;
        // Its sessions belong to the other object's port: this one opens its own when it needs one.
        r.peer.publicKey = theirs.peer.publicKey;
        records_.push_back(std::move(r));
        byEthernet_.emplace(records_.back().info.ethernet, count() - 1);
    }
}

void ServiceCore::search() {
    ensureSocket();
    const SearchPlan plan = planSearch();
    const auto start = Clock::now();
    stats_.lastNewAnswerMs = 0;
    ++searchNo_;
    runSearch(plan);
    readSealedRecords();
    stats_.lastSearchMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

ServiceCore::SearchPlan ServiceCore::planSearch() {
    SearchPlan plan;
    if (serialSearch_) {
        plan = planSerialLookup();
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
    askEachOnce(plan.destinations);
    return plan;
}

ServiceCore::SearchPlan ServiceCore::planSerialLookup() {
    SearchPlan plan;
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
    return plan;
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
    askEachOnce(plan.destinations);
    runSearch(plan);
    if (records_[std::size_t(index)].peer.needsRead)
        readSealedRecords();  // it requires encryption: the rest of its description comes sealed
    return records_[std::size_t(index)].heardAt >= start;
}

struct ServiceCore::SearchRun {
    SearchRun(const SearchPlan& plan, std::uint32_t id, Clock::time_point start)
        : plan(plan),
          id(id),
          start(start),
          deadline(start + std::chrono::milliseconds(plan.timeoutMs)),
          progress(plan.destinations, plan.serialFilter, plan.endWhenAllAnswered, start) {}

    const SearchPlan& plan;
    const std::uint32_t id;  // every round asks under the same request id
    const Clock::time_point start;
    const Clock::time_point deadline;
    SearchProgress progress;
    SearchTiming* timing = nullptr;  // broadcast and network searches: learns from the new answers
};

void ServiceCore::runSearch(const SearchPlan& plan) {
    SearchRun run(plan, nextRequestId(), Clock::now());
    if (!plan.hints.empty())
        askWhereLastHeard(run);
    if (run.progress.done())
        return;
    if (plan.lookup || plan.serialFilter)
        lookUpInRounds(run);
    else if (!plan.destinations.empty())  // else nothing to ask, nobody to wait for
        searchInTimedRounds(run);
}

void ServiceCore::askWhereLastHeard(SearchRun& run) {
    sendSearchRound(run, run.plan.hints, 0, false);
    // The controller usually still sits where it answered last: give it a moment before asking everyone.
    const auto graceEnd = Clock::now() + std::chrono::milliseconds(std::max(5, config_.retransmitMs / 5));
    while (!run.progress.done() && Clock::now() < graceEnd) {
        socket_->waitReadable(msUntil(graceEnd));
        drainSearch(run);
    }
}

void ServiceCore::lookUpInRounds(SearchRun& run) {
    LookupRounds rounds(config_.retransmitMs, Clock::now());
    while (!run.progress.done() && Clock::now() < run.deadline) {
        if (rounds.due(Clock::now())) {
            const auto began = Clock::now();
            sendSearchRound(run, run.plan.destinations, 0, false);
            rounds.roundSent(began, Clock::now());
        }
        if (run.progress.done())
            break;
        socket_->waitReadable(std::min(msUntil(rounds.next()), msUntil(run.deadline)));
        drainSearch(run);
    }
}

void ServiceCore::searchInTimedRounds(SearchRun& run) {
    const int firstSpreadMs = config_.answerSpreadMs;
    SearchTiming timing({firstSpreadMs, config_.retransmitMs, config_.firstAnswerWaitMs, config_.maxSearchRounds});
    run.progress.timeRoundTrips();
    run.timing = &timing;
    sendSearchRound(run, run.plan.destinations, firstSpreadMs, true);
    timing.roundSent(Clock::now(), firstSpreadMs);
    while (!run.progress.done()) {
        const auto end = std::min(timing.end(), run.deadline);
        const auto now = Clock::now();
        if (now >= end)
            break;
        const auto next = timing.nextRound();
        if (now >= next) {
            const int spreadMs = timing.nextSpreadMs(run.progress.stillAskedShare());
            sendSearchRound(run, run.plan.destinations, spreadMs, false);
            timing.roundSent(Clock::now(), spreadMs);
            continue;
        }
        socket_->waitReadable(std::min(msUntil(next), msUntil(end)));
        drainSearch(run);
    }
}

void ServiceCore::sendSearchRound(SearchRun& run, const std::vector<std::uint32_t>& to, int spreadMs,
                                  bool timeAsks) {
    ++stats_.searchRounds;
    Message m;
    m.type = MsgType::Search;
    m.requestId = run.id;
    if (run.plan.flags)
        m.addU16(wire::TagSearchFlags, run.plan.flags);
    if (run.plan.serialFilter)
        m.add(wire::TagSerialFilter, *run.plan.serialFilter);
    m.addU16(wire::TagAnswerSpreadMs, std::uint16_t(spreadMs));
    const auto bytes = wire::encode(m);
    std::size_t burst = 0;
    for (std::size_t i = 0; i < to.size(); ++i) {
        if (run.progress.done())
            return;
        if (!run.progress.asks(to[i]))
            continue;  // this address has answered this search already
        if (timeAsks)
            run.progress.firstAsked(i, Clock::now());
        sendMessage({to[i], config_.port}, bytes);
        if (++burst % kSendBurst == 0)
            drainSearch(run);
    }
    if (&to == &run.plan.destinations)
        for (unsigned via : run.plan.limitedBroadcastVia)
            sendLimitedBroadcast(via, bytes);
    drainSearch(run);
}

void ServiceCore::drainSearch(SearchRun& run) {
    Message msg;
    Endpoint from;
    bool usable = false;
    int taken = 0;
    while (!run.progress.done() && receiveOne(msg, from, usable)) {
        // A flood of datagrams must not hold the search past its bound.
        if (++taken % 256 == 0 && Clock::now() >= run.deadline)
            run.progress.stop();
        if (!usable)
            continue;
        if (msg.type != MsgType::SearchReply || msg.requestId != run.id) {
            ++stats_.datagramsDropped;  // a late answer to an earlier request
            continue;
        }
        const std::int32_t index = takeReply(msg, from);
        if (index < 0)
            continue;
        Message ack;
        ack.type = MsgType::SearchAck;
        ack.requestId = run.id;
        sendMessage(from, wire::encode(ack));
        const auto now = Clock::now();
        const auto answer = run.progress.answered(from.address, index, records_[std::size_t(index)].info.serialNo, now);
        if (answer.newController) {
            stats_.lastNewAnswerMs = std::chrono::duration<double, std::milli>(now - run.start).count();
            if (run.timing && answer.sinceFirstAsked)
                run.timing->newAnswer(now, *answer.sinceFirstAsked);
        }
    }
}

}  // namespace zelmar::net
