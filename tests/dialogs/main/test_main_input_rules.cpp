// Input rules: the full DNS name follows host name and domain; the web login
// password fields check their characters; "Security..." opens the encryption
// settings.
#include "main_fixture.h"

#include "tests/platform/ui/modal_answerer.h"

namespace zelmar::testing {
namespace {

using MainInputRules = MainDialogTest;

// How the two parts join is the communication module's (tests/comm); here both fields drive it.
TEST_F(MainInputRules, FullDnsNameIsHostDotDomainOrWhicheverIsThere) {
    auto d = newDialog();
    QLineEdit* host = edit(*d, "tbHostName");
    QLineEdit* domain = edit(*d, "tbDomain");
    QLineEdit* full = edit(*d, "tbDNSName");

    host->setText(QStringLiteral("ctrl"));
    EXPECT_EQ(full->text(), QStringLiteral("ctrl"));
    // Typing the first character of the domain brings in the dot.
    d->show();
    domain->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(domain, Qt::Key_S);
    EXPECT_EQ(full->text(), QStringLiteral("ctrl.s"));
    QTest::keyClicks(domain, QStringLiteral("ite"));
    EXPECT_EQ(full->text(), QStringLiteral("ctrl.site"));

    host->clear();
    EXPECT_EQ(full->text(), QStringLiteral("site"));
    domain->clear();
    EXPECT_EQ(full->text(), QString());
    EXPECT_TRUE(full->isReadOnly());
    EXPECT_TRUE(ModalSeam::log().isEmpty());
}

class WebPasswordRules : public MainDialogTest {
protected:
    void SetUp() override {
        MainDialogTest::SetUp();
        dialog_ = newDialog();
        // Stored hidden and disabled; shown here so that the rules can be exercised.
        for (int index : {1, 2}) {
            dialog_->CtrlWebUserPass(index)->setEnabled(true);
            dialog_->CtrlWebUserPass(index)->show();
        }
        showActive(*dialog_);
    }
    void TearDown() override {
        dialog_.reset();
        MainDialogTest::TearDown();
    }
    std::unique_ptr<FormTCPSettings> dialog_;
};

TEST_F(WebPasswordRules, EachChangeWithABadCharacterShowsOgiltigtTecken) {
    QLineEdit* guest = dialog_->CtrlWebUserPass(1);
    guest->setFocus(Qt::OtherFocusReason);
    QTest::keyClicks(guest, QStringLiteral("ab"));
    EXPECT_TRUE(ModalSeam::log().isEmpty());

    ModalSeam::pushButton(ui::ButtonOk);
    guest->insert(QStringLiteral("ö"));
    ModalSeam::pushButton(ui::ButtonOk);
    QTest::keyClicks(guest, QStringLiteral("c"));  // the bad character is still there
    EXPECT_EQ(shown(ModalKind::Message), QStringList({"Ogiltigt tecken", "Ogiltigt tecken"}));
    EXPECT_EQ(ModalSeam::log().at(0).style, 0);  // an error message
    EXPECT_EQ(guest->text(), QStringLiteral("aböc"));  // reported, not corrected
    EXPECT_EQ(QApplication::focusWidget(), guest);

    // Emptying the field shows nothing.
    ModalSeam::clearLog();
    guest->clear();
    EXPECT_TRUE(ModalSeam::log().isEmpty());
}

TEST_F(WebPasswordRules, LeavingWithABadCharacterShowsText354AndTakesTheFocusBack) {
    QLineEdit* operatorField = dialog_->CtrlWebUserPass(2);
    operatorField->setFocus(Qt::OtherFocusReason);
    ModalSeam::pushButton(ui::ButtonOk);
    operatorField->setText(QStringLiteral("pass word"));  // a blank is not allowed
    ModalSeam::clearLog();

    ModalSeam::pushButton(ui::ButtonOk);
    edit(*dialog_, "tbIP")->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(operatorField));
    EXPECT_EQ(shown(ModalKind::Message), QStringList({text(354)}));
    EXPECT_FALSE(text(354).isEmpty());

    // A correct or empty field can be left without a word.
    ModalSeam::clearLog();
    operatorField->clear();
    edit(*dialog_, "tbIP")->setFocus(Qt::TabFocusReason);
    QTest::qWait(20);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(edit(*dialog_, "tbIP")));
    EXPECT_TRUE(ModalSeam::log().isEmpty());
    operatorField->setFocus(Qt::OtherFocusReason);
    QTest::keyClicks(operatorField, QStringLiteral("Secret!1"));
    edit(*dialog_, "tbIP")->setFocus(Qt::TabFocusReason);
    QTest::qWait(20);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(edit(*dialog_, "tbIP")));
    EXPECT_TRUE(ModalSeam::log().isEmpty());
}

using MainSecurityCommand = MainDialogTest;

TEST_F(MainSecurityCommand, SecurityOpensTheEncryptionDialogFreshEachTime) {
    auto d = newDialog();
    showActive(*d);
    comm::state().NetworkPassword = QStringLiteral("Net1");
    comm::state().CurrentController.RequireEncryption = vbTrue;
    comm::state().CurrentController.PasswordOk = vbTrue;
    QStringList opened;
    // First opening: the window's close control stores nothing.
    answerNextModal([&](QWidget* modal) {
        opened << modal->objectName();
        modal->close();
    });
    button(*d, "Security")->click();
    EXPECT_EQ(comm::state().Settings.RequireEncryption, vbFalse);
    // Second opening: Close stores the choices it started with.
    answerNextModal([&](QWidget* modal) {
        opened << modal->objectName();
        modal->findChild<QPushButton*>(QStringLiteral("CmdOk"))->click();
    });
    button(*d, "Security")->click();
    EXPECT_EQ(opened, QStringList({"FormSecurity", "FormSecurity"}));
    EXPECT_EQ(comm::state().Settings.RequireEncryption, vbTrue);
    EXPECT_EQ(comm::state().Settings.EncryptionPassword, QStringLiteral("Net1"));
    // Each opening was unloaded again.
    EXPECT_TRUE(d->findChildren<QDialog*>().isEmpty());
}

}  // namespace
}  // namespace zelmar::testing
