// upgrade FILE... (SERIAL... | --all): the TCP/IP Port OS of many controllers,
// --jobs at a time, each the tool's own upgrade.
#include <algorithm>
#include <mutex>
#include <optional>
#include <ostream>

#include "platform/netservice/net_service.h"
#include "platform/netservice/wire/messages.h"
#include "tools/netctl/command_list.h"
#include "tools/netctl/controller_upgrade.h"
#include "tools/netctl/netctl_support.h"
#include "tools/netctl/upgrade_board.h"
#include "tools/netctl/worker_pool.h"

namespace zelmar::netctl {

namespace {

constexpr int kClosingSearches = 3;  // --all: searches after the run, while each finds controllers not seen
constexpr const char* kFoundLate = "found only by a search after the run";

struct Arguments {
    std::vector<std::string> files, serials, missingFiles;
};

Arguments splitArguments(const std::vector<std::string>& args) {
    Arguments a;
    for (const std::string& arg : args)
        (namesUpgradeFile(arg) ? a.files : looksLikeAFile(arg) ? a.missingFiles : a.serials).push_back(arg);
    return a;
}

// Why the files and serial numbers do not fit together; empty when they do.
std::string argumentProblem(const Arguments& a, const Options& o) {
    if (!a.missingFiles.empty())
        return "no upgrade file " + a.missingFiles.front() + "; nothing was sent";
    if (a.files.empty())
        return "needs at least one upgrade FILE (an existing file, or a name ending in .TcpIpPortOS)";
    if (o.all && !a.serials.empty())
        return "SERIAL... or --all, not both";
    if (!o.all && a.serials.empty())
        return "needs the serial numbers of the controllers to upgrade, or --all";
    if (o.csv)
        return "--csv is for search and find";
    for (const std::string& serial : a.serials)
        if (std::string problem = serialProblem(serial); !problem.empty())
            return problem;
    return {};
}

bool sameController(const ControllerRecord& a, const ControllerRecord& b) {
    return a.ethernetAddress == b.ethernetAddress;
}

// The controllers to work on, each once: a serial number given twice, or spelt two ways, is
// one controller. Those named that did not answer are returned as not found.
std::vector<ControllerUpgrade> findTargets(net::NetService& service, const Arguments& a, const Context& c,
                                           std::vector<ControllerRecord>& targets) {
    const std::vector<ControllerRecord> found = searchForSerials(service, a.serials, [&](const std::string& line) {
        if (!c.options.quiet)
            c.err << line << std::endl;
    });
    std::vector<ControllerUpgrade> notFound;
    auto take = [&](const ControllerRecord& r) {
        if (std::none_of(targets.begin(), targets.end(), [&](const ControllerRecord& t) { return sameController(t, r); }))
            targets.push_back(r);
    };
    if (c.options.all)
        std::for_each(found.begin(), found.end(), take);
    for (const std::string& serial : a.serials) {
        const auto it = std::find_if(found.begin(), found.end(),
                                     [&](const ControllerRecord& r) { return net::wire::serialMatches(serial, r.serialNo); });
        if (it != found.end())
            take(*it);
        else
            notFound.push_back({serial, 0, "", "", UpgradeResult::NotFound, "it did not answer the search: nothing sent"});
    }
    return notFound;
}

// The table with its summary line, or the JSON lines, by serial number.
void printUpgrades(std::vector<ControllerUpgrade> upgrades, bool json, std::ostream& out) {
    std::stable_sort(upgrades.begin(), upgrades.end(),
                     [](const ControllerUpgrade& a, const ControllerUpgrade& b) { return a.serialNo < b.serialNo; });
    if (json) {
        printUpgradeJsonLines(upgrades, out);
        return;
    }
    printUpgradeTable(upgrades, out);
    out << upgradeSummary(upgrades) << "\n";
}

// What a service error leaves behind: the controllers in hand may or may not have switched.
void tellWhatWasDone(std::vector<ControllerUpgrade> upgrades, const std::vector<std::optional<ControllerUpgrade>>& ran,
                     const std::vector<bool>& started, const std::vector<ControllerRecord>& queued,
                     const std::string& error, const Context& c) {
    std::string notReached;
    for (std::size_t i = 0; i < queued.size(); ++i) {
        if (ran[i])
            upgrades.push_back(*ran[i]);
        else if (started[i])
            upgrades.push_back({queued[i].serialNo, queued[i].portOsType, queued[i].portOsRevision,
                                queued[i].portOsRevision, UpgradeResult::Unknown,
                                "the service failed during its upgrade (" + error + ")"});
        else
            notReached += (notReached.empty() ? "" : ", ") + queued[i].serialNo;
    }
    if (!notReached.empty())
        c.err << "not reached, nothing sent: " << notReached << "\n";
    printUpgrades(std::move(upgrades), c.options.json, c.out);
}

// Upgrades `targets` (those that need no transfer are told at once), --jobs at a
// time, and adds each outcome to `upgrades`. A service error ends the run after
// the table of what was done.
void upgradeAll(net::NetService& service, const std::vector<ControllerRecord>& targets, const UpgradeFiles& files,
                const Context& c, std::vector<ControllerUpgrade>& upgrades) {
    const Options& o = c.options;
    std::vector<ControllerRecord> queued;
    for (const ControllerRecord& r : targets) {
        if (auto skipped = upgradeNotNeeded(r, files, o))
            upgrades.push_back(*skipped);
        else
            queued.push_back(r);
    }
    std::vector<std::optional<ControllerUpgrade>> ran(queued.size());
    std::vector<bool> started(queued.size(), false);
    std::mutex lock;
    try {
        UpgradeBoard board(queued.size(), c.err, o.quiet || queued.empty());
        TaskQueue queue(queued.size());
        ServicePool workers(std::min<int>(jobsOf(o), int(std::max<std::size_t>(queued.size(), 1))), o.config,
                            o.password);
        workers.learnFrom(service);
        runOnWorkers(workers, queue, [&](net::NetService& worker, std::size_t i) {
            {
                std::lock_guard hold(lock);
                started[i] = true;
            }
            const auto& file = *files.forType(queued[i].portOsType);
            ControllerUpgrade done = upgradeController(worker, queued[i], file, board, i);
            board.finished(i, done);
            std::lock_guard hold(lock);
            ran[i] = std::move(done);
        });
    } catch (const std::exception& e) {
        tellWhatWasDone(std::move(upgrades), ran, started, queued, e.what(), c);
        throw;
    }
    for (auto& done : ran)
        upgrades.push_back(std::move(*done));
}

bool everyOneDone(const std::vector<ControllerUpgrade>& upgrades) {
    return std::all_of(upgrades.begin(), upgrades.end(), [](const ControllerUpgrade& u) { return upgradeDone(u.result); });
}

// --all: a search missed controllers whose answers were lost. Before the run
// says it is done, the site is searched again; controllers not seen before are
// upgraded (or told) too, until a search finds none. False when the last
// search still found some.
bool searchForControllersLeftBehind(net::NetService& service, std::vector<ControllerRecord>& seen,
                                    const UpgradeFiles& files, const Context& c,
                                    std::vector<ControllerUpgrade>& upgrades) {
    for (int search = 0; search < kClosingSearches; ++search) {
        if (!c.options.quiet)
            c.err << "searching the site once more for controllers not seen ..." << std::endl;
        service.Clear();
        service.Search();
        std::vector<ControllerRecord> late;
        for (const ControllerRecord& r : recordsOf(service))
            if (std::none_of(seen.begin(), seen.end(), [&](const ControllerRecord& s) { return sameController(s, r); }))
                late.push_back(r);
        if (late.empty())
            return true;
        seen.insert(seen.end(), late.begin(), late.end());
        const std::size_t before = upgrades.size();
        upgradeAll(service, late, files, c, upgrades);
        for (std::size_t i = before; i < upgrades.size(); ++i)
            upgrades[i].detail = upgrades[i].detail.empty() ? kFoundLate : upgrades[i].detail + "; " + kFoundLate;
        if (!everyOneDone(upgrades))
            return true;  // the run fails anyway: no need to look further
    }
    c.err << "each of " << kClosingSearches << " searches after the run found controllers not seen before: "
          << "the site may hold more; run again\n";
    return false;
}

int upgrade(const std::vector<std::string>& args, const Context& c) {
    const Arguments a = splitArguments(args);
    if (const std::string problem = argumentProblem(a, c.options); !problem.empty())
        return c.usage(problem);
    UpgradeFiles files;
    if (const std::string problem = loadUpgradeFiles(a.files, files); !problem.empty())
        return c.usage(problem + "; nothing was sent");

    const Options& o = c.options;
    net::NetService service(o.config);
    service.setPassword(o.password);
    std::vector<ControllerRecord> targets;
    std::vector<ControllerUpgrade> upgrades = findTargets(service, a, c, targets);
    if (targets.empty() && o.all) {
        tellNoneAnswered(c.err);
        return kExitFailed;
    }
    upgradeAll(service, targets, files, c, upgrades);
    bool nobodyLeft = true;
    if (o.all && everyOneDone(upgrades))
        nobodyLeft = searchForControllersLeftBehind(service, targets, files, c, upgrades);
    const bool done = everyOneDone(upgrades) && nobodyLeft;
    printUpgrades(std::move(upgrades), o.json, c.out);
    return done ? kExitDone : kExitFailed;
}

}  // namespace

Command upgradeCommand() {
    return {"upgrade", "FILE... (SERIAL...|--all)", "upgrade the TCP/IP Port OS of many controllers, --jobs at a time",
            "Each controller named gets the upgrade file among FILE... for its port OS\n"
            "type: the same checks, transfer and verification as the tool's Upgrade\n"
            "button. A FILE is an existing file or a name ending in .TcpIpPortOS; an\n"
            "argument with a folder separator or an extension that names no file, and\n"
            "two files for one type, are refused before anything is sent.\n"
            "--all: every controller that answered a full search, before the run or\n"
            "after it: before it ends, the run searches the site again and works on\n"
            "the controllers not seen before too (the table says \"found only by a\n"
            "search after the run\"), until a search finds no more.\n"
            "Skipped, nothing sent: a controller that already runs the file's revision\n"
            "(current), one whose type has no file (no file), one that requires\n"
            "encryption without the right network password (refused).\n"
            "--jobs N (1 to 32, default 4): controllers upgraded at once, each from its\n"
            "transfer to its verification after the restart; never two transfers to\n"
            "one controller. Progress on standard error (--quiet: none).\n"
            "At the end a table (--json: one JSON object a line) with each outcome:\n"
            "upgraded (it reports the file's revision after its restart), current,\n"
            "no file, refused (the controller took nothing), failed (the transfer did\n"
            "not complete: the old revision runs), unknown (the switch was asked for\n"
            "and no answer came after the restart), not found.\n"
            "Exit code 0 only when every controller is upgraded or current and the\n"
            "last search found none left behind. Started again with the same\n"
            "arguments, it upgrades only what is left.",
            upgrade};
}

}  // namespace zelmar::netctl
