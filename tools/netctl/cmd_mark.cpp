// mark SERIAL / unmark SERIAL: the controller's "chosen" mark.
#include <ostream>

#include "tools/netctl/command_list.h"
#include "tools/netctl/netctl_support.h"

namespace zelmar::netctl {

namespace {
int markOrUnmark(const std::vector<std::string>& args, const Context& c, bool mark) {
    const auto [entry, exitCode] = lookUpSerialArgument(args, c);
    if (!entry)
        return exitCode;
    const bool answered = mark ? entry->MarkSelected() : entry->UnmarkSelected();
    if (!answered) {
        c.err << c.command << " of " << args[0] << ": no answer from the controller; it may not be "
              << c.command << "ed\n";
        return kExitFailed;
    }
    c.out << c.command << "ed " << args[0] << "\n";
    return kExitDone;
}
}  // namespace

Command markCommand() {
    return {"mark", "SERIAL", "mark the controller as the chosen one", "",
            [](const std::vector<std::string>& args, const Context& c) { return markOrUnmark(args, c, true); }};
}

Command unmarkCommand() {
    return {"unmark", "SERIAL", "take the mark off the controller", "",
            [](const std::vector<std::string>& args, const Context& c) { return markOrUnmark(args, c, false); }};
}

}  // namespace zelmar::netctl
