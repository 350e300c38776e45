#pragma once
// A fleet served by a fleet host (simulator/fleet_host.h): each call sent over
// one connection and answered there. Thread-safe.
#include <QJsonObject>
#include <QJsonValue>
#include <mutex>
#include <string>
#include <thread>

#include "platform/netservice/system/line_channel.h"
#include "simulator/fleet_backend.h"
#include "simulator/fleet_file.h"

namespace zelmar::sim {

class RemoteFleet final : public FleetBackend {
public:
    // Connects to the host ("127.0.0.1:port") and makes the fleet there.
    // Throws std::runtime_error.
    RemoteFleet(const std::string& host, const FleetData& data);
    ~RemoteFleet() override;  // the host stops the fleet

    std::string toJson() const override;
    void setStateFile(const std::string& path) override;
    void setLogFile(const std::string& path) override;
    std::uint16_t start(std::uint16_t port) override;
    void stop() override;
    bool running() const override { return running_; }
    std::uint16_t port() const override { return port_; }
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
    // Every datagram of the fleet reaches `tap` on a thread of this object,
    // before the host lets it go on. Throws std::runtime_error.
    void setDatagramTap(DatagramTap tap) override;

private:
    // The answer of `op`; throws std::runtime_error with the host's words.
    QJsonValue call(const char* op, QJsonObject args = {}) const;

    net::platform::Endpoint host_;
    int id_ = 0;
    mutable std::mutex m_;
    mutable net::platform::LineChannel channel_;
    std::thread tapThread_;
    bool running_ = false;
    std::uint16_t port_ = 0;
};

}  // namespace zelmar::sim
