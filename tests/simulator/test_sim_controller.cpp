// One controller's protocol behaviour, driven directly (no sockets), and its setup rules.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "platform/netservice/wire/ipv4.h"
#include "platform/netservice/wire/messages.h"
#include "simulator/controller_rules.h"
#include "simulator/fleet_file.h"
#include "simulator/sim_controller.h"

using namespace zelmar;
namespace wire = net::wire;
using net::platform::Endpoint;

namespace {
sim::SimController make() { return sim::SimController(sim::generateFleet(4).controllers[3]); }
std::vector<std::uint8_t> bytes(const wire::Message& m) { return wire::encode(m); }
const Endpoint kClient{0x7F000001u, 40000};
const Endpoint kOtherClient{0x7F000001u, 40001};

wire::Message search(std::uint32_t id) {
    wire::Message m;
    m.type = wire::MsgType::Search;
    m.requestId = id;
    m.addU16(wire::TagAnswerSpreadMs, 50);
    return m;
}
wire::Message setup(const sim::SimController& c, std::uint32_t id, const std::string& name) {
    wire::Message m;
    m.type = wire::MsgType::Setup;
    m.requestId = id;
    m.addEthernet(wire::TagTargetEthernet, c.info().ethernet);
    m.add(wire::TagName, name);
    return m;
}
}  // namespace

TEST(SimController, AnswersASearchOnceItIsAcknowledgedAndNotWhileItsAnswerWaits) {
    auto c = make();
    auto now = std::chrono::steady_clock::time_point(std::chrono::seconds(50));
    c.setClock([&now] { return now; });
    std::mt19937 rng(1);
    const auto req = bytes(search(11));
    auto r = c.handle(req.data(), req.size(), kClient, rng);
    ASSERT_EQ(r.out.size(), 1u);
    EXPECT_EQ(r.out[0].to, kClient);
    const int delay = r.out[0].delayMs;
    EXPECT_LE(delay, 50);
    wire::Message reply;
    ASSERT_EQ(wire::decode(r.out[0].bytes.data(), r.out[0].bytes.size(), reply), wire::DecodeError::None);
    EXPECT_EQ(reply.type, wire::MsgType::SearchReply);
    EXPECT_EQ(reply.requestId, 11u);

    // Asked again while its answer still waits to go out: nothing more.
    if (delay > 0) {
        EXPECT_TRUE(c.handle(req.data(), req.size(), kClient, rng).out.empty());
    }
    // Asked again after its answer went, without an acknowledgement: the answer may have been
    // lost, so it answers again.
    now += std::chrono::milliseconds(delay);
    r = c.handle(req.data(), req.size(), kClient, rng);
    EXPECT_EQ(r.out.size(), 1u);
    now += std::chrono::milliseconds(r.out.empty() ? 0 : r.out[0].delayMs);
    wire::Message ack;
    ack.type = wire::MsgType::SearchAck;
    ack.requestId = 11;
    const auto ackBytes = bytes(ack);
    EXPECT_TRUE(c.handle(ackBytes.data(), ackBytes.size(), kClient, rng).out.empty());
    EXPECT_TRUE(c.handle(req.data(), req.size(), kClient, rng).out.empty());
    // Another client's search with the same number is a different search.
    EXPECT_EQ(c.handle(req.data(), req.size(), kOtherClient, rng).out.size(), 1u);
}

TEST(SimController, ASearchReplyTellsTheRoundItAnswersAndTheWaitUnlessTheControllerIsAnOlderOne) {
    auto c = make();
    std::mt19937 rng(1);
    auto m = search(12);
    m.addU8(wire::TagSearchRound, 3);
    const auto req = bytes(m);
    auto r = c.handle(req.data(), req.size(), kClient, rng);
    ASSERT_EQ(r.out.size(), 1u);
    wire::Message reply;
    ASSERT_EQ(wire::decode(r.out[0].bytes.data(), r.out[0].bytes.size(), reply), wire::DecodeError::None);
    EXPECT_EQ(reply.u8(wire::TagAnsweredRound), 3);
    EXPECT_EQ(reply.u16(wire::TagAnswerWaitMs), r.out[0].delayMs);

    auto older = make();
    older.state.answerTiming = false;
    r = older.handle(req.data(), req.size(), kClient, rng);
    ASSERT_EQ(r.out.size(), 1u);
    ASSERT_EQ(wire::decode(r.out[0].bytes.data(), r.out[0].bytes.size(), reply), wire::DecodeError::None);
    EXPECT_FALSE(reply.has(wire::TagAnsweredRound));
    EXPECT_FALSE(reply.has(wire::TagAnswerWaitMs));
}

TEST(SimController, FiltersBySerialConnectionAndTarget) {
    auto c = make();
    std::mt19937 rng(1);
    auto m = search(1);
    m.add(wire::TagSerialFilter, "10-00001");
    auto b = bytes(m);
    EXPECT_TRUE(c.handle(b.data(), b.size(), kClient, rng).out.empty());
    m = search(2);
    m.add(wire::TagSerialFilter, "10-00004");
    b = bytes(m);
    EXPECT_EQ(c.handle(b.data(), b.size(), kClient, rng).out.size(), 1u);
    m = search(3);
    m.addU16(wire::TagSearchFlags, wire::SearchConnectedOnly);
    b = bytes(m);
    EXPECT_TRUE(c.handle(b.data(), b.size(), kClient, rng).out.empty());
    c.state.connected = true;
    EXPECT_EQ(c.handle(b.data(), b.size(), kClient, rng).out.size(), 1u);

    auto s = setup(c, 9, "x");
    s.items[0].second[5] ^= 1;  // another controller's Ethernet address
    b = bytes(s);
    EXPECT_TRUE(c.handle(b.data(), b.size(), kClient, rng).out.empty());
    wire::Message anonymous;
    anonymous.type = wire::MsgType::Setup;
    anonymous.add(wire::TagName, "x");
    b = bytes(anonymous);
    EXPECT_TRUE(c.handle(b.data(), b.size(), kClient, rng).out.empty());
    EXPECT_EQ(c.state.setupsReceived, 0);
}

TEST(SimController, ARepeatedSetupIsAnsweredFromMemory) {
    auto c = make();
    int stored = 0;
    c.setStore([&](const sim::SimControllerState&) { return ++stored > 0; });
    std::mt19937 rng(1);
    const auto b = bytes(setup(c, 77, "First"));
    const auto r1 = c.handle(b.data(), b.size(), kClient, rng);
    ASSERT_EQ(r1.out.size(), 1u);
    EXPECT_EQ(stored, 1);
    c.state.name = "Changed meanwhile";  // a repeat must not apply "First" again
    const auto r2 = c.handle(b.data(), b.size(), kClient, rng);
    ASSERT_EQ(r2.out.size(), 1u);
    EXPECT_EQ(stored, 1);
    EXPECT_EQ(r2.out[0].bytes, r1.out[0].bytes);
    EXPECT_EQ(c.state.name, "Changed meanwhile");
    EXPECT_EQ(c.state.setupsApplied, 1);
    EXPECT_EQ(c.state.setupRetransmits, 1);
    // The same request number from another client is a new transaction.
    c.handle(b.data(), b.size(), kOtherClient, rng);
    EXPECT_EQ(stored, 2);
    EXPECT_EQ(c.state.name, "First");
}

TEST(SimController, DropsWhatItCannotParse) {
    auto c = make();
    std::mt19937 rng(3);
    std::vector<std::uint8_t> junk;
    for (int i = 0; i < 5000; ++i) {
        junk.resize(rng() % 200);
        for (auto& x : junk)
            x = std::uint8_t(rng());
        if (i % 2 && junk.size() >= 16) {
            const auto good = bytes(search(5));
            std::copy(good.begin(), good.begin() + 16, junk.begin());
        }
        const auto r = c.handle(junk.data(), junk.size(), kClient, rng);
        EXPECT_FALSE(r.changed);
    }
    // A reply sent to a controller is not a request.
    wire::Message reply;
    reply.type = wire::MsgType::SetupReply;
    const auto b = bytes(reply);
    EXPECT_TRUE(c.handle(b.data(), b.size(), kClient, rng).out.empty());
}

TEST(ControllerRules, SetupChecks) {
    sim::SimControllerState s = sim::generateFleet(4).controllers[3];  // fixed 10.20.x.x/16
    sim::SimControllerState out;
    wire::SetupFields f;
    f.configIpAddress = "10.20.5.5";
    f.configGateway = "";
    EXPECT_EQ(sim::checkSetup(s, f, out).status, wire::Status::Ok);
    EXPECT_EQ(out.ipAddress, "10.20.5.5");
    EXPECT_EQ(out.gateway, "0.0.0.0");  // no gateway
    f.configIpAddress = "10.20.255.255";
    EXPECT_EQ(sim::checkSetup(s, f, out).badField, wire::TagConfigIpAddress);  // broadcast address
    f.configIpAddress = "127.0.0.5";
    EXPECT_EQ(sim::checkSetup(s, f, out).badField, wire::TagConfigIpAddress);
    f.configIpAddress = "10.20.5.5";
    f.configSubnetMask = "255.255.255.254";  // /31 leaves no hosts
    EXPECT_EQ(sim::checkSetup(s, f, out).badField, wire::TagConfigSubnetMask);
    f.configSubnetMask.reset();
    f.configDnsServer = "224.0.0.1";
    EXPECT_EQ(sim::checkSetup(s, f, out).badField, wire::TagConfigDnsServer);
    // Bad fixed settings do not matter when the controller switches to DHCP... but must still be addresses.
    wire::SetupFields d;
    d.useDhcp = true;
    d.configIpAddress = "0.0.0.0";
    EXPECT_EQ(sim::checkSetup(s, d, out).status, wire::Status::Ok);
    d.configIpAddress = "x";
    EXPECT_EQ(sim::checkSetup(s, d, out).status, wire::Status::Invalid);
    wire::SetupFields p;
    p.encryptionPassword = "pw";
    EXPECT_EQ(sim::checkSetup(s, p, out).status, wire::Status::Refused);
    EXPECT_TRUE(net::ipv4::isDnsName("a-1.b.example"));
    EXPECT_FALSE(net::ipv4::isDnsName("-a.b"));
    EXPECT_FALSE(net::ipv4::isDnsName("a..b"));
    EXPECT_FALSE(net::ipv4::isDnsName(std::string(64, 'a') + ".b"));
}
