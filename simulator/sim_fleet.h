#pragma once
// A fleet of simulated controllers on loopback, for tests, the benchmark and
// the zelmar-controller-sim program. Each controller listens on its own
// address in 127.0.0.0/8 at the fleet's port; one background thread serves
// them all over real UDP. Every public call is thread-safe.
//
//   auto fleet = zelmar::sim::SimFleet::generate(20);
//   fleet.start();                                  // port 0: a free port
//   zelmar::net::NetService service(fleet.clientConfig());
//   service.Search();
//   fleet.controller("10-00003")->marked;
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/netservice/config/service_config.h"
#include "platform/netservice/wire/wire.h"
#include "simulator/fleet_backend.h"
#include "simulator/fleet_file.h"
#include "simulator/sim_state.h"

namespace zelmar::sim {

class SimFleet {
public:
    SimFleet();
    explicit SimFleet(FleetData data);
    ~SimFleet();
    SimFleet(SimFleet&&) noexcept;
    SimFleet& operator=(SimFleet&&) noexcept;

    static SimFleet fromJson(const std::string& json);   // throws std::runtime_error
    static SimFleet fromFile(const std::string& path);   // throws std::runtime_error
    static SimFleet generate(int count, const GenerateOptions& options = {});
    // Served by this process even when a fleet host is chosen: the host's own fleets.
    static SimFleet inThisProcess(FleetData data);
    std::string toJson() const;                          // the fleet file of the present state

    // After every applied setup and every mark the state is written here
    // (atomically); set before start(). Loads nothing: use fromFile for that.
    void setStateFile(const std::string& path);
    // Appends one line per datagram received to this file (besides the in-memory log).
    void setLogFile(const std::string& path);

    // Binds every controller and starts serving; port 0 takes a free port. Throws std::runtime_error.
    void start(std::uint16_t port = 0);
    void stop();  // waits for the thread; harmless when not running
    bool running() const;
    std::uint16_t port() const;

    // The client configuration that points the service at this fleet.
    net::ServiceConfig clientConfig() const;
    void writeClientConfig(const std::string& path) const;

    std::size_t size() const;
    std::optional<SimControllerState> controller(const std::string& serialNo) const;
    std::vector<SimControllerState> controllers() const;

    // Fault injection for this run, effective at once. The state file keeps
    // the fleet file's faults, offline flags and restart times, not these.
    void setOffline(const std::string& serialNo, bool offline);
    void setConnected(const std::string& serialNo, bool connected);
    void setLossPercent(double percent);
    void setDuplicatePercent(double percent);
    // Each datagram a controller receives or sends is held back 1 to 10 ms with this
    // chance, so that later ones overtake it.
    void setReorderPercent(double percent);
    void setDelayMs(int minMs, int maxMs);
    // Every answer of this type is lost on its way out (the request was taken, only
    // its answer goes missing), until called again with false.
    void setLoseReplies(net::wire::MsgType type, bool lose);
    // Every request of this type is lost on its way in (the controller never takes it),
    // until called again with false.
    void setLoseRequests(net::wire::MsgType type, bool lose);
    // The next `count` answers of this type from one controller are lost on their way
    // out (a site where one controller's answers to the first searches go missing).
    void setLoseNextReplies(const std::string& serialNo, net::wire::MsgType type, int count);
    // How long every controller stays silent after switching to a new port OS.
    void setRestartMs(int ms);
    // Moves a running controller to another loopback address (as after a new
    // DHCP lease); false when that address cannot be bound.
    bool moveController(const std::string& serialNo, const std::string& newAddress);

    // The last lines of the log of what the controllers received (bounded).
    std::vector<std::string> log() const;
    void clearLog();
    SimStats stats() const;

    // Test programs built for another system than the simulator's: every fleet
    // made from now on is served by the fleet host at `host` ("127.0.0.1:port",
    // simulator/fleet_host.h) and every call goes there. Empty: in this process.
    static void useFleetHost(const std::string& host);
    static std::string fleetHost();

    // Test hook: sees every datagram a controller receives or sends, raw, before
    // loss injection (called on the fleet's thread under its lock: keep it short).
    // With a fleet host it is called on a thread of this process, before the
    // datagram goes on.
    using DatagramTap = sim::DatagramTap;
    void setDatagramTap(DatagramTap tap);

private:
    SimFleet(FleetData data, bool mayUseHost);
    std::unique_ptr<FleetBackend> fleet_;  // in this process, or at the fleet host
};

}  // namespace zelmar::sim
