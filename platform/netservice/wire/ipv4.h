#pragma once
// IPv4 address texts, masks and search-target lists. Addresses are held as
// 32-bit numbers in host order (127.0.0.1 == 0x7F000001).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelmar::net::ipv4 {

// Strict dotted quad: four decimal parts 0-255, no signs, no blanks, no
// leading zeros ("010" is refused, because some stacks read it as octal).
std::optional<std::uint32_t> parse(std::string_view text);
std::string format(std::uint32_t address);

// Prefix length of a contiguous mask (255.255.252.0 -> 22), nullopt otherwise.
std::optional<int> prefixLength(std::uint32_t mask);
std::uint32_t maskOfPrefix(int prefix);

// A subnet mask as typed: dotted ("255.255.255.0") or a prefix length ("24",
// "/24"). nullopt for anything else or a non-contiguous mask.
std::optional<std::uint32_t> parseMask(std::string_view text);

// A DNS name: letter-digit-hyphen labels of 1 to 63 characters separated by
// dots, at most 253 characters, no label starting or ending with a hyphen.
bool isDnsName(std::string_view text);

inline bool isLoopback(std::uint32_t address) { return (address >> 24) == 127; }
// 255.255.255.255: every host of the link the datagram goes out on.
inline constexpr std::uint32_t kLimitedBroadcast = 0xFFFFFFFFu;

// Expands one search target into host addresses:
//   "A"        one address
//   "A-B"      every address from A to B inclusive
//   "A/P"      every host of the network (network and broadcast address left out for P <= 30)
// At most `limit` addresses are produced; nullopt on bad syntax or when the
// target would exceed the limit.
std::optional<std::vector<std::uint32_t>> expandTarget(std::string_view target, std::size_t limit);

}  // namespace zelmar::net::ipv4
