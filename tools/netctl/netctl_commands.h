#pragma once
// The commands of zelmar-netctl over the service API, apart from main() so
// that tests can run them against a simulated fleet.
//
// Each command is one entry of the command table (command_table.cpp) and lives
// in its own file: a name, its arguments and help, and a run function that
// checks every argument before it sends anything.
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "platform/netservice/config/service_config.h"
#include "site/site_settings.h"
#include "site/stop_flag.h"

namespace zelmar::netctl {

// Exit codes.
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;      // controller not found, refused, not answered
constexpr int kExitUsage = 2;       // a usage error: nothing was sent
constexpr int kExitServiceError = 3;  // configuration or service failure
constexpr int kExitUnknown = 4;     // a setup went unanswered: the controller's state is unknown
// The exit codes as the general help and set's help list them.
inline constexpr char kExitCodesHelp[] =
    "Exit codes: 0 done, 1 not found, refused or not answered, 2 usage error\n"
    "(nothing was sent), 3 configuration or service error, 4 set got no answer\n"
    "and could not find the controller reporting the new settings: its state is\n"
    "unknown (the settings may or may not be in place).\n";

struct Options {
    net::ServiceConfig config;
    std::string password;  // from ZELMAR_PASSWORD or standard input, never the command line
    // The new encryption password of `set ... EncryptionPassword`: from
    // ZELMAR_NEW_PASSWORD or standard input, never the command line.
    std::optional<std::string> newPassword;
    bool json = false;
    bool csv = false;  // controllers as CSV with a header row: the format of a site plan
    // upgrade and plan: how many controllers are worked on at once (--jobs);
    // none: the site library's adaptive pace.
    std::optional<int> jobs;
    bool quiet = false;  // upgrade and plan: no progress on standard error
    bool all = false;    // upgrade: every controller a full search finds
    bool allowOlder = false;  // upgrade: also send a file older than the revision a controller runs (a downgrade)
    std::vector<std::string> parking;  // plan: free addresses to park a controller of a cycle on (--parking)
    // plan apply and upgrade: Stop (Ctrl-C, SIGTERM); none: they run to their end.
    const site::StopFlag* stop = nullptr;
};

// What the site library works with.
inline site::SiteSettings settingsOf(const Options& options) {
    site::SiteSettings s;
    s.config = options.config;
    if (!options.password.empty())
        s.passwords = {options.password};
    s.jobs = options.jobs;
    s.parking = options.parking;
    return s;
}

// What a command's run function works with.
struct Context {
    const Options& options;
    std::ostream& out;
    std::ostream& err;
    std::string command;  // the command's name, for messages

    // Prints "COMMAND: message" and the hint to --help; returns kExitUsage.
    int usage(const std::string& message) const;
};

struct Command {
    std::string name;
    std::string arguments;  // "SERIAL FIELD=VALUE..."
    std::string summary;    // one line in the --help list
    std::string details;    // shown by `zelmar-netctl COMMAND --help` below the synopsis; may be empty
    // Runs with the arguments after the command name. Checks them all before
    // anything goes to the network; returns the exit code.
    std::function<int(const std::vector<std::string>& args, const Context&)> run;
};

// Every command, in the order --help lists them.
const std::vector<Command>& commands();
const Command* commandNamed(const std::string& name);

// Runs one command line (the command and its arguments, options already taken
// out); returns the exit code.
int run(const std::vector<std::string>& args, const Options& options, std::ostream& out, std::ostream& err);

}  // namespace zelmar::netctl
