// Ending the dialog: OK (button or Enter) hands the chosen controller over
// through the current-controller record; Cancel, Escape and the close control
// end it without a choice.
#include "search_fixture.h"

#include "tests/platform/ui/modal_answerer.h"

namespace zelmar::testing {
namespace {

class SearchChooseTest : public SearchDialogTest {
protected:
    void SetUp() override {
        SearchDialogTest::SetUp();
        comm::state().CurrentController.MainComputerAddress = QStringLiteral("127.79.0.199");
    }
    const comm::CurrentControllerRecord& record() const { return comm::state().CurrentController; }
    void expectClosedWithout() {
        EXPECT_FALSE(dialog_->isVisible());
        EXPECT_EQ(dialog_->SearchOkFlg, vbFalse);
        EXPECT_EQ(record().SerialNo, QString()) << "nothing copied";
        EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
    }
    // Closed through OK's path: the controller taken, unmarked first.
    void expectTakenThroughOk(const std::string& serial) {
        EXPECT_FALSE(dialog_->isVisible());
        EXPECT_EQ(dialog_->SearchOkFlg, vbTrue);
        EXPECT_EQ(record().SerialNo, QString::fromStdString(serial));
        EXPECT_FALSE(marked(serial)) << "the OK button's path unmarks";
    }
    void doubleClickRow(const QString& serialNo) {
        const QModelIndex row = list()->model()->index(rowOf(serialNo), 0);
        ASSERT_TRUE(row.isValid()) << serialNo.toStdString();
        // Through the window, as the system delivers it: press, release, press (the double click), release.
        const QPoint at = list()->viewport()->mapTo(dialog_.get(), list()->visualRect(row).center());
        QTest::mouseDClick(dialog_->windowHandle(), Qt::LeftButton, {}, at);
    }
    // The dialog open, with the controller `serial` marked by a click on its row.
    void openWithMarked(const std::string& serial) {
        openDialog();
        clickRow(QString::fromStdString(serial));
        ASSERT_TRUE(marked(serial));
    }
};

// What the record takes from the entry is the communication module's (tests/comm).
TEST_F(SearchChooseTest, OkUnmarksHandsTheControllerOverAndEndsTheModalDisplay) {
    startFleet(standardSite());
    openWithMarked("10-00003");

    button("ButtonOk")->click();

    EXPECT_FALSE(dialog_->isVisible()) << "hidden: the modal display ends";
    EXPECT_EQ(dialog_->SearchOkFlg, vbTrue);
    EXPECT_EQ(dialog_->SearchOkFlg, -1);
    EXPECT_FALSE(marked("10-00003")) << "OK unmarks first";
    EXPECT_EQ(record().SerialNo, QStringLiteral("10-00003"));
    EXPECT_EQ(record().Name, QStringLiteral("Factory new"));
    EXPECT_EQ(record().MainComputerAddress, QStringLiteral("127.79.0.199")) << "left for the main dialog";
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);

    // Each opening is a new dialog object, which starts False again.
    dialog_.reset();
    createDialog();
    EXPECT_EQ(dialog_->SearchOkFlg, vbFalse);
}

TEST_F(SearchChooseTest, ADoubleClickOnARowIsItsClickAndOk) {
    startFleet(standardSite());
    openDialog();
    doubleClickRow(QStringLiteral("10-00002"));
    expectTakenThroughOk("10-00002");
}

TEST_F(SearchChooseTest, ADoubleClickWhileTheListFillsDoesNothing) {
    startFleet(standardSite());
    openDialog();
    duringFillAtRow(2, [this] {
        ASSERT_TRUE(dialog_->isBusy());
        doubleClickRow(entrySerials().first());
    });
    button("ButtonRefresh")->click();

    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_EQ(dialog_->SearchOkFlg, vbFalse);
    EXPECT_EQ(record().SerialNo, QString());
    EXPECT_EQ(rowCount(), 3) << "the fill went on";
}

TEST_F(SearchChooseTest, CancelAfterAClickUnmarksAndReturnsFalse) {
    startFleet(standardSite());
    openWithMarked("10-00001");
    button("ButtonCancel")->click();
    expectClosedWithout();
    EXPECT_FALSE(marked("10-00001"));
}

TEST_F(SearchChooseTest, EscapeIsCancel) {
    startFleet(standardSite());
    openWithMarked("10-00002");
    QTest::keyClick(list(), Qt::Key_Escape);
    expectClosedWithout();
    EXPECT_FALSE(marked("10-00002"));
}

TEST_F(SearchChooseTest, TheCloseControlCountsAsCancelAndUnloadUnmarks) {
    startFleet(standardSite());
    openWithMarked("10-00001");
    dialog_->close();
    expectClosedWithout();
    EXPECT_FALSE(marked("10-00001"));

    // Unloading after OK: nothing is left marked either.
    dialog_.reset();
    openWithMarked("10-00003");
    dialog_.reset();
    EXPECT_FALSE(marked("10-00003"));
}

TEST_F(SearchChooseTest, EnterRightAfterARefreshTakesTheRowTheListReportsAsSelected) {
    startFleet(standardSite());
    openDialog();
    ASSERT_FALSE(button("ButtonOk")->isEnabled());
    const QString first = entrySerials().first();
    pressEnterInList();

    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(dialog_->SearchOkFlg, vbTrue);
    EXPECT_EQ(record().SerialNo, first);
}

TEST_F(SearchChooseTest, EnterWhileOkIsEnabledPressesOk) {
    startFleet(standardSite());
    openDialog();
    clickRow(QStringLiteral("10-00001"));
    ASSERT_TRUE(button("ButtonOk")->isEnabled());
    pressEnterInList();
    expectTakenThroughOk("10-00001");
}

TEST_F(SearchChooseTest, EnterOnAnotherButtonPressesThatButtonNotOk) {
    startFleet(standardSite());
    openDialog();
    clickRow(QStringLiteral("10-00001"));
    ASSERT_TRUE(button("ButtonOk")->isEnabled());
    button("ButtonCancel")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(button("ButtonCancel"), Qt::Key_Return);
    expectClosedWithout();
    EXPECT_FALSE(marked("10-00001")) << "Cancel's path unmarks";
}

TEST_F(SearchChooseTest, ARowWhoseControllerVanishedEndsAsCancel) {
    startFleet(standardSite());
    openDialog();
    clickRow(QStringLiteral("10-00002"));
    // The service's entries change under the dialog (as after the search an
    // upgrade makes): the controller no longer answers.
    fleet_->setOffline("10-00002", true);
    comm::RestartSearch();
    ASSERT_EQ(entrySerials().indexOf(QStringLiteral("10-00002")), -1);

    button("ButtonOk")->click();
    expectClosedWithout();
    EXPECT_TRUE(ModalSeam::log().isEmpty()) << "no message";
}

TEST_F(SearchChooseTest, ASerialNumberTheLibraryCannotConvertIsNeverTaken) {
    auto site = standardSite();
    site.push_back(simController("XX-ABCDE", "127.79.0.5", "Odd serial"));
    startFleet(site);
    openDialog();
    ASSERT_NE(rowOf(QStringLiteral("XX-ABCDE")), -1);
    clickRow(QStringLiteral("XX-ABCDE"));
    EXPECT_TRUE(button("ButtonOk")->isEnabled());
    EXPECT_FALSE(marked("XX-ABCDE")) << "it cannot be found to be marked";

    button("ButtonOk")->click();
    expectClosedWithout();
}

}  // namespace
}  // namespace zelmar::testing

namespace zelmar::testing {
namespace {

// The way the main dialog shows it: exec() returns when OK or Cancel hides
// the dialog, and the object stays for SearchOkFlg to be read.
TEST_F(SearchChooseTest, HidingEndsTheModalDisplayAndTheFlagStaysReadable) {
    startFleet(standardSite());
    for (const bool ok : {true, false}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        comm::state().CurrentController.SerialNo.clear();
        createDialog();
        answerNextModal([this, ok](QWidget* modal) {
            EXPECT_EQ(modal, dialog_.get());
            ASSERT_TRUE(QTest::qWaitFor([this] { return rowCount() == 3 && !dialog_->isBusy(); }, 10000));
            clickRow(QStringLiteral("10-00001"));
            button(ok ? "ButtonOk" : "ButtonCancel")->click();
        });
        dialog_->exec();
        EXPECT_FALSE(dialog_->isVisible());
        EXPECT_EQ(dialog_->SearchOkFlg, ok ? vbTrue : vbFalse);
        EXPECT_EQ(record().SerialNo, ok ? QStringLiteral("10-00001") : QString());
        dialog_.reset();
        EXPECT_FALSE(marked("10-00001"));
    }
}

}  // namespace
}  // namespace zelmar::testing
