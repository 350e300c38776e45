// A whole-site upgrade's verification after the controller's restart, against
// a simulated controller over UDP on loopback: a lost answer or two after the
// restart does not make a switched controller "unknown".
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "simulator/sim_fleet.h"
#include "site/upgrade_work.h"
#include "tests/common/sim_site.h"
#include "tests/platform/netservice/upgrade_helpers.h"

using namespace zelmar;

TEST(UpgradeVerify, LookupsGoOnThroughLostAnswersUntilTheRestartTimeIsOut) {
    const auto controller = zelmar::testing::upgradableController();
    auto fleet = zelmar::testing::startFleet({controller});
    site::SiteSettings settings;
    settings.config = fleet.clientConfig();
    settings.config.lookupTimeoutMs = 300;  // one lookup gives up soon ...
    settings.config.upgradeRestartWaitMs = 20000;  // ... but the restart may take this long
    settings.jobs = 1;
    site::UpgradeFiles files;
    files.byType[3] = {"3.TcpIpPortOS", std::make_shared<net::UpgradeFile>(zelmar::testing::upgradeFile(3, "3.4", 20000))};
    site::UpgradeWork work(settings, files);
    site::UpgradeListener quiet;
    const site::UpgradeTargets targets = work.find({controller.serialNo}, false, quiet);
    ASSERT_EQ(targets.toUpgrade.size(), 1u);
    // The answers to the first lookups after the restart are lost: a few lookups' worth.
    fleet.setLoseNextReplies(controller.serialNo, net::wire::MsgType::SearchReply, 15);
    site::UpgradeRun run;
    work.upgrade(targets, false, quiet, run);
    ASSERT_EQ(run.upgrades.size(), 1u);
    EXPECT_EQ(run.upgrades[0].result, site::UpgradeResult::Upgraded) << run.upgrades[0].detail;
    EXPECT_EQ(run.upgrades[0].revisionAfter, "3.4");
    EXPECT_EQ(fleet.controller(controller.serialNo)->portOsRevision, "3.4");
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
