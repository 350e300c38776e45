// plan check FILE and plan apply FILE: commissioning a site from a plan
// (the CSV of `search --csv`, edited in a spreadsheet).
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <optional>
#include <ostream>

#include "tools/netctl/command_list.h"
#include "tools/netctl/netctl_support.h"
#include "site/plan_work.h"

namespace zelmar::netctl {

using namespace site;

namespace {

void printJson(const QJsonObject& o, std::ostream& out) {
    out << QJsonDocument(o).toJson(QJsonDocument::Indented).toStdString();
}

std::string where(const PlanProblem& p) {
    std::string at = p.row > 0 ? "row " + std::to_string(p.row) : "file";
    if (!p.column.empty())
        at += ", " + p.column;
    return at;
}

QJsonArray sharedJson(const std::vector<SharedAddress>& shared) {
    QJsonArray list;
    for (const SharedAddress& a : shared) {
        QJsonArray serials, byDhcp;
        for (const std::string& serial : a.serialNos)
            serials.append(QString::fromStdString(serial));
        for (const std::string& serial : a.byDhcp)
            byDhcp.append(QString::fromStdString(serial));
        list.append(QJsonObject{{"IpAddress", QString::fromStdString(a.address)}, {"SerialNos", serials}, {"ByDhcp", byDhcp}});
    }
    return list;
}

QJsonObject problemsJson(const CheckedPlan& c) {
    QJsonArray list;
    for (const PlanProblem& p : c.check.problems)
        list.append(QJsonObject{{"row", p.row},
                                {"column", QString::fromStdString(p.column)},
                                {"problem", QString::fromStdString(p.text())}});
    QJsonObject o{{"rows", qint64(c.rows)}, {"problems", list}, {"ok", c.check.problems.empty()}};
    if (!c.moves.cycles.empty()) {
        QJsonArray cycles;
        for (const AddressCycle& cycle : c.moves.cycles) {
            QJsonArray rows;
            for (int r : cycle.rows)
                rows.append(r);
            cycles.append(QJsonObject{{"rows", rows},
                                      {"parked", QString::fromStdString(cycle.parkedSerial)},
                                      {"parking", QString::fromStdString(cycle.parking)}});
        }
        o["cycles"] = cycles;
    }
    if (!c.shared.empty())
        o["sharedAddresses"] = sharedJson(c.shared);
    return o;
}

std::string joinedRows(const std::vector<int>& rows) {
    std::string text;
    for (int r : rows)
        text += (text.empty() ? "" : ", ") + std::to_string(r);
    return text;
}

// The plan work's progress on standard error.
class ConsolePlanListener : public PlanListener {
public:
    explicit ConsolePlanListener(const Context& c) : c_(c) {}
    void progress(const Phrase& said) override {
        if (!c_.options.quiet)
            c_.err << english(said) << std::endl;
    }
    void note(const Phrase& said) override { c_.err << english(said) << "\n"; }
    void noControllerAnswered() override { tellNoneAnswered(c_.err); }
    void rowEnded(const RowOutcome& outcome, int done, int total) override {
        if (!c_.options.quiet)
            c_.err << progressLine(done, total, outcome) << std::endl;
    }
    void readingBack() override {
        if (!c_.options.quiet)
            c_.err << "reading the controllers back ..." << std::endl;
    }

private:
    const Context& c_;
};

void printProblems(const CheckedPlan& c, bool json, std::ostream& out) {
    const auto& problems = c.check.problems;
    if (json) {
        printJson(problemsJson(c), out);
        return;
    }
    for (const PlanProblem& p : problems)
        out << where(p) << ": " << p.text() << "\n";
    const auto toSet = std::count_if(c.check.setups.begin(), c.check.setups.end(),
                                     [](const PlannedSetup& s) { return !s.fields.empty(); });
    if (problems.empty())
        out << "plan OK: " << c.rows << " rows, " << toSet << " to set up, " << c.rows - std::size_t(toSet)
            << " already as planned\n";
    else
        out << problems.size() << (problems.size() == 1 ? " problem" : " problems") << " in "
            << (c.rows == 0 ? std::string("the file") : std::to_string(c.rows) + (c.rows == 1 ? " row" : " rows"))
            << "; no controller was changed\n";
}

// The table of outcomes (or its JSON), after what standard error must say:
// rows not reached, a read-back cut short, two controllers on one address.
void printApplied(const AppliedPlan& applied, const Context& c) {
    if (applied.readBackCutShort)
        c.err << "the read-back was cut short: the applied rows were confirmed, not all read back\n";
    if (!applied.notReached.empty()) {
        std::vector<int> rows = applied.notReached;
        std::sort(rows.begin(), rows.end());
        c.err << "not reached, nothing sent: " << (rows.size() == 1 ? "row " : "rows ") << joinedRows(rows) << "\n";
    }
    for (const SharedAddress& a : applied.shared)
        c.err << "two controllers on one address after the run: " << sharedAddressText(a) << "\n";
    std::vector<RowOutcome> outcomes = applied.outcomes;
    std::sort(outcomes.begin(), outcomes.end(), [](const RowOutcome& a, const RowOutcome& b) { return a.row < b.row; });
    if (!c.options.json) {
        printOutcomeTable(outcomes, c.out);
        c.out << outcomeSummary(outcomes) << "\n";
        return;
    }
    QJsonObject o = outcomesJson(outcomes);
    if (!applied.shared.empty()) {
        o["sharedAddresses"] = sharedJson(applied.shared);
        o["ok"] = false;
    }
    printJson(o, c.out);
}

int plan(const std::vector<std::string>& args, const Context& c) {
    if (args.size() != 2 || (args[0] != "check" && args[0] != "apply"))
        return c.usage("needs check FILE or apply FILE");
    if (c.options.csv)
        return c.usage("--csv is for search and find; the plan itself is CSV");
    Phrase error;
    const std::optional<SitePlan> plan = readPlanFile(args[1], error);
    if (!plan) {
        c.err << "zelmar-netctl: plan: " << english(error) << "\n";
        return kExitUsage;
    }
    ConsolePlanListener listener(c);
    PlanWork work(settingsOf(c.options));
    const CheckedPlan checked = work.check(*plan, listener);
    if (args[0] == "check" || !checked.check.problems.empty()) {
        printProblems(checked, c.options.json, c.out);
        return checked.check.problems.empty() ? kExitDone : kExitFailed;
    }
    if (c.options.stop && c.options.stop->requested()) {
        c.err << "stopped after the check: nothing was sent\n";
        return kExitFailed;
    }
    // A service error ends the run (exit code 3), after the table of what was done.
    AppliedPlan applied;
    try {
        work.apply(checked, listener, applied, c.options.stop);
    } catch (const std::exception&) {
        printApplied(applied, c);
        throw;
    }
    if (c.options.stop && c.options.stop->requested())
        c.err << "stopped: no row was started after the stop; those in hand finished\n";
    printApplied(applied, c);
    return planFinished(applied) ? kExitDone : kExitFailed;
}
}  // namespace

Command planCommand() {
    return {"plan", "check|apply FILE", "check a site's address plan, or set the site up from it",
            "FILE is the CSV of 'search --csv' edited in a spreadsheet: one row per\n"
            "controller, keyed by SerialNo; an empty cell leaves that setting as it is;\n"
            "columns in any order (\";\" as separator and a byte-order mark are fine).\n"
            "check: first every value on its own (nothing is sent while one is\n"
            "wrong), then finds the controllers (a serial number that two full\n"
            "searches and a lookup of its own do not hear is not found) and checks\n"
            "every value by the controllers' rules, addresses planned twice or\n"
            "already in use (a DHCP lease included), the network password where\n"
            "needed, and asks each controller whether its new IP settings fit its\n"
            "network (several at a time, below). One line per problem (row,\n"
            "column); nothing is written. Exit code 1 when anything is wrong.\n"
            "It names the cycles of address changes with their parking address,\n"
            "and the addresses two controllers answer on now, on standard error.\n"
            "apply: the same check, then, only if it passed, sets up every controller\n"
            "that differs from the plan, several at a time (progress on standard error,\n"
            "--quiet: none). An address is held by whoever answers on it, by a fixed\n"
            "setting or by DHCP: a controller takes another's address only once that\n"
            "one has verifiably left it; else it ends waiting, with nothing sent.\n"
            "Controllers that take each other's addresses (a swap, a cycle) go one\n"
            "cycle at a time: one of them waits on a free parking address of its\n"
            "network meanwhile (--parking ADDRESS, else the check chooses and names\n"
            "one). Then a search and a lookup of each controller it missed read back\n"
            "every controller of the plan and every address it named, and tell two\n"
            "controllers on one address (on standard error and in the JSON: exit\n"
            "code 1). Ctrl-C or SIGTERM stops as Stop does: no new row starts, those\n"
            "in hand finish and the table is printed (a second Ctrl-C ends at once);\n"
            "a cycle broken off leaves its parked controller parked (told as such).\n"
            "Controllers already as planned are skipped, so a run that was interrupted\n"
            "can simply be started again. Prints a table of outcomes (applied,\n"
            "skipped, refused, no answer, unverified, waiting, parked; --json: the\n"
            "same as JSON). Exit code 0 only when every row was applied or skipped.\n"
            "A service error stops the run (exit code 3) after the table of the rows\n"
            "done so far; the rows in hand are told as no answer.\n"
            "Controllers that switch encryption on get the network password as their key.\n"
            "Several at a time: --jobs N (1 to 32) at most N; without it the pace\n"
            "adapts: it starts with two controllers, grows while their answers come in\n"
            "time and shrinks when they are lost or late, never beyond 32 at once.",
            plan};
}

}  // namespace zelmar::netctl
