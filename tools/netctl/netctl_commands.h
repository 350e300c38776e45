#pragma once
// The commands of zelmar-netctl over the service API, apart from main() so
// that tests can run them against a simulated fleet.
#include <iosfwd>
#include <string>
#include <vector>

#include "platform/netservice/service_config.h"

namespace zelmar::netctl {

struct Options {
    net::ServiceConfig config;
    std::string password;  // from ZELMAR_PASSWORD or standard input, never the command line
    bool json = false;
};

// Runs one command line (without the program name and the options already
// taken out); returns the exit code: 0 done, 1 controller not found or setup
// refused, 2 usage error.
int run(const std::vector<std::string>& args, const Options& options, std::ostream& out, std::ostream& err);


}  // namespace zelmar::netctl
