#pragma once
// plan check's network checks and plan apply's setups, several controllers at
// once, at the pace (pace.h): each worker thread works in a service object of its own.
#include <functional>
#include <optional>
#include <vector>

#include "site/stop_flag.h"
#include "site/plan_runner.h"

namespace zelmar::site {

class PaceGate;
class ServicePool;

// Every row's network check (rows whose IP settings do not change are not asked), by row.
PlanRunner::FitCheck checkFitOnWorkers(const std::vector<PlannedSetup>& setups, ServicePool& workers, PaceGate& pace,
                                       const std::string& password);

// Where plan apply's setups stand: by position in apply order.
struct AppliedRows {
    std::vector<std::optional<RowOutcome>> outcomes;  // empty: not finished
    std::vector<bool> started;
};

// Sets up the rows of `ordered` (apply order), each once those it waits for
// (applyWaits) are done, and only when the controllers that held its new
// address (addressHolders) have verifiably left it; else it ends waiting.
// `started` and `finished` are told of each row as it starts and ends, one
// call at a time. Once `stop` is requested no row starts. A service error is
// thrown again once every worker has stopped; `rows` then tells what was
// done, what was in hand and what was not reached.
void applyOnWorkers(const std::vector<PlannedSetup>& ordered, const std::vector<std::vector<std::size_t>>& waits,
                    const std::vector<int>& fitting, ServicePool& workers, PaceGate& pace, const std::string& password,
                    const StopFlag* stop, AppliedRows& rows, const std::function<void(const PlannedSetup&)>& started,
                    const std::function<void(const RowOutcome&)>& finished);

}  // namespace zelmar::site
