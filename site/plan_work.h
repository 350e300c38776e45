#pragma once
// A site's plan checked against the controllers and, when clean, applied: the
// work of `zelmar-netctl plan` and of the site window, which only show what
// it tells. One object for one plan run (check, then apply): it holds the
// service object that searched and the workers' service objects, which
// learnt the site from it, and the pace, which the setups take over from the check.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "site/address_moves.h"
#include "site/controller_record.h"
#include "site/plan_check.h"
#include "site/plan_outcome.h"
#include "site/site_plan.h"
#include "site/site_settings.h"
#include "site/stop_flag.h"

namespace zelmar::net {
class NetService;
}

namespace zelmar::site {

class PaceGate;
class PlanRunner;
class ServicePool;

// What the work tells as it goes. Calls come from the thread that runs the
// work or from its workers, one at a time.
class PlanListener {
public:
    virtual ~PlanListener() = default;
    // On the way, for the technician to follow ("searching once more ..."); --quiet leaves it out.
    virtual void progress(const Phrase& said) { (void)said; }
    // What the technician must know ("rows 3, 9, 7 take each other's addresses ...").
    virtual void note(const Phrase& said) { (void)said; }
    // The search found no controller at all.
    virtual void noControllerAnswered() {}
    // A row's work begins: the check that its address is free, its network check, its setup.
    virtual void rowStarted(int row) { (void)row; }
    // A row has ended; `done` of `total` rows have.
    virtual void rowEnded(const RowOutcome& outcome, int done, int total) {
        (void)outcome, (void)done, (void)total;
    }
    // The controllers set up are read back.
    virtual void readingBack() {}
};

// A plan matched to the controllers found and checked. The setups are only
// good to send when there are no problems.
struct CheckedPlan {
    PlanCheck check;
    std::size_t rows = 0;
    std::vector<int> fitting;  // rows whose controller already said the planned settings fit
    std::vector<ControllerRecord> found;  // every controller the search found, planned or not
    MovePlan moves;                       // the order of the setups, cycles parked
    // Addresses two controllers answer on now, where one is in the plan or the plan names the address.
    std::vector<SharedAddress> shared;
};

// What an apply did, also when it was stopped or cut short by a service error.
struct AppliedPlan {
    std::vector<RowOutcome> outcomes;   // the rows that ended (in hand at a service error: no answer), in plan order
    std::vector<int> notReached;        // rows not started: nothing was sent to them
    std::vector<SharedAddress> shared;  // fixed addresses two controllers report after the run (one in the plan)
    bool readBackCutShort = false;      // a service error during the read-back
    std::vector<ControllerRecord> readBack;  // the controllers as the read-back heard them
};

// A plan file read whole, or nothing with `error` saying why it cannot be
// read (missing, unreadable, far too large for a plan).
std::optional<SitePlan> readPlanFile(const std::string& path, Phrase& error);

class PlanWork {
public:
    explicit PlanWork(const SiteSettings& settings);
    ~PlanWork();
    PlanWork(const PlanWork&) = delete;
    PlanWork& operator=(const PlanWork&) = delete;

    // Every check that needs no controller first (nothing is sent while one
    // fails), then the search, every row against its controller, and each
    // controller's network check, at the settings' pace.
    CheckedPlan check(const SitePlan& plan, PlanListener& listener);

    // Sets up every controller of a clean check that differs from the plan,
    // at the settings' pace, in the order of its moves (address_moves.h): one
    // that takes another's address only once that one has verifiably left
    // it, a cycle through its parking address; then reads them back and looks
    // for two controllers on one address. Once `stop` is requested no new move
    // starts (a cycle broken off leaves its parked controller parked). A
    // service error is thrown again after `result` holds what was done.
    void apply(const CheckedPlan& checked, PlanListener& listener, AppliedPlan& result, const StopFlag* stop = nullptr);

private:
    SiteSettings settings_;
    std::unique_ptr<net::NetService> service_;
    std::unique_ptr<PlanRunner> runner_;
    std::unique_ptr<ServicePool> workers_;
    std::unique_ptr<PaceGate> pace_;  // the check's network checks and the setups share what it learns
};

// True when every row ended applied or skipped, none was left out and no address is shared.
bool planFinished(const AppliedPlan& applied);

}  // namespace zelmar::site
