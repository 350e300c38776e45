#pragma once
// What the technician types into the find-more box: an address (IP address or
// DNS name), optionally followed by "/" and a subnet mask.
#include <QString>

namespace zelmar::dialogs {

struct AddressInput {
    QString address;  // before the first "/", or the whole input
    QString mask;     // after the first "/" (later slashes stay in it), or empty
};

AddressInput splitAddressInput(const QString& typed);

}  // namespace zelmar::dialogs
