// adapters: the workstation's adapters and where a search would send (netctl_adapters.h).
#include "tools/netctl/command_list.h"
#include "tools/netctl/netctl_adapters.h"

namespace zelmar::netctl {

Command adaptersCommand() {
    return {"adapters", "", "list the adapters, their addresses and masks, and the search targets (sends nothing)",
            "Tells which configuration file holds, whether a search goes out through each adapter (or why\n"
            "not), and every target a search would send to. Start here when a search finds nothing.",
            [](const std::vector<std::string>& args, const Context& c) {
                if (!args.empty())
                    return c.usage("takes no arguments");
                printAdapterReport(adapterReport(net::findServiceConfig(), c.options.config), c.options.json, c.out);
                return kExitDone;
            }};
}

}  // namespace zelmar::netctl
