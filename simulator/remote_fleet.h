#pragma once
// A fleet served by a fleet host (simulator/fleet_host.h): SimFleet's calls
// sent over one connection and answered there. Thread-safe.
#include <QJsonObject>
#include <QJsonValue>
#include <mutex>
#include <string>
#include <thread>

#include "platform/netservice/system/line_channel.h"
#include "simulator/fleet_file.h"
#include "simulator/sim_fleet.h"

namespace zelmar::sim {

class RemoteFleet {
public:
    // Connects to the host ("127.0.0.1:port") and makes the fleet there.
    // Throws std::runtime_error.
    RemoteFleet(const std::string& host, const FleetData& data);
    ~RemoteFleet();  // the host stops the fleet

    // The answer of `op`; throws std::runtime_error with the host's words.
    QJsonValue call(const char* op, QJsonObject args = {});

    // Every datagram of the fleet reaches `tap` on a thread of this object,
    // before the host lets it go on. Throws std::runtime_error.
    void setDatagramTap(SimFleet::DatagramTap tap);

private:
    net::platform::Endpoint host_;
    int id_ = 0;
    std::mutex m_;
    net::platform::LineChannel channel_;
    std::thread tapThread_;
};

}  // namespace zelmar::sim
