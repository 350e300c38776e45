#pragma once
// zelmar-controller-sim's command line, every value checked before a socket is opened.
#include <QStringList>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "simulator/fleet_file.h"

namespace zelmar::sim {

struct SimRunOptions {
    bool done = false;  // --help or --version was answered
    std::string fleetFile, stateFile, clientConfig, logFile, writeFleet;
    int generate = -1;
    GenerateOptions generateOptions;
    std::uint16_t port = 41950;
    // Fault injection of this run (never stored in the state file).
    std::optional<double> loss, duplicate, reorder;
    std::optional<std::pair<int, int>> delay;
    std::vector<std::string> offline;
    std::optional<int> restartMs;
    // Controllers on any address of the machine: only inside network namespaces a test made.
    bool anyAddress = false;
    // Serve fleets to test programs of another system at this TCP port of 127.0.0.1.
    std::optional<std::uint16_t> hostFleets;
};

// `arguments` with the program name first; --help and --version print to `out`
// and set `done`. Throws cli::UsageError naming the option and the problem.
SimRunOptions parseSimCommandLine(const QStringList& arguments, std::ostream& out);

}  // namespace zelmar::sim
