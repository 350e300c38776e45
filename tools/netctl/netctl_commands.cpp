#include "tools/netctl/netctl_commands.h"

#include <cstdio>
#include <functional>
#include <map>
#include <ostream>

#include "platform/netservice/net_service.h"

namespace zelmar::netctl {

namespace {
using net::ControllerEntry;
using net::NetService;

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

void printEntry(ControllerEntry& e, bool json, std::ostream& out) {
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

// The serial number's entry after a lookup, or null.
std::shared_ptr<ControllerEntry> find(NetService& service, const std::string& serial, const Options& o) {
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

bool parseBool(const std::string& v, bool& out) {
    if (v == "1" || v == "true" || v == "True" || v == "yes" || v == "-1") {
        out = true;
        return true;
    }
    if (v == "0" || v == "false" || v == "False" || v == "no") {
        out = false;
        return true;
    }
    return false;
}

using Setter = std::function<bool(ControllerEntry&, const std::string&)>;
const std::map<std::string, Setter>& setters() {
    static const std::map<std::string, Setter> s = {
        {"Name", [](ControllerEntry& e, const std::string& v) { e.setName(v); return true; }},
        {"Description", [](ControllerEntry& e, const std::string& v) { e.setDescription(v); return true; }},
        {"DnsName", [](ControllerEntry& e, const std::string& v) { e.setDnsName(v); return true; }},
        {"MainComputerAddress", [](ControllerEntry& e, const std::string& v) { e.setMainComputerAddress(v); return true; }},
        {"UseDhcp", [](ControllerEntry& e, const std::string& v) {
             bool b;
             if (!parseBool(v, b))
                 return false;
             e.setUseDhcp(b);
             return true;
         }},
        {"RequireEncryption", [](ControllerEntry& e, const std::string& v) {
             bool b;
             if (!parseBool(v, b))
                 return false;
             e.setRequireEncryption(b);
             return true;
         }},
        {"ConfigIpAddress", [](ControllerEntry& e, const std::string& v) { e.setConfigIpAddress(v); return true; }},
        {"ConfigSubnetMask", [](ControllerEntry& e, const std::string& v) { e.setConfigSubnetMask(v); return true; }},
        {"ConfigGateway", [](ControllerEntry& e, const std::string& v) { e.setConfigGateway(v); return true; }},
        {"ConfigDnsServer", [](ControllerEntry& e, const std::string& v) { e.setConfigDnsServer(v); return true; }},
        {"EncryptionPassword", [](ControllerEntry& e, const std::string& v) { e.setEncryptionPassword(v); return true; }},
    };
    return s;
}
}  // namespace

int run(const std::vector<std::string>& args, const Options& o, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "usage: zelmar-netctl [--json] [--password-stdin] search [ADDRESS[/MASK]] | find SERIAL |"
               " set SERIAL FIELD=VALUE... | check SERIAL [FIELD=VALUE...] | mark SERIAL | unmark SERIAL\n";
        return 2;
    }
    NetService service(o.config);
    const std::string& cmd = args[0];
    if (cmd == "search") {
        service.Clear();
        if (args.size() >= 2) {
            const std::string& a = args[1];
            const auto slash = a.find('/');
            const std::string address = a.substr(0, slash);
            if (!service.IsValidAddress(address)) {
                err << address << " is not a valid IP address!\n";
                return 2;
            }
            if (slash == std::string::npos)
                service.AddAddress(address);
            else
                service.AddNetwork(address, a.substr(slash + 1));
        }
        service.setPassword(o.password);
        service.Search();
        for (std::int32_t i = 0; i < service.ControllerCount(); ++i)
            printEntry(*service.Item(std::int16_t(i)), o.json, out);
        return 0;
    }
    if (cmd == "connected") {
        service.setConnectedMode(true);
        service.Clear();
        service.setPassword(o.password);
        service.Search();
        for (std::int32_t i = 0; i < service.ControllerCount(); ++i)
            printEntry(*service.Item(std::int16_t(i)), o.json, out);
        return service.ControllerCount() > 0 ? 0 : 1;
    }
    if (args.size() < 2) {
        err << cmd << ": a serial number is needed\n";
        return 2;
    }
    const std::string& serial = args[1];
    if (cmd != "find" && cmd != "set" && cmd != "check" && cmd != "mark" && cmd != "unmark") {
        err << "unknown command " << cmd << "\n";
        return 2;
    }
    // Check every FIELD=VALUE before anything goes to the network.
    std::vector<std::pair<std::string, std::string>> fields;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const auto eq = args[i].find('=');
        if (eq == std::string::npos || !setters().count(args[i].substr(0, eq))) {
            err << "not a settable field: " << args[i] << "\n";
            return 2;
        }
        fields.emplace_back(args[i].substr(0, eq), args[i].substr(eq + 1));
    }
    if ((cmd == "set" && fields.empty()) || ((cmd == "find" || cmd == "mark" || cmd == "unmark") && !fields.empty())) {
        err << cmd << ": wrong arguments\n";
        return 2;
    }
    auto entry = find(service, serial, o);
    if (!entry) {
        err << "controller " << serial << " not found\n";
        return 1;
    }
    for (const auto& [name, value] : fields) {
        if (!setters().at(name)(*entry, value)) {
            err << name << ": not a Boolean value: " << value << "\n";
            return 2;
        }
    }
    if (cmd == "find") {
        printEntry(*entry, o.json, out);
        return 0;
    }
    if (cmd == "mark" || cmd == "unmark") {
        if (cmd == "mark")
            entry->MarkSelected();
        else
            entry->UnmarkSelected();
        out << cmd << "ed " << serial << "\n";
        return 0;
    }
    if (cmd == "check") {
        std::int32_t detail = 0;
        if (!entry->CheckNetwork(detail)) {
            err << "controller " << serial << " did not answer the network check\n";
            return 1;
        }
        const bool fits = entry->IpSettingsFitNetwork();
        out << (fits ? "fits" : "does not fit") << " (problems=" << detail << ")\n";
        return fits ? 0 : 1;
    }
    entry->setApply(true);
    if (!entry->SetupOk()) {
        err << "setup of " << serial << " refused: nothing changed\n";
        return 1;
    }
    if (o.json)
        printEntry(*entry, true, out);
    else
        out << "setup of " << serial << " done\n";
    return 0;
}

}  // namespace zelmar::netctl
