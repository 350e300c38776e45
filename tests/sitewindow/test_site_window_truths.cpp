// What the site window says is true at the moment it says it: an Apply that
// starts its work every time, an upgrade counter that counts, no status left
// over from work that has ended. Against simulated controllers over UDP on
// loopback, driven headless.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStatusBar>
#include <QTableView>

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

// On site: Identify marks the selected controller and unmarks the one before;
// the serial numbers stay in view; Enter moves down; a filter's count; a plan
// saved as it was opened; file dialogs titled without mnemonic marks.
TEST_F(SiteWindowTest, FindingTheWayOnSite) {
    auto fleet = officeFleet(4);
    sitewindow::SiteWindow w(zelmar::testing::quickSearchConfig(fleet));
    w.resize(700, 400);
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    ASSERT_TRUE(run(w, "actionSearch"));
    auto* table = w.findChild<QTableView*>("siteTable");
    const auto select = [&](const char* serial) {
        table->setCurrentIndex(w.view().mapFromSource(w.model().index(w.model().rowOfSerial(serial), 0)));
    };
    select("10-00002");
    ASSERT_TRUE(run(w, "actionIdentify"));
    EXPECT_TRUE(fleet.controller("10-00002")->marked);
    select("10-00003");
    ASSERT_TRUE(run(w, "actionIdentify"));
    EXPECT_FALSE(fleet.controller("10-00002")->marked) << "the one marked before is unmarked";
    EXPECT_TRUE(fleet.controller("10-00003")->marked);
    EXPECT_EQ(w.statusBar()->currentMessage(), QString("10-00003 is marked: find it in the cabinet."));
    ASSERT_TRUE(run(w, "actionStopIdentifying"));
    EXPECT_FALSE(fleet.controller("10-00003")->marked);
    EXPECT_TRUE(table->actions().contains(action(w, "actionIdentify"))) << "on the table's context menu";

    // Scrolled right to the last column, the serial numbers are still shown at the left.
    table->scrollTo(w.view().index(0, w.view().columnCount() - 1));
    auto* frozen = w.findChild<QTableView*>("frozenSerialColumn");
    ASSERT_NE(frozen, nullptr);
    EXPECT_GT(table->horizontalScrollBar()->value(), 0);
    EXPECT_TRUE(frozen->isVisible());
    EXPECT_EQ(frozen->geometry().left(), table->frameWidth());
    EXPECT_EQ(frozen->indexAt(QPoint(5, 5)).data().toString(), QString("10-00001"));

    // Enter ends an edit and moves to the row below.
    const int nameColumn = SiteTableModel::plannedColumn(sitemodel::PlanField::Name);
    table->setFocus();
    table->setCurrentIndex(w.view().index(0, nameColumn));
    QTest::keyClick(table, 'P');  // typing starts the edit
    QTest::keyClicks(QApplication::focusWidget(), "ump");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::qWait(0);
    EXPECT_EQ(table->currentIndex().row(), 1);
    EXPECT_EQ(w.model().rows()[0].plannedOf(sitemodel::PlanField::Name), QString("Pump"));
    // A name too long is refused with its field and controller named, and what was typed stays in the cell's editor.
    ui::ModalSeam::pushButton(ui::ButtonOk);
    QTest::keyClick(table, 'L');
    QTest::keyClicks(QApplication::focusWidget(), QString(70, QLatin1Char('o')));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    const QString typed = QString("L") + QString(70, QLatin1Char('o'));
    const auto reopened = [&] {
        const auto editors = table->viewport()->findChildren<QLineEdit*>();
        return !editors.isEmpty() && editors.last()->isVisible() && editors.last()->text() == typed;
    };
    ASSERT_TRUE(QTest::qWaitFor([] { return !lastMessage().isEmpty(); }, 10000));  // the editor commits from the event loop
    EXPECT_EQ(lastMessage(), QString("Planned name of 10-00002: is longer than 64 bytes"));
    EXPECT_TRUE(QTest::qWaitFor(reopened, 10000)) << "the editor is open again with what was typed";
    const auto editors = table->viewport()->findChildren<QLineEdit*>();
    ASSERT_FALSE(editors.isEmpty());
    QTest::keyClick(editors.last(), Qt::Key_Escape);

    // A filter shows how many of all.
    w.findChild<QLineEdit*>("filterBox")->setText("10-0000");
    EXPECT_EQ(w.findChild<QLabel*>("totalsLabel")->text(), QString("4 controllers"));
    w.findChild<QLineEdit*>("filterBox")->setText("10-00003");
    EXPECT_EQ(w.findChild<QLabel*>("totalsLabel")->text(), QString("1 of 4 controllers"));
    w.findChild<QLineEdit*>("filterBox")->clear();

    // A plan with ";" and a byte-order mark is saved so again; a name without suffix gets .csv.
    QTemporaryDir dir;
    ui::ModalSeam::pushInput(writeFile(dir, "plan.csv", "\xEF\xBB\xBFSerialNo;Name\r\n10-00004;Fläkt\r\n"));
    action(w, "actionOpenPlan")->trigger();
    EXPECT_EQ(ui::ModalSeam::log().back().title, QString("Open plan"));
    ui::ModalSeam::pushInput(QDir(dir.path()).filePath("saved"));
    action(w, "actionSavePlanAs")->trigger();
    EXPECT_EQ(ui::ModalSeam::log().back().title, QString("Save plan as"));
    QFile saved(QDir(dir.path()).filePath("saved.csv"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBFSerialNo;")) << bytes.left(40).toStdString();
    EXPECT_TRUE(w.statusBar()->currentMessage().startsWith("The plan was saved as ")) << w.statusBar()->currentMessage().toStdString();
}
