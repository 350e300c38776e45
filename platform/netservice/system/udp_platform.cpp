// BSD sockets (Linux, macOS) with Winsock alternatives. Everything that is
// not portable C++ in the service and the simulator lives in this file.
#include "platform/netservice/system/udp_platform.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>

#include "platform/netservice/system/socket_native.h"

#ifndef _WIN32
#include <fcntl.h>
#include <netdb.h>
#include <sys/resource.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/epoll.h>
#endif
#endif

namespace zelmar::net::platform {

using native::kInvalid;
using native::lastError;
using native::toSockaddr;
using Native = native::Socket;
using OptionValue = native::OptionValue;

std::string toString(const Endpoint& e) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u:%u", e.address >> 24, (e.address >> 16) & 0xFF,
                  (e.address >> 8) & 0xFF, e.address & 0xFF, unsigned(e.port));
    return buf;
}

void initSockets() {
#ifdef _WIN32
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
#endif
}

UdpSocket::~UdpSocket() { native::release(handle_); }

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : handle_(other.handle_) { other.handle_ = kInvalid; }

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
    if (this != &other) {
        native::release(handle_);
        handle_ = other.handle_;
        other.handle_ = kInvalid;
    }
    return *this;
}

bool UdpSocket::valid() const { return handle_ != kInvalid; }

std::optional<UdpSocket> UdpSocket::bind(std::uint32_t address, std::uint16_t port, std::string* error) {
    initSockets();
    const Native s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (std::intptr_t(s) == kInvalid) {
        if (error)
            *error = "socket: " + lastError();
        return std::nullopt;
    }
    UdpSocket sock;
    sock.handle_ = std::intptr_t(s);
#ifdef _WIN32
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    // A lost datagram to a closed port must not make later receives fail.
    BOOL reset = FALSE;
    DWORD ignored = 0;
    WSAIoctl(s, _WSAIOW(IOC_VENDOR, 12) /* SIO_UDP_CONNRESET */, &reset, sizeof reset, nullptr, 0, &ignored,
             nullptr, nullptr);
#else
    ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
    ::fcntl(s, F_SETFD, FD_CLOEXEC);
#endif
    const sockaddr_in sa = toSockaddr({address, port});
    if (::bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        if (error)
            *error = "bind " + toString({address, port}) + ": " + lastError();
        return std::nullopt;
    }
    return sock;
}

std::uint16_t UdpSocket::localPort() const { return native::localPort(handle_); }

void UdpSocket::setReceiveBuffer(int bytes) {
    ::setsockopt(Native(handle_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

void UdpSocket::setSendBuffer(int bytes) {
    ::setsockopt(Native(handle_), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

void UdpSocket::setBroadcast(bool on) {
    const int value = on ? 1 : 0;
    ::setsockopt(Native(handle_), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&value), sizeof value);
}

bool UdpSocket::sendThrough(unsigned interfaceIndex, const Endpoint& to, const void* data, std::size_t size) {
#if defined(_WIN32) || defined(__linux__)
    // IP_UNICAST_IF takes the index in network order on both systems.
    auto setInterface = [this](unsigned index) {
        const OptionValue value = OptionValue(htonl(index));
        return ::setsockopt(Native(handle_), IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&value),
                            sizeof value) == 0;
    };
#elif defined(__APPLE__)
    auto setInterface = [this](unsigned index) {
        const int value = int(index);
        return ::setsockopt(Native(handle_), IPPROTO_IP, IP_BOUND_IF, &value, sizeof value) == 0;
    };
#else
    auto setInterface = [](unsigned) { return false; };
#endif
    if (!setInterface(interfaceIndex))
        return false;
    const bool sent = sendTo(to, data, size);
    setInterface(0);  // unicast follows the routes again
    return sent;
}

bool UdpSocket::sendTo(const Endpoint& to, const void* data, std::size_t size) {
    const sockaddr_in sa = toSockaddr(to);
    for (int attempt = 0; attempt < 50; ++attempt) {
        const auto n = ::sendto(Native(handle_), static_cast<const char*>(data), int(size), 0,
                                reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
        if (n >= 0)
            return true;
#ifdef _WIN32
        if (WSAGetLastError() != WSAEWOULDBLOCK)
            return false;
        Sleep(0);
#else
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS)
            return false;
        // A full send queue empties within microseconds on loopback.
        pollfd p{Native(handle_), POLLOUT, 0};
        ::poll(&p, 1, 1);
#endif
    }
    return false;
}

void UdpSocket::stampArrivals() {
#ifdef SO_TIMESTAMPNS
    const int on = 1;
    ::setsockopt(Native(handle_), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
#endif
}

namespace {
#ifdef SO_TIMESTAMPNS
// The system's stamp (wall clock) on the steady clock: as long before now as it was before the wall clock's now.
std::chrono::steady_clock::time_point onSteadyClock(const timespec& stamp) {
    timespec wall{};
    ::clock_gettime(CLOCK_REALTIME, &wall);
    const auto steadyNow = std::chrono::steady_clock::now();
    const auto ago = std::chrono::seconds(wall.tv_sec - stamp.tv_sec) + std::chrono::nanoseconds(wall.tv_nsec - stamp.tv_nsec);
    // A wall clock set back or far forward meanwhile: the stamp says nothing.
    if (ago < std::chrono::nanoseconds(0) || ago > std::chrono::seconds(10))
        return steadyNow;
    return steadyNow - std::chrono::duration_cast<std::chrono::steady_clock::duration>(ago);
}
#endif
}  // namespace

long UdpSocket::receiveFrom(void* buf, std::size_t capacity, Endpoint& from,
                            std::chrono::steady_clock::time_point* arrived) {
    sockaddr_in sa{};
#ifdef _WIN32
    socklen_t len = sizeof sa;
    const int n = ::recvfrom(Native(handle_), static_cast<char*>(buf), int(capacity), 0,
                             reinterpret_cast<sockaddr*>(&sa), &len);
    if (n < 0) {
        if (WSAGetLastError() == WSAEMSGSIZE)
            return long(capacity) + 1;
        return -1;
    }
    if (arrived)
        *arrived = std::chrono::steady_clock::now();
#else
    iovec data{buf, capacity};
    alignas(cmsghdr) char control[64];
    msghdr msg{};
    msg.msg_name = &sa;
    msg.msg_namelen = sizeof sa;
    msg.msg_iov = &data;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    // MSG_TRUNC reports the real size, so an oversized datagram is recognised and dropped.
    const ssize_t n = ::recvmsg(Native(handle_), &msg, MSG_TRUNC);
    if (n < 0)
        return -1;
    if (arrived) {
        *arrived = std::chrono::steady_clock::now();
#ifdef SO_TIMESTAMPNS
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec stamp{};
                std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
                *arrived = std::min(*arrived, onSteadyClock(stamp));
            }
#endif
    }
    if (std::size_t(n) > capacity)
        return long(capacity) + 1;
#endif
    from.address = ntohl(sa.sin_addr.s_addr);
    from.port = ntohs(sa.sin_port);
    return long(n);
}

bool UdpSocket::waitReadable(int timeoutMs) { return native::waitReadable(handle_, timeoutMs); }

#if defined(__linux__)
struct Poller::Impl {
    int epfd = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<epoll_event> events = std::vector<epoll_event>(512);
    ~Impl() { ::close(epfd); }
};
Poller::Poller() : impl_(std::make_unique<Impl>()) {}
Poller::~Poller() = default;
void Poller::add(const UdpSocket& socket, std::size_t key) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = key;
    ::epoll_ctl(impl_->epfd, EPOLL_CTL_ADD, int(socket.handle()), &ev);
}
void Poller::wait(int timeoutMs, std::vector<std::size_t>& ready) {
    ready.clear();
    const int n = ::epoll_wait(impl_->epfd, impl_->events.data(), int(impl_->events.size()), timeoutMs);
    for (int i = 0; i < n; ++i)
        ready.push_back(std::size_t(impl_->events[i].data.u64));
}
#else
struct Poller::Impl {
#ifdef _WIN32
    std::vector<WSAPOLLFD> fds;
#else
    std::vector<pollfd> fds;
#endif
    std::vector<std::size_t> keys;
};
Poller::Poller() : impl_(std::make_unique<Impl>()) {}
Poller::~Poller() = default;
void Poller::add(const UdpSocket& socket, std::size_t key) {
    impl_->fds.push_back({Native(socket.handle()), POLLIN, 0});
    impl_->keys.push_back(key);
}
void Poller::wait(int timeoutMs, std::vector<std::size_t>& ready) {
    ready.clear();
#ifdef _WIN32
    const int n = WSAPoll(impl_->fds.data(), ULONG(impl_->fds.size()), timeoutMs);
#else
    const int n = ::poll(impl_->fds.data(), nfds_t(impl_->fds.size()), timeoutMs);
#endif
    if (n <= 0)
        return;
    for (std::size_t i = 0; i < impl_->fds.size(); ++i)
        if (impl_->fds[i].revents & POLLIN)
            ready.push_back(impl_->keys[i]);
}
#endif

std::size_t raiseOpenFileLimit(std::size_t wanted) {
#ifdef _WIN32
    (void)wanted;
    return 1u << 20;  // sockets are not counted against a small limit on Windows
#else
    rlimit lim{};
    if (::getrlimit(RLIMIT_NOFILE, &lim) != 0)
        return 0;
    if (lim.rlim_cur < wanted) {
        rlim_t target = wanted;
        if (lim.rlim_max != RLIM_INFINITY && target > lim.rlim_max)
            target = lim.rlim_max;
        lim.rlim_cur = target;
        ::setrlimit(RLIMIT_NOFILE, &lim);
        ::getrlimit(RLIMIT_NOFILE, &lim);
    }
    return std::size_t(lim.rlim_cur);
#endif
}

std::optional<std::uint32_t> resolveName(const std::string& name, bool loopbackOnly) {
    if (name.empty() || name.size() > 253)
        return std::nullopt;
    if (loopbackOnly) {
        // Only names that never leave the machine: "localhost" and its sub-names.
        std::string lower;
        for (char c : name)
            lower.push_back(char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
        const std::string suffix = ".localhost";
        const bool local = lower == "localhost" ||
                           (lower.size() > suffix.size() && lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0);
        if (!local)
            return std::nullopt;
    }
    initSockets();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* result = nullptr;
    const std::string lookup = loopbackOnly ? "localhost" : name;
    if (::getaddrinfo(lookup.c_str(), nullptr, &hints, &result) != 0 || !result)
        return std::nullopt;
    std::optional<std::uint32_t> found;
    for (addrinfo* ai = result; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET)
            continue;
        const std::uint32_t a = ntohl(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr);
        if (loopbackOnly && (a >> 24) != 127)
            continue;
        found = a;
        break;
    }
    ::freeaddrinfo(result);
    return found;
}

void flushFolder(const std::string& folder) {
#ifdef _WIN32
    // A folder opened for writing (backup semantics) takes FlushFileBuffers:
    // the renamed entry reaches the disk.
    std::wstring name(folder.size() + 1, L'\0');  // UTF-8 to UTF-16 never needs more units
    name.resize(std::size_t(MultiByteToWideChar(CP_UTF8, 0, folder.data(), int(folder.size()), name.data(),
                                                int(name.size()))));
    const HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        FlushFileBuffers(h);
        CloseHandle(h);
    }
#else
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#endif
}

namespace {
void (*g_stopHandler)() = nullptr;
extern "C" void onStopSignal(int) {
    if (g_stopHandler)
        g_stopHandler();
}
#ifdef _WIN32
BOOL WINAPI onConsoleEvent(DWORD) {
    if (g_stopHandler)
        g_stopHandler();
    return TRUE;  // handled: the program ends on its own
}
#endif
}  // namespace

void onStopRequest(void (*handler)()) {
    g_stopHandler = handler;
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#endif
}

}  // namespace zelmar::net::platform
