// Writing the settings record into the controller it names.
#include "comm/com_sub.h"
#include "comm/encryption_choice.h"
#include "comm/shared_state.h"
#include "platform/netservice/net_service.h"
#include "support/support.h"

namespace zelmar::comm {

namespace {

const char* const kWrongPassword = "Wrong network password";
const char* const kNoEncryptionSupport =
    "The controller doesn't support encrypted communication, you must upgrade TCP/IP-os";
const char* const kNetworkMismatch =
    "Can not setup. The configured IP settings of the controller are not appropriate for the network "
    "where it is connected.\r\nPress Cancel to exit the setup command or Ok to proceed.";

std::string str(const QString& text) { return text.toStdString(); }

// The record's values wait in the entry until Apply sends them.
void holdSettings(net::ControllerEntry& entry, const SettingsRecord& record) {
    entry.setName(str(record.Name));
    entry.setDescription(str(record.Description));
    entry.setUseDhcp(isTrue(record.UseDhcp));
    entry.setMainComputerAddress(str(record.MainComputerAddress));

    if (!isTrue(record.UseDhcp)) {
        entry.setConfigIpAddress(str(record.IpAddress));
        entry.setConfigSubnetMask(str(record.SubnetMask));
        entry.setConfigGateway(str(record.Gateway));
        entry.setConfigDnsServer(str(record.DnsServer));
    } else {
        // With DHCP the controller registers this name in the DNS server.
        entry.setDnsName(str(record.DnsName));
    }
}

// The encryption choice waits in the entry too, if the controller can encrypt; true when it does.
bool holdEncryption(net::ControllerEntry& entry, const SettingsRecord& record) {
    const bool writesEncryption = (entry.Capabilities() & net::CapEncryption) != 0;
    if (writesEncryption) {
        entry.setRequireEncryption(isTrue(record.RequireEncryption));
        entry.setEncryptionPassword(str(record.EncryptionPassword));
    } else if (isTrue(record.RequireEncryption)) {
        support::ShowErrorMessage(kNoEncryptionSupport);
    }
    return writesEncryption;
}

}  // namespace

WriteOutcome WriteControllerSettings() {
    const SettingsRecord& record = state().Settings;

    const std::int16_t index = FindControllerBySerialNo(record.SerialNo, false);
    if (index == -1)
        return WriteOutcome::Failed;

    net::NetService& service = Service();
    const bool requiresEncryption = service.Item(index)->RequireEncryption();
    const bool passwordOk = service.Item(index)->PasswordOk();
    if (requiresEncryption && !passwordOk) {
        support::ShowErrorMessage(kWrongPassword);
        return WriteOutcome::Failed;
    }

    const auto entry = service.Item(index);
    holdSettings(*entry, record);
    const bool writesEncryption = holdEncryption(*entry, record);

    std::int32_t detail = 0;
    if (entry->CheckNetwork(detail) && !entry->IpSettingsFitNetwork()) {
        if (!support::AskOkCancel(kNetworkMismatch)) {
            // Nothing is applied; the held values must not ride along with a later Apply.
            entry->setApply(false);
            return WriteOutcome::Cancelled;
        }
    }

    entry->setApply(true);
    if (!entry->SetupOk())
        return WriteOutcome::Failed;
    if (writesEncryption)
        EncryptionChoiceWritten();
    return WriteOutcome::Written;
}

}  // namespace zelmar::comm
