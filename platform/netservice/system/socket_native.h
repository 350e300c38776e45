#pragma once
// The socket basics the platform files share: the native handle, closing it,
// addresses, the last error in the system's words, the bound port and
// waiting until a socket can be read. BSD sockets, Winsock on Windows. Only
// for the files of this folder.
#include <cstdint>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
using socklen_t = int;
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "platform/netservice/system/udp_platform.h"

namespace zelmar::net::platform::native {

#ifdef _WIN32
using Socket = SOCKET;
using OptionValue = DWORD;
constexpr std::intptr_t kInvalid = std::intptr_t(INVALID_SOCKET);
inline void close(std::intptr_t h) { closesocket(Socket(h)); }
#else
using Socket = int;
using OptionValue = int;
constexpr std::intptr_t kInvalid = -1;
inline void close(std::intptr_t h) { ::close(int(h)); }
#endif

// Closes the handle, if any, and forgets it.
inline void release(std::intptr_t& h) {
    if (h != kInvalid)
        close(h);
    h = kInvalid;
}

inline sockaddr_in toSockaddr(const Endpoint& e) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(e.address);
    sa.sin_port = htons(e.port);
    return sa;
}

// The last socket call's error, in the system's words.
inline std::string lastError() {
#ifdef _WIN32
    const int code = WSAGetLastError();
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, DWORD(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n && text ? std::string(text, n) : "Winsock error";
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message + " (" + std::to_string(code) + ")";
#else
    return std::strerror(errno);
#endif
}

// The port the socket is bound to; 0 when unknown.
inline std::uint16_t localPort(std::intptr_t h) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(Socket(h), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return 0;
    return ntohs(sa.sin_port);
}

// Waits up to timeoutMs (-1: for ever) until the socket can be read.
inline bool waitReadable(std::intptr_t h, int timeoutMs) {
#ifdef _WIN32
    WSAPOLLFD p{Socket(h), POLLRDNORM, 0};
    return WSAPoll(&p, 1, timeoutMs) > 0;
#else
    pollfd p{int(h), POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
#endif
}

}  // namespace zelmar::net::platform::native
