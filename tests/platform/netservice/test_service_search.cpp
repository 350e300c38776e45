// Searches of the service against a simulated fleet over real UDP on loopback.
#include <gtest/gtest.h>

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <atomic>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "platform/netservice/service_core.h"
#include "platform/netservice/system/udp_platform.h"
#include "platform/netservice/wire/wire.h"
#include "tests/common/sim_site.h"

using namespace zelmar;
using zelmar::testing::indexOf;
using zelmar::testing::quickConfig;
using zelmar::testing::serialOf;
using zelmar::testing::startFleet;

TEST(ServiceSearch, FullSearchFindsEveryControllerWithItsSettings) {
    auto fleet = startFleet(40);
    net::NetService service(fleet.clientConfig());
    service.Clear();
    service.Search();
    ASSERT_EQ(service.ControllerCount(), 40);
    std::set<std::string> serials;
    for (int i = 0; i < 40; ++i) {
        auto e = service.Item(std::int16_t(i));
        serials.insert(e->SerialNo());
        const auto s = fleet.controller(e->SerialNo());
        ASSERT_TRUE(s) << e->SerialNo();
        EXPECT_EQ(e->Name(), s->name);
        EXPECT_EQ(e->Description(), s->description);
        EXPECT_EQ(e->EthernetAddress(), s->ethernetAddress);
        EXPECT_EQ(e->IpAddress(), s->ipAddress);
        EXPECT_EQ(e->SubnetMask(), s->subnetMask);
        EXPECT_EQ(e->Gateway(), s->gateway);
        EXPECT_EQ(e->DnsServer(), s->dnsServer);
        EXPECT_EQ(e->DnsName(), s->dnsName);
        EXPECT_EQ(e->MainComputerAddress(), s->mainComputerAddress);
        EXPECT_EQ(e->UseDhcp(), s->useDhcp);
        EXPECT_EQ(e->ModelCode(), s->modelCode);
        EXPECT_EQ(e->PortOsType(), s->portOsType);
        EXPECT_EQ(e->PortOsRevision(), s->portOsRevision);
        EXPECT_EQ(e->Capabilities(), s->capabilities);
        EXPECT_FALSE(e->RequireEncryption());
        EXPECT_TRUE(e->PasswordOk());
    }
    EXPECT_EQ(serials.size(), 40u);  // one entry per controller
    // The factory-new controller (no IP yet) is found like the others.
    EXPECT_EQ(service.Item(std::int16_t(indexOf(service, serialOf(5))))->IpAddress(), "0.0.0.0");
}

TEST(ServiceSearch, FullSearchOverABroadcastRangeWithGaps) {
    auto fleet = startFleet(12);
    auto config = fleet.clientConfig();
    // A wider range than the fleet: addresses without a controller never answer; once asked often enough, the search ends.
    config.searchTargets = {"127.77.0.1-127.77.0.60"};
    net::NetService service(config);
    service.Search();
    EXPECT_EQ(service.ControllerCount(), 12);
}

TEST(ServiceSearch, AddressSearchFindsOnlyThatController) {
    auto fleet = startFleet(10);
    net::NetService service(quickConfig(fleet));
    EXPECT_TRUE(service.IsValidAddress("127.77.0.4"));
    service.Clear();
    service.AddAddress("127.77.0.4");
    service.Search();
    ASSERT_EQ(service.ControllerCount(), 1);
    EXPECT_EQ(service.Item(0)->SerialNo(), serialOf(3));

    // Nobody at the address: nothing is added, the entries stay.
    service.Clear();
    service.AddAddress("127.77.0.200");
    service.Search();
    EXPECT_EQ(service.ControllerCount(), 1);
}

TEST(ServiceSearch, HostNameLocalhostIsResolved) {
    const std::string json = R"({"controllers":[{"serialNo":"20-00001","ethernetAddress":"02-00-00-00-00-01",
        "address":"127.0.0.1","name":"Bench unit"}]})";
    auto fleet = sim::SimFleet::fromJson(json);
    fleet.start(0);
    net::NetService service(quickConfig(fleet));
    EXPECT_TRUE(service.IsValidAddress("localhost"));
    EXPECT_FALSE(service.IsValidAddress("no such host"));
    EXPECT_FALSE(service.IsValidAddress("1.2.3"));
    EXPECT_FALSE(service.IsValidAddress(""));
    // Only loopback names are looked up in this lab set-up: no DNS query leaves the machine.
    EXPECT_FALSE(service.IsValidAddress("controller.example.com"));
    service.Clear();
    service.AddAddress("localhost");
    service.Search();
    ASSERT_EQ(service.ControllerCount(), 1);
    EXPECT_EQ(service.Item(0)->Name(), "Bench unit");
}

TEST(ServiceSearch, NetworkSearchAsksEveryHostOfTheNetwork) {
    sim::GenerateOptions o;
    o.firstAddress = "127.78.5.200";  // 55 controllers in 127.78.5.0/24, the rest in 127.78.6.x
    auto fleet = startFleet(80, o);
    net::NetService service(fleet.clientConfig());
    service.Clear();
    service.AddNetwork("127.78.5.17", "255.255.255.0");
    service.Search();
    EXPECT_EQ(service.ControllerCount(), 55);
    for (int i = 0; i < service.ControllerCount(); ++i) {
        const auto s = fleet.controller(service.Item(std::int16_t(i))->SerialNo());
        EXPECT_EQ(s->address.rfind("127.78.5.", 0), 0u) << s->address;
    }
    // A prefix length is taken as well; entries found before stay, new ones are appended.
    service.Clear();
    service.AddNetwork("127.78.6.1", "/24");
    service.Search();
    EXPECT_EQ(service.ControllerCount(), 80);
}

TEST(ServiceSearch, NetworkSearchWithAnUnusableMaskSearchesTheAddressAlone) {
    auto fleet = startFleet(5);
    net::NetService service(quickConfig(fleet));
    service.Clear();
    service.AddNetwork("127.77.0.2", "255.0.255.0");
    service.Search();
    ASSERT_EQ(service.ControllerCount(), 1);
    EXPECT_EQ(service.Item(0)->SerialNo(), serialOf(1));
}

TEST(ServiceSearch, SerialLookupFindsOneControllerAndMissesQuietly) {
    auto fleet = startFleet(30);
    net::NetService service(quickConfig(fleet));
    service.Clear();
    service.setSearchSerialNo("10-00017");
    service.AddSerialNoSearch();
    service.Search();
    ASSERT_EQ(service.ControllerCount(), 1);
    EXPECT_EQ(service.Item(0)->SerialNo(), "10-00017");
    // Spelled differently, the same serial number: the same controller, refreshed in place.
    service.Clear();
    service.setSearchSerialNo("1000017");
    service.AddSerialNoSearch();
    service.Search();
    EXPECT_EQ(service.ControllerCount(), 1);

    service.Clear();
    service.setSearchSerialNo("99-00001");
    service.AddSerialNoSearch();
    service.Search();
    EXPECT_EQ(service.ControllerCount(), 1);
    // Only the one controller was asked to answer.
    int answered = 0;
    for (const auto& s : fleet.controllers())
        answered += s.searchesAnswered;
    EXPECT_EQ(answered, 2);
}

TEST(ServiceSearch, ConnectedModeFindsZeroOneOrTwo) {
    for (int connected : {0, 1, 2}) {
        sim::GenerateOptions o;
        o.connected = connected;
        auto fleet = startFleet(15, o);
        net::NetService service(fleet.clientConfig());
        service.setConnectedMode(true);
        EXPECT_TRUE(service.ConnectedMode());
        service.Clear();
        service.Search();
        ASSERT_EQ(service.ControllerCount(), connected) << connected << " connected";
        for (int i = 0; i < connected; ++i)
            EXPECT_TRUE(fleet.controller(service.Item(std::int16_t(i))->SerialNo())->connected);
    }
}

TEST(ServiceSearch, ConnectedModeFollowsTheCable) {
    sim::GenerateOptions o;
    o.connected = 0;
    auto fleet = startFleet(6, o);
    fleet.setConnected("10-00004", true);
    net::NetService service(fleet.clientConfig());
    service.setConnectedMode(true);
    service.Search();
    ASSERT_EQ(service.ControllerCount(), 1);
    EXPECT_EQ(service.Item(0)->SerialNo(), "10-00004");
    // A lookup by serial number is not limited to the connected controller.
    service.Clear();
    service.setSearchSerialNo("10-00002");
    service.AddSerialNoSearch();
    service.Search();
    EXPECT_EQ(service.ControllerCount(), 2);
}

TEST(ServiceSearch, AnsweringAgainRefreshesInPlaceAndNewOnesAreAppended) {
    auto fleet = startFleet(20);
    fleet.setOffline(serialOf(7), true);
    fleet.setOffline(serialOf(12), true);
    net::NetService service(fleet.clientConfig());
    service.Search();
    ASSERT_EQ(service.ControllerCount(), 18);
    std::map<std::string, int> before;
    for (int i = 0; i < 18; ++i)
        before[service.Item(std::int16_t(i))->SerialNo()] = i;
    auto kept = service.Item(std::int16_t(before.at(serialOf(3))));

    // Another client renames one controller; the two offline ones come back.
    {
        net::NetService other(fleet.clientConfig());
        other.setSearchSerialNo(serialOf(3));
        other.AddSerialNoSearch();
        other.Search();
        auto e = other.Item(0);
        e->setName("Renamed");
        e->setApply(true);
        ASSERT_TRUE(e->SetupOk());
    }
    fleet.setOffline(serialOf(7), false);
    fleet.setOffline(serialOf(12), false);
    service.Clear();
    service.Search();
    ASSERT_EQ(service.ControllerCount(), 20);
    for (const auto& [serial, index] : before)
        EXPECT_EQ(service.Item(std::int16_t(index))->SerialNo(), serial);
    std::set<std::string> appended = {service.Item(18)->SerialNo(), service.Item(19)->SerialNo()};
    EXPECT_EQ(appended, (std::set<std::string>{serialOf(7), serialOf(12)}));
    // An entry object taken before the search shows the refreshed values.
    EXPECT_EQ(kept->Name(), "Renamed");
}

TEST(ServiceSearch, SearchUnderTenPercentLossFindsEveryController) {
    auto fleet = startFleet(100);
    fleet.setLossPercent(10);
    auto config = fleet.clientConfig();
    config.searchTargets = {"127.77.0.1-127.77.0.120"};  // as a broadcast would: more addresses than controllers
    net::NetService service(config);
    service.Search();
    EXPECT_EQ(service.ControllerCount(), 100);
    EXPECT_GT(fleet.stats().lost, 0u);
}

TEST(ServiceSearch, SearchOverASlowLinkFindsEveryController) {
    auto fleet = startFleet(12);
    fleet.setDelayMs(400, 450);  // as over a VPN to a remote site
    auto config = fleet.clientConfig();
    config.searchTargets = {"127.77.0.1-127.77.0.30"};  // silent addresses too: the search must decide when to end
    net::NetService service(config);
    service.Search();
    EXPECT_EQ(service.ControllerCount(), 12);
    // Connected mode over the same link: the one cabled controller, nobody else.
    net::NetService connected(config);
    connected.setConnectedMode(true);
    connected.Search();
    ASSERT_EQ(connected.ControllerCount(), 1);
    EXPECT_EQ(connected.Item(0)->SerialNo(), serialOf(0));
}

TEST(ServiceSearch, OlderControllersThatDoNotTellTheirTimingAreFoundOnQuietAndSlowLinks) {
    sim::FleetData data = sim::generateFleet(30);
    for (std::size_t i = 0; i < data.controllers.size(); i += 3)
        data.controllers[i].answerTiming = false;  // a site of mixed firmware
    sim::SimFleet fleet(std::move(data));
    fleet.start(0);
    auto config = fleet.clientConfig();
    config.searchTargets = {"127.77.0.1-127.77.0.60"};
    fleet.setDelayMs(400, 450);
    net::NetService slow(config);
    slow.Search();
    EXPECT_EQ(slow.ControllerCount(), 30);
    fleet.setDelayMs(0, 0);
    fleet.setLossPercent(10);
    net::NetService lossy(config);
    lossy.Search();
    EXPECT_EQ(lossy.ControllerCount(), 30);
}

TEST(ServiceSearch, AControllerWhoseFirstAnswersAreLostIsFoundInALaterRound) {
    auto fleet = startFleet(20);
    fleet.setLoseNextReplies(serialOf(7), net::wire::MsgType::SearchReply, 2);
    auto config = fleet.clientConfig();
    config.searchTargets = {"127.77.0.1-127.77.0.40"};
    net::NetService service(config);
    service.Search();
    EXPECT_EQ(service.ControllerCount(), 20);
    EXPECT_GE(indexOf(service, serialOf(7)), 0);
    EXPECT_GE(service.core().stats().searchRounds, 3u);
}

TEST(ServiceSearch, DuplicatedAnswersMakeNoDuplicateEntries) {
    auto fleet = startFleet(25);
    fleet.setDuplicatePercent(100);
    net::NetService service(fleet.clientConfig());
    service.Search();
    service.Search();
    EXPECT_EQ(service.ControllerCount(), 25);
}

TEST(ServiceSearch, GarbageDatagramsDoNotDisturbASearch) {
    auto fleet = startFleet(20);
    auto config = fleet.clientConfig();
    config.searchTargets = {"127.77.0.1-127.77.0.30"};
    net::NetService service(config);
    service.setSearchSerialNo(serialOf(0));
    service.AddSerialNoSearch();
    service.Search();  // opens the socket
    const std::uint16_t servicePort = service.core().localPort();
    ASSERT_NE(servicePort, 0);

    std::atomic<bool> stop{false};
    std::thread rogue([&] {
        auto sock = net::platform::UdpSocket::bind(0x7F000063u, 0);  // 127.0.0.99
        std::mt19937 rng(5);
        net::wire::Message fake;
        fake.type = net::wire::MsgType::SearchReply;
        fake.requestId = 1;
        fake.add(net::wire::TagSerialNo, "66-66666");
        const auto valid = net::wire::encode(fake);  // no Ethernet address: refused
        while (!stop) {
            std::vector<std::uint8_t> b(rng() % 300);
            for (auto& x : b)
                x = std::uint8_t(rng());
            if (rng() % 3 == 0 && b.size() >= 16)
                std::copy(valid.begin(), valid.begin() + 16, b.begin());  // a real header with a lying length
            sock->sendTo({0x7F000001u, servicePort}, b.data(), b.size());
            sock->sendTo({0x7F000001u, servicePort}, valid.data(), valid.size());
            std::vector<std::uint8_t> big(9000, 0x5A);
            sock->sendTo({0x7F000001u, servicePort}, big.data(), big.size());
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    service.Clear();
    service.Search();
    stop = true;
    rogue.join();
    EXPECT_EQ(service.ControllerCount(), 20);
    EXPECT_GT(service.core().stats().datagramsDropped, 0u);
    EXPECT_EQ(indexOf(service, "66-66666"), -1);
}

TEST(ServiceSearch, NothingIsSentOutsideLoopback) {
    net::ServiceConfig config;
    config.searchTargets = {"10.0.0.1-10.0.0.20"};
    config.firstAnswerWaitMs = 50;
    config.answerSpreadMs = 0;
    config.lookupTimeoutMs = 100;
    net::NetService service(config);
    EXPECT_TRUE(service.IsValidAddress("192.168.1.10"));  // a valid address, but never a target here
    service.Clear();
    service.AddAddress("192.168.1.10");
    service.Search();
    service.Clear();
    service.Search();
    EXPECT_EQ(service.ControllerCount(), 0);
    EXPECT_EQ(service.core().stats().datagramsSent, 0u);
    EXPECT_GT(service.core().stats().datagramsDropped, 20u);
}

TEST(ServiceSearch, EntriesOutOfRangeAndInjectedReadFailuresAreErrors) {
    auto fleet = startFleet(3);
    auto config = fleet.clientConfig();
    config.failEntryReadsAfter = 4;
    net::NetService service(config);
    service.Search();
    ASSERT_EQ(service.ControllerCount(), 3);
    EXPECT_THROW(service.Item(3), net::ServiceError);
    EXPECT_THROW(service.Item(-1), net::ServiceError);
    auto e = service.Item(0);
    for (int i = 0; i < 4; ++i)
        EXPECT_NO_THROW(e->Name());
    EXPECT_THROW(e->SerialNo(), net::ServiceError);
}

TEST(ServiceSearch, BadConfigurationIsAnError) {
    EXPECT_THROW(net::ServiceConfig::fromJson("{"), std::runtime_error);
    EXPECT_THROW(net::ServiceConfig::fromJson(R"({"port": 70000})"), std::runtime_error);
    EXPECT_THROW(net::ServiceConfig::fromJson(R"({"searchTargets": "127.0.0.1"})"), std::runtime_error);
    // The message names the real problem, the file and the variable that named it.
    const auto problem = [](const std::string& json) {
        QTemporaryDir dir;
        const QString path = dir.filePath("client.json");
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(json.data(), qint64(json.size())) < 0)
            return std::string("not written");
        f.close();
        qputenv("ZELMAR_NETSERVICE_CONFIG", path.toLocal8Bit());
        const auto restore = qScopeGuard([] { qunsetenv("ZELMAR_NETSERVICE_CONFIG"); });
        try {
            net::ServiceConfig::fromEnvironment();
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    std::string why = problem(R"({"port": 4000, "firstAnswerWaitMS": 900})");
    EXPECT_NE(why.find("unknown key \"firstAnswerWaitMS\" (did you mean \"firstAnswerWaitMs\"?)"), std::string::npos) << why;
    EXPECT_NE(why.find("client.json: "), std::string::npos) << why;
    EXPECT_NE(why.find("ZELMAR_NETSERVICE_CONFIG"), std::string::npos) << why;
    why = problem(R"([{"port": 4000}])");
    EXPECT_NE(why.find("the top level is a list"), std::string::npos) << why;
    EXPECT_EQ(why.find("no error occurred"), std::string::npos) << why;
    why = problem(R"({"quietPeriodMs": 300})");  // the search no longer ends by a fixed quiet period
    EXPECT_NE(why.find("\"quietPeriodMs\" is no longer used"), std::string::npos) << why;
    EXPECT_THROW(net::ServiceConfig::fromJson(R"({"maxSearchRounds": 0})"), std::runtime_error);
    const auto c = net::ServiceConfig::fromJson(R"({"port": 4000, "searchTargets": ["127.1.0.0/24"], "firstAnswerWaitMs": 50})");
    EXPECT_EQ(c.port, 4000);
    EXPECT_EQ(c.firstAnswerWaitMs, 50);
    EXPECT_EQ(net::ServiceConfig::fromJson(c.toJson()).searchTargets, c.searchTargets);
    net::ServiceConfig bad;
    bad.searchTargets = {"127.0.0.0/8"};  // more than 65536 hosts
    net::NetService service(bad);
    EXPECT_THROW(service.Search(), net::ServiceError);
}
