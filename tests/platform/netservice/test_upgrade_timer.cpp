// The clocks of a port OS transfer, without sockets: the retransmission time
// from the round trips, probes backing off, the stall and whole-transfer bounds.
#include <gtest/gtest.h>

#include "platform/netservice/upgrade/upgrade_timer.h"

using zelmar::net::UpgradeTimer;
using std::chrono::milliseconds;

namespace {
const UpgradeTimer::Clock::time_point t0{std::chrono::seconds(100)};
const UpgradeTimer::Settings settings{50, 3000, 10000};
}  // namespace

TEST(UpgradeTimer, TheRetransmissionTimeFollowsTheRoundTripsAndTheirVariationWithinItsBounds) {
    UpgradeTimer timer(settings, t0, t0);
    EXPECT_EQ(timer.retransmitMs(), 50);  // no round trip seen yet
    EXPECT_FALSE(timer.probeDue(t0 + milliseconds(49)));
    EXPECT_TRUE(timer.probeDue(t0 + milliseconds(50)));

    const auto t1 = t0 + milliseconds(10);
    timer.acknowledged(t1, true, 10.0);
    EXPECT_EQ(timer.retransmitMs(), 10 + 4 * 5 + 1);  // the first round trip, half of it as its variation
    EXPECT_EQ(timer.wakeAt(), t1 + milliseconds(31));
    // Steady round trips: the variation fades and the time comes down to the round trip.
    for (int i = 0; i < 30; ++i)
        timer.acknowledged(t1, false, 10.0);
    EXPECT_EQ(timer.retransmitMs(), 12);
    // One round trip far off moves the time more than the round trip alone would.
    timer.acknowledged(t1, false, 50.0);
    EXPECT_NEAR(timer.retransmitMs(), 15 + 4 * 10 + 1, 1);  // what is left of the old variation rounds up

    UpgradeTimer fast(settings, t0, t0);
    fast.acknowledged(t0, true, 0.1);  // loopback: rounded up to a millisecond, and one more
    EXPECT_EQ(fast.retransmitMs(), 2);
    UpgradeTimer slow(settings, t0, t0);
    slow.acknowledged(t0, true, 2000.0);
    EXPECT_EQ(slow.retransmitMs(), UpgradeTimer::kMaxRtoMs);
}

TEST(UpgradeTimer, EachUnansweredProbeDoublesTheWaitUpToOneSecond) {
    UpgradeTimer timer({300, 3000, 10000}, t0, t0);
    timer.probed(t0);
    EXPECT_EQ(timer.retransmitMs(), 600);
    EXPECT_EQ(timer.wakeAt(), t0 + milliseconds(600));
    timer.probed(t0);
    EXPECT_EQ(timer.retransmitMs(), 1000);
    timer.probed(t0);
    EXPECT_EQ(timer.retransmitMs(), 1000);
    EXPECT_EQ(timer.probesUnanswered(), 3);
    timer.acknowledged(t0, false, std::nullopt);  // any answer: the link is not silent
    EXPECT_EQ(timer.probesUnanswered(), 0);
}

TEST(UpgradeTimer, OnlyNewlyAcknowledgedBlocksPutOffTheStallAndTheWholeTransferIsBounded) {
    UpgradeTimer timer(settings, t0, t0);
    timer.acknowledged(t0 + milliseconds(2000), false, std::nullopt);  // a repeated acknowledgement
    EXPECT_EQ(timer.verdict(t0 + milliseconds(3000)), UpgradeTimer::Verdict::Going);
    EXPECT_EQ(timer.verdict(t0 + milliseconds(3001)), UpgradeTimer::Verdict::Stalled);

    // Steady progress: only the bound of the whole transfer ends it.
    auto at = t0;
    for (; at <= t0 + milliseconds(10000); at += milliseconds(1000)) {
        timer.acknowledged(at, true, 5.0);
        EXPECT_EQ(timer.verdict(at), UpgradeTimer::Verdict::Going);
    }
    timer.acknowledged(at, true, 5.0);
    EXPECT_EQ(timer.verdict(at), UpgradeTimer::Verdict::TooLong);
    // A silent controller is looked at again by the stall bound at the latest.
    timer.probed(at);
    EXPECT_LE(timer.wakeAt(), at + milliseconds(3000));
}
