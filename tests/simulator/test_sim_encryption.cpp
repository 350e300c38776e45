// A controller that requires encryption, driven directly (no sockets): its
// sessions, its wrong-key limit on a test clock, and how the fleet file and the
// persisted state keep its key but never its password.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/netservice/crypto/crypto_envelope.h"
#include "platform/netservice/crypto/crypto_keys.h"
#include "platform/netservice/net_service.h"
#include "simulator/fleet_file.h"
#include "simulator/sim_controller.h"
#include "simulator/sim_fleet.h"
#include "simulator/sim_sessions.h"

using namespace zelmar;
namespace wire = net::wire;
namespace crypto = net::crypto;
using net::platform::Endpoint;

namespace {
const Endpoint kClient{0x7F000001u, 40000};
const Endpoint kOther{0x7F000003u, 40000};
const char* const kPassword = "Sim-Pw-1";

sim::SimControllerState secure() {
    sim::SimControllerState s = sim::generateFleet(4).controllers[3];
    s.capabilities = 8;
    s.requireEncryption = true;
    s.encryptionPassword = kPassword;
    return s;
}

struct Driver {
    sim::SimController c{secure()};
    std::mt19937 rng{1};
    wire::Ethernet mac = c.info().ethernet;
    crypto::Key key = crypto::controllerKeyFromPassword(kPassword, mac);

    std::vector<sim::Outgoing> send(const std::vector<std::uint8_t>& bytes, const Endpoint& from = kClient) {
        return c.handle(bytes.data(), bytes.size(), from, rng).out;
    }
    crypto::Challenge challenge() {
        wire::Message s;
        s.type = wire::MsgType::Search;
        s.requestId = 1;
        const auto out = send(wire::encode(s));
        wire::Message m;
        EXPECT_EQ(out.size(), 1u);
        EXPECT_EQ(wire::decode(out[0].bytes.data(), out[0].bytes.size(), m), wire::DecodeError::None);
        crypto::Challenge c{};
        const std::string* v = m.find(wire::TagChallenge);
        EXPECT_TRUE(v && v->size() == c.size());
        if (v && v->size() == c.size())
            std::memcpy(c.data(), v->data(), c.size());
        return c;
    }
    std::vector<std::uint8_t> read(const crypto::Challenge& session, std::uint32_t sequence, std::uint32_t id,
                                   const crypto::Key* with = nullptr) {
        wire::Message m;
        m.type = wire::MsgType::Read;
        m.requestId = id;
        m.addEthernet(wire::TagTargetEthernet, mac);
        m.add(wire::TagChallenge, std::string(reinterpret_cast<const char*>(session.data()), session.size()));
        m.addU32(wire::TagSequence, sequence);
        return crypto::seal(wire::encode(m), crypto::EnvelopeKind::ControllerKey, mac, with ? *with : key);
    }
    // The status of the one answer (opened when sealed); -1 when there was none.
    int status(const std::vector<sim::Outgoing>& out, wire::Message* msg = nullptr) {
        if (out.size() != 1)
            return -1;
        wire::Message m;
        const auto& b = out[0].bytes;
        if (crypto::isSealed(b.data(), b.size())) {
            const auto clear = crypto::open(b.data(), b.size(), key);
            if (!clear || wire::decode(clear->data(), clear->size(), m) != wire::DecodeError::None)
                return -2;
        } else if (wire::decode(b.data(), b.size(), m) != wire::DecodeError::None) {
            return -2;
        }
        if (msg)
            *msg = m;
        return m.u8(wire::TagStatus).value_or(255);
    }
};

std::string readFile(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
}  // namespace

TEST(SimEncryption, SessionsTakeEachNumberOnceInAnyOrderWithinTheWindow) {
    Driver d;
    const auto session = d.challenge();
    for (const std::uint32_t seq : {1u, 3u, 2u, 40u}) {
        wire::Message m;
        EXPECT_EQ(d.status(d.send(d.read(session, seq, 100 + seq)), &m), 0) << seq;
        EXPECT_EQ(m.type, wire::MsgType::ReadReply);
        EXPECT_EQ(*m.find(wire::TagName), d.c.state.name);
    }
    // Number 2 again from its sender (its answer lost): the remembered answer, nothing done again.
    const auto first = d.send(d.read(session, 2, 102));
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(d.send(d.read(session, 2, 102))[0].bytes, first[0].bytes);
    // From anywhere else it is a replay: dropped without a word.
    EXPECT_EQ(d.status(d.send(d.read(session, 2, 999), kOther)), -1);
    // Far behind the highest number: too old to tell, refused.
    EXPECT_EQ(d.status(d.send(d.read(session, 400, 401))), 0);
    EXPECT_EQ(d.status(d.send(d.read(session, 100, 402))), -1);
    EXPECT_EQ(d.c.state.replaysRefused, 2);
    EXPECT_EQ(d.c.state.sealedRequests, 5);
}

TEST(SimEncryption, AClientHoldsAtMostFourOpenChallenges) {
    sim::SessionTable t;
    const auto other = t.issue(kOther);
    std::vector<crypto::Challenge> mine;
    for (int i = 0; i < 5; ++i)
        mine.push_back(t.issue(kClient));
    // The fifth retired the client's oldest; another client's challenge is untouched.
    EXPECT_EQ(t.take(mine[0], 1), sim::SessionTable::Verdict::UnknownSession);
    EXPECT_EQ(t.take(mine[1], 1), sim::SessionTable::Verdict::New);
    EXPECT_EQ(t.take(other, 1), sim::SessionTable::Verdict::New);
    EXPECT_EQ(t.take(mine[4], 0), sim::SessionTable::Verdict::Seen);  // number 0 is never taken
}

TEST(SimEncryption, AnUnknownSessionGetsAFreshChallengeSealed) {
    Driver d;
    wire::Message m;
    EXPECT_EQ(d.status(d.send(d.read(crypto::newChallenge(), 1, 5)), &m), int(wire::Status::Stale));
    const std::string* fresh = m.find(wire::TagChallenge);
    ASSERT_TRUE(fresh && fresh->size() == crypto::kChallengeBytes);
    crypto::Challenge next{};
    std::memcpy(next.data(), fresh->data(), next.size());
    EXPECT_EQ(d.status(d.send(d.read(next, 1, 6))), 0);
    // A challenge opens one session only: its first request cannot be sent again by another.
    EXPECT_EQ(d.status(d.send(d.read(next, 1, 7), kOther)), -1);
}

TEST(SimEncryption, WrongKeysAreLimitedOnTheControllersClock) {
    Driver d;
    auto now = std::chrono::steady_clock::now();
    d.c.crypto().setClock([&now] { return now; });
    const crypto::Key wrong = crypto::controllerKeyFromPassword("not it", d.mac);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(d.status(d.send(d.read(d.challenge(), 1, 10 + k, &wrong))), int(wire::Status::Refused)) << k;
    wire::Message m;
    const auto session = d.challenge();
    EXPECT_EQ(d.status(d.send(d.read(session, 1, 20)), &m), int(wire::Status::Later));  // the right key waits too
    EXPECT_EQ(m.u16(wire::TagRetryAfterMs), 1000);
    now += std::chrono::milliseconds(999);
    EXPECT_EQ(d.status(d.send(d.read(session, 1, 21))), int(wire::Status::Later));
    now += std::chrono::milliseconds(1);
    EXPECT_EQ(d.status(d.send(d.read(session, 1, 22))), 0);  // the same session: it was never opened
    // Another address was never held up.
    EXPECT_EQ(d.status(d.send(d.read(d.challenge(), 1, 23, &wrong), {0x7F000002u, 40000})), int(wire::Status::Refused));
    EXPECT_EQ(d.c.state.wrongKeys, 6);
    EXPECT_EQ(d.c.state.rateLimited, 2);
}

TEST(SimEncryption, ClearRequestsToAnEncryptingControllerAreRefusedAndChangeNothing) {
    Driver d;
    const std::string before = d.c.state.name;
    for (const auto type : {wire::MsgType::Setup, wire::MsgType::CheckNetwork, wire::MsgType::Mark,
                            wire::MsgType::Read, wire::MsgType::UpgradeStart}) {
        wire::Message m;
        m.type = type;
        m.requestId = 50 + std::uint32_t(type);
        m.addEthernet(wire::TagTargetEthernet, d.mac);
        m.add(wire::TagName, "Must not stick");
        m.addU8(wire::TagMarked, 1);
        EXPECT_EQ(d.status(d.send(wire::encode(m))), int(wire::Status::Refused)) << int(type);
    }
    EXPECT_EQ(d.c.state.name, before);
    EXPECT_FALSE(d.c.state.marked);
    EXPECT_EQ(d.c.state.setupsReceived, 0);
}

TEST(SimEncryption, SetupRulesForTheEncryptionFields) {
    sim::SimControllerState plain = sim::generateFleet(4).controllers[3];
    plain.capabilities = 8;
    sim::SimControllerState out;
    wire::SetupFields f;
    f.requireEncryption = true;
    EXPECT_EQ(sim::checkSetup(plain, f, out).badField, wire::TagEncryptionKey);  // on, but no key
    f.encryptionKey = std::string(32, '\x11');
    ASSERT_EQ(sim::checkSetup(plain, f, out).status, wire::Status::Ok);
    EXPECT_TRUE(out.requireEncryption);
    EXPECT_EQ(out.encryptionKey, std::string(64, '1'));
    // Off: the key is forgotten, whatever came with it.
    sim::SimControllerState on = out, off;
    wire::SetupFields g;
    g.requireEncryption = false;
    g.encryptionKey = std::string(32, '\x22');
    ASSERT_EQ(sim::checkSetup(on, g, off).status, wire::Status::Ok);
    EXPECT_FALSE(off.requireEncryption);
    EXPECT_TRUE(off.encryptionKey.empty());
    // A new key alone changes the password of a controller that requires encryption.
    wire::SetupFields h;
    h.encryptionKey = std::string(32, '\x33');
    ASSERT_EQ(sim::checkSetup(on, h, off).status, wire::Status::Ok);
    EXPECT_TRUE(off.requireEncryption);
    EXPECT_EQ(off.encryptionKey, std::string(64, '3'));
    // A password is never taken; without the capability neither encryption nor a key.
    wire::SetupFields p;
    p.encryptionPassword = "pw";
    EXPECT_EQ(sim::checkSetup(on, p, off).status, wire::Status::Refused);
    plain.capabilities = 0;
    EXPECT_EQ(sim::checkSetup(plain, f, out).status, wire::Status::Unsupported);
    wire::SetupFields k;
    k.encryptionKey = std::string(32, '\x44');
    EXPECT_EQ(sim::checkSetup(plain, k, out).badField, wire::TagEncryptionKey);
}

TEST(SimEncryption, TheFleetFileTakesAPasswordButKeepsOnlyItsKey) {
    const std::string json = R"({"controllers": [
        {"serialNo": "50-00001", "ethernetAddress": "00-1A-4C-77-00-01", "address": "127.83.0.1",
         "capabilities": 8, "requireEncryption": true, "encryptionPassword": "Fleet-Pw-1"},
        {"serialNo": "50-00002", "ethernetAddress": "00-1A-4C-77-00-02", "address": "127.83.0.2",
         "capabilities": 8, "requireEncryption": true,
         "encryptionKey": "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff"}]})";
    auto fleet = sim::SimFleet::fromJson(json);
    const auto first = *fleet.controller("50-00001");
    EXPECT_EQ(first.encryptionKey,
              crypto::toHex(crypto::controllerKeyFromPassword("Fleet-Pw-1", *wire::parseEthernet("00-1A-4C-77-00-01"))));
    EXPECT_TRUE(first.encryptionPassword.empty());
    EXPECT_EQ(fleet.controller("50-00002")->encryptionKey,
              "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff");
    const std::string written = fleet.toJson();
    EXPECT_EQ(written.find("Fleet-Pw-1"), std::string::npos);
    EXPECT_EQ(written.find("encryptionPassword"), std::string::npos);
    EXPECT_NE(written.find(first.encryptionKey), std::string::npos);
    // Written and read again: the same controllers, the same keys.
    auto again = sim::SimFleet::fromJson(written);
    EXPECT_EQ(again.controller("50-00001")->encryptionKey, first.encryptionKey);
}

TEST(SimEncryption, TheFleetFileRefusesEncryptionAControllerCannotHave) {
    auto fleetWith = [](const std::string& fields) {
        return R"({"controllers": [{"serialNo": "50-00001", "ethernetAddress": "00-1A-4C-77-00-01",
                   "address": "127.83.0.1", )" + fields + "}]}";
    };
    EXPECT_THROW(sim::SimFleet::fromJson(fleetWith(R"("capabilities": 8, "requireEncryption": true)")),
                 std::runtime_error);  // no password, no key
    EXPECT_THROW(sim::SimFleet::fromJson(fleetWith(R"("capabilities": 0, "requireEncryption": true, "encryptionPassword": "x")")),
                 std::runtime_error);  // no encryption support
    EXPECT_THROW(sim::SimFleet::fromJson(fleetWith(R"("capabilities": 8, "encryptionKey": "12ab")")),
                 std::runtime_error);
    EXPECT_NO_THROW(sim::SimFleet::fromJson(fleetWith(R"("capabilities": 8, "requireEncryption": false)")));
}

TEST(SimEncryption, ThePersistedStateHoldsTheKeyNeverThePassword) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString state = dir.filePath("state.json");
    sim::FleetData data = sim::generateFleet(2);
    data.controllers[1].capabilities = 8;
    const std::string serial = data.controllers[1].serialNo;
    {
        sim::SimFleet fleet(data);
        fleet.setStateFile(state.toStdString());
        fleet.start(0);
        net::NetService service(fleet.clientConfig());
        service.Search();
        std::shared_ptr<net::ControllerEntry> e;
        for (int i = 0; i < service.ControllerCount(); ++i)
            if (service.Item(std::int16_t(i))->SerialNo() == serial)
                e = service.Item(std::int16_t(i));
        ASSERT_TRUE(e);
        e->setRequireEncryption(true);
        e->setEncryptionPassword("Persisted-Pw-1");
        e->setApply(true);
        ASSERT_TRUE(e->SetupOk());
    }
    const std::string text = readFile(state);
    EXPECT_EQ(text.find("Persisted-Pw-1"), std::string::npos);
    const std::string key = crypto::toHex(
        crypto::controllerKeyFromPassword("Persisted-Pw-1", *wire::parseEthernet(data.controllers[1].ethernetAddress)));
    EXPECT_NE(text.find(key), std::string::npos);
    // Started again from its state: it still requires encryption with that password.
    auto fleet = sim::SimFleet::fromFile(state.toStdString());
    fleet.start(0);
    net::NetService service(fleet.clientConfig());
    service.setPassword("Persisted-Pw-1");
    service.Search();
    int ok = 0;
    for (int i = 0; i < service.ControllerCount(); ++i) {
        auto e = service.Item(std::int16_t(i));
        if (e->SerialNo() == serial) {
            EXPECT_TRUE(e->RequireEncryption());
            EXPECT_TRUE(e->PasswordOk());
            ++ok;
        }
    }
    EXPECT_EQ(ok, 1);
}
