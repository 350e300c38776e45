#pragma once
// Text lines over a TCP connection on loopback: how a test program on one
// system drives simulated controllers served by another (the Windows tests
// under Wine and the Linux simulator). Blocking, with timeouts. BSD sockets,
// with Winsock alternatives on Windows; addresses and ports in host order.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/netservice/system/udp_platform.h"

namespace zelmar::net::platform {

class LineChannel {
public:
    LineChannel() = default;
    ~LineChannel();
    LineChannel(LineChannel&& other) noexcept;
    LineChannel& operator=(LineChannel&& other) noexcept;
    LineChannel(const LineChannel&) = delete;
    LineChannel& operator=(const LineChannel&) = delete;

    // nullopt with `error` set when nobody listens there.
    static std::optional<LineChannel> connect(const Endpoint& to, std::string* error = nullptr);

    // The line and its "\n"; false when the connection is gone.
    bool sendLine(const std::string& line);
    // The next line without its "\n"; nullopt when the connection closed or
    // nothing came within timeoutMs.
    std::optional<std::string> receiveLine(int timeoutMs);

private:
    friend class LineListener;
    explicit LineChannel(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_ = -1;
    std::string pending_;  // received after the last whole line
};

class LineListener {
public:
    LineListener() = default;
    ~LineListener();
    LineListener(LineListener&& other) noexcept;
    LineListener& operator=(LineListener&& other) noexcept;
    LineListener(const LineListener&) = delete;
    LineListener& operator=(const LineListener&) = delete;

    // Listens at address:port (port 0: the system picks).
    static std::optional<LineListener> listen(const Endpoint& at, std::string* error = nullptr);
    std::uint16_t port() const;
    // The next connection, or nullopt when none came within timeoutMs.
    std::optional<LineChannel> accept(int timeoutMs);

private:
    std::intptr_t handle_ = -1;
};

}  // namespace zelmar::net::platform
