// Starting state from the shared values, and what Close, the close control,
// Escape and Enter leave in the settings record. Which choices the dialog
// starts from is the communication module's (tests/comm).
#include "security_fixture.h"

#include <QTimer>

namespace zelmar::testing {
namespace {

using dialogs::FormSecurity;

class SecurityLoadClose : public SecurityDialogTest {};

TEST_F(SecurityLoadClose, WithoutAcceptedPasswordStartsClearedAndForgetsTheNetworkPassword) {
    comm::state().CurrentController.RequireEncryption = vbTrue;
    comm::state().CurrentController.PasswordOk = vbFalse;
    comm::state().NetworkPassword = QStringLiteral("Secret1");
    comm::state().Settings.RequireEncryption = vbTrue;
    comm::state().Settings.EncryptionPassword = QStringLiteral("earlier");

    FormSecurity dialog;
    EXPECT_EQ(requireBox(dialog)->checkState(), Qt::Unchecked);
    EXPECT_TRUE(passwordBox(dialog)->text().isEmpty());
    EXPECT_TRUE(comm::state().NetworkPassword.isEmpty());

    // Leaving by the window's close control does not bring it back, and stores nothing.
    showActive(dialog);
    passwordBox(dialog)->setText(QStringLiteral("typed"));
    requireBox(dialog)->setCheckState(Qt::Checked);
    EXPECT_TRUE(dialog.close());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(comm::state().NetworkPassword.isEmpty());
    EXPECT_EQ(comm::state().Settings.RequireEncryption, vbTrue);
    EXPECT_EQ(comm::state().Settings.EncryptionPassword, QStringLiteral("earlier"));
    EXPECT_TRUE(ModalSeam::log().isEmpty());
}

TEST_F(SecurityLoadClose, WithAcceptedPasswordShowsItMaskedAndChecked) {
    comm::state().CurrentController.RequireEncryption = vbTrue;
    comm::state().CurrentController.PasswordOk = vbTrue;
    comm::state().NetworkPassword = QStringLiteral("Abc123!");

    FormSecurity dialog;
    EXPECT_EQ(requireBox(dialog)->checkState(), Qt::Checked);
    EXPECT_EQ(passwordBox(dialog)->text(), QStringLiteral("Abc123!"));
    EXPECT_EQ(passwordBox(dialog)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(passwordBox(dialog)->displayText(), QStringLiteral("*******"));
    EXPECT_EQ(comm::state().NetworkPassword, QStringLiteral("Abc123!"));
    EXPECT_TRUE(ModalSeam::log().isEmpty());
}

TEST_F(SecurityLoadClose, LoadingANetworkPasswordWithABadCharacterRunsTheTypingCheck) {
    comm::state().CurrentController.RequireEncryption = vbTrue;
    comm::state().CurrentController.PasswordOk = vbTrue;
    comm::state().NetworkPassword = QStringLiteral("two words");
    ModalSeam::pushButton(ui::ButtonOk);

    FormSecurity dialog;
    EXPECT_EQ(shownMessages(), QStringList{text(353)});
    EXPECT_EQ(passwordBox(dialog)->text(), QStringLiteral("two words"));
}

TEST_F(SecurityLoadClose, ShowsTheCatalogueTextsAtLoad) {
    FormSecurity dialog;
    EXPECT_EQ(control<QLabel>(dialog, "LabelRequirePassword_0")->text(), QStringLiteral("Use Encrypted Communication"));
    EXPECT_EQ(requireBox(dialog)->text(), QStringLiteral("&Require to use encrypted network communication"));
    EXPECT_EQ(control<QLabel>(dialog, "LabelRequirePassword_1")->text(),
              QStringLiteral("All computers (and other controllers) must use the encryption password (below) to be "
                             "able to communicate with this unit on the network."));
    // These keep their stored captions in every language.
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Security"));
    EXPECT_EQ(control<QLabel>(dialog, "LabelSystemPassword_0")->text(), QStringLiteral("Network Encryption &Password"));
    EXPECT_EQ(closeButton(dialog)->text(), QStringLiteral("Close"));
}

TEST_F(SecurityLoadClose, CatalogueTextsFollowTheLanguage) {
    qputenv("ZELMAR_LANG", "sv");
    FormSecurity dialog;
    EXPECT_EQ(control<QLabel>(dialog, "LabelRequirePassword_0")->text(), QStringLiteral("Använd krypterad kommunikation"));
    EXPECT_EQ(requireBox(dialog)->text(), QStringLiteral("&Kräv krypterad nätverkskommunikation"));
    EXPECT_EQ(control<QLabel>(dialog, "LabelRequirePassword_1")->text(), text(4572));
    EXPECT_TRUE(control<QLabel>(dialog, "LabelRequirePassword_1")->text().startsWith(QStringLiteral("Alla datorer")));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Security"));
    EXPECT_EQ(closeButton(dialog)->text(), QStringLiteral("Close"));
}

TEST_F(SecurityLoadClose, CloseStoresCheckedWithEmptyPassword) {
    comm::state().CurrentController.RequireEncryption = vbTrue;
    comm::state().CurrentController.PasswordOk = vbTrue;  // checked, empty network password
    comm::state().Settings.EncryptionPassword = QStringLiteral("earlier");
    FormSecurity dialog;
    showActive(dialog);
    ASSERT_EQ(requireBox(dialog)->checkState(), Qt::Checked);

    QTest::mouseClick(closeButton(dialog), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(comm::state().Settings.RequireEncryption, vbTrue);
    EXPECT_EQ(comm::state().Settings.EncryptionPassword, QString());
    EXPECT_TRUE(ModalSeam::log().isEmpty());
}

TEST_F(SecurityLoadClose, CloseStoresUncheckedWithTypedPasswordAndLeavesTheNetworkPassword) {
    comm::state().Settings.RequireEncryption = vbTrue;
    FormSecurity dialog;
    showActive(dialog);
    QTest::keyClicks(passwordBox(dialog), QStringLiteral("Secret1"));
    comm::state().NetworkPassword = QStringLiteral("network");

    QTest::mouseClick(closeButton(dialog), Qt::LeftButton);
    EXPECT_EQ(comm::state().Settings.RequireEncryption, vbFalse);
    EXPECT_EQ(comm::state().Settings.EncryptionPassword, QStringLiteral("Secret1"));
    EXPECT_EQ(comm::state().NetworkPassword, QStringLiteral("network"));
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(SecurityLoadClose, ClickingTheCheckBoxIsWhatCloseStores) {
    FormSecurity dialog;
    showActive(dialog);
    QTest::mouseClick(requireBox(dialog), Qt::LeftButton);
    ASSERT_EQ(requireBox(dialog)->checkState(), Qt::Checked);
    QTest::mouseClick(closeButton(dialog), Qt::LeftButton);
    EXPECT_EQ(comm::state().Settings.RequireEncryption, vbTrue);
    EXPECT_EQ(comm::state().Settings.EncryptionPassword, QString());
}

TEST_F(SecurityLoadClose, ACheckBoxValueOtherThanUncheckedStoresTrue) {
    FormSecurity dialog;
    showActive(dialog);
    requireBox(dialog)->setTristate(true);
    requireBox(dialog)->setCheckState(Qt::PartiallyChecked);
    QTest::mouseClick(closeButton(dialog), Qt::LeftButton);
    EXPECT_EQ(comm::state().Settings.RequireEncryption, vbTrue);
}

TEST_F(SecurityLoadClose, EscapeDoesNothingFromAnyControl) {
    comm::state().Settings.EncryptionPassword = QStringLiteral("earlier");
    FormSecurity dialog;
    showActive(dialog);
    QTest::keyClicks(passwordBox(dialog), QStringLiteral("abc"));
    for (QWidget* w : {static_cast<QWidget*>(passwordBox(dialog)), static_cast<QWidget*>(requireBox(dialog)),
                       static_cast<QWidget*>(closeButton(dialog))}) {
        w->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(w, Qt::Key_Escape);
        QApplication::processEvents();
        EXPECT_TRUE(dialog.isVisible()) << w->objectName().toStdString();
    }
    EXPECT_EQ(passwordBox(dialog)->text(), QStringLiteral("abc"));
    EXPECT_EQ(comm::state().Settings.EncryptionPassword, QStringLiteral("earlier"));
    // The close control still closes.
    EXPECT_TRUE(dialog.close());
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(SecurityLoadClose, EnterPressesCloseFromThePasswordBoxAndTheCheckBox) {
    {
        FormSecurity dialog;
        showActive(dialog);
        QTest::keyClicks(passwordBox(dialog), QStringLiteral("Key9"));
        QTest::keyClick(passwordBox(dialog), Qt::Key_Return);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(comm::state().Settings.EncryptionPassword, QStringLiteral("Key9"));
        EXPECT_EQ(comm::state().Settings.RequireEncryption, vbFalse);
    }
    {
        FormSecurity dialog;
        showActive(dialog);
        requireBox(dialog)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(requireBox(dialog), Qt::Key_Space);  // toggles the check box
        QTest::keyClick(requireBox(dialog), Qt::Key_Enter);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(comm::state().Settings.RequireEncryption, vbTrue);
        EXPECT_EQ(comm::state().Settings.EncryptionPassword, QString());
    }
}

TEST_F(SecurityLoadClose, CloseWithABadCharacterShows354StoresNothingAndStaysInThePasswordBox) {
    comm::state().Settings.EncryptionPassword = QStringLiteral("earlier");
    FormSecurity dialog;
    showActive(dialog);
    requireBox(dialog)->setCheckState(Qt::Checked);
    ModalSeam::pushButton(ui::ButtonOk);
    passwordBox(dialog)->setText(QStringLiteral("a b"));  // 353 while "typing"
    ModalSeam::pushButton(ui::ButtonOk);
    QTest::mouseClick(closeButton(dialog), Qt::LeftButton);  // the focus leaves the box on the way
    QTest::qWait(20);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(shownMessages(), (QStringList{text(353), text(354)}));  // once, not again on leaving
    EXPECT_EQ(QApplication::focusWidget(), passwordBox(dialog));
    EXPECT_EQ(comm::state().Settings.RequireEncryption, vbFalse);
    EXPECT_EQ(comm::state().Settings.EncryptionPassword, QStringLiteral("earlier"));
}

TEST_F(SecurityLoadClose, ModalDisplayEndsWithClose) {
    comm::state().CurrentController.RequireEncryption = vbTrue;
    comm::state().CurrentController.PasswordOk = vbTrue;
    comm::state().NetworkPassword = QStringLiteral("Net-pw");
    FormSecurity dialog;
    QTimer::singleShot(0, &dialog, [&dialog] {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &dialog, Qt::Key_Return);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(comm::state().Settings.RequireEncryption, vbTrue);
    EXPECT_EQ(comm::state().Settings.EncryptionPassword, QStringLiteral("Net-pw"));
}

}  // namespace
}  // namespace zelmar::testing
