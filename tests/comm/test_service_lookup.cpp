// Service lifetime, searches and finding controllers by serial number, on a
// simulated site over UDP on loopback.
#include "tests/comm/comm_fixture.h"

using namespace zelmar;
using namespace zelmar::comm;
using zelmar::commtest::CommTest;
using zelmar::commtest::controller;
using zelmar::commtest::site;

namespace {

using ServiceLifetime = CommTest;
using FindBySerial = CommTest;
using AddAddress = CommTest;
using Restart = CommTest;
using Select = CommTest;

TEST_F(ServiceLifetime, OpenCreatesOnceResetsTheRecordAndCloseDropsTheMarking) {
    startSite(site(1));
    EXPECT_FALSE(HasService());
    EXPECT_EQ(state().Settings.UseDhcp, vbFalse);

    OpenService();
    ASSERT_TRUE(HasService());
    net::NetService* first = &Service();
    EXPECT_FALSE(first->ConnectedMode());
    EXPECT_EQ(state().Settings.UseDhcp, vbTrue);

    // A second open keeps the object and the record.
    state().Settings.Name = "edited";
    first->setConnectedMode(true);
    OpenService();
    EXPECT_EQ(&Service(), first);
    EXPECT_TRUE(Service().ConnectedMode());
    EXPECT_EQ(state().Settings.Name, "edited");

    state().SelectedEntryIndex = 0;
    CloseService();
    EXPECT_FALSE(HasService());
    EXPECT_EQ(state().SelectedEntryIndex, -1);
    CloseService();  // harmless without an object
    EXPECT_FALSE(HasService());
}

TEST_F(FindBySerial, EmptySerialNumberNeverCallsTheService) {
    startSite(site(2));
    EXPECT_EQ(FindControllerBySerialNo("", false), -1);
    EXPECT_EQ(FindControllerBySerialNo("", true), -1);
    EXPECT_FALSE(HasService()) << "no object may be created for an empty serial number";

    OpenService();
    const auto sentBefore = sentByService();
    const auto receivedBefore = fleet().stats().received;
    EXPECT_EQ(FindControllerBySerialNo("", true), -1);
    EXPECT_EQ(Service().ControllerCount(), 0);
    EXPECT_EQ(sentByService(), sentBefore);
    EXPECT_EQ(fleet().stats().received, receivedBefore);
}

TEST_F(FindBySerial, WithoutEntriesASearchIsMadeForThatControllerOnly) {
    startSite(site(3));
    OpenService();
    ASSERT_EQ(Service().ControllerCount(), 0);

    EXPECT_EQ(FindControllerBySerialNo("20-00002", false), 0);
    EXPECT_GT(sentByService(), 0u);
    EXPECT_EQ(entrySerials(), QStringList{"20-00002"});
    EXPECT_EQ(sim("20-00002").searchesAnswered, 1);
    EXPECT_EQ(sim("20-00001").searchesAnswered, 0);
}

TEST_F(FindBySerial, WithEntriesAndNoForceNothingIsSearched) {
    auto controllers = site(3);
    controllers[2].offline = true;  // not there during the first search
    startSite(controllers);
    RestartSearch();
    ASSERT_EQ(Service().ControllerCount(), 2);

    fleet().setOffline("20-00003", false);
    const auto sentBefore = sentByService();
    EXPECT_EQ(FindControllerBySerialNo("20-00003", false), -1);
    EXPECT_EQ(FindControllerBySerialNo("20-00002", false), entrySerials().indexOf("20-00002"));
    EXPECT_EQ(sentByService(), sentBefore) << "a lookup among present entries must not search";

    // Forced, the lookup searches and the controller joins the entries.
    EXPECT_EQ(FindControllerBySerialNo("20-00003", true), 2);
    EXPECT_GT(sentByService(), sentBefore);
    EXPECT_EQ(Service().ControllerCount(), 3);
}

TEST_F(FindBySerial, SpellingsOfOneSerialNumberMatchAnUnconvertibleOneNever) {
    auto controllers = site(3);
    controllers[2].serialNo = "NOSERIAL";
    startSite(controllers);
    RestartSearch();
    ASSERT_EQ(Service().ControllerCount(), 3);
    const int second = entrySerials().indexOf("20-00002");
    ASSERT_GE(second, 0);

    const auto sentBefore = sentByService();
    EXPECT_EQ(FindControllerBySerialNo("20-00002", false), second);
    EXPECT_EQ(FindControllerBySerialNo("2000002", false), second);
    EXPECT_EQ(FindControllerBySerialNo(" 20-2 ", false), second);
    EXPECT_EQ(FindControllerBySerialNo("20-00022", false), -1);
    // Text equality is not enough: a serial number the library cannot convert is never found.
    EXPECT_EQ(FindControllerBySerialNo("NOSERIAL", false), -1);
    EXPECT_EQ(FindControllerBySerialNo("garbage", false), -1);
    EXPECT_EQ(sentByService(), sentBefore);
}

TEST_F(FindBySerial, TheFirstOfSeveralMatchingEntriesWins) {
    auto controllers = site(3);
    controllers[1].serialNo = "20-00007";
    controllers[2].serialNo = "2000007";  // another spelling of the same number
    startSite(controllers);
    RestartSearch();
    const QStringList serials = entrySerials();
    ASSERT_EQ(serials.size(), 3);
    const int first = std::min(serials.indexOf("20-00007"), serials.indexOf("2000007"));
    EXPECT_EQ(FindControllerBySerialNo("20-7", false), first);
}

TEST_F(AddAddress, AnInvalidAddressIsReportedAndChangesNothing) {
    startSite(site(2));
    RestartSearch();
    const QStringList before = entrySerials();
    const auto sentBefore = sentByService();

    for (const QString& address : {QStringLiteral("not an address"), QStringLiteral("0.0.0.0")}) {
        answer(ui::ButtonOk);
        AddControllerAddress(address, "");
        ASSERT_EQ(ui::ModalSeam::log().size(), 1);
        EXPECT_EQ(ui::ModalSeam::log().first().text, address + " is not a valid IP address!");
        EXPECT_EQ(ui::ModalSeam::log().first().kind, ui::ModalKind::Message);
        EXPECT_EQ(ui::ModalSeam::log().first().style, 0);
        ui::ModalSeam::clearLog();
    }
    answer(ui::ButtonOk);
    AddControllerAddress("not an address", "255.255.255.0");
    EXPECT_EQ(entrySerials(), before);
    EXPECT_EQ(sentByService(), sentBefore);
}

TEST_F(AddAddress, AnAddressAloneSearchesItANetworkSearchesTheWholeNetwork) {
    auto controllers = site(3);
    controllers.push_back(controller(4));
    controllers[3].address = "127.78.1.4";  // outside the /24 of the others
    startSite(controllers);
    OpenService();

    AddControllerAddress("127.78.0.2", "");
    EXPECT_EQ(entrySerials(), QStringList{"20-00002"});
    EXPECT_EQ(sim("20-00001").searchesAnswered, 0);

    // The network search adds the others of 127.78.0.0/24; earlier entries stay where they were.
    AddControllerAddress("127.78.0.1", "255.255.255.0");
    QStringList serials = entrySerials();
    EXPECT_EQ(serials.size(), 3);
    EXPECT_EQ(serials.value(0), "20-00002");
    EXPECT_TRUE(serials.contains("20-00001"));
    EXPECT_TRUE(serials.contains("20-00003"));
    EXPECT_FALSE(serials.contains("20-00004"));

    AddControllerAddress("127.78.1.4", "");
    EXPECT_EQ(entrySerials().size(), 4);
    EXPECT_TRUE(ui::ModalSeam::log().isEmpty());
}

TEST_F(Restart, KeepsConnectedModeDropsEntriesUnmarksTheMarkedControllerLeavesTheRecord) {
    auto controllers = site(3);
    controllers[0].connected = true;
    startSite(controllers);
    OpenService();
    RestartSearch();
    ASSERT_EQ(Service().ControllerCount(), 3);
    SelectController("20-00003");
    ASSERT_GE(state().SelectedEntryIndex, 0);
    ASSERT_TRUE(sim("20-00003").marked);

    state().Settings.Name = "typed by the technician";
    state().Settings.UseDhcp = vbFalse;
    Service().setConnectedMode(true);
    RestartSearch();

    EXPECT_TRUE(Service().ConnectedMode());
    EXPECT_EQ(entrySerials(), QStringList{"20-00001"}) << "only the connected controller, earlier entries gone";
    EXPECT_EQ(state().SelectedEntryIndex, -1);
    EXPECT_EQ(state().Settings.Name, "typed by the technician");
    EXPECT_EQ(state().Settings.UseDhcp, vbFalse);
    // Unmarked through the old object before it went; nothing is left to unmark.
    EXPECT_FALSE(sim("20-00003").marked);
    EXPECT_EQ(sim("20-00003").unmarkCount, 1);
    SelectController("");
    EXPECT_EQ(sim("20-00001").unmarkCount, 0);
    EXPECT_EQ(sim("20-00003").unmarkCount, 1);

    Service().setConnectedMode(false);
    RestartSearch();
    EXPECT_FALSE(Service().ConnectedMode());
    EXPECT_EQ(Service().ControllerCount(), 3);

    // Marking another controller after a refresh leaves exactly one marked.
    SelectController("20-00002");
    RestartSearch();
    SelectController("20-00001");
    EXPECT_FALSE(sim("20-00002").marked);
    EXPECT_TRUE(sim("20-00001").marked);
    EXPECT_FALSE(sim("20-00003").marked);
}

TEST_F(Select, MarksOneControllerAtATimeOnTheControllers) {
    startSite(site(3));
    RestartSearch();
    const QStringList serials = entrySerials();
    ASSERT_EQ(serials.size(), 3);

    SelectController("20-00002");
    EXPECT_EQ(state().SelectedEntryIndex, serials.indexOf("20-00002"));
    EXPECT_TRUE(sim("20-00002").marked);
    EXPECT_EQ(sim("20-00002").markCount, 1);

    SelectController("2000003");
    EXPECT_EQ(state().SelectedEntryIndex, serials.indexOf("20-00003"));
    EXPECT_FALSE(sim("20-00002").marked);
    EXPECT_EQ(sim("20-00002").unmarkCount, 1);
    EXPECT_TRUE(sim("20-00003").marked);

    // The marked one again: unmarked, then marked.
    SelectController("20-00003");
    EXPECT_TRUE(sim("20-00003").marked);
    EXPECT_EQ(sim("20-00003").unmarkCount, 1);
    EXPECT_EQ(sim("20-00003").markCount, 2);

    // Not among the entries: only unmarks, and searches nothing.
    const auto roundsBefore = searchRounds();
    SelectController("20-00099");
    EXPECT_EQ(state().SelectedEntryIndex, -1);
    EXPECT_FALSE(sim("20-00003").marked);
    EXPECT_EQ(sim("20-00003").unmarkCount, 2);

    SelectController("20-00001");
    SelectController("");
    EXPECT_EQ(state().SelectedEntryIndex, -1);
    EXPECT_FALSE(sim("20-00001").marked);
    EXPECT_EQ(sim("20-00001").markCount, 1);
    EXPECT_EQ(sim("20-00001").unmarkCount, 1);
    EXPECT_EQ(sim("20-00002").markCount, 1);  // untouched since
    EXPECT_EQ(sim("20-00002").unmarkCount, 1);
    EXPECT_EQ(searchRounds(), roundsBefore) << "marking looks up among the entries, it never searches";
    EXPECT_EQ(Service().ControllerCount(), 3);
}

}  // namespace
