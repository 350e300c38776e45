#pragma once
// One controller found by the service. Reads give what the controller last
// reported; writes are held by the service until `setApply(true)`, which sends
// them to the controller in one transaction (all or nothing). Several entry
// objects for the same index share the same held writes.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/netservice/setup/setup_outcome.h"
#include "platform/netservice/upgrade/upgrade_progress.h"
#include "platform/netservice/upgrade/upgrade_verdict.h"
#include "platform/netservice/wire/messages.h"

namespace zelmar::net {

class ServiceCore;
class UpgradeFile;

// Capability bits a controller reports (wire/messages.h).
using wire::Capability;
using wire::CapEncryption;

class ControllerEntry {
public:
    ControllerEntry(std::shared_ptr<ServiceCore> core, std::int32_t index);

    // Identity and present settings.
    std::string SerialNo() const;
    std::string Name() const;
    std::string Description() const;
    std::string DnsName() const;
    std::string MainComputerAddress() const;
    std::string IpAddress() const;
    std::string SubnetMask() const;
    std::string Gateway() const;
    std::string DnsServer() const;
    std::string EthernetAddress() const;
    bool UseDhcp() const;
    bool RequireEncryption() const;
    bool PasswordOk() const;  // the service Password gives access
    std::uint32_t Capabilities() const;
    std::int16_t ModelCode() const;
    std::int16_t PortOsType() const;
    std::string PortOsRevision() const;

    // Held writes, sent by setApply(true).
    void setName(const std::string& v);
    void setDescription(const std::string& v);
    void setDnsName(const std::string& v);
    void setMainComputerAddress(const std::string& v);
    void setUseDhcp(bool v);
    void setRequireEncryption(bool v);
    void setConfigIpAddress(const std::string& v);
    void setConfigSubnetMask(const std::string& v);
    void setConfigGateway(const std::string& v);
    void setConfigDnsServer(const std::string& v);
    void setEncryptionPassword(const std::string& v);

    // Asks the controller whether the held IP settings fit the network it is
    // attached to. Returns true when it answered; then IpSettingsFitNetwork() holds the answer.
    bool CheckNetwork(std::int32_t& detail);
    bool IpSettingsFitNetwork() const;

    // true sends the held writes in one transaction; SetupOk() tells whether the
    // settings are in place. Nothing held: harmless. false withdraws the held writes.
    void setApply(bool apply);
    bool SetupOk() const;
    // Which of the three outcomes the last setup had (setup_outcome.h).
    SetupOutcome SetupVerdict() const;
    // After a refusal: the field the controller named, by its setter's name ("ConfigIpAddress",
    // "Name", ...; empty when it named none), and why in a few words ("invalid value", ...).
    std::string SetupRefusedField() const;
    std::string SetupRefusedReason() const;
    // The status the refusal came with (wire::Status; 0 when the last setup was not refused).
    int SetupRefusedStatus() const;

    // Why the service did not send the last setup, network check, mark or upgrade to
    // this controller ("Description is longer than 255 bytes", "it requires encryption
    // and no network password was given: ..."); empty when it did.
    std::string NotSentReason() const;

    // True when the controller answered that it is marked / unmarked; false when no answer came
    // (the request or its answer was lost: the mark may or may not have changed).
    bool MarkSelected();
    bool UnmarkSelected();

    // Sends a port OS upgrade; false when the transfer could not complete.
    bool UpgradePortOs(const UpgradeFile& file, UpgradeProgress progress = {});
    // What the last UpgradePortOs to this controller came to, and why it failed (empty: it did not).
    UpgradeVerdict LastUpgradeVerdict() const;
    std::string LastUpgradeProblem() const;
    // True when this controller answered the service's most recent Search. An entry
    // stays after a search that did not hear it, showing what it last reported.
    bool AnsweredLastSearch() const;

private:
    std::shared_ptr<ServiceCore> core_;
    std::int32_t index_;
};

// Why a setup was refused, in a few words, by the status of the refusal ("invalid value", ...).
std::string setupRefusalText(int status);

// The setter's name of a setup item's tag ("ConfigIpAddress"): what SetupRefusedField
// reports. The key goes by the password it is made from; empty for any other tag.
std::string setupFieldOfTag(std::uint16_t tag);

}  // namespace zelmar::net
