#pragma once
// One zelmar-netctl command run in-process against a simulated fleet and
// timed as a whole, as the benchmarks of whole-site commands take it.
#include <QElapsedTimer>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "simulator/sim_fleet.h"
#include "site/csv.h"
#include "tools/netctl/netctl_commands.h"

namespace zelmar::bench {

struct TimedCommand {
    double seconds = 0;
    int code = 0;
    std::string out, err;
};

constexpr int kAdaptive = 0;  // a row without --jobs: the adaptive pace

// JSON out, no progress, --jobs as given (kAdaptive: none).
inline netctl::Options quietJsonOptions(const sim::SimFleet& fleet, int jobs) {
    netctl::Options o;
    o.config = fleet.clientConfig();
    o.json = true;
    o.quiet = true;
    if (jobs != kAdaptive)
        o.jobs = jobs;
    return o;
}

// The --jobs column: a number, or "auto" for the adaptive pace.
inline std::string jobsText(int jobs) { return jobs == kAdaptive ? "auto" : std::to_string(jobs); }

// The rows a run measures: `[LOSS [JOBS...]]` on the command line picks one
// loss rate, and those --jobs only ("auto": the adaptive pace); `delay [JOBS...]`
// only the rows on a link whose answers are 200 ms late. Without them every default row.
struct RowChoice {
    bool delayOnly = false;
    bool delayToo = true;
};
inline RowChoice chooseRows(int argc, char** argv, std::vector<double>& losses, std::vector<int>& jobs) {
    RowChoice choice;
    if (argc > 1) {
        choice.delayOnly = std::string(argv[1]) == "delay";
        choice.delayToo = choice.delayOnly;
        if (!choice.delayOnly)
            losses = {std::atof(argv[1])};
    }
    if (argc > 2) {
        jobs.clear();
        for (int i = 2; i < argc; ++i)
            jobs.push_back(std::string(argv[i]) == "auto" ? kAdaptive : std::atoi(argv[i]));
    }
    return choice;
}

// The plan of the site benchmarks: each controller a new name and a new fixed address.
inline std::string newNameAndAddressPlan(const sim::SimFleet& fleet) {
    std::string text = site::csv::line({"SerialNo", "Name", "UseDhcp", "IpAddress", "SubnetMask", "Gateway"});
    int i = 0;
    for (const auto& c : fleet.controllers()) {
        ++i;
        text += site::csv::line({c.serialNo, "Plant room " + std::to_string(i), "false",
                                 "10.20." + std::to_string(100 + i / 250) + "." + std::to_string(i % 250 + 1),
                                 "255.255.0.0", "10.20.0.1"});
    }
    return text;
}

inline TimedCommand runTimed(const std::vector<std::string>& args, const netctl::Options& options) {
    std::ostringstream out, err;
    QElapsedTimer t;
    t.start();
    TimedCommand r;
    r.code = netctl::run(args, options, out, err);
    r.seconds = double(t.elapsed()) / 1000.0;
    r.out = out.str();
    r.err = err.str();
    return r;
}

}  // namespace zelmar::bench
