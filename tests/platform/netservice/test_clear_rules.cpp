// What may travel in clear around controllers that use encryption, decided on
// the messages alone.
#include <gtest/gtest.h>

#include "platform/netservice/crypto/clear_rules.h"

using namespace zelmar::net;

namespace {
std::vector<std::uint8_t> request(wire::MsgType type, std::uint16_t extraTag = 0) {
    wire::Message m;
    m.type = type;
    m.requestId = 7;
    if (extraTag)
        m.add(extraTag, std::string(32, 'k'));
    return wire::encode(m);
}

wire::Message reply(wire::MsgType type, wire::Status status) {
    wire::Message m;
    m.type = type;
    m.addU8(wire::TagStatus, std::uint8_t(status));
    return m;
}
}  // namespace

TEST(ClearRules, AKeyOrPasswordNeverLeavesInClearNorTheSetupThatSwitchesEncryptionOn) {
    EXPECT_TRUE(mayGoInClear(request(wire::MsgType::Setup), false));
    EXPECT_FALSE(mayGoInClear(request(wire::MsgType::Setup, wire::TagEncryptionKey), false));
    EXPECT_FALSE(mayGoInClear(request(wire::MsgType::Mark, wire::TagEncryptionPassword), false));
    EXPECT_FALSE(mayGoInClear(request(wire::MsgType::Setup), true));
    EXPECT_FALSE(mayGoInClear(request(wire::MsgType::CheckNetwork), true));
    EXPECT_TRUE(mayGoInClear(request(wire::MsgType::Mark), true));  // nothing of the new settings in it
    EXPECT_FALSE(mayGoInClear({1, 2, 3}, false));
}

TEST(ClearRules, AControllerThatRequiresEncryptionIsBelievedInClearOnlyInSearchRepliesAndRefusals) {
    EXPECT_TRUE(believedInClear(reply(wire::MsgType::SetupReply, wire::Status::Ok), false));
    EXPECT_FALSE(believedInClear(reply(wire::MsgType::SetupReply, wire::Status::Ok), true));
    EXPECT_FALSE(believedInClear(reply(wire::MsgType::SetupReply, wire::Status::Stale), true));
    EXPECT_TRUE(believedInClear(reply(wire::MsgType::SearchReply, wire::Status::Ok), true));
    for (auto refusal : {wire::Status::Refused, wire::Status::Later, wire::Status::Unsupported})
        EXPECT_TRUE(believedInClear(reply(wire::MsgType::ReadReply, refusal), true));
}
