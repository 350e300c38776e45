// Where a search stands, without sockets: who is still asked, which answers
// are new, when it is over; and the gaps between the rounds of a lookup.
#include <gtest/gtest.h>

#include "platform/netservice/search/search_progress.h"

using namespace zelmar::net;
using std::chrono::milliseconds;

namespace {
const SearchProgress::Clock::time_point t0{std::chrono::seconds(100)};
}  // namespace

TEST(SearchProgress, AnAddressThatAnsweredIsLeftOutAndTheSearchEndsWhenEveryAddressHas) {
    const std::vector<std::uint32_t> destinations{1, 2, 3};
    SearchProgress progress(destinations, std::nullopt, true, t0);
    EXPECT_TRUE(progress.answered(2, 0, "10-00001", t0).newController);
    EXPECT_FALSE(progress.asks(2));
    EXPECT_TRUE(progress.asks(1));
    EXPECT_DOUBLE_EQ(progress.stillAskedShare(), 2.0 / 3.0);
    EXPECT_FALSE(progress.answered(2, 0, "10-00001", t0).newController);  // a repeated answer
    // An answer from an address never asked (to a broadcast) is new but leaves the share alone.
    EXPECT_TRUE(progress.answered(9, 1, "10-00002", t0).newController);
    EXPECT_DOUBLE_EQ(progress.stillAskedShare(), 2.0 / 3.0);
    progress.answered(1, 2, "10-00003", t0);
    EXPECT_FALSE(progress.done());
    progress.answered(3, 3, "10-00004", t0);
    EXPECT_TRUE(progress.done());
}

TEST(SearchProgress, ALookupEndsOnTheControllerItLooksForInAnySpelling) {
    const std::vector<std::uint32_t> destinations{1, 2};
    SearchProgress progress(destinations, "10-00042", false, t0);
    progress.answered(1, 0, "10-00041", t0);
    progress.answered(2, 1, "10-00043", t0);
    EXPECT_FALSE(progress.done());  // every address answered, but not the one looked for
    progress.answered(2, 2, " 10-42", t0);
    EXPECT_TRUE(progress.done());
}

TEST(SearchProgress, RoundTripsCountFromWhenTheAddressWasFirstAsked) {
    const std::vector<std::uint32_t> destinations{10, 20};
    SearchProgress untimed(destinations, std::nullopt, true, t0);
    EXPECT_FALSE(untimed.answered(10, 0, "10-00001", t0 + milliseconds(9)).sinceFirstAsked);

    SearchProgress timed(destinations, std::nullopt, true, t0);
    timed.timeRoundTrips();
    timed.firstAsked(1, t0 + milliseconds(5));
    EXPECT_EQ(timed.answered(20, 0, "10-00001", t0 + milliseconds(25)).sinceFirstAsked, milliseconds(20));
    // A broadcast's answer was asked when the search began.
    EXPECT_EQ(timed.answered(30, 1, "10-00002", t0 + milliseconds(40)).sinceFirstAsked, milliseconds(40));
    const auto repeated = timed.answered(20, 0, "10-00001", t0 + milliseconds(50));
    EXPECT_FALSE(repeated.newController);
    EXPECT_EQ(repeated.sinceFirstAsked, milliseconds(45));  // a repeated answer is timed too
}

TEST(LookupRounds, GapsDoubleUpToEightTimesTheFirstAndAreNeverShorterThanTwoSendTimes) {
    LookupRounds rounds(50, t0);
    EXPECT_TRUE(rounds.due(t0));
    auto at = t0;
    for (int gapMs : {50, 100, 200, 400, 400}) {
        rounds.roundSent(at, at + milliseconds(1));
        EXPECT_EQ(rounds.next(), at + milliseconds(1 + gapMs));
        EXPECT_FALSE(rounds.due(rounds.next() - milliseconds(1)));
        at = rounds.next();
    }
    rounds.roundSent(at, at + milliseconds(300));  // a long list took 300 ms to ask
    EXPECT_EQ(rounds.next(), at + milliseconds(300 + 600));
}
