#pragma once
// The fleet host: serves simulated fleets to test programs built for another
// system, so that a client built for Windows (running under Wine) talks to
// controllers built for Linux. Each connection on loopback owns one fleet,
// made by its first request and stopped when the connection closes.
#include <atomic>
#include <cstdint>

#include "platform/netservice/system/line_channel.h"

namespace zelmar::sim {

class FleetHost {
public:
    // Listens on 127.0.0.1:port (0: a free port). Throws std::runtime_error.
    explicit FleetHost(std::uint16_t port);
    std::uint16_t port() const { return listener_.port(); }
    // Serves every connection on a thread of its own until `stop` is set.
    void run(const std::atomic<bool>& stop);

private:
    net::platform::LineListener listener_;
};

// A path as a client under Wine names it ("C:\users\...", "Z:\tmp\..."), as
// this system names the same file: the drive is looked up among the Wine
// prefix's drives (WINEPREFIX). Any other path is returned as it is.
std::string hostPath(const std::string& clientPath);

}  // namespace zelmar::sim
