#include "site/plan_workers.h"

#include <algorithm>
#include <mutex>

#include "site/worker_pool.h"

namespace zelmar::site {

PlanRunner::FitCheck checkFitOnWorkers(const std::vector<PlannedSetup>& setups, ServicePool& workers,
                                       const std::string& password) {
    PlanRunner::FitCheck all;
    std::mutex lock;
    TaskQueue queue(setups.size());
    runOnWorkers(workers, queue, [&](net::NetService& service, std::size_t i) {
        PlanRunner::FitCheck one;
        PlanRunner(service, password).checkNetworkFit(setups[i], one);
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
                    const std::vector<int>& fitting, ServicePool& workers, const std::string& password,
                    const StopFlag* stop, AppliedRows& rows, const std::function<void(const PlannedSetup&)>& started,
                    const std::function<void(const RowOutcome&)>& finished) {
    rows.outcomes.assign(ordered.size(), std::nullopt);
    rows.started.assign(ordered.size(), false);
    const std::vector<std::vector<std::size_t>> holders = addressHolders(ordered);
    std::mutex lock;
    TaskQueue queue(waits);
    runOnWorkers(workers, queue, stop, [&](net::NetService& service, std::size_t i) {
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
        std::lock_guard hold(lock);
        rows.outcomes[i] = outcome;
        finished(outcome);
    });
}

}  // namespace zelmar::site
