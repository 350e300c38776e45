// The setup command: the fields collected into the settings record, the write
// into the simulated controller, the result message, and the window disabled
// with the hourglass for the whole command.
//
// The fixed IP settings written here (192.0.2.0/24, a documentation network)
// are data kept by the simulated controller; the service only ever sends to
// the controller's loopback address.
#include "sim_fixture.h"

#include <QEvent>

namespace zelmar::testing {
namespace {

// Records the dialog's enabled state and the mouse pointer at every change of the former.
class EnabledWatch : public QObject {
public:
    explicit EnabledWatch(QWidget* watched) { watched->installEventFilter(this); }
    QList<std::pair<bool, ui::MousePointer>> changes;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange)
            changes.append({static_cast<QWidget*>(watched)->isEnabled(), ui::mousePointer()});
        return false;
    }
};

class MainSetup : public MainDialogSimTest {
protected:
    static sim::SimControllerState onDocumentationNetwork(int n, const std::string& name) {
        sim::SimControllerState c = controller(n, name);
        c.ipAddress = c.configIpAddress = "192.0.2." + std::to_string(10 + n);
        c.subnetMask = c.configSubnetMask = "255.255.255.0";
        c.gateway = c.configGateway = "192.0.2.1";
        c.dnsServer = c.configDnsServer = "192.0.2.2";
        c.mainComputerAddress = "192.0.2.200";
        c.attachedNetwork = "192.0.2.0/24";
        c.dnsName = "old.site.example";
        return c;
    }

    // The dialog showing controller `serialNo`, as after choosing it in the search dialog.
    std::unique_ptr<FormTCPSettings> dialogShowing(const QString& serialNo) {
        auto d = loadedDialogShown();
        comm::state().CurrentController.SerialNo = serialNo;
        MainDialogAccess::ShowCurrentController(*d, vbTrue);
        EXPECT_EQ(edit(*d, "CtrlCurrentSerialNo")->text(), serialNo);
        return d;
    }

    static void expectUsableAfterwards(const FormTCPSettings& d, const EnabledWatch& watch) {
        EXPECT_TRUE(d.isEnabled());
        EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
        ASSERT_GE(watch.changes.size(), 2);
        // Disabled with the hourglass first, enabled again at the end.
        EXPECT_FALSE(watch.changes.first().first);
        EXPECT_EQ(watch.changes.first().second, ui::MousePointer::Hourglass);
        EXPECT_TRUE(watch.changes.last().first);
    }
};

TEST_F(MainSetup, DhcpWritesNameDescriptionModeAndTheFullDnsName) {
    startFleet({onDocumentationNetwork(1, "Boiler 1"), onDocumentationNetwork(2, "Boiler 2")});
    auto d = dialogShowing(QStringLiteral("10-00002"));
    check(*d, "rbDHCP")->setChecked(true);
    edit(*d, "CtrlCurrentName")->setText(QStringLiteral("Boiler 2 east"));
    edit(*d, "CtrlCurrentDescription")->setText(QStringLiteral("Hus 3, plan 2"));
    edit(*d, "tbHostName")->setText(QStringLiteral("boiler2"));
    edit(*d, "tbDomain")->setText(QStringLiteral("plant.example"));
    edit(*d, "tbMainCompIP")->setText(QStringLiteral("192.0.2.201"));
    edit(*d, "tbIP")->setText(QStringLiteral("192.0.2.99"));  // disabled with DHCP; collected, not written
    EnabledWatch watch(d.get());
    ModalSeam::pushButton(ui::ButtonOk);
    button(*d, "btnSetup")->click();

    ASSERT_EQ(ModalSeam::log().size(), 1);
    EXPECT_EQ(ModalSeam::log().at(0).kind, ModalKind::Message);
    EXPECT_EQ(ModalSeam::log().at(0).style, 2);  // an information message
    EXPECT_EQ(ModalSeam::log().at(0).text, text(4558) + QStringLiteral(" Boiler 2 east"));
    const sim::SimControllerState s = simState("10-00002");
    EXPECT_EQ(s.setupsApplied, 1);
    EXPECT_EQ(s.name, "Boiler 2 east");
    EXPECT_EQ(s.description, "Hus 3, plan 2");
    EXPECT_TRUE(s.useDhcp);
    EXPECT_EQ(s.dnsName, "boiler2.plant.example");
    EXPECT_EQ(s.mainComputerAddress, "192.0.2.201");
    EXPECT_EQ(s.configIpAddress, "192.0.2.12");  // fixed settings untouched with DHCP
    EXPECT_EQ(simState("10-00001").setupsReceived, 0);
    // The record keeps what was collected.
    const comm::SettingsRecord& r = comm::state().Settings;
    EXPECT_EQ(r.IpAddress, QStringLiteral("192.0.2.99"));
    EXPECT_EQ(r.HostName, QStringLiteral("boiler2"));
    EXPECT_EQ(r.Domain, QStringLiteral("plant.example"));
    EXPECT_EQ(r.UseDhcp, vbTrue);
    EXPECT_EQ(r.UseConnectedController, vbTrue);
    expectUsableAfterwards(*d, watch);
}

TEST_F(MainSetup, FixedWritesTheFourAddressSettingsNotTheDnsName) {
    startFleet({onDocumentationNetwork(1, "Boiler 1")});
    auto d = dialogShowing(QStringLiteral("10-00001"));
    ASSERT_EQ(check(*d, "rbIP")->checkState(), Qt::Checked);
    edit(*d, "tbIP")->setText(QStringLiteral("192.0.2.77"));
    edit(*d, "tbSub")->setText(QStringLiteral("255.255.255.128"));
    edit(*d, "tbGateway")->setText(QStringLiteral("192.0.2.126"));
    edit(*d, "tbDNS")->setText(QStringLiteral("192.0.2.3"));
    edit(*d, "tbHostName")->setText(QStringLiteral("ignored"));  // disabled with fixed settings
    EnabledWatch watch(d.get());
    ModalSeam::pushButton(ui::ButtonOk);
    button(*d, "btnSetup")->click();

    EXPECT_EQ(shown(ModalKind::Message), QStringList({text(4558) + QStringLiteral(" Boiler 1")}));
    const sim::SimControllerState s = simState("10-00001");
    EXPECT_EQ(s.setupsApplied, 1);
    EXPECT_FALSE(s.useDhcp);
    EXPECT_EQ(s.configIpAddress, "192.0.2.77");
    EXPECT_EQ(s.configSubnetMask, "255.255.255.128");
    EXPECT_EQ(s.configGateway, "192.0.2.126");
    EXPECT_EQ(s.configDnsServer, "192.0.2.3");
    EXPECT_EQ(s.dnsName, "old.site.example");
    EXPECT_EQ(comm::state().Settings.DnsName, QStringLiteral("ignored.site.example"));
    expectUsableAfterwards(*d, watch);
}

TEST_F(MainSetup, SecurityChoicesSurviveChoosingTheSameControllerAgain) {
    startFleet({onDocumentationNetwork(1, "Boiler 1")});
    auto d = dialogShowing(QStringLiteral("10-00001"));
    answerNextModal([](QWidget* security) {
        security->findChild<QCheckBox*>(QStringLiteral("CtrlEncryptedCom"))->setChecked(true);
        security->findChild<QLineEdit*>(QStringLiteral("CtrlEncryptedPass"))->setText(QStringLiteral("Boiler-Pw-1"));
        security->findChild<QPushButton*>(QStringLiteral("CmdOk"))->click();
    });
    button(*d, "Security")->click();
    MainDialogAccess::ShowCurrentController(*d, vbTrue);  // chosen again from "Search..."
    ModalSeam::pushButton(ui::ButtonOk);
    button(*d, "btnSetup")->click();

    EXPECT_EQ(shown(ModalKind::Message), QStringList({text(4558) + QStringLiteral(" Boiler 1")}));
    EXPECT_TRUE(simState("10-00001").requireEncryption);
}

TEST_F(MainSetup, WithNoControllerShownNothingHappens) {
    startFleet({onDocumentationNetwork(1, "Boiler 1")});
    auto d = loadedDialogShown();
    edit(*d, "CtrlCurrentName")->setText(QStringLiteral("typed"));
    EnabledWatch watch(d.get());
    button(*d, "btnSetup")->click();
    EXPECT_TRUE(ModalSeam::log().isEmpty());
    EXPECT_EQ(comm::state().Settings.Name, QStringLiteral("typed"));  // collected all the same
    EXPECT_EQ(simState("10-00001").setupsReceived, 0);
    expectUsableAfterwards(*d, watch);
}

TEST_F(MainSetup, CancelAtTheNetworkQuestionWritesNothingAndReportsNothing) {
    startFleet({onDocumentationNetwork(1, "Boiler 1")});
    auto d = dialogShowing(QStringLiteral("10-00001"));
    edit(*d, "tbIP")->setText(QStringLiteral("198.51.100.7"));  // outside the network it is plugged into
    edit(*d, "tbGateway")->setText(QStringLiteral("198.51.100.1"));
    EnabledWatch watch(d.get());
    ModalSeam::pushButton(ui::ButtonCancel);
    button(*d, "btnSetup")->click();
    ASSERT_EQ(ModalSeam::log().size(), 1);
    EXPECT_EQ(ModalSeam::log().at(0).kind, ModalKind::Question);
    EXPECT_TRUE(ModalSeam::log().at(0).text.startsWith(QStringLiteral("Can not setup.")));
    EXPECT_EQ(simState("10-00001").setupsApplied, 0);
    EXPECT_EQ(simState("10-00001").configIpAddress, "192.0.2.11");
    expectUsableAfterwards(*d, watch);

    // OK at the same question goes on and writes.
    ModalSeam::clearLog();
    ModalSeam::pushButton(ui::ButtonOk);
    ModalSeam::pushButton(ui::ButtonOk);
    button(*d, "btnSetup")->click();
    EXPECT_EQ(shown(ModalKind::Message), QStringList({text(4558) + QStringLiteral(" Boiler 1")}));
    EXPECT_EQ(simState("10-00001").configIpAddress, "198.51.100.7");
}

TEST_F(MainSetup, RefusedSettingsReportTheFailureWithTheEditedName) {
    startFleet({onDocumentationNetwork(1, "Boiler 1")});
    auto d = dialogShowing(QStringLiteral("10-00001"));
    check(*d, "rbDHCP")->setChecked(true);
    edit(*d, "CtrlCurrentName")->setText(QStringLiteral("Renamed"));
    edit(*d, "tbHostName")->setText(QStringLiteral("bad_host!"));  // not a DNS name: the controller refuses the setup
    edit(*d, "tbDomain")->clear();
    EnabledWatch watch(d.get());
    ModalSeam::pushButton(ui::ButtonOk);
    button(*d, "btnSetup")->click();
    EXPECT_EQ(shown(ModalKind::Message), QStringList({text(4559) + QStringLiteral(" Renamed")}));
    const sim::SimControllerState s = simState("10-00001");
    EXPECT_EQ(s.setupsApplied, 0);
    EXPECT_EQ(s.name, "Boiler 1");  // all or nothing
    expectUsableAfterwards(*d, watch);
}

TEST_F(MainSetup, AControllerGoneBeforeSetupIsNotWritten) {
    startFleet({onDocumentationNetwork(1, "Boiler 1")});
    auto d = dialogShowing(QStringLiteral("10-00001"));
    // Another serial number typed over the shown one: not among the entries, nothing is said.
    edit(*d, "CtrlCurrentSerialNo")->setText(QStringLiteral("10-00009"));
    EnabledWatch watch(d.get());
    button(*d, "btnSetup")->click();
    EXPECT_TRUE(ModalSeam::log().isEmpty());
    EXPECT_EQ(simState("10-00001").setupsReceived, 0);
    expectUsableAfterwards(*d, watch);
}

TEST_F(MainSetup, AFailingServiceEndsTheToolWithAMessageAndLeavesTheWindowUsable) {
    startFleet({onDocumentationNetwork(1, "Boiler 1")});
    net::ServiceConfig config = fleet_->clientConfig();
    config.firstAnswerWaitMs = 400;
    config.lookupTimeoutMs = 400;
    config.answerSpreadMs = 20;
    config.failEntryReadsAfter = 0;  // every entry read fails
    comm::setServiceConfigForTests(config);
    comm::OpenService();  // as at every start-up
    auto d = loadedDialogShown();
    edit(*d, "CtrlCurrentSerialNo")->setText(QStringLiteral("10-00001"));
    EnabledWatch watch(d.get());
    ModalSeam::pushButton(ui::ButtonOk);  // the error message
    button(*d, "btnSetup")->click();

    ASSERT_EQ(fatalErrors_.size(), 1);
    EXPECT_TRUE(fatalErrors_.at(0).startsWith(QStringLiteral("btnSetup_Click failed: "))) << fatalErrors_.at(0).toStdString();
    EXPECT_TRUE(fatalErrors_.at(0).contains(QStringLiteral("entry read failed")));
    ASSERT_EQ(ModalSeam::log().size(), 1);
    EXPECT_EQ(ModalSeam::log().at(0).text, fatalErrors_.at(0));
    EXPECT_EQ(ModalSeam::log().at(0).style, 0);
    EXPECT_EQ(simState("10-00001").setupsReceived, 0);
    expectUsableAfterwards(*d, watch);
    fatalErrors_.clear();
}

}  // namespace
}  // namespace zelmar::testing
