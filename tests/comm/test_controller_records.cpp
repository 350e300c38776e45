// Taking a controller into the shared records: the copy from an entry (as the
// controller keeps its settings, or as the search list shows it), the network
// password asked for until the controller opens, the connected controller that
// needs its password first, and the find-more match.
#include "comm/input/address_input.h"
#include "comm/controller_records.h"
#include "comm/network_password.h"
#include "tests/comm/comm_fixture.h"

using namespace zelmar;
using namespace zelmar::comm;
using zelmar::commtest::CommTest;
using zelmar::commtest::controller;

namespace {

const QString kAccessPrompt = "You need a password to access this controller.\r\nPlease enter a password.";
const QString kSetupPrompt = "This controller needs a password to allow setup.\r\nPlease enter a password.";
const QString kRight = "Site-Pw-1";

// Controller n requiring encryption with the right password, under a DNS name of its own.
sim::SimControllerState encrypting(int n) {
    sim::SimControllerState s = commtest::encrypting(n, kRight.toStdString());
    s.dnsName = "secure.site.example";
    return s;
}

class ControllerRecords : public CommTest {
protected:
    // Every prompt the seam saw must be the masked one under the tool's title.
    static void expectMaskedPrompts(const QString& prompt, qsizetype count) {
        qsizetype seen = 0;
        for (const ui::ModalRequest& r : ui::ModalSeam::log()) {
            ASSERT_EQ(r.kind, ui::ModalKind::InputBox);
            EXPECT_EQ(r.text, prompt);
            EXPECT_EQ(r.title, ui::applicationTitle());
            EXPECT_TRUE(r.hideInput) << "a password prompt shows what is typed";
            ++seen;
        }
        EXPECT_EQ(seen, count);
    }
};

TEST_F(ControllerRecords, TheListedCopyTakesNoAddressAsEmptyAndTheEncryptionStateTheSettingsCopyAllAsKept) {
    sim::SimControllerState unset = controller(3);
    unset.ipAddress = "0.0.0.0";
    unset.gateway = "0.0.0.0";
    unset.dnsServer = "0.0.0.0";
    unset.dnsName = "chiller.plant.example";
    startSite({controller(1), unset});
    RestartSearch();
    state().CurrentController.MainComputerAddress = "kept";

    EXPECT_TRUE(TakeListedController("20-00003"));
    const CurrentControllerRecord listed = state().CurrentController;
    EXPECT_EQ(listed.Name, "Controller 3");
    EXPECT_EQ(listed.SerialNo, "20-00003");
    EXPECT_EQ(listed.IpAddress, "");
    EXPECT_EQ(listed.SubnetMask, "255.255.0.0");
    EXPECT_EQ(listed.Gateway, "");
    EXPECT_EQ(listed.DnsServer, "0.0.0.0");  // a DNS server's "0.0.0.0" is kept
    EXPECT_EQ(listed.DnsName, "chiller.plant.example");
    EXPECT_EQ(listed.EthernetAddress, QString::fromStdString(unset.ethernetAddress));
    EXPECT_EQ(listed.Description, "Plant room 3");
    EXPECT_EQ(listed.UseDhcp, vbFalse);
    EXPECT_EQ(listed.RequireEncryption, vbFalse);
    EXPECT_EQ(listed.PasswordOk, vbTrue);
    EXPECT_EQ(listed.MainComputerAddress, "kept");

    CopyControllerEntry(FindControllerBySerialNo("20-00003", false), EntryCopy::Settings, state().CurrentController);
    EXPECT_EQ(state().CurrentController.IpAddress, "0.0.0.0");
    EXPECT_EQ(state().CurrentController.Gateway, "0.0.0.0");
    EXPECT_EQ(state().CurrentController.MainComputerAddress, "10.30.0.5");

    // Gone from the entries: nothing taken.
    EXPECT_FALSE(TakeListedController("20-00009"));
    EXPECT_FALSE(TakeListedController(""));
    EXPECT_EQ(state().CurrentController.SerialNo, "20-00003");
    EXPECT_TRUE(ui::ModalSeam::log().isEmpty());
}

TEST_F(ControllerRecords, TheCurrentControllerIsAskedForUntilThePasswordOpensIt) {
    startSite({encrypting(1), controller(2)});
    RestartSearch();
    ASSERT_TRUE(TakeListedController("20-00001"));
    ASSERT_EQ(state().CurrentController.PasswordOk, vbFalse);

    ui::ModalSeam::pushInput("not-it");
    ui::ModalSeam::pushInput(kRight);
    EXPECT_EQ(OpenCurrentController(), Access::Open);
    expectMaskedPrompts(kAccessPrompt, 2);
    EXPECT_EQ(state().NetworkPassword, kRight);
    EXPECT_EQ(state().CurrentController.PasswordOk, vbTrue);
    EXPECT_GE(sim("20-00001").wrongKeys, 1);  // the wrong answer was refused on the wire

    // Opened now: nothing more is asked.
    ui::ModalSeam::clearLog();
    EXPECT_EQ(OpenCurrentController(), Access::Open);
    EXPECT_TRUE(ui::ModalSeam::log().isEmpty());
}

TEST_F(ControllerRecords, CancelKeepsTheNetworkPasswordAndAControllerGoneEndsTheAsking) {
    startSite({encrypting(1)});
    state().NetworkPassword = "other-site";
    RestartSearch();
    ASSERT_TRUE(TakeListedController("20-00001"));

    ui::ModalSeam::pushInput("");
    EXPECT_EQ(OpenCurrentController(), Access::Cancelled);
    expectMaskedPrompts(kAccessPrompt, 1);
    EXPECT_EQ(state().NetworkPassword, "other-site");
    EXPECT_EQ(state().CurrentController.PasswordOk, vbFalse);

    ui::ModalSeam::clearLog();
    fleet().setOffline("20-00001", true);
    CloseService();  // entries stay after a search that did not hear them: a fresh service has none
    ui::ModalSeam::pushInput(kRight);
    EXPECT_EQ(OpenCurrentController(), Access::NotFound);
    expectMaskedPrompts(kAccessPrompt, 1);  // asked once, then looked up in vain
}

TEST_F(ControllerRecords, ASetupAsksWithItsOwnPromptOnlyWhileTheControllerStaysShut) {
    startSite({encrypting(1), controller(2)});
    state().NetworkPassword = "not-it";
    RestartSearch();

    EXPECT_EQ(OpenControllerForSetup("20-00002"), Access::Open);  // no encryption: nothing asked
    EXPECT_EQ(OpenControllerForSetup("20-00009"), Access::NotFound);
    EXPECT_TRUE(ui::ModalSeam::log().isEmpty());

    ui::ModalSeam::pushInput("still-not-it");
    ui::ModalSeam::pushInput("");
    EXPECT_EQ(OpenControllerForSetup("20-00001"), Access::Cancelled);
    expectMaskedPrompts(kSetupPrompt, 2);
    EXPECT_EQ(state().NetworkPassword, "still-not-it");

    ui::ModalSeam::clearLog();
    ui::ModalSeam::pushInput(kRight);
    EXPECT_EQ(OpenControllerForSetup("20-00001"), Access::Open);
    expectMaskedPrompts(kSetupPrompt, 1);
    EXPECT_EQ(sim("20-00001").setupsApplied, 0);  // opened, nothing written yet
}

TEST_F(ControllerRecords, AConnectedControllerThatStaysShutBecomesTheCurrentOneToBeAskedFor) {
    startSite({encrypting(1), controller(2)});
    RestartSearch();
    state().Settings.SerialNo = "20-00001";
    EXPECT_TRUE(ConnectedControllerNeedsPassword());
    EXPECT_EQ(state().CurrentController.SerialNo, "20-00001");
    EXPECT_EQ(state().CurrentController.RequireEncryption, vbTrue);
    EXPECT_EQ(state().CurrentController.PasswordOk, vbFalse);

    // One that needs no password is shown from the settings record, its encryption kept.
    state().Settings.SerialNo = "20-00002";
    state().Settings.RequireEncryption = vbTrue;
    EXPECT_FALSE(ConnectedControllerNeedsPassword());
    EXPECT_EQ(state().CurrentController.RequireEncryption, vbFalse);
    EXPECT_EQ(state().CurrentController.PasswordOk, vbTrue);
    EXPECT_EQ(state().Settings.RequireEncryption, vbFalse);

    // Opened by the network password: shown at once, with that password as its encryption's.
    CloseService();
    state().NetworkPassword = kRight;
    RestartSearch();
    state().Settings.SerialNo = "20-00001";
    EXPECT_FALSE(ConnectedControllerNeedsPassword());
    EXPECT_EQ(state().CurrentController.PasswordOk, vbTrue);
    EXPECT_EQ(state().Settings.RequireEncryption, vbTrue);
    EXPECT_EQ(state().Settings.EncryptionPassword, kRight);
    EXPECT_TRUE(ui::ModalSeam::log().isEmpty());
}

TEST_F(ControllerRecords, FindMoreMatchesTheFirstEntryByMaskDnsNameOrAddress) {
    sim::SimControllerState named = controller(2);
    named.dnsName = "unit2.site.example";
    startSite({controller(1), named, controller(3)});
    RestartSearch();
    const auto at = [](const char* serial) { return FindControllerBySerialNo(serial, false); };
    EXPECT_EQ(FindFirstEntryMatching(splitAddressInput("unit2.site.example")), at("20-00002"));
    EXPECT_EQ(FindFirstEntryMatching(splitAddressInput("10.30.0.13")), at("20-00003"));
    EXPECT_EQ(FindFirstEntryMatching(splitAddressInput("10.30.0.0/255.255.0.0")), 0);  // every entry has that mask
    EXPECT_EQ(FindFirstEntryMatching(splitAddressInput("10.30.0.99")), -1);
}

}  // namespace
