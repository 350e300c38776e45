#pragma once
// What the technician types into the find-more box: an address (IP address or
// DNS name), optionally followed by "/" and a subnet mask.
#include <QString>

namespace zelmar::comm {

struct AddressInput {
    QString address;  // before the first "/", or the whole input
    QString mask;     // after the first "/" (later slashes stay in it), or empty
};

AddressInput splitAddressInput(const QString& typed);

// Whether a controller entry is the one asked for: its subnet mask equals the
// mask part, or its DNS name or IP address the address part (exact texts; the
// empty mask part of an input without "/" compares too).
bool entryMatchesInput(const AddressInput& input, const QString& subnetMask, const QString& dnsName,
                       const QString& ipAddress);

}  // namespace zelmar::comm
