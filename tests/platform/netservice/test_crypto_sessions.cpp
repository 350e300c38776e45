// The encryption sessions alone: what is sealed and how, sessions against
// replays, a session the controller forgot, and which answers are believed,
// against a simulated controller in this process (no sockets, no search).
#include <gtest/gtest.h>

#include "platform/netservice/crypto/crypto_sessions.h"
#include "tests/common/sim_site.h"
#include "tests/platform/netservice/controller_in_process.h"

using namespace zelmar;
namespace wire = net::wire;
namespace crypto = net::crypto;
using net::PendingRequest;
using net::ResendBackoff;

namespace {

const char* const kPassword = "Plant-7-secret";

sim::SimControllerState secureController(bool requireEncryption) {
    sim::SimControllerState s = zelmar::testing::siteController(40, 0x66, "127.81.0", 1);
    s.name = "Secure 1";
    s.ipAddress = s.configIpAddress = "10.50.1.11";
    s.subnetMask = s.configSubnetMask = "255.255.0.0";
    s.attachedNetwork = "10.50.0.0/16";
    s.capabilities = wire::CapEncryption;
    s.requireEncryption = requireEncryption;
    s.encryptionPassword = requireEncryption ? kPassword : "";
    return s;
}

struct SessionsTest : ::testing::Test {
    explicit SessionsTest(bool requireEncryption = true) : controller(secureController(requireEncryption)) {
        sessions.setPassword(kPassword);
        hear(controller.searchReply(1));
    }

    // A search reply taken as the service takes one.
    void hear(const wire::Message& reply) {
        wire::ControllerInfo info;
        ASSERT_TRUE(wire::readControllerInfo(reply, info));
        index = book.heard(info, controller.client, 1, std::chrono::steady_clock::now());
        sessions.heard(index, reply);
    }

    PendingRequest request(wire::MsgType type, wire::Message m = {}) {
        m.type = type;
        m.requestId = ++lastId;
        auto bytes = sessions.encode(index, m);
        return {index, std::move(bytes), m.requestId, ResendBackoff(50, std::chrono::steady_clock::now())};
    }

    // The controller's one answer to `bytes`, decoded as the service decodes replies.
    std::optional<wire::Message> answer(const std::vector<std::uint8_t>& bytes) {
        const auto out = controller.deliver(bytes);
        wire::Message reply;
        if (out.size() != 1 || !sessions.decodeReply(out[0].data(), out[0].size(), reply))
            return std::nullopt;
        return reply;
    }

    std::uint32_t newId() { return ++lastId; }

    zelmar::testing::ControllerInProcess controller;
    net::ControllerBook book;
    net::CryptoSessions sessions{book};
    std::int32_t index = -1;
    std::uint32_t lastId = 100;
};

struct EnrolTest : SessionsTest {
    EnrolTest() : SessionsTest(false) {}
};

wire::Message rename(const std::string& name) {
    wire::Message m;
    m.add(wire::TagName, name);
    return m;
}

}  // namespace

TEST_F(SessionsTest, AControllerThatToldOnlyItsIdentityIsReadSealedAndItsAnswerOpens) {
    EXPECT_TRUE(sessions.readDue(index));
    EXPECT_EQ(sessions.takeReadsDue(), std::vector<std::int32_t>{index});
    EXPECT_TRUE(sessions.takeReadsDue().empty());  // each once
    PendingRequest read = request(wire::MsgType::Read);
    ASSERT_TRUE(crypto::isSealed(read.bytes.data(), read.bytes.size()));
    const auto reply = answer(read.bytes);
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->flags & wire::FlagSealed);
    EXPECT_EQ(reply->type, wire::MsgType::ReadReply);
    EXPECT_EQ(sessions.replyAction(*reply, read, [this] { return newId(); }), crypto::ReplyAction::Take);
    wire::ControllerInfo info;
    ASSERT_TRUE(wire::readControllerInfo(*reply, info));
    EXPECT_EQ(info.name, "Secure 1");
}

TEST_F(SessionsTest, EachRequestIsTakenOnceAndARepeatGetsTheSameAnswerWithoutBeingDoneAgain) {
    const PendingRequest first = request(wire::MsgType::Setup, rename("Renamed once"));
    const auto out = controller.deliver(first.bytes);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(controller.state().name, "Renamed once");
    EXPECT_EQ(controller.state().setupsApplied, 1);

    // The same datagram again from the service's port: its answer was lost, it is answered from memory.
    EXPECT_EQ(controller.deliver(first.bytes), out);
    // Replayed from elsewhere: dropped, not done again.
    EXPECT_TRUE(controller.deliver(first.bytes, {0x7F000009u, 40001}).empty());
    EXPECT_EQ(controller.state().setupsApplied, 1);
    EXPECT_EQ(controller.state().replaysRefused, 1);

    // The next request of the session has a number of its own and is taken.
    const PendingRequest second = request(wire::MsgType::Setup, rename("Renamed twice"));
    const auto reply = answer(second.bytes);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->u8(wire::TagStatus), std::uint8_t(wire::Status::Ok));
    EXPECT_EQ(controller.state().setupsApplied, 2);
    EXPECT_EQ(controller.state().sealedRequests, 2);
}

TEST_F(SessionsTest, ASessionTheControllerForgotIsRenewedUnderANewRequestId) {
    // The controller restarts: it keeps its key, not the challenges it gave nor the sessions.
    controller.controller = sim::SimController(controller.state());
    PendingRequest mark = request(wire::MsgType::Mark, [] {
        wire::Message m;
        m.addU8(wire::TagMarked, 1);
        return m;
    }());
    const auto stale = answer(mark.bytes);
    ASSERT_TRUE(stale);
    EXPECT_EQ(stale->u8(wire::TagStatus), std::uint8_t(wire::Status::Stale));
    const std::uint32_t oldId = mark.requestId;
    const auto oldBytes = mark.bytes;
    EXPECT_EQ(sessions.replyAction(*stale, mark, [this] { return newId(); }), crypto::ReplyAction::Resent);
    EXPECT_NE(mark.requestId, oldId);
    EXPECT_NE(mark.bytes, oldBytes);
    const auto marked = answer(mark.bytes);
    ASSERT_TRUE(marked);
    EXPECT_EQ(marked->u8(wire::TagStatus), std::uint8_t(wire::Status::Ok));
    EXPECT_EQ(marked->requestId, mark.requestId);
    EXPECT_TRUE(controller.state().marked);
    // The old datagram, replayed, opens nothing new: the controller does not know its session.
    const auto again = answer(oldBytes);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->u8(wire::TagStatus), std::uint8_t(wire::Status::Stale));
    EXPECT_EQ(controller.state().markCount, 1);
}

TEST_F(SessionsTest, OnlyARefusalIsBelievedInClearFromAControllerThatRequiresEncryption) {
    const auto clearAnswer = [&](wire::Status status) {
        wire::Message m;
        m.type = wire::MsgType::SetupReply;
        m.requestId = lastId;
        m.addU8(wire::TagStatus, std::uint8_t(status));
        m.add(wire::TagSerialNo, controller.state().serialNo);
        m.addEthernet(wire::TagEthernet, book.at(index).info.ethernet);
        return wire::encode(m);
    };
    PendingRequest setup = request(wire::MsgType::Setup, rename("Forged"));
    wire::Message reply;
    const auto ok = clearAnswer(wire::Status::Ok);
    EXPECT_FALSE(sessions.decodeReply(ok.data(), ok.size(), reply));  // anyone could send an "Ok"
    const auto refused = clearAnswer(wire::Status::Refused);
    ASSERT_TRUE(sessions.decodeReply(refused.data(), refused.size(), reply));
    EXPECT_EQ(sessions.replyAction(reply, setup, [this] { return newId(); }), crypto::ReplyAction::Take);
}

TEST_F(SessionsTest, AWrongPasswordIsRefusedAndNoPasswordSendsNothingButSearches) {
    sessions.setPassword("not the password");
    const auto reply = answer(request(wire::MsgType::Read).bytes);
    ASSERT_TRUE(reply);
    EXPECT_FALSE(reply->flags & wire::FlagSealed);
    EXPECT_EQ(reply->u8(wire::TagStatus), std::uint8_t(wire::Status::Refused));
    EXPECT_EQ(controller.state().wrongKeys, 1);

    sessions.setPassword("");
    EXPECT_FALSE(sessions.mustNotSend(index, wire::MsgType::Setup).empty());
    EXPECT_TRUE(sessions.mustNotSend(index, wire::MsgType::Search).empty());
    EXPECT_TRUE(sessions.takeReadsDue().empty());
}

TEST_F(EnrolTest, SwitchingEncryptionOnTravelsInAKeyAgreementAndNothingElseIsSealed) {
    EXPECT_FALSE(sessions.readDue(index));  // it told everything in clear
    wire::Message on;
    on.addU8(wire::TagRequireEncryption, 1);
    on.add(wire::TagEncryptionKey, sessions.keyFromPassword(index, kPassword));
    // Not enrolled: a key never goes in clear.
    EXPECT_TRUE(request(wire::MsgType::Setup, on).bytes.empty());

    sessions.enrol(index, true);
    EXPECT_FALSE(sessions.needsPublicKey(index));  // its search reply announced one
    const PendingRequest setup = request(wire::MsgType::Setup, on);
    const auto envelope = crypto::peek(setup.bytes.data(), setup.bytes.size());
    ASSERT_TRUE(envelope);
    EXPECT_EQ(envelope->kind, crypto::EnvelopeKind::KeyAgreement);
    const auto reply = answer(setup.bytes);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->u8(wire::TagStatus), std::uint8_t(wire::Status::Ok));
    EXPECT_TRUE(controller.state().requireEncryption);
    EXPECT_TRUE(sessions.serviceKeyIs(index, *on.find(wire::TagEncryptionKey)));

    sessions.enrol(index, false);
    const PendingRequest mark = request(wire::MsgType::Mark);
    EXPECT_FALSE(crypto::isSealed(mark.bytes.data(), mark.bytes.size()));  // as the book still says
}
