// What the site window says is true at the moment it says it: an Apply that
// starts its work every time, an upgrade counter that counts, no status left
// over from work that has ended. Against simulated controllers over UDP on
// loopback, driven headless.
#include <QLabel>
#include <QStatusBar>

#include "site/csv.h"
#include "tests/platform/netservice/upgrade_helpers.h"
#include "tests/sitewindow/site_window_fixture.h"

using namespace zelmar;
using sitemodel::RowState;
using sitemodel::SiteTableModel;
using zelmar::testing::SiteWindowTest;

namespace {
sim::SimFleet officeFleet(int count) {
    std::vector<sim::SimControllerState> site;
    for (int n = 1; n <= count; ++n)
        site.push_back(zelmar::testing::officeController(n));
    return zelmar::testing::startFleet(site);
}

QString stateOf(sitewindow::SiteWindow& w, const std::string& serial) {
    const int r = w.model().rowOfSerial(serial);
    return r < 0 ? QString("(no row)") : SiteTableModel::stateText(w.model().rows()[std::size_t(r)].state);
}
}  // namespace

// Apply without Check first checks, and applies once the check's work has ended: every time.
TEST_F(SiteWindowTest, ApplyStraightAfterOpeningAPlanAppliesEveryRowEveryTime) {
    auto fleet = officeFleet(6);
    sitewindow::SiteWindow w(zelmar::testing::quickSearchConfig(fleet));
    ASSERT_TRUE(run(w, "actionSearch"));
    QTemporaryDir dir;
    for (int round = 1; round <= 20; ++round) {
        SCOPED_TRACE(round);
        std::string plan = site::csv::line({"SerialNo", "Name"});
        for (const auto& c : fleet.controllers())
            plan += site::csv::line({c.serialNo, "Round " + std::to_string(round) + " " + c.serialNo});
        ui::ModalSeam::pushInput(writeFile(dir, "plan.csv", plan));
        action(w, "actionOpenPlan")->trigger();
        ASSERT_TRUE(run(w, "actionApply"));
        for (const auto& c : fleet.controllers()) {
            EXPECT_EQ(c.name, "Round " + std::to_string(round) + " " + c.serialNo);
            EXPECT_EQ(stateOf(w, c.serialNo), QString("applied")) << c.serialNo;
        }
    }
}

// The status counts the controllers done as they end; the totals of the
// last run are gone while another runs; a search that finds nothing to send leaves no status behind.
TEST_F(SiteWindowTest, TheUpgradeCounterCountsAndNoStatusOutlivesItsWork) {
    std::vector<sim::SimControllerState> site;
    for (int n = 1; n <= 6; ++n)
        site.push_back(zelmar::testing::upgradableController(n));
    auto fleet = zelmar::testing::startFleet(site);
    sitewindow::SiteWindow w(zelmar::testing::quickSearchConfig(fleet));
    ASSERT_TRUE(run(w, "actionSearch"));
    QTemporaryDir dir;
    const auto bytes = net::UpgradeFile::Build(3, "3.2.0", zelmar::testing::randomImage(20000, 3));
    ui::ModalSeam::pushInput(writeFile(dir, "3.TcpIpPortOS", std::string(bytes.begin(), bytes.end())));
    action(w, "actionUpgradeFiles")->trigger();

    QStringList said;
    QObject::connect(w.statusBar(), &QStatusBar::messageChanged, &w, [&](const QString& m) { said << m; });
    auto* totals = w.findChild<QLabel*>("totalsLabel");
    QStringList totalsWhileRunning;
    QObject::connect(&w.session(), &sitemodel::SiteSession::upgradeEnded, &w,
                     [&] { totalsWhileRunning << totals->text(); });
    ui::ModalSeam::pushButton(ui::ButtonYes);
    ASSERT_TRUE(run(w, "actionUpgradeAll"));
    for (int done = 1; done <= 6; ++done)
        EXPECT_TRUE(said.contains(QString("Upgrading: %1 of 6 controllers done").arg(done))) << said.join(" | ").toStdString();
    const QString afterUpgrade = totals->text();
    EXPECT_TRUE(afterUpgrade.startsWith("6 upgraded")) << afterUpgrade.toStdString();

    // Once more: nothing to send. No totals of the run before while it searches, no "Searching" afterwards.
    ui::ModalSeam::pushButton(ui::ButtonOk);  // "none needs upgrading"
    said.clear();
    ASSERT_TRUE(run(w, "actionUpgradeAll"));
    EXPECT_TRUE(said.contains("Searching ...")) << said.join(" | ").toStdString();
    EXPECT_EQ(w.statusBar()->currentMessage(), QString());
    EXPECT_EQ(totals->text(), QString("6 controllers"));
    for (const QString& t : totalsWhileRunning)
        EXPECT_FALSE(t.contains("upgraded")) << "the totals of an earlier run while one runs: " << t.toStdString();
}

// The upgrade question names, per port OS type, the revisions that get the
// file, those at it already and those at a newer one; the newer ones get it
// only when the check box asks for a downgrade, and are told so.
TEST_F(SiteWindowTest, AnOlderFileIsADowngradeThatTheQuestionAsksForApart) {
    std::vector<sim::SimControllerState> site;
    for (const auto& [n, revision] : std::vector<std::pair<int, const char*>>{
             {1, "2.11"}, {2, "2.9"}, {3, "3.1.0"}, {4, "3.0.4"}, {5, "2.12"}}) {
        site.push_back(zelmar::testing::upgradableController(n));
        site.back().portOsRevision = revision;
    }
    auto fleet = zelmar::testing::startFleet(site);
    sitewindow::SiteWindow w(zelmar::testing::quickSearchConfig(fleet));
    ASSERT_TRUE(run(w, "actionSearch"));
    QTemporaryDir dir;
    const auto bytes = net::UpgradeFile::Build(3, "2.12", zelmar::testing::randomImage(20000, 3));
    ui::ModalSeam::pushInput(writeFile(dir, "3.TcpIpPortOS", std::string(bytes.begin(), bytes.end())));
    action(w, "actionUpgradeFiles")->trigger();
    EXPECT_TRUE(w.statusBar()->currentMessage().contains("type 3: 2.12 (")) << w.statusBar()->currentMessage().toStdString();

    ui::ModalSeam::pushChoice(ui::ButtonYes, false);
    ASSERT_TRUE(run(w, "actionUpgradeAll"));
    const ui::ModalRequest question = ui::ModalSeam::log().back();
    EXPECT_EQ(question.text, QString("2 controllers get a new port OS and restart.\n\n"
                                     "Port OS type 3: 2 from 2.11, 2.9 to 2.12; 1 already at 2.12; "
                                     "2 at a newer revision (3.0.4, 3.1.0) than the file's 2.12\n\n"
                                     "Do you want to upgrade them now?"));
    EXPECT_EQ(question.checkBox,
              QString("Also send the file to the 2 controllers that run a newer revision (a downgrade)"));
    EXPECT_EQ(stateOf(w, "30-00001"), QString("upgraded"));
    EXPECT_EQ(stateOf(w, "30-00003"), QString("newer revision"));
    EXPECT_EQ(fleet.controller("30-00003")->upgradeStarts, 0);

    ui::ModalSeam::pushChoice(ui::ButtonYes, true);
    ASSERT_TRUE(run(w, "actionUpgradeAll"));
    for (const char* serial : {"30-00003", "30-00004"}) {
        EXPECT_EQ(stateOf(w, serial), QString("downgraded")) << serial;
        EXPECT_EQ(fleet.controller(serial)->portOsRevision, "2.12") << serial;
    }
}

// Two groups of encrypted controllers with passwords of their own: each
// password given is kept, and every controller opens with the one that opens it.
TEST_F(SiteWindowTest, EveryPasswordGivenIsKeptAndEachControllerOpensWithItsOwn) {
    std::vector<sim::SimControllerState> site;
    for (int n = 1; n <= 6; ++n) {
        site.push_back(zelmar::testing::officeController(n));
        site.back().requireEncryption = n != 6;
        site.back().encryptionPassword = n <= 3 ? "North-wing-1" : n <= 5 ? "South-wing-2" : "";
    }
    auto fleet = zelmar::testing::startFleet(site);
    sitewindow::SiteWindow w(zelmar::testing::quickSearchConfig(fleet));
    ui::ModalSeam::pushInput("North-wing-1");  // asked at the first search
    ASSERT_TRUE(run(w, "actionSearch"));
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(stateOf(w, site[std::size_t(n - 1)].serialNo), n <= 3 ? QString() : QString("password needed")) << n;
    EXPECT_EQ(w.statusBar()->currentMessage(),
              QString("2 controllers still need a network password: give another through Site, Network password."));

    ui::ModalSeam::pushInput("South-wing-2");
    ASSERT_TRUE(run(w, "actionNetworkPassword"));
    for (const auto& c : site) {
        const auto& row = w.model().rows()[std::size_t(w.model().rowOfSerial(c.serialNo))];
        EXPECT_EQ(row.state, RowState::None) << c.serialNo;
        EXPECT_EQ(row.now.name, c.name) << c.serialNo << " reads in full";
    }
    EXPECT_EQ(w.statusBar()->currentMessage(), QString());
}
