// plan check FILE and plan apply FILE: commissioning a site from a plan
// (the CSV of `search --csv`, edited in a spreadsheet).
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <optional>
#include <ostream>

#include "platform/netservice/net_service.h"
#include "tools/netctl/command_list.h"
#include "tools/netctl/netctl_support.h"
#include "tools/netctl/plan_runner.h"
#include "tools/netctl/plan_workers.h"
#include "tools/netctl/worker_pool.h"

namespace zelmar::netctl {

namespace {
constexpr qint64 kLargestPlan = 16 << 20;  // far beyond any site; a wrong file is not read whole

void printJson(const QJsonObject& o, std::ostream& out) {
    out << QJsonDocument(o).toJson(QJsonDocument::Indented).toStdString();
}

std::string where(const PlanProblem& p) {
    std::string at = p.row > 0 ? "row " + std::to_string(p.row) : "file";
    if (!p.column.empty())
        at += ", " + p.column;
    return at;
}

QJsonObject problemsJson(const std::vector<PlanProblem>& problems, std::size_t rows) {
    QJsonArray list;
    for (const PlanProblem& p : problems)
        list.append(QJsonObject{{"row", p.row},
                                {"column", QString::fromStdString(p.column)},
                                {"problem", QString::fromStdString(p.text)}});
    return QJsonObject{{"rows", qint64(rows)}, {"problems", list}, {"ok", problems.empty()}};
}

// The plan read, matched to the controllers found and checked. The setups
// are only good to send when there are no problems.
struct Checked {
    PlanCheck check;
    std::size_t rows = 0;
    std::vector<int> fitting;  // rows whose controller already said the planned settings fit
};
// Nothing when the file cannot be read (said on `err`); notes about
// controllers that did not answer their network check go to `err` too.
std::optional<Checked> checkWholePlan(const std::string& path, net::NetService& service, PlanRunner& runner,
                                      ServicePool& workers, const Options& o, std::ostream& err) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        err << "zelmar-netctl: plan: cannot read " << path << ": " << file.errorString().toStdString() << "\n";
        return std::nullopt;
    }
    if (file.size() > kLargestPlan) {
        err << "zelmar-netctl: plan: " << path << " is larger than 16 MiB: not a plan\n";
        return std::nullopt;
    }
    Checked result;
    const QByteArray bytes = file.readAll();
    const SitePlan plan = readPlan(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    result.rows = plan.rowCount;
    // A plan that cannot be read, or whose values are wrong in themselves, sends nothing at all.
    auto& problems = result.check.problems;
    problems = plan.problems;
    for (PlanProblem& p : checkPlanValues(plan, !o.password.empty()))
        problems.push_back(std::move(p));
    if (!problems.empty()) {
        std::stable_sort(problems.begin(), problems.end(), [](const PlanProblem& a, const PlanProblem& b) { return a.row < b.row; });
        return result;
    }
    const std::vector<ControllerRecord> found = runner.findControllers(plan, [&](const std::string& line) {
        if (!o.quiet)
            err << line << std::endl;
    });
    workers.learnFrom(service);
    if (found.empty())
        tellNoneAnswered(err);
    result.check = checkPlan(plan, found, !o.password.empty());
    const PlanRunner::FitCheck fit = checkFitOnWorkers(result.check.setups, workers, o);
    for (int row : fit.unanswered)
        err << "row " << row << ": the controller did not answer the network check; it is asked again before its setup\n";
    result.fitting = fit.fitting;
    problems.insert(problems.end(), fit.misfits.begin(), fit.misfits.end());
    std::stable_sort(problems.begin(), problems.end(), [](const PlanProblem& a, const PlanProblem& b) { return a.row < b.row; });
    return result;
}

std::string joinedRows(const std::vector<int>& rows) {
    std::string text;
    for (int r : rows)
        text += (text.empty() ? "" : ", ") + std::to_string(r);
    return text;
}

void printProblems(const Checked& c, bool json, std::ostream& out) {
    const auto& problems = c.check.problems;
    if (json) {
        printJson(problemsJson(problems, c.rows), out);
        return;
    }
    for (const PlanProblem& p : problems)
        out << where(p) << ": " << p.text << "\n";
    const auto toSet = std::count_if(c.check.setups.begin(), c.check.setups.end(),
                                     [](const PlannedSetup& s) { return !s.fields.empty(); });
    if (problems.empty())
        out << "plan OK: " << c.rows << " rows, " << toSet << " to set up, " << c.rows - std::size_t(toSet)
            << " already as planned\n";
    else
        out << problems.size() << (problems.size() == 1 ? " problem" : " problems") << " in " << c.rows
            << " rows; no controller was changed\n";
}

void printOutcomes(std::vector<RowOutcome> outcomes, bool json, std::ostream& out,
                   const std::vector<SharedAddress>& shared = {}) {
    std::sort(outcomes.begin(), outcomes.end(), [](const RowOutcome& a, const RowOutcome& b) { return a.row < b.row; });
    if (json) {
        QJsonObject o = outcomesJson(outcomes);
        if (!shared.empty()) {
            QJsonArray list;
            for (const SharedAddress& a : shared) {
                QJsonArray serials;
                for (const std::string& serial : a.serialNos)
                    serials.append(QString::fromStdString(serial));
                list.append(QJsonObject{{"IpAddress", QString::fromStdString(a.address)}, {"SerialNos", serials}});
            }
            o["sharedAddresses"] = list;
            o["ok"] = false;
        }
        printJson(o, out);
    } else {
        printOutcomeTable(outcomes, out);
        out << outcomeSummary(outcomes) << "\n";
    }
}

// What a service error leaves behind: the rows done, those in hand with their
// state unknown (their setups may have gone out), and which rows it never reached.
void tellWhatWasDone(const AppliedRows& rows, const std::vector<PlannedSetup>& setups, const std::string& error,
                     const Context& c) {
    std::vector<RowOutcome> outcomes;
    std::vector<int> notReached;
    bool inHand = false;
    for (std::size_t i = 0; i < setups.size(); ++i) {
        if (i < rows.outcomes.size() && rows.outcomes[i]) {
            outcomes.push_back(*rows.outcomes[i]);
        } else if (i < rows.started.size() && rows.started[i]) {
            inHand = true;
            outcomes.push_back({setups[i].row, setups[i].found.serialNo, Outcome::NoAnswer, "",
                                "the service failed during its setup (" + error +
                                    "): the controller may or may not have taken the settings"});
        } else {
            notReached.push_back(setups[i].row);
        }
    }
    if (!inHand && notReached.empty())
        c.err << "the read-back was cut short: the applied rows were confirmed, not all read back\n";
    std::sort(notReached.begin(), notReached.end());
    if (!notReached.empty())
        c.err << "not reached, nothing sent: " << (notReached.size() == 1 ? "row " : "rows ") << joinedRows(notReached)
              << "\n";
    printOutcomes(std::move(outcomes), c.options.json, c.out);
}

// Sets the checked plan's controllers up, --jobs at a time, each after the
// controllers holding its new address have moved away, and reads them back. A
// service error ends the run (exit code 3), after the table of what was done.
int applyPlan(const Checked& checked, PlanRunner& runner, ServicePool& workers, const Context& c) {
    std::vector<int> sharing;
    std::vector<PlannedSetup> setups;
    for (std::size_t i : applyOrder(checked.check.setups, &sharing))
        setups.push_back(checked.check.setups[i]);
    if (!sharing.empty())
        c.err << "rows " << joinedRows(sharing) << " swap addresses among themselves: "
              << "for a moment two controllers will share an address\n";

    AppliedRows rows;
    std::vector<RowOutcome> outcomes;
    std::vector<SharedAddress> shared;
    try {
        const int total = int(setups.size());
        int done = 0;
        applyOnWorkers(setups, applyWaits(setups, sharing.size()), checked.fitting, workers, c.options, rows,
                       [&](const RowOutcome& outcome) {
                           ++done;
                           if (!c.options.quiet)
                               c.err << progressLine(done, total, outcome) << std::endl;
                       });
        for (const auto& outcome : rows.outcomes)
            outcomes.push_back(*outcome);
        if (!c.options.quiet &&
            std::any_of(outcomes.begin(), outcomes.end(), [](const RowOutcome& r) { return r.setupSent; }))
            c.err << "reading the controllers back ..." << std::endl;
        shared = runner.verify(setups, outcomes);
    } catch (const std::exception& e) {
        for (std::size_t i = 0; i < outcomes.size(); ++i)
            rows.outcomes[i] = outcomes[i];  // what the read-back found so far
        tellWhatWasDone(rows, setups, e.what(), c);
        throw;
    }
    for (const SharedAddress& a : shared)
        c.err << "two controllers on one address after the run: " << sharedAddressText(a) << "\n";
    printOutcomes(outcomes, c.options.json, c.out, shared);
    return allDone(outcomes) && shared.empty() ? kExitDone : kExitFailed;
}

int plan(const std::vector<std::string>& args, const Context& c) {
    if (args.size() != 2 || (args[0] != "check" && args[0] != "apply"))
        return c.usage("needs check FILE or apply FILE");
    if (c.options.csv)
        return c.usage("--csv is for search and find; the plan itself is CSV");
    const Options& o = c.options;
    net::NetService service(o.config);
    PlanRunner runner(service, o.password);
    ServicePool workers(jobsOf(o), o.config, o.password);  // the check's and the setups' workers
    const std::optional<Checked> read = checkWholePlan(args[1], service, runner, workers, o, c.err);
    if (!read)
        return kExitUsage;
    const Checked& checked = *read;
    if (args[0] == "check" || !checked.check.problems.empty()) {
        printProblems(checked, o.json, c.out);
        return checked.check.problems.empty() ? kExitDone : kExitFailed;
    }
    return applyPlan(checked, runner, workers, c);
}
}  // namespace

Command planCommand() {
    return {"plan", "check|apply FILE", "check a site's address plan, or set the site up from it",
            "FILE is the CSV of 'search --csv' edited in a spreadsheet: one row per\n"
            "controller, keyed by SerialNo; an empty cell leaves that setting as it is;\n"
            "columns in any order (\";\" as separator and a byte-order mark are fine).\n"
            "check: first every value on its own (nothing is sent while one is\n"
            "wrong), then finds the controllers (a serial number two full searches\n"
            "do not hear is not found) and checks every value by the controllers'\n"
            "rules, addresses planned twice or already in use, the network password\n"
            "where needed, and asks each controller whether its new IP settings fit\n"
            "its network (--jobs at a time, default 4). One line per problem (row,\n"
            "column); nothing is written. Exit code 1 when anything is wrong.\n"
            "apply: the same check, then, only if it passed, sets up every controller\n"
            "that differs from the plan, --jobs at a time (progress on standard error,\n"
            "--quiet: none). A controller takes another's address only once that one\n"
            "has verifiably left it; else it ends waiting, with nothing sent. Then one\n"
            "search reads them all back and looks for two controllers on one fixed\n"
            "address (said on standard error and in the JSON: exit code 1).\n"
            "Controllers already as planned are skipped, so a run that was interrupted\n"
            "can simply be started again. Prints a table of outcomes (applied,\n"
            "skipped, refused, no answer, unverified, waiting; --json: the same as\n"
            "JSON). Exit code 0 only when every row was applied or skipped.\n"
            "A service error stops the run (exit code 3) after the table of the rows\n"
            "done so far; the rows in hand are told as no answer.\n"
            "Controllers that switch encryption on get the network password as their key.",
            plan};
}

}  // namespace zelmar::netctl
