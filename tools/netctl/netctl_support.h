#pragma once
// What several commands share: the serial-number argument, the lookup of one
// controller, and printing an entry (the site library finds and describes them).
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "platform/netservice/net_service.h"
#include "site/controller_record.h"
#include "site/site_search.h"
#include "tools/netctl/netctl_commands.h"

namespace zelmar::netctl {

using site::ControllerRecord;

// Why `serial` cannot be looked up (empty, too long for the search filter,
// control characters); empty when it can.
std::string serialProblem(const std::string& serial);

// lookUp for a command's SERIAL argument in a service of its own (the entry keeps
// what it needs alive); says on the error stream when no controller answers.
std::shared_ptr<net::ControllerEntry> lookUpForCommand(const std::string& serial, const Context& c);

// The controller a command works on, or the exit code when there is none
// (the reason is already on the error stream).
struct CommandTarget {
    std::shared_ptr<net::ControllerEntry> entry;
    int exitCode = kExitFailed;
};
// For a command whose only argument is a SERIAL: the argument checked, then looked up.
CommandTarget lookUpSerialArgument(const std::vector<std::string>& args, const Context& c);

// What a command says on the error stream when its search found no controller.
void tellNoneAnswered(std::ostream& err);

// The CSV header row when the options ask for CSV; nothing otherwise.
void printHeader(const Options& options, std::ostream& out);
// One line per controller: plain columns, a JSON object or a CSV row.
void printRecord(const ControllerRecord& record, const Options& options, std::ostream& out);

// For an entry that shows only the identity of a controller that requires
// encryption: why ("the network password was not accepted"); empty otherwise.
std::string identityOnlyReason(net::ControllerEntry& entry, const Options& options);

}  // namespace zelmar::netctl
