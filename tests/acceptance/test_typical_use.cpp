// A technician's typical use, end to end, on the demo fleet: the start-up
// question, choosing a controller in the search dialog, editing the fields,
// "Load TCP/IP Settings", the result message, and on the simulated
// controller exactly the intended settings changed, nothing else anywhere.
#include "tests/acceptance/acceptance_fixture.h"

#include <QCheckBox>
#include <QTest>

#include "platform/ui/window_helpers.h"

namespace zelmar::acceptance {
namespace {

constexpr int kTextAskReadConnected = 4552;
constexpr int kTextSetupDone = 4558;

const QString kNetworkMisfit = QStringLiteral("Can not setup.");
const QString kNoEncryptionSupport =
    QStringLiteral("The controller doesn't support encrypted communication, you must upgrade TCP/IP-os");

using TypicalUse = AcceptanceTest;

TEST_F(TypicalUse, NoAtStartChooseEditAndLoadWritesExactlyTheEditedSettings) {
    const FieldMap before = fleetFields();
    auto tool = startAndChoose(QStringLiteral("10-10007"));

    EXPECT_EQ(shown(ModalKind::Question), QStringList{text(kTextAskReadConnected)});
    EXPECT_EQ(searchDialogsDriven_, 1);
    EXPECT_TRUE(tool->isVisible());
    EXPECT_EQ(shownController(*tool),
              QStringList({"CtrlCurrentName=Boiler 1", "CtrlCurrentSerialNo=10-10007",
                           "CtrlCurrentEthernet=00-1A-4C-10-00-07", "CtrlCurrentDescription=Hus 3, källare, pannrum",
                           "tbIP=10.40.1.16", "tbSub=255.255.0.0", "tbGateway=10.40.0.1", "tbDNS=10.40.0.2",
                           "tbHostName=", "tbDomain=", "tbDNSName=", "tbMainCompIP=10.40.0.5"}));
    // Fixed settings: the address fields are open, the DNS-name fields are not.
    EXPECT_EQ(tool->control<QCheckBox>(QStringLiteral("rbIP"))->checkState(), Qt::Checked);
    EXPECT_TRUE(field(*tool, "tbIP")->isEnabled());
    EXPECT_FALSE(field(*tool, "tbHostName")->isEnabled());
    EXPECT_FALSE(controller("10-10007").marked) << "OK unmarks the chosen controller";

    type(*tool, "CtrlCurrentName", QStringLiteral("Boiler 1 pannrum"));
    type(*tool, "tbIP", QStringLiteral("10.40.1.60"));
    type(*tool, "tbDNS", QStringLiteral("10.40.0.3"));
    load(*tool);

    ASSERT_EQ(ModalSeam::log().size(), 1);
    EXPECT_EQ(ModalSeam::log().first().kind, ModalKind::Message);
    EXPECT_EQ(ModalSeam::log().first().style, 2) << "an information message";
    EXPECT_EQ(ModalSeam::log().first().text, text(kTextSetupDone) + QStringLiteral(" Boiler 1 pannrum"));
    EXPECT_EQ(changes(before, fleetFields()), (FieldMap{
                                                  {"10-10007.name", "Boiler 1 pannrum"},
                                                  {"10-10007.configIpAddress", "10.40.1.60"},
                                                  {"10-10007.ipAddress", "10.40.1.60"},
                                                  {"10-10007.configDnsServer", "10.40.0.3"},
                                                  {"10-10007.dnsServer", "10.40.0.3"},
                                              }));
    EXPECT_EQ(controller("10-10007").setupsApplied, 1);
    EXPECT_EQ(setupsAppliedInFleet(), 1);
    EXPECT_TRUE(tool->isEnabled());
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
}

TEST_F(TypicalUse, YesAtStartShowsTheConnectedControllerAndWritesItWithDhcpAndADnsName) {
    const FieldMap before = fleetFields();
    ModalSeam::pushButton(ui::ButtonYes);
    auto tool = startTool();

    EXPECT_EQ(shown(ModalKind::Question), QStringList{text(kTextAskReadConnected)});
    EXPECT_EQ(searchDialogsDriven_, 0) << "no search dialog when the connected controller is read";
    EXPECT_EQ(field(*tool, "CtrlCurrentName")->text(), QStringLiteral("Värmecentral 1"));
    EXPECT_EQ(field(*tool, "CtrlCurrentSerialNo")->text(), QStringLiteral("10-10001"));
    EXPECT_EQ(field(*tool, "tbIP")->text(), QStringLiteral("10.40.1.10"));

    click(*tool, "rbDHCP");
    EXPECT_EQ(tool->control<QCheckBox>(QStringLiteral("rbIP"))->checkState(), Qt::Unchecked);
    EXPECT_FALSE(field(*tool, "tbIP")->isEnabled());
    type(*tool, "tbHostName", QStringLiteral("vc1"));
    type(*tool, "tbDomain", QStringLiteral("kv-larkan.local"));
    EXPECT_EQ(field(*tool, "tbDNSName")->text(), QStringLiteral("vc1.kv-larkan.local"));
    type(*tool, "CtrlCurrentDescription", QStringLiteral("Hus 3, källare, undercentral"));
    load(*tool);

    EXPECT_EQ(shown(ModalKind::Message), QStringList{text(kTextSetupDone) + QStringLiteral(" Värmecentral 1")});
    FieldMap changed = changes(before, fleetFields());
    // With DHCP the controller takes a lease from the network it is plugged
    // into; its fixed settings stay stored for a later switch back.
    const std::string lease = changed["10-10001.ipAddress"];
    EXPECT_EQ(lease.rfind("10.40.", 0), 0u) << lease;
    changed.erase("10-10001.ipAddress");
    EXPECT_EQ(changed, (FieldMap{
                           {"10-10001.useDhcp", "true"},
                           {"10-10001.dnsName", "vc1.kv-larkan.local"},
                           {"10-10001.description", "Hus 3, källare, undercentral"},
                       }));
    EXPECT_EQ(setupsAppliedInFleet(), 1);
}

TEST_F(TypicalUse, SettingsThatDoNotFitTheNetworkAreQuestionedAndWrittenOnceCorrected) {
    const FieldMap before = fleetFields();
    ModalSeam::pushButton(ui::ButtonNo);
    driveSearchDialog([](FormSearchTCP& search) { press(search, "ButtonCancel"); });
    auto tool = startTool();
    EXPECT_EQ(field(*tool, "CtrlCurrentSerialNo")->text(), QString()) << "cancelled: nothing shown";

    // "Search..." from the main window.
    chooseAgain(*tool, QStringLiteral("10-10021"));
    EXPECT_EQ(searchDialogsDriven_, 2);
    EXPECT_EQ(field(*tool, "CtrlCurrentName")->text(), QStringLiteral("Lab wing AHU"));
    EXPECT_EQ(field(*tool, "tbIP")->text(), QStringLiteral("192.168.1.50"));

    // As it stands it does not fit the network it is plugged into: Cancel writes nothing.
    ModalSeam::clearLog();
    ModalSeam::pushButton(ui::ButtonCancel);
    click(*tool, "btnSetup");
    ASSERT_EQ(ModalSeam::log().size(), 1);
    EXPECT_EQ(ModalSeam::log().first().kind, ModalKind::Question);
    EXPECT_TRUE(ModalSeam::log().first().text.startsWith(kNetworkMisfit));
    EXPECT_EQ(changes(before, fleetFields()), FieldMap{});
    EXPECT_EQ(setupsAppliedInFleet(), 0);

    // Corrected for this site: written without a question.
    type(*tool, "tbIP", QStringLiteral("10.40.1.30"));
    type(*tool, "tbSub", QStringLiteral("255.255.0.0"));
    type(*tool, "tbGateway", QStringLiteral("10.40.0.1"));
    type(*tool, "tbDNS", QStringLiteral("10.40.0.2"));
    type(*tool, "tbMainCompIP", QStringLiteral("10.40.0.5"));
    load(*tool);
    EXPECT_EQ(shown(ModalKind::Question), QStringList{});
    EXPECT_EQ(shown(ModalKind::Message), QStringList{text(kTextSetupDone) + QStringLiteral(" Lab wing AHU")});
    EXPECT_EQ(changes(before, fleetFields()), (FieldMap{
                                                  {"10-10021.ipAddress", "10.40.1.30"},
                                                  {"10-10021.configIpAddress", "10.40.1.30"},
                                                  {"10-10021.subnetMask", "255.255.0.0"},
                                                  {"10-10021.configSubnetMask", "255.255.0.0"},
                                                  {"10-10021.gateway", "10.40.0.1"},
                                                  {"10-10021.configGateway", "10.40.0.1"},
                                                  {"10-10021.dnsServer", "10.40.0.2"},
                                                  {"10-10021.configDnsServer", "10.40.0.2"},
                                                  {"10-10021.mainComputerAddress", "10.40.0.5"},
                                              }));
}

TEST_F(TypicalUse, FindMoreReachesTheControllersBehindTheRouter) {
    const FieldMap before = fleetFields();
    ModalSeam::pushButton(ui::ButtonNo);
    driveSearchDialog([](FormSearchTCP& search) {
        EXPECT_EQ(rowCount(search), kLocalSiteControllers) << "the search reaches the local site only";
        // The north annex network: every host of it is asked.
        ModalSeam::pushInput(QStringLiteral("127.77.9.0/255.255.255.0"));
        press(search, "ButtonFindMore");
        waitIdle(search);
        EXPECT_EQ(rowCount(search), kLocalSiteControllers + 3);
        // The first row with that subnet mask is selected: the first of the
        // three, in the order they answered.
        const QStringList rows = listedSerials(search);
        const QStringList annex = rows.mid(kLocalSiteControllers);
        EXPECT_EQ(QStringList(annex).filter(QStringLiteral("10-1002")).size(), 3) << annex.join(' ').toStdString();
        EXPECT_EQ(selectedSerial(search), annex.value(0));
        clickRow(search, QStringLiteral("10-10024"));
        press(search, "ButtonOk");
    });
    auto tool = startTool();
    ASSERT_EQ(shown(ModalKind::InputBox).size(), 1);
    EXPECT_EQ(field(*tool, "CtrlCurrentName")->text(), QStringLiteral("North annex Boiler 1"));
    EXPECT_EQ(field(*tool, "tbIP")->text(), QStringLiteral("10.41.1.11"));

    type(*tool, "CtrlCurrentName", QStringLiteral("North annex Boiler 1 (P1)"));
    load(*tool);
    EXPECT_EQ(shown(ModalKind::Message),
              QStringList{text(kTextSetupDone) + QStringLiteral(" North annex Boiler 1 (P1)")});
    EXPECT_EQ(changes(before, fleetFields()), (FieldMap{{"10-10024.name", "North annex Boiler 1 (P1)"}}));
}

TEST_F(TypicalUse, AControllerWithoutEncryptionSupportIsToldSoAndTheRestIsWritten) {
    const FieldMap before = fleetFields();
    auto tool = startAndChoose(QStringLiteral("10-10020"));
    ASSERT_EQ(field(*tool, "CtrlCurrentName")->text(), QStringLiteral("Garage ventilation"));

    driveSecurityDialog(true, QStringLiteral("Garage2026"));
    click(*tool, "Security");
    EXPECT_EQ(securityDialogsDriven_, 1);
    EXPECT_EQ(comm::state().Settings.RequireEncryption, vbTrue);

    type(*tool, "CtrlCurrentDescription", QStringLiteral("Parking deck, level -1, exhaust fans"));
    ModalSeam::clearLog();
    ModalSeam::pushButton(ui::ButtonOk);  // no encryption support
    ModalSeam::pushButton(ui::ButtonOk);  // the result
    click(*tool, "btnSetup");
    EXPECT_EQ(shown(ModalKind::Message),
              QStringList({kNoEncryptionSupport, text(kTextSetupDone) + QStringLiteral(" Garage ventilation")}));
    EXPECT_EQ(changes(before, fleetFields()),
              (FieldMap{{"10-10020.description", "Parking deck, level -1, exhaust fans"}}));
}


TEST_F(TypicalUse, TheSameUseInSwedish) {
    const QByteArray savedLang = qgetenv("ZELMAR_LANG");
    qputenv("ZELMAR_LANG", "sv");
    struct RestoreLanguage {
        QByteArray lang;
        ~RestoreLanguage() { qputenv("ZELMAR_LANG", lang); }
    } restore{savedLang};

    const FieldMap before = fleetFields();
    ModalSeam::pushButton(ui::ButtonNo);
    QString searchTitle;
    driveSearchDialog([&searchTitle](FormSearchTCP& search) {
        searchTitle = search.windowTitle();
        clickRow(search, QStringLiteral("10-10014"));
        press(search, "ButtonOk");
    });
    auto tool = startTool();
    EXPECT_EQ(shown(ModalKind::Question), QStringList{text(kTextAskReadConnected)});
    EXPECT_TRUE(text(kTextAskReadConnected).startsWith(QStringLiteral("Vill du"))) << "Swedish texts";
    EXPECT_EQ(searchTitle, QStringLiteral("Sök och välj"));
    EXPECT_EQ(tool->windowTitle(), QStringLiteral("Zelmar TCP/IP-inställningsverktyg"));
    ASSERT_EQ(field(*tool, "CtrlCurrentName")->text(), QStringLiteral("Fläktrum 2"));

    type(*tool, "CtrlCurrentName", QStringLiteral("Fläktrum 2 öst"));
    load(*tool);
    EXPECT_EQ(shown(ModalKind::Message), QStringList{text(kTextSetupDone) + QStringLiteral(" Fläktrum 2 öst")});
    EXPECT_EQ(changes(before, fleetFields()), (FieldMap{{"10-10014.name", "Fläktrum 2 öst"}}));
}

}  // namespace
}  // namespace zelmar::acceptance
