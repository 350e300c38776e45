// The Upgrade button: the controller of the selected row is unmarked while
// the upgrade command runs and marked again afterwards; UpgradeInProgress is
// True only meanwhile, however the command ends.
#include "search_fixture.h"

#include <QMessageBox>

#include "tests/platform/ui/modal_answerer.h"

namespace zelmar::testing {
namespace {

class SearchUpgradeTest : public SearchDialogTest {};

TEST_F(SearchUpgradeTest, TheControllerIsUnmarkedWhileTheCommandRunsAndMarkedAgain) {
    startFleet(standardSite());
    openDialog();
    clickRow(QStringLiteral("10-00001"));
    ASSERT_TRUE(marked("10-00001"));
    ASSERT_EQ(simState("10-00001").markCount, 1);
    const QStringList rowsBefore = columnTexts(0) + columnTexts(1) + columnTexts(2);

    // The upgrade command's own message (here: no upgrade file for this port
    // OS type) is answered from inside, where the state during the command shows.
    ModalSeam::setStrict(false);
    VBool inProgressDuring = vbFalse;
    bool markedDuring = true;
    QString shown;
    answerNextModal([&, this](QWidget* modal) {
        inProgressDuring = comm::state().UpgradeInProgress;
        markedDuring = marked("10-00001");
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        shown = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    QSignalSpy finished(dialog_.get(), &FormSearchTCP::searchFinished);
    button("btnUpgrade")->click();

    EXPECT_EQ(inProgressDuring, vbTrue);
    EXPECT_FALSE(markedDuring) << "not marked while it is upgraded";
    EXPECT_EQ(shown, QStringLiteral("Can not find a TcpIpPortOS upgrade file."));
    EXPECT_EQ(comm::state().UpgradeInProgress, vbFalse);
    EXPECT_TRUE(marked("10-00001")) << "marked again afterwards";
    EXPECT_EQ(simState("10-00001").unmarkCount, 1);
    EXPECT_EQ(simState("10-00001").markCount, 2);

    // The dialog stays as it was: rows, buttons, and no new search when the
    // message closes over it.
    dialog_->activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([this] { return dialog_->isActiveWindow(); }, 5000));
    settle();
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(columnTexts(0) + columnTexts(1) + columnTexts(2), rowsBefore);
    EXPECT_TRUE(button("btnUpgrade")->isEnabled());
    EXPECT_TRUE(button("ButtonOk")->isEnabled());
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_FALSE(dialog_->isBusy());
}

TEST_F(SearchUpgradeTest, UpgradeInProgressIsFalseAgainWhenTheCommandFails) {
    startFleet(standardSite());
    openDialog();
    clickRow(QStringLiteral("10-00002"));
    // Strict seam and no answer queued: the command's message throws, which
    // is a failure the upgrade command does not handle itself.
    button("btnUpgrade")->click();

    ASSERT_EQ(fatal_.size(), 1);
    EXPECT_TRUE(fatal_.first().startsWith(QStringLiteral("btnUpgrade_Click failed"))) << fatal_.first().toStdString();
    EXPECT_EQ(comm::state().UpgradeInProgress, vbFalse);
    EXPECT_FALSE(dialog_->isBusy());
    fatal_.clear();
}

}  // namespace
}  // namespace zelmar::testing
