#pragma once
// What a fleet does, wherever it runs: served by this process (LocalFleet,
// fleet_engine.h) or by a fleet host that a test program built for another
// system reaches over TCP (RemoteFleet, remote_fleet.h). SimFleet forwards
// each of its calls to one of them; the calls mean what sim_fleet.h says.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/netservice/config/service_config.h"
#include "platform/netservice/system/udp_platform.h"
#include "platform/netservice/wire/wire.h"
#include "simulator/sim_state.h"

namespace zelmar::sim {

struct SimStats {
    std::uint64_t received = 0;    // datagrams that reached a controller's socket
    std::uint64_t sent = 0;
    std::uint64_t lost = 0;        // dropped by the loss injection (either way)
    std::uint64_t unparsable = 0;  // dropped by a controller without an answer (or not for it)
    std::uint64_t persisted = 0;   // state file writes
};

// Sees every datagram a controller receives or sends, raw, before the faults act on it.
using DatagramTap = std::function<void(bool incoming, const std::string& controllerAddress,
                                       const net::platform::Endpoint& peer, const std::vector<std::uint8_t>& bytes)>;

class FleetBackend {
public:
    virtual ~FleetBackend() = default;

    virtual std::string toJson() const = 0;
    virtual void setStateFile(const std::string& path) = 0;
    virtual void setLogFile(const std::string& path) = 0;

    // The port it serves on (`port` 0: a free one).
    virtual std::uint16_t start(std::uint16_t port) = 0;
    virtual void stop() = 0;
    virtual bool running() const = 0;
    virtual std::uint16_t port() const = 0;
    virtual net::ServiceConfig clientConfig() const = 0;

    virtual std::size_t size() const = 0;
    virtual std::optional<SimControllerState> controller(const std::string& serialNo) const = 0;
    virtual std::vector<SimControllerState> controllers() const = 0;

    virtual void setOffline(const std::string& serialNo, bool offline) = 0;
    virtual void setConnected(const std::string& serialNo, bool connected) = 0;
    virtual void setLossPercent(double percent) = 0;
    virtual void setDuplicatePercent(double percent) = 0;
    virtual void setReorderPercent(double percent) = 0;
    virtual void setDelayMs(int minMs, int maxMs) = 0;
    virtual void setLoseReplies(net::wire::MsgType type, bool lose) = 0;
    virtual void setLoseRequests(net::wire::MsgType type, bool lose) = 0;
    virtual void setLoseNextReplies(const std::string& serialNo, net::wire::MsgType type, int count) = 0;
    virtual void setRestartMs(int ms) = 0;
    virtual bool moveController(const std::string& serialNo, const std::string& newAddress) = 0;

    virtual std::vector<std::string> log() const = 0;
    virtual void clearLog() = 0;
    virtual SimStats stats() const = 0;
    virtual void setDatagramTap(DatagramTap tap) = 0;
};

}  // namespace zelmar::sim
