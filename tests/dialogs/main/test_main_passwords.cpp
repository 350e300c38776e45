// The dialog's use of the network password against controllers that really
// require encryption: the access prompt when a controller is chosen, the setup
// prompt when the password the service holds no longer opens the controller,
// and reading a connected controller whose password is not known. How the
// prompt is asked and repeated is the communication module's (tests/comm).
#include "sim_fixture.h"

#include "platform/netservice/net_service.h"

namespace zelmar::testing {
namespace {

const QString kRightPassword = QStringLiteral("Net-Pw-1");
const QString kWrongPassword = QStringLiteral("not-it");
const QString kAccessPrompt =
    QStringLiteral("You need a password to access this controller.\r\nPlease enter a password.");
const QString kSetupPrompt = QStringLiteral("This controller needs a password to allow setup.\r\nPlease enter a password.");

class MainPasswords : public MainDialogSimTest {
protected:
    // Controller 1 requires encryption under kRightPassword; controller 2 does not.
    static sim::SimControllerState secured(int n, const std::string& name) {
        sim::SimControllerState c = controller(n, name);
        c.requireEncryption = true;
        c.capabilities = 8;
        c.encryptionPassword = kRightPassword.toStdString();
        c.dnsName = "secure.site.example";
        c.gateway = "127.79.0.254";  // not the controller's own address: a setup of these settings is taken
        return c;
    }

    std::unique_ptr<FormTCPSettings> shownDialog() {
        auto d = loadedDialogShown();
        return d;
    }

    // Every request the modal seam saw, as kind and text, for exact order checks.
    static QStringList boxes() {
        QStringList seen;
        for (const ui::ModalRequest& r : ModalSeam::log()) {
            const char* kind = r.kind == ModalKind::InputBox ? "input" : r.kind == ModalKind::Question ? "question"
                                                                                                       : "message";
            seen << QString::fromLatin1(kind) + QStringLiteral(": ") + r.text;
        }
        return seen;
    }

    static void expectPrompts(const QString& prompt, int count) {
        EXPECT_EQ(shown(ModalKind::InputBox), QStringList(QList<QString>(count, prompt)));
    }
};

// --- Choosing a controller -------------------------------------------------

TEST_F(MainPasswords, ChoosingAnEncryptedControllerAsksUntilTheRightPasswordThenShowsWhatWasReadSealed) {
    startFleet({secured(1, "Secure"), controller(2, "Open")});
    ASSERT_TRUE(comm::state().NetworkPassword.isEmpty());
    auto d = shownDialog();
    chooseInSearchDialog(QStringLiteral("10-00001"), 2);
    ModalSeam::pushInput(kWrongPassword);
    ModalSeam::pushInput(kRightPassword);
    button(*d, "btnSearchTCP")->click();

    EXPECT_EQ(searchDialogSeen_.size(), 1);
    expectPrompts(kAccessPrompt, 2);
    EXPECT_EQ(ModalSeam::log().size(), 2);  // nothing but the two boxes
    const comm::CurrentControllerRecord& current = comm::state().CurrentController;
    EXPECT_EQ(current.RequireEncryption, vbTrue);
    EXPECT_EQ(current.PasswordOk, vbTrue);
    EXPECT_EQ(comm::state().NetworkPassword, kRightPassword);
    // Name, description, mask, gateway, DNS server and DNS name are never sent in clear
    // by this controller: seeing them means the sealed read worked.
    EXPECT_EQ(controllerFields(*d),
              QStringList({"Secure", "10-00001", current.EthernetAddress, "Building 1", "127.79.0.1", "255.255.0.0",
                           "127.79.0.254", "127.79.0.2", "secure", "site.example", "secure.site.example"}));
    EXPECT_FALSE(current.EthernetAddress.isEmpty());
    EXPECT_EQ(edit(*d, "tbMainCompIP")->text(), QStringLiteral("127.79.0.200"));
    EXPECT_EQ(check(*d, "rbIP")->checkState(), Qt::Checked);
    // A setup afterwards keeps the encryption with the password that opened it.
    EXPECT_EQ(comm::state().Settings.RequireEncryption, vbTrue);
    EXPECT_EQ(comm::state().Settings.EncryptionPassword, kRightPassword);
    EXPECT_TRUE(d->isEnabled());
}

TEST_F(MainPasswords, CancelAtTheAccessPromptClearsTheFieldsAndKeepsTheNetworkPassword) {
    startFleet({secured(1, "Secure")});
    comm::state().NetworkPassword = QStringLiteral("other-site");  // known, but not this controller's
    auto d = shownDialog();
    edit(*d, "CtrlCurrentName")->setText(QStringLiteral("shown before"));
    edit(*d, "tbIP")->setText(QStringLiteral("127.79.0.99"));
    edit(*d, "tbHostName")->setText(QStringLiteral("host"));
    edit(*d, "tbMainCompIP")->setText(QStringLiteral("127.79.0.201"));
    chooseInSearchDialog(QStringLiteral("10-00001"), 1);
    ModalSeam::pushInput(QString());  // Cancel
    button(*d, "btnSearchTCP")->click();

    expectPrompts(kAccessPrompt, 1);
    EXPECT_EQ(ModalSeam::log().size(), 1);
    EXPECT_EQ(controllerFields(*d).join(QString()), QString());
    EXPECT_EQ(edit(*d, "tbMainCompIP")->text(), QStringLiteral("127.79.0.201"));  // not a controller field
    EXPECT_EQ(comm::state().NetworkPassword, QStringLiteral("other-site"));
    EXPECT_EQ(comm::state().CurrentController.PasswordOk, vbFalse);
    EXPECT_TRUE(d->isEnabled());
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
    EXPECT_TRUE(d->findChildren<QDialog*>().isEmpty());

    // Setup now has no controller shown: nothing is asked and nothing written.
    button(*d, "btnSetup")->click();
    EXPECT_EQ(ModalSeam::log().size(), 1);
    EXPECT_EQ(simState("10-00001").setupsReceived, 0);
    EXPECT_TRUE(d->isEnabled());
}

// The public step of the prompt's loop: the record's PasswordOk follows what
// the entry reports for the network password it was found with.
TEST_F(MainPasswords, CheckPasswordTakesTheEntrysVerdictIntoTheRecord) {
    startFleet({secured(1, "Secure")});
    auto d = newDialog();
    VBool& verdict = comm::state().CurrentController.PasswordOk;
    for (const auto& [password, opens] : {std::pair{kWrongPassword, false}, std::pair{kRightPassword, true}}) {
        comm::state().NetworkPassword = password;
        verdict = toVBool(!opens);
        std::int16_t index = comm::FindControllerBySerialNo(QStringLiteral("10-00001"), true);
        ASSERT_NE(index, -1);
        d->checkPassword(index);
        EXPECT_EQ(verdict, toVBool(opens)) << password.toStdString();
    }
}

// --- Setup -------------------------------------------------------------------

class MainPasswordSetup : public MainPasswords {
protected:
    // Fixed settings must be usable host settings, which loopback addresses are not:
    // the controller keeps them on a documentation network (data only; the service
    // still talks to it on its loopback address).
    static sim::SimControllerState securedOnDocumentationNetwork() {
        sim::SimControllerState c = secured(1, "Secure");
        c.ipAddress = c.configIpAddress = "192.0.2.11";
        c.subnetMask = c.configSubnetMask = "255.255.255.0";
        c.gateway = c.configGateway = "192.0.2.1";
        c.dnsServer = c.configDnsServer = "192.0.2.2";
        c.mainComputerAddress = "192.0.2.200";
        c.attachedNetwork = "192.0.2.0/24";
        return c;
    }

    // The encrypted controller chosen with the right password, then the network
    // password changed to a wrong one and the service's entries read anew with it,
    // as after "Restart Search" in the search dialog.
    std::unique_ptr<FormTCPSettings> shownThenPasswordLost() {
        comm::state().NetworkPassword = kRightPassword;
        auto d = shownDialog();
        chooseInSearchDialog(QStringLiteral("10-00001"), 1);
        button(*d, "btnSearchTCP")->click();
        EXPECT_EQ(edit(*d, "CtrlCurrentName")->text(), QStringLiteral("Secure"));
        EXPECT_TRUE(ModalSeam::log().isEmpty());

        comm::state().NetworkPassword = kWrongPassword;
        comm::RestartSearch();
        const std::int16_t index = comm::FindControllerBySerialNo(QStringLiteral("10-00001"), false);
        EXPECT_NE(index, -1);
        if (index != -1) {
            EXPECT_FALSE(comm::Service().Item(index)->PasswordOk());
        }
        return d;
    }
};

TEST_F(MainPasswordSetup, WrongThenRightPasswordWritesAndKeepsTheEncryption) {
    startFleet({securedOnDocumentationNetwork()});
    auto d = shownThenPasswordLost();
    edit(*d, "CtrlCurrentName")->setText(QStringLiteral("Secure east"));
    edit(*d, "CtrlCurrentDescription")->setText(QStringLiteral("Hus 4"));
    edit(*d, "tbIP")->setText(QStringLiteral("192.0.2.77"));
    ModalSeam::pushInput(kWrongPassword + QStringLiteral("-2"));
    ModalSeam::pushInput(kRightPassword);
    ModalSeam::pushButton(ui::ButtonOk);  // the result
    button(*d, "btnSetup")->click();

    expectPrompts(kSetupPrompt, 2);
    EXPECT_EQ(boxes(), QStringList({QStringLiteral("input: ") + kSetupPrompt, QStringLiteral("input: ") + kSetupPrompt,
                                    QStringLiteral("message: ") + text(4558) + QStringLiteral(" Secure east")}));
    EXPECT_EQ(ModalSeam::log().at(2).style, 2);
    EXPECT_EQ(comm::state().NetworkPassword, kRightPassword);
    const sim::SimControllerState s = simState("10-00001");
    EXPECT_EQ(s.setupsApplied, 1);
    EXPECT_EQ(s.name, "Secure east");
    EXPECT_EQ(s.description, "Hus 4");
    EXPECT_EQ(s.configIpAddress, "192.0.2.77");
    EXPECT_TRUE(s.requireEncryption);  // not switched off by editing a name
    EXPECT_TRUE(d->isEnabled());
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
}

TEST_F(MainPasswordSetup, CancelAtTheSetupPromptWritesNothingAndSaysNothing) {
    startFleet({securedOnDocumentationNetwork()});
    auto d = shownThenPasswordLost();
    edit(*d, "CtrlCurrentName")->setText(QStringLiteral("Not written"));
    ModalSeam::pushInput(QString());
    button(*d, "btnSetup")->click();

    expectPrompts(kSetupPrompt, 1);
    EXPECT_EQ(ModalSeam::log().size(), 1);  // no result message
    EXPECT_EQ(comm::state().NetworkPassword, kWrongPassword);
    const sim::SimControllerState s = simState("10-00001");
    EXPECT_EQ(s.setupsReceived, 0);
    EXPECT_EQ(s.name, "Secure");
    EXPECT_EQ(s.configIpAddress, "192.0.2.11");
    EXPECT_TRUE(d->isEnabled());
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
}

// --- The connected controller ---------------------------------------------------
//
// Without its password a controller that requires encryption tells a connected
// read its identity and present address only. The dialog does not show those
// blanks as its settings (a setup would write them back); it asks for the
// password as for a chosen controller and shows what the controller then tells.

TEST_F(MainPasswordSetup, AConnectedControllerRequiringEncryptionAsksForThePasswordBeforeShowingIt) {
    sim::SimControllerState cabled = securedOnDocumentationNetwork();
    cabled.connected = true;
    startFleet({cabled, controller(2, "Open")});
    auto d = newDialog();
    ModalSeam::pushButton(ui::ButtonYes);
    ModalSeam::pushInput(kWrongPassword);
    ModalSeam::pushInput(kRightPassword);
    d->Form_Load();
    showActive(*d);

    EXPECT_EQ(boxes(), QStringList({QStringLiteral("question: ") + text(4552), QStringLiteral("input: ") + kAccessPrompt,
                                    QStringLiteral("input: ") + kAccessPrompt}));
    expectPrompts(kAccessPrompt, 2);
    // What the read copied: identity only.
    EXPECT_EQ(comm::state().Settings.SerialNo, QStringLiteral("10-00001"));
    EXPECT_TRUE(comm::state().Settings.Name.isEmpty());
    // What is shown: everything, read sealed with the password typed.
    const QString ethernet = edit(*d, "CtrlCurrentEthernet")->text();
    EXPECT_FALSE(ethernet.isEmpty());
    EXPECT_EQ(controllerFields(*d),
              QStringList({"Secure", "10-00001", ethernet, "Building 1", "192.0.2.11", "255.255.255.0", "192.0.2.1",
                           "192.0.2.2", "secure", "site.example", "secure.site.example"}));
    EXPECT_EQ(edit(*d, "tbMainCompIP")->text(), QStringLiteral("192.0.2.200"));
    EXPECT_EQ(comm::state().NetworkPassword, kRightPassword);
    EXPECT_EQ(comm::state().CurrentController.PasswordOk, vbTrue);
    EXPECT_TRUE(useTcp(*d)->isChecked());
    EXPECT_EQ(d->LoadingFlg, vbFalse);

    // A setup then needs no further password and writes only what was edited.
    ModalSeam::clearLog();
    edit(*d, "CtrlCurrentDescription")->setText(QStringLiteral("Cabled, room 2"));
    ModalSeam::pushButton(ui::ButtonOk);
    button(*d, "btnSetup")->click();
    EXPECT_EQ(boxes(), QStringList({QStringLiteral("message: ") + text(4558) + QStringLiteral(" Secure")}));
    const sim::SimControllerState s = simState("10-00001");
    EXPECT_EQ(s.setupsApplied, 1);
    EXPECT_EQ(s.description, "Cabled, room 2");
    EXPECT_EQ(s.name, "Secure");
    EXPECT_EQ(s.mainComputerAddress, "192.0.2.200");
    EXPECT_EQ(s.configSubnetMask, "255.255.255.0");
    EXPECT_TRUE(s.requireEncryption);
    EXPECT_EQ(simState("10-00002").setupsReceived, 0);
}

TEST_F(MainPasswordSetup, CancelAfterReadingAnEncryptedConnectedControllerShowsNothingAndSetupWritesNothing) {
    sim::SimControllerState cabled = securedOnDocumentationNetwork();
    cabled.connected = true;
    startFleet({cabled});
    auto d = newDialog();
    ModalSeam::pushButton(ui::ButtonYes);
    ModalSeam::pushInput(QString());
    d->Form_Load();
    showActive(*d);

    EXPECT_EQ(boxes(), QStringList({QStringLiteral("question: ") + text(4552), QStringLiteral("input: ") + kAccessPrompt}));
    EXPECT_EQ(controllerFields(*d).join(QString()), QString());
    EXPECT_TRUE(comm::state().NetworkPassword.isEmpty());
    EXPECT_TRUE(d->isEnabled());
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);

    ModalSeam::clearLog();
    button(*d, "btnSetup")->click();
    EXPECT_TRUE(ModalSeam::log().isEmpty());
    EXPECT_EQ(simState("10-00001").setupsReceived, 0);
    EXPECT_EQ(simState("10-00001").name, "Secure");
}

}  // namespace
}  // namespace zelmar::testing
