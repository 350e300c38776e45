#include "platform/netservice/controller_entry.h"

#include "platform/netservice/wire/ipv4.h"
#include "platform/netservice/net_service.h"
#include "platform/netservice/service_core.h"
#include "platform/netservice/upgrade/upgrade_transfer.h"

namespace zelmar::net {

ControllerEntry::ControllerEntry(std::shared_ptr<ServiceCore> core, std::int32_t index)
    : core_(std::move(core)), index_(index) {}

// Every read goes to the record anew, so a refresh by a later search shows at once.
std::string ControllerEntry::SerialNo() const { return core_->record(index_).info.serialNo; }
std::string ControllerEntry::Name() const { return core_->record(index_).info.name; }
std::string ControllerEntry::Description() const { return core_->record(index_).info.description; }
std::string ControllerEntry::DnsName() const { return core_->record(index_).info.dnsName; }
std::string ControllerEntry::MainComputerAddress() const { return core_->record(index_).info.mainComputerAddress; }
std::string ControllerEntry::IpAddress() const { return ipv4::format(core_->record(index_).info.ipAddress); }
std::string ControllerEntry::SubnetMask() const { return ipv4::format(core_->record(index_).info.subnetMask); }
std::string ControllerEntry::Gateway() const { return ipv4::format(core_->record(index_).info.gateway); }
std::string ControllerEntry::DnsServer() const { return ipv4::format(core_->record(index_).info.dnsServer); }
std::string ControllerEntry::EthernetAddress() const {
    return wire::formatEthernet(core_->record(index_).info.ethernet);
}
bool ControllerEntry::UseDhcp() const { return core_->record(index_).info.useDhcp; }
bool ControllerEntry::RequireEncryption() const { return core_->record(index_).info.requireEncryption; }
bool ControllerEntry::PasswordOk() const { return core_->record(index_).info.passwordOk; }
std::uint32_t ControllerEntry::Capabilities() const { return core_->record(index_).info.capabilities; }
std::int16_t ControllerEntry::ModelCode() const { return core_->record(index_).info.modelCode; }
std::int16_t ControllerEntry::PortOsType() const { return core_->record(index_).info.portOsType; }
std::string ControllerEntry::PortOsRevision() const { return core_->record(index_).info.portOsRevision; }

void ControllerEntry::setName(const std::string& v) { core_->recordForWrite(index_).held.name = v; }
void ControllerEntry::setDescription(const std::string& v) { core_->recordForWrite(index_).held.description = v; }
void ControllerEntry::setDnsName(const std::string& v) { core_->recordForWrite(index_).held.dnsName = v; }
void ControllerEntry::setMainComputerAddress(const std::string& v) {
    core_->recordForWrite(index_).held.mainComputerAddress = v;
}
void ControllerEntry::setUseDhcp(bool v) { core_->recordForWrite(index_).held.useDhcp = v; }
void ControllerEntry::setRequireEncryption(bool v) { core_->recordForWrite(index_).held.requireEncryption = v; }
void ControllerEntry::setConfigIpAddress(const std::string& v) {
    core_->recordForWrite(index_).held.configIpAddress = v;
}
void ControllerEntry::setConfigSubnetMask(const std::string& v) {
    core_->recordForWrite(index_).held.configSubnetMask = v;
}
void ControllerEntry::setConfigGateway(const std::string& v) { core_->recordForWrite(index_).held.configGateway = v; }
void ControllerEntry::setConfigDnsServer(const std::string& v) {
    core_->recordForWrite(index_).held.configDnsServer = v;
}
void ControllerEntry::setEncryptionPassword(const std::string& v) {
    core_->recordForWrite(index_).held.encryptionPassword = v;
}

bool ControllerEntry::CheckNetwork(std::int32_t& detail) { return core_->checkNetwork(index_, detail); }
std::string ControllerEntry::NotSentReason() const { return core_->record(index_).notSent; }
bool ControllerEntry::IpSettingsFitNetwork() const { return core_->record(index_).fitsNetwork; }

void ControllerEntry::setApply(bool apply) {
    if (apply)
        core_->apply(index_);
    else
        core_->recordForWrite(index_).held = {};  // withdraw what was held: nothing is sent
}
bool ControllerEntry::SetupOk() const { return core_->record(index_).setupOk; }
SetupOutcome ControllerEntry::SetupVerdict() const { return core_->record(index_).setupOutcome; }

std::string ControllerEntry::SetupRefusedField() const {
    const auto& r = core_->record(index_);
    if (r.setupOutcome != SetupOutcome::Refused)
        return {};
    return setupFieldOfTag(r.setupBadField);
}

std::string setupFieldOfTag(std::uint16_t tag) {
    switch (tag) {
    case wire::TagName: return "Name";
    case wire::TagDescription: return "Description";
    case wire::TagDnsName: return "DnsName";
    case wire::TagMainComputer: return "MainComputerAddress";
    case wire::TagUseDhcp: return "UseDhcp";
    case wire::TagRequireEncryption: return "RequireEncryption";
    case wire::TagConfigIpAddress: return "ConfigIpAddress";
    case wire::TagConfigSubnetMask: return "ConfigSubnetMask";
    case wire::TagConfigGateway: return "ConfigGateway";
    case wire::TagConfigDnsServer: return "ConfigDnsServer";
    case wire::TagEncryptionPassword:
    case wire::TagEncryptionKey: return "EncryptionPassword";  // the key is made from it
    default: return {};
    }
}

std::string ControllerEntry::SetupRefusedReason() const {
    const auto& r = core_->record(index_);
    if (r.setupOutcome != SetupOutcome::Refused)
        return {};
    switch (r.setupStatus) {
    case wire::Status::Invalid: return "invalid value";
    case wire::Status::Refused: return "not permitted (encryption required or wrong network password)";
    case wire::Status::Unsupported: return "not supported by the controller";
    case wire::Status::NotStored: return "the controller could not store the settings";
    default: return "refused with status " + std::to_string(int(r.setupStatus));
    }
}

bool ControllerEntry::MarkSelected() { return core_->mark(index_, true); }
bool ControllerEntry::UnmarkSelected() { return core_->mark(index_, false); }

bool ControllerEntry::AnsweredLastSearch() const { return core_->answeredLastSearch(index_); }

bool ControllerEntry::UpgradePortOs(const UpgradeFile& file, UpgradeProgress progress) {
    core_->recordForWrite(index_);  // an index outside the entries is an error, whatever the file
    UpgradeTransferOptions options;
    options.progress = std::move(progress);
    const UpgradeOutcome outcome = UpgradeTransfer(*core_, index_, options).run(file);
    ServiceCore::Record& r = core_->recordForWrite(index_);
    r.upgradeVerdict = outcome.verdict;
    r.upgradeProblem = outcome.problem;
    return outcome.ok;
}

UpgradeVerdict ControllerEntry::LastUpgradeVerdict() const { return core_->record(index_).upgradeVerdict; }
std::string ControllerEntry::LastUpgradeProblem() const { return core_->record(index_).upgradeProblem; }

}  // namespace zelmar::net
