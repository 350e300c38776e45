#include "tools/netctl/netctl_support.h"

#include <cstdio>
#include <ostream>

#include "platform/netservice/wire.h"

namespace zelmar::netctl {

namespace {
std::string jsonText(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}
}  // namespace

std::string serialProblem(const std::string& serial) {
    if (serial.empty())
        return "the serial number is empty";
    const std::string problem = net::wire::textProblem(net::wire::TagSerialFilter, serial);
    return problem.empty() ? problem : "the serial number " + problem;
}

std::shared_ptr<net::ControllerEntry> lookUp(net::NetService& service, const std::string& serial,
                                             const Options& o) {
    service.Clear();
    service.setSearchSerialNo(serial);
    service.AddSerialNoSearch();
    service.setPassword(o.password);
    service.Search();
    for (std::int32_t i = 0; i < service.ControllerCount(); ++i) {
        auto e = service.Item(std::int16_t(i));
        if (e->SerialNo() == serial)
            return e;
    }
    for (std::int32_t i = 0; i < service.ControllerCount(); ++i)
        return service.Item(std::int16_t(i));  // the controller answered to a differently spelled serial number
    return nullptr;
}

std::string identityOnlyReason(net::ControllerEntry& e, const Options& o) {
    if (!e.RequireEncryption() || e.PasswordOk())
        return {};
    return o.password.empty() ? "it requires encryption and no network password was given"
                              : "the network password was not accepted";
}

void printEntry(net::ControllerEntry& e, bool json, std::ostream& out) {
    if (!json) {
        out << e.SerialNo() << "  " << e.EthernetAddress() << "  " << e.IpAddress() << "  "
            << (e.UseDhcp() ? "DHCP" : "fixed") << "  \"" << e.Name() << "\"  " << e.Description() << "\n";
        return;
    }
    auto b = [](bool v) { return v ? std::string("true") : std::string("false"); };
    out << "{\"SerialNo\":" << jsonText(e.SerialNo()) << ",\"Name\":" << jsonText(e.Name())
        << ",\"Description\":" << jsonText(e.Description()) << ",\"EthernetAddress\":" << jsonText(e.EthernetAddress())
        << ",\"IpAddress\":" << jsonText(e.IpAddress()) << ",\"SubnetMask\":" << jsonText(e.SubnetMask())
        << ",\"Gateway\":" << jsonText(e.Gateway()) << ",\"DnsServer\":" << jsonText(e.DnsServer())
        << ",\"UseDhcp\":" << b(e.UseDhcp()) << ",\"DnsName\":" << jsonText(e.DnsName())
        << ",\"MainComputerAddress\":" << jsonText(e.MainComputerAddress())
        << ",\"RequireEncryption\":" << b(e.RequireEncryption()) << ",\"PasswordOk\":" << b(e.PasswordOk())
        << ",\"Capabilities\":" << e.Capabilities() << ",\"ModelCode\":" << e.ModelCode()
        << ",\"PortOsType\":" << e.PortOsType() << ",\"PortOsRevision\":" << jsonText(e.PortOsRevision()) << "}\n";
}

}  // namespace zelmar::netctl
