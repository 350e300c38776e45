#include "comm/address_input.h"

#include <algorithm>

#include "comm/com_sub.h"
#include "platform/netservice/net_service.h"

namespace zelmar::comm {

AddressInput splitAddressInput(const QString& typed) {
    const qsizetype slash = typed.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return {typed, QString()};
    return {typed.left(slash), typed.mid(slash + 1)};
}

bool entryMatchesInput(const AddressInput& input, const QString& subnetMask, const QString& dnsName,
                       const QString& ipAddress) {
    return subnetMask == input.mask || dnsName == input.address || ipAddress == input.address;
}

std::int16_t FindFirstEntryMatching(const AddressInput& input) {
    net::NetService& service = Service();
    // Only the entries a 16-bit index can reach are looked at.
    const std::int32_t count = std::min(service.ControllerCount(), kMaxEntries);
    for (std::int16_t i = 0; i < count; ++i) {
        const auto entry = service.Item(i);
        if (entryMatchesInput(input, QString::fromStdString(entry->SubnetMask()), QString::fromStdString(entry->DnsName()),
                              QString::fromStdString(entry->IpAddress())))
            return i;
    }
    return -1;
}

}  // namespace zelmar::comm
