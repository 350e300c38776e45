#pragma once
// A fleet served by this process: the controllers' sockets, the one thread
// that serves them, delayed answers, fault injection, the log and the state
// file. The thread holds `m` while it handles datagrams and timers; the calls
// take it too. The calls are in local_fleet.cpp, the serving in fleet_engine.cpp.
#include <QFile>
#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <queue>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/netservice/system/udp_platform.h"
#include "platform/netservice/wire/wire.h"
#include "simulator/fleet_backend.h"
#include "simulator/fleet_file.h"
#include "simulator/sim_controller.h"

namespace zelmar::sim {

class LocalFleet final : public FleetBackend {
public:
    explicit LocalFleet(FleetData data);
    ~LocalFleet() override;

    std::string toJson() const override;
    void setStateFile(const std::string& path) override;
    void setLogFile(const std::string& path) override;
    std::uint16_t start(std::uint16_t port) override;
    void stop() override;
    bool running() const override { return isRunning; }
    std::uint16_t port() const override { return boundPort; }
    net::ServiceConfig clientConfig() const override;
    std::size_t size() const override;
    std::optional<SimControllerState> controller(const std::string& serialNo) const override;
    std::vector<SimControllerState> controllers() const override;
    void setOffline(const std::string& serialNo, bool offline) override;
    void setConnected(const std::string& serialNo, bool connected) override;
    void setLossPercent(double percent) override;
    void setDuplicatePercent(double percent) override;
    void setReorderPercent(double percent) override;
    void setDelayMs(int minMs, int maxMs) override;
    void setLoseReplies(net::wire::MsgType type, bool lose) override;
    void setLoseRequests(net::wire::MsgType type, bool lose) override;
    void setLoseNextReplies(const std::string& serialNo, net::wire::MsgType type, int count) override;
    void setRestartMs(int ms) override;
    bool moveController(const std::string& serialNo, const std::string& newAddress) override;
    std::vector<std::string> log() const override;
    void clearLog() override;
    SimStats stats() const override;
    void setDatagramTap(DatagramTap tap) override;

private:
    using Clock = std::chrono::steady_clock;
    using Endpoint = net::platform::Endpoint;
    using UdpSocket = net::platform::UdpSocket;

    struct Timer {
        Clock::time_point due;
        std::size_t controller;
        Endpoint peer;      // where it goes, or where it came from
        bool incoming;      // a datagram held back on its way in
        std::vector<std::uint8_t> bytes;
        bool operator>(const Timer& o) const { return due > o.due; }
    };

    mutable std::mutex m;
    std::vector<SimController> members;  // the controllers
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
    QFile logOut;  // a file name in UTF-8 on every system
    std::deque<std::string> logLines;
    SimStats counters;
    DatagramTap tap;  // test hook: every datagram in and out
    std::unordered_set<std::uint8_t> lostReplyTypes;  // answers of these types never leave
    std::unordered_set<std::uint8_t> lostRequestTypes;  // requests of these types never arrive
    std::map<std::pair<std::size_t, std::uint8_t>, int> repliesToLose;  // by controller and type: how many more
    bool loseThisReply(std::size_t index, const std::vector<std::uint8_t>& bytes);
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
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(net::wire::kMaxDatagram + 1);

    std::optional<std::size_t> indexOf(const std::string& serial) const;
    bool chance(double percent);
    void addLog(const std::string& line);
    FleetData snapshot() const;
    void persist();
    // A controller's next state, stored with the rest of the fleet before it is confirmed.
    bool store(std::size_t index, const SimControllerState& next);
    void sendNow(std::size_t index, const Endpoint& to, const std::vector<std::uint8_t>& bytes);
    // One try at binding every controller's address to one port (0: the first
    // one's free port); the port, or 0 with `error` saying why.
    std::uint16_t bindAll(std::uint16_t port, std::string& error);
    // Whether controller `index` hears a datagram now: not offline, not restarting, not lost.
    bool hears(std::size_t index);
    static std::string who(const SimController& c, const Endpoint& from);
    void logResult(const SimController& c, const Endpoint& from, const SimController::Result& r);
    // Each answer after its delay and the injected one; some twice.
    void sendReplies(std::size_t index, const std::vector<Outgoing>& out);
    // With the reorder chance, how long a datagram is held back so that later ones overtake it (0: not).
    int heldBackMs();
    static constexpr int kMostHeldBackMs = 10;
    // A datagram to send, or to take in, after `delayMs`.
    void later(int delayMs, std::size_t index, const Endpoint& peer, bool incoming, std::vector<std::uint8_t> bytes);
    void onDatagram(std::size_t index, std::size_t size, const Endpoint& from);
    // A datagram the controller of `index` received, past the tap and any holding back.
    void take(std::size_t index, const std::uint8_t* data, std::size_t size, const Endpoint& from);
    void runDueTimers();
    void loop();  // the serving thread, until `stopping`
};

}  // namespace zelmar::sim
