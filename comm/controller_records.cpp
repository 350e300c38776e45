#include "comm/controller_records.h"

#include "comm/com_sub.h"
#include "platform/netservice/net_service.h"

#include <stdexcept>

namespace zelmar::comm {

namespace {

template <typename Record>
void copyEntry(std::int16_t index, EntryCopy copy, Record& record) {
    net::NetService& service = Service();
    const auto text = [&service, index](std::string (net::ControllerEntry::*read)() const) {
        return QString::fromStdString(((*service.Item(index)).*read)());
    };
    const auto address = [&text, copy](std::string (net::ControllerEntry::*read)() const) {
        const QString value = text(read);
        return copy == EntryCopy::Listed ? ListedAddress(value) : value;
    };
    record.Name = text(&net::ControllerEntry::Name);
    record.SerialNo = text(&net::ControllerEntry::SerialNo);
    record.IpAddress = address(&net::ControllerEntry::IpAddress);
    record.EthernetAddress = text(&net::ControllerEntry::EthernetAddress);
    record.UseDhcp = toVBool(service.Item(index)->UseDhcp());
    record.Description = text(&net::ControllerEntry::Description);
    record.SubnetMask = address(&net::ControllerEntry::SubnetMask);
    record.Gateway = address(&net::ControllerEntry::Gateway);
    record.DnsServer = text(&net::ControllerEntry::DnsServer);
    record.DnsName = text(&net::ControllerEntry::DnsName);
    if (copy == EntryCopy::Settings) {
        record.MainComputerAddress = text(&net::ControllerEntry::MainComputerAddress);
        return;
    }
    record.RequireEncryption = toVBool(service.Item(index)->RequireEncryption());
    if constexpr (requires { record.PasswordOk; })
        record.PasswordOk = toVBool(service.Item(index)->PasswordOk());
}

}  // namespace

QString ListedAddress(const QString& address) {
    return address == QLatin1String("0.0.0.0") ? QString() : address;
}

void CopyControllerEntry(std::int16_t index, EntryCopy copy, SettingsRecord& record) { copyEntry(index, copy, record); }

void CopyControllerEntry(std::int16_t index, EntryCopy copy, CurrentControllerRecord& record) {
    copyEntry(index, copy, record);
}

std::int16_t ListedControllerCount() {
    const std::int32_t count = Service().ControllerCount();
    if (count > kMaxEntries)
        throw std::overflow_error("the service holds more controllers than the list can address");
    return static_cast<std::int16_t>(count);
}

ListedController ReadListedController(std::int16_t index) {
    // One entry for the whole row, released when it is read.
    const auto entry = Service().Item(index);
    return {QString::fromStdString(entry->Name()),        QString::fromStdString(entry->SerialNo()),
            QString::fromStdString(entry->IpAddress()),   QString::fromStdString(entry->EthernetAddress()),
            entry->UseDhcp(),                             QString::fromStdString(entry->DnsName()),
            QString::fromStdString(entry->Description())};
}

bool TakeListedController(const QString& serialNo) {
    const std::int16_t index = FindControllerBySerialNo(serialNo, false);
    if (index == -1)
        return false;
    CopyControllerEntry(index, EntryCopy::Listed, state().CurrentController);
    return true;
}

}  // namespace zelmar::comm
