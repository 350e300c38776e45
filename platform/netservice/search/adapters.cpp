#include "platform/netservice/search/adapters.h"

#include <QNetworkInterface>
#include <algorithm>

#include "platform/netservice/wire/ipv4.h"

namespace zelmar::net {

namespace {
bool usableAddress(const AdapterAddress& a) { return a.address != 0 && !ipv4::isLoopback(a.address); }

// Some systems report no broadcast address for a point-to-point style
// adapter that still broadcasts: it follows from the address and the mask.
std::uint32_t directedBroadcast(const AdapterAddress& a) {
    if (a.broadcast != 0)
        return a.broadcast;
    return a.address | ~a.mask;
}
}  // namespace

std::vector<Adapter> listAdapters() {
    std::vector<Adapter> out;
    for (const QNetworkInterface& qi : QNetworkInterface::allInterfaces()) {
        Adapter a;
        a.name = qi.name().toStdString();
        a.displayName = qi.humanReadableName().toStdString();
        a.index = unsigned(std::max(0, qi.index()));
        const auto flags = qi.flags();
        a.up = flags.testFlag(QNetworkInterface::IsUp);
        a.running = flags.testFlag(QNetworkInterface::IsRunning);
        a.canBroadcast = flags.testFlag(QNetworkInterface::CanBroadcast);
        a.loopback = flags.testFlag(QNetworkInterface::IsLoopBack);
        for (const QNetworkAddressEntry& e : qi.addressEntries()) {
            if (e.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            AdapterAddress addr;
            addr.address = e.ip().toIPv4Address();
            addr.mask = e.netmask().toIPv4Address();
            addr.broadcast = e.broadcast().isNull() ? 0 : e.broadcast().toIPv4Address();
            a.ipv4.push_back(addr);
        }
        out.push_back(std::move(a));
    }
    return out;
}

std::string whyNotSearched(const Adapter& adapter) {
    if (adapter.loopback)
        return "loopback";
    if (!adapter.up)
        return "down";
    if (!adapter.canBroadcast)
        return "cannot broadcast";
    if (adapter.index == 0)
        return "no interface index";
    if (!std::any_of(adapter.ipv4.begin(), adapter.ipv4.end(), usableAddress))
        return "no IPv4 address outside 127.0.0.0/8";
    return {};
}

bool searchesThrough(const Adapter& adapter) { return whyNotSearched(adapter).empty(); }

std::vector<std::uint32_t> directedBroadcasts(const Adapter& adapter) {
    std::vector<std::uint32_t> out;
    if (!searchesThrough(adapter))
        return out;
    // A /31 or /32 has no broadcast address.
    for (const AdapterAddress& a : adapter.ipv4)
        if (usableAddress(a) && ipv4::prefixLength(a.mask).value_or(32) < 31)
            out.push_back(directedBroadcast(a));
    return out;
}

void addAdapterTargets(const std::vector<Adapter>& adapters, TargetSet& targets) {
    for (const Adapter& adapter : adapters) {
        if (!searchesThrough(adapter))
            continue;
        for (std::uint32_t b : directedBroadcasts(adapter))
            targets.addresses.push_back(b);
        if (std::find(targets.limitedBroadcastVia.begin(), targets.limitedBroadcastVia.end(), adapter.index) ==
            targets.limitedBroadcastVia.end())
            targets.limitedBroadcastVia.push_back(adapter.index);
    }
}

}  // namespace zelmar::net
