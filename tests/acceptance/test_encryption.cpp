// Controllers that require encrypted communication, end to end on the demo
// fleet: the network password prompt when one is chosen, the security dialog
// keeping or switching encryption, and the check on the simulated controller
// of what changed.
#include "tests/acceptance/acceptance_fixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include "tests/platform/ui/modal_answerer.h"

namespace zelmar::acceptance {
namespace {

constexpr int kTextSetupDone = 4558;
const QString kDemoPassword = QStringLiteral("Larkan-2026");  // demo/README-password.txt
const QString kAccessPrompt =
    QStringLiteral("You need a password to access this controller.\r\nPlease enter a password.");

class Encryption : public AcceptanceTest {
protected:
    // What the security dialog shows when it opens, and then set by the technician.
    struct SecurityShown {
        bool checked = false;
        QString password;
    };
    SecurityShown openSecurity(FormTCPSettings& tool, bool require, const QString& password) {
        SecurityShown shownAtOpen;
        testing::answerNextModal([&shownAtOpen](QWidget* modal) {
            shownAtOpen.checked = modal->findChild<QCheckBox*>(QStringLiteral("CtrlEncryptedCom"))->isChecked();
            shownAtOpen.password = modal->findChild<QLineEdit*>(QStringLiteral("CtrlEncryptedPass"))->text();
            // Leave it to the driver queued next, in the same event loop.
        });
        driveSecurityDialog(require, password);
        click(tool, "Security");
        return shownAtOpen;
    }
};

TEST_F(Encryption, ChoosingAnEncryptedControllerAsksForThePasswordUntilItIsRight) {
    const FieldMap before = fleetFields();
    auto tool = startAndChoose(QStringLiteral("10-10004"), {QStringLiteral("wrong-guess"), kDemoPassword});

    const QList<ui::ModalRequest>& log = ModalSeam::log();
    ASSERT_EQ(log.size(), 3) << modalLog();  // start-up question, two prompts
    for (int i : {1, 2}) {
        EXPECT_EQ(log.at(i).kind, ModalKind::InputBox);
        EXPECT_EQ(log.at(i).text, kAccessPrompt);
        EXPECT_TRUE(log.at(i).hideInput) << "the password is masked";
    }
    // With the password the controller shows everything it holds.
    EXPECT_EQ(shownController(*tool),
              QStringList({"CtrlCurrentName=AHU 3", "CtrlCurrentSerialNo=10-10004",
                           "CtrlCurrentEthernet=00-1A-4C-10-00-04", "CtrlCurrentDescription=Block B, fan room 2",
                           "tbIP=10.40.1.13", "tbSub=255.255.0.0", "tbGateway=10.40.0.1", "tbDNS=10.40.0.2",
                           "tbHostName=", "tbDomain=", "tbDNSName=", "tbMainCompIP=10.40.0.5"}));

    // The security dialog opens with encryption on and the password typed;
    // closed as it is, a setup keeps both and changes only what was edited.
    const SecurityShown security = openSecurity(*tool, true, kDemoPassword);
    EXPECT_TRUE(security.checked);
    EXPECT_EQ(security.password, kDemoPassword);
    type(*tool, "CtrlCurrentDescription", QStringLiteral("Block B, fan room 2, supply air"));
    load(*tool);
    EXPECT_EQ(shown(ModalKind::Message), QStringList{text(kTextSetupDone) + QStringLiteral(" AHU 3")});
    EXPECT_EQ(changes(before, fleetFields()),
              (FieldMap{{"10-10004.description", "Block B, fan room 2, supply air"}}));
    EXPECT_TRUE(controller("10-10004").requireEncryption);
}

TEST_F(Encryption, CancellingThePasswordPromptShowsNothing) {
    auto tool = startAndChoose(QStringLiteral("10-10005"), {QString()});  // Cancel at the prompt
    EXPECT_EQ(shown(ModalKind::InputBox), QStringList{kAccessPrompt});
    EXPECT_EQ(field(*tool, "CtrlCurrentSerialNo")->text(), QString());
    EXPECT_EQ(field(*tool, "CtrlCurrentName")->text(), QString());
    EXPECT_TRUE(tool->isEnabled());
}

TEST_F(Encryption, TheSecurityDialogSwitchesAControllerToEncryptedAndBack) {
    const FieldMap before = fleetFields();
    const QString password = QStringLiteral("Chiller2-key!");
    auto tool = startAndChoose(QStringLiteral("10-10006"));
    ASSERT_EQ(field(*tool, "CtrlCurrentName")->text(), QStringLiteral("Chiller 2"));

    // On: require encryption with a new password.
    openSecurity(*tool, true, password);
    EXPECT_EQ(securityDialogsDriven_, 1);
    load(*tool);
    EXPECT_EQ(shown(ModalKind::Message), QStringList{text(kTextSetupDone) + QStringLiteral(" Chiller 2")});
    FieldMap changed = changes(before, fleetFields());
    EXPECT_EQ(changed["10-10006.requireEncryption"], "true");
    EXPECT_FALSE(changed["10-10006.encryptionKey"].empty()) << "the controller keeps a key";
    EXPECT_EQ(changed.size(), 2u) << ::testing::PrintToString(changed);
    const std::string stored = fleet_->toJson();
    EXPECT_EQ(stored.find(password.toStdString()), std::string::npos) << "the password itself is never stored";

    // From now on it is reached only with that password: a fresh tool's
    // search has to ask for it.
    tool.reset();
    comm::CloseService();
    comm::state() = comm::SharedState{};
    ModalSeam::clearLog();
    tool = startAndChoose(QStringLiteral("10-10006"), {password});
    EXPECT_EQ(shown(ModalKind::InputBox), QStringList{kAccessPrompt});
    ASSERT_EQ(field(*tool, "CtrlCurrentName")->text(), QStringLiteral("Chiller 2")) << modalLog();

    // Off again.
    const SecurityShown security = openSecurity(*tool, false, QString());
    EXPECT_TRUE(security.checked);
    EXPECT_EQ(security.password, password);
    load(*tool);
    EXPECT_EQ(shown(ModalKind::Message), QStringList{text(kTextSetupDone) + QStringLiteral(" Chiller 2")});
    changed = changes(before, fleetFields());
    EXPECT_EQ(changed, FieldMap{}) << "back where it started";
    EXPECT_FALSE(controller("10-10006").requireEncryption);
    EXPECT_EQ(setupsAppliedInFleet(), 2);
}

TEST_F(Encryption, AnEncryptedControllerIsUpgradedOnceItsPasswordIsGiven) {
    const FieldMap before = fleetFields();
    // Chosen with its password, then upgraded from the search dialog.
    auto tool = startAndChoose(QStringLiteral("10-10004"), {kDemoPassword});
    ASSERT_EQ(field(*tool, "CtrlCurrentName")->text(), QStringLiteral("AHU 3"));
    ModalSeam::clearLog();
    driveSearchDialog([](FormSearchTCP& search) {
        clickRow(search, QStringLiteral("10-10004"));
        ModalSeam::pushButton(ui::ButtonYes);
        ModalSeam::pushButton(ui::ButtonOk);
        press(search, "btnUpgrade");
        waitIdle(search);
        press(search, "ButtonCancel");
    });
    click(*tool, "btnSearchTCP");
    ASSERT_EQ(ModalSeam::log().size(), 2) << modalLog();
    EXPECT_TRUE(ModalSeam::log().at(0).text.contains(QStringLiteral("Revision in the controller: 3.0.4")));
    EXPECT_TRUE(ModalSeam::log().at(0).text.contains(QStringLiteral("Revision to upgrade to: 3.2.0")));
    EXPECT_TRUE(ModalSeam::log().at(1).text.startsWith(QStringLiteral("The controller has been upgraded successfully!")));
    EXPECT_EQ(changes(before, fleetFields()), (FieldMap{{"10-10004.portOsRevision", "3.2.0"}}));
    EXPECT_TRUE(controller("10-10004").requireEncryption);
}

// A setup of a controller that requires encryption, with only its name or
// description edited, must leave its encryption as it is: the encryption
// choices follow the controller shown until "Security..." changes them.
TEST_F(Encryption, EditingAnEncryptedControllerWithoutOpeningSecurityKeepsItsEncryption) {
    const FieldMap before = fleetFields();
    auto tool = startAndChoose(QStringLiteral("10-10005"), {kDemoPassword});
    ASSERT_EQ(field(*tool, "CtrlCurrentName")->text(), QStringLiteral("Chiller 1"));
    type(*tool, "CtrlCurrentDescription", QStringLiteral("Main building, roof, chiller plant 1"));
    load(*tool);
    EXPECT_EQ(shown(ModalKind::Message), QStringList{text(kTextSetupDone) + QStringLiteral(" Chiller 1")});
    EXPECT_EQ(changes(before, fleetFields()),
              (FieldMap{{"10-10005.description", "Main building, roof, chiller plant 1"}}));
    EXPECT_TRUE(controller("10-10005").requireEncryption);
}

}  // namespace
}  // namespace zelmar::acceptance
