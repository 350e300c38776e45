#pragma once
// What several commands share: the serial-number argument, the lookup of one
// controller, and printing an entry.
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "platform/netservice/net_service.h"
#include "tools/netctl/controller_record.h"
#include "tools/netctl/netctl_commands.h"

namespace zelmar::netctl {

// Why `serial` cannot be looked up (empty, too long for the search filter,
// control characters); empty when it can.
std::string serialProblem(const std::string& serial);

// The entry of `serial` among the service's entries (matched as a serial filter matches), or null.
std::shared_ptr<net::ControllerEntry> entryOf(net::NetService& service, const std::string& serial);
// Looks `serial` up and returns its entry when it answered.
std::shared_ptr<net::ControllerEntry> lookUpAnswering(net::NetService& service, const std::string& serial);
// A full search, and when it did not hear each of `serials` a second one
// (answers get lost on a busy network): every controller found, named or not.
// A serial number neither search heard is not on the site; `progress` is told
// of the second search.
std::vector<ControllerRecord> searchForSerials(net::NetService& service, const std::vector<std::string>& serials,
                                               const std::function<void(const std::string&)>& progress);
// A controller in a worker's service object, which learnt the site from the one that searched
// (worker_pool.h); looked up when it is not among its entries. Null when it does not answer.
std::shared_ptr<net::ControllerEntry> reach(net::NetService& service, const std::string& serial);

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
std::string identityOnlyReason(const ControllerRecord& found, const Options& options);

}  // namespace zelmar::netctl
