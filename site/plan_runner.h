#pragma once
// The network side of a plan: finding the controllers, asking their network
// check, and setting them up, each verified by reading it back. The work on one
// row may run in a worker's own service object (worker_pool.h): it finds the
// controller where the search heard it.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "site/plan_check.h"
#include "site/plan_outcome.h"

namespace zelmar::net {
class ControllerEntry;
class NetService;
}  // namespace zelmar::net

namespace zelmar::site {

class PlanRunner {
public:
    PlanRunner(net::NetService& service, std::string password);

    // A full search, and a second one when the first did not hear every
    // planned controller (`progress` is told). Every controller found, planned or not.
    std::vector<ControllerRecord> findControllers(const SitePlan& plan,
                                                  const std::function<void(const std::string&)>& progress);

    struct FitCheck {
        std::vector<PlanProblem> misfits;  // the controller said the planned settings do not fit its network
        std::vector<int> unanswered;       // rows whose controller did not answer the check
        std::vector<int> fitting;          // rows whose controller said the planned settings fit
    };
    // Asks the controller of one row, if its IP settings change, whether the
    // planned ones fit the network it is attached to; adds the answer to `into`.
    // Changes nothing on the controller.
    void checkNetworkFit(const PlannedSetup& setup, FitCheck& into);

    // Sets one controller up as planned: skipped when nothing differs; else its
    // network check (unless it already said the settings fit) and the setup.
    // Applied means the controller confirmed it and reported the planned
    // settings in its answer.
    RowOutcome apply(const PlannedSetup& setup, bool fitChecked);

    // Whether the controller of `holder`, whose row has ended as `outcome`,
    // has left the address it held, so that another controller may take it:
    // its setup applied (confirmed and reported as planned), or, when it may
    // have taken its setup without saying so, a fresh lookup finds it on
    // another address. A row not ended (nothing) has not left.
    bool hasLeft(const PlannedSetup& holder, const std::optional<RowOutcome>& outcome);
    // The outcome of `setup` when `holder` has not verifiably left its new address.
    static RowOutcome waitingFor(const PlannedSetup& setup, const PlannedSetup& holder);

    // After the setups, when any went out: one search reads every applied
    // controller back (and a lookup each one it did not hear) and compares it
    // with the plan, so that a row that does not read back as planned becomes
    // unverified; and the same search tells the fixed addresses that two
    // controllers report, where one of them is in the plan.
    // `site`, when given, gets every controller as that search and lookups heard it.
    std::vector<SharedAddress> verify(const std::vector<PlannedSetup>& setups, std::vector<RowOutcome>& outcomes,
                                      std::vector<ControllerRecord>* site = nullptr);

private:
    void hold(net::ControllerEntry& entry, const net::wire::SetupFields& fields, bool ipOnly) const;
    // The outcome of the setup just sent: the service's verdict, and for a
    // confirmed one the settings the controller reports, compared with the plan.
    RowOutcome judged(const PlannedSetup& setup, net::ControllerEntry& entry);
    // The outcome after the controller reported itself as `now`.
    static RowOutcome compared(const PlannedSetup& setup, const ControllerRecord& now, RowOutcome outcome);

    net::NetService& service_;
    std::string password_;
};

}  // namespace zelmar::site
