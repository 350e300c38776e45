// upgrade FILE... (SERIAL... | --all): the TCP/IP Port OS of many controllers,
// several at a time (--jobs, else the adaptive pace), each the tool's own upgrade.
#include <algorithm>
#include <optional>
#include <ostream>

#include "platform/qorglib/serial_number.h"
#include "tools/netctl/command_list.h"
#include "tools/netctl/netctl_support.h"
#include "tools/netctl/upgrade_board.h"
#include "site/upgrade_work.h"

namespace zelmar::netctl {

using namespace site;

namespace {

struct Arguments {
    std::vector<std::string> files, serials;
    std::vector<std::string> refused;  // why an argument is neither a file nor a serial number, one each
};

Arguments splitArguments(const std::vector<std::string>& args) {
    Arguments a;
    for (const std::string& arg : args) {
        if (namesUpgradeFile(arg))
            a.files.push_back(arg);
        else if (namesFolder(arg))
            a.refused.push_back(arg + " is a folder, not an upgrade file");
        else if (looksLikeAFile(arg))
            a.refused.push_back("no upgrade file " + arg);
        else if (!qorg::serialNumberValue(arg))
            a.refused.push_back(arg + " is neither an upgrade file nor a serial number");
        else
            a.serials.push_back(arg);
    }
    return a;
}

// Why the files and serial numbers do not fit together; empty when they do.
std::string argumentProblem(const Arguments& a, const Options& o) {
    if (!a.refused.empty()) {
        std::string said;
        for (const std::string& why : a.refused)
            said += (said.empty() ? "" : "; ") + why;
        return said + "; nothing was sent";
    }
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

// The work's progress on standard error: a board for each batch of transfers.
class ConsoleUpgradeListener : public UpgradeListener {
public:
    explicit ConsoleUpgradeListener(const Context& c) : c_(c) {}
    void progress(const Phrase& said) override {
        if (!c_.options.quiet)
            c_.err << english(said) << std::endl;
    }
    void note(const Phrase& said) override { c_.err << english(said) << "\n"; }
    void batchStarting(const std::vector<ControllerRecord>& controllers) override {
        board_.emplace(controllers.size(), c_.err, c_.options.quiet || controllers.empty());
    }
    void transferring(std::size_t slot, int percent) override { board_->transferring(slot, percent); }
    void restarting(std::size_t slot) override { board_->restarting(slot); }
    void finished(std::size_t slot, const ControllerUpgrade& upgrade) override { board_->finished(slot, upgrade); }
    void batchEnded() override { board_.reset(); }

private:
    const Context& c_;
    std::optional<UpgradeBoard> board_;
};

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

// The table of what was done; the controllers not reached are named on standard error.
void printRun(const UpgradeRun& run, const Context& c) {
    std::string notReached;
    for (const std::string& serial : run.notReached)
        notReached += (notReached.empty() ? "" : ", ") + serial;
    if (!notReached.empty())
        c.err << "not reached, nothing sent: " << notReached << "\n";
    printUpgrades(run.upgrades, c.options.json, c.out);
}

int upgrade(const std::vector<std::string>& args, const Context& c) {
    const Arguments a = splitArguments(args);
    if (const std::string problem = argumentProblem(a, c.options); !problem.empty())
        return c.usage(problem);
    UpgradeFiles files;
    if (const Phrase problem = loadUpgradeFiles(a.files, files); !problem.empty())
        return c.usage(english(problem) + "; nothing was sent");

    ConsoleUpgradeListener listener(c);
    UpgradeWork work(settingsOf(c.options), files);
    const UpgradeTargets targets = work.find(a.serials, c.options.all, listener);
    if (targets.seen.empty() && c.options.all) {
        tellNoneAnswered(c.err);
        return kExitFailed;
    }
    UpgradeRun run;
    try {
        work.upgrade(targets, c.options.all, listener, run, c.options.stop, c.options.allowOlder);
    } catch (const std::exception&) {
        printRun(run, c);  // what a service error leaves behind: those in hand may or may not have switched
        throw;
    }
    if (c.options.stop && c.options.stop->requested())
        c.err << "stopped: no transfer was started after the stop; those in hand finished\n";
    printRun(run, c);
    return upgradeFinished(run) ? kExitDone : kExitFailed;
}

}  // namespace

Command upgradeCommand() {
    return {"upgrade", "FILE... (SERIAL...|--all)", "upgrade the TCP/IP Port OS of many controllers, several at a time",
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
            "(current), one that runs a newer revision than its file (newer; with\n"
            "--allow-older it gets the file: downgraded), one whose type has no file\n"
            "(no file), one that requires encryption without the right network\n"
            "password (refused). Revisions compare as dotted numbers (2.12 is newer\n"
            "than 2.9).\n"
            "--jobs N (1 to 32): at most N controllers upgraded at once, each from its\n"
            "transfer to its verification after the restart. Without it the pace\n"
            "adapts: it starts with two transfers, grows while the answers come in\n"
            "time and shrinks when they are lost or late, never beyond 32 transfers\n"
            "(2.5 MiB on the way); once its blocks are acknowledged a controller\n"
            "leaves its place to the next while it restarts (at most 64 in hand).\n"
            "Never two transfers to one controller.\n"
            "Progress on standard error (--quiet: none).\n"
            "At the end a table (--json: one JSON object a line) with each outcome:\n"
            "upgraded (it reports the file's revision after its restart), downgraded\n"
            "(the same, to an older revision, with --allow-older), current, newer,\n"
            "no file, refused (the controller took nothing), failed (the transfer did\n"
            "not complete: the old revision runs), unknown (the switch was asked for\n"
            "and no answer came after the restart), not found.\n"
            "Exit code 0 only when every controller is upgraded, downgraded, current\n"
            "or newer and the last search found none left behind. Started again with\n"
            "the same arguments, it upgrades only what is left.",
            upgrade};
}

}  // namespace zelmar::netctl
