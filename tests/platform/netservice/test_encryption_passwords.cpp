// Several network passwords over real UDP on loopback: a site whose controllers
// use different passwords, opened by one service given all of them, and what
// the trying costs the controllers in wrong keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/netservice/service_core.h"
#include "test_encryption_helpers.h"

namespace zelmar::testing {
namespace {

using net::crypto::controllerKeyFromPassword;
using net::crypto::Key;

const std::string kNorth = "North-Site-Pw";
const std::string kSouth = "South-Site-Pw";
const std::string kNobody = "Nobody-Uses-This-Pw";  // opens no controller of the site

// Controllers 1-3 use the north password, 4-6 the south one.
std::vector<sim::SimControllerState> twoGroups() {
    std::vector<sim::SimControllerState> site;
    for (int n = 1; n <= 6; ++n)
        site.push_back(secureController(n, n <= 3 ? kNorth : kSouth));
    return site;
}

const std::string& passwordOf(const sim::SimControllerState& c) { return c.encryptionPassword; }

// How many passwords were tried on controller `c` that `key` (its key) does not open.
// The controller counts a wrong key per datagram, so a try sent again because its answer
// was late counts twice there; the copies are the same datagram, byte for byte, while each
// new try is sealed with a nonce of its own. Both counts are taken, the larger returned.
int wrongPasswordsTried(const RecordedFleet& site, const sim::SimControllerState& c, const Key& key) {
    std::set<std::vector<std::uint8_t>> tries;
    int copies = 0;
    for (const auto& d : site.rec.all()) {
        if (!d.incoming || d.controller != c.address || !net::crypto::isSealed(d.bytes.data(), d.bytes.size()))
            continue;
        const auto envelope = net::crypto::peek(d.bytes.data(), d.bytes.size());
        if (!envelope || envelope->kind != net::crypto::EnvelopeKind::ControllerKey || envelope->ethernet != macOf(c) ||
            net::crypto::open(d.bytes.data(), d.bytes.size(), key))
            continue;
        if (!tries.insert(d.bytes).second)
            ++copies;
    }
    const int counted = site.fleet.controller(c.serialNo)->wrongKeys - copies;
    return std::max(int(tries.size()), counted);
}

int wrongPasswordsTried(const RecordedFleet& site, const sim::SimControllerState& c) {
    return wrongPasswordsTried(site, c, controllerKeyFromPassword(passwordOf(c), macOf(c)));
}

void expectReadInFull(net::NetService& service, const sim::SimControllerState& c) {
    SCOPED_TRACE(c.serialNo);
    const auto e = find(service, c.serialNo);
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->PasswordOk());
    EXPECT_EQ(e->Name(), c.name);
    EXPECT_EQ(e->Description(), c.description);
    EXPECT_EQ(e->SubnetMask(), c.subnetMask);
}

void renameAndMark(net::NetService& service, sim::SimFleet& fleet, const sim::SimControllerState& c,
                   const std::string& name) {
    SCOPED_TRACE(c.serialNo);
    const auto e = find(service, c.serialNo);
    ASSERT_TRUE(e);
    e->setName(name);
    e->setApply(true);
    EXPECT_TRUE(e->SetupOk()) << e->NotSentReason();
    EXPECT_TRUE(e->PasswordOk());
    EXPECT_TRUE(e->MarkSelected());
    const auto now = fleet.controller(c.serialNo);
    EXPECT_EQ(now->name, name);
    EXPECT_TRUE(now->marked);
}

TEST(EncryptionPasswords, OneServiceWithBothPasswordsOpensBothGroups) {
    auto controllers = twoGroups();
    const auto stranger = secureController(7, kNobody);  // none of the service's passwords opens it
    const auto plain = secureController(8, "");
    controllers.push_back(stranger);
    controllers.push_back(plain);
    RecordedFleet site(controllers);
    auto& [fleet, rec, service] = site;

    service.setPasswords({kNorth, kSouth});
    for (int search = 0; search < 2; ++search) {  // the second one knows which password opens each
        SCOPED_TRACE(search);
        service.Search();
        ASSERT_EQ(service.ControllerCount(), 8);
        for (int n = 0; n < 6; ++n)
            expectReadInFull(service, controllers[std::size_t(n)]);
        const auto none = find(service, stranger.serialNo);
        ASSERT_TRUE(none);
        EXPECT_TRUE(none->RequireEncryption());
        EXPECT_FALSE(none->PasswordOk());
        EXPECT_EQ(none->Name(), "");
        EXPECT_EQ(none->Description(), "");
        expectReadInFull(service, plain);
    }
    renameAndMark(service, fleet, controllers[1], "North renamed");
    renameAndMark(service, fleet, controllers[4], "South renamed");

    // Tried first, the north password costs the north controllers nothing, and the south
    // ones one wrong key each, over both searches and the setups: the south password
    // was kept for them once it opened them.
    for (int n = 0; n < 6; ++n) {
        SCOPED_TRACE(controllers[std::size_t(n)].serialNo);
        if (n < 3)
            EXPECT_EQ(fleet.controller(controllers[std::size_t(n)].serialNo)->wrongKeys, 0);
        else
            EXPECT_LE(wrongPasswordsTried(site, controllers[std::size_t(n)]), 1);
    }
    // The one no password opens is tried with each, once a search.
    EXPECT_LE(wrongPasswordsTried(site, stranger), 2 * 2);
    EXPECT_EQ(fleet.controller(stranger.serialNo)->sealedRequests, 0);
    EXPECT_EQ(fleet.controller(plain.serialNo)->wrongKeys, 0);
}

TEST(EncryptionPasswords, APasswordThatOpensNoneDoesNotLockOutTheControllersAnotherOpens) {
    const auto controllers = twoGroups();
    RecordedFleet site({controllers[0], controllers[1]});
    auto& [fleet, rec, service] = site;
    // The password that opens nothing comes first: every controller refuses it once.
    service.setPasswords({kNobody, kNorth});
    // More searches and setups than a controller allows wrong keys before it makes an address wait.
    for (int round = 0; round < 7; ++round) {
        SCOPED_TRACE(round);
        service.Search();
        ASSERT_EQ(service.ControllerCount(), 2);
        for (int n = 0; n < 2; ++n)
            expectReadInFull(service, controllers[std::size_t(n)]);
        const auto e = find(service, controllers[0].serialNo);
        e->setDnsName("round-" + std::to_string(round) + ".plant.test");
        e->setApply(true);
        EXPECT_TRUE(e->SetupOk());
    }
    EXPECT_EQ(fleet.controller(controllers[0].serialNo)->dnsName, "round-6.plant.test");
    for (int n = 0; n < 2; ++n) {
        SCOPED_TRACE(controllers[std::size_t(n)].serialNo);
        EXPECT_LE(wrongPasswordsTried(site, controllers[std::size_t(n)]), 1);
        EXPECT_GE(fleet.controller(controllers[std::size_t(n)].serialNo)->wrongKeys, 1);  // it was tried
    }
}

TEST(EncryptionPasswords, TheOrderOfThePasswordsDoesNotChangeWhatIsOpened) {
    const auto controllers = twoGroups();
    // Empty ones are no password and a repeated one is tried once: the third list is the second.
    const std::vector<std::vector<std::string>> orders = {
        {kNorth, kSouth}, {kSouth, kNorth}, {"", kSouth, "", kNorth, kSouth}};
    for (const auto& order : orders) {
        SCOPED_TRACE(order.front() + " first of " + std::to_string(order.size()));
        RecordedFleet site(controllers);
        auto& [fleet, rec, service] = site;
        service.setPasswords(order);
        service.Search();
        ASSERT_EQ(service.ControllerCount(), 6);
        for (const auto& c : controllers)
            expectReadInFull(service, c);
        renameAndMark(service, fleet, controllers[2], "North in any order");
        renameAndMark(service, fleet, controllers[3], "South in any order");
        for (const auto& c : controllers) {
            SCOPED_TRACE(c.serialNo);
            const bool firstOpensIt = std::find(order.begin(), order.end(), passwordOf(c)) ==
                                      std::find_if(order.begin(), order.end(), [](const auto& p) { return !p.empty(); });
            if (firstOpensIt)
                EXPECT_EQ(fleet.controller(c.serialNo)->wrongKeys, 0);
            else
                EXPECT_LE(wrongPasswordsTried(site, c), 1);
        }
    }
}

TEST(EncryptionPasswords, AServiceThatLearntTheSiteSealsWithThePasswordThatOpenedEachController) {
    const auto controllers = twoGroups();
    RecordedFleet site(controllers);
    auto& [fleet, rec, searched] = site;
    searched.setPasswords({kNorth, kSouth});
    searched.Search();
    ASSERT_EQ(searched.ControllerCount(), 6);

    // Worker objects, as whole-site work makes them: their passwords in the other order (so the
    // south controllers' password comes first), one given them before it learns, one after.
    net::NetService before(fleet.clientConfig());
    before.setPasswords({kSouth, kNorth});
    before.LearnControllers(searched);
    net::NetService after(fleet.clientConfig());
    after.LearnControllers(searched);
    after.setPasswords({kSouth, kNorth});
    for (net::NetService* worker : {&before, &after}) {
        ASSERT_EQ(worker->ControllerCount(), 6);
        for (const auto& c : controllers)
            expectReadInFull(*worker, c);
    }
    renameAndMark(before, fleet, controllers[0], "North by a worker");
    renameAndMark(before, fleet, controllers[5], "South by a worker");
    renameAndMark(after, fleet, controllers[1], "North by another");
    renameAndMark(after, fleet, controllers[4], "South by another");
    EXPECT_EQ(before.core().stats().searchRounds, 0u);
    EXPECT_EQ(after.core().stats().searchRounds, 0u);

    // Only the search tried a wrong password: the south ones once each, the north ones never.
    for (const auto& c : controllers) {
        SCOPED_TRACE(c.serialNo);
        if (passwordOf(c) == kNorth)
            EXPECT_EQ(fleet.controller(c.serialNo)->wrongKeys, 0);
        else
            EXPECT_LE(wrongPasswordsTried(site, c), 1);
    }
}

TEST(EncryptionPasswords, ASetupThatChangesTheKeyTellsWhichPasswordOpensTheControllerNow) {
    const auto controllers = twoGroups();
    const auto& moved = controllers[0];  // north, about to take the south password
    RecordedFleet site({controllers[0], controllers[3]});
    auto& [fleet, rec, service] = site;
    service.setPasswords({kNorth, kSouth});
    service.Search();
    auto e = find(service, moved.serialNo);
    ASSERT_TRUE(e && e->PasswordOk());

    // To the other password of the service: it still opens the controller, and from now on
    // requests go sealed with it at once.
    rec.clear();
    e->setEncryptionPassword(kSouth);
    e->setApply(true);
    ASSERT_TRUE(e->SetupOk());
    EXPECT_EQ(fleet.controller(moved.serialNo)->encryptionKey,
              net::crypto::toHex(controllerKeyFromPassword(kSouth, macOf(moved))));
    EXPECT_TRUE(e->PasswordOk());
    const int wrongBefore = fleet.controller(moved.serialNo)->wrongKeys;
    rec.clear();
    e->setName("Moved south");
    e->setApply(true);
    EXPECT_TRUE(e->SetupOk());
    EXPECT_TRUE(e->MarkSelected());
    service.Search();
    expectReadInFull(service, [&] {
        auto now = moved;
        now.name = "Moved south";
        return now;
    }());
    EXPECT_EQ(fleet.controller(moved.serialNo)->wrongKeys, wrongBefore);

    // A setup whose answer is lost is confirmed only when the password that opens the
    // controller afterwards makes the key asked for. Never taken: the north key is still
    // in place, though the service holds the password of the key asked for.
    e->setEncryptionPassword(kNorth);
    fleet.setLoseRequests(wire::MsgType::Setup, true);
    e->setApply(true);
    fleet.setLoseRequests(wire::MsgType::Setup, false);
    EXPECT_EQ(e->SetupVerdict(), net::SetupOutcome::NoAnswer);
    EXPECT_FALSE(e->SetupOk());
    EXPECT_EQ(fleet.controller(moved.serialNo)->encryptionKey,
              net::crypto::toHex(controllerKeyFromPassword(kSouth, macOf(moved))));
    EXPECT_TRUE(e->PasswordOk());  // the lookup read it with the south password
    // Taken, its answer lost: the lookup's read finds the north password opening it.
    e->setEncryptionPassword(kNorth);
    fleet.setLoseReplies(wire::MsgType::SetupReply, true);
    e->setApply(true);
    fleet.setLoseReplies(wire::MsgType::SetupReply, false);
    EXPECT_EQ(e->SetupVerdict(), net::SetupOutcome::Confirmed);
    EXPECT_TRUE(e->PasswordOk());
    EXPECT_EQ(fleet.controller(moved.serialNo)->encryptionKey,
              net::crypto::toHex(controllerKeyFromPassword(kNorth, macOf(moved))));

    // To a password the service does not hold: PasswordOk false, as with one password.
    e->setEncryptionPassword(kNobody);
    e->setApply(true);
    ASSERT_TRUE(e->SetupOk());
    EXPECT_FALSE(e->PasswordOk());
    service.Search();
    EXPECT_FALSE(find(service, moved.serialNo)->PasswordOk());
    // The other controller was never disturbed by any of it.
    expectReadInFull(service, controllers[3]);
}

}  // namespace
}  // namespace zelmar::testing
