// Writing the settings record into controllers that require encryption, or
// that are to require it: the wrong-password paths and the right ones, against
// the simulator (which now really checks the password).
#include "platform/netservice/crypto/crypto_keys.h"
#include "comm/encryption_choice.h"
#include "tests/comm/comm_fixture.h"

using namespace zelmar;
using namespace zelmar::comm;
using zelmar::commtest::CommTest;
using zelmar::commtest::controller;
using zelmar::commtest::encrypting;

namespace {

const QString kWrongPassword = "Wrong network password";

std::string keyOf(const sim::SimControllerState& s, const std::string& password) {
    return net::crypto::toHex(net::crypto::controllerKeyFromPassword(password, *net::wire::parseEthernet(s.ethernetAddress)));
}

class WriteEncrypted : public CommTest {
protected:
    // The record as the setup command leaves it, with the encryption choices the
    // security dialog leaves after a controller with an accepted password.
    void recordFor(const std::string& serial, bool requireEncryption, const QString& encryptionPassword) {
        SettingsRecord& r = renamedRecordFor(serial);
        r.UseDhcp = vbTrue;
        r.DnsName = "roof-unit.plant.test";
        r.RequireEncryption = requireEncryption ? vbTrue : vbFalse;
        r.EncryptionPassword = encryptionPassword;
    }
    void expectUnchanged(const sim::SimControllerState& before, const std::string& serial) {
        const auto now = sim(serial);
        EXPECT_EQ(now.name, before.name);
        EXPECT_EQ(now.description, before.description);
        EXPECT_EQ(now.useDhcp, before.useDhcp);
        EXPECT_EQ(now.requireEncryption, before.requireEncryption);
        EXPECT_EQ(now.setupsApplied, 0);
        EXPECT_EQ(now.checksReceived, 0);
    }
};

TEST_F(WriteEncrypted, AWrongOrEmptyNetworkPasswordIsReportedAndNothingIsWritten) {
    startSite({controller(1), encrypting(2, "Site-Pw-1")});
    const auto before = sim("20-00002");
    for (const QString& password : {QStringLiteral("not-the-one"), QString()}) {
        CloseService();
        state().NetworkPassword = password;
        recordFor("20-00002", true, "Site-Pw-1");
        ui::ModalSeam::clearLog();
        answer(ui::ButtonOk);
        EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Failed) << password.toStdString();
        EXPECT_EQ(shownTexts(), QStringList{kWrongPassword});
        EXPECT_EQ(ui::ModalSeam::log().first().style, 0);  // an error
        expectUnchanged(before, "20-00002");
        EXPECT_EQ(sim("20-00002").setupsReceived, 0);  // not even tried
    }
    // The controller told nothing but who it is.
    const std::int16_t index = FindControllerBySerialNo("20-00002", false);
    ASSERT_GE(index, 0);
    EXPECT_TRUE(Service().Item(index)->RequireEncryption());
    EXPECT_FALSE(Service().Item(index)->PasswordOk());
    EXPECT_EQ(Service().Item(index)->Name(), "");
}

TEST_F(WriteEncrypted, TheRightNetworkPasswordWritesEverythingSealed) {
    startSite({controller(1), encrypting(2, "Site-Pw-2")});
    state().NetworkPassword = "Site-Pw-2";
    recordFor("20-00002", true, "Site-Pw-2");
    EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Written);
    EXPECT_TRUE(ui::ModalSeam::log().isEmpty());
    const auto after = sim("20-00002");
    EXPECT_EQ(after.name, "Renamed");
    EXPECT_EQ(after.dnsName, "roof-unit.plant.test");
    EXPECT_TRUE(after.useDhcp);
    EXPECT_TRUE(after.requireEncryption);
    EXPECT_EQ(after.encryptionKey, keyOf(after, "Site-Pw-2"));  // the same password: the same key
    EXPECT_GE(after.sealedRequests, 3);                          // read, network check, setup
    EXPECT_EQ(after.wrongKeys, 0);
}

TEST_F(WriteEncrypted, ThePasswordTypedAfterAWrongOneIsAccepted) {
    startSite({encrypting(1, "Site-Pw-3")});
    state().NetworkPassword = "typo";
    recordFor("20-00001", true, "Site-Pw-3");
    answer(ui::ButtonOk);
    EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Failed);
    // As the setup command does after its password box: the new password, a forced lookup.
    state().NetworkPassword = "Site-Pw-3";
    const std::int16_t index = FindControllerBySerialNo("20-00001", true);
    ASSERT_GE(index, 0);
    EXPECT_TRUE(Service().Item(index)->PasswordOk());
    EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Written);
    EXPECT_EQ(sim("20-00001").name, "Renamed");
    EXPECT_EQ(sim("20-00001").wrongKeys, 1);
}

TEST_F(WriteEncrypted, TheRecordSwitchesEncryptionOnAndTheNewPasswordOpensIt) {
    startSite({controller(1), controller(2)});
    recordFor("20-00002", true, "Brand-New-Pw");
    EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Written);
    const auto after = sim("20-00002");
    EXPECT_TRUE(after.requireEncryption);
    EXPECT_EQ(after.encryptionKey, keyOf(after, "Brand-New-Pw"));
    EXPECT_EQ(after.name, "Renamed");
    // The network password is still empty: the entry says so; with the new one it opens.
    std::int16_t index = FindControllerBySerialNo("20-00002", true);
    ASSERT_GE(index, 0);
    EXPECT_FALSE(Service().Item(index)->PasswordOk());
    state().NetworkPassword = "Brand-New-Pw";
    index = FindControllerBySerialNo("20-00002", true);
    ASSERT_GE(index, 0);
    EXPECT_TRUE(Service().Item(index)->PasswordOk());
    EXPECT_EQ(Service().Item(index)->Name(), "Renamed");
}

TEST_F(WriteEncrypted, TheRecordChangesThePasswordAndSwitchesEncryptionOff) {
    startSite({encrypting(1, "Old-Site-Pw")});
    state().NetworkPassword = "Old-Site-Pw";
    recordFor("20-00001", true, "New-Site-Pw");
    EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Written);
    EXPECT_EQ(sim("20-00001").encryptionKey, keyOf(sim("20-00001"), "New-Site-Pw"));
    // The old network password no longer opens it: the next write is refused with the message.
    CloseService();
    recordFor("20-00001", false, QString());
    answer(ui::ButtonOk);
    EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Failed);
    EXPECT_EQ(shownTexts(), QStringList{kWrongPassword});
    EXPECT_TRUE(sim("20-00001").requireEncryption);
    // With the new one, encryption goes off and the key is forgotten.
    CloseService();
    state().NetworkPassword = "New-Site-Pw";
    recordFor("20-00001", false, QString());
    EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Written);
    const auto after = sim("20-00001");
    EXPECT_FALSE(after.requireEncryption);
    EXPECT_TRUE(after.encryptionKey.empty());
    EXPECT_EQ(after.setupsApplied, 2);
}

// The encryption choices a setup writes: those made in the security dialog
// hold for the controller they were made for; otherwise the shown controller's own.
using EncryptionChoice = CommTest;

void choose(const QString& serial, bool requireEncryption, const QString& password) {
    state().Settings.RequireEncryption = requireEncryption ? vbTrue : vbFalse;
    state().Settings.EncryptionPassword = password;
    HoldEncryptionChoice(serial);
}

void show(const char* serial) {
    const std::int16_t index = FindControllerBySerialNo(serial, true);
    ASSERT_GE(index, 0) << serial;
    TakeEncryptionOfShownController(index);
}

void expectRecord(bool requireEncryption, const QString& password) {
    EXPECT_EQ(state().Settings.RequireEncryption, requireEncryption ? vbTrue : vbFalse);
    EXPECT_EQ(state().Settings.EncryptionPassword, password);
}

TEST_F(EncryptionChoice, MadeForTheShownControllerTheyHoldWhenItIsShownAgainUntilASetupWritesThem) {
    startSite({controller(1), controller(2)});
    RestartSearch();
    show("20-00001");
    expectRecord(false, QString());
    choose("20-00001", true, "Chosen-Pw");

    RestartSearch();  // chosen again in the search dialog
    show("20-00001");
    expectRecord(true, "Chosen-Pw");
    CloseService();  // read as the connected controller: a fresh object resets the record
    OpenService();
    show("20-00001");
    expectRecord(true, "Chosen-Pw");

    state().Settings.SerialNo = "20-00001";
    state().Settings.Name = "Unit 1";
    ASSERT_EQ(WriteControllerSettings(), WriteOutcome::Written);
    EXPECT_TRUE(sim("20-00001").requireEncryption);
    // Written: from now on the record follows the controller again (its password is not known here).
    show("20-00001");
    expectRecord(true, QString());
}

TEST_F(EncryptionChoice, MadeWithNoControllerShownTheyGoToTheFirstOneAnotherTakesItsOwn) {
    startSite({controller(1), controller(2), encrypting(3, "Site-Pw")});
    state().NetworkPassword = "Site-Pw";
    choose(QString(), true, "Chosen-Pw");
    RestartSearch();
    show("20-00002");
    expectRecord(true, "Chosen-Pw");

    show("20-00003");
    expectRecord(true, "Site-Pw");
    show("20-00002");  // the choices belonged to the controller shown before: gone
    expectRecord(false, QString());
}

TEST_F(EncryptionChoice, TheSecurityDialogStartsFromTheHeldChoicesElseAnOpenedControllersElseNone) {
    CurrentControllerRecord& current = state().CurrentController;
    // Opened, requiring encryption: checked, with the network password.
    current.RequireEncryption = vbTrue;
    current.PasswordOk = 1;  // any nonzero value counts as True
    state().NetworkPassword = "Site-Pw";
    EncryptionShown shown = StartEncryptionChoice();
    EXPECT_TRUE(shown.requireEncryption);
    EXPECT_EQ(shown.password, "Site-Pw");

    // Opened, not requiring it: nothing shown, the network password kept for the next searches.
    current.RequireEncryption = vbFalse;
    shown = StartEncryptionChoice();
    EXPECT_FALSE(shown.requireEncryption);
    EXPECT_EQ(shown.password, "");
    EXPECT_EQ(state().NetworkPassword, "Site-Pw");

    // Not opened: nothing shown, and the network password is forgotten.
    current.RequireEncryption = vbTrue;
    current.PasswordOk = vbFalse;
    shown = StartEncryptionChoice();
    EXPECT_FALSE(shown.requireEncryption);
    EXPECT_EQ(state().NetworkPassword, "");

    // Chosen there and not yet written: shown again as they were left, whatever the controller.
    ChooseEncryption(true, "Chosen-Pw");
    expectRecord(true, "Chosen-Pw");
    HoldEncryptionChoice("20-00001");
    state().Settings = SettingsRecord{};
    shown = StartEncryptionChoice();
    EXPECT_TRUE(shown.requireEncryption);
    EXPECT_EQ(shown.password, "Chosen-Pw");
}

}  // namespace
