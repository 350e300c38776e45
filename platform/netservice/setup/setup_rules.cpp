#include "platform/netservice/setup/setup_rules.h"

#include "platform/netservice/wire/ipv4.h"

namespace zelmar::net::rules {

namespace {
// Blank gateway or DNS server text means "none".
std::optional<std::uint32_t> parseOptional(const std::string& text) {
    if (text.empty())
        return 0u;
    return ipv4::parse(text);
}

bool textFits(const std::optional<std::string>& text, std::uint16_t tag) {
    return !text || wire::textProblem(tag, *text).empty();
}
}  // namespace

bool usableHostAddress(std::uint32_t a) {
    const std::uint32_t top = a >> 24;
    return a != 0 && top != 0 && top != 127 && top < 224;
}

std::uint16_t checkTexts(const wire::SetupFields& f) {
    if (!textFits(f.name, wire::TagName))
        return wire::TagName;
    if (!textFits(f.description, wire::TagDescription))
        return wire::TagDescription;
    if (!textFits(f.dnsName, wire::TagDnsName) || (f.dnsName && !f.dnsName->empty() && !ipv4::isDnsName(*f.dnsName)))
        return wire::TagDnsName;
    if (f.mainComputerAddress) {
        const std::string& a = *f.mainComputerAddress;
        if (!textFits(f.mainComputerAddress, wire::TagMainComputer) ||
            (!a.empty() && !ipv4::parse(a) && !ipv4::isDnsName(a)))
            return wire::TagMainComputer;
    }
    return 0;
}

std::uint16_t checkFixedSettings(const std::string& ipText, const std::string& maskText, const std::string& gwText,
                                 const std::string& dnsText) {
    const auto ip = ipv4::parse(ipText);
    if (!ip || !usableHostAddress(*ip))
        return wire::TagConfigIpAddress;
    const auto mask = ipv4::parse(maskText);
    const auto prefix = mask ? ipv4::prefixLength(*mask) : std::nullopt;
    if (!prefix || *prefix < 1 || *prefix > 30)
        return wire::TagConfigSubnetMask;
    const std::uint32_t network = *ip & *mask, broadcast = network | ~*mask;
    if (*ip == network || *ip == broadcast)
        return wire::TagConfigIpAddress;
    const auto gw = parseOptional(gwText);
    if (!gw || (*gw != 0 && ((*gw & *mask) != network || *gw == network || *gw == broadcast || *gw == *ip)))
        return wire::TagConfigGateway;
    const auto dns = parseOptional(dnsText);
    if (!dns || (*dns != 0 && !usableHostAddress(*dns)))
        return wire::TagConfigDnsServer;
    return 0;
}

}  // namespace zelmar::net::rules
