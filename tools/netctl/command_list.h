#pragma once
// One factory per command, each in its own file; command_table.cpp lists them.
#include "tools/netctl/netctl_commands.h"

namespace zelmar::netctl {

Command searchCommand();     // cmd_search.cpp
Command connectedCommand();  // cmd_search.cpp
Command findCommand();       // cmd_find.cpp
Command setCommand();        // cmd_set.cpp
Command checkCommand();      // cmd_check.cpp
Command markCommand();       // cmd_mark.cpp
Command unmarkCommand();     // cmd_mark.cpp
Command planCommand();       // cmd_plan.cpp
Command upgradeCommand();    // cmd_upgrade.cpp
Command adaptersCommand();   // cmd_adapters.cpp

}  // namespace zelmar::netctl
