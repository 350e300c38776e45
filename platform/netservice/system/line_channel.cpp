// Platform file: TCP with BSD sockets, Winsock alternatives on Windows.
#include "platform/netservice/system/line_channel.h"

#include "platform/netservice/system/socket_native.h"

#ifndef _WIN32
#include <fcntl.h>
#include <netinet/tcp.h>
#endif

namespace zelmar::net::platform {

namespace {
using native::kInvalid;
using native::lastError;
using native::release;
using native::toSockaddr;
using Native = native::Socket;

std::intptr_t newSocket() {
    initSockets();
    const Native s = ::socket(AF_INET, SOCK_STREAM, 0);
#ifndef _WIN32
    if (s >= 0)
        ::fcntl(s, F_SETFD, FD_CLOEXEC);
#endif
    return std::intptr_t(s);
}
}  // namespace

LineChannel::~LineChannel() { release(handle_); }
LineChannel::LineChannel(LineChannel&& o) noexcept : handle_(o.handle_), pending_(std::move(o.pending_)) {
    o.handle_ = kInvalid;
}
LineChannel& LineChannel::operator=(LineChannel&& o) noexcept {
    if (this != &o) {
        release(handle_);
        handle_ = o.handle_;
        pending_ = std::move(o.pending_);
        o.handle_ = kInvalid;
    }
    return *this;
}

std::optional<LineChannel> LineChannel::connect(const Endpoint& to, std::string* error) {
    LineChannel channel(newSocket());
    const sockaddr_in sa = toSockaddr(to);
    if (channel.handle_ == kInvalid ||
        ::connect(Native(channel.handle_), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        if (error)
            *error = "connect " + toString(to) + ": " + lastError();
        return std::nullopt;
    }
    // Requests and answers are single short lines: send each at once.
    const int on = 1;
    ::setsockopt(Native(channel.handle_), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return channel;
}

bool LineChannel::sendLine(const std::string& line) {
    const std::string data = line + '\n';
    std::size_t sent = 0;
    while (sent < data.size()) {
        const auto n = ::send(Native(handle_), data.data() + sent, int(data.size() - sent), 0);
        if (n <= 0)
            return false;
        sent += std::size_t(n);
    }
    return true;
}

std::optional<std::string> LineChannel::receiveLine(int timeoutMs) {
    char buffer[65536];
    for (;;) {
        if (const auto end = pending_.find('\n'); end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        if (!native::waitReadable(handle_, timeoutMs))
            return std::nullopt;
        const auto n = ::recv(Native(handle_), buffer, int(sizeof buffer), 0);
        if (n <= 0)
            return std::nullopt;
        pending_.append(buffer, std::size_t(n));
    }
}

LineListener::~LineListener() { release(handle_); }
LineListener::LineListener(LineListener&& o) noexcept : handle_(o.handle_) { o.handle_ = kInvalid; }
LineListener& LineListener::operator=(LineListener&& o) noexcept {
    if (this != &o) {
        release(handle_);
        handle_ = o.handle_;
        o.handle_ = kInvalid;
    }
    return *this;
}

std::optional<LineListener> LineListener::listen(const Endpoint& at, std::string* error) {
    LineListener listener;
    listener.handle_ = newSocket();
    const int on = 1;
    ::setsockopt(Native(listener.handle_), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
    const sockaddr_in sa = toSockaddr(at);
    if (listener.handle_ == kInvalid ||
        ::bind(Native(listener.handle_), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(Native(listener.handle_), 64) != 0) {
        if (error)
            *error = "listen " + toString(at) + ": " + lastError();
        return std::nullopt;
    }
    return listener;
}

std::uint16_t LineListener::port() const { return native::localPort(handle_); }

std::optional<LineChannel> LineListener::accept(int timeoutMs) {
    if (!native::waitReadable(handle_, timeoutMs))
        return std::nullopt;
    const Native s = ::accept(Native(handle_), nullptr, nullptr);
    if (std::intptr_t(s) == kInvalid)
        return std::nullopt;
    return LineChannel(std::intptr_t(s));
}

}  // namespace zelmar::net::platform
