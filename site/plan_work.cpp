#include "site/plan_work.h"

#include <QFile>
#include <algorithm>

#include "platform/netservice/net_service.h"
#include "site/plan_runner.h"
#include "site/plan_workers.h"
#include "site/worker_pool.h"

namespace zelmar::site {

namespace {
constexpr qint64 kLargestPlan = 16 << 20;  // far beyond any site; a wrong file is not read whole
constexpr std::size_t kAnyNumber = std::size_t(-1);  // of rows: the workers are made before the plan is read

void sortByRow(std::vector<PlanProblem>& problems) {
    std::stable_sort(problems.begin(), problems.end(),
                     [](const PlanProblem& a, const PlanProblem& b) { return a.row < b.row; });
}

std::string joinedRows(const std::vector<int>& rows) {
    std::string text;
    for (int r : rows)
        text += (text.empty() ? "" : ", ") + std::to_string(r);
    return text;
}

// After a service error: the rows in hand may or may not have taken their
// setups; those never started got nothing.
void afterServiceError(const AppliedRows& rows, const std::vector<PlannedSetup>& setups, const std::string& error,
                       AppliedPlan& result) {
    result.outcomes.clear();
    result.notReached.clear();
    bool inHand = false;
    for (std::size_t i = 0; i < setups.size(); ++i) {
        if (i < rows.outcomes.size() && rows.outcomes[i]) {
            result.outcomes.push_back(*rows.outcomes[i]);
        } else if (i < rows.started.size() && rows.started[i]) {
            inHand = true;
            RowOutcome o{setups[i].row, setups[i].found.serialNo, Outcome::NoAnswer, "",
                         "the service failed during its setup (" + error +
                             "): the controller may or may not have taken the settings"};
            o.setupSent = true;
            result.outcomes.push_back(o);
        } else {
            result.notReached.push_back(setups[i].row);
        }
    }
    result.readBackCutShort = !inHand && result.notReached.empty();
}
}  // namespace

std::optional<SitePlan> readPlanFile(const std::string& path, std::string& error) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot read " + path + ": " + file.errorString().toStdString();
        return std::nullopt;
    }
    if (file.size() > kLargestPlan) {
        error = path + " is larger than 16 MiB: not a plan";
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    return readPlan(std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

PlanWork::PlanWork(const SiteSettings& settings)
    : settings_(settings),
      service_(std::make_unique<net::NetService>(settings.config)),
      runner_(std::make_unique<PlanRunner>(*service_, settings.password)),
      workers_(std::make_unique<ServicePool>(workersFor(settings, kAnyNumber, false), settings.config,
                                             settings.password)),
      pace_(std::make_unique<PaceGate>(paceOf(settings))) {}

PlanWork::~PlanWork() = default;

CheckedPlan PlanWork::check(const SitePlan& plan, PlanListener& listener) {
    CheckedPlan result;
    result.rows = plan.rowCount;
    const bool havePassword = !settings_.password.empty();
    // A plan that cannot be read, or whose values are wrong in themselves, sends nothing at all.
    auto& problems = result.check.problems;
    problems = plan.problems;
    for (PlanProblem& p : checkPlanValues(plan, havePassword))
        problems.push_back(std::move(p));
    if (!problems.empty()) {
        sortByRow(problems);
        return result;
    }
    result.found = runner_->findControllers(plan, [&](const std::string& line) { listener.progress(line); });
    workers_->learnFrom(*service_);
    if (result.found.empty())
        listener.noControllerAnswered();
    result.check = checkPlan(plan, result.found, havePassword);
    const PlanRunner::FitCheck fit = checkFitOnWorkers(result.check.setups, *workers_, *pace_, settings_.password);
    for (int row : fit.unanswered)
        listener.note("row " + std::to_string(row) +
                      ": the controller did not answer the network check; it is asked again before its setup");
    result.fitting = fit.fitting;
    problems.insert(problems.end(), fit.misfits.begin(), fit.misfits.end());
    sortByRow(problems);
    return result;
}

void PlanWork::apply(const CheckedPlan& checked, PlanListener& listener, AppliedPlan& result, const StopFlag* stop) {
    result = {};
    std::vector<int> sharing;
    std::vector<PlannedSetup> setups;
    for (std::size_t i : applyOrder(checked.check.setups, &sharing))
        setups.push_back(checked.check.setups[i]);
    if (!sharing.empty())
        listener.note("rows " + joinedRows(sharing) +
                      " swap addresses among themselves: for a moment two controllers will share an address");

    AppliedRows rows;
    try {
        const int total = int(setups.size());
        int done = 0;
        applyOnWorkers(setups, applyWaits(setups, sharing.size()), checked.fitting, *workers_, *pace_, settings_.password, stop,
                       rows, [&](const PlannedSetup& s) { listener.rowStarted(s.row); },
                       [&](const RowOutcome& outcome) { listener.rowEnded(outcome, ++done, total); });
        for (std::size_t i = 0; i < setups.size(); ++i) {
            if (rows.outcomes[i])
                result.outcomes.push_back(*rows.outcomes[i]);
            else
                result.notReached.push_back(setups[i].row);
        }
        if (std::any_of(result.outcomes.begin(), result.outcomes.end(), [](const RowOutcome& r) { return r.setupSent; }))
            listener.readingBack();
        // The read-back goes by apply order, as the setups do.
        std::vector<PlannedSetup> ended;
        for (std::size_t i = 0; i < setups.size(); ++i)
            if (rows.outcomes[i])
                ended.push_back(setups[i]);
        result.shared = runner_->verify(ended, result.outcomes, &result.readBack);
    } catch (const std::exception& e) {
        for (std::size_t i = 0, o = 0; i < setups.size() && o < result.outcomes.size(); ++i)
            if (rows.outcomes[i])
                rows.outcomes[i] = result.outcomes[o++];  // what the read-back found so far
        afterServiceError(rows, setups, e.what(), result);
        throw;
    }
}

bool planFinished(const AppliedPlan& applied) {
    return allDone(applied.outcomes) && applied.notReached.empty() && applied.shared.empty();
}

}  // namespace zelmar::site
