#pragma once
// Copying a controller entry of the service into a shared record: the
// connected controller into the settings record, a chosen or refreshed
// controller into the current-controller record; and what the search list
// shows of an entry.
#include <QString>
#include <cstdint>

#include "comm/shared_state.h"

namespace zelmar::comm {

// What a copy takes from the entry.
enum class EntryCopy {
    // The settings as the controller holds them, the main computer address included.
    Settings,
    // As the search list shows the controller: an IP address, subnet mask or
    // gateway "0.0.0.0" is taken as empty (a DNS server's is kept), and the
    // encryption state comes along; the main computer address stays as it is.
    Listed,
};

// An address a controller reports as "0.0.0.0" means none: listed empty.
QString ListedAddress(const QString& address);

// Each property is read from an entry fetched anew, as the service expects.
void CopyControllerEntry(std::int16_t index, EntryCopy copy, SettingsRecord& record);
void CopyControllerEntry(std::int16_t index, EntryCopy copy, CurrentControllerRecord& record);

// What the search list shows of one entry, as the service reports it.
struct ListedController {
    QString name;
    QString serialNo;
    QString ipAddress;
    QString ethernetAddress;
    bool useDhcp = false;
    QString dnsName;
    QString description;
};

// How many entries the search list shows; throws std::overflow_error when the
// service holds more than a 16-bit index can address.
std::int16_t ListedControllerCount();
ListedController ReadListedController(std::int16_t index);

// The search list's OK: the listed controller `serialNo` becomes the current
// controller. False when it is no longer among the entries.
bool TakeListedController(const QString& serialNo);

}  // namespace zelmar::comm
