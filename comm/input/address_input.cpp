#include "comm/input/address_input.h"

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

}  // namespace zelmar::comm
