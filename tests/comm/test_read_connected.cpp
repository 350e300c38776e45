// Reading the directly connected controller into the settings record.
#include "support/support.h"
#include "tests/comm/comm_fixture.h"

using namespace zelmar;
using namespace zelmar::comm;
using zelmar::commtest::CommTest;
using zelmar::commtest::site;

namespace {

using ReadConnected = CommTest;

std::vector<sim::SimControllerState> siteWithConnected(int count, int connected) {
    auto controllers = site(count);
    for (int i = 0; i < connected; ++i)
        controllers[std::size_t(i)].connected = true;
    return controllers;
}

QString question() { return support::GetText(4552); }

// Yes to the question (and the answers to what comes after it), then the read;
// Yes is never taken for a decline.
bool readAfterYes(std::initializer_list<int> laterAnswers = {}) {
    ui::ModalSeam::pushButton(ui::ButtonYes);
    for (int button : laterAnswers)
        ui::ModalSeam::pushButton(button);
    bool declined = true;
    const bool read = ReadConnectedController(declined);
    EXPECT_FALSE(declined);
    return read;
}

// The fields read first, in this order: name, serial number, IP and Ethernet address.
void expectFirstFieldsRead(const sim::SimControllerState& c, const QString& serial, const QString& ip) {
    const SettingsRecord& r = state().Settings;
    EXPECT_EQ(r.Name, QString::fromStdString(c.name));
    EXPECT_EQ(r.SerialNo, serial);
    EXPECT_EQ(r.IpAddress, ip);
    EXPECT_EQ(r.EthernetAddress, QString::fromStdString(c.ethernetAddress));
}

TEST_F(ReadConnected, NoLeavesRecordAndEntriesAndPointerAlone) {
    startSite(siteWithConnected(3, 1));
    RestartSearch();
    net::NetService* service = &Service();
    state().Settings.Name = "edited";
    Service().setConnectedMode(true);
    ui::setMousePointer(ui::MousePointer::Hourglass);

    answer(ui::ButtonNo);
    bool declined = false;
    EXPECT_FALSE(ReadConnectedController(declined));
    EXPECT_TRUE(declined);

    ASSERT_EQ(ui::ModalSeam::log().size(), 1);
    EXPECT_EQ(ui::ModalSeam::log().first().kind, ui::ModalKind::Question);
    EXPECT_EQ(ui::ModalSeam::log().first().text, question());
    EXPECT_EQ(ui::ModalSeam::log().first().style, 4);
    EXPECT_FALSE(question().isEmpty());

    EXPECT_EQ(&Service(), service);
    EXPECT_FALSE(Service().ConnectedMode());
    EXPECT_EQ(Service().ControllerCount(), 3);
    EXPECT_EQ(state().Settings.Name, "edited");
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Hourglass);
}

TEST_F(ReadConnected, OneConnectedControllerIsCopiedIntoAFreshRecord) {
    auto controllers = siteWithConnected(3, 0);
    controllers[1].connected = true;
    controllers[1].useDhcp = true;
    controllers[1].dnsName = "boiler.plant.test";
    controllers[1].ipAddress = "10.30.4.100";
    startSite(controllers);
    RestartSearch();
    SelectController("20-00003");
    ASSERT_GE(state().SelectedEntryIndex, 0);
    state().Settings.HostName = "old host";
    state().Settings.RequireEncryption = vbTrue;
    state().NetworkPassword = "kept";

    EXPECT_TRUE(readAfterYes());
    EXPECT_EQ(ui::ModalSeam::log().size(), 1) << "only the question";

    const auto c = sim("20-00002");
    const SettingsRecord& r = state().Settings;
    expectFirstFieldsRead(c, "20-00002", "10.30.4.100");
    EXPECT_EQ(r.UseDhcp, vbTrue);
    EXPECT_EQ(r.Description, QString::fromStdString(c.description));
    EXPECT_EQ(r.SubnetMask, QString::fromStdString(c.subnetMask));
    EXPECT_EQ(r.Gateway, QString::fromStdString(c.gateway));
    EXPECT_EQ(r.DnsServer, QString::fromStdString(c.dnsServer));
    EXPECT_EQ(r.DnsName, "boiler.plant.test");
    EXPECT_EQ(r.MainComputerAddress, "10.30.0.5");
    // Not copied: the reset values stay.
    EXPECT_TRUE(r.HostName.isEmpty());
    EXPECT_EQ(r.RequireEncryption, vbFalse);
    EXPECT_EQ(r.UseConnectedController, vbFalse);
    EXPECT_EQ(state().NetworkPassword, "kept");

    EXPECT_TRUE(Service().ConnectedMode());
    EXPECT_EQ(Service().ControllerCount(), 1);
    EXPECT_EQ(state().SelectedEntryIndex, -1) << "the marking belonged to the replaced object";
    EXPECT_EQ(sim("20-00002").setupsApplied, 0) << "nothing held, nothing sent";
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
}

TEST_F(ReadConnected, NoConnectedControllerShows4557AndKeepsConnectedMode) {
    startSite(siteWithConnected(2, 0));
    OpenService();
    state().Settings.Name = "edited";
    state().Settings.UseDhcp = vbFalse;
    ui::setMousePointer(ui::MousePointer::Hourglass);  // remembered, and put back

    EXPECT_FALSE(readAfterYes({ui::ButtonOk}));

    ASSERT_EQ(ui::ModalSeam::log().size(), 2);
    EXPECT_EQ(ui::ModalSeam::log()[1].kind, ui::ModalKind::Message);
    EXPECT_EQ(ui::ModalSeam::log()[1].style, 0);
    EXPECT_EQ(ui::ModalSeam::log()[1].text, support::GetText(4557));
    EXPECT_TRUE(Service().ConnectedMode());
    EXPECT_EQ(Service().ControllerCount(), 0);
    // Reset before the search, although nothing was found.
    EXPECT_TRUE(state().Settings.Name.isEmpty());
    EXPECT_EQ(state().Settings.UseDhcp, vbTrue);
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Hourglass);
}

TEST_F(ReadConnected, TwoConnectedControllersShow4560AndEndConnectedMode) {
    startSite(siteWithConnected(3, 2));
    OpenService();
    state().Settings.Name = "edited";

    EXPECT_FALSE(readAfterYes({ui::ButtonOk}));

    ASSERT_EQ(ui::ModalSeam::log().size(), 2);
    EXPECT_EQ(ui::ModalSeam::log()[1].text, support::GetText(4560));
    EXPECT_NE(support::GetText(4560), support::GetText(4557));
    EXPECT_FALSE(Service().ConnectedMode());
    EXPECT_EQ(Service().ControllerCount(), 2);
    EXPECT_TRUE(state().Settings.Name.isEmpty());
    EXPECT_TRUE(state().Settings.SerialNo.isEmpty());
    EXPECT_EQ(state().Settings.UseDhcp, vbTrue);
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
}

TEST_F(ReadConnected, AFailureHalfwayKeepsWhatWasCopiedAndShowsNothing) {
    // Entry reads fail after four: Name, SerialNo, IpAddress and EthernetAddress arrive, UseDhcp fails.
    startSite(siteWithConnected(2, 1), 4);
    ui::setMousePointer(ui::MousePointer::Hourglass);

    EXPECT_FALSE(readAfterYes());
    EXPECT_EQ(ui::ModalSeam::log().size(), 1) << "no message after the question";

    const auto c = sim("20-00001");
    const SettingsRecord& r = state().Settings;
    expectFirstFieldsRead(c, "20-00001", QString::fromStdString(c.ipAddress));
    EXPECT_EQ(r.UseDhcp, vbTrue) << "the reset value: UseDhcp was never read";
    EXPECT_TRUE(r.Description.isEmpty());
    EXPECT_TRUE(r.MainComputerAddress.isEmpty());

    ASSERT_TRUE(HasService());
    EXPECT_FALSE(Service().ConnectedMode());
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Hourglass) << "the remembered pointer";
}

TEST_F(ReadConnected, AFailingQuestionGivesFalseAndTheDefaultPointer) {
    startSite(siteWithConnected(1, 1));
    ui::setMousePointer(ui::MousePointer::Hourglass);
    // No answer queued: the strict seam makes the question itself fail.
    bool declined = true;
    EXPECT_FALSE(ReadConnectedController(declined));
    EXPECT_FALSE(declined);
    EXPECT_EQ(ui::ModalSeam::log().size(), 1);
    ASSERT_TRUE(HasService());
    EXPECT_FALSE(Service().ConnectedMode());
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal) << "nothing remembered yet: the default pointer";
}

TEST_F(ReadConnected, EveryYesReplacesTheServiceAndResetsTheRecord) {
    startSite(siteWithConnected(2, 1));
    ASSERT_TRUE(readAfterYes());
    // Entries accumulate on one object: a second one here shows whether the object was replaced.
    AddControllerAddress("127.78.0.2", "");
    ASSERT_EQ(Service().ControllerCount(), 2);
    state().Settings.Name = "edited after the first read";
    state().Settings.HostName = "host";

    ASSERT_TRUE(readAfterYes());
    EXPECT_EQ(entrySerials(), QStringList{"20-00001"});
    EXPECT_EQ(state().Settings.Name, QString::fromStdString(sim("20-00001").name));
    EXPECT_TRUE(state().Settings.HostName.isEmpty());
}

}  // namespace
