// Whole-site work at the adaptive pace against simulated controllers over UDP
// on loopback, without loss, at 10 % and 40 % loss and with delay: never more
// at once than the pace's bound, and the same outcomes as one at a time.
// Every wait is generous, so that even at 40 % loss no exchange gives up and
// the outcomes do not depend on luck.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>

#include "platform/netservice/upgrade/upgrade_file.h"
#include "site/csv.h"
#include "site/plan_work.h"
#include "site/upgrade_work.h"
#include "simulator/sim_fleet.h"
#include "tests/common/sim_site.h"
#include "tests/platform/netservice/upgrade_helpers.h"

using namespace zelmar;
using zelmar::testing::officeController;

namespace {
constexpr site::PaceLimits kSmallBound{2, 3};  // low, so that the bound is reached on a small site

struct Link {
    const char* name;
    double lossPercent;
    int delayMs;  // every answer this much late (0: none)
};
const Link kLinks[] = {{"no loss", 0, 0}, {"10 % loss", 10, 0}, {"40 % loss", 40, 0}, {"10 % loss, 40 ms late", 10, 40}};

void impose(sim::SimFleet& fleet, const Link& link) {
    fleet.setLossPercent(link.lossPercent);
    if (link.delayMs > 0)
        fleet.setDelayMs(link.delayMs, link.delayMs);
}

// Waits long enough that no request goes unanswered to its end even at 40 % loss.
site::SiteSettings patient(const sim::SimFleet& fleet, std::optional<int> jobs) {
    site::SiteSettings s{fleet.clientConfig(), {}, jobs, kSmallBound};
    s.config.lookupTimeoutMs = 20000;
    s.config.maxSearchRounds = 24;
    s.config.upgradeStallTimeoutMs = 20000;
    return s;
}

// Eight controllers: two already as planned, one taking the address another
// leaves, the rest renamed and readdressed.
constexpr int kPlanned = 8;
std::string sitePlan() {
    std::string plan = site::csv::line({"SerialNo", "Name", "IpAddress"});
    for (int n = 1; n <= kPlanned; ++n) {
        const std::string serial = officeController(n).serialNo;
        if (n <= 2)
            plan += site::csv::line({serial, "Unit " + std::to_string(n), "10.30.0." + std::to_string(n)});
        else if (n == 3)
            plan += site::csv::line({serial, "Renamed 3", "10.30.0.4"});  // 4 leaves it first
        else
            plan += site::csv::line({serial, "Renamed " + std::to_string(n), "10.30.1." + std::to_string(n)});
    }
    return plan;
}

// Counts the rows in hand at once.
class RowsAtOnce : public site::PlanListener {
public:
    void rowStarted(int) override {
        std::lock_guard hold(m_);
        most = std::max(most, ++now_);
    }
    void rowEnded(const site::RowOutcome&, int, int) override {
        std::lock_guard hold(m_);
        --now_;
    }
    int most = 0;

private:
    std::mutex m_;
    int now_ = 0;
};

struct PlanRun {
    std::map<int, std::string> outcomes;  // by row: outcome and column
    int mostAtOnce = 0;
    bool finished = false;
};

PlanRun applyPlan(const Link& link, std::optional<int> jobs) {
    std::vector<sim::SimControllerState> site;
    for (int n = 1; n <= kPlanned; ++n)
        site.push_back(officeController(n));
    auto fleet = zelmar::testing::startFleet(site);
    impose(fleet, link);
    site::PlanWork work(patient(fleet, jobs));
    RowsAtOnce listener;
    const site::CheckedPlan checked = work.check(site::readPlan(sitePlan()), listener);
    for (const site::PlanProblem& p : checked.check.problems)
        ADD_FAILURE() << "row " << p.row << ", " << p.column << ": " << p.text();
    site::AppliedPlan applied;
    work.apply(checked, listener, applied);
    PlanRun run{{}, listener.most, site::planFinished(applied)};
    std::map<std::string, bool> toldApplied;
    for (const site::RowOutcome& o : applied.outcomes) {
        run.outcomes[o.row] = site::outcomeName(o.outcome) + " " + o.column;
        toldApplied[o.serialNo] = o.outcome == site::Outcome::Applied;
    }
    for (const auto& c : fleet.controllers()) {
        SCOPED_TRACE(c.serialNo);
        EXPECT_EQ(c.name.rfind("Renamed ", 0) == 0, toldApplied[c.serialNo]) << "told applied exactly when it is";
    }
    return run;
}

// Counts the transfers with blocks on the way: from their start until every
// block is acknowledged (or they end).
class TransfersAtOnce : public site::UpgradeListener {
public:
    void transferring(std::size_t slot, int percent) override {
        std::lock_guard hold(m_);
        if (percent == 100)
            going_.erase(slot);
        else if (going_.insert(slot).second)
            most = std::max(most, int(going_.size()));
    }
    void restarting(std::size_t slot) override { over(slot); }
    void finished(std::size_t slot, const site::ControllerUpgrade&) override { over(slot); }
    int most = 0;

private:
    void over(std::size_t slot) {
        std::lock_guard hold(m_);
        going_.erase(slot);
    }
    std::mutex m_;
    std::set<std::size_t> going_;
};

struct UpgradeRunSeen {
    std::map<std::string, std::string> outcomes;  // by serial number: outcome and revision after
    int mostTransfersAtOnce = 0;
};

UpgradeRunSeen upgradeSite(const Link& link, std::optional<int> jobs, const site::UpgradeFiles& files) {
    std::vector<sim::SimControllerState> site;
    for (int n = 1; n <= 5; ++n) {
        site.push_back(zelmar::testing::upgradableController(n, n == 5 ? 9 : 3));  // 5: no file for its type
        site.back().portOsRevision = n == 4 ? "3.2.0" : "3.1.0";                   // 4: current already
    }
    auto fleet = zelmar::testing::startFleet(site);
    impose(fleet, link);
    site::UpgradeWork work(patient(fleet, jobs), files);
    TransfersAtOnce listener;
    std::vector<std::string> serials;
    for (const auto& c : site)
        serials.push_back(c.serialNo);
    site::UpgradeRun run;
    work.upgrade(work.find(serials, false, listener), false, listener, run);
    UpgradeRunSeen seen;
    for (const site::ControllerUpgrade& u : run.upgrades)
        seen.outcomes[u.serialNo] = site::resultName(u.result) + " " + u.revisionAfter;
    seen.mostTransfersAtOnce = listener.most;
    for (const auto& c : fleet.controllers())
        EXPECT_EQ(c.upgradeStarts, c.portOsType == 3 && c.serialNo != site[3].serialNo ? 1 : 0)
            << c.serialNo << ": one transfer each, none for a controller that needs none";
    return seen;
}
}  // namespace

TEST(SitePace, PlanApplyEndsAsOneAtATimeDoesAndNeverHasMoreRowsInHandThanTheBound) {
    for (const Link& link : kLinks) {
        SCOPED_TRACE(link.name);
        const PlanRun one = applyPlan(link, 1);
        const PlanRun paced = applyPlan(link, std::nullopt);
        EXPECT_TRUE(one.finished);
        EXPECT_EQ(paced.outcomes, one.outcomes);
        EXPECT_EQ(int(paced.outcomes.size()), kPlanned);
        EXPECT_EQ(one.mostAtOnce, 1);
        EXPECT_LE(paced.mostAtOnce, kSmallBound.most);
        if (link.delayMs > 0) {  // rows long enough to overlap whenever the pace lets them
            EXPECT_EQ(paced.mostAtOnce, kSmallBound.most) << "on a link that answers in time the pace grows";
        }
    }
}

TEST(SitePace, UpgradesEndAsOneAtATimeDoesAndNeverHaveMoreTransfersOnTheWayThanTheBound) {
    QTemporaryDir dir;
    const auto bytes = net::UpgradeFile::Build(3, "3.2.0", zelmar::testing::randomImage(6000, 3));
    auto file = std::make_shared<net::UpgradeFile>();
    ASSERT_TRUE(file->LoadBytes(bytes.data(), bytes.size()));
    site::UpgradeFiles files;
    files.byType[3] = {"3.TcpIpPortOS", file};
    for (const Link& link : kLinks) {
        SCOPED_TRACE(link.name);
        const UpgradeRunSeen one = upgradeSite(link, 1, files);
        const UpgradeRunSeen paced = upgradeSite(link, std::nullopt, files);
        EXPECT_EQ(paced.outcomes, one.outcomes);
        EXPECT_EQ(std::count_if(one.outcomes.begin(), one.outcomes.end(),
                                [](const auto& o) { return o.second == "upgraded 3.2.0"; }),
                  3);
        EXPECT_EQ(one.mostTransfersAtOnce, 1);
        EXPECT_LE(paced.mostTransfersAtOnce, kSmallBound.most);
    }
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
