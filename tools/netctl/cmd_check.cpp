// check SERIAL [FIELD=VALUE...]: do these IP settings fit the controller's network.
#include <ostream>

#include "tools/netctl/command_list.h"
#include "tools/netctl/netctl_support.h"
#include "tools/netctl/settable_fields.h"

namespace zelmar::netctl {

namespace {
int check(const std::vector<std::string>& args, const Context& c) {
    if (args.empty())
        return c.usage("needs a SERIAL");
    const auto [entry, exitCode] = lookUpWithFields(args, true, c);
    if (!entry)
        return exitCode;
    std::int32_t detail = 0;
    if (!entry->CheckNetwork(detail)) {
        if (const std::string why = entry->NotSentReason(); !why.empty())
            c.err << "network check of " << args[0] << " not sent: " << why << "\n";
        else
            c.err << "controller " << args[0] << " did not answer the network check\n";
        return kExitFailed;
    }
    const bool fits = entry->IpSettingsFitNetwork();
    c.out << (fits ? "fits" : "does not fit") << " (problems=" << detail << ")\n";
    return fits ? kExitDone : kExitFailed;
}
}  // namespace

Command checkCommand() {
    return {"check", "SERIAL [FIELD=VALUE...]",
            "ask the controller whether IP settings fit the network it is attached to",
            "Fields: UseDhcp, ConfigIpAddress, ConfigSubnetMask, ConfigGateway,\n"
            "ConfigDnsServer (see set --help). Exit code 1 when they do not fit.",
            check};
}

}  // namespace zelmar::netctl
