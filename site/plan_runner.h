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

class ServicePool;
struct SiteSettings;

class PlanRunner {
public:
    // `passwords`: the network passwords, the first the key of controllers switched to encryption.
    PlanRunner(net::NetService& service, std::vector<std::string> passwords);

    // A full search, a second one when the first did not hear every planned
    // controller, and a lookup each for those neither heard (`progress` is
    // told). Every controller found, planned or not.
    std::vector<ControllerRecord> findControllers(const SitePlan& plan, const SiteSettings& settings,
                                                  const std::function<void(const Phrase&)>& progress);

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

    // Whether the controller of `holder`, whose move has ended as `outcome`,
    // has left the address it held, so that another controller may take it:
    // its setup to another fixed address applied (confirmed and reported as
    // planned), or, when it went to DHCP or may have taken its setup without
    // saying so, a fresh lookup finds it on another address. A move not ended
    // (nothing), or one that keeps its address, has not left.
    bool hasLeft(const PlannedSetup& holder, const std::optional<RowOutcome>& outcome);
    // The outcome of `setup` when `holder` has not verifiably left its new address.
    static RowOutcome waitingFor(const PlannedSetup& setup, const PlannedSetup& holder);

    // What the read-back after an apply looks at: every controller of the
    // plan, and every controller the check found on an address the plan named.
    struct ReadBackScope {
        std::vector<PlannedSetup> setups;        // every row's, as checked
        std::vector<ControllerRecord> found;     // every controller the check found
        std::vector<std::string> addresses;      // planned, parking, and held by the plan's controllers
    };
    // After the setups, when any went out: one search, and a lookup each (on
    // `lookups`) for the controllers of the scope it did not hear. Each applied
    // row is compared with the plan, so that one that does not read back as
    // planned becomes unverified; and every address two controllers answer on
    // (fixed or by DHCP) where one is in the plan or the plan named the address.
    // `ended`/`outcomes`: the rows that ended, side by side. `site`, when
    // given, gets every controller as the read-back heard it.
    std::vector<SharedAddress> verify(const std::vector<PlannedSetup>& ended, std::vector<RowOutcome>& outcomes,
                                      const ReadBackScope& scope, ServicePool& lookups,
                                      std::vector<ControllerRecord>* site = nullptr);

private:
    void hold(net::ControllerEntry& entry, const net::wire::SetupFields& fields, bool ipOnly) const;
    // The outcome of the setup just sent: the service's verdict, and for a
    // confirmed one the settings the controller reports, compared with the plan.
    RowOutcome judged(const PlannedSetup& setup, net::ControllerEntry& entry);
    // The outcome after the controller reported itself as `now`.
    static RowOutcome compared(const PlannedSetup& setup, const ControllerRecord& now, RowOutcome outcome);

    net::NetService& service_;
    std::vector<std::string> passwords_;
};

}  // namespace zelmar::site
