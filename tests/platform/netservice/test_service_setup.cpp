// Setup transactions, the network check and marking, against a simulated fleet.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/netservice/service_core.h"
#include "tests/common/sim_site.h"

using namespace zelmar;
using zelmar::testing::indexOf;
using zelmar::testing::quickConfig;
using zelmar::testing::serialOf;
using zelmar::testing::startFleet;

namespace {
std::shared_ptr<net::ControllerEntry> lookup(net::NetService& service, const std::string& serial) {
    service.Clear();
    service.setSearchSerialNo(serial);
    service.AddSerialNoSearch();
    service.Search();
    const int i = indexOf(service, serial);
    return i < 0 ? nullptr : service.Item(std::int16_t(i));
}
}  // namespace

TEST(ServiceSetup, AcceptedSetupChangesTheControllerAndTheEntry) {
    auto fleet = startFleet(8);
    net::NetService service(quickConfig(fleet));
    auto e = lookup(service, serialOf(3));  // a fixed-address controller
    ASSERT_TRUE(e);
    ASSERT_FALSE(e->UseDhcp());
    e->setName("Boiler room Ä");
    e->setDescription("Hus 7, floor 1");
    e->setUseDhcp(false);
    e->setMainComputerAddress("10.20.0.9");
    e->setConfigIpAddress("10.20.44.5");
    e->setConfigSubnetMask("255.255.255.0");
    e->setConfigGateway("10.20.44.1");
    e->setConfigDnsServer("10.20.0.2");
    // Held until Apply: nothing has reached the controller yet.
    EXPECT_EQ(fleet.controller(serialOf(3))->setupsReceived, 0);
    EXPECT_NE(e->Name(), "Boiler room Ä");
    e->setApply(true);
    EXPECT_TRUE(e->SetupOk());

    const auto s = fleet.controller(serialOf(3));
    EXPECT_EQ(s->name, "Boiler room Ä");
    EXPECT_EQ(s->description, "Hus 7, floor 1");
    EXPECT_EQ(s->mainComputerAddress, "10.20.0.9");
    EXPECT_EQ(s->ipAddress, "10.20.44.5");
    EXPECT_EQ(s->subnetMask, "255.255.255.0");
    EXPECT_EQ(s->gateway, "10.20.44.1");
    EXPECT_EQ(s->setupsApplied, 1);
    // The entry shows what the controller now runs with.
    EXPECT_EQ(e->Name(), "Boiler room Ä");
    EXPECT_EQ(e->IpAddress(), "10.20.44.5");
}

TEST(ServiceSetup, SwitchingToDhcpWritesTheDnsName) {
    auto fleet = startFleet(8);
    net::NetService service(quickConfig(fleet));
    auto e = lookup(service, serialOf(0));
    ASSERT_TRUE(e);
    e->setUseDhcp(true);
    e->setDnsName("boiler-1.plant.zelmar.test");
    e->setApply(true);
    ASSERT_TRUE(e->SetupOk());
    const auto s = fleet.controller(serialOf(0));
    EXPECT_TRUE(s->useDhcp);
    EXPECT_EQ(s->dnsName, "boiler-1.plant.zelmar.test");
    EXPECT_EQ(s->ipAddress.rfind("10.20.", 0), 0u);  // a lease from its attached network
    EXPECT_TRUE(e->UseDhcp());
}

TEST(ServiceSetup, InvalidSetupsChangeNothing) {
    auto fleet = startFleet(8);
    net::NetService service(quickConfig(fleet));
    const auto before = *fleet.controller(serialOf(3));
    struct Case {
        const char* what;
        std::function<void(net::ControllerEntry&)> write;
        const char* field;  // what the refusal names
    };
    const std::vector<Case> cases = {
        {"bad address", [](auto& e) { e.setConfigIpAddress("10.20.1.300"); }, "ConfigIpAddress"},
        {"address with a blank", [](auto& e) { e.setConfigIpAddress("10.20.1.3 "); }, "ConfigIpAddress"},
        {"non-contiguous mask", [](auto& e) { e.setConfigSubnetMask("255.0.255.0"); }, "ConfigSubnetMask"},
        {"gateway outside", [](auto& e) {
             e.setConfigIpAddress("10.20.44.5");
             e.setConfigSubnetMask("255.255.255.0");
             e.setConfigGateway("10.21.0.1");
         }, "ConfigGateway"},
        {"network address", [](auto& e) {
             e.setConfigIpAddress("10.20.44.0");
             e.setConfigSubnetMask("255.255.255.0");
             e.setConfigGateway("");
         }, "ConfigIpAddress"},
        {"DNS name with a blank", [](auto& e) { e.setDnsName("my host.site"); }, "DnsName"},
        {"main computer", [](auto& e) { e.setMainComputerAddress("not an address!"); }, "MainComputerAddress"},
        {"encryption without a password", [](auto& e) { e.setRequireEncryption(true); }, "EncryptionPassword"},
    };
    int rejected = 0;
    for (const Case& c : cases) {
        auto e = lookup(service, serialOf(3));
        ASSERT_TRUE(e);
        e->setName("Must not stick");  // a valid field in the same transaction
        c.write(*e);
        e->setApply(true);
        EXPECT_FALSE(e->SetupOk()) << c.what;
        EXPECT_EQ(e->SetupVerdict(), net::SetupOutcome::Refused) << c.what;
        EXPECT_EQ(e->SetupRefusedField(), c.field) << c.what;
        ++rejected;
        const auto now = *fleet.controller(serialOf(3));
        EXPECT_EQ(now.name, before.name) << c.what;
        EXPECT_EQ(now.description, before.description) << c.what;
        EXPECT_EQ(now.ipAddress, before.ipAddress) << c.what;
        EXPECT_EQ(now.subnetMask, before.subnetMask) << c.what;
        EXPECT_EQ(now.gateway, before.gateway) << c.what;
        EXPECT_EQ(now.dnsName, before.dnsName) << c.what;
        EXPECT_EQ(now.requireEncryption, before.requireEncryption) << c.what;
        EXPECT_EQ(now.setupsApplied, 0) << c.what;
        EXPECT_EQ(now.setupsRejected, rejected) << c.what;
    }
}

// A value no controller may take (over its limit, not UTF-8, a control character)
// or a serial number no search can carry is refused by the service, naming the
// field, before anything is sent.
TEST(ServiceSetup, ValuesTheProtocolCannotCarryAreRefusedBeforeSending) {
    auto fleet = startFleet(4);
    net::NetService service(quickConfig(fleet));
    auto e = lookup(service, serialOf(3));
    ASSERT_TRUE(e);
    const struct {
        const char* named;
        std::function<void(net::ControllerEntry&)> write;
    } cases[] = {
        {"Name is longer than 64 bytes", [](auto& e) { e.setName(std::string(65, 'x')); }},
        {"Name holds a control character or is not UTF-8", [](auto& e) { e.setName("Caf\xC3"); }},
        {"Description holds a control character", [](auto& e) { e.setDescription("two\nlines"); }},
        {"Description is longer than 255 bytes", [](auto& e) { e.setDescription(std::string(6000, 'd')); }},
        {"ConfigIpAddress is longer than 64 bytes", [](auto& e) { e.setConfigIpAddress(std::string(100, '1')); }},
    };
    for (const auto& c : cases) {
        e->setName("Must not stick");  // a valid field in the same transaction
        c.write(*e);
        e->setApply(true);
        EXPECT_FALSE(e->SetupOk()) << c.named;
        EXPECT_NE(e->NotSentReason().find(c.named), std::string::npos) << e->NotSentReason();
        EXPECT_EQ(e->SetupVerdict(), net::SetupOutcome::Refused) << c.named;
    }
    e->setConfigGateway(std::string(70, '2'));
    std::int32_t detail = 0;
    EXPECT_FALSE(e->CheckNetwork(detail));
    EXPECT_NE(e->NotSentReason().find("ConfigGateway is longer than 64 bytes"), std::string::npos);
    const auto now = *fleet.controller(serialOf(3));
    EXPECT_EQ(now.setupsReceived, 0);
    EXPECT_EQ(now.checksReceived, 0);

    const auto sent = service.core().stats().datagramsSent;
    service.Clear();
    service.setSearchSerialNo(std::string(1000, '7'));
    EXPECT_THROW(service.AddSerialNoSearch(), net::ServiceError);
    EXPECT_EQ(service.core().stats().datagramsSent, sent);
    // A valid setup goes through afterwards, and says nothing about not sending.
    e->setApply(false);
    e->setName("Taken");
    e->setApply(true);
    EXPECT_TRUE(e->SetupOk());
    EXPECT_TRUE(e->NotSentReason().empty());
}

TEST(ServiceSetup, AnEncryptionPasswordIsNeverSentInClear) {
    // The password itself never leaves the service (it only becomes a key that travels
    // sealed, test_encryption*.cpp): with encryption staying off it is simply not used.
    auto fleet = startFleet(4);
    net::NetService service(quickConfig(fleet));
    auto e = lookup(service, serialOf(2));
    ASSERT_TRUE(e);
    e->setName("x");
    e->setEncryptionPassword("secret");
    e->setApply(true);
    EXPECT_TRUE(e->SetupOk());
    EXPECT_EQ(fleet.controller(serialOf(2))->name, "x");
    EXPECT_FALSE(fleet.controller(serialOf(2))->requireEncryption);
    // An empty password and encryption off are harmless and go through.
    e->setRequireEncryption(false);
    e->setEncryptionPassword("");
    e->setName("y");
    e->setApply(true);
    EXPECT_TRUE(e->SetupOk());
    EXPECT_EQ(fleet.controller(serialOf(2))->name, "y");
}

TEST(ServiceSetup, ApplyWithNothingHeldSendsNothing) {
    auto fleet = startFleet(3);
    net::NetService service(quickConfig(fleet));
    auto e = lookup(service, serialOf(1));
    ASSERT_TRUE(e);
    e->setApply(true);
    e->setApply(false);
    EXPECT_TRUE(e->SetupOk());
    EXPECT_EQ(fleet.controller(serialOf(1))->setupsReceived, 0);
}

TEST(ServiceSetup, HeldWritesAreSharedByEntryObjectsOfOneIndex) {
    auto fleet = startFleet(3);
    net::NetService service(quickConfig(fleet));
    auto e = lookup(service, serialOf(1));
    ASSERT_TRUE(e);
    const auto index = std::int16_t(indexOf(service, serialOf(1)));
    service.Item(index)->setName("From one object");
    service.Item(index)->setDescription("From another");
    service.Item(index)->setApply(true);
    EXPECT_TRUE(service.Item(index)->SetupOk());
    EXPECT_EQ(fleet.controller(serialOf(1))->name, "From one object");
    EXPECT_EQ(fleet.controller(serialOf(1))->description, "From another");
}

TEST(ServiceSetup, ARetransmittedSetupIsAppliedOnce) {
    auto fleet = startFleet(3);
    net::NetService service(quickConfig(fleet));
    auto e = lookup(service, serialOf(0));
    ASSERT_TRUE(e);
    // Answers arrive after 250 ms: the service asks again at 100 and 300 ms with the same request.
    fleet.setDelayMs(250, 250);
    e->setName("Once");
    e->setApply(true);
    EXPECT_TRUE(e->SetupOk());
    const auto s = fleet.controller(serialOf(0));
    EXPECT_EQ(s->setupsApplied, 1);
    EXPECT_EQ(s->setupsReceived, 1);
    EXPECT_GE(s->setupRetransmits, 1);
}

TEST(ServiceSetup, SetupUnderLossIsTakenOnceOrReportedAsNotTaken) {
    auto fleet = startFleet(5);
    auto config = quickConfig(fleet);
    config.lookupTimeoutMs = 3000;
    net::NetService service(config);
    auto e = lookup(service, serialOf(4));
    ASSERT_TRUE(e);
    fleet.setLossPercent(30);
    int confirmed = 0;
    for (int i = 0; i < 8; ++i) {
        e->setDescription("round " + std::to_string(i));
        e->setApply(true);
        confirmed += e->SetupOk() ? 1 : 0;
    }
    fleet.setLossPercent(0);
    const auto s = fleet.controller(serialOf(4));
    // Every transaction was applied at most once; the confirmed ones certainly.
    EXPECT_LE(s->setupsApplied, 8);
    EXPECT_GE(s->setupsApplied, confirmed);
    EXPECT_EQ(s->setupsApplied, s->setupsReceived);
    EXPECT_GE(confirmed, 6);
}

TEST(ServiceSetup, AnOfflineControllerIsNotSetUp) {
    auto fleet = startFleet(3);
    auto config = quickConfig(fleet);
    config.lookupTimeoutMs = 300;
    net::NetService service(config);
    auto e = lookup(service, serialOf(1));
    ASSERT_TRUE(e);
    fleet.setOffline(serialOf(1), true);
    e->setName("Nobody hears");
    e->setApply(true);
    EXPECT_FALSE(e->SetupOk());
    EXPECT_EQ(e->SetupVerdict(), net::SetupOutcome::NoAnswer);  // not "refused": nobody said no
    EXPECT_EQ(e->SetupRefusedField(), "");
    std::int32_t detail = 0;
    EXPECT_FALSE(e->CheckNetwork(detail));
    EXPECT_FALSE(e->MarkSelected());  // no answer: not reported as marked
    EXPECT_FALSE(fleet.controller(serialOf(1))->marked);
}

TEST(ServiceSetup, ASetupWhoseAnswerIsLostIsConfirmedWhereTheControllerNowAnswers) {
    auto fleet = startFleet(6);
    auto config = fleet.clientConfig();
    config.searchTargets = {"127.77.0.1-127.77.0.40"};
    net::NetService service(config);
    auto e = lookup(service, serialOf(2));
    ASSERT_TRUE(e);
    fleet.setLoseReplies(net::wire::MsgType::SetupReply, true);
    // The controller takes its new address and answers from there from now on.
    std::thread mover([&] {
        for (int i = 0; i < 400 && fleet.controller(serialOf(2))->setupsApplied == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        fleet.moveController(serialOf(2), "127.77.0.33");
    });
    e->setName("Answer lost");
    e->setUseDhcp(false);
    e->setConfigIpAddress("10.20.44.5");
    e->setConfigSubnetMask("255.255.255.0");
    e->setConfigGateway("");
    e->setApply(true);
    mover.join();
    EXPECT_EQ(fleet.controller(serialOf(2))->setupsApplied, 1);
    EXPECT_TRUE(e->SetupOk());
    EXPECT_EQ(e->SetupVerdict(), net::SetupOutcome::Confirmed);
    EXPECT_EQ(e->IpAddress(), "10.20.44.5");

    // Lost again, but this time the controller refused: nobody can say it is in place.
    e->setConfigIpAddress("10.20.44.0");
    e->setApply(true);
    EXPECT_FALSE(e->SetupOk());
    EXPECT_EQ(e->SetupVerdict(), net::SetupOutcome::NoAnswer);
}

TEST(ServiceSetup, ASetupTheControllerCannotStoreIsRefusedAndNotTaken) {
    auto fleet = sim::SimFleet::generate(3);
    const QTemporaryDir dir;
    fleet.setStateFile(dir.filePath("no such folder/state.json").toStdString());  // cannot be written
    fleet.start(0);
    net::NetService service(quickConfig(fleet));
    auto e = lookup(service, serialOf(1));
    ASSERT_TRUE(e);
    const auto before = *fleet.controller(serialOf(1));
    e->setName("Not stored");
    e->setApply(true);
    EXPECT_FALSE(e->SetupOk());
    EXPECT_EQ(e->SetupVerdict(), net::SetupOutcome::Refused);
    EXPECT_EQ(e->SetupRefusedReason(), "the controller could not store the settings");
    EXPECT_EQ(fleet.controller(serialOf(1))->name, before.name);  // nothing taken that a restart would lose
    EXPECT_EQ(fleet.controller(serialOf(1))->setupsApplied, 0);
}

TEST(ServiceSetup, AMovedControllerIsReachedThroughTheSearchTargets) {
    auto fleet = startFleet(6);
    auto config = fleet.clientConfig();
    config.searchTargets = {"127.77.0.1-127.77.0.40"};
    net::NetService service(config);
    auto e = lookup(service, serialOf(2));
    ASSERT_TRUE(e);
    ASSERT_TRUE(fleet.moveController(serialOf(2), "127.77.0.33"));
    e->setName("Found again");
    e->setApply(true);
    EXPECT_TRUE(e->SetupOk());
    EXPECT_EQ(fleet.controller(serialOf(2))->name, "Found again");
    // Another controller at the old address would have ignored it: requests name their controller.
    e->setDescription("second");
    e->setApply(true);
    EXPECT_TRUE(e->SetupOk());
}

TEST(ServiceSetup, NetworkCheckJudgesHeldSettingsAgainstTheAttachedNetwork) {
    auto fleet = startFleet(4);
    net::NetService service(quickConfig(fleet));
    auto e = lookup(service, serialOf(3));
    ASSERT_TRUE(e);
    std::int32_t detail = 0;

    e->setUseDhcp(false);
    e->setConfigIpAddress("10.20.8.8");
    e->setConfigSubnetMask("255.255.0.0");
    e->setConfigGateway("10.20.0.1");
    ASSERT_TRUE(e->CheckNetwork(detail));
    EXPECT_TRUE(e->IpSettingsFitNetwork());
    EXPECT_EQ(detail, 0);

    e->setConfigIpAddress("192.168.1.20");  // attached to 10.20.0.0/16
    ASSERT_TRUE(e->CheckNetwork(detail));
    EXPECT_FALSE(e->IpSettingsFitNetwork());
    EXPECT_NE(detail & net::wire::CheckAddressOutsideNetwork, 0);
    EXPECT_NE(detail & net::wire::CheckGatewayOutsideNetwork, 0);

    e->setConfigIpAddress("10.20.8.8");
    e->setConfigSubnetMask("255.255.0.255");
    ASSERT_TRUE(e->CheckNetwork(detail));
    EXPECT_FALSE(e->IpSettingsFitNetwork());
    EXPECT_NE(detail & net::wire::CheckMaskInvalid, 0);

    e->setUseDhcp(true);  // DHCP takes its address from the network itself
    ASSERT_TRUE(e->CheckNetwork(detail));
    EXPECT_TRUE(e->IpSettingsFitNetwork());

    // The check changes nothing on the controller.
    EXPECT_EQ(fleet.controller(serialOf(3))->setupsApplied, 0);
    EXPECT_EQ(fleet.controller(serialOf(3))->checksReceived, 4);
}

TEST(ServiceSetup, MarkingIsRecordedByTheController) {
    auto fleet = startFleet(5);
    net::NetService service(fleet.clientConfig());
    service.Search();
    const auto index = std::int16_t(indexOf(service, serialOf(2)));
    ASSERT_GE(index, 0);
    EXPECT_TRUE(service.Item(index)->MarkSelected());
    EXPECT_TRUE(fleet.controller(serialOf(2))->marked);
    EXPECT_EQ(fleet.controller(serialOf(2))->markCount, 1);
    EXPECT_TRUE(service.Item(index)->UnmarkSelected());
    EXPECT_FALSE(fleet.controller(serialOf(2))->marked);
    EXPECT_EQ(fleet.controller(serialOf(2))->unmarkCount, 1);
    bool logged = false;
    for (const auto& line : fleet.log())
        logged = logged || line.find("Unmark") != std::string::npos;
    EXPECT_TRUE(logged);
    for (const auto& s : fleet.controllers()) {
        if (s.serialNo != serialOf(2)) {
            EXPECT_EQ(s.markCount, 0);
        }
    }
}

TEST(ServiceSetup, AServiceObjectThatLearntTheSiteSetsUpWithoutASearchOfItsOwn) {
    auto data = sim::generateFleet(6);
    data.controllers[4].capabilities = net::CapEncryption;  // one that requires encryption: read and set up sealed
    data.controllers[4].requireEncryption = true;
    data.controllers[4].encryptionPassword = "Site-7";
    sim::SimFleet fleet(std::move(data));
    fleet.start(0);
    net::NetService searched(quickConfig(fleet));
    searched.setPassword("Site-7");
    searched.Search();
    ASSERT_EQ(searched.ControllerCount(), 6);

    net::NetService learnt(quickConfig(fleet));  // as a worker thread's own
    learnt.setPassword("Site-7");
    learnt.LearnControllers(searched);
    learnt.LearnControllers(searched);  // what it knows already is not taken twice
    ASSERT_EQ(learnt.ControllerCount(), 6);
    const int searchesBefore = fleet.controller(serialOf(4))->searchesAnswered;
    for (const int i : {2, 4}) {
        SCOPED_TRACE(serialOf(i));
        const int index = indexOf(learnt, serialOf(i));
        ASSERT_GE(index, 0);
        auto e = learnt.Item(std::int16_t(index));
        EXPECT_FALSE(e->AnsweredLastSearch());
        EXPECT_EQ(e->Name(), searched.Item(std::int16_t(indexOf(searched, serialOf(i))))->Name());
        e->setName("Learnt " + std::to_string(i));
        e->setApply(true);
        EXPECT_TRUE(e->SetupOk());
        EXPECT_EQ(fleet.controller(serialOf(i))->name, "Learnt " + std::to_string(i));
    }
    EXPECT_EQ(learnt.core().stats().searchRounds, 0u);
    EXPECT_EQ(fleet.controller(serialOf(4))->searchesAnswered, searchesBefore);
}
