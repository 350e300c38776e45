#pragma once
// The service's one UDP socket and what goes through it: opened on first use
// from the configuration, the loopback guard on every datagram sent and every
// name resolved, the request ids, and the datagram counters. Replies are
// decoded by the decoder the service sets (the encryption opens sealed ones);
// without one, in clear only. Every part that talks to controllers sends and
// receives here; none of them owns a socket.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/netservice/config/service_config.h"
#include "platform/netservice/system/udp_platform.h"
#include "platform/netservice/transport/service_stats.h"
#include "platform/netservice/wire/wire.h"

namespace zelmar::net {

class ServicePort {
public:
    using Endpoint = platform::Endpoint;
    // Decodes a datagram as it arrived into `msg`; false when it is not believable.
    using Decoder = std::function<bool(const std::uint8_t* data, std::size_t size, wire::Message& msg)>;

    explicit ServicePort(const ServiceConfig& config);

    const ServiceConfig& config() const { return config_; }
    // Opens the socket unless it is open; throws ServiceError (bind address, socket).
    void open();
    bool isOpen() const { return socket_.has_value(); }
    // The port it sends from and receives answers on (0 before it is open).
    std::uint16_t localPort() const { return socket_ ? socket_->localPort() : 0; }

    // A new request id: one more than the last, 0 skipped, from a random start.
    std::uint32_t newRequestId();

    // False (counted as dropped) for an empty datagram or an address outside
    // loopback while the guard is on.
    bool send(const Endpoint& to, const std::vector<std::uint8_t>& bytes);
    // 255.255.255.255 out through one adapter (dropped under the loopback guard).
    bool sendLimitedBroadcast(unsigned interfaceIndex, const std::vector<std::uint8_t>& bytes);

    void setDecoder(Decoder decoder) { decoder_ = std::move(decoder); }
    // Reads one datagram if any waits (false: none); `usable` tells whether it
    // decoded as a reply. Anything else is counted and dropped.
    bool receiveOne(wire::Message& msg, Endpoint& from, bool& usable);
    // When the datagram receiveOne read last came in (the system's stamp where it gives one):
    // a reader busy with a burst of answers still times each by its arrival.
    std::chrono::steady_clock::time_point lastArrival() const { return lastArrival_; }
    void waitReadable(int timeoutMs) { socket_->waitReadable(timeoutMs); }

    // An IPv4 address, or a DNS name the resolver knows (only `localhost` ones under the guard).
    std::optional<std::uint32_t> resolve(const std::string& address) const;
    bool sendAllowed(std::uint32_t address) const;

    ServiceStats& counters() { return stats_; }
    const ServiceStats& counters() const { return stats_; }

private:
    const ServiceConfig& config_;
    std::optional<platform::UdpSocket> socket_;
    std::uint32_t requestId_;
    Decoder decoder_;
    ServiceStats stats_;
    std::vector<std::uint8_t> buffer_;
    std::chrono::steady_clock::time_point lastArrival_{};
};

}  // namespace zelmar::net
