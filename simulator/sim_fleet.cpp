#include "simulator/sim_fleet.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <fstream>
#include <mutex>
#include <queue>
#include <random>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "platform/netservice/durable_file.h"
#include "platform/netservice/ipv4.h"
#include "platform/netservice/udp_platform.h"
#include "platform/netservice/wire.h"
#include "simulator/sim_controller.h"

namespace zelmar::sim {

namespace ipv4 = net::ipv4;
namespace wire = net::wire;
using net::platform::Endpoint;
using net::platform::UdpSocket;
using Clock = std::chrono::steady_clock;

namespace {
constexpr std::size_t kLogLines = 20000;
constexpr int kReadsPerWakeup = 32;  // per socket and wake-up, so one busy controller cannot starve the rest
}  // namespace

struct SimFleet::Impl {
    struct Timer {
        Clock::time_point due;
        std::size_t controller;
        Endpoint to;
        std::vector<std::uint8_t> bytes;
        bool operator>(const Timer& o) const { return due > o.due; }
    };

    mutable std::mutex m;
    std::vector<SimController> controllers;
    FaultSettings faults;
    // What the fleet file said; faults set for a run (setLossPercent, setOffline, ...)
    // act on the controllers but the state file keeps these.
    FaultSettings storedFaults;
    struct StoredPerController {
        bool offline;
        int restartMs;
    };
    std::vector<StoredPerController> stored;
    std::string stateFile;
    std::string logFile;
    std::ofstream logOut;
    std::deque<std::string> logLines;
    SimStats stats;
    DatagramTap tap;  // test hook: every datagram in and out
    std::unordered_set<std::uint8_t> lostReplyTypes;  // answers of these types never leave
    std::mt19937 rng{12345};
    Clock::time_point epoch = Clock::now();

    std::vector<std::optional<UdpSocket>> sockets;
    std::optional<UdpSocket> portHolder;  // keeps the port of an empty fleet
    std::unique_ptr<net::platform::Poller> poller;
    std::priority_queue<Timer, std::vector<Timer>, std::greater<Timer>> timers;
    static constexpr std::size_t kMaxDelayedReplies = 65536;
    // Controllers restarting after a port OS upgrade, and until when they hear nothing.
    std::unordered_map<std::size_t, Clock::time_point> restarting;
    std::thread thread;
    std::atomic<bool> stopping{false};
    bool isRunning = false;
    std::uint16_t boundPort = 0;
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(wire::kMaxDatagram + 1);

    std::optional<std::size_t> indexOf(const std::string& serial) const {
        for (std::size_t i = 0; i < controllers.size(); ++i)
            if (controllers[i].state.serialNo == serial)
                return i;
        return std::nullopt;
    }

    bool chance(double percent) {
        return percent > 0 && std::uniform_real_distribution<double>(0, 100)(rng) < percent;
    }

    void addLog(const std::string& line) {
        const double t = std::chrono::duration<double>(Clock::now() - epoch).count();
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "+%.3f ", t);
        std::string full = stamp + line;
        if (logOut.is_open())
            logOut << full << '\n' << std::flush;
        logLines.push_back(std::move(full));
        while (logLines.size() > kLogLines)
            logLines.pop_front();
    }

    FleetData snapshot() const {
        FleetData d;
        d.faults = storedFaults;
        for (std::size_t i = 0; i < controllers.size(); ++i) {
            d.controllers.push_back(controllers[i].state);
            d.controllers.back().offline = stored[i].offline;
            d.controllers.back().restartMs = stored[i].restartMs;
        }
        return d;
    }

    void persist() {
        if (stateFile.empty())
            return;
        std::string error;
        if (net::replaceFileDurably(stateFile, fleetToJson(snapshot()), &error))
            ++stats.persisted;
        else
            addLog("state file not written: " + error);
    }

    // A controller's next state, stored with the rest of the fleet before it is confirmed.
    bool store(std::size_t index, const SimControllerState& next) {
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
        ++stats.persisted;
        return true;
    }

    void sendNow(std::size_t index, const Endpoint& to, const std::vector<std::uint8_t>& bytes) {
        if (index >= sockets.size() || !sockets[index] || controllers[index].state.offline)
            return;
        if (tap)
            tap(false, controllers[index].state.address, to, bytes);
        if (chance(faults.lossPercent) || (bytes.size() > 5 && lostReplyTypes.count(bytes[5]))) {
            ++stats.lost;
            return;
        }
        ++stats.sent;
        sockets[index]->sendTo(to, bytes.data(), bytes.size());
    }

    // One try at binding every controller's address to one port (0: the first
    // one's free port); the port, or 0 with `error` saying why.
    std::uint16_t bindAll(std::uint16_t port, std::string& error) {
        sockets.clear();
        portHolder.reset();
        if (controllers.empty()) {
            portHolder = UdpSocket::bind(0x7F000001u, port, &error);
            if (!portHolder)
                return 0;
            port = portHolder->localPort();
        }
        for (const SimController& c : controllers) {
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
    bool hears(std::size_t index) {
        if (controllers[index].state.offline)
            return false;
        if (const auto it = restarting.find(index); it != restarting.end()) {
            if (Clock::now() < it->second)
                return false;  // still restarting: nothing is heard
            restarting.erase(it);
        }
        if (chance(faults.lossPercent)) {
            ++stats.lost;
            return false;
        }
        return true;
    }

    static std::string who(const SimController& c, const Endpoint& from) {
        return c.state.address + " <- " + net::platform::toString(from) + " ";
    }

    void logResult(const SimController& c, const Endpoint& from, const SimController::Result& r) {
        if (!r.dropped.empty()) {
            ++stats.unparsable;
            // Filtered searches are the normal case at every other controller: not worth a log line.
            if (r.dropped != "another serial number" && r.dropped != "not connected" &&
                r.dropped != "for another controller")
                addLog(who(c, from) + "dropped: " + r.dropped);
        } else if (!r.log.empty()) {
            addLog(who(c, from) + r.log);
        }
    }

    // Each answer after its delay and the injected one; some twice.
    void sendReplies(std::size_t index, const std::vector<Outgoing>& out) {
        for (const Outgoing& o : out) {
            int delay = o.delayMs;
            if (faults.delayMaxMs > 0)
                delay += std::uniform_int_distribution<int>(faults.delayMinMs, faults.delayMaxMs)(rng);
            const int copies = chance(faults.duplicatePercent) ? 2 : 1;
            for (int k = 0; k < copies; ++k) {
                if (delay <= 0)
                    sendNow(index, o.to, o.bytes);
                else if (timers.size() < kMaxDelayedReplies)  // a flood costs lost answers, not memory
                    timers.push({Clock::now() + std::chrono::milliseconds(delay), index, o.to, o.bytes});
            }
        }
    }

    void onDatagram(std::size_t index, std::size_t size, const Endpoint& from) {
        ++stats.received;
        SimController& c = controllers[index];
        if (tap)
            tap(true, c.state.address, from, std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + std::ptrdiff_t(std::min(size, buffer.size()))));
        if (!hears(index))
            return;
        if (size > wire::kMaxDatagram) {
            ++stats.unparsable;
            addLog(who(c, from) + "dropped: oversized datagram");
            return;
        }
        SimController::Result r = c.handle(buffer.data(), size, from, rng);
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

    void loop() {
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
            const auto now = Clock::now();
            while (!timers.empty() && timers.top().due <= now) {
                const Timer& t = timers.top();
                sendNow(t.controller, t.to, t.bytes);
                timers.pop();
            }
        }
    }
};

SimFleet::SimFleet() : impl_(std::make_unique<Impl>()) {}

SimFleet::SimFleet(FleetData data) : SimFleet() {
    impl_->faults = impl_->storedFaults = data.faults;
    for (SimControllerState& s : data.controllers) {
        impl_->stored.push_back({s.offline, s.restartMs});
        impl_->controllers.emplace_back(std::move(s));
    }
    for (std::size_t i = 0; i < impl_->controllers.size(); ++i)
        impl_->controllers[i].setStore([impl = impl_.get(), i](const SimControllerState& next) {
            return impl->store(i, next);  // called on the fleet's thread, under its lock
        });
}

SimFleet::~SimFleet() {
    if (impl_)
        stop();
}
SimFleet::SimFleet(SimFleet&&) noexcept = default;
SimFleet& SimFleet::operator=(SimFleet&& other) noexcept {
    if (this != &other) {
        if (impl_)
            stop();
        impl_ = std::move(other.impl_);
    }
    return *this;
}

SimFleet SimFleet::fromJson(const std::string& json) { return SimFleet(parseFleet(json)); }

SimFleet SimFleet::fromFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read fleet file " + path);
    const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
        return fromJson(json);
    } catch (const std::exception& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
}

SimFleet SimFleet::generate(int count, const GenerateOptions& options) {
    return SimFleet(generateFleet(count, options));
}

std::string SimFleet::toJson() const {
    std::lock_guard lock(impl_->m);
    return fleetToJson(impl_->snapshot());
}

void SimFleet::setStateFile(const std::string& path) {
    std::lock_guard lock(impl_->m);
    impl_->stateFile = path;
}

void SimFleet::setLogFile(const std::string& path) {
    std::lock_guard lock(impl_->m);
    impl_->logFile = path;
    impl_->logOut.close();
    if (!path.empty()) {
        impl_->logOut.open(path, std::ios::app);
        if (!impl_->logOut)
            throw std::runtime_error("cannot open log file " + path);
    }
}

void SimFleet::start(std::uint16_t requestedPort) {
    if (impl_->isRunning)
        return;
    Impl& d = *impl_;
    net::platform::raiseOpenFileLimit(d.controllers.size() + 64);
    std::string error;
    d.boundPort = 0;
    // A free port is looked for again when one address finds it taken.
    for (int attempt = 0; attempt < 20 && d.boundPort == 0; ++attempt) {
        d.boundPort = d.bindAll(requestedPort, error);
        if (d.boundPort == 0 && requestedPort != 0)
            throw std::runtime_error("cannot start the fleet: " + error);
    }
    if (d.boundPort == 0)
        throw std::runtime_error("cannot start the fleet: no free port (" + error + ")");
    d.poller = std::make_unique<net::platform::Poller>();
    for (std::size_t i = 0; i < d.sockets.size(); ++i)
        d.poller->add(*d.sockets[i], i);
    d.stopping = false;
    d.isRunning = true;
    d.thread = std::thread([&d] { d.loop(); });
}

void SimFleet::stop() {
    Impl& d = *impl_;
    if (!d.isRunning)
        return;
    d.stopping = true;
    if (d.thread.joinable())
        d.thread.join();
    std::lock_guard lock(d.m);
    d.sockets.clear();
    d.portHolder.reset();
    d.poller.reset();
    d.timers = {};
    d.isRunning = false;
}

bool SimFleet::running() const { return impl_->isRunning; }
std::uint16_t SimFleet::port() const { return impl_->boundPort; }

net::ServiceConfig SimFleet::clientConfig() const {
    net::ServiceConfig c;
    c.port = impl_->boundPort;
    c.bindAddress = "127.0.0.1";
    std::vector<std::uint32_t> addresses;
    {
        std::lock_guard lock(impl_->m);
        for (const SimController& ctl : impl_->controllers)
            addresses.push_back(*ipv4::parse(ctl.state.address));
    }
    std::sort(addresses.begin(), addresses.end());
    // Runs of nearby addresses become one range, as a broadcast would cover them.
    for (std::size_t i = 0; i < addresses.size();) {
        std::size_t j = i;
        while (j + 1 < addresses.size() && addresses[j + 1] - addresses[j] <= 3 && addresses[j + 1] - addresses[i] < 65535)
            ++j;
        c.searchTargets.push_back(i == j ? ipv4::format(addresses[i])
                                         : ipv4::format(addresses[i]) + "-" + ipv4::format(addresses[j]));
        i = j + 1;
    }
    return c;
}

void SimFleet::writeClientConfig(const std::string& path) const {
    std::string error;
    if (!net::replaceFileDurably(path, clientConfig().toJson(), &error))
        throw std::runtime_error("cannot write client configuration: " + error);
}

std::size_t SimFleet::size() const {
    std::lock_guard lock(impl_->m);
    return impl_->controllers.size();
}

std::optional<SimControllerState> SimFleet::controller(const std::string& serialNo) const {
    std::lock_guard lock(impl_->m);
    const auto i = impl_->indexOf(serialNo);
    if (!i)
        return std::nullopt;
    return impl_->controllers[*i].state;
}

std::vector<SimControllerState> SimFleet::controllers() const {
    std::lock_guard lock(impl_->m);
    std::vector<SimControllerState> out;
    for (const SimController& c : impl_->controllers)
        out.push_back(c.state);
    return out;
}

void SimFleet::setOffline(const std::string& serialNo, bool offline) {
    std::lock_guard lock(impl_->m);
    if (const auto i = impl_->indexOf(serialNo))
        impl_->controllers[*i].state.offline = offline;
}

void SimFleet::setConnected(const std::string& serialNo, bool connected) {
    std::lock_guard lock(impl_->m);
    if (const auto i = impl_->indexOf(serialNo))
        impl_->controllers[*i].state.connected = connected;
}

void SimFleet::setRestartMs(int ms) {
    std::lock_guard lock(impl_->m);
    for (SimController& c : impl_->controllers)
        c.state.restartMs = std::max(0, ms);
}

void SimFleet::setLoseReplies(net::wire::MsgType type, bool lose) {
    std::lock_guard lock(impl_->m);
    if (lose)
        impl_->lostReplyTypes.insert(std::uint8_t(type));
    else
        impl_->lostReplyTypes.erase(std::uint8_t(type));
}

void SimFleet::setLossPercent(double percent) {
    std::lock_guard lock(impl_->m);
    impl_->faults.lossPercent = std::clamp(percent, 0.0, 100.0);
}

void SimFleet::setDuplicatePercent(double percent) {
    std::lock_guard lock(impl_->m);
    impl_->faults.duplicatePercent = std::clamp(percent, 0.0, 100.0);
}

void SimFleet::setDelayMs(int minMs, int maxMs) {
    std::lock_guard lock(impl_->m);
    impl_->faults.delayMinMs = std::max(0, minMs);
    impl_->faults.delayMaxMs = std::max(impl_->faults.delayMinMs, maxMs);
}

bool SimFleet::moveController(const std::string& serialNo, const std::string& newAddress) {
    const auto a = ipv4::parse(newAddress);
    if (!a || !ipv4::isLoopback(*a))
        return false;
    const bool wasRunning = running();
    const std::uint16_t port = impl_->boundPort;
    stop();
    std::string old;
    {
        std::lock_guard lock(impl_->m);
        const auto i = impl_->indexOf(serialNo);
        if (!i)
            return false;
        old = impl_->controllers[*i].state.address;
        impl_->controllers[*i].state.address = ipv4::format(*a);
    }
    if (!wasRunning)
        return true;
    try {
        start(port);
        return true;
    } catch (const std::exception&) {
        std::lock_guard lock(impl_->m);
        impl_->controllers[*impl_->indexOf(serialNo)].state.address = old;
    }
    start(port);
    return false;
}

std::vector<std::string> SimFleet::log() const {
    std::lock_guard lock(impl_->m);
    return {impl_->logLines.begin(), impl_->logLines.end()};
}

void SimFleet::clearLog() {
    std::lock_guard lock(impl_->m);
    impl_->logLines.clear();
}

void SimFleet::setDatagramTap(DatagramTap tap) {
    std::lock_guard lock(impl_->m);
    impl_->tap = std::move(tap);
}

SimStats SimFleet::stats() const {
    std::lock_guard lock(impl_->m);
    return impl_->stats;
}

}  // namespace zelmar::sim
