// When a broadcast or network search sends its rounds and ends, from what it has seen.
#include <gtest/gtest.h>

#include "platform/netservice/search/search_timing.h"

using zelmar::net::SearchTiming;
using std::chrono::milliseconds;

namespace {
const SearchTiming::Clock::time_point t0{std::chrono::seconds(100)};
const SearchTiming::Settings defaults{100, 50, 1000, 8};

// Sends every due round until none is due; returns when the last one went.
SearchTiming::Clock::time_point sendDueRounds(SearchTiming& timing, int spreadMs) {
    auto last = t0;
    while (timing.nextRound() != SearchTiming::Clock::time_point::max()) {
        last = timing.nextRound();
        timing.roundSent(last, spreadMs);
    }
    return last;
}

// `count` answers to the first round: about `roundTripMs` plus each controller's wait in [0, 100].
void answerFirstRound(SearchTiming& timing, int count, int roundTripMs) {
    for (int i = 0; i < count; ++i) {
        const milliseconds sample(roundTripMs + (i * 37) % 101);
        timing.newAnswer(t0 + sample, sample);
    }
}
}  // namespace

TEST(SearchTiming, NobodyAnswersEndsAfterTheFirstAnswerWaitWithGrowingGaps) {
    SearchTiming timing(defaults);
    timing.roundSent(t0, 100);
    auto at = t0;
    std::vector<milliseconds> gaps;
    while (timing.nextRound() < timing.end()) {
        const auto next = timing.nextRound();
        gaps.push_back(std::chrono::duration_cast<milliseconds>(next - at));
        at = next;
        timing.roundSent(at, 25);
    }
    // The first gap waits out the first answer spread.
    EXPECT_EQ(gaps, (std::vector<milliseconds>{milliseconds(100), milliseconds(50), milliseconds(100),
                                                milliseconds(200), milliseconds(400)}));
    EXPECT_EQ(timing.end(), t0 + milliseconds(1000));
}

TEST(SearchTiming, ShortRoundTripsWithoutLossEndTheSearchSoonAfterTheFirstSpread) {
    SearchTiming timing(defaults);
    timing.roundSent(t0, 100);
    answerFirstRound(timing, 1000, 1);  // loopback
    // The second round once the answers to the first are due, the later ones as soon as theirs could be in.
    const auto second = timing.nextRound();
    EXPECT_GT(second, t0 + milliseconds(100));
    EXPECT_LT(second, t0 + milliseconds(130));
    timing.roundSent(second, 5);
    EXPECT_LT(timing.nextRound(), second + milliseconds(30));
    const auto last = sendDueRounds(timing, 1);
    EXPECT_EQ(timing.roundsSent(), SearchTiming::kMinRounds);
    EXPECT_GT(timing.end(), last + milliseconds(1));
    EXPECT_LT(timing.end(), t0 + milliseconds(200));
}

TEST(SearchTiming, LossSeenCallsForMoreRounds) {
    SearchTiming timing(defaults);
    timing.roundSent(t0, 100);
    answerFirstRound(timing, 810, 1);
    const auto second = timing.nextRound();
    timing.roundSent(second, 25);
    EXPECT_EQ(timing.roundsNeeded(), SearchTiming::kMinRounds);
    for (int i = 0; i < 190; ++i)  // one in five exchanges failed: found by the second round
        timing.newAnswer(second + milliseconds(20), second + milliseconds(20) - t0);
    EXPECT_EQ(timing.roundsNeeded(), defaults.maxRounds);
    sendDueRounds(timing, 1);
    EXPECT_EQ(timing.roundsSent(), defaults.maxRounds);
}

TEST(SearchTiming, LongRoundTripsKeepTheSearchOpenForTheAnswersToItsLastRound) {
    SearchTiming timing(defaults);
    timing.roundSent(t0, 100);
    timing.roundSent(timing.nextRound(), 25);  // at 100 ms, before the first answer
    answerFirstRound(timing, 20, 400);         // 400 to 450 ms there and back (as over a VPN)
    // Rounds overlap on a slow link: the next one does not wait a whole round trip.
    EXPECT_LE(timing.nextRound(), t0 + milliseconds(150));
    const auto last = sendDueRounds(timing, 25);
    // Too slow to tell lost answers from late ones: every round is asked.
    EXPECT_EQ(timing.roundsSent(), defaults.maxRounds);
    EXPECT_GE(timing.end(), last + milliseconds(25 + 450));
    EXPECT_LT(timing.end(), last + milliseconds(25 + 700));
}

TEST(SearchTiming, OneSlowAnswerIsEnoughToWaitForItsLikes) {
    SearchTiming timing(defaults);
    timing.roundSent(t0, 100);
    timing.newAnswer(t0 + milliseconds(430), milliseconds(430));  // a single controller: its round trip is at most that
    const auto last = sendDueRounds(timing, 25);
    EXPECT_GE(timing.end(), last + milliseconds(25 + 430));
}

TEST(SearchTiming, LaterRoundsAskForShorterSpreads) {
    SearchTiming timing(defaults);
    timing.roundSent(t0, 100);
    EXPECT_EQ(timing.nextSpreadMs(1.0), 25);    // a broadcast target: who is still unheard is not known
    EXPECT_EQ(timing.nextSpreadMs(0.006), 1);   // 6 of 1,000 addresses: no denser than the first round
    timing.roundSent(t0 + milliseconds(120), 25);
    EXPECT_EQ(timing.nextSpreadMs(1.0), 12);
}
