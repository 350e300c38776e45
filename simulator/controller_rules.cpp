#include "simulator/controller_rules.h"

#include "platform/netservice/wire/ipv4.h"
#include "platform/netservice/setup/setup_rules.h"
#include "simulator/sim_crypto.h"

namespace zelmar::sim {

namespace ipv4 = net::ipv4;
using net::wire::Status;
namespace wire = net::wire;

namespace {
using net::rules::usableHostAddress;

// Blank gateway or DNS server text means "none".
std::optional<std::uint32_t> parseOptional(const std::string& text) {
    if (text.empty())
        return 0u;
    return ipv4::parse(text);
}

struct Network {
    std::uint32_t base = 0;
    std::uint32_t mask = 0;
};
std::optional<Network> attached(const SimControllerState& s) {
    if (!s.attachedNetwork.empty()) {
        const auto slash = s.attachedNetwork.find('/');
        if (slash == std::string::npos)
            return std::nullopt;
        const auto base = ipv4::parse(s.attachedNetwork.substr(0, slash));
        const auto mask = ipv4::parseMask(s.attachedNetwork.substr(slash + 1));
        if (!base || !mask)
            return std::nullopt;
        return Network{*base & *mask, *mask};
    }
    const auto ip = ipv4::parse(s.ipAddress);
    const auto mask = ipv4::parse(s.subnetMask);
    if (!ip || !mask || !ipv4::prefixLength(*mask) || *mask == 0)
        return std::nullopt;
    return Network{*ip & *mask, *mask};
}
}  // namespace


void leaseFromNetwork(SimControllerState& s) {
    const auto net = attached(s);
    const auto mac = wire::parseEthernet(s.ethernetAddress);
    if (!net || !mac) {
        s.ipAddress = s.subnetMask = s.gateway = s.dnsServer = "0.0.0.0";
        return;
    }
    const std::uint32_t hostSpace = ~net->mask;
    std::uint32_t host = (std::uint32_t((*mac)[3]) << 16 | std::uint32_t((*mac)[4]) << 8 | (*mac)[5]) % (hostSpace > 200 ? hostSpace - 200 : 1);
    host += 100;  // the low addresses are left for gateways and servers
    s.ipAddress = ipv4::format(net->base | (host & hostSpace));
    s.subnetMask = ipv4::format(net->mask);
    s.gateway = ipv4::format(net->base | 1);
    s.dnsServer = ipv4::format(net->base | 2);
}

namespace {
// Every configured address given must at least be an address; taken in its
// normal form. The tag of the first that is not, or 0.
std::uint16_t takeConfigAddresses(const wire::SetupFields& f, SimControllerState& result) {
    struct Field {
        const std::optional<std::string>& value;
        std::string& target;
        std::uint16_t tag;
        bool optional;
    };
    const Field fields[] = {
        {f.configIpAddress, result.configIpAddress, wire::TagConfigIpAddress, false},
        {f.configSubnetMask, result.configSubnetMask, wire::TagConfigSubnetMask, false},
        {f.configGateway, result.configGateway, wire::TagConfigGateway, true},
        {f.configDnsServer, result.configDnsServer, wire::TagConfigDnsServer, true},
    };
    for (const Field& field : fields) {
        if (!field.value)
            continue;
        const auto parsed = field.optional ? parseOptional(*field.value) : ipv4::parse(*field.value);
        if (!parsed)
            return field.tag;
        field.target = ipv4::format(*parsed);
    }
    return 0;
}

// The addresses the controller runs with after the setup: its fixed settings,
// which must make a working host configuration, or a lease when DHCP comes on.
std::uint16_t takeRunningAddresses(const SimControllerState& current, SimControllerState& result) {
    if (!result.useDhcp) {
        if (const std::uint16_t bad = net::rules::checkFixedSettings(result.configIpAddress, result.configSubnetMask,
                                                                     result.configGateway, result.configDnsServer))
            return bad;
        result.ipAddress = result.configIpAddress;
        result.subnetMask = result.configSubnetMask;
        result.gateway = result.configGateway;
        result.dnsServer = result.configDnsServer;
    } else if (!current.useDhcp) {
        leaseFromNetwork(result);
    }
    return 0;
}
}  // namespace

SetupVerdict checkSetup(const SimControllerState& current, const wire::SetupFields& f, SimControllerState& result) {
    result = current;
    // Encryption on or off, a new key (sim_crypto.cpp); a password itself is never taken.
    if (const SetupVerdict v = SimCrypto::checkSetup(current, f, result); v.status != Status::Ok)
        return v;
    if (f.name)
        result.name = *f.name;
    if (f.description)
        result.description = *f.description;
    if (const std::uint16_t bad = net::rules::checkTexts(f))
        return {Status::Invalid, bad};
    if (f.dnsName)
        result.dnsName = *f.dnsName;
    if (f.mainComputerAddress)
        result.mainComputerAddress = *f.mainComputerAddress;
    if (f.useDhcp)
        result.useDhcp = *f.useDhcp;
    if (f.requireEncryption)
        result.requireEncryption = *f.requireEncryption;
    if (const std::uint16_t bad = takeConfigAddresses(f, result))
        return {Status::Invalid, bad};
    if (const std::uint16_t bad = takeRunningAddresses(current, result))
        return {Status::Invalid, bad};
    return {};
}

std::uint32_t checkNetworkFit(const SimControllerState& current, const wire::SetupFields& f) {
    const bool dhcp = f.useDhcp ? *f.useDhcp : current.useDhcp;
    if (dhcp)
        return 0;  // the address comes from the network itself
    const std::string ipText = f.configIpAddress ? *f.configIpAddress : current.configIpAddress;
    const std::string maskText = f.configSubnetMask ? *f.configSubnetMask : current.configSubnetMask;
    const std::string gwText = f.configGateway ? *f.configGateway : current.configGateway;
    const std::string dnsText = f.configDnsServer ? *f.configDnsServer : current.configDnsServer;
    std::uint32_t problems = 0;
    const auto ip = ipv4::parse(ipText);
    const auto mask = ipv4::parse(maskText);
    const int prefix = mask ? ipv4::prefixLength(*mask).value_or(0) : 0;  // 0: not a mask
    const bool maskOk = prefix >= 1 && prefix <= 30;
    if (!ip || !usableHostAddress(*ip))
        problems |= wire::CheckAddressInvalid;
    if (!maskOk)
        problems |= wire::CheckMaskInvalid;
    const auto net = attached(current);
    if (ip && net && (*ip & net->mask) != net->base)
        problems |= wire::CheckAddressOutsideNetwork;
    if (ip && maskOk) {
        const std::uint32_t network = *ip & *mask, broadcast = network | ~*mask;
        if (*ip == network || *ip == broadcast)
            problems |= wire::CheckAddressReserved;
    }
    const auto gw = parseOptional(gwText);
    if (!gw)
        problems |= wire::CheckGatewayInvalid;
    else if (*gw != 0 && ip && mask && (*gw & *mask) != (*ip & *mask))
        problems |= wire::CheckGatewayOutsideNetwork;
    const auto dns = parseOptional(dnsText);
    if (!dns || (*dns != 0 && !usableHostAddress(*dns)))
        problems |= wire::CheckDnsServerInvalid;
    return problems;
}

}  // namespace zelmar::sim
