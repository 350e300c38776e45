// The dialog searches again when it becomes the active window after another
// of the tool's own windows, and on its first display; not when a message
// box, question or input box of the tool closes over it, and not when the
// technician comes back from another program.
#include "search_fixture.h"

#include <QDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QWindow>

#include "tests/platform/ui/modal_answerer.h"

namespace zelmar::testing {
namespace {

class SearchActivationTest : public SearchDialogTest {
protected:
    // A search by address adds 10-00004, which a refresh would drop again.
    void openWithAddedController() {
        startFleet(standardSite());
        openDialog();
        ModalSeam::pushInput(QStringLiteral("127.79.9.4"));
        button("ButtonFindMore")->click();
        ASSERT_EQ(rowCount(), 4);
        ModalSeam::clearLog();
        ASSERT_TRUE(QTest::qWaitFor([this] { return dialog_->isActiveWindow(); }, 5000));
    }
    // What the window system does when the window above closes: the dialog is active again.
    void reactivate() {
        dialog_->activateWindow();
        EXPECT_TRUE(QTest::qWaitFor([this] { return dialog_->isActiveWindow(); }, 5000));
        settle();
    }
    // Answers the real box the next call shows (no queued seam answer).
    void answerRealBoxWith(QMessageBox::StandardButton which) {
        ModalSeam::setStrict(false);
        answerNextModal([which](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            box->button(which)->click();
        });
    }
};

TEST_F(SearchActivationTest, AMessageOrQuestionClosingOverTheDialogDoesNotSearch) {
    openWithAddedController();
    QSignalSpy finished(dialog_.get(), &FormSearchTCP::searchFinished);

    answerRealBoxWith(QMessageBox::Ok);
    support::ShowErrorMessage(QStringLiteral("A message over the search dialog"));
    EXPECT_FALSE(dialog_->isActiveWindow()) << "the message box took the activation";
    reactivate();

    answerRealBoxWith(QMessageBox::No);
    EXPECT_FALSE(support::AskYesNo(QStringLiteral("A question over the search dialog")));
    reactivate();

    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(rowCount(), 4) << "the find-more result is still there";
}

TEST_F(SearchActivationTest, TheRealInputBoxOfFindMoreDoesNotSearchWhenItCloses) {
    startFleet(standardSite());
    openDialog();
    ASSERT_TRUE(QTest::qWaitFor([this] { return dialog_->isActiveWindow(); }, 5000));
    ModalSeam::setStrict(false);
    bool hourglassWhileAsking = false;
    answerNextModal([&hourglassWhileAsking](QWidget* modal) {
        auto* box = qobject_cast<QInputDialog*>(modal);
        ASSERT_NE(box, nullptr);
        hourglassWhileAsking = ui::mousePointer() == ui::MousePointer::Hourglass;
        box->setTextValue(QStringLiteral("127.79.9.4"));
        box->accept();
    });
    QSignalSpy finished(dialog_.get(), &FormSearchTCP::searchFinished);
    button("ButtonFindMore")->click();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(hourglassWhileAsking) << "the hourglass is already set while the box asks";
    ASSERT_EQ(selectedSerial(), QStringLiteral("10-00004"));

    reactivate();
    EXPECT_EQ(finished.count(), 1) << "no further search";
    EXPECT_EQ(rowCount(), 4);
    EXPECT_EQ(selectedSerial(), QStringLiteral("10-00004"));
}

TEST_F(SearchActivationTest, ComingBackFromAnotherProgramDoesNotSearch) {
    openWithAddedController();
    QSignalSpy finished(dialog_.get(), &FormSearchTCP::searchFinished);

    // A window that is none of the tool's widgets takes the activation.
    QWindow elsewhere;
    elsewhere.resize(50, 50);
    elsewhere.show();
    elsewhere.requestActivate();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !dialog_->isActiveWindow(); }, 5000));
    EXPECT_EQ(QApplication::activeWindow(), nullptr);
    reactivate();

    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(rowCount(), 4);
}

TEST_F(SearchActivationTest, ComingBackFromAnotherDialogOfTheToolSearchesAgain) {
    openWithAddedController();
    QSignalSpy finished(dialog_.get(), &FormSearchTCP::searchFinished);

    QDialog other;
    other.setWindowTitle(QStringLiteral("Another dialog of the tool"));
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&other] { return other.isActiveWindow(); }, 5000));
    settle();
    EXPECT_EQ(finished.count(), 0) << "losing the activation searches nothing";

    dialog_->activateWindow();
    EXPECT_TRUE(finished.wait(10000));
    settle();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(rowCount(), 3) << "the list is rebuilt from a full search";
    EXPECT_EQ(rowOf(QStringLiteral("10-00004")), -1);
    EXPECT_EQ(columnTexts(1), entrySerials());
}

}  // namespace
}  // namespace zelmar::testing
