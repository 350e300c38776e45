#include "site/plan_workers.h"

#include <algorithm>
#include <mutex>

#include "site/worker_pool.h"

namespace zelmar::site {

PlanRunner::FitCheck checkFitOnWorkers(const std::vector<PlannedSetup>& setups, ServicePool& workers, PaceGate& pace,
                                       const std::vector<std::string>& passwords) {
    PlanRunner::FitCheck all;
    std::mutex lock;
    TaskQueue queue(setups.size());
    runOnWorkers(workers, queue, pace, nullptr, [&](net::NetService& service, std::size_t i, Turn& turn) {
        PlanRunner::FitCheck one;
        PlanRunner(service, passwords).checkNetworkFit(setups[i], one);
        if (one.misfits.empty() && one.fitting.empty() && one.unanswered.empty())
            turn.sentNothing();  // its IP settings do not change: nothing to ask
        if (!one.unanswered.empty())
            turn.unanswered();
        std::lock_guard hold(lock);
        all.misfits.insert(all.misfits.end(), one.misfits.begin(), one.misfits.end());
        all.unanswered.insert(all.unanswered.end(), one.unanswered.begin(), one.unanswered.end());
        all.fitting.insert(all.fitting.end(), one.fitting.begin(), one.fitting.end());
    });
    // As one at a time would have found them: in row order.
    std::stable_sort(all.misfits.begin(), all.misfits.end(), [](const PlanProblem& a, const PlanProblem& b) { return a.row < b.row; });
    std::sort(all.unanswered.begin(), all.unanswered.end());
    std::sort(all.fitting.begin(), all.fitting.end());
    return all;
}

void applyOnWorkers(const ApplyRun& run, AppliedRows& rows) {
    const std::vector<Move>& moves = run.plan.moves;
    rows.outcomes.assign(moves.size(), std::nullopt);
    rows.started.assign(moves.size(), false);
    std::mutex lock;
    TaskQueue queue(run.plan.waits);
    runOnWorkers(run.workers, queue, run.pace, run.stop, [&](net::NetService& service, std::size_t i, Turn& turn) {
        {
            std::lock_guard hold(lock);
            rows.started[i] = true;
            run.started(i);
        }
        PlanRunner runner(service, run.passwords);
        std::optional<RowOutcome> held;
        for (std::size_t h : run.plan.holders[i]) {
            std::optional<RowOutcome> theirs;
            {
                std::lock_guard hold(lock);
                theirs = rows.outcomes[h];
            }
            if (!runner.hasLeft(moves[h].send, theirs)) {
                held = PlanRunner::waitingFor(moves[i].send, moves[h].send);
                break;
            }
        }
        // The parking step has settings of its own: the controller is asked whether they fit.
        const bool fitChecked = moves[i].step != Move::Step::ToParking &&
                                std::binary_search(run.fitting.begin(), run.fitting.end(), moves[i].send.row);
        RowOutcome outcome = held ? *held : runner.apply(moves[i].send, fitChecked);
        if (outcome.outcome == Outcome::Skipped || outcome.outcome == Outcome::Waiting)
            turn.sentNothing();  // it needed no setup: its time tells nothing of the link
        else if (outcome.outcome == Outcome::NoAnswer)
            turn.unanswered();
        std::lock_guard hold(lock);
        rows.outcomes[i] = outcome;
        run.finished(i, outcome);
    });
}

}  // namespace zelmar::site
