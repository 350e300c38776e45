// The plan work of the site library against simulated controllers over UDP
// on loopback: a stop in the middle of an apply, and the look for two
// controllers on one address after it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <map>

#include "platform/netservice/net_service.h"
#include "site/csv.h"
#include "site/plan_runner.h"
#include "site/plan_work.h"
#include "site/worker_pool.h"
#include "simulator/sim_fleet.h"
#include "tests/common/sim_site.h"

using namespace zelmar;

namespace {
using zelmar::testing::officeController;

// Stops the work once `after` rows have ended.
class StopAfter : public site::PlanListener {
public:
    StopAfter(site::StopFlag& stop, int after) : stop_(stop), after_(after) {}
    void rowStarted(int) override { ++started; }
    void rowEnded(const site::RowOutcome&, int done, int) override {
        if (done == after_)
            stop_.request();
    }
    int started = 0;

private:
    site::StopFlag& stop_;
    int after_;
};
}  // namespace

// Stop starts no new row; the rows in hand finish and are told as they are; a
// second apply does the rest and nothing twice.
TEST(PlanWork, AStoppedApplyTellsTheTruthAndTheNextFinishesIt) {
    std::vector<sim::SimControllerState> site;
    std::string plan = site::csv::line({"SerialNo", "Name", "IpAddress"});
    for (int n = 1; n <= 200; ++n) {
        site.push_back(officeController(n));
        plan += site::csv::line({site.back().serialNo, "Renamed " + std::to_string(n), "10.30.1." + std::to_string(n)});
    }
    auto fleet = zelmar::testing::startFleet(site);
    fleet.setDelayMs(2, 4);  // the rows take a while: the stop comes well before the end
    site::SiteSettings settings{fleet.clientConfig(), {}, 8};

    site::StopFlag stop;
    StopAfter listener(stop, 40);
    site::AppliedPlan applied;
    {
        site::PlanWork work(settings);
        const site::CheckedPlan checked = work.check(site::readPlan(plan), listener);
        ASSERT_TRUE(checked.check.problems.empty());
        work.apply(checked, listener, applied, &stop);
    }
    ASSERT_FALSE(applied.notReached.empty()) << "the stop came too late";
    EXPECT_EQ(int(applied.outcomes.size()) + int(applied.notReached.size()), 200);
    EXPECT_EQ(int(applied.outcomes.size()), listener.started) << "every row started is told";
    EXPECT_LE(applied.outcomes.size(), 40u + 8u) << "at most the rows in hand finish after the stop";
    EXPECT_FALSE(site::planFinished(applied));
    std::map<std::string, bool> toldApplied;
    for (const site::RowOutcome& o : applied.outcomes)
        toldApplied[o.serialNo] = o.outcome == site::Outcome::Applied;
    for (const auto& c : fleet.controllers()) {
        SCOPED_TRACE(c.serialNo);
        const bool renamed = c.name.rfind("Renamed ", 0) == 0;
        EXPECT_EQ(renamed, toldApplied[c.serialNo]) << "told applied exactly when it is";
        EXPECT_EQ(renamed, c.ipAddress.rfind("10.30.1.", 0) == 0) << "half-written";
    }

    site::AppliedPlan again;
    {
        site::PlanWork work(settings);
        site::PlanListener quiet;
        const site::CheckedPlan checked = work.check(site::readPlan(plan), quiet);
        ASSERT_TRUE(checked.check.problems.empty());
        work.apply(checked, quiet, again);
    }
    EXPECT_TRUE(site::planFinished(again));
    for (const auto& c : fleet.controllers()) {
        EXPECT_EQ(c.setupsApplied, 1) << c.serialNo;
        EXPECT_EQ(c.ipAddress.rfind("10.30.1.", 0), 0u) << c.serialNo;
    }
}

// After a run the read-back tells every address two controllers answer on
// (fixed or by DHCP) where one of them is in the plan or the plan named the
// address; two elsewhere are none of its business.
TEST(PlanWork, TheReadBackFindsTwoControllersOnOneAddressWhereThePlanTouchedIt) {
    std::vector<sim::SimControllerState> site;
    for (int n = 1; n <= 8; ++n)
        site.push_back(officeController(n));
    auto share = [&](int a, int b) { site[std::size_t(b)].ipAddress = site[std::size_t(b)].configIpAddress = site[std::size_t(a)].ipAddress; };
    share(0, 1);  // 2 reports the address of 1, which is in the plan
    share(2, 3);  // 4 that of 3: neither in the plan, nor their address named
    share(4, 5);  // 6 that of 5: neither in the plan, but the plan named the address
    share(6, 7);  // 8 holds the address of 7 by DHCP; 7 is in the plan
    site[7].useDhcp = true;
    auto fleet = zelmar::testing::startFleet(site);
    net::NetService service(fleet.clientConfig());
    site::ServicePool lookups(4, fleet.clientConfig(), {});
    site::PlanRunner runner(service, {});
    std::vector<site::PlannedSetup> ended;
    std::vector<site::RowOutcome> outcomes;
    for (int n : {0, 6}) {
        site::PlannedSetup renamed;
        renamed.row = n + 2;
        renamed.found.serialNo = site[std::size_t(n)].serialNo;
        renamed.found.ethernetAddress = site[std::size_t(n)].ethernetAddress;
        renamed.fields.name = site[std::size_t(n)].name;  // as it is: it reads back as planned
        ended.push_back(renamed);
        outcomes.push_back({renamed.row, renamed.found.serialNo, site::Outcome::Applied, "", {}});
        outcomes.back().setupSent = true;
    }
    const site::PlanRunner::ReadBackScope scope{ended, {}, {"10.30.0.5"}};

    const std::vector<site::SharedAddress> shared = runner.verify(ended, outcomes, scope, lookups);
    ASSERT_EQ(shared.size(), 3u);
    EXPECT_EQ(shared[0].address, "10.30.0.1");
    EXPECT_EQ(shared[0].serialNos, (std::vector<std::string>{site[0].serialNo, site[1].serialNo}));
    EXPECT_EQ(shared[1].address, "10.30.0.5");
    EXPECT_EQ(shared[2].address, "10.30.0.7");
    EXPECT_EQ(shared[2].byDhcp, (std::vector<std::string>{site[7].serialNo}));
    EXPECT_EQ(site::sharedAddressText(shared[2]),
              "controllers 10-00007, 10-00008 all answer on the IP address 10.30.0.7 (10-00008 by DHCP)");
    EXPECT_EQ(outcomes[0].outcome, site::Outcome::Applied);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
