// The verdict of a setup whose answer never came. The controller may have taken the
// settings and lost only its answer, and after an IP change it answers from its new
// address: it is looked up by serial number and what it reports is compared with what
// was asked. Only settings seen in place count as confirmed.
#include <cstring>

#include "platform/netservice/wire/ipv4.h"
#include "platform/netservice/service_core.h"

namespace zelmar::net {

namespace {

bool sameText(const std::optional<std::string>& asked, const std::string& reported) {
    return !asked || *asked == reported;
}

// An address written as text (empty: none) against the address the controller reports.
bool sameAddress(const std::optional<std::string>& asked, std::uint32_t reported) {
    if (!asked)
        return true;
    if (asked->empty())
        return reported == 0;
    const auto a = ipv4::parse(*asked);
    return a && *a == reported;
}

}  // namespace

SetupOutcome ServiceCore::verifySetup(std::int32_t index, const wire::SetupFields& asked) {
    if (!lookUpAgain(index))
        return SetupOutcome::NoAnswer;
    return settingsInPlace(index, asked) ? SetupOutcome::Confirmed : SetupOutcome::NoAnswer;
}

bool ServiceCore::settingsInPlace(std::int32_t index, const wire::SetupFields& asked) {
    const wire::ControllerInfo& now = records_[std::size_t(index)].info;
    if (now.requireEncryption && !now.passwordOk)
        return false;  // only its identity could be read
    if (!sameText(asked.name, now.name) || !sameText(asked.description, now.description) ||
        !sameText(asked.dnsName, now.dnsName) || !sameText(asked.mainComputerAddress, now.mainComputerAddress))
        return false;
    if ((asked.useDhcp && *asked.useDhcp != now.useDhcp) ||
        (asked.requireEncryption && *asked.requireEncryption != now.requireEncryption))
        return false;
    // With fixed settings the controller runs with the configured ones; a DHCP lease says nothing about them.
    if (!now.useDhcp &&
        (!sameAddress(asked.configIpAddress, now.ipAddress) || !sameAddress(asked.configSubnetMask, now.subnetMask) ||
         !sameAddress(asked.configGateway, now.gateway) || !sameAddress(asked.configDnsServer, now.dnsServer)))
        return false;
    if (asked.encryptionKey) {
        // A new key is in place when the sealed read just made with the service password opened with it.
        const crypto::Key* ours = keyFor(index);
        return ours && asked.encryptionKey->size() == ours->size() &&
               std::memcmp(asked.encryptionKey->data(), ours->data(), ours->size()) == 0;
    }
    return true;
}

}  // namespace zelmar::net
