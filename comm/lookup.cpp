// Adding search targets, finding a controller by serial number, marking it.
#include <algorithm>

#include "comm/com_sub.h"
#include "comm/shared_state.h"
#include "platform/netservice/net_service.h"
#include "platform/qorglib/qorglib.h"
#include "support/support.h"

namespace zelmar::comm {

namespace {

struct ParsedSerial {
    std::int32_t ok = 0;
    float value = 0.0f;
};

// The library decides what a serial number is; its text goes over as 8-bit text.
ParsedSerial parseSerial(const QString& text) {
    ParsedSerial parsed;
    const QByteArray ansi = support::toAnsi(text);
    parsed.ok = ParseSerialNoText(ansi.constData(), &parsed.value);
    return parsed;
}

// Serial numbers are compared by their converted values: spellings differ, values do not.
bool sameController(const ParsedSerial& a, const ParsedSerial& b) {
    return (a.ok & b.ok) != 0 && a.value == b.value;
}

}  // namespace

void AddControllerAddress(const QString& address, const QString& subnetMask) {
    net::NetService& service = Service();
    if (!service.IsValidAddress(address.toStdString())) {
        support::ShowErrorMessage(address + " is not a valid IP address!");
        return;
    }
    service.Clear();
    if (subnetMask.isEmpty())
        service.AddAddress(address.toStdString());
    else
        service.AddNetwork(address.toStdString(), subnetMask.toStdString());
    service.setPassword(state().NetworkPassword.toStdString());
    service.Search();
}

std::int16_t FindControllerBySerialNo(const QString& serialNo, bool forceSearch) {
    if (serialNo.isEmpty())
        return -1;

    net::NetService& service = Service();
    if (service.ControllerCount() == 0 || forceSearch) {
        service.Clear();
        service.setSearchSerialNo(serialNo.toStdString());
        service.AddSerialNoSearch();
        service.setPassword(state().NetworkPassword.toStdString());
        service.Search();
    }

    // Only the entries a 16-bit index can reach are looked at.
    const std::int32_t count = std::min(service.ControllerCount(), kMaxEntries);
    const ParsedSerial wanted = parseSerial(serialNo);
    for (std::int32_t i = 0; i < count; ++i) {
        const auto index = static_cast<std::int16_t>(i);
        const QString entrySerial = QString::fromStdString(service.Item(index)->SerialNo());
        if (sameController(wanted, parseSerial(entrySerial)))
            return index;
    }
    return -1;
}

void SelectController(const QString& serialNo) {
    SharedState& shared = state();
    if (shared.SelectedEntryIndex >= 0) {
        Service().Item(shared.SelectedEntryIndex)->UnmarkSelected();
        shared.SelectedEntryIndex = -1;
    }
    const std::int16_t index = FindControllerBySerialNo(serialNo, false);
    if (index != -1) {
        Service().Item(index)->MarkSelected();
        shared.SelectedEntryIndex = index;
    }
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
