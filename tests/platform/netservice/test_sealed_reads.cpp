// The reads of controllers that require encryption, without sockets: which
// reply answers which read, what a believed answer is, and the gaps between
// the sends of a request.
#include <gtest/gtest.h>

#include "platform/netservice/crypto/sealed_reads.h"

using namespace zelmar::net;
using std::chrono::milliseconds;

namespace {
const ResendBackoff::Clock::time_point t0{std::chrono::seconds(100)};
const wire::Ethernet kFirst{0, 1, 2, 3, 4, 5};
const wire::Ethernet kSecond{0, 1, 2, 3, 4, 6};

wire::Message readReply(std::uint32_t requestId, const wire::Ethernet& from, wire::Status status, bool sealed) {
    wire::ControllerInfo info;
    info.serialNo = "10-00001";
    info.ethernet = from;
    info.passwordOk = false;
    wire::Message m;
    m.type = wire::MsgType::ReadReply;
    m.requestId = requestId;
    m.flags = sealed ? wire::FlagSealed : 0;
    m.addU8(wire::TagStatus, std::uint8_t(status));
    wire::putControllerInfo(m, info);
    return m;
}
}  // namespace

TEST(SealedReads, AReplyAnswersOnlyTheOpenReadOfItsIdAndController) {
    SealedReads reads;
    reads.add({0, {1}, 7, ResendBackoff(50, t0)}, kFirst);
    reads.add({1, {2}, 8, ResendBackoff(50, t0)}, kSecond);
    EXPECT_EQ(reads.open(), 2u);

    EXPECT_EQ(reads.answeredBy(readReply(7, kSecond, wire::Status::Ok, true)), nullptr);  // another controller
    EXPECT_EQ(reads.answeredBy(readReply(9, kFirst, wire::Status::Ok, true)), nullptr);   // an id never used
    wire::Message search = readReply(7, kFirst, wire::Status::Ok, true);
    search.type = wire::MsgType::SearchReply;
    EXPECT_EQ(reads.answeredBy(search), nullptr);

    // Sealed again in a new session: only the new id answers it.
    SealedReads::Read* second = reads.answeredBy(readReply(8, kSecond, wire::Status::Ok, true));
    ASSERT_NE(second, nullptr);
    second->request.requestId = 12;
    reads.renumbered(*second, 8);
    EXPECT_EQ(reads.answeredBy(readReply(8, kSecond, wire::Status::Ok, true)), nullptr);
    EXPECT_EQ(reads.answeredBy(readReply(12, kSecond, wire::Status::Ok, true)), second);

    reads.finish(*second);
    reads.finish(*second);
    EXPECT_EQ(reads.open(), 1u);
    EXPECT_EQ(reads.answeredBy(readReply(12, kSecond, wire::Status::Ok, true)), nullptr);  // a repeated answer
}

TEST(SealedReads, OnlyASealedOkOfTheSameControllerGivesItsDescription) {
    const auto believed = sealedDescription(readReply(7, kFirst, wire::Status::Ok, true), kFirst);
    ASSERT_TRUE(believed);
    EXPECT_TRUE(believed->passwordOk);  // it opened our request: the password is right
    EXPECT_EQ(believed->serialNo, "10-00001");

    EXPECT_FALSE(sealedDescription(readReply(7, kFirst, wire::Status::Ok, false), kFirst));  // anyone can send that
    EXPECT_FALSE(sealedDescription(readReply(7, kFirst, wire::Status::Refused, true), kFirst));
    EXPECT_FALSE(sealedDescription(readReply(7, kSecond, wire::Status::Ok, true), kFirst));
}

TEST(ResendBackoff, TheGapDoublesUpToASecond) {
    ResendBackoff resend(300, t0);
    EXPECT_TRUE(resend.due(t0));
    auto now = t0;
    for (int gapMs : {300, 600, 1000, 1000}) {
        resend.sent(now);
        EXPECT_FALSE(resend.due(now + milliseconds(gapMs - 1)));
        EXPECT_EQ(resend.next, now + milliseconds(gapMs));
        now = resend.next;
    }
}
