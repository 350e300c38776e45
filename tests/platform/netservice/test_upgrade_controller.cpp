// A simulated controller's side of the upgrade, datagram by datagram
// (SimController::handle, no sockets): what it refuses, when it acknowledges,
// what it checks before it switches, and the commit asked again.
#include <gtest/gtest.h>

#include <random>

#include "simulator/sim_controller.h"
#include "tests/platform/netservice/upgrade_helpers.h"

using namespace zelmar;
namespace wire = zelmar::net::wire;
using net::platform::Endpoint;
using zelmar::testing::randomImage;
using zelmar::testing::upgradableController;

namespace {

const Endpoint kClient{0x7F000001u, 40000};
const Endpoint kOtherClient{0x7F000001u, 40001};
constexpr std::uint32_t kTransfer = 77;

class ControllerSide : public ::testing::Test {
protected:
    ControllerSide() : ctl_(upgradableController()), image_(randomImage(10 * 1000 + 7, 9)) {
        mac_ = *wire::parseEthernet(ctl_.state.ethernetAddress);
    }

    // Sends one request; returns the decoded reply (type 0 when none).
    wire::Message send(wire::Message m, const Endpoint& from = kClient) {
        m.requestId = ++requestId_;
        if (!m.has(wire::TagTargetEthernet))
            m.addEthernet(wire::TagTargetEthernet, mac_);
        const auto bytes = wire::encode(m);
        last_ = ctl_.handle(bytes.data(), bytes.size(), from, rng_);
        wire::Message reply;
        reply.type = wire::MsgType(0);
        if (!last_.out.empty()) {
            EXPECT_EQ(wire::decode(last_.out[0].bytes.data(), last_.out[0].bytes.size(), reply),
                      wire::DecodeError::None);
        }
        return reply;
    }

    wire::Message start(std::int16_t type = 3, std::uint32_t length = 0, std::uint16_t blockSize = 1000,
                        std::uint16_t window = 8) {
        wire::Message m;
        m.type = wire::MsgType::UpgradeStart;
        m.addU32(wire::TagTransferId, kTransfer);
        m.addU32(wire::TagImageLength, length ? length : std::uint32_t(image_.size()));
        const auto h = net::hashImage(image_.data(), image_.size());
        m.add(wire::TagImageHash, std::string(h.begin(), h.end()));
        m.addU16(wire::TagPortOsType, std::uint16_t(type));
        m.add(wire::TagPortOsRevision, "4.1");
        m.addU16(wire::TagBlockSize, blockSize);
        m.addU16(wire::TagWindowSize, window);
        return send(m);
    }

    wire::Message block(std::uint32_t b, bool ackRequest = false, const Endpoint& from = kClient) {
        wire::Message m;
        m.type = wire::MsgType::UpgradeData;
        m.addU32(wire::TagTransferId, kTransfer);
        m.addU32(wire::TagBlockNo, b);
        const std::size_t offset = std::size_t(b) * 1000;
        const std::size_t length = std::min<std::size_t>(1000, image_.size() - std::min(offset, image_.size()));
        m.add(wire::TagBlockData, std::string(image_.begin() + std::ptrdiff_t(std::min(offset, image_.size())),
                                              image_.begin() + std::ptrdiff_t(std::min(offset, image_.size()) + length)));
        if (ackRequest)
            m.addU8(wire::TagAckRequest, 1);
        return send(m, from);
    }

    wire::Message commit(const Endpoint& from = kClient) {
        wire::Message m;
        m.type = wire::MsgType::UpgradeCommit;
        m.addU32(wire::TagTransferId, kTransfer);
        return send(m, from);
    }

    static std::uint8_t status(const wire::Message& m) { return m.u8(wire::TagStatus).value_or(0xFF); }

    sim::SimController ctl_;
    std::vector<std::uint8_t> image_;  // 11 blocks of 1000 bytes, the last one 7
    wire::Ethernet mac_{};
    std::mt19937 rng_{1};
    std::uint32_t requestId_ = 0;
    sim::SimController::Result last_;
};

}  // namespace

TEST_F(ControllerSide, AStartIsRefusedForAnotherPortTypeAndForValuesOutOfRange) {
    struct Case {
        std::int16_t type;
        std::uint32_t length;
        std::uint16_t blockSize;
        std::uint16_t window;
        std::uint16_t badField;
    } cases[] = {
        {5, 0, 1000, 8, wire::TagPortOsType},
        {-3, 0, 1000, 8, wire::TagPortOsType},
        {3, (64u << 20) + 1, 1000, 8, wire::TagImageLength},
        {3, 0, 255, 8, wire::TagBlockSize},
        {3, 0, 1000, 0, wire::TagWindowSize},
    };
    int refused = 0;
    for (const Case& c : cases) {
        const auto reply = start(c.type, c.length, c.blockSize, c.window);
        ASSERT_EQ(reply.type, wire::MsgType::UpgradeStartReply);
        EXPECT_EQ(status(reply), std::uint8_t(wire::Status::Invalid));
        EXPECT_EQ(reply.u16(wire::TagBadField), c.badField);
        EXPECT_EQ(reply.u32(wire::TagTransferId), kTransfer);
        EXPECT_EQ(ctl_.state.upgradesRefused, ++refused);
    }
    // Nothing runs: blocks of that transfer are not taken.
    EXPECT_EQ(block(0, true).type, wire::MsgType(0));
    EXPECT_EQ(ctl_.state.upgradeStarts, 0);
    EXPECT_EQ(ctl_.state.upgradeBlocks, 0);
}

TEST_F(ControllerSide, AStartWithoutATargetIsDropped) {
    wire::Message m;
    m.type = wire::MsgType::UpgradeStart;
    m.addU32(wire::TagTransferId, kTransfer);
    const auto bytes = wire::encode(m);
    const auto r = ctl_.handle(bytes.data(), bytes.size(), kClient, rng_);
    EXPECT_TRUE(r.out.empty());
    EXPECT_FALSE(r.dropped.empty());
}

TEST_F(ControllerSide, AcknowledgementsComeWhenAskedAtGapsAndEveryQuarterWindow) {
    auto reply = start();
    ASSERT_EQ(status(reply), 0);
    EXPECT_EQ(reply.u16(wire::TagBlockSize), 1000);
    EXPECT_EQ(reply.u16(wire::TagWindowSize), 8);
    EXPECT_EQ(reply.u32(wire::TagRestartMs), 200u);

    EXPECT_EQ(block(0).type, wire::MsgType(0));  // in order: quiet
    reply = block(1);                            // the second of a window of 8: a quarter
    ASSERT_EQ(reply.type, wire::MsgType::UpgradeAck);
    EXPECT_EQ(reply.u32(wire::TagNextBlock), 2u);
    EXPECT_FALSE(reply.has(wire::TagReceivedMap));

    // Block 2 lost: 3 arrives, the gap is reported at once, with 3 in the map.
    reply = block(3);
    ASSERT_EQ(reply.type, wire::MsgType::UpgradeAck);
    EXPECT_EQ(reply.u32(wire::TagNextBlock), 2u);
    EXPECT_EQ(*reply.find(wire::TagReceivedMap), std::string(1, char(0x80)));
    EXPECT_EQ(block(4).type, wire::MsgType(0));  // the same gap is not reported twice
    reply = block(5);                            // a quarter window since the last acknowledgement
    EXPECT_EQ(*reply.find(wire::TagReceivedMap), std::string(1, char(0xE0)));

    // Beyond the window (2 + 8): not taken, and the client is told where things stand.
    reply = block(10);
    ASSERT_EQ(reply.type, wire::MsgType::UpgradeAck);
    EXPECT_EQ(reply.u32(wire::TagNextBlock), 2u);
    EXPECT_EQ(*reply.find(wire::TagReceivedMap), std::string(1, char(0xE0)));

    reply = block(2, true);  // the lost block again, with a request
    EXPECT_EQ(reply.u32(wire::TagNextBlock), 6u);
    reply = block(2, true);  // a repeat changes nothing
    EXPECT_EQ(reply.u32(wire::TagNextBlock), 6u);
    EXPECT_EQ(ctl_.state.upgradeBlocks, 8);

    // A block of the wrong length, or from another client, is not taken.
    wire::Message shortBlock;
    shortBlock.type = wire::MsgType::UpgradeData;
    shortBlock.addU32(wire::TagTransferId, kTransfer);
    shortBlock.addU32(wire::TagBlockNo, 6);
    shortBlock.add(wire::TagBlockData, std::string(999, 'x'));
    shortBlock.addU8(wire::TagAckRequest, 1);
    EXPECT_EQ(send(shortBlock).type, wire::MsgType(0));
    EXPECT_EQ(block(6, true, kOtherClient).type, wire::MsgType(0));
    EXPECT_EQ(block(7, true).u32(wire::TagNextBlock), 6u);
}

TEST_F(ControllerSide, ARepeatedStartKeepsWhatArrived) {
    ASSERT_EQ(status(start()), 0);
    block(0);
    block(1);
    block(2);
    const auto reply = start();
    EXPECT_EQ(status(reply), 0);
    EXPECT_EQ(ctl_.state.upgradeStarts, 1);
    EXPECT_EQ(block(3, true).u32(wire::TagNextBlock), 4u);
}

TEST_F(ControllerSide, AnIncompleteImageIsRefusedAtTheCommitAndTheOldPortOsStays) {
    ASSERT_EQ(status(start()), 0);
    for (std::uint32_t b = 0; b < 10; ++b)  // the last block never came
        block(b);
    const auto reply = commit();
    ASSERT_EQ(reply.type, wire::MsgType::UpgradeCommitReply);
    EXPECT_EQ(status(reply), std::uint8_t(wire::Status::Invalid));
    EXPECT_EQ(reply.u16(wire::TagBadField), wire::TagImageLength);
    EXPECT_FALSE(reply.has(wire::TagRestartMs));
    EXPECT_EQ(last_.restartMs, -1);
    EXPECT_FALSE(last_.changed);
    EXPECT_EQ(ctl_.state.portOsRevision, "2.11");
    EXPECT_EQ(ctl_.state.upgradesRefused, 1);
    // The transfer is over: its last block comes too late.
    EXPECT_EQ(block(10, true).type, wire::MsgType(0));
}

TEST_F(ControllerSide, ACompleteImageSwitchesOnceAndACommitAskedAgainGetsTheSameAnswer) {
    ASSERT_EQ(status(start(3, 0, 1000, 16)), 0);  // a window that holds the whole image
    for (std::uint32_t b = 11; b-- > 0;)  // backwards: all but the last go past a gap
        block(b);
    auto reply = commit();
    ASSERT_EQ(status(reply), 0);
    EXPECT_EQ(reply.u32(wire::TagRestartMs), 200u);
    EXPECT_EQ(last_.restartMs, 200);
    EXPECT_EQ(ctl_.state.portOsRevision, "4.1");
    EXPECT_EQ(ctl_.state.lastUpgradeTransferId, kTransfer);  // the verdict goes with the revision
    EXPECT_EQ(ctl_.state.upgradesApplied, 1);

    // Its reply was lost; asked again after the restart: Ok, no second switch, no second restart.
    reply = commit();
    EXPECT_EQ(status(reply), 0);
    EXPECT_EQ(reply.u32(wire::TagRestartMs), 0u);
    EXPECT_EQ(last_.restartMs, -1);
    EXPECT_FALSE(last_.changed);
    EXPECT_EQ(ctl_.state.upgradesApplied, 1);

    // Another client asking for that transfer has nothing to commit.
    reply = commit(kOtherClient);
    EXPECT_EQ(status(reply), std::uint8_t(wire::Status::Invalid));
    EXPECT_EQ(reply.u16(wire::TagBadField), wire::TagTransferId);
}

TEST_F(ControllerSide, AnImageThatDoesNotMatchTheAnnouncedHashIsRefused) {
    ASSERT_EQ(status(start()), 0);
    image_[5000] ^= 1;  // what travels differs from what was announced
    for (std::uint32_t b = 0; b < 11; ++b)
        block(b);
    const auto reply = commit();
    EXPECT_EQ(status(reply), std::uint8_t(wire::Status::Invalid));
    EXPECT_EQ(reply.u16(wire::TagBadField), wire::TagImageHash);
    EXPECT_EQ(ctl_.state.portOsRevision, "2.11");
}

TEST_F(ControllerSide, AnAbortForgetsTheTransfer) {
    ASSERT_EQ(status(start()), 0);
    block(0);
    wire::Message abort;
    abort.type = wire::MsgType::UpgradeAbort;
    abort.addU32(wire::TagTransferId, kTransfer);
    EXPECT_EQ(send(abort).type, wire::MsgType(0));  // no reply
    EXPECT_FALSE(last_.log.empty());
    EXPECT_EQ(block(1, true).type, wire::MsgType(0));
    EXPECT_EQ(status(commit()), std::uint8_t(wire::Status::Invalid));
    EXPECT_EQ(ctl_.state.portOsRevision, "2.11");
}

TEST_F(ControllerSide, RandomUpgradeDatagramsNeverSwitchOrCrash) {
    std::mt19937 rng(5);
    for (int i = 0; i < 20000; ++i) {
        wire::Message m;
        m.type = wire::MsgType(0x10 + rng() % 4);
        if (rng() % 2)
            m.addU32(wire::TagTransferId, rng() % 3);
        if (rng() % 2)
            m.addU32(wire::TagImageLength, rng() % 3 ? rng() % 5000 : rng());
        if (rng() % 2)
            m.addU16(wire::TagPortOsType, std::uint16_t(rng() % 2 ? 3 : rng()));
        if (rng() % 2)
            m.add(wire::TagPortOsRevision, std::string(rng() % 40, 'r'));
        if (rng() % 2)
            m.add(wire::TagImageHash, std::string(rng() % 2 ? 32 : rng() % 40, 'h'));
        if (rng() % 2)
            m.addU16(wire::TagBlockSize, std::uint16_t(rng()));
        if (rng() % 2)
            m.addU16(wire::TagWindowSize, std::uint16_t(rng()));
        if (rng() % 2)
            m.addU32(wire::TagBlockNo, rng() % 2 ? rng() % 8 : rng());
        if (rng() % 2)
            m.add(wire::TagBlockData, std::string(rng() % 1500, 'd'));
        send(m);
    }
    EXPECT_EQ(ctl_.state.portOsRevision, "2.11");  // no hash of 'h' bytes matches an image
    EXPECT_EQ(ctl_.state.upgradesApplied, 0);
}
