#pragma once
// The workstation's network adapters and the search target "adapters" they
// stand for: the directed broadcast address of every adapter that is up, can
// broadcast and has an IPv4 address outside 127.0.0.0/8, and the limited
// broadcast 255.255.255.255 sent out through each such adapter (a controller
// whose address does not fit the adapter's network, or a factory-new one,
// hears only that).
#include <cstdint>
#include <string>
#include <vector>

#include "platform/netservice/wire/ipv4.h"

namespace zelmar::net {

struct AdapterAddress {
    std::uint32_t address = 0;
    std::uint32_t mask = 0;
    std::uint32_t broadcast = 0;  // 0 when the adapter reports none
};

struct Adapter {
    std::string name;         // the system's name ("eth0", "{GUID}" on Windows)
    std::string displayName;  // what a person reads ("Ethernet 2"); the name where there is none
    unsigned index = 0;       // the system's interface index
    bool up = false;
    bool running = false;
    bool canBroadcast = false;
    bool loopback = false;
    std::vector<AdapterAddress> ipv4;
};

// Every adapter of the workstation, as Qt's QNetworkInterface sees it.
std::vector<Adapter> listAdapters();

// True for an adapter a search goes out through (see above).
bool searchesThrough(const Adapter& adapter);
// Why a search does not go out through it ("down", "loopback", ...); empty when it does.
std::string whyNotSearched(const Adapter& adapter);
// The directed broadcast addresses a search sends to through it (none when it is not searched).
std::vector<std::uint32_t> directedBroadcasts(const Adapter& adapter);

// Where a search target list sends: addresses (hosts and directed broadcasts)
// and the adapters that the limited broadcast goes out through.
struct TargetSet {
    std::vector<std::uint32_t> addresses;
    std::vector<unsigned> limitedBroadcastVia;  // interface indexes
};

inline constexpr const char* kAdaptersTarget = "adapters";
inline constexpr std::uint32_t kLimitedBroadcast = ipv4::kLimitedBroadcast;

// Adds what the target "adapters" stands for with these adapters.
void addAdapterTargets(const std::vector<Adapter>& adapters, TargetSet& targets);

}  // namespace zelmar::net
