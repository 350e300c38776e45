// The port OS upgrade from the search dialog, with the demo upgrade files
// under "SLIB:\QORreal" (demo/upgrades, as run-demo.sh sets it): the consent
// question naming both revisions, the transfer, the controller restarting on
// the new revision, the result message, and nothing else changed.
#include "tests/acceptance/acceptance_fixture.h"

namespace zelmar::acceptance {
namespace {

using PortOsUpgrade = AcceptanceTest;

TEST_F(PortOsUpgrade, TheSelectedControllerIsUpgradedFromTheDemoFileAndThenChosen) {
    const FieldMap before = fleetFields();
    ModalSeam::pushButton(ui::ButtonNo);
    QStringList rowsAfterUpgrade;
    driveSearchDialog([&](FormSearchTCP& search) {
        clickRow(search, QStringLiteral("10-10008"));  // Boiler 2: port OS type 3, revision 2.10
        ModalSeam::pushButton(ui::ButtonYes);
        ModalSeam::pushButton(ui::ButtonOk);
        press(search, "btnUpgrade");
        waitIdle(search);
        rowsAfterUpgrade = listedSerials(search);
        // Then taken as usual.
        clickRow(search, QStringLiteral("10-10008"));
        press(search, "ButtonOk");
    });
    auto tool = startTool();

    const QList<ui::ModalRequest>& log = ModalSeam::log();
    ASSERT_EQ(log.size(), 3);  // start-up question, upgrade question, result
    EXPECT_EQ(log.at(1).kind, ModalKind::Question);
    EXPECT_TRUE(log.at(1).text.startsWith(QStringLiteral("Do you wish to upgrade the TCP/IP Port OS")));
    EXPECT_TRUE(log.at(1).text.contains(QStringLiteral("Model: Zelmar EXO 12")));
    EXPECT_TRUE(log.at(1).text.contains(QStringLiteral("Revision in the controller: 2.10")));
    EXPECT_TRUE(log.at(1).text.contains(QStringLiteral("Revision to upgrade to: 3.2.0")));
    EXPECT_EQ(log.at(2).kind, ModalKind::Message);
    EXPECT_EQ(log.at(2).style, 2);
    EXPECT_EQ(log.at(2).text, QStringLiteral("The controller has been upgraded successfully!\r\n\r\n"
                                             "New revision in the controller: 3.2.0"));

    EXPECT_EQ(rowsAfterUpgrade.size(), kLocalSiteControllers) << "the list stays";
    EXPECT_EQ(changes(before, fleetFields()), (FieldMap{{"10-10008.portOsRevision", "3.2.0"}}));
    const sim::SimControllerState boiler = controller("10-10008");
    EXPECT_EQ(boiler.upgradesApplied, 1);
    EXPECT_EQ(boiler.upgradesRefused, 0);
    EXPECT_EQ(field(*tool, "CtrlCurrentName")->text(), QStringLiteral("Boiler 2"));
    EXPECT_EQ(comm::state().UpgradeInProgress, vbFalse);
}

TEST_F(PortOsUpgrade, APortTypeWithoutAnUpgradeFileIsToldSoAndNothingIsSent) {
    const FieldMap before = fleetFields();
    ModalSeam::pushButton(ui::ButtonNo);
    driveSearchDialog([&](FormSearchTCP& search) {
        clickRow(search, QStringLiteral("10-10010"));  // Pump station P1: port OS type 4
        ModalSeam::pushButton(ui::ButtonOk);
        press(search, "btnUpgrade");
        waitIdle(search);
        press(search, "ButtonCancel");
    });
    auto tool = startTool();
    EXPECT_EQ(shown(ModalKind::Message), QStringList{QStringLiteral("Can not find a TcpIpPortOS upgrade file.")});
    EXPECT_EQ(changes(before, fleetFields()), FieldMap{});
    EXPECT_EQ(controller("10-10010").upgradeStarts, 0);
    EXPECT_EQ(field(*tool, "CtrlCurrentSerialNo")->text(), QString());
}

}  // namespace
}  // namespace zelmar::acceptance
