// Getting a controller to work on: the start-up question, the search dialog,
// the network-password prompt and the fields that show the controller.
#include "sim_fixture.h"

namespace zelmar::testing {
namespace {

using MainStartup = MainDialogSimTest;

TEST_F(MainStartup, FirstStartNoThenCancelOpensAnEmptyWindow) {
    startFleet({controller(1, "Boiler 1"), controller(2, "Boiler 2")});
    auto d = newDialog();
    bool visibleAtQuestion = true;
    VBool loadingAtQuestion = vbFalse;
    QString titleAtQuestion;
    QObject::connect(useTcp(*d), &QRadioButton::toggled, [&](bool on) {
        if (!on)
            return;
        // Runs after the dialog's own handler: the question has been asked by now.
        visibleAtQuestion = d->isVisible();
        loadingAtQuestion = d->LoadingFlg;
        titleAtQuestion = d->windowTitle();
    });
    ModalSeam::pushButton(ui::ButtonNo);
    chooseInSearchDialog(QString(), 2);
    d->Form_Load();

    EXPECT_EQ(shown(ModalKind::Question), QStringList({text(4552)}));
    EXPECT_EQ(searchDialogSeen_, QStringList({"FormSearchTCP"}));
    // Asked while loading, before the captions were translated and before the window was shown.
    EXPECT_FALSE(visibleAtQuestion);
    EXPECT_EQ(loadingAtQuestion, vbTrue);
    EXPECT_EQ(titleAtQuestion, QStringLiteral("Zelmar TCP/IP Settings Tool"));
    // Loaded: empty fields, no address mode chosen, the connected option selected.
    EXPECT_EQ(d->LoadingFlg, vbFalse);
    EXPECT_EQ(d->windowTitle(), text(4532));
    EXPECT_EQ(controllerFields(*d).join(QString()), QString());
    EXPECT_EQ(check(*d, "rbDHCP")->checkState(), Qt::Unchecked);
    EXPECT_EQ(check(*d, "rbIP")->checkState(), Qt::Unchecked);
    EXPECT_TRUE(useTcp(*d)->isChecked());
    EXPECT_EQ(d->UseTCPFlg, vbTrue);
    EXPECT_EQ(comm::state().SelectedEntryIndex, -1);
    EXPECT_TRUE(edit(*d, "tbHostName")->isEnabled());  // undecided: the DNS-name group applies
    EXPECT_FALSE(edit(*d, "tbIP")->isEnabled());
    EXPECT_TRUE(d->findChildren<QDialog*>().isEmpty());  // the search dialog was unloaded
}

TEST_F(MainStartup, WhileAnUpgradeRunsLoadingDoesNothing) {
    auto d = newDialog();
    comm::state().UpgradeInProgress = vbTrue;
    comm::state().SelectedEntryIndex = 4;
    d->Form_Load();
    EXPECT_TRUE(ModalSeam::log().isEmpty());  // no connected-controller question
    EXPECT_EQ(comm::state().SelectedEntryIndex, -1);
    EXPECT_EQ(d->LoadingFlg, vbTrue);
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Zelmar TCP/IP Settings Tool"));  // stored caption
    EXPECT_EQ(check(*d, "rbDHCP")->text(), QStringLiteral("Obtain IP settings &automatically (by DHCP)"));
    // SetUIState stays without effect for the rest of the dialog's life.
    check(*d, "rbIP")->setChecked(true);
    EXPECT_TRUE(edit(*d, "tbHostName")->isEnabled());
    EXPECT_EQ(d->FixedIPFlg, vbFalse);
}

TEST_F(MainStartup, YesShowsTheConnectedControllerThatWasRead) {
    sim::SimControllerState connected = controller(2, "Pump house");
    connected.connected = true;
    connected.useDhcp = true;
    connected.dnsName = "pump.site.example";
    startFleet({controller(1, "Boiler 1"), connected});
    auto d = newDialog();
    ModalSeam::pushButton(ui::ButtonYes);
    d->Form_Load();

    EXPECT_EQ(shown(ModalKind::Question), QStringList({text(4552)}));
    const comm::SettingsRecord& s = comm::state().Settings;
    EXPECT_EQ(s.SerialNo, QStringLiteral("10-00002"));
    EXPECT_EQ(edit(*d, "CtrlCurrentName")->text(), QStringLiteral("Pump house"));
    EXPECT_EQ(edit(*d, "CtrlCurrentSerialNo")->text(), QStringLiteral("10-00002"));
    EXPECT_EQ(edit(*d, "CtrlCurrentEthernet")->text(), s.EthernetAddress);
    EXPECT_FALSE(s.EthernetAddress.isEmpty());
    EXPECT_EQ(edit(*d, "CtrlCurrentDescription")->text(), QStringLiteral("Building 2"));
    EXPECT_EQ(edit(*d, "tbIP")->text(), s.IpAddress);
    EXPECT_EQ(edit(*d, "tbMainCompIP")->text(), QStringLiteral("127.79.0.200"));
    EXPECT_EQ(edit(*d, "tbHostName")->text(), QStringLiteral("pump"));
    EXPECT_EQ(edit(*d, "tbDomain")->text(), QStringLiteral("site.example"));
    EXPECT_EQ(edit(*d, "tbDNSName")->text(), QStringLiteral("pump.site.example"));
    EXPECT_EQ(check(*d, "rbDHCP")->checkState(), Qt::Checked);
    EXPECT_EQ(check(*d, "rbIP")->checkState(), Qt::Unchecked);
    // The rules applied at the end of loading follow what the boxes show.
    EXPECT_FALSE(edit(*d, "tbIP")->isEnabled());
    EXPECT_TRUE(edit(*d, "tbHostName")->isEnabled());
}

TEST_F(MainStartup, YesWithoutAConnectedControllerReportsItAndKeepsTheFieldsEmpty) {
    startFleet({controller(1, "Boiler 1")});
    auto d = newDialog();
    ModalSeam::pushButton(ui::ButtonYes);
    ModalSeam::pushButton(ui::ButtonOk);
    d->Form_Load();
    EXPECT_EQ(shown(ModalKind::Message), QStringList({text(4557)}));
    EXPECT_EQ(controllerFields(*d).join(QString()), QString());
    EXPECT_EQ(d->LoadingFlg, vbFalse);
}

TEST_F(MainStartup, ClickingTheSelectedConnectedOptionAsksAgainAndKeepsItSelected) {
    sim::SimControllerState connected = controller(1, "Cabled");
    connected.connected = true;
    startFleet({connected});
    auto d = loadedDialogShown();
    ASSERT_TRUE(useTcp(*d)->isChecked());
    ModalSeam::pushButton(ui::ButtonYes);
    QTest::mouseClick(useTcp(*d), Qt::LeftButton, {}, QPoint(6, useTcp(*d)->height() / 2));
    EXPECT_TRUE(useTcp(*d)->isChecked());
    EXPECT_EQ(shown(ModalKind::Question), QStringList({text(4552)}));
    EXPECT_EQ(edit(*d, "CtrlCurrentName")->text(), QStringLiteral("Cabled"));

    // Deselected from code nothing runs; selecting it again asks once more.
    ModalSeam::clearLog();
    useTcp(*d)->setChecked(false);
    EXPECT_TRUE(ModalSeam::log().isEmpty());
    ModalSeam::pushButton(ui::ButtonYes);
    QTest::mouseClick(useTcp(*d), Qt::LeftButton, {}, QPoint(6, useTcp(*d)->height() / 2));
    EXPECT_TRUE(useTcp(*d)->isChecked());
    EXPECT_EQ(shown(ModalKind::Question).size(), 1);
}

using MainChooseController = MainDialogSimTest;

TEST_F(MainChooseController, SearchAndOkFillsEveryFieldFromTheController) {
    sim::SimControllerState fixed = controller(3, "Chiller");
    fixed.dnsName = "chiller.plant.site.example";
    fixed.ipAddress = "0.0.0.0";
    fixed.gateway = "0.0.0.0";
    startFleet({controller(1, "Boiler 1"), controller(2, "Boiler 2"), fixed});
    auto d = loadedDialogShown();
    chooseInSearchDialog(QStringLiteral("10-00003"), 3);
    button(*d, "btnSearchTCP")->click();

    EXPECT_EQ(searchDialogSeen_, QStringList({"FormSearchTCP"}));
    EXPECT_TRUE(ModalSeam::log().isEmpty());  // no password needed, nothing to say
    const sim::SimControllerState s = simState("10-00003");
    EXPECT_EQ(controllerFields(*d),
              QStringList({"Chiller", "10-00003", comm::state().CurrentController.EthernetAddress, "Building 3",
                           "0.0.0.0", "255.255.0.0", "0.0.0.0", "127.79.0.2", "chiller",
                           "plant.site.example", "chiller.plant.site.example"}));
    // The refresh from the service shows "0.0.0.0" as it is (the search dialog took it as empty).
    EXPECT_EQ(comm::state().CurrentController.IpAddress, QStringLiteral("0.0.0.0"));
    EXPECT_EQ(comm::state().CurrentController.Gateway, QStringLiteral("0.0.0.0"));
    EXPECT_EQ(edit(*d, "tbMainCompIP")->text(), QString::fromStdString(s.mainComputerAddress));
    EXPECT_EQ(check(*d, "rbIP")->checkState(), Qt::Checked);
    EXPECT_EQ(check(*d, "rbDHCP")->checkState(), Qt::Unchecked);
    EXPECT_TRUE(edit(*d, "tbIP")->isEnabled());
    EXPECT_FALSE(edit(*d, "tbHostName")->isEnabled());
    EXPECT_TRUE(d->findChildren<QDialog*>().isEmpty());
}

TEST_F(MainChooseController, CancelInTheSearchDialogChangesNothing) {
    startFleet({controller(1, "Boiler 1")});
    auto d = loadedDialogShown();
    edit(*d, "CtrlCurrentName")->setText(QStringLiteral("kept"));
    edit(*d, "tbIP")->setText(QStringLiteral("127.79.0.99"));
    chooseInSearchDialog(QString(), 1);
    button(*d, "btnSearchTCP")->click();
    EXPECT_EQ(searchDialogSeen_.size(), 1);
    EXPECT_EQ(edit(*d, "CtrlCurrentName")->text(), QStringLiteral("kept"));
    EXPECT_EQ(edit(*d, "tbIP")->text(), QStringLiteral("127.79.0.99"));
    EXPECT_TRUE(d->findChildren<QDialog*>().isEmpty());
}

TEST_F(MainChooseController, AControllerNoLongerFoundIsReportedAndNothingChanges) {
    startFleet({controller(1, "Boiler 1")});
    auto d = newDialog();
    d->LoadingFlg = vbFalse;
    edit(*d, "CtrlCurrentName")->setText(QStringLiteral("shown before"));
    comm::state().CurrentController.SerialNo = QStringLiteral("10-00001");
    fleet_->setOffline("10-00001", true);
    ModalSeam::pushButton(ui::ButtonOk);
    MainDialogAccess::ShowCurrentController(*d, vbTrue);
    EXPECT_EQ(shown(ModalKind::Message),
              QStringList({QStringLiteral("The controller 10-00001 was not found on the network.")}));
    EXPECT_EQ(ModalSeam::log().at(0).style, 0);
    EXPECT_EQ(edit(*d, "CtrlCurrentName")->text(), QStringLiteral("shown before"));

    // The same when the password loop ends because the controller is gone: one message, no prompt again.
    ModalSeam::clearLog();
    comm::state().CurrentController.RequireEncryption = vbTrue;
    comm::state().CurrentController.PasswordOk = vbFalse;
    ModalSeam::pushInput(QStringLiteral("Secret-1"));
    ModalSeam::pushButton(ui::ButtonOk);
    MainDialogAccess::ShowCurrentController(*d, vbTrue);
    ASSERT_EQ(ModalSeam::log().size(), 2);
    EXPECT_EQ(ModalSeam::log().at(0).kind, ModalKind::InputBox);
    EXPECT_EQ(ModalSeam::log().at(1).kind, ModalKind::Message);
    EXPECT_EQ(edit(*d, "CtrlCurrentName")->text(), QStringLiteral("shown before"));
    EXPECT_TRUE(d->isEnabled());
}

}  // namespace
}  // namespace zelmar::testing
