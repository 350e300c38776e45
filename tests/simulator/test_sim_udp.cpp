// The running fleet over real UDP: malformed traffic, repeated requests,
// persistence of written settings.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <random>
#include <thread>

#include "platform/netservice/wire/ipv4.h"
#include "platform/netservice/wire/messages.h"
#include "platform/netservice/net_service.h"
#include "platform/netservice/system/udp_platform.h"
#include "simulator/fleet_file.h"
#include "simulator/sim_fleet.h"

using namespace zelmar;
namespace wire = net::wire;
using net::platform::Endpoint;
using net::platform::UdpSocket;

namespace {
std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Waits up to `ms` for one datagram.
std::optional<std::vector<std::uint8_t>> receive(UdpSocket& s, int ms) {
    if (!s.waitReadable(ms))
        return std::nullopt;
    std::vector<std::uint8_t> buf(wire::kMaxDatagram + 1);
    Endpoint from;
    const long n = s.receiveFrom(buf.data(), buf.size(), from);
    if (n < 0)
        return std::nullopt;
    buf.resize(std::size_t(n));
    return buf;
}

// A clear setup that gives the controller `serial` of the fleet a new description.
std::vector<std::uint8_t> descriptionSetup(sim::SimFleet& fleet, const std::string& serial, std::uint32_t requestId,
                                           const std::string& description) {
    wire::Message setup;
    setup.type = wire::MsgType::Setup;
    setup.requestId = requestId;
    setup.addEthernet(wire::TagTargetEthernet, *wire::parseEthernet(fleet.controller(serial)->ethernetAddress));
    setup.add(wire::TagDescription, description);
    return wire::encode(setup);
}
}  // namespace

TEST(SimUdp, MalformedDatagramsAreDroppedAndTheFleetKeepsAnswering) {
    auto fleet = sim::SimFleet::generate(10);
    fleet.start(0);
    auto sock = UdpSocket::bind(0x7F000001u, 0);
    ASSERT_TRUE(sock);
    const Endpoint target{0x7F4D0003u, fleet.port()};  // 127.77.0.3
    std::mt19937 rng(7);
    wire::Message m;
    m.type = wire::MsgType::Search;
    m.requestId = 1;
    const auto header = wire::encode(m);
    for (int i = 0; i < 3000; ++i) {
        std::vector<std::uint8_t> b(rng() % 400);
        for (auto& x : b)
            x = std::uint8_t(rng());
        if (i % 3 == 0 && b.size() >= 16)
            std::copy(header.begin(), header.end(), b.begin());  // a real header, a body that lies
        sock->sendTo(target, b.data(), b.size());
        // Paced by what the fleet took in, so that a loaded machine does not drop them in the socket.
        for (int wait = 0; i % 100 == 99 && wait < 200 && fleet.stats().received + 20 < std::uint64_t(i + 1); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::vector<std::uint8_t> huge(20000, 0x41);
    sock->sendTo(target, huge.data(), huge.size());
    std::vector<std::uint8_t> empty;
    sock->sendTo(target, empty.data(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    while (receive(*sock, 0)) {
    }

    EXPECT_GT(fleet.stats().unparsable, 1000u);
    bool loggedDrop = false;
    for (const auto& line : fleet.log())
        loggedDrop = loggedDrop || line.find("dropped: ") != std::string::npos;
    EXPECT_TRUE(loggedDrop);

    net::NetService service(fleet.clientConfig());
    service.Search();
    EXPECT_EQ(service.ControllerCount(), 10);
}

TEST(SimUdp, ARepeatedSetupGetsTheSameAnswerAndIsAppliedOnce) {
    auto fleet = sim::SimFleet::generate(3);
    fleet.start(0);
    auto sock = UdpSocket::bind(0x7F000001u, 0);
    ASSERT_TRUE(sock);
    const auto bytes = descriptionSetup(fleet, "10-00002", 4242, "sent twice");
    const Endpoint target{0x7F4D0002u, fleet.port()};
    sock->sendTo(target, bytes.data(), bytes.size());
    const auto first = receive(*sock, 1000);
    sock->sendTo(target, bytes.data(), bytes.size());
    const auto second = receive(*sock, 1000);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, *second);
    wire::Message reply;
    ASSERT_EQ(wire::decode(first->data(), first->size(), reply), wire::DecodeError::None);
    EXPECT_EQ(reply.type, wire::MsgType::SetupReply);
    EXPECT_EQ(reply.u8(wire::TagStatus), std::uint8_t(wire::Status::Ok));
    const auto s = fleet.controller("10-00002");
    EXPECT_EQ(s->description, "sent twice");
    EXPECT_EQ(s->setupsApplied, 1);
    EXPECT_EQ(s->setupRetransmits, 1);
}

TEST(SimUdp, WrittenSettingsAreInTheStateFileBeforeTheAnswer) {
    QTemporaryDir dir;
    const std::string state = QDir(dir.path()).filePath("state.json").toStdString();
    {
        auto fleet = sim::SimFleet::generate(6);
        fleet.setStateFile(state);
        fleet.start(0);
        net::NetService service(fleet.clientConfig());
        service.setSearchSerialNo("10-00004");
        service.AddSerialNoSearch();
        service.Search();
        ASSERT_EQ(service.ControllerCount(), 1);
        auto e = service.Item(0);
        e->setName("Persisted");
        e->setConfigIpAddress("10.20.77.7");
        e->setApply(true);
        ASSERT_TRUE(e->SetupOk());
        // The file was replaced before the controller answered.
        const auto fleetFile = sim::parseFleet(readFile(state));
        bool found = false;
        for (const auto& c : fleetFile.controllers)
            if (c.serialNo == "10-00004") {
                found = true;
                EXPECT_EQ(c.name, "Persisted");
                EXPECT_EQ(c.ipAddress, "10.20.77.7");
            }
        EXPECT_TRUE(found);
        EXPECT_EQ(fleet.stats().persisted, 1u);
    }
    // A new fleet from the state file answers with the written settings.
    auto again = sim::SimFleet::fromFile(state);
    again.start(0);
    net::NetService service(again.clientConfig());
    service.Search();
    ASSERT_EQ(service.ControllerCount(), 6);
    bool seen = false;
    for (int i = 0; i < 6; ++i) {
        auto e = service.Item(std::int16_t(i));
        if (e->SerialNo() == "10-00004") {
            seen = true;
            EXPECT_EQ(e->Name(), "Persisted");
            EXPECT_EQ(e->IpAddress(), "10.20.77.7");
        }
    }
    EXPECT_TRUE(seen);
    // No temporary file of a write is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"state.json"});
}

TEST(SimUdp, ASetupTheStateFileCannotTakeIsRefusedAndNotApplied) {
    QTemporaryDir dir;
    const QString folder = QDir(dir.path()).filePath("site");
    ASSERT_TRUE(QDir().mkpath(folder));
    const std::string state = QDir(folder).filePath("state.json").toStdString();
    auto fleet = sim::SimFleet::generate(3);
    fleet.setStateFile(state);
    fleet.start(0);
    ASSERT_TRUE(QDir(folder).removeRecursively());  // from now on the state file cannot be written
    auto sock = UdpSocket::bind(0x7F000001u, 0);
    ASSERT_TRUE(sock);
    const auto bytes = descriptionSetup(fleet, "10-00002", 77, "never stored");
    sock->sendTo({0x7F4D0002u, fleet.port()}, bytes.data(), bytes.size());
    const auto answer = receive(*sock, 2000);
    ASSERT_TRUE(answer);
    wire::Message reply;
    ASSERT_EQ(wire::decode(answer->data(), answer->size(), reply), wire::DecodeError::None);
    EXPECT_EQ(reply.u8(wire::TagStatus), std::uint8_t(wire::Status::NotStored));
    EXPECT_NE(fleet.controller("10-00002")->description, "never stored");
    // The log says which file could not be written.
    bool said = false;
    for (const std::string& line : fleet.log())
        said = said || line.find("change not taken: open " + state) != std::string::npos;
    EXPECT_TRUE(said);
}

TEST(SimUdp, TwoFleetsRunSideBySideOnTheirOwnPorts) {
    auto a = sim::SimFleet::generate(5);
    auto b = sim::SimFleet::generate(7);
    a.start(0);
    b.start(0);
    EXPECT_NE(a.port(), b.port());
    net::NetService sa(a.clientConfig()), sb(b.clientConfig());
    sa.Search();
    sb.Search();
    EXPECT_EQ(sa.ControllerCount(), 5);
    EXPECT_EQ(sb.ControllerCount(), 7);
    b.stop();
    b.stop();  // harmless twice
    EXPECT_FALSE(b.running());
}

TEST(SimUdp, OneControllersFirstAnswersCanBeLost) {
    auto fleet = sim::SimFleet::generate(3);
    fleet.start(0);
    fleet.setLoseNextReplies("10-00002", wire::MsgType::SearchReply, 1000);  // more than a search asks
    net::NetService first(fleet.clientConfig());
    first.Search();
    EXPECT_EQ(first.ControllerCount(), 2);
    fleet.setLoseNextReplies("10-00002", wire::MsgType::SearchReply, 0);
    net::NetService later(fleet.clientConfig());
    later.Search();
    EXPECT_EQ(later.ControllerCount(), 3);
}

TEST(SimUdp, DatagramsHeldBackAreOvertakenByLaterOnesBothWays) {
    auto fleet = sim::SimFleet::generate(1);
    fleet.start(0);
    fleet.setReorderPercent(100);  // every datagram held back 1 to 10 ms, each for its own time
    auto client = UdpSocket::bind(0x7F000001u, 0);
    ASSERT_TRUE(client);
    const Endpoint controller{*net::ipv4::parse(fleet.controller("10-00001")->address), fleet.port()};
    for (std::uint32_t id = 1; id <= 30; ++id) {
        wire::Message search;
        search.type = wire::MsgType::Search;
        search.requestId = id;
        const auto bytes = wire::encode(search);
        client->sendTo(controller, bytes.data(), bytes.size());
    }
    // Every request is answered, neither in the order asked nor answered.
    std::vector<std::uint32_t> answered;
    while (const auto reply = receive(*client, 500)) {
        wire::Message m;
        ASSERT_EQ(wire::decode(reply->data(), reply->size(), m), wire::DecodeError::None);
        answered.push_back(m.requestId);
    }
    ASSERT_EQ(answered.size(), 30u);
    EXPECT_FALSE(std::is_sorted(answered.begin(), answered.end()));
    std::vector<std::uint32_t> taken;
    for (const std::string& line : fleet.log())
        if (const auto at = line.find("Search id="); at != std::string::npos)
            taken.push_back(std::uint32_t(std::stoul(line.substr(at + 10))));
    ASSERT_EQ(taken.size(), 30u);
    EXPECT_FALSE(std::is_sorted(taken.begin(), taken.end()));
}
