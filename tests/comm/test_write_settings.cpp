// Writing the settings record into a simulated controller.
#include "tests/comm/comm_fixture.h"

using namespace zelmar;
using namespace zelmar::comm;
using zelmar::commtest::CommTest;
using zelmar::commtest::site;

namespace {

const QString kNoEncryption =
    "The controller doesn't support encrypted communication, you must upgrade TCP/IP-os";
const QString kNetworkQuestion =
    "Can not setup. The configured IP settings of the controller are not appropriate for the network where it "
    "is connected.\r\nPress Cancel to exit the setup command or Ok to proceed.";

class WriteSettings : public CommTest {
protected:
    // The record as the setup command leaves it for controller 2.
    void recordFor(const std::string& serial) {
        SettingsRecord& r = renamedRecordFor(serial);
        r.HostName = "never-written-host";
        r.Domain = "never.written";
    }

    // Fixed settings for the record.
    static void setFixed(SettingsRecord& r, const QString& ip, const QString& mask, const QString& gateway,
                         const QString& dnsServer) {
        r.UseDhcp = vbFalse;
        r.IpAddress = ip;
        r.SubnetMask = mask;
        r.Gateway = gateway;
        r.DnsServer = dnsServer;
    }

    // Fixed settings outside the controllers' 10.30.0.0/16: they raise the network question.
    static void setFixedOutsideTheNetwork(SettingsRecord& r) {
        setFixed(r, "192.168.5.10", "255.255.255.0", "192.168.5.1", "192.168.5.2");
    }

    // Such settings for controller 2, and Cancel at the question.
    WriteOutcome writeOutsideTheNetworkCancelling() {
        recordFor("20-00002");
        setFixedOutsideTheNetwork(state().Settings);
        answer(ui::ButtonCancel);
        return WriteControllerSettings();
    }
};

TEST_F(WriteSettings, EmptyOrUnknownSerialNumberFailsQuietly) {
    startSite(site(2));
    EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Failed);
    EXPECT_FALSE(HasService()) << "an empty serial number reaches no service";

    RestartSearch();
    recordFor("20-00042");
    EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Failed);
    EXPECT_TRUE(ui::ModalSeam::log().isEmpty());
    EXPECT_EQ(sim("20-00001").setupsReceived + sim("20-00002").setupsReceived, 0);
}

TEST_F(WriteSettings, DhcpWritesTheDnsNameAndNotTheFixedSettings) {
    startSite(site(2));
    const auto before = sim("20-00002");
    recordFor("20-00002");
    SettingsRecord& r = state().Settings;
    r.UseDhcp = vbTrue;
    r.DnsName = "roof-unit.plant.test";
    r.IpAddress = "10.30.9.9";  // ignored with DHCP
    r.SubnetMask = "255.255.255.0";
    r.Gateway = "10.30.9.1";
    r.DnsServer = "10.30.9.2";

    EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Written);
    EXPECT_TRUE(ui::ModalSeam::log().isEmpty());

    const auto after = sim("20-00002");
    EXPECT_EQ(after.name, "Renamed");
    EXPECT_EQ(after.description, "Moved to the roof");
    EXPECT_EQ(after.mainComputerAddress, "10.30.0.6");
    EXPECT_TRUE(after.useDhcp);
    EXPECT_EQ(after.dnsName, "roof-unit.plant.test");
    EXPECT_EQ(after.configIpAddress, before.configIpAddress);
    EXPECT_EQ(after.configSubnetMask, before.configSubnetMask);
    EXPECT_EQ(after.configGateway, before.configGateway);
    EXPECT_EQ(after.configDnsServer, before.configDnsServer);
    EXPECT_FALSE(after.requireEncryption);
    EXPECT_EQ(after.setupsApplied, 1);
    EXPECT_EQ(sim("20-00001").setupsReceived, 0);
}

TEST_F(WriteSettings, FixedSettingsWriteTheFourAddressesAndNotTheDnsName) {
    auto controllers = site(2);
    controllers[1].useDhcp = true;
    controllers[1].dnsName = "old.plant.test";
    controllers[1].configIpAddress = controllers[1].configSubnetMask = "0.0.0.0";
    controllers[1].configGateway = controllers[1].configDnsServer = "0.0.0.0";
    startSite(controllers);
    recordFor("2000002");  // another spelling finds the same controller
    SettingsRecord& r = state().Settings;
    setFixed(r, "10.30.7.50", "255.255.0.0", "10.30.0.1", "10.30.0.2");
    r.DnsName = "new.plant.test";

    EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Written);
    EXPECT_TRUE(ui::ModalSeam::log().isEmpty());

    const auto after = sim("20-00002");
    EXPECT_FALSE(after.useDhcp);
    EXPECT_EQ(after.configIpAddress, "10.30.7.50");
    EXPECT_EQ(after.configSubnetMask, "255.255.0.0");
    EXPECT_EQ(after.configGateway, "10.30.0.1");
    EXPECT_EQ(after.configDnsServer, "10.30.0.2");
    EXPECT_EQ(after.ipAddress, "10.30.7.50");
    EXPECT_EQ(after.dnsName, "old.plant.test");
    EXPECT_EQ(after.name, "Renamed");
    EXPECT_GE(after.checksReceived, 1);

    // An empty gateway is written, not skipped: the controller no longer has one.
    r.Gateway.clear();
    EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Written);
    EXPECT_EQ(sim("20-00002").configGateway, "0.0.0.0");
}

TEST_F(WriteSettings, EncryptionAskedOfAControllerWithoutItWarnsOnceAndWritesTheRest) {
    auto controllers = site(2);
    controllers[1].capabilities = 0;
    startSite(controllers);
    recordFor("20-00002");
    SettingsRecord& r = state().Settings;
    r.UseDhcp = vbTrue;
    r.DnsName = "plain.plant.test";
    r.RequireEncryption = vbTrue;
    r.EncryptionPassword = "secret";

    answer(ui::ButtonOk);
    EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Written);
    ASSERT_EQ(ui::ModalSeam::log().size(), 1);
    EXPECT_EQ(ui::ModalSeam::log().first().text, kNoEncryption);
    EXPECT_EQ(ui::ModalSeam::log().first().style, 0);

    const auto after = sim("20-00002");
    EXPECT_EQ(after.name, "Renamed");
    EXPECT_EQ(after.description, "Moved to the roof");
    EXPECT_TRUE(after.useDhcp);
    EXPECT_EQ(after.dnsName, "plain.plant.test");
    EXPECT_FALSE(after.requireEncryption);
    EXPECT_EQ(after.setupsApplied, 1);
}

TEST_F(WriteSettings, SettingsUnfitForTheNetworkAskFirstOkWrites) {
    startSite(site(2));
    recordFor("20-00002");
    SettingsRecord& r = state().Settings;
    setFixedOutsideTheNetwork(r);

    answer(ui::ButtonOk);
    EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Written);
    ASSERT_EQ(ui::ModalSeam::log().size(), 1);
    EXPECT_EQ(ui::ModalSeam::log().first().kind, ui::ModalKind::Question);
    EXPECT_EQ(ui::ModalSeam::log().first().text, kNetworkQuestion);
    EXPECT_EQ(ui::ModalSeam::log().first().style, 257);
    EXPECT_EQ(sim("20-00002").ipAddress, "192.168.5.10");
    EXPECT_EQ(sim("20-00002").setupsApplied, 1);
}

TEST_F(WriteSettings, CancelAtTheNetworkQuestionAppliesNothing) {
    startSite(site(2));
    const auto before = sim("20-00002");
    EXPECT_EQ(writeOutsideTheNetworkCancelling(), WriteOutcome::Cancelled);
    EXPECT_EQ(ui::ModalSeam::log().size(), 1);

    const auto after = sim("20-00002");
    EXPECT_EQ(after.setupsReceived, 0);
    EXPECT_EQ(after.setupsApplied, 0);
    EXPECT_GE(after.checksReceived, 1);
    EXPECT_EQ(after.name, before.name);
    EXPECT_EQ(after.ipAddress, before.ipAddress);
    EXPECT_EQ(after.configIpAddress, before.configIpAddress);
}

TEST_F(WriteSettings, ValuesHeldBeforeACancelDoNotRideAlongWithTheNextWrite) {
    startSite(site(2));
    const auto before = sim("20-00002");
    ASSERT_EQ(writeOutsideTheNetworkCancelling(), WriteOutcome::Cancelled);

    // The technician switches to DHCP instead: only the DNS name goes with it.
    SettingsRecord& r = state().Settings;
    r.UseDhcp = vbTrue;
    r.DnsName = "roof-unit";
    ui::ModalSeam::clearLog();
    ASSERT_EQ(WriteControllerSettings(), WriteOutcome::Written);
    const auto after = sim("20-00002");
    EXPECT_EQ(after.setupsApplied, 1);
    EXPECT_TRUE(after.useDhcp);
    EXPECT_EQ(after.configIpAddress, before.configIpAddress);
    EXPECT_EQ(after.configSubnetMask, before.configSubnetMask);
}

TEST_F(WriteSettings, AServiceCreatedOnDemandKeepsTheCollectedSettings) {
    startSite(site(2));
    CloseService();
    state().Settings.SerialNo = "20-00002";
    state().Settings.Name = "Collected";
    Service();
    EXPECT_EQ(state().Settings.SerialNo, "20-00002");
    EXPECT_EQ(state().Settings.Name, "Collected");
}

TEST_F(WriteSettings, ASetupTheControllerRejectsFailsAndChangesNothing) {
    startSite(site(2));
    const auto before = sim("20-00002");
    recordFor("20-00002");
    SettingsRecord& r = state().Settings;
    r.UseDhcp = vbTrue;
    r.DnsName = "not a host name!";  // the controller refuses the whole setup

    EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Failed);
    EXPECT_TRUE(ui::ModalSeam::log().isEmpty());
    const auto after = sim("20-00002");
    EXPECT_EQ(after.setupsRejected, 1);
    EXPECT_EQ(after.setupsApplied, 0);
    EXPECT_EQ(after.name, before.name);
    EXPECT_FALSE(after.useDhcp);
}

TEST_F(WriteSettings, NoAnswerToTheNetworkCheckAsksNothing) {
    startSite(site(2));
    RestartSearch();
    recordFor("20-00002");
    SettingsRecord& r = state().Settings;
    setFixedOutsideTheNetwork(r);  // would raise the question if the controller answered
    fleet().setOffline("20-00002", true);

    // The strict seam would throw on any question.
    EXPECT_EQ(WriteControllerSettings(), WriteOutcome::Failed);
    EXPECT_TRUE(ui::ModalSeam::log().isEmpty());
    EXPECT_EQ(sim("20-00002").setupsApplied, 0);
}

}  // namespace
