#pragma once
// plan check's network checks and plan apply's setups, several controllers at
// once, at the pace (pace.h): each worker thread works in a service object of its own.
#include <functional>
#include <optional>
#include <vector>

#include "site/address_moves.h"
#include "site/plan_runner.h"
#include "site/stop_flag.h"

namespace zelmar::site {

class PaceGate;
class ServicePool;

// Every row's network check (rows whose IP settings do not change are not asked), by row.
PlanRunner::FitCheck checkFitOnWorkers(const std::vector<PlannedSetup>& setups, ServicePool& workers, PaceGate& pace,
                                       const std::vector<std::string>& passwords);

// Where plan apply's moves stand: by place in apply order.
struct AppliedRows {
    std::vector<std::optional<RowOutcome>> outcomes;  // empty: not finished
    std::vector<bool> started;
};

// What plan apply hands its workers.
struct ApplyRun {
    const MovePlan& plan;
    const std::vector<int>& fitting;  // rows whose controller already said the planned settings fit
    ServicePool& workers;
    PaceGate& pace;
    const std::vector<std::string>& passwords;
    const StopFlag* stop = nullptr;  // once requested no move starts
    // Told of each move as it starts and ends, one call at a time.
    std::function<void(std::size_t move)> started;
    std::function<void(std::size_t move, const RowOutcome& outcome)> finished;
};

// Makes the moves of `run.plan`, each once those it waits for are done, and
// only when the controllers that held its new address have verifiably left
// it; else it ends waiting. A service error is thrown again once every worker
// has stopped; `rows` then tells what was done, what was in hand and what was
// not reached.
void applyOnWorkers(const ApplyRun& run, AppliedRows& rows);

}  // namespace zelmar::site
