// find SERIAL: one controller by its serial number.
#include <ostream>

#include "tools/netctl/command_list.h"
#include "tools/netctl/netctl_support.h"

namespace zelmar::netctl {

using namespace site;

namespace {
int find(const std::vector<std::string>& args, const Context& c) {
    const auto [entry, exitCode] = lookUpSerialArgument(args, c);
    if (!entry)
        return exitCode;
    printHeader(c.options, c.out);
    printRecord(recordOf(*entry), c.options, c.out);
    if (const std::string why = identityOnlyReason(*entry, c.options); !why.empty())
        c.err << entry->SerialNo() << ": only the identity is shown: " << why << "\n";
    return kExitDone;
}
}  // namespace

Command findCommand() {
    return {"find", "SERIAL", "show one controller, looked up by its serial number",
            "Exit code 1 when no controller answers. For a controller that requires\n"
            "encryption, without the right network password only its identity is shown\n"
            "(a note on standard error says so; PasswordOk is false).",
            find};
}

}  // namespace zelmar::netctl
