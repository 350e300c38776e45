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
    site::SiteSettings settings{fleet.clientConfig(), "", 8};

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

// Two controllers on one fixed address after a run are found when one of them is in
// the plan; two outside the plan are none of its business.
TEST(PlanWork, TheReadBackFindsTwoControllersOnOneAddressWhereOneIsInThePlan) {
    std::vector<sim::SimControllerState> site;
    for (int n = 1; n <= 4; ++n)
        site.push_back(officeController(n));
    site[1].ipAddress = site[1].configIpAddress = site[0].ipAddress;  // 2 reports the address of 1
    site[3].ipAddress = site[3].configIpAddress = site[2].ipAddress;  // and 4 that of 3
    auto fleet = zelmar::testing::startFleet(site);
    net::NetService service(fleet.clientConfig());
    site::PlanRunner runner(service, "");
    site::PlannedSetup renamed;
    renamed.row = 2;
    renamed.found.serialNo = site[0].serialNo;
    renamed.fields.name = "Unit 1";  // as it is: it reads back as planned
    std::vector<site::RowOutcome> outcomes = {{2, site[0].serialNo, site::Outcome::Applied, "", ""}};
    outcomes[0].setupSent = true;

    const std::vector<site::SharedAddress> shared = runner.verify({renamed}, outcomes);
    ASSERT_EQ(shared.size(), 1u);
    EXPECT_EQ(shared[0].address, "10.30.0.1");
    EXPECT_EQ(shared[0].serialNos, (std::vector<std::string>{site[0].serialNo, site[1].serialNo}));
    EXPECT_EQ(outcomes[0].outcome, site::Outcome::Applied);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
