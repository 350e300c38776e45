// The controller list: refresh, its rows and columns, row clicks, the resize
// rule, commands while the list fills, and a failing service.
#include "search_fixture.h"

#include <QHelpEvent>
#include <QToolTip>

namespace zelmar::testing {
namespace {

using support::GetCodeName;
using support::GetText;

class SearchListTest : public SearchDialogTest {};

// Nine controllers in the full-search range.
std::vector<sim::SimControllerState> nineControllers() {
    std::vector<sim::SimControllerState> all;
    for (int n = 1; n <= 9; ++n)
        all.push_back(simController("10-0000" + std::to_string(n), "127.79.0." + std::to_string(n),
                                    "Unit " + std::to_string(n)));
    return all;
}

TEST_F(SearchListTest, RefreshListsEveryControllerInEntryOrder) {
    startFleet(standardSite());
    createDialog();
    // The status line while the rows come in: text 4537 and one dot per row so far.
    QStringList statusPerRow;
    QObject::connect(list()->model(), &QAbstractItemModel::rowsInserted, dialog_.get(),
                     [this, &statusPerRow] { statusPerRow << statusLine(); });
    showDialog();

    const QStringList serials = entrySerials();
    ASSERT_EQ(serials.size(), 3) << "the controller outside the full search is not listed";
    EXPECT_EQ(columnTexts(1), serials) << "rows follow entry order";
    EXPECT_EQ(statusPerRow, (QStringList{GetText(4537) + ".", GetText(4537) + "..", GetText(4537) + "..."}));

    // Each entry property reaches its column (the cell rules are the model's).
    const int boiler = rowOf("10-00001");
    QStringList boilerCells;
    for (int column = 0; column < 7; ++column)
        boilerCells << cell(boiler, column);
    const auto ethernet = QString::fromStdString(comm::Service().Item(std::int16_t(boiler))->EthernetAddress());
    EXPECT_EQ(boilerCells, (QStringList{"Boiler 1", "10-00001", "127.79.0.1", ethernet, GetCodeName(vbFalse),
                                        "boiler1", "Boiler room, house 1"}));
    EXPECT_EQ(cell(rowOf("10-00002"), 4), GetCodeName(vbTrue));
    EXPECT_EQ(cell(rowOf("10-00003"), 2), QString()) << "the factory-new unit's 0.0.0.0";

    // After the search: status line empty, OK and Upgrade wait for a click,
    // the first row is the one the list reports as selected, nothing is marked.
    EXPECT_EQ(statusLine(), QString());
    EXPECT_FALSE(button("ButtonOk")->isEnabled());
    EXPECT_FALSE(button("btnUpgrade")->isEnabled());
    EXPECT_TRUE(button("ButtonRefresh")->isEnabled());
    EXPECT_TRUE(button("ButtonFindMore")->isEnabled());
    EXPECT_TRUE(button("ButtonCancel")->isEnabled());
    EXPECT_EQ(selectedSerial(), serials.first());
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
    EXPECT_FALSE(dialog_->isBusy());
    for (const char* serial : {"10-00001", "10-00002", "10-00003"})
        EXPECT_FALSE(marked(serial)) << serial;
    EXPECT_TRUE(ModalSeam::log().isEmpty()) << modalLog().join('\n').toStdString();
}

TEST_F(SearchListTest, RefreshTwiceGivesOneListFromAFreshSearch) {
    startFleet(standardSite());
    openDialog();
    const QStringList first = columnTexts(1);
    ASSERT_EQ(first.size(), 3);

    button("ButtonRefresh")->click();
    button("ButtonRefresh")->click();
    EXPECT_EQ(columnTexts(1).size(), 3);
    EXPECT_EQ(columnTexts(1), entrySerials());
    QStringList sortedFirst = first, sortedNow = columnTexts(1);
    sortedFirst.sort();
    sortedNow.sort();
    EXPECT_EQ(sortedNow, sortedFirst);

    // Each refresh searches anew: a controller that stopped answering is gone.
    fleet_->setOffline("10-00002", true);
    button("ButtonRefresh")->click();
    EXPECT_EQ(rowOf("10-00002"), -1);
    EXPECT_EQ(columnTexts(1), entrySerials());
    EXPECT_EQ(columnTexts(1).size(), 2);
}

TEST_F(SearchListTest, NoControllerFoundLeavesAnEmptyListAndEnterDoesNothing) {
    startFleet(standardSite());
    for (const char* serial : {"10-00001", "10-00002", "10-00003"})
        fleet_->setOffline(serial, true);
    openDialog();

    EXPECT_EQ(rowCount(), 0);
    EXPECT_EQ(statusLine(), QString());
    EXPECT_FALSE(button("ButtonOk")->isEnabled());
    EXPECT_FALSE(button("btnUpgrade")->isEnabled());

    pressEnterInList();
    settle();
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_EQ(dialog_->SearchOkFlg, vbFalse);
    EXPECT_TRUE(ModalSeam::log().isEmpty());
}

TEST_F(SearchListTest, RowClicksMarkAndUnmarkControllersOnTheSimulator) {
    startFleet(standardSite());
    openDialog();

    clickRow(QStringLiteral("10-00001"));
    EXPECT_TRUE(button("ButtonOk")->isEnabled());
    EXPECT_TRUE(button("btnUpgrade")->isEnabled());
    EXPECT_TRUE(marked("10-00001"));
    EXPECT_EQ(comm::state().SelectedEntryIndex, entrySerials().indexOf(QStringLiteral("10-00001")));

    // A second row: the first controller is unmarked, the second marked.
    clickRow(QStringLiteral("10-00002"));
    EXPECT_FALSE(marked("10-00001"));
    EXPECT_TRUE(marked("10-00002"));
    EXPECT_EQ(simState("10-00001").unmarkCount, 1);

    // Clicking the selected row with Ctrl leaves no selected row: OK and
    // Upgrade are disabled again and nothing is marked anew.
    const QModelIndex second = list()->model()->index(rowOf(QStringLiteral("10-00002")), 0);
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::ControlModifier, list()->visualRect(second).center());
    ASSERT_FALSE(list()->selectionModel()->hasSelection());
    EXPECT_FALSE(button("ButtonOk")->isEnabled());
    EXPECT_FALSE(button("btnUpgrade")->isEnabled());
    EXPECT_EQ(simState("10-00002").markCount, 1);

    // A refresh starts unmarked and with OK and Upgrade disabled.
    clickRow(QStringLiteral("10-00003"));
    EXPECT_TRUE(marked("10-00003"));
    button("ButtonRefresh")->click();
    EXPECT_FALSE(button("ButtonOk")->isEnabled());
    EXPECT_FALSE(button("btnUpgrade")->isEnabled());
}

TEST_F(SearchListTest, TheListFollowsTheWindowSizeInsideItAndKeepsItsLastValidHeight) {
    startFleet(standardSite());
    openDialog();
    dialog_->resize(600, 200);
    settle();
    EXPECT_EQ(list()->geometry(), QRect(8, 35, 584, 165)) << "the same margin on either side, inner height below its top";

    // Smaller than the list's top: no error, the width follows, the height stays.
    dialog_->resize(300, 20);
    settle();
    EXPECT_EQ(list()->geometry(), QRect(8, 35, 284, 165));
    EXPECT_TRUE(fatal_.isEmpty());
}

TEST_F(SearchListTest, ACellCutShortByItsColumnShowsItsFullTextAsATooltip) {
    const QString longName = QStringLiteral("North annex air handling unit 3, plant room B");
    startFleet({simController("10-00001", "127.79.0.1", longName.toStdString())});
    openDialog();
    ASSERT_EQ(rowCount(), 1);
    const auto tipAt = [this](int column) {
        const QPoint at = list()->visualRect(list()->model()->index(0, column)).center();
        QHelpEvent help(QEvent::ToolTip, at, list()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list()->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(tipAt(1), QString()) << "a serial number fits its column";
    EXPECT_EQ(tipAt(0), longName);
}

TEST_F(SearchListTest, CommandsStartedWhileTheListFillsAreIgnored) {
    startFleet(nineControllers());
    createDialog();
    bool busyAtClick = false;
    duringFillAtRow(3, [this, &busyAtClick] {
        busyAtClick = dialog_->isBusy();
        EXPECT_TRUE(button("ButtonRefresh")->isEnabled());
        EXPECT_TRUE(button("ButtonFindMore")->isEnabled());
        button("ButtonRefresh")->click();
        button("ButtonFindMore")->click();  // an input box now would fail the strict seam
        pressEnterInList();
    });
    QSignalSpy finished(dialog_.get(), &FormSearchTCP::searchFinished);
    showDialog();
    settle();

    EXPECT_TRUE(busyAtClick);
    EXPECT_EQ(finished.count(), 1) << "only the first search ran";
    EXPECT_EQ(rowCount(), 9);
    EXPECT_EQ(columnTexts(1), entrySerials());
    for (const auto& c : fleet_->controllers())
        EXPECT_EQ(c.searchesAnswered, 1) << c.serialNo;
    EXPECT_TRUE(ModalSeam::log().isEmpty()) << modalLog().join('\n').toStdString();
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_FALSE(dialog_->isBusy());

    // Once the fill is over, Refresh works again.
    button("ButtonRefresh")->click();
    EXPECT_EQ(finished.count(), 2);
    EXPECT_EQ(rowCount(), 9);
}

TEST_F(SearchListTest, CancelWhileTheListFillsStopsTheFill) {
    startFleet(nineControllers());
    createDialog();
    duringFillAtRow(3, [this] { button("ButtonCancel")->click(); });
    QSignalSpy finished(dialog_.get(), &FormSearchTCP::searchFinished);
    dialog_->show();
    dialog_->activateWindow();
    ASSERT_TRUE(finished.wait(10000));

    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(dialog_->SearchOkFlg, vbFalse);
    EXPECT_EQ(rowCount(), 3) << "the fill stops at the next row";
    EXPECT_EQ(statusLine(), QString());
    EXPECT_FALSE(dialog_->isBusy());
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
}

TEST_F(SearchListTest, DestroyingTheDialogWhileTheListFillsIsSafe) {
    startFleet(nineControllers());
    createDialog();
    QPointer<FormSearchTCP> watch(dialog_.get());
    duringFillAtRow(4, [this] { dialog_.reset(); });
    dialog_->show();
    dialog_->activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return watch.isNull(); }, 10000));
    settle();
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal) << "the remembered pointer is put back";
    EXPECT_TRUE(fatal_.isEmpty());
}

TEST_F(SearchListTest, AFailingServiceDuringARefreshIsReportedAndTheDialogStaysUsable) {
    // Seven property reads a row: the third row's reads fail.
    startFleet(standardSite(), 7 * 2 + 3);
    ModalSeam::pushButton(ui::ButtonOk);
    openDialog();

    ASSERT_EQ(ModalSeam::log().size(), 1);
    const ui::ModalRequest shown = ModalSeam::log().first();
    EXPECT_EQ(shown.kind, ModalKind::Message);
    EXPECT_EQ(shown.style, 0) << "an error message";
    EXPECT_TRUE(shown.text.startsWith(QStringLiteral("The search for controllers failed"))) << shown.text.toStdString();
    EXPECT_TRUE(shown.text.contains(QStringLiteral("fault injection"))) << shown.text.toStdString();
    EXPECT_EQ(rowCount(), 2);
    EXPECT_EQ(statusLine(), QString());
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
    EXPECT_FALSE(dialog_->isBusy());
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_TRUE(fatal_.isEmpty()) << "the tool goes on";

    // The next refresh with a working service lists everything.
    setFaultAfterReads(-1);
    button("ButtonRefresh")->click();
    EXPECT_EQ(rowCount(), 3);
    EXPECT_EQ(ModalSeam::log().size(), 1);
}

TEST_F(SearchListTest, AFailingServiceDuringFindMoreIsReportedAndTheDialogStaysUsable) {
    startFleet(standardSite());
    // The refresh reads 7 properties of 3 rows; the find-more fill fails after 4 more reads.
    setFaultAfterReads(7 * 3 + 4);
    openDialog();
    ASSERT_EQ(rowCount(), 3);

    ModalSeam::pushInput(QStringLiteral("127.79.9.4"));
    ModalSeam::pushButton(ui::ButtonOk);
    button("ButtonFindMore")->click();

    ASSERT_EQ(ModalSeam::log().size(), 2) << modalLog().join('\n').toStdString();
    const ui::ModalRequest shown = ModalSeam::log().at(1);
    EXPECT_EQ(shown.style, 0);
    EXPECT_TRUE(shown.text.startsWith(QStringLiteral("The search for \"127.79.9.4\" failed"))) << shown.text.toStdString();
    EXPECT_EQ(statusLine(), QString());
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
    EXPECT_FALSE(dialog_->isBusy());
    EXPECT_TRUE(fatal_.isEmpty());

    setFaultAfterReads(-1);
    button("ButtonRefresh")->click();
    EXPECT_EQ(rowCount(), 3);
}

}  // namespace
}  // namespace zelmar::testing
