// The site window against simulated controllers over UDP on loopback, driven
// headless: a search with a locked controller, plans opened and checked, a
// clean plan applied under loss, a stop in the middle, a mixed upgrade and
// the report.
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <map>

#include "site/csv.h"
#include "site/site_plan.h"
#include "sitemodel/site_report.h"
#include "tests/platform/netservice/upgrade_helpers.h"
#include "tests/sitewindow/site_window_fixture.h"

using namespace zelmar;
using sitemodel::PlanField;
using sitemodel::RowState;
using sitemodel::SiteTableModel;
using zelmar::testing::SiteWindowTest;

namespace {
constexpr const char* kSitePassword = "Plant-7-secret";

using zelmar::testing::officeController;

sim::SimFleet officeFleet(int count) {
    std::vector<sim::SimControllerState> site;
    for (int n = 1; n <= count; ++n)
        site.push_back(officeController(n));
    return zelmar::testing::startFleet(site);
}

// A plan that renames every controller and gives it a new address.
std::string renamingPlan(int count) {
    std::string plan = site::csv::line({"SerialNo", "Name", "IpAddress"});
    for (int n = 1; n <= count; ++n) {
        char serial[16];
        std::snprintf(serial, sizeof serial, "10-%05d", n);
        plan += site::csv::line({serial, "Renamed " + std::to_string(n), "10.30.1." + std::to_string(n)});
    }
    return plan;
}

QString stateOf(sitewindow::SiteWindow& w, const std::string& serial) {
    const int r = w.model().rowOfSerial(serial);
    return r < 0 ? QString("(no row)") : SiteTableModel::stateText(w.model().rows()[std::size_t(r)].state);
}
}  // namespace

TEST_F(SiteWindowTest, ASearchFillsTheTableAndTheNetworkPasswordIsAskedOnce) {
    auto fleet = sim::SimFleet::fromJson(R"({"controllers": [
        {"serialNo": "40-00001", "ethernetAddress": "00-1A-4C-66-00-01", "address": "127.81.0.1", "capabilities": 8,
         "requireEncryption": true, "encryptionPassword": "Plant-7-secret", "name": "Kylmaskin",
         "ipAddress": "10.20.1.1", "subnetMask": "255.255.0.0"},
        {"serialNo": "40-00002", "ethernetAddress": "00-1A-4C-66-00-02", "address": "127.81.0.2", "capabilities": 8,
         "name": "Fläkt 2", "ipAddress": "10.20.1.2", "subnetMask": "255.255.0.0"}]})");
    fleet.start(0);
    sitewindow::SiteWindow w(zelmar::testing::quickSearchConfig(fleet));
    w.show();
    ui::ModalSeam::pushInput("wrong-password");  // asked once; a wrong one is not asked again
    ASSERT_TRUE(run(w, "actionSearch"));
    ASSERT_EQ(w.model().rowCount(), 2);
    EXPECT_EQ(stateOf(w, "40-00001"), QString("password needed"));
    ASSERT_EQ(ui::ModalSeam::log().size(), 1);
    EXPECT_TRUE(ui::ModalSeam::log()[0].hideInput);

    // The password from the menu opens it.
    ui::ModalSeam::pushInput(QString::fromLatin1(kSitePassword));
    ASSERT_TRUE(run(w, "actionNetworkPassword"));
    EXPECT_EQ(stateOf(w, "40-00001"), QString());
    EXPECT_EQ(w.model().rows()[std::size_t(w.model().rowOfSerial("40-00001"))].now.name, "Kylmaskin");
}

TEST_F(SiteWindowTest, APlanThatCannotBeReadChangesNothingAndOneWithErrorsShowsThemAtTheirCells) {
    auto fleet = officeFleet(6);
    sitewindow::SiteWindow w(zelmar::testing::quickSearchConfig(fleet));
    ASSERT_TRUE(run(w, "actionSearch"));
    QTemporaryDir dir;

    // A bare quote: refused with its row and column, the table as it was.
    ui::ModalSeam::pushInput(writeFile(dir, "bad.csv", "SerialNo,Name\n10-00001,ok\n10-00002,D\"2\n"));
    ui::ModalSeam::pushButton(ui::ButtonOk);
    action(w, "actionOpenPlan")->trigger();
    EXPECT_TRUE(lastMessage().contains("row 3, Name: a quote inside a field")) << lastMessage().toStdString();
    for (const auto& row : w.model().rows())
        EXPECT_FALSE(row.hasPlan());

    // Readable, but wrong: each problem at its cell and in the problems pane, named by controller.
    ui::ModalSeam::pushInput(writeFile(dir, "plan.csv",
                                       "SerialNo,IpAddress\n"
                                       "10-00001,10.30.0.40\n"
                                       "10-00002,10.30.0.40\n"    // the same address again
                                       "10-00003,10.31.1.4\n"));  // outside its network
    action(w, "actionOpenPlan")->trigger();
    ASSERT_TRUE(run(w, "actionCheck"));
    const int ipColumn = SiteTableModel::plannedColumn(PlanField::IpAddress);
    const auto tip = [&](const std::string& serial, int column = SiteTableModel::plannedColumn(PlanField::IpAddress)) {
        return w.model().data(w.model().index(w.model().rowOfSerial(serial), column), Qt::ToolTipRole).toString();
    };
    EXPECT_EQ(tip("10-00001"), QString("10.30.0.40 is planned for 10-00001, 10-00002"));
    EXPECT_EQ(tip("10-00002"), QString("10.30.0.40 is planned for 10-00001, 10-00002"));
    auto* problems = w.findChild<QListWidget*>("problemsList");
    EXPECT_EQ(problems->count(), 2) << "a plan wrong in itself is not sent to the site";
    EXPECT_FALSE(action(w, "actionApply")->isEnabled()) << "nothing is applied while the check found problems";

    // A problem clicked selects its row.
    auto* table = w.findChild<QTableView*>("siteTable");
    problems->setCurrentRow(1);
    const QModelIndex current = w.view().mapToSource(table->currentIndex());
    EXPECT_EQ(w.model().rows()[std::size_t(current.row())].now.serialNo,
              problems->item(1)->text().left(8).toStdString());

    // The duplicate mended in its cell, the site's own answer shows where it belongs.
    const QModelIndex second = w.model().index(w.model().rowOfSerial("10-00002"), ipColumn);
    ASSERT_TRUE(w.model().setData(second, "10.30.0.42"));
    EXPECT_TRUE(action(w, "actionApply")->isEnabled()) << "edited: Apply checks again";
    ASSERT_TRUE(run(w, "actionCheck"));
    EXPECT_EQ(tip("10-00001"), QString());
    // Its new address leaves the gateway it keeps outside its network: said at the gateway it must plan.
    EXPECT_EQ(tip("10-00003", SiteTableModel::plannedColumn(PlanField::Gateway)),
              QString("the gateway is not another host inside the controller's network"));
    EXPECT_EQ(problems->count(), 1);
    EXPECT_FALSE(action(w, "actionApply")->isEnabled());
    for (const auto& c : fleet.controllers())
        EXPECT_EQ(c.setupsReceived, 0) << c.serialNo;
}

TEST_F(SiteWindowTest, ACleanPlanAppliedAtTenPercentLossLeavesTheTableAsTheControllersAre) {
    auto fleet = officeFleet(30);
    net::ServiceConfig config = fleet.clientConfig();
    config.lookupTimeoutMs = 8000;  // at 10 % loss a lookup may need many rounds
    sitewindow::SiteWindow w(config);
    ASSERT_TRUE(run(w, "actionSearch"));
    QTemporaryDir dir;
    ui::ModalSeam::pushInput(writeFile(dir, "plan.csv", renamingPlan(30)));
    action(w, "actionOpenPlan")->trigger();
    fleet.setLossPercent(10);
    ASSERT_TRUE(run(w, "actionApply")) << "Apply checks first, then applies";  // check, apply, read the site again
    for (const auto& c : fleet.controllers()) {
        SCOPED_TRACE(c.serialNo);
        EXPECT_EQ(stateOf(w, c.serialNo), QString("applied"));
        const auto& row = w.model().rows()[std::size_t(w.model().rowOfSerial(c.serialNo))];
        EXPECT_EQ(row.now.name, c.name);  // the table shows the site as it is now
        EXPECT_EQ(row.now.ipAddress, c.ipAddress);
        EXPECT_EQ(c.setupsApplied, 1);
        EXPECT_EQ(c.ipAddress.rfind("10.30.1.", 0), 0u);
    }
}

TEST_F(SiteWindowTest, StopDuringAnApplyOf200LeavesNoRowToldWrongAndApplyingAgainFinishes) {
    auto fleet = officeFleet(200);
    fleet.setDelayMs(10, 20);  // rows take long enough that Stop, queued behind their reports, meets most unstarted
    sitewindow::SiteWindow w(zelmar::testing::quickSearchConfig(fleet));
    ASSERT_TRUE(run(w, "actionSearch"));
    QTemporaryDir dir;
    ui::ModalSeam::pushInput(writeFile(dir, "plan.csv", renamingPlan(200)));
    action(w, "actionOpenPlan")->trigger();
    ASSERT_TRUE(run(w, "actionCheck"));
    int ended = 0;
    QObject::connect(&w.session(), &sitemodel::SiteSession::rowEnded, &w, [&] {
        if (++ended == 10)
            action(w, "actionStop")->trigger();
    });
    ASSERT_TRUE(run(w, "actionApply"));
    int applied = 0, notStarted = 0;
    for (const auto& c : fleet.controllers()) {
        const QString state = stateOf(w, c.serialNo);
        const bool renamed = c.name.rfind("Renamed ", 0) == 0;
        EXPECT_EQ(state == "applied", renamed) << c.serialNo << " is told " << state.toStdString();
        EXPECT_EQ(renamed, c.ipAddress.rfind("10.30.1.", 0) == 0) << c.serialNo << " half-written";
        applied += state == "applied";
        notStarted += state == "not started";
    }
    EXPECT_GE(applied, 10);
    EXPECT_GT(notStarted, 0) << "the stop came too late";
    EXPECT_EQ(applied + notStarted, 200);

    ASSERT_TRUE(run(w, "actionApply"));  // checks again and finishes the rest
    for (const auto& c : fleet.controllers()) {
        EXPECT_EQ(c.setupsApplied, 1) << c.serialNo;
        EXPECT_TRUE(stateOf(w, c.serialNo) == "applied" || stateOf(w, c.serialNo) == "skipped") << c.serialNo;
    }
}

TEST_F(SiteWindowTest, AMixedUpgradeEndsWithEachRowsOwnOutcomeAndTheReportTellsIt) {
    std::vector<sim::SimControllerState> site;
    for (const auto& [n, type, revision] : std::vector<std::tuple<int, int, const char*>>{
             {1, 3, "2.11"}, {2, 5, "2.11"}, {3, 7, "2.11"},  // three types with files
             {4, 9, "2.11"},                                   // one without
             {5, 3, "3.2.0"}, {6, 3, "3.2.0"},                 // two current
             {7, 5, "2.11"}}) {                                // one that requires encryption
        site.push_back(zelmar::testing::upgradableController(n, std::int16_t(type)));
        site.back().portOsRevision = revision;
    }
    site[6].requireEncryption = true;
    site[6].capabilities = 8;
    site[6].encryptionPassword = kSitePassword;
    auto fleet = zelmar::testing::startFleet(site);
    sitewindow::SiteWindow w(zelmar::testing::quickSearchConfig(fleet));
    ui::ModalSeam::pushInput(QString::fromLatin1(kSitePassword));
    ASSERT_TRUE(run(w, "actionSearch"));

    QTemporaryDir dir;
    for (int type : {3, 5, 7}) {
        const auto bytes = net::UpgradeFile::Build(std::int16_t(type), "3.2.0", zelmar::testing::randomImage(20000, unsigned(type)));
        ui::ModalSeam::pushInput(writeFile(dir, (std::to_string(type) + ".TcpIpPortOS").c_str(),
                                           std::string(bytes.begin(), bytes.end())));
        action(w, "actionUpgradeFiles")->trigger();
    }
    ui::ModalSeam::pushButton(ui::ButtonYes);
    ASSERT_TRUE(run(w, "actionUpgradeAll"));
    const auto& question = ui::ModalSeam::log().back();
    EXPECT_EQ(question.kind, ui::ModalKind::Question);
    EXPECT_TRUE(question.text.startsWith("4 controllers")) << question.text.toStdString();

    const std::map<std::string, QString> expected = {
        {site[0].serialNo, "upgraded"}, {site[1].serialNo, "upgraded"}, {site[2].serialNo, "upgraded"},
        {site[3].serialNo, "no file"},  {site[4].serialNo, "current"},  {site[5].serialNo, "current"},
        {site[6].serialNo, "upgraded"}};
    for (const auto& [serial, state] : expected)
        EXPECT_EQ(stateOf(w, serial), state) << serial;
    for (const auto& c : fleet.controllers())
        EXPECT_EQ(c.upgradeStarts, c.portOsType == 9 || c.serialNo == site[4].serialNo || c.serialNo == site[5].serialNo ? 0 : 1)
            << c.serialNo;

    // The report: the CSV reads back as the table, the PDF is there.
    const QString report = QDir(dir.path()).filePath("site-report.csv");
    ui::ModalSeam::pushInput(report);
    ui::ModalSeam::pushButton(ui::ButtonOk);  // the message naming both files
    action(w, "actionSaveReport")->trigger();
    QFile csv(report);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QByteArray bytes = csv.readAll();
    const site::csv::Table table = site::csv::read(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    ASSERT_TRUE(table.error.empty());
    ASSERT_EQ(table.records.size(), 1 + std::size_t(w.model().rowCount()));
    for (int r = 0; r < w.model().rowCount(); ++r) {
        QStringList cells;
        for (const std::string& f : table.records[std::size_t(r) + 1].fields)
            cells << QString::fromStdString(f);
        EXPECT_EQ(cells, sitemodel::reportCells(w.model().rows()[std::size_t(r)]));
    }
    const int revisionBefore = int(sitemodel::reportHeader().indexOf("PortOsRevision before"));
    EXPECT_EQ(table.records[1].fields[std::size_t(revisionBefore)], "2.11");
    EXPECT_EQ(table.records[1].fields[std::size_t(revisionBefore) + 1], "3.2.0");
    EXPECT_TRUE(QFile::exists(QDir(dir.path()).filePath("site-report.pdf")));
}

// Keyboard use: Enter takes an edit, Delete clears a planned cell, Ctrl+S saves
// the plan; the table, the filter and the problems have names a screen reader
// announces, and Tab goes filter, table, problems.
TEST_F(SiteWindowTest, TheKeyboardEditsClearsAndSavesAndEveryPartHasAName) {
    auto fleet = officeFleet(4);
    sitewindow::SiteWindow w(zelmar::testing::quickSearchConfig(fleet));
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    ASSERT_TRUE(run(w, "actionSearch"));
    auto* table = w.findChild<QTableView*>("siteTable");
    const int nameColumn = SiteTableModel::plannedColumn(PlanField::Name);
    const int row = w.model().rowOfSerial("10-00002");
    table->setFocus();
    table->setCurrentIndex(w.view().mapFromSource(w.model().index(row, nameColumn)));
    QTest::keyClick(table, 'P');  // typing starts the edit
    QTest::keyClicks(QApplication::focusWidget(), "ump room");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::qWait(0);  // the editor hands its text over from the event loop
    EXPECT_EQ(w.model().rows()[std::size_t(row)].plannedOf(PlanField::Name), QString("Pump room"));

    QTemporaryDir dir;
    const QString plan = QDir(dir.path()).filePath("plan.csv");
    ui::ModalSeam::pushInput(plan);  // the first save asks where
    QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
    QFile saved(plan);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const site::SitePlan read = site::readPlan(saved.readAll().toStdString());
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_EQ(read.rows[0].cells.at(site::Column::Name), "Pump room");

    table->setFocus();
    table->setCurrentIndex(w.view().mapFromSource(w.model().index(row, nameColumn)));
    QTest::keyClick(table, Qt::Key_Delete);
    EXPECT_TRUE(w.model().rows()[std::size_t(row)].plannedOf(PlanField::Name).isEmpty());

    // Number addresses: the rows selected below the first get the next free addresses after its own
    // (those the numbered rows hold now are theirs to leave; another controller's are skipped).
    const int ipColumn = SiteTableModel::plannedColumn(PlanField::IpAddress);
    ASSERT_TRUE(w.model().setData(w.model().index(w.model().rowOfSerial("10-00001"), ipColumn), "10.30.0.2"));
    ASSERT_TRUE(w.model().setData(w.model().index(w.model().rowOfSerial("10-00004"), ipColumn), "10.30.0.3"));
    table->sortByColumn(0, Qt::AscendingOrder);
    table->clearSelection();
    for (int viewRow = 0; viewRow < 3; ++viewRow)
        table->selectionModel()->select(w.view().index(viewRow, ipColumn), QItemSelectionModel::Select);
    action(w, "actionNumberAddresses")->trigger();
    EXPECT_EQ(w.model().rows()[std::size_t(w.model().rowOfSerial("10-00002"))].plannedOf(PlanField::IpAddress),
              QString("10.30.0.5")) << "10.30.0.3 is planned for 10-00004, which holds 10.30.0.4 now";
    EXPECT_EQ(w.model().rows()[std::size_t(w.model().rowOfSerial("10-00003"))].plannedOf(PlanField::IpAddress),
              QString("10.30.0.6"));

    QHeaderView* columns = table->horizontalHeader();
    const int widestAddress = table->fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255"));
    for (int c = 0; c < columns->count(); ++c) {  // every caption whole, and every address
        const std::string caption = w.model().headerData(c, Qt::Horizontal).toString().toStdString();
        EXPECT_GE(columns->sectionSize(c), columns->sectionSizeHint(c)) << caption;
        if (SiteTableModel::holdsAddresses(c))
            EXPECT_GT(columns->sectionSize(c), widestAddress) << caption;
    }
    EXPECT_EQ(table->accessibleName(), QString("Controllers on the site"));
    EXPECT_EQ(w.findChild<QListWidget*>("problemsList")->accessibleName(), QString("Problems"));
    auto* filter = w.findChild<QLineEdit*>("filterBox");
    EXPECT_EQ(w.findChild<QLabel*>("filterLabel")->buddy(), filter);
    filter->setFocus();
    QTest::keyClick(filter, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), table);
}
