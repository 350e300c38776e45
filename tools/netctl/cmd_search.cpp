// search [ADDRESS[/MASK]] and connected: list what answers.
#include <ostream>

#include "platform/netservice/wire/ipv4.h"
#include "tools/netctl/command_list.h"
#include "tools/netctl/netctl_support.h"

namespace zelmar::netctl {

using namespace site;

namespace {
// Every entry; two controllers that report one fixed address are a warning.
void printAll(net::NetService& service, const Context& c) {
    std::vector<ControllerRecord> records = recordsOf(service);
    for (const std::string& w : markDuplicateAddresses(records))
        c.err << "warning: " << w << "\n";
    printHeader(c.options, c.out);
    for (std::int32_t i = 0; i < service.ControllerCount(); ++i) {
        printRecord(records[std::size_t(i)], c.options, c.out);
        auto e = service.Item(std::int16_t(i));
        if (const std::string why = identityOnlyReason(*e, c.options); !why.empty())
            c.err << e->SerialNo() << ": only the identity is shown: " << why << "\n";
    }
}

int search(const std::vector<std::string>& args, const Context& c) {
    if (args.size() > 1)
        return c.usage("one ADDRESS[/MASK] at most, not " + std::to_string(args.size()) + " arguments");
    net::NetService service(c.options.config);
    service.Clear();
    if (!args.empty()) {
        const std::string& a = args[0];
        const auto slash = a.find('/');
        const std::string address = a.substr(0, slash);
        if (!service.IsValidAddress(address))
            return c.usage(address + " is not a valid IP address or known host name");
        if (slash == std::string::npos) {
            service.AddAddress(address);
        } else {
            const std::string mask = a.substr(slash + 1);
            if (!net::ipv4::parseMask(mask))
                return c.usage("\"" + mask + "\" is not a subnet mask (255.255.255.0 or a prefix length 0 to 32)");
            service.AddNetwork(address, mask);
        }
    }
    service.setPassword(c.options.password);
    service.Search();
    printAll(service, c);
    if (service.ControllerCount() == 0)
        tellNoneAnswered(c.err);  // still done: the search ran, and found nobody
    return kExitDone;
}

int connected(const std::vector<std::string>& args, const Context& c) {
    if (!args.empty())
        return c.usage("takes no arguments");
    net::NetService service(c.options.config);
    service.setConnectedMode(true);
    service.Clear();
    service.setPassword(c.options.password);
    service.Search();
    printAll(service, c);
    return service.ControllerCount() > 0 ? kExitDone : kExitFailed;
}
}  // namespace

Command searchCommand() {
    return {"search", "[ADDRESS[/MASK]]", "list the controllers that answer a search",
            "Without an argument: a full search of the configured search targets.\n"
            "ADDRESS: only that address; ADDRESS/MASK: every host of that network\n"
            "(MASK dotted or a prefix length; networks wider than /16 are narrowed to\n"
            "the /16 around ADDRESS).",
            search};
}

Command connectedCommand() {
    return {"connected", "", "list the controller cabled straight to this computer",
            "Exit code 1 when none answers.", connected};
}

}  // namespace zelmar::netctl
