#include "site/network_problems.h"

#include "platform/netservice/wire/wire.h"

namespace zelmar::site {

namespace wire = net::wire;

std::string columnOfNetworkProblem(std::uint32_t p) {
    if (p & (wire::CheckAddressOutsideNetwork | wire::CheckAddressInvalid | wire::CheckAddressReserved))
        return "IpAddress";
    if (p & wire::CheckMaskInvalid)
        return "SubnetMask";
    if (p & (wire::CheckGatewayOutsideNetwork | wire::CheckGatewayInvalid))
        return "Gateway";
    if (p & wire::CheckDnsServerInvalid)
        return "DnsServer";
    return "";
}

std::string describeNetworkProblems(std::uint32_t p) {
    struct Bit {
        std::uint32_t bit;
        const char* text;
    };
    std::string out;
    for (const Bit& b : {Bit{wire::CheckAddressOutsideNetwork, "the address is outside the network the controller is attached to"},
                         Bit{wire::CheckAddressInvalid, "the address is not a usable host address"},
                         Bit{wire::CheckAddressReserved, "the address is the network or broadcast address"},
                         Bit{wire::CheckMaskInvalid, "the subnet mask is not valid"},
                         Bit{wire::CheckGatewayOutsideNetwork, "the gateway is outside the controller's network"},
                         Bit{wire::CheckGatewayInvalid, "the gateway is not valid"},
                         Bit{wire::CheckDnsServerInvalid, "the DNS server is not valid"}})
        if (p & b.bit)
            out += (out.empty() ? "" : "; ") + std::string(b.text);
    return out.empty() ? "the settings do not fit the network" : out;
}

}  // namespace zelmar::site
