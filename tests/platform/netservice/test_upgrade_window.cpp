// The sender's window of a port OS transfer, without sockets: what goes next,
// what is lost, what a new session sends again.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/netservice/upgrade/upgrade_window.h"

using namespace zelmar::net;
using Clock = UpgradeWindow::Clock;

namespace {

const wire::Ethernet kController{0x00, 0x1A, 0x4C, 0x55, 0x00, 0x01};
const std::uint32_t kTransfer = 77;
const Clock::time_point t0{std::chrono::seconds(100)};

// What the window lets out now, as (block, again, askAck); each send gets request id 100 + block.
std::vector<std::tuple<std::uint32_t, bool, bool>> sendAll(UpgradeWindow& window, Clock::time_point at = t0) {
    std::vector<std::tuple<std::uint32_t, bool, bool>> out;
    while (const auto s = window.next()) {
        window.sent(s->block, 100 + s->block, at);
        out.emplace_back(s->block, s->again, s->askAck);
    }
    return out;
}

// An acknowledgement answering request `requestId`: `next` is the first block missing,
// `map` the bits of the blocks after it that arrived.
wire::Message ack(std::uint32_t requestId, std::uint32_t next, std::uint8_t map = 0,
                  std::uint32_t transfer = kTransfer, const wire::Ethernet& from = kController) {
    wire::Message m;
    m.type = wire::MsgType::UpgradeAck;
    m.requestId = requestId;
    m.addU32(wire::TagTransferId, transfer);
    m.addEthernet(wire::TagEthernet, from);
    m.addU32(wire::TagNextBlock, next);
    if (map)
        m.add(wire::TagReceivedMap, std::string(1, char(map)));
    return m;
}

using Sends = std::vector<std::tuple<std::uint32_t, bool, bool>>;

}  // namespace

TEST(UpgradeWindow, AWindowOfNewBlocksGoesOutAndItsLastAsksForAnAcknowledgement) {
    UpgradeWindow window(10, 4);
    EXPECT_EQ(sendAll(window), (Sends{{0, false, false}, {1, false, false}, {2, false, false}, {3, false, true}}));
    EXPECT_EQ(window.percentAcknowledged(), 0);
    EXPECT_FALSE(window.complete());
}

TEST(UpgradeWindow, ABlockMissingBeforeALaterArrivalGoesAgainFirstThenTheWindowMoves) {
    UpgradeWindow window(10, 4);
    sendAll(window);
    // The answer to block 3: block 0 arrived, 1 is missing, 2 and 3 arrived.
    const auto taken = window.take(ack(103, 1, 0b1100'0000), kController, kTransfer, t0 + std::chrono::milliseconds(8));
    ASSERT_TRUE(taken);
    EXPECT_TRUE(taken->progress);
    ASSERT_TRUE(taken->roundTripMs);
    EXPECT_DOUBLE_EQ(*taken->roundTripMs, 8.0);
    EXPECT_EQ(window.percentAcknowledged(), 10);
    // The block sent again asks for an answer at once: a window full behind it waits for no timer.
    EXPECT_EQ(sendAll(window), (Sends{{1, true, true}, {4, false, true}}));
}

TEST(UpgradeWindow, AcknowledgementsThatAreNotOursChangeNothing) {
    UpgradeWindow window(10, 4);
    sendAll(window);
    const wire::Ethernet other{0x00, 0x1A, 0x4C, 0x55, 0x00, 0x02};
    EXPECT_FALSE(window.take(ack(103, 2, 0, kTransfer + 1), kController, kTransfer, t0));  // another transfer
    EXPECT_FALSE(window.take(ack(103, 2, 0, kTransfer, other), kController, kTransfer, t0));  // another controller
    EXPECT_FALSE(window.take(ack(103, 5), kController, kTransfer, t0));  // more than was sent
    EXPECT_EQ(window.percentAcknowledged(), 0);
    EXPECT_EQ(window.probe(), 0u);
}

TEST(UpgradeWindow, NothingHeardProbesTheFirstBlockNotAcknowledged) {
    UpgradeWindow window(4, 4);
    sendAll(window);
    // An answer to no request it knows: no round trip, and nothing taken for lost.
    const auto taken = window.take(ack(999, 2), kController, kTransfer, t0);
    ASSERT_TRUE(taken);
    EXPECT_FALSE(taken->roundTripMs);
    EXPECT_EQ(window.probe(), 2u);
    EXPECT_EQ(sendAll(window), Sends{});
    ASSERT_TRUE(window.take(ack(103, 4), kController, kTransfer, t0));
    EXPECT_EQ(window.probe(), std::nullopt);
    EXPECT_TRUE(window.complete());
    EXPECT_EQ(window.percentAcknowledged(), 100);
}

TEST(UpgradeWindow, ANewSessionSendsEveryUnacknowledgedBlockAgain) {
    UpgradeWindow window(10, 4);
    sendAll(window);
    ASSERT_TRUE(window.take(ack(999, 1), kController, kTransfer, t0));
    EXPECT_TRUE(window.sentInThisSession(102));
    EXPECT_FALSE(window.sentInThisSession(999));
    window.newSession();
    EXPECT_FALSE(window.sentInThisSession(102));  // its Stale answer belongs to the old session
    EXPECT_EQ(sendAll(window), (Sends{{1, true, false}, {2, true, false}, {3, true, true}, {4, false, true}}));
    EXPECT_TRUE(window.sentInThisSession(102));
}

TEST(UpgradeWindow, TheWindowReachesFartherAsBlocksAreAcknowledgedAndHalfAsFarAfterATimeout) {
    UpgradeWindow window(1000, 64);
    EXPECT_EQ(sendAll(window).size(), UpgradeWindow::kFirstReach);  // no burst of a whole window at first
    ASSERT_TRUE(window.take(ack(115, 16), kController, kTransfer, t0));
    EXPECT_EQ(sendAll(window).size(), 32u);  // one more for every block acknowledged
    ASSERT_TRUE(window.take(ack(147, 48), kController, kTransfer, t0));
    EXPECT_EQ(sendAll(window).size(), 64u);  // up to the controller's window
    window.timedOut();
    // Half as far now: the thirteen blocks acknowledged let none of the next go out yet.
    ASSERT_TRUE(window.take(ack(160, 61), kController, kTransfer, t0));
    EXPECT_EQ(sendAll(window), Sends{});
}

TEST(UpgradeWindow, WhileLostBlocksAreRepairedEveryFewBlocksAskForAnAnswer) {
    UpgradeWindow window(200, 64);
    sendAll(window);
    ASSERT_TRUE(window.take(ack(115, 16), kController, kTransfer, t0));
    auto sends = sendAll(window);
    ASSERT_EQ(sends.size(), 32u);
    EXPECT_EQ(std::count_if(sends.begin(), sends.end(), [](const auto& s) { return std::get<2>(s); }), 1);
    // The answer to block 47: block 20 is missing, 21 to 28 arrived.
    ASSERT_TRUE(window.take(ack(147, 20, 0xFF), kController, kTransfer, t0));
    // Block 20 goes again and asks, and while it is being repaired every eighth new block asks
    // too: one lost answer does not leave the sender to its timer.
    sends = sendAll(window);
    ASSERT_EQ(sends.size(), 17u);
    EXPECT_EQ(sends.front(), std::make_tuple(20u, true, true));
    EXPECT_EQ(sends[UpgradeWindow::kAskEveryWhileRepairing], std::make_tuple(55u, false, true));
    EXPECT_EQ(sends.back(), std::make_tuple(63u, false, true));
    EXPECT_EQ(std::count_if(sends.begin(), sends.end(), [](const auto& s) { return std::get<2>(s); }), 3);
}
