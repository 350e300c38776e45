// The character checks of the password box: text 353 after every change while
// a disallowed character remains, text 354 and the focus back when leaving.
#include "security_fixture.h"

#include <QMessageBox>
#include <QPointer>
#include <QTimer>

namespace zelmar::testing {
namespace {

using dialogs::FormSecurity;

class SecurityPasswordChecks : public SecurityDialogTest {};

TEST_F(SecurityPasswordChecks, EveryChangeWhileABadCharacterRemainsShows353AndKeepsTheText) {
    FormSecurity dialog;
    showActive(dialog);
    QLineEdit* box = passwordBox(dialog);

    QTest::keyClicks(box, QStringLiteral("ab"));
    EXPECT_TRUE(ModalSeam::log().isEmpty());

    ModalSeam::pushButton(ui::ButtonOk);
    QTest::keyClick(box, Qt::Key_Space);  // the blank is not allowed
    EXPECT_EQ(shownMessages().size(), 1);

    ModalSeam::pushButton(ui::ButtonOk);
    ModalSeam::pushButton(ui::ButtonOk);
    QTest::keyClicks(box, QStringLiteral("cd"));
    EXPECT_EQ(shownMessages().size(), 3);
    EXPECT_EQ(box->text(), QStringLiteral("ab cd"));
    EXPECT_EQ(QApplication::focusWidget(), box);

    // Deleting back to the blank is still a change with a bad character ...
    ModalSeam::pushButton(ui::ButtonOk);
    ModalSeam::pushButton(ui::ButtonOk);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_EQ(box->text(), QStringLiteral("ab "));
    // ... until the blank itself goes.
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, QStringLiteral("Z9!"));
    EXPECT_EQ(box->text(), QStringLiteral("abZ9!"));
    EXPECT_EQ(shownMessages(), QStringList(5, text(353)));
    EXPECT_FALSE(text(353).isEmpty());
}

TEST_F(SecurityPasswordChecks, LettersOutsideAsciiAreRejectedToo) {
    FormSecurity dialog;
    ModalSeam::pushButton(ui::ButtonOk);
    passwordBox(dialog)->setText(QStringLiteral("lösen"));
    EXPECT_EQ(shownMessages(), QStringList{text(353)});
    EXPECT_EQ(passwordBox(dialog)->text(), QStringLiteral("lösen"));
}

TEST_F(SecurityPasswordChecks, EmptyTextShowsNothing) {
    FormSecurity dialog;
    showActive(dialog);
    QLineEdit* box = passwordBox(dialog);
    QTest::keyClicks(box, QStringLiteral("x"));
    QTest::keyClick(box, Qt::Key_Backspace);  // a change to the empty text
    ASSERT_TRUE(box->text().isEmpty());
    QTest::keyClick(box, Qt::Key_Tab);  // leaving while empty
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), requireBox(dialog));
    EXPECT_TRUE(ModalSeam::log().isEmpty());
}

TEST_F(SecurityPasswordChecks, LeavingWithAGoodPasswordLetsTheFocusGo) {
    FormSecurity dialog;
    showActive(dialog);
    QTest::keyClicks(passwordBox(dialog), QStringLiteral("Good#Pass1"));
    QTest::keyClick(passwordBox(dialog), Qt::Key_Tab);
    QTest::qWait(20);
    EXPECT_EQ(QApplication::focusWidget(), requireBox(dialog));
    EXPECT_TRUE(ModalSeam::log().isEmpty());
}

TEST_F(SecurityPasswordChecks, LeavingWithABadCharacterShows354AndPutsTheFocusBack) {
    FormSecurity dialog;
    showActive(dialog);
    QLineEdit* box = passwordBox(dialog);
    ModalSeam::pushButton(ui::ButtonOk);
    box->setText(QStringLiteral("tab\there"));
    ASSERT_EQ(shownMessages(), QStringList{text(353)});

    ModalSeam::pushButton(ui::ButtonOk);
    QTest::keyClick(box, Qt::Key_Tab);
    QTest::qWait(20);  // the check runs after the focus change and must run once only
    EXPECT_EQ(shownMessages(), (QStringList{text(353), text(354)}));
    EXPECT_EQ(QApplication::focusWidget(), box);
    EXPECT_EQ(box->text(), QStringLiteral("tab\there"));

    // Leaving by mouse to the check box: the same again.
    ModalSeam::pushButton(ui::ButtonOk);
    QTest::mouseClick(requireBox(dialog), Qt::LeftButton);
    QTest::qWait(20);
    EXPECT_EQ(shownMessages(), (QStringList{text(353), text(354), text(354)}));
    EXPECT_EQ(QApplication::focusWidget(), box);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(SecurityPasswordChecks, AFailingMessageIsReportedAtTheHandlersEdge) {
    // No answer queued in strict mode: the message call throws inside the
    // handler; the guard reports it instead of letting it reach Qt.
    FormSecurity dialog;
    passwordBox(dialog)->setText(QStringLiteral("a b"));
    ASSERT_EQ(fatalErrors_.size(), 1);
    EXPECT_TRUE(fatalErrors_.first().contains(QStringLiteral("CtrlEncryptedPass_Change")));
    fatalErrors_.clear();
    ModalSeam::clearLog();
}

// Answers every real message window that comes up, the way a technician
// would, and records its text. Past `limit` windows it turns the modal seam
// strict, so that a message loop ends in a reported failure instead of a hang.
class RealMessageCloser {
public:
    explicit RealMessageCloser(int limit) {
        QObject::connect(&timer_, &QTimer::timeout, [this, limit] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen << box->text();
            if (seen.size() >= limit)
                ModalSeam::setStrict(true);
            box->accept();
        });
        timer_.start(5);
    }
    QStringList seen;

private:
    QTimer timer_;
};

// What the window manager does when a message window closes (offscreen has none).
void reactivate(QWidget& window) {
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

TEST_F(SecurityPasswordChecks, RealMessageBoxesTakingTheFocusDoNotRetriggerTheCheck) {
    ModalSeam::setStrict(false);  // the real message windows are shown and answered
    FormSecurity dialog;
    showActive(dialog);
    QLineEdit* box = passwordBox(dialog);

    RealMessageCloser closer(4);
    const QStringList& seen = closer.seen;
    QTest::keyClick(box, Qt::Key_Space);  // 353 in a real window that takes the focus
    QTest::qWait(50);
    EXPECT_EQ(seen, QStringList{text(353)});
    EXPECT_EQ(shownMessages(), QStringList{text(353)});
    // The window system gives the dialog back its activation and its focus.
    EXPECT_EQ(dialog.focusWidget(), box);
    reactivate(dialog);
    EXPECT_EQ(QApplication::focusWidget(), box);

    QTest::keyClick(box, Qt::Key_Tab);  // leaving with the blank: 354 in a real window
    QTest::qWait(50);
    EXPECT_EQ(seen, (QStringList{text(353), text(354)}));
    reactivate(dialog);
    QTest::qWait(50);
    EXPECT_EQ(QApplication::focusWidget(), box);
    EXPECT_EQ(QApplication::activeModalWidget(), &dialog) << "no message window left open";
    EXPECT_EQ(shownMessages(), (QStringList{text(353), text(354)}));
}

}  // namespace
}  // namespace zelmar::testing
