#include "simulator/fleet_engine.h"

#include <algorithm>
#include <cstdio>

#include "platform/netservice/system/durable_file.h"
#include "platform/netservice/wire/ipv4.h"

namespace zelmar::sim {

namespace ipv4 = net::ipv4;
namespace wire = net::wire;

namespace {
constexpr std::size_t kLogLines = 20000;
constexpr int kReadsPerWakeup = 32;  // per socket and wake-up, so one busy controller cannot starve the rest
}  // namespace

std::optional<std::size_t> LocalFleet::indexOf(const std::string& serial) const {
    for (std::size_t i = 0; i < members.size(); ++i)
        if (members[i].state.serialNo == serial)
            return i;
    return std::nullopt;
}

bool LocalFleet::chance(double percent) {
    return percent > 0 && std::uniform_real_distribution<double>(0, 100)(rng) < percent;
}

void LocalFleet::addLog(const std::string& line) {
    const double t = std::chrono::duration<double>(Clock::now() - epoch).count();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "+%.3f ", t);
    std::string full = stamp + line;
    if (logOut.isOpen()) {
        logOut.write(full.data(), qint64(full.size()));
        logOut.write("\n", 1);
        logOut.flush();
    }
    logLines.push_back(std::move(full));
    while (logLines.size() > kLogLines)
        logLines.pop_front();
}

FleetData LocalFleet::snapshot() const {
    FleetData d;
    d.faults = storedFaults;
    for (std::size_t i = 0; i < members.size(); ++i) {
        d.controllers.push_back(members[i].state);
        d.controllers.back().offline = stored[i].offline;
        d.controllers.back().restartMs = stored[i].restartMs;
    }
    return d;
}

void LocalFleet::persist() {
    if (stateFile.empty())
        return;
    std::string error;
    if (net::replaceFileDurably(stateFile, fleetToJson(snapshot()), &error))
        ++counters.persisted;
    else
        addLog("state file not written: " + error);
}

// A controller's next state, stored with the rest of the fleet before it is confirmed.
bool LocalFleet::store(std::size_t index, const SimControllerState& next) {
    if (stateFile.empty())
        return true;
    FleetData d = snapshot();
    SimControllerState& entry = d.controllers[index];
    const SimControllerState kept = entry;  // what belongs to the stored fleet, not to this run
    entry = next;
    entry.offline = kept.offline;
    entry.restartMs = kept.restartMs;
    std::string error;
    if (!net::replaceFileDurably(stateFile, fleetToJson(d), &error)) {
        addLog(next.serialNo + ": state file not written, change not taken: " + error);
        return false;
    }
    ++counters.persisted;
    return true;
}

bool LocalFleet::loseThisReply(std::size_t index, const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() <= 5)
        return false;
    if (lostReplyTypes.count(bytes[5]))
        return true;
    const auto it = repliesToLose.find({index, bytes[5]});
    if (it == repliesToLose.end() || it->second == 0)
        return false;
    --it->second;
    return true;
}

void LocalFleet::sendNow(std::size_t index, const Endpoint& to, const std::vector<std::uint8_t>& bytes) {
    if (index >= sockets.size() || !sockets[index] || members[index].state.offline)
        return;
    if (tap)
        tap(false, members[index].state.address, to, bytes);
    if (chance(faults.lossPercent) || loseThisReply(index, bytes)) {
        ++counters.lost;
        return;
    }
    ++counters.sent;
    sockets[index]->sendTo(to, bytes.data(), bytes.size());
}

// One try at binding every controller's address to one port (0: the first
// one's free port); the port, or 0 with `error` saying why.
std::uint16_t LocalFleet::bindAll(std::uint16_t port, std::string& error) {
    sockets.clear();
    portHolder.reset();
    if (members.empty()) {
        portHolder = UdpSocket::bind(0x7F000001u, port, &error);
        if (!portHolder)
            return 0;
        port = portHolder->localPort();
    }
    for (const SimController& c : members) {
        auto s = UdpSocket::bind(*ipv4::parse(c.state.address), port, &error);
        if (!s) {
            sockets.clear();
            return 0;
        }
        if (port == 0)
            port = s->localPort();  // the others take the same port on their own addresses
        sockets.push_back(std::move(s));
    }
    return port;
}

// Whether controller `index` hears a datagram now: not offline, not restarting, not lost.
bool LocalFleet::hears(std::size_t index) {
    if (members[index].state.offline)
        return false;
    if (const auto it = restarting.find(index); it != restarting.end()) {
        if (Clock::now() < it->second)
            return false;  // still restarting: nothing is heard
        restarting.erase(it);
    }
    if (chance(faults.lossPercent)) {
        ++counters.lost;
        return false;
    }
    return true;
}

std::string LocalFleet::who(const SimController& c, const Endpoint& from) {
    return c.state.address + " <- " + net::platform::toString(from) + " ";
}

void LocalFleet::logResult(const SimController& c, const Endpoint& from, const SimController::Result& r) {
    if (!r.dropped.empty()) {
        ++counters.unparsable;
        // Filtered searches are the normal case at every other controller: not worth a log line.
        if (r.dropped != "another serial number" && r.dropped != "not connected" &&
            r.dropped != "for another controller")
            addLog(who(c, from) + "dropped: " + r.dropped);
    } else if (!r.log.empty()) {
        addLog(who(c, from) + r.log);
    }
}

int LocalFleet::heldBackMs() {
    return chance(faults.reorderPercent) ? std::uniform_int_distribution<int>(1, kMostHeldBackMs)(rng) : 0;
}

void LocalFleet::later(int delayMs, std::size_t index, const Endpoint& peer, bool incoming,
                       std::vector<std::uint8_t> bytes) {
    if (timers.size() < kMaxDelayedReplies)  // a flood costs lost datagrams, not memory
        timers.push({Clock::now() + std::chrono::milliseconds(delayMs), index, peer, incoming, std::move(bytes)});
}

// Each answer after its delay and the injected one; some twice, some held back.
void LocalFleet::sendReplies(std::size_t index, const std::vector<Outgoing>& out) {
    for (const Outgoing& o : out) {
        int delay = o.delayMs;
        if (faults.delayMaxMs > 0)
            delay += std::uniform_int_distribution<int>(faults.delayMinMs, faults.delayMaxMs)(rng);
        const int copies = chance(faults.duplicatePercent) ? 2 : 1;
        for (int k = 0; k < copies; ++k) {
            const int ms = delay + heldBackMs();
            if (ms <= 0)
                sendNow(index, o.to, o.bytes);
            else
                later(ms, index, o.to, false, o.bytes);
        }
    }
}

void LocalFleet::onDatagram(std::size_t index, std::size_t size, const Endpoint& from) {
    ++counters.received;
    const auto* data = buffer.data();
    const std::size_t kept = std::min(size, buffer.size());  // an oversized one stays oversized
    if (tap)
        tap(true, members[index].state.address, from, std::vector<std::uint8_t>(data, data + kept));
    if (kept > 5 && lostRequestTypes.count(data[5])) {
        ++counters.lost;
        addLog(who(members[index], from) + "dropped: a lost request");
        return;
    }
    if (const int ms = heldBackMs())
        later(ms, index, from, true, std::vector<std::uint8_t>(data, data + kept));
    else
        take(index, data, size, from);
}

void LocalFleet::take(std::size_t index, const std::uint8_t* data, std::size_t size, const Endpoint& from) {
    SimController& c = members[index];
    if (!hears(index))
        return;
    if (size > wire::kMaxDatagram) {
        ++counters.unparsable;
        addLog(who(c, from) + "dropped: oversized datagram");
        return;
    }
    SimController::Result r = c.handle(data, size, from, rng);
    logResult(c, from, r);
    if (r.changed)
        persist();  // before the answer: what a controller confirms survives a crash
    sendReplies(index, r.out);
    if (r.restartMs >= 0) {
        // The reply went out; now the new port OS starts.
        restarting[index] = Clock::now() + std::chrono::milliseconds(r.restartMs);
        addLog(who(c, from) + "restarting with port OS " + c.state.portOsRevision + " (silent " +
               std::to_string(r.restartMs) + " ms)");
    }
}

void LocalFleet::loop() {
    std::vector<std::size_t> ready;
    while (!stopping.load()) {
        int timeout = 50;
        {
            std::lock_guard lock(m);
            if (!timers.empty()) {
                const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(timers.top().due - Clock::now()).count();
                timeout = int(std::clamp<long long>(wait, 0, 50));
            }
        }
        poller->wait(timeout, ready);
        std::lock_guard lock(m);
        for (std::size_t index : ready) {
            if (index >= sockets.size() || !sockets[index])
                continue;
            for (int k = 0; k < kReadsPerWakeup; ++k) {
                Endpoint from;
                const long n = sockets[index]->receiveFrom(buffer.data(), buffer.size(), from);
                if (n < 0)
                    break;
                onDatagram(index, std::size_t(n), from);
            }
        }
        runDueTimers();
    }
}

void LocalFleet::runDueTimers() {
    const auto now = Clock::now();
    while (!timers.empty() && timers.top().due <= now) {
        // Taken off first: a datagram taken in now may set new timers for its answers.
        Timer t = timers.top();
        timers.pop();
        if (t.incoming)
            take(t.controller, t.bytes.data(), t.bytes.size(), t.peer);
        else
            sendNow(t.controller, t.peer, t.bytes);
    }
}

}  // namespace zelmar::sim
