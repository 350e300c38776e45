// The command table: adding a command is one line here, its own file with the
// factory declared in command_list.h, and that file in CMakeLists.txt.
#include <ostream>

#include "tools/netctl/command_list.h"
#include "tools/netctl/netctl_commands.h"

namespace zelmar::netctl {

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        searchCommand(),
        connectedCommand(),
        findCommand(),
        setCommand(),
        checkCommand(),
        markCommand(),
        unmarkCommand(),
        planCommand(),
        upgradeCommand(),
        adaptersCommand(),
    };
    return table;
}

const Command* commandNamed(const std::string& name) {
    for (const Command& c : commands())
        if (c.name == name)
            return &c;
    return nullptr;
}

int Context::usage(const std::string& message) const {
    err << "zelmar-netctl: " << command << ": " << message << "\n"
        << "Try 'zelmar-netctl " << command << " --help'.\n";
    return kExitUsage;
}

int run(const std::vector<std::string>& args, const Options& options, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "zelmar-netctl: a command is needed\nTry 'zelmar-netctl --help'.\n";
        return kExitUsage;
    }
    const Command* command = commandNamed(args[0]);
    if (!command) {
        err << "zelmar-netctl: unknown command \"" << args[0] << "\"\nTry 'zelmar-netctl --help'.\n";
        return kExitUsage;
    }
    const Context context{options, out, err, command->name};
    const bool worksOnMany = command->name == "upgrade" || command->name == "plan";
    if (options.all && command->name != "upgrade")
        return context.usage("--all is for upgrade");
    if ((options.jobs || options.quiet) && !worksOnMany)
        return context.usage("--jobs and --quiet are for upgrade and plan");
    return command->run(std::vector<std::string>(args.begin() + 1, args.end()), context);
}

}  // namespace zelmar::netctl
