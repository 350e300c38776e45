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

// The moves of each checked setup, by place in apply order (one, or its
// parking step and the move from there).
std::vector<std::vector<std::size_t>> movesOfSetups(const MovePlan& plan, std::size_t setups) {
    std::vector<std::vector<std::size_t>> of(setups);
    for (std::size_t m = 0; m < plan.moves.size(); ++m)
        of[plan.moves[m].setup].push_back(m);
    return of;
}

// A row's outcome from those of its moves; nothing when it was not reached.
// A parked controller is told by its move from the parking address, or as
// parked when that one did not go.
std::optional<RowOutcome> rowOutcome(const MovePlan& plan, const std::vector<std::size_t>& moves,
                                     const std::vector<std::optional<RowOutcome>>& ended) {
    if (moves.size() == 1)
        return ended[moves[0]];
    const auto& toParking = ended[moves[0]];
    const auto& fromParking = ended[moves[1]];
    if (!toParking)
        return std::nullopt;
    const std::string parking = *plan.moves[moves[0]].send.fields.configIpAddress;
    if (toParking->outcome != Outcome::Applied) {
        RowOutcome o = *toParking;
        o.detail = phrase(Say::OnTheWayToParking, {parking}).followedBy(o.detail);
        o.setupSent = o.setupSent || (fromParking && fromParking->setupSent);
        return o;
    }
    if (fromParking && fromParking->outcome != Outcome::Waiting) {
        RowOutcome o = *fromParking;
        o.setupSent = true;
        return o;
    }
    RowOutcome o{toParking->row, toParking->serialNo, Outcome::Parked, "IpAddress",
                 phrase(Say::ParkedAt, {parking}).followedBy(fromParking ? fromParking->detail
                                                                          : phrase(Say::StoppedBeforePlanned))};
    o.setupSent = true;
    return o;
}

// After a service error: the rows in hand may or may not have taken their
// setups; those never started got nothing.
void afterServiceError(const MovePlan& plan, const AppliedRows& rows, const std::vector<PlannedSetup>& setups,
                       const std::string& error, AppliedPlan& result) {
    result.outcomes.clear();
    result.notReached.clear();
    bool inHand = false;
    const auto moves = movesOfSetups(plan, setups.size());
    for (std::size_t s = 0; s < setups.size(); ++s) {
        const bool cutShort = std::any_of(moves[s].begin(), moves[s].end(),
                                          [&](std::size_t m) { return rows.started[m] && !rows.outcomes[m]; });
        if (cutShort) {
            inHand = true;
            RowOutcome o{setups[s].row, setups[s].found.serialNo, Outcome::NoAnswer, "",
                         phrase(Say::ServiceFailedInSetup, {error})};
            o.setupSent = true;
            result.outcomes.push_back(o);
        } else if (const auto o = rowOutcome(plan, moves[s], rows.outcomes)) {
            result.outcomes.push_back(*o);
        } else {
            result.notReached.push_back(setups[s].row);
        }
    }
    result.readBackCutShort = !inHand && result.notReached.empty();
}

// "rows 3, 7, 9 take each other's addresses: 10-00003 waits on 10.30.255.254 while the others move"
Phrase cycleNote(const AddressCycle& c) { return phrase(Say::CycleParked, {joinedRows(c.rows), c.parkedSerial, c.parking}); }

// Every address the plan names: those it plans, its parking addresses, and those its controllers hold.
std::vector<std::string> namedAddresses(const CheckedPlan& checked) {
    std::vector<std::string> named;
    for (const Move& m : checked.moves.moves) {
        named.push_back(m.send.found.ipAddress);
        if (const auto to = newAddress(m.send))
            named.push_back(*to);
    }
    return named;
}

// The addresses two controllers answer on now that concern the plan.
std::vector<SharedAddress> sharedNow(const CheckedPlan& checked) {
    const std::vector<std::string> named = namedAddresses(checked);
    std::vector<SharedAddress> shared = sharedAddresses(checked.found, true);
    std::erase_if(shared, [&](const SharedAddress& a) {
        const bool planned = std::any_of(a.serialNos.begin(), a.serialNos.end(), [&](const std::string& serial) {
            return std::any_of(checked.check.setups.begin(), checked.check.setups.end(),
                               [&](const PlannedSetup& s) { return s.found.serialNo == serial; });
        });
        return !planned && std::find(named.begin(), named.end(), a.address) == named.end();
    });
    return shared;
}
}  // namespace

std::optional<SitePlan> readPlanFile(const std::string& path, Phrase& error) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = phrase(Say::CannotRead, {path, file.errorString().toStdString()});
        return std::nullopt;
    }
    if (file.size() > kLargestPlan) {
        error = phrase(Say::FileTooLarge, {path});
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    return readPlan(std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

PlanWork::PlanWork(const SiteSettings& settings)
    : settings_(settings),
      service_(std::make_unique<net::NetService>(settings.config)),
      runner_(std::make_unique<PlanRunner>(*service_, settings.passwords)),
      workers_(std::make_unique<ServicePool>(workersFor(settings, kAnyNumber, false), settings.config,
                                             settings.passwords)),
      pace_(std::make_unique<PaceGate>(paceOf(settings))) {}

PlanWork::~PlanWork() = default;

CheckedPlan PlanWork::check(const SitePlan& plan, PlanListener& listener) {
    CheckedPlan result;
    result.rows = plan.rowCount;
    const bool havePassword = !settings_.passwords.empty();
    // A plan that cannot be read, or whose values are wrong in themselves, sends nothing at all.
    auto& problems = result.check.problems;
    problems = plan.problems;
    for (PlanProblem& p : checkPlanValues(plan, havePassword))
        problems.push_back(std::move(p));
    if (!problems.empty()) {
        sortByRow(problems);
        return result;
    }
    result.found = runner_->findControllers(plan, settings_, [&](const Phrase& said) { listener.progress(said); });
    workers_->learnFrom(*service_);
    if (result.found.empty())
        listener.noControllerAnswered();
    result.check = checkPlan(plan, result.found, havePassword);
    const PlanRunner::FitCheck fit = checkFitOnWorkers(result.check.setups, *workers_, *pace_, settings_.passwords);
    for (int row : fit.unanswered)
        listener.note(phrase(Say::CheckNotAnswered, {std::to_string(row)}));
    result.fitting = fit.fitting;
    problems.insert(problems.end(), fit.misfits.begin(), fit.misfits.end());
    result.moves = planMoves(result.check.setups, result.found, settings_.parking, problems);
    for (const AddressCycle& c : result.moves.cycles)
        listener.note(cycleNote(c));
    result.shared = sharedNow(result);
    for (const SharedAddress& a : result.shared)
        listener.note(sharedNowPhrase(a));
    sortByRow(problems);
    return result;
}

void PlanWork::apply(const CheckedPlan& checked, PlanListener& listener, AppliedPlan& result, const StopFlag* stop) {
    result = {};
    const MovePlan& plan = checked.moves;
    const std::vector<PlannedSetup>& setups = checked.check.setups;
    const auto moves = movesOfSetups(plan, setups.size());
    const int total = int(setups.size());
    int done = 0;
    std::vector<bool> told(setups.size(), false);
    AppliedRows rows;
    bool movesEnded = false;
    // Called one at a time: a row is told once, when its last move has ended.
    auto tell = [&](std::size_t s) {
        if (const auto o = rowOutcome(plan, moves[s], rows.outcomes); o && !told[s]) {
            told[s] = true;
            listener.rowEnded(*o, ++done, total);
        }
    };
    auto finished = [&](std::size_t m, const RowOutcome& outcome) {
        const Move& move = plan.moves[m];
        if (move.step == Move::Step::ToParking && outcome.outcome == Outcome::Applied)
            listener.progress(phrase(Say::ParkedProgress, {move.send.found.serialNo, *move.send.fields.configIpAddress}));
        else
            tell(move.setup);
    };
    try {
        applyOnWorkers({plan, checked.fitting, *workers_, *pace_, settings_.passwords, stop,
                        [&](std::size_t m) { listener.rowStarted(plan.moves[m].send.row); }, finished},
                       rows);
        movesEnded = true;
        std::vector<PlannedSetup> ended;
        for (std::size_t s = 0; s < setups.size(); ++s) {
            tell(s);  // a parked one whose move from there was not reached
            if (const auto o = rowOutcome(plan, moves[s], rows.outcomes)) {
                result.outcomes.push_back(*o);
                ended.push_back(setups[s]);
            } else {
                result.notReached.push_back(setups[s].row);
            }
        }
        if (std::any_of(result.outcomes.begin(), result.outcomes.end(), [](const RowOutcome& r) { return r.setupSent; }))
            listener.readingBack();
        const PlanRunner::ReadBackScope scope{setups, checked.found, namedAddresses(checked)};
        result.shared = runner_->verify(ended, result.outcomes, scope, *workers_, &result.readBack);
    } catch (const std::exception& e) {
        if (movesEnded)
            result.readBackCutShort = true;  // the outcomes stand as far as the read-back got
        else
            afterServiceError(plan, rows, setups, e.what(), result);
        throw;
    }
}

bool planFinished(const AppliedPlan& applied) {
    return allDone(applied.outcomes) && applied.notReached.empty() && applied.shared.empty();
}

}  // namespace zelmar::site
