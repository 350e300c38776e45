// The building blocks of the encrypted protocol without a network: keys,
// the sealed envelope, and the wrong-key limit.
#include <gtest/gtest.h>

#include <set>

#include "platform/netservice/crypto/crypto_envelope.h"
#include "platform/netservice/crypto/crypto_keys.h"
#include "platform/netservice/wire/wire.h"
#include "simulator/sim_crypto.h"

namespace zelmar::testing {
namespace {

namespace wire = net::wire;
namespace crypto = net::crypto;

const wire::Ethernet kMacA{0x00, 0x1A, 0x4C, 0x00, 0x00, 0x01};
const wire::Ethernet kMacB{0x00, 0x1A, 0x4C, 0x00, 0x00, 0x02};

std::vector<std::uint8_t> setupDatagram() {
    wire::Message m;
    m.type = wire::MsgType::Setup;
    m.requestId = 0x01020304;
    m.addEthernet(wire::TagTargetEthernet, kMacA);
    m.add(wire::TagName, "Secret plant name");
    return wire::encode(m);
}

bool contains(const std::vector<std::uint8_t>& hay, const std::string& needle) {
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

TEST(EncryptionKeys, OneSlowHashPerPasswordAndOneKeyPerController) {
    crypto::clearKeyCache();
    const auto s0 = crypto::keyStats();
    const crypto::Key m1 = crypto::masterKey("Unit-Pw-1");
    const crypto::Key m2 = crypto::masterKey("Unit-Pw-1");
    const auto s1 = crypto::keyStats();
    EXPECT_EQ(m1, m2);
    EXPECT_EQ(s1.passwordHashes - s0.passwordHashes, 1u);
    EXPECT_EQ(s1.cacheHits - s0.cacheHits, 1u);
    EXPECT_GT(s1.passwordHashMs, s0.passwordHashMs);
    EXPECT_NE(crypto::masterKey("Unit-Pw-2"), m1);
    EXPECT_NE(crypto::masterKey("unit-pw-1"), m1);  // passwords are case-sensitive

    const crypto::Key a = crypto::controllerKey(m1, kMacA);
    const crypto::Key b = crypto::controllerKey(m1, kMacB);
    EXPECT_NE(a, b);  // what one controller stores opens no other
    EXPECT_NE(a, m1);
    EXPECT_EQ(a, crypto::controllerKey(m1, kMacA));
    EXPECT_EQ(a, crypto::controllerKeyFromPassword("Unit-Pw-1", kMacA));

    EXPECT_EQ(crypto::keyFromHex(crypto::toHex(a)), a);
    EXPECT_EQ(crypto::toHex(a).size(), 64u);
    EXPECT_FALSE(crypto::keyFromHex("abc"));
    EXPECT_FALSE(crypto::keyFromHex(std::string(64, 'g')));
    EXPECT_FALSE(crypto::keyFromHex(std::string(66, 'a')));
}

TEST(EncryptionEnvelope, SealsOpensAndRefusesEveryChange) {
    const crypto::Key key = crypto::controllerKeyFromPassword("Unit-Pw-1", kMacA);
    const auto clear = setupDatagram();
    const auto sealed = crypto::seal(clear, crypto::EnvelopeKind::ControllerKey, kMacA, key);
    ASSERT_EQ(sealed.size(), clear.size() + crypto::envelopeOverhead(crypto::EnvelopeKind::ControllerKey));
    EXPECT_FALSE(contains(sealed, "Secret plant name"));
    // The header stays readable, type and request id as they were.
    const auto env = crypto::peek(sealed.data(), sealed.size());
    ASSERT_TRUE(env);
    EXPECT_EQ(env->type, wire::MsgType::Setup);
    EXPECT_EQ(env->requestId, 0x01020304u);
    EXPECT_EQ(env->ethernet, kMacA);
    // An older receiver drops it unread.
    wire::Message m;
    EXPECT_EQ(wire::decode(sealed.data(), sealed.size(), m), wire::DecodeError::Sealed);

    const auto opened = crypto::open(sealed.data(), sealed.size(), key);
    ASSERT_TRUE(opened);
    EXPECT_EQ(*opened, clear);
    // A new nonce every time: the same message never seals the same way twice.
    EXPECT_NE(crypto::seal(clear, crypto::EnvelopeKind::ControllerKey, kMacA, key), sealed);
    // Another key, or any one bit changed anywhere, and it does not open.
    EXPECT_FALSE(crypto::open(sealed.data(), sealed.size(), crypto::controllerKeyFromPassword("Unit-Pw-1", kMacB)));
    for (std::size_t i = 0; i < sealed.size(); ++i) {
        if (i == 12 || i == 13)
            continue;  // the body length: a change there is a malformed datagram
        auto changed = sealed;
        changed[i] ^= 0x40;
        EXPECT_FALSE(crypto::open(changed.data(), changed.size(), key)) << "byte " << i;
    }
    auto shorter = sealed;
    shorter.pop_back();
    EXPECT_FALSE(crypto::open(shorter.data(), shorter.size(), key));
    EXPECT_FALSE(crypto::peek(clear.data(), clear.size()));
}

TEST(EncryptionEnvelope, KeyAgreementBothWays) {
    const auto controller = crypto::newKeyPair();
    const auto client = crypto::newKeyPair();
    const auto mine = crypto::clientSessionKeys(client, controller.publicKey);
    const auto theirs = crypto::controllerSessionKeys(controller, client.publicKey);
    ASSERT_TRUE(mine && theirs);
    EXPECT_EQ(mine->toController, theirs->toController);
    EXPECT_EQ(mine->toClient, theirs->toClient);
    EXPECT_NE(mine->toController, mine->toClient);
    const auto clear = setupDatagram();
    const auto sealed = crypto::seal(clear, crypto::EnvelopeKind::KeyAgreement, kMacA, mine->toController,
                                     &client.publicKey);
    const auto env = crypto::peek(sealed.data(), sealed.size());
    ASSERT_TRUE(env);
    EXPECT_EQ(env->kind, crypto::EnvelopeKind::KeyAgreement);
    EXPECT_EQ(env->clientPublic, client.publicKey);
    EXPECT_EQ(crypto::open(sealed.data(), sealed.size(), theirs->toController), clear);
    // Someone else's key pair agrees other keys.
    const auto stranger = crypto::clientSessionKeys(crypto::newKeyPair(), controller.publicKey);
    EXPECT_FALSE(crypto::open(sealed.data(), sealed.size(), stranger->toController));
    // Without the client's public key there is no kind 2 envelope.
    EXPECT_TRUE(crypto::seal(clear, crypto::EnvelopeKind::KeyAgreement, kMacA, mine->toController).empty());
}

TEST(EncryptionEnvelope, NothingLargerThanADatagramIsSealed) {
    wire::Message m;
    m.type = wire::MsgType::UpgradeData;
    m.add(wire::TagBlockData, std::string(wire::kMaxDatagram - wire::kHeaderSize - 4 - 10, 'x'));
    const auto clear = wire::encode(m);
    ASSERT_FALSE(clear.empty());
    EXPECT_TRUE(crypto::seal(clear, crypto::EnvelopeKind::ControllerKey, kMacA, crypto::Key{}).empty());
}

TEST(EncryptionLimit, FiveWrongKeysThenOneASecondPerAddress) {
    sim::WrongKeyLimit limit;
    using Clock = sim::WrongKeyLimit::Clock;
    auto t = Clock::time_point{} + std::chrono::hours(1);
    const std::uint32_t tech = 0x7F000001, other = 0x7F000002;
    int retry = 0;
    for (int k = 0; k < 5; ++k) {
        ASSERT_TRUE(limit.allow(tech, t, retry)) << k;
        limit.failed(tech, t);
    }
    EXPECT_FALSE(limit.allow(tech, t, retry));
    EXPECT_EQ(retry, 1000);
    EXPECT_TRUE(limit.allow(other, t, retry));  // another address is not held up
    t += std::chrono::milliseconds(400);
    EXPECT_FALSE(limit.allow(tech, t, retry));
    EXPECT_EQ(retry, 600);
    t += std::chrono::milliseconds(600);
    EXPECT_TRUE(limit.allow(tech, t, retry));  // never more than a second
    limit.failed(tech, t);
    EXPECT_FALSE(limit.allow(tech, t, retry));
    // Left alone, it forgets: five tries again after five seconds.
    t += std::chrono::seconds(5);
    for (int k = 0; k < 5; ++k) {
        ASSERT_TRUE(limit.allow(tech, t, retry)) << k;
        limit.failed(tech, t);
    }
    EXPECT_FALSE(limit.allow(tech, t, retry));
}

TEST(EncryptionLimit, ManyFailingAddressesShareOneBucketAndCannotClearTheirRecord) {
    sim::WrongKeyLimit limit;
    using Clock = sim::WrongKeyLimit::Clock;
    const auto t = Clock::time_point{} + std::chrono::hours(1);
    int retry = 0;
    // Fill every bucket with an address that has used up its tries.
    for (std::uint32_t a = 1; a <= sim::WrongKeyLimit::kAddresses; ++a)
        for (int k = 0; k < 5; ++k)
            limit.failed(0x0A000000u + a, t);
    EXPECT_FALSE(limit.allow(0x0A000001u, t, retry));
    // Further addresses share one bucket: five tries among all of them, not five each.
    int allowed = 0;
    for (std::uint32_t a = 1000; a < 1020; ++a) {
        if (limit.allow(0x0A000000u + a, t, retry)) {
            ++allowed;
            limit.failed(0x0A000000u + a, t);
        }
    }
    EXPECT_EQ(allowed, 5);
    // The first addresses are still held: the newcomers did not push them out.
    EXPECT_FALSE(limit.allow(0x0A000001u, t, retry));
}

}  // namespace
}  // namespace zelmar::testing
