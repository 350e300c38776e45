#include "site/plan_workers.h"

#include <algorithm>
#include <mutex>

#include "site/worker_pool.h"

namespace zelmar::site {

PlanRunner::FitCheck checkFitOnWorkers(const std::vector<PlannedSetup>& setups, ServicePool& workers, PaceGate& pace,
                                       const std::string& password) {
    PlanRunner::FitCheck all;
    std::mutex lock;
    TaskQueue queue(setups.size());
    runOnWorkers(workers, queue, pace, nullptr, [&](net::NetService& service, std::size_t i, Turn& turn) {
        PlanRunner::FitCheck one;
        PlanRunner(service, password).checkNetworkFit(setups[i], one);
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

void applyOnWorkers(const std::vector<PlannedSetup>& ordered, const std::vector<std::vector<std::size_t>>& waits,
                    const std::vector<int>& fitting, ServicePool& workers, PaceGate& pace, const std::string& password,
                    const StopFlag* stop, AppliedRows& rows, const std::function<void(const PlannedSetup&)>& started,
                    const std::function<void(const RowOutcome&)>& finished) {
    rows.outcomes.assign(ordered.size(), std::nullopt);
    rows.started.assign(ordered.size(), false);
    const std::vector<std::vector<std::size_t>> holders = addressHolders(ordered);
    std::mutex lock;
    TaskQueue queue(waits);
    runOnWorkers(workers, queue, pace, stop, [&](net::NetService& service, std::size_t i, Turn& turn) {
        {
            std::lock_guard hold(lock);
            rows.started[i] = true;
            started(ordered[i]);
        }
        PlanRunner runner(service, password);
        std::optional<RowOutcome> held;
        for (std::size_t h : holders[i]) {
            std::optional<RowOutcome> theirs;
            {
                std::lock_guard hold(lock);
                theirs = rows.outcomes[h];
            }
            if (!runner.hasLeft(ordered[h], theirs)) {
                held = PlanRunner::waitingFor(ordered[i], ordered[h]);
                break;
            }
        }
        const bool fitChecked = std::binary_search(fitting.begin(), fitting.end(), ordered[i].row);
        RowOutcome outcome = held ? *held : runner.apply(ordered[i], fitChecked);
        if (outcome.outcome == Outcome::Skipped || outcome.outcome == Outcome::Waiting)
            turn.sentNothing();  // it needed no setup: its time tells nothing of the link
        else if (outcome.outcome == Outcome::NoAnswer)
            turn.unanswered();
        std::lock_guard hold(lock);
        rows.outcomes[i] = outcome;
        finished(outcome);
    });
}

}  // namespace zelmar::site
