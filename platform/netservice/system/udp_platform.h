#pragma once
// The small platform layer under the service and the simulator: UDP sockets,
// waiting for readable sockets, name resolution, the open-file limit and
// durable file replacement. BSD sockets, with Winsock alternatives on Windows.
// Addresses and ports are in host order.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zelmar::net::platform {

struct Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    bool operator==(const Endpoint& o) const { return address == o.address && port == o.port; }
    bool operator!=(const Endpoint& o) const { return !(*this == o); }
};
std::string toString(const Endpoint& e);

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // A non-blocking socket bound to address:port (port 0: the system picks).
    // nullopt with `error` set when it cannot be bound (address in use ...).
    static std::optional<UdpSocket> bind(std::uint32_t address, std::uint16_t port, std::string* error = nullptr);

    bool valid() const;
    std::uint16_t localPort() const;
    void setReceiveBuffer(int bytes);
    void setSendBuffer(int bytes);
    // Lets the socket send to broadcast addresses.
    void setBroadcast(bool on);

    // False when the datagram could not be handed to the system.
    bool sendTo(const Endpoint& to, const void* data, std::size_t size);
    // As sendTo, out through the adapter of this interface index whatever the
    // routes say: how the limited broadcast reaches every adapter.
    bool sendThrough(unsigned interfaceIndex, const Endpoint& to, const void* data, std::size_t size);
    // The size of the datagram read into buf, or -1 when none is waiting.
    // A datagram larger than `capacity` is read truncated and reported as capacity + 1.
    // `arrived`, when given, is set to when the system took the datagram in, where the
    // socket stamps arrivals and the system can (Linux), else to now.
    long receiveFrom(void* buf, std::size_t capacity, Endpoint& from,
                     std::chrono::steady_clock::time_point* arrived = nullptr);
    // Datagrams are stamped with their arrival from now on: a reader busy with earlier
    // ones still learns when each came in. Harmless where the system cannot.
    void stampArrivals();
    // Waits up to timeoutMs (0: just looks) for a datagram; true when one waits.
    bool waitReadable(int timeoutMs);

    std::intptr_t handle() const { return handle_; }

private:
    std::intptr_t handle_ = -1;
};

// Waits on many sockets at once (epoll on Linux, poll/WSAPoll elsewhere).
class Poller {
public:
    Poller();
    ~Poller();
    Poller(const Poller&) = delete;
    Poller& operator=(const Poller&) = delete;
    void add(const UdpSocket& socket, std::size_t key);
    // Fills `ready` with the keys of readable sockets; waits up to timeoutMs.
    void wait(int timeoutMs, std::vector<std::size_t>& ready);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Starts the socket library once (Winsock); harmless elsewhere.
void initSockets();

// Raises the soft limit of open files towards `wanted`; returns the limit now in force.
std::size_t raiseOpenFileLimit(std::size_t wanted);

// Resolves a DNS name to an IPv4 address. With loopbackOnly only names of
// the "localhost" family are looked up (from the hosts file, no DNS query),
// and only loopback results count.
std::optional<std::uint32_t> resolveName(const std::string& name, bool loopbackOnly);

// Makes the renames in a folder durable.
void flushFolder(const std::string& folder);

// Calls `handler` (from a signal or a system thread: it may only set a flag)
// when the program is asked to stop: SIGINT or SIGTERM; on Windows Ctrl+C,
// Ctrl+Break or the console window closing.
void onStopRequest(void (*handler)());

}  // namespace zelmar::net::platform
