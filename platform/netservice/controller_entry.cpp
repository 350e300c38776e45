#include "platform/netservice/controller_entry.h"

#include "platform/netservice/service_core.h"
#include "platform/netservice/wire/ipv4.h"

namespace zelmar::net {

ControllerEntry::ControllerEntry(std::shared_ptr<ServiceCore> core, std::int32_t index)
    : core_(std::move(core)), index_(index) {}

// Every read goes to the record anew, so a refresh by a later search shows at once.
std::string ControllerEntry::SerialNo() const { return core_->readInfo(index_).serialNo; }
std::string ControllerEntry::Name() const { return core_->readInfo(index_).name; }
std::string ControllerEntry::Description() const { return core_->readInfo(index_).description; }
std::string ControllerEntry::DnsName() const { return core_->readInfo(index_).dnsName; }
std::string ControllerEntry::MainComputerAddress() const { return core_->readInfo(index_).mainComputerAddress; }
std::string ControllerEntry::IpAddress() const { return ipv4::format(core_->readInfo(index_).ipAddress); }
std::string ControllerEntry::SubnetMask() const { return ipv4::format(core_->readInfo(index_).subnetMask); }
std::string ControllerEntry::Gateway() const { return ipv4::format(core_->readInfo(index_).gateway); }
std::string ControllerEntry::DnsServer() const { return ipv4::format(core_->readInfo(index_).dnsServer); }
std::string ControllerEntry::EthernetAddress() const {
    return wire::formatEthernet(core_->readInfo(index_).ethernet);
}
bool ControllerEntry::UseDhcp() const { return core_->readInfo(index_).useDhcp; }
bool ControllerEntry::RequireEncryption() const { return core_->readInfo(index_).requireEncryption; }
bool ControllerEntry::PasswordOk() const { return core_->readInfo(index_).passwordOk; }
std::uint32_t ControllerEntry::Capabilities() const { return core_->readInfo(index_).capabilities; }
std::int16_t ControllerEntry::ModelCode() const { return core_->readInfo(index_).modelCode; }
std::int16_t ControllerEntry::PortOsType() const { return core_->readInfo(index_).portOsType; }
std::string ControllerEntry::PortOsRevision() const { return core_->readInfo(index_).portOsRevision; }

void ControllerEntry::setName(const std::string& v) { core_->held(index_).name = v; }
void ControllerEntry::setDescription(const std::string& v) { core_->held(index_).description = v; }
void ControllerEntry::setDnsName(const std::string& v) { core_->held(index_).dnsName = v; }
void ControllerEntry::setMainComputerAddress(const std::string& v) {
    core_->held(index_).mainComputerAddress = v;
}
void ControllerEntry::setUseDhcp(bool v) { core_->held(index_).useDhcp = v; }
void ControllerEntry::setRequireEncryption(bool v) { core_->held(index_).requireEncryption = v; }
void ControllerEntry::setConfigIpAddress(const std::string& v) {
    core_->held(index_).configIpAddress = v;
}
void ControllerEntry::setConfigSubnetMask(const std::string& v) {
    core_->held(index_).configSubnetMask = v;
}
void ControllerEntry::setConfigGateway(const std::string& v) { core_->held(index_).configGateway = v; }
void ControllerEntry::setConfigDnsServer(const std::string& v) {
    core_->held(index_).configDnsServer = v;
}
void ControllerEntry::setEncryptionPassword(const std::string& v) {
    core_->held(index_).encryptionPassword = v;
}

bool ControllerEntry::CheckNetwork(std::int32_t& detail) { return core_->checkNetwork(index_, detail); }
std::string ControllerEntry::NotSentReason() const { return core_->readNotSent(index_); }
bool ControllerEntry::IpSettingsFitNetwork() const { return core_->readSetup(index_).fitsNetwork; }

void ControllerEntry::setApply(bool apply) {
    if (apply)
        core_->apply(index_);
    else
        core_->withdraw(index_);  // what was held: nothing is sent
}
bool ControllerEntry::SetupOk() const { return core_->readSetup(index_).ok; }
SetupOutcome ControllerEntry::SetupVerdict() const { return core_->readSetup(index_).outcome; }

std::string ControllerEntry::SetupRefusedField() const {
    const SetupState& s = core_->readSetup(index_);
    if (s.outcome != SetupOutcome::Refused)
        return {};
    return setupFieldOfTag(s.badField);
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
    const SetupState& s = core_->readSetup(index_);
    return s.outcome == SetupOutcome::Refused ? setupRefusalText(int(s.status)) : std::string();
}

int ControllerEntry::SetupRefusedStatus() const {
    const SetupState& s = core_->readSetup(index_);
    return s.outcome == SetupOutcome::Refused ? int(s.status) : 0;
}

std::string setupRefusalText(int status) {
    switch (wire::Status(status)) {
    case wire::Status::Invalid: return "invalid value";
    case wire::Status::Refused: return "not permitted (encryption required or wrong network password)";
    case wire::Status::Unsupported: return "not supported by the controller";
    case wire::Status::NotStored: return "the controller could not store the settings";
    default: return "refused with status " + std::to_string(status);
    }
}

bool ControllerEntry::MarkSelected() { return core_->mark(index_, true); }
bool ControllerEntry::UnmarkSelected() { return core_->mark(index_, false); }

bool ControllerEntry::AnsweredLastSearch() const { return core_->answeredLastSearch(index_); }

bool ControllerEntry::UpgradePortOs(const UpgradeFile& file, UpgradeProgress progress) {
    return core_->upgradePortOs(index_, file, std::move(progress));
}

UpgradeVerdict ControllerEntry::LastUpgradeVerdict() const { return core_->readUpgradeVerdict(index_); }
std::string ControllerEntry::LastUpgradeProblem() const { return core_->readUpgradeProblem(index_); }

}  // namespace zelmar::net
