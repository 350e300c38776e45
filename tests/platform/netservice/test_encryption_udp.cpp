// The encrypted protocol over real UDP on loopback: the service against the
// simulated fleet, and a raw client of our own where an outsider is played
// (replays, tampering, guessing).
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/netservice/controller_entry.h"
#include "platform/netservice/service_core.h"
#include "test_encryption_helpers.h"
#include "upgrade_helpers.h"

namespace zelmar::testing {
namespace {

using net::crypto::controllerKeyFromPassword;
using net::crypto::Key;
using net::crypto::toHex;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

std::optional<wire::Message> openWith(const std::vector<std::uint8_t>& bytes, const Key& key) {
    const auto clear = net::crypto::open(bytes.data(), bytes.size(), key);
    wire::Message m;
    if (!clear || wire::decode(clear->data(), clear->size(), m) != wire::DecodeError::None)
        return std::nullopt;
    return m;
}

TEST(EncryptionUdp, RightPasswordReadsEverything) {
    const auto a = secureController(1, "Right-Pw-1");
    const auto b = secureController(2, "");
    auto fleet = startFleet({a, b});
    net::NetService service(fleet.clientConfig());

    const auto e = searchWith(service, "Right-Pw-1", a.serialNo);
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->RequireEncryption());
    EXPECT_TRUE(e->PasswordOk());
    EXPECT_EQ(e->Name(), a.name);
    EXPECT_EQ(e->Description(), a.description);
    EXPECT_EQ(e->DnsName(), a.dnsName);
    EXPECT_EQ(e->MainComputerAddress(), a.mainComputerAddress);
    EXPECT_EQ(e->IpAddress(), a.ipAddress);
    EXPECT_EQ(e->SubnetMask(), a.subnetMask);
    EXPECT_EQ(e->Gateway(), a.gateway);
    EXPECT_EQ(e->DnsServer(), a.dnsServer);
    EXPECT_EQ(e->PortOsType(), a.portOsType);
    EXPECT_EQ(e->PortOsRevision(), a.portOsRevision);
    EXPECT_EQ(e->Capabilities() & net::CapEncryption, net::CapEncryption);
    // A controller without encryption is read as before, whatever the password.
    const auto plain = find(service, b.serialNo);
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->RequireEncryption());
    EXPECT_TRUE(plain->PasswordOk());
    EXPECT_EQ(plain->Name(), b.name);
    EXPECT_EQ(fleet.controller(a.serialNo)->sealedRequests, 1);  // one sealed read
    EXPECT_EQ(fleet.controller(a.serialNo)->wrongKeys, 0);
}

TEST(EncryptionUdp, WrongOrEmptyPasswordReadsOnlyTheIdentity) {
    const auto a = secureController(1, "Right-Pw-2");
    RecordedFleet site({a});
    auto& [fleet, rec, service] = site;

    for (const std::string password : {"", "Wrong-Pw-2"}) {
        const auto e = searchWith(service, password, a.serialNo);
        ASSERT_TRUE(e) << password;
        EXPECT_FALSE(e->PasswordOk()) << password;
        EXPECT_TRUE(e->RequireEncryption());
        EXPECT_EQ(e->SerialNo(), a.serialNo);
        EXPECT_EQ(e->EthernetAddress(), a.ethernetAddress);
        EXPECT_EQ(e->IpAddress(), a.ipAddress);
        EXPECT_EQ(e->ModelCode(), a.modelCode);
        EXPECT_EQ(e->Capabilities(), a.capabilities);
        // Nothing else of its settings.
        EXPECT_EQ(e->Name(), "");
        EXPECT_EQ(e->Description(), "");
        EXPECT_EQ(e->DnsName(), "");
        EXPECT_EQ(e->MainComputerAddress(), "");
        EXPECT_EQ(e->SubnetMask(), "0.0.0.0");
        EXPECT_EQ(e->Gateway(), "0.0.0.0");
        EXPECT_EQ(e->DnsServer(), "0.0.0.0");
        EXPECT_EQ(e->PortOsRevision(), "");
    }
    // The clear answer carries exactly the identity items (and a challenge, and its timing).
    const std::set<std::uint16_t> expected = {wire::TagSerialNo,  wire::TagEthernet,          wire::TagIpAddress,
                                              wire::TagModelCode, wire::TagRequireEncryption, wire::TagCapabilities,
                                              wire::TagPasswordOk, wire::TagChallenge,        wire::TagAnsweredRound,
                                              wire::TagAnswerWaitMs};
    int replies = 0;
    for (const auto& d : rec.all()) {
        wire::Message m;
        if (d.incoming || wire::decode(d.bytes.data(), d.bytes.size(), m) != wire::DecodeError::None ||
            m.type != wire::MsgType::SearchReply)
            continue;
        ++replies;
        std::set<std::uint16_t> tags;
        for (const auto& [tag, value] : m.items)
            tags.insert(tag);
        EXPECT_EQ(tags, expected);
        EXPECT_EQ(m.u8(wire::TagPasswordOk), 0);
    }
    EXPECT_GE(replies, 2);
    // Without a password nothing sealed was even tried; the wrong one was tried once.
    EXPECT_EQ(fleet.controller(a.serialNo)->wrongKeys, 1);
    EXPECT_EQ(fleet.controller(a.serialNo)->sealedRequests, 0);
}

TEST(EncryptionUdp, WithAWrongPasswordNothingCanBeChanged) {
    const auto a = secureController(1, "Right-Pw-3");
    auto fleet = startFleet({a});
    net::NetService service(fleet.clientConfig());
    const auto e = searchWith(service, "Wrong-Pw-3", a.serialNo);
    ASSERT_TRUE(e);
    ASSERT_FALSE(e->PasswordOk());

    e->setName("Must not stick");
    e->setUseDhcp(true);
    e->setRequireEncryption(false);
    std::int32_t detail = 0;
    EXPECT_FALSE(e->CheckNetwork(detail));  // refused: no verdict
    e->setApply(true);
    EXPECT_FALSE(e->SetupOk());
    e->MarkSelected();
    EXPECT_FALSE(e->UpgradePortOs(upgradeFile(3, "3.2.0", 4000)));

    const auto after = *fleet.controller(a.serialNo);
    EXPECT_EQ(after.name, a.name);
    EXPECT_FALSE(after.useDhcp);
    EXPECT_TRUE(after.requireEncryption);
    EXPECT_FALSE(after.marked);
    EXPECT_EQ(after.setupsApplied, 0);
    EXPECT_EQ(after.checksReceived, 0);
    EXPECT_EQ(after.markCount, 0);
    EXPECT_EQ(after.upgradeStarts, 0);
    EXPECT_EQ(after.sealedRequests, 0);
    // The same with no password at all: clear requests are refused.
    service.setPassword("");
    e->setName("Must not stick either");
    e->setApply(true);
    EXPECT_FALSE(e->SetupOk());
    EXPECT_EQ(fleet.controller(a.serialNo)->name, a.name);
}

// Without a password nothing but a search goes to a controller that requires
// encryption: no settings in clear, not even to be refused, and the entry says why.
TEST(EncryptionUdp, WithoutAPasswordOnlySearchesReachIt) {
    const auto a = secureController(1, "Right-Pw-5");
    RecordedFleet site({a});
    auto& [fleet, rec, service] = site;
    const auto e = searchWith(service, "", a.serialNo);
    ASSERT_TRUE(e);
    ASSERT_TRUE(e->RequireEncryption());

    e->setName("Secret plant name");
    e->setConfigIpAddress("10.50.2.21");
    e->setApply(true);
    EXPECT_FALSE(e->SetupOk());
    EXPECT_NE(e->NotSentReason().find("requires encryption and no network password"), std::string::npos)
        << e->NotSentReason();
    e->setConfigIpAddress("10.50.2.22");
    std::int32_t detail = 0;
    EXPECT_FALSE(e->CheckNetwork(detail));
    e->MarkSelected();
    EXPECT_FALSE(e->UpgradePortOs(upgradeFile(3, "3.2.0", 4000)));
    EXPECT_NE(service.core().stats().lastUpgradeProblem.find("requires encryption"), std::string::npos)
        << service.core().stats().lastUpgradeProblem;

    for (const auto& d : rec.all()) {
        if (!d.incoming)
            continue;
        ASSERT_GE(d.bytes.size(), wire::kHeaderSize);
        const auto type = wire::MsgType(d.bytes[5]);
        EXPECT_TRUE(type == wire::MsgType::Search || type == wire::MsgType::SearchAck) << int(d.bytes[5]);
        const std::string bytes(d.bytes.begin(), d.bytes.end());
        EXPECT_EQ(bytes.find("Secret plant name"), std::string::npos);
    }
    EXPECT_EQ(fleet.controller(a.serialNo)->name, a.name);
}

TEST(EncryptionUdp, RightPasswordSetsUpMarksAndUpgradesSealed) {
    const auto a = secureController(1, "Right-Pw-4");
    RecordedFleet site({a});
    auto& [fleet, rec, service] = site;
    const auto e = searchWith(service, "Right-Pw-4", a.serialNo);
    ASSERT_TRUE(e && e->PasswordOk());

    e->setName("Renamed sealed");
    e->setConfigIpAddress("10.50.2.20");
    e->setConfigSubnetMask("255.255.0.0");
    e->setConfigGateway("10.50.0.1");
    e->setConfigDnsServer("10.50.0.2");
    std::int32_t detail = -1;
    EXPECT_TRUE(e->CheckNetwork(detail));
    EXPECT_EQ(detail, 0);
    EXPECT_TRUE(e->IpSettingsFitNetwork());
    e->setApply(true);
    EXPECT_TRUE(e->SetupOk());
    EXPECT_TRUE(e->PasswordOk());
    EXPECT_EQ(e->Name(), "Renamed sealed");
    e->MarkSelected();
    EXPECT_TRUE(e->UpgradePortOs(upgradeFile(3, "3.2.0", 20000)));

    const auto after = *fleet.controller(a.serialNo);
    EXPECT_EQ(after.name, "Renamed sealed");
    EXPECT_EQ(after.ipAddress, "10.50.2.20");
    EXPECT_TRUE(after.marked);
    EXPECT_EQ(after.upgradesApplied, 1);
    EXPECT_EQ(after.portOsRevision, "3.2.0");
    // Every request to it after the search, and every answer, was sealed.
    int sealedIn = 0;
    for (const auto& d : rec.all()) {
        if (d.bytes.size() < wire::kHeaderSize)
            continue;
        const auto type = wire::MsgType(d.bytes[5]);
        if (type == wire::MsgType::Search || type == wire::MsgType::SearchAck || type == wire::MsgType::SearchReply)
            continue;
        EXPECT_TRUE(net::crypto::isSealed(d.bytes.data(), d.bytes.size())) << int(d.bytes[5]);
        sealedIn += d.incoming;
    }
    EXPECT_GE(sealedIn, 5);  // read, check, setup, mark, upgrade blocks
}

TEST(EncryptionUdp, EncryptionIsSwitchedOnChangedAndOffAtomically) {
    const auto b = secureController(2, "");
    const auto mac = macOf(b);
    RecordedFleet site({b});
    auto& [fleet, rec, service] = site;
    auto e = searchWith(service, "", b.serialNo);
    ASSERT_TRUE(e);
    ASSERT_FALSE(e->RequireEncryption());

    // On: the key travels in a key-agreement envelope, the password not at all.
    e->setName("Now secure");
    EXPECT_TRUE(switchEncryptionOn(*e, "First-Pw-5"));
    auto now = *fleet.controller(b.serialNo);
    EXPECT_TRUE(now.requireEncryption);
    EXPECT_EQ(now.name, "Now secure");
    EXPECT_EQ(now.encryptionKey, toHex(controllerKeyFromPassword("First-Pw-5", mac)));
    EXPECT_TRUE(now.encryptionPassword.empty());
    EXPECT_TRUE(e->RequireEncryption());
    EXPECT_FALSE(e->PasswordOk());  // the service still has no password
    for (const auto type : {wire::MsgType::CheckNetwork, wire::MsgType::Setup}) {
        const auto sent = rec.requests(type);
        ASSERT_EQ(sent.size(), 1u);
        const auto env = net::crypto::peek(sent[0].bytes.data(), sent[0].bytes.size());
        ASSERT_TRUE(env);
        EXPECT_EQ(env->kind, net::crypto::EnvelopeKind::KeyAgreement);
    }
    e = searchWith(service, "First-Pw-5", b.serialNo);
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->PasswordOk());
    EXPECT_EQ(e->Name(), "Now secure");

    // Changed: the transaction is sealed with the old key and carries the new one.
    rec.clear();
    e->setEncryptionPassword("Second-Pw-5");
    e->setApply(true);
    EXPECT_TRUE(e->SetupOk());
    EXPECT_FALSE(e->PasswordOk());  // the service password is the old one
    now = *fleet.controller(b.serialNo);
    EXPECT_TRUE(now.requireEncryption);
    EXPECT_EQ(now.encryptionKey, toHex(controllerKeyFromPassword("Second-Pw-5", mac)));
    const auto change = rec.requests(wire::MsgType::Setup);
    ASSERT_EQ(change.size(), 1u);
    const auto opened = openWith(change[0].bytes, controllerKeyFromPassword("First-Pw-5", mac));
    ASSERT_TRUE(opened);
    const Key second = controllerKeyFromPassword("Second-Pw-5", mac);
    EXPECT_EQ(*opened->find(wire::TagEncryptionKey), std::string(second.begin(), second.end()));
    EXPECT_FALSE(opened->has(wire::TagEncryptionPassword));
    EXPECT_FALSE(searchWith(service, "First-Pw-5", b.serialNo)->PasswordOk());
    e = searchWith(service, "Second-Pw-5", b.serialNo);
    ASSERT_TRUE(e && e->PasswordOk());

    // Off: sealed with the present key; the controller forgets its key.
    e->setRequireEncryption(false);
    e->setEncryptionPassword("");
    e->setName("Plain again");
    e->setApply(true);
    EXPECT_TRUE(e->SetupOk());
    now = *fleet.controller(b.serialNo);
    EXPECT_FALSE(now.requireEncryption);
    EXPECT_TRUE(now.encryptionKey.empty());
    e = searchWith(service, "", b.serialNo);
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->PasswordOk());
    EXPECT_FALSE(e->RequireEncryption());
    EXPECT_EQ(e->Name(), "Plain again");
    EXPECT_EQ(now.setupsApplied, 3);
}

TEST(EncryptionUdp, SwitchingOnAgainRightAfterSwitchingOffStaysSealed) {
    // Its public key was not known while it required encryption: the service asks for it.
    const auto a = secureController(1, "Again-Pw-13");
    RecordedFleet site({a});
    auto& [fleet, rec, service] = site;
    auto e = searchWith(service, "Again-Pw-13", a.serialNo);
    ASSERT_TRUE(e && e->PasswordOk());
    e->setRequireEncryption(false);
    e->setApply(true);
    ASSERT_TRUE(e->SetupOk());
    ASSERT_FALSE(fleet.controller(a.serialNo)->requireEncryption);
    rec.clear();
    e->setConfigIpAddress("10.50.3.33");
    e->setConfigSubnetMask("255.255.0.0");
    EXPECT_TRUE(switchEncryptionOn(*e, "Again-Pw-13"));
    EXPECT_TRUE(e->PasswordOk());  // the service password is the new one
    const auto now = *fleet.controller(a.serialNo);
    EXPECT_TRUE(now.requireEncryption);
    EXPECT_EQ(now.ipAddress, "10.50.3.33");
    for (const auto type : {wire::MsgType::CheckNetwork, wire::MsgType::Setup}) {
        const auto sent = rec.requests(type);
        ASSERT_EQ(sent.size(), 1u) << int(type);
        EXPECT_TRUE(net::crypto::isSealed(sent[0].bytes.data(), sent[0].bytes.size())) << int(type);
    }
}

TEST(EncryptionUdp, EnablingWithoutAPasswordOrWithARefusedFieldChangesNothing) {
    const auto b = secureController(2, "");
    auto fleet = startFleet({b});
    net::NetService service(fleet.clientConfig());
    auto e = searchWith(service, "", b.serialNo);
    ASSERT_TRUE(e);
    // No password: nothing to encrypt with.
    e->setRequireEncryption(true);
    e->setEncryptionPassword("");
    e->setApply(true);
    EXPECT_FALSE(e->SetupOk());
    // A password, but another field is invalid: all or nothing.
    e->setRequireEncryption(true);
    e->setEncryptionPassword("Some-Pw-6");
    e->setDnsName("not a host name");
    e->setUseDhcp(true);
    e->setApply(true);
    EXPECT_FALSE(e->SetupOk());
    const auto now = *fleet.controller(b.serialNo);
    EXPECT_FALSE(now.requireEncryption);
    EXPECT_TRUE(now.encryptionKey.empty());
    EXPECT_EQ(now.setupsApplied, 0);
    EXPECT_EQ(now.setupsRejected, 2);
}

TEST(EncryptionUdp, AReplayedSetupIsRefused) {
    const auto a = secureController(1, "Replay-Pw-7");
    const auto b = secureController(2, "");
    RecordedFleet site({a, b});
    auto& [fleet, rec, service] = site;
    auto e = searchWith(service, "Replay-Pw-7", a.serialNo);
    ASSERT_TRUE(e && e->PasswordOk());
    e->setName("One");
    e->setApply(true);
    ASSERT_TRUE(e->SetupOk());
    const auto captured = rec.requests(wire::MsgType::Setup);
    ASSERT_EQ(captured.size(), 1u);
    e->setName("Two");
    e->setApply(true);
    ASSERT_TRUE(e->SetupOk());

    RawClient attacker;
    attacker.send(a.address, fleet.port(), captured[0].bytes);
    EXPECT_FALSE(attacker.receive(300));  // dropped without a word
    auto now = *fleet.controller(a.serialNo);
    EXPECT_EQ(now.name, "Two");
    EXPECT_EQ(now.setupsApplied, 2);
    EXPECT_EQ(now.replaysRefused, 1);

    // The setup that switched encryption on cannot switch it on again once it is off.
    auto plain = searchWith(service, "Replay-Pw-7", b.serialNo);
    ASSERT_TRUE(plain);
    rec.clear();
    plain->setRequireEncryption(true);
    plain->setEncryptionPassword("Replay-Pw-7");
    plain->setApply(true);
    ASSERT_TRUE(plain->SetupOk());
    const auto enabling = rec.requests(wire::MsgType::Setup);
    ASSERT_EQ(enabling.size(), 1u);
    plain = searchWith(service, "Replay-Pw-7", b.serialNo);
    ASSERT_TRUE(plain && plain->PasswordOk());
    plain->setRequireEncryption(false);
    plain->setApply(true);
    ASSERT_TRUE(plain->SetupOk());
    ASSERT_FALSE(fleet.controller(b.serialNo)->requireEncryption);
    attacker.send(b.address, fleet.port(), enabling[0].bytes);
    EXPECT_FALSE(attacker.receive(300));
    now = *fleet.controller(b.serialNo);
    EXPECT_FALSE(now.requireEncryption);
    EXPECT_TRUE(now.encryptionKey.empty());
    EXPECT_EQ(now.setupsApplied, 2);
}

TEST(EncryptionUdp, ATamperedRequestIsDroppedAndTheRealOneTaken) {
    const auto a = secureController(1, "Tamper-Pw-8");
    const auto mac = macOf(a);
    auto fleet = startFleet({a});
    const Key key = controllerKeyFromPassword("Tamper-Pw-8", mac);
    RawClient client;
    const auto challenge = client.challenge(a.address, fleet.port());
    ASSERT_TRUE(challenge);
    wire::Message setup;
    setup.type = wire::MsgType::Setup;
    setup.requestId = 77;
    setup.add(wire::TagName, "From the raw client");
    const auto sealed = sealedRequest(setup, mac, *challenge, 1, key);
    ASSERT_FALSE(sealed.empty());

    // One changed byte anywhere: in the ciphertext, in the clear header, in the clear Ethernet address.
    for (const std::size_t at : {sealed.size() - 1, sealed.size() - 20, std::size_t(11), std::size_t(wire::kHeaderSize + 3)}) {
        auto changed = sealed;
        changed[at] ^= 0x01;
        client.send(a.address, fleet.port(), changed);
    }
    // Three are answered "refused" in clear; the one with another Ethernet address is not even ours.
    int refused = 0;
    while (const auto reply = client.receive(300)) {
        wire::Message m;
        ASSERT_EQ(wire::decode(reply->data(), reply->size(), m), wire::DecodeError::None);
        EXPECT_EQ(m.u8(wire::TagStatus), std::uint8_t(wire::Status::Refused));
        ++refused;
    }
    EXPECT_EQ(refused, 3);
    auto now = *fleet.controller(a.serialNo);
    EXPECT_EQ(now.name, a.name);
    EXPECT_EQ(now.wrongKeys, 3);
    EXPECT_EQ(now.setupsReceived, 0);

    client.send(a.address, fleet.port(), sealed);
    const auto reply = client.receive(1000);
    ASSERT_TRUE(reply);
    const auto answer = openWith(*reply, key);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->u8(wire::TagStatus), std::uint8_t(wire::Status::Ok));
    EXPECT_EQ(*answer->find(wire::TagName), "From the raw client");
    // Sent again from the same place (our answer lost): the same answer, applied once.
    client.send(a.address, fleet.port(), sealed);
    const auto again = client.receive(1000);
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *reply);
    now = *fleet.controller(a.serialNo);
    EXPECT_EQ(now.name, "From the raw client");
    EXPECT_EQ(now.setupsApplied, 1);
}

TEST(EncryptionUdp, AControllerWithoutEncryptionSupportRefusesIt) {
    const auto c = secureController(3, "", 0);
    RecordedFleet site({c});
    auto& [fleet, rec, service] = site;
    auto e = searchWith(service, "Any-Pw-9", c.serialNo);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Capabilities() & net::CapEncryption, 0u);
    EXPECT_TRUE(e->PasswordOk());
    e->setName("Still plain");
    e->setRequireEncryption(true);
    e->setEncryptionPassword("Any-Pw-9");
    e->setApply(true);
    EXPECT_FALSE(e->SetupOk());
    const auto now = *fleet.controller(c.serialNo);
    EXPECT_FALSE(now.requireEncryption);
    EXPECT_EQ(now.name, c.name);
    EXPECT_EQ(now.capabilities & 8u, 0u);
    // The refused setup went in clear, without the password or any key.
    const auto setups = rec.requests(wire::MsgType::Setup);
    ASSERT_EQ(setups.size(), 1u);
    wire::Message m;
    ASSERT_EQ(wire::decode(setups[0].bytes.data(), setups[0].bytes.size(), m), wire::DecodeError::None);
    EXPECT_FALSE(m.has(wire::TagEncryptionKey));
    EXPECT_FALSE(m.has(wire::TagEncryptionPassword));
    // A sealed request is answered Unsupported in clear.
    RawClient client;
    wire::Message read;
    read.type = wire::MsgType::Read;
    read.requestId = 9;
    client.send(c.address, fleet.port(), sealedRequest(read, macOf(c), net::crypto::newChallenge(), 1, Key{}));
    const auto reply = client.receive(1000);
    ASSERT_TRUE(reply);
    ASSERT_EQ(wire::decode(reply->data(), reply->size(), m), wire::DecodeError::None);
    EXPECT_EQ(m.type, wire::MsgType::ReadReply);
    EXPECT_EQ(m.u8(wire::TagStatus), std::uint8_t(wire::Status::Unsupported));
}

TEST(EncryptionUdp, WrongPasswordsAreRateLimitedButNeverLockTheTechnicianOutForLong) {
    const auto a = secureController(1, "Limit-Pw-10");
    const auto mac = macOf(a);
    auto fleet = startFleet({a});
    RawClient guesser;  // on 127.0.0.1, as the service below
    const Key wrong = controllerKeyFromPassword("guess", mac);
    const Key right = controllerKeyFromPassword("Limit-Pw-10", mac);
    auto tryKey = [&](const Key& key) -> std::optional<wire::Message> {
        const auto challenge = guesser.challenge(a.address, fleet.port());
        if (!challenge)
            return std::nullopt;
        wire::Message read;
        read.type = wire::MsgType::Read;
        read.requestId = 100;
        guesser.send(a.address, fleet.port(), sealedRequest(read, mac, *challenge, 1, key));
        const auto reply = guesser.receive(1000);
        wire::Message m;
        if (!reply)
            return std::nullopt;
        if (net::crypto::isSealed(reply->data(), reply->size()))
            return openWith(*reply, key);
        if (wire::decode(reply->data(), reply->size(), m) != wire::DecodeError::None)
            return std::nullopt;
        return m;
    };
    for (int k = 0; k < 5; ++k) {
        const auto m = tryKey(wrong);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->u8(wire::TagStatus), std::uint8_t(wire::Status::Refused)) << k;
    }
    // The sixth is not even tried, right or wrong: come back within a second.
    const auto later = tryKey(right);
    ASSERT_TRUE(later);
    EXPECT_EQ(later->u8(wire::TagStatus), std::uint8_t(wire::Status::Later));
    const auto retry = later->u16(wire::TagRetryAfterMs);
    ASSERT_TRUE(retry);
    EXPECT_GT(*retry, 0);
    EXPECT_LE(*retry, 1000);
    EXPECT_EQ(fleet.controller(a.serialNo)->wrongKeys, 5);
    EXPECT_EQ(fleet.controller(a.serialNo)->rateLimited, 1);

    // The technician with the right password on the same address waits the rest of that second, no more.
    net::NetService service(fleet.clientConfig());
    const auto t0 = Clock::now();
    const auto e = searchWith(service, "Limit-Pw-10", a.serialNo);
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->PasswordOk());
    EXPECT_EQ(e->Name(), a.name);
    EXPECT_LT(msSince(t0), 2500);
    EXPECT_GE(fleet.controller(a.serialNo)->rateLimited, 2);  // the service was told to wait, and did

    // Once the bucket is empty, one guess a second.
    for (int k = 0; k < 6; ++k)
        tryKey(wrong);
    std::this_thread::sleep_for(std::chrono::milliseconds(1050));
    const auto one = tryKey(wrong);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->u8(wire::TagStatus), std::uint8_t(wire::Status::Refused));
    const auto next = tryKey(wrong);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->u8(wire::TagStatus), std::uint8_t(wire::Status::Later));
}

TEST(EncryptionUdp, AForgottenSessionIsRenewedWithoutTheCallerNoticing) {
    const auto a = secureController(1, "Session-Pw-11");
    auto fleet = startFleet({a});
    net::NetService service(fleet.clientConfig());
    auto e = searchWith(service, "Session-Pw-11", a.serialNo);
    ASSERT_TRUE(e && e->PasswordOk());
    // Other workstations read it until it has forgotten our session.
    for (int k = 0; k < 9; ++k) {
        net::NetService other(fleet.clientConfig());
        ASSERT_TRUE(searchWith(other, "Session-Pw-11", a.serialNo)->PasswordOk());
    }
    fleet.clearLog();
    e->setName("Renewed");
    e->setApply(true);
    EXPECT_TRUE(e->SetupOk());
    EXPECT_EQ(fleet.controller(a.serialNo)->name, "Renewed");
    const auto log = fleet.log();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                            [](const std::string& l) { return l.find("unknown session") != std::string::npos; }));
}

TEST(EncryptionUdp, TheSlowHashRunsOncePerPasswordNotPerController) {
    std::vector<sim::SimControllerState> many;
    for (int n = 1; n <= 30; ++n)
        many.push_back(secureController(n, "Many-Pw-12"));
    auto fleet = startFleet(many);
    net::crypto::clearKeyCache();  // the fleet derived its keys through the same cache
    const auto before = net::crypto::keyStats();
    net::NetService service(fleet.clientConfig());
    service.setPassword("Many-Pw-12");
    service.Search();
    ASSERT_EQ(service.ControllerCount(), 30);
    for (int i = 0; i < 30; ++i)
        EXPECT_TRUE(service.Item(std::int16_t(i))->PasswordOk()) << i;
    const auto after = net::crypto::keyStats();
    EXPECT_EQ(after.passwordHashes - before.passwordHashes, 1u);
    EXPECT_EQ(after.controllerKeys - before.controllerKeys, 30u);
    // A new service object (as before every full search of the tool) hashes nothing again.
    net::NetService next(fleet.clientConfig());
    next.setPassword("Many-Pw-12");
    next.Search();
    EXPECT_EQ(next.ControllerCount(), 30);
    EXPECT_EQ(net::crypto::keyStats().passwordHashes, after.passwordHashes);
}

}  // namespace
}  // namespace zelmar::testing
