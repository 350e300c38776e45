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
        timing.roundBegins(last, spreadMs);
        timing.roundSent(last);
    }
    return last;
}

// A round sent at once at `at`.
void sendRound(SearchTiming& timing, SearchTiming::Clock::time_point at, int spreadMs) {
    timing.roundBegins(at, spreadMs);
    timing.roundSent(at);
}

// `count` answers of older controllers to the first round: about `roundTripMs` plus each
// controller's wait in [0, 100], which they do not tell.
void answerFirstRound(SearchTiming& timing, int count, int roundTripMs) {
    for (int i = 0; i < count; ++i) {
        const milliseconds sample(roundTripMs + (i * 37) % 101);
        timing.answer({i, true, t0 + sample, sample, true, std::nullopt});
    }
}

// `count` answers to round `round` (sent at `asked`) that tell their round and wait: each
// `roundTripMs` plus up to `jitterMs` on the way, after a wait in [0, spreadMs]. `before`: the
// first `before` of them answered before.
void answerTelling(SearchTiming& timing, int first, int count, int round, SearchTiming::Clock::time_point asked,
                   int spreadMs, int roundTripMs, int jitterMs = 0, int before = 0) {
    for (int i = first; i < first + count; ++i) {
        const int waitMs = spreadMs ? (i * 37) % (spreadMs + 1) : 0;
        const auto at = asked + milliseconds(waitMs + roundTripMs + (jitterMs ? (i * 13) % (jitterMs + 1) : 0));
        timing.answer({i, i >= first + before, at, at - t0, true, SearchTiming::Told{round, waitMs}});
    }
}
}  // namespace

TEST(SearchTiming, NobodyAnswersEndsAfterTheFirstAnswerWaitWithGrowingGaps) {
    SearchTiming timing(defaults);
    sendRound(timing, t0, 100);
    auto at = t0;
    std::vector<milliseconds> gaps;
    while (timing.nextRound() < timing.end()) {
        const auto next = timing.nextRound();
        gaps.push_back(std::chrono::duration_cast<milliseconds>(next - at));
        at = next;
        sendRound(timing, at, 25);
    }
    // The first gap waits out the first answer spread.
    EXPECT_EQ(gaps, (std::vector<milliseconds>{milliseconds(100), milliseconds(50), milliseconds(100),
                                                milliseconds(200), milliseconds(400)}));
    EXPECT_EQ(timing.end(), t0 + milliseconds(1000));
}

TEST(SearchTiming, ShortRoundTripsWithoutLossEndTheSearchSoonAfterTheFirstSpread) {
    SearchTiming timing(defaults);
    sendRound(timing, t0, 100);
    answerFirstRound(timing, 1000, 1);  // loopback
    // The second round once the answers to the first are due, the later ones as soon as theirs could be in.
    const auto second = timing.nextRound();
    EXPECT_GT(second, t0 + milliseconds(100));
    EXPECT_LT(second, t0 + milliseconds(130));
    sendRound(timing, second, 5);
    EXPECT_LT(timing.nextRound(), second + milliseconds(30));
    const auto last = sendDueRounds(timing, 1);
    EXPECT_EQ(timing.roundsSent(), SearchTiming::kMinRounds);
    EXPECT_GT(timing.end(), last + milliseconds(1));
    EXPECT_LT(timing.end(), t0 + milliseconds(200));
}

TEST(SearchTiming, LossSeenCallsForMoreRounds) {
    SearchTiming timing(defaults);
    sendRound(timing, t0, 100);
    answerFirstRound(timing, 810, 1);
    const auto second = timing.nextRound();
    sendRound(timing, second, 25);
    EXPECT_EQ(timing.roundsNeeded(), SearchTiming::kMinRounds);
    for (int i = 0; i < 190; ++i)  // one in five exchanges failed: found by the second round
        timing.answer({810 + i, true, second + milliseconds(20), second + milliseconds(20) - t0, true, std::nullopt});
    EXPECT_EQ(timing.roundsNeeded(), defaults.maxRounds);
    sendDueRounds(timing, 1);
    EXPECT_EQ(timing.roundsSent(), defaults.maxRounds);
}

TEST(SearchTiming, LongRoundTripsKeepTheSearchOpenForTheAnswersToItsLastRound) {
    SearchTiming timing(defaults);
    sendRound(timing, t0, 100);
    sendRound(timing, timing.nextRound(), 25);  // at 100 ms, before the first answer
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
    sendRound(timing, t0, 100);
    timing.answer({0, true, t0 + milliseconds(430), milliseconds(430), true, std::nullopt});  // one controller: its round trip is at most that
    const auto last = sendDueRounds(timing, 25);
    EXPECT_GE(timing.end(), last + milliseconds(25 + 430));
}

TEST(SearchTiming, LaterRoundsAskForShorterSpreads) {
    SearchTiming timing(defaults);
    sendRound(timing, t0, 100);
    EXPECT_EQ(timing.nextSpreadMs(1.0), 25);    // a broadcast target: who is still unheard is not known
    EXPECT_EQ(timing.nextSpreadMs(0.006), 1);   // 6 of 1,000 addresses: no denser than the first round
    sendRound(timing, t0 + milliseconds(120), 25);
    EXPECT_EQ(timing.nextSpreadMs(1.0), 12);
}

TEST(SearchTiming, ALaterRoundAsksForNoMoreSpreadThanTheAnswersToldCallFor) {
    SearchTiming quiet(defaults);  // 1,000 answers to the first round: nothing was lost
    sendRound(quiet, t0, 100);
    answerTelling(quiet, 0, 1000, 1, t0, 100, 1);
    EXPECT_EQ(quiet.nextSpreadMs(1.0), 2);

    SearchTiming lossy(defaults);  // a fifth heard only in the second round: its answers need room
    sendRound(lossy, t0, 100);
    answerTelling(lossy, 0, 800, 1, t0, 100, 1);
    sendRound(lossy, t0 + milliseconds(110), 25);
    answerTelling(lossy, 800, 200, 2, t0 + milliseconds(110), 25, 1);
    EXPECT_EQ(lossy.nextSpreadMs(1.0), 12);
}

TEST(SearchTiming, AnswersThatTellTheirTimingEndTheSearchOnceTheAnswersToTwoRoundsAreDue) {
    SearchTiming timing(defaults);
    sendRound(timing, t0, 100);
    answerTelling(timing, 0, 1000, 1, t0, 100, 2, 6);  // loopback: 2 to 8 ms there and back
    EXPECT_TRUE(timing.allTold());
    EXPECT_EQ(timing.roundsNeeded(), SearchTiming::kMinRoundsTold);  // no loss: two rounds make a miss unlikely
    // The second round once the first answers are due: the spread, the longest round trip and a little.
    const auto second = timing.nextRound();
    EXPECT_GE(second, t0 + milliseconds(100 + 8));
    EXPECT_LE(second, t0 + milliseconds(100 + 8 + 3));
    sendRound(timing, second, 1);
    EXPECT_EQ(timing.nextRound(), SearchTiming::Clock::time_point::max());
    EXPECT_GE(timing.end(), second + milliseconds(1 + 8));
    EXPECT_LE(timing.end(), second + milliseconds(1 + 8 + 3));
}

TEST(SearchTiming, OnASlowLinkTheTimingToldTellsLossFromDelayAndTheSearchEndsAfterTheRoundsItNeeds) {
    SearchTiming timing(defaults);
    sendRound(timing, t0, 100);
    // Nobody answers before 400 ms: the rounds go out blind.
    std::vector<SearchTiming::Clock::time_point> rounds{t0};
    while (timing.nextRound() < t0 + milliseconds(400)) {
        rounds.push_back(timing.nextRound());
        sendRound(timing, rounds.back(), 25);
    }
    ASSERT_GE(rounds.size(), 3u);
    // Every controller answers the first round, 400 to 450 ms there and back; a few answers to
    // the second round, sent before the first arrived, overtake them on the way.
    answerTelling(timing, 0, 40, 2, rounds[1], 25, 400, 20);
    answerTelling(timing, 0, 1000, 1, t0, 100, 400, 50, 40);
    EXPECT_EQ(timing.roundsNeeded(), SearchTiming::kMinRoundsTold);  // no loss, only delay
    EXPECT_EQ(timing.nextRound(), SearchTiming::Clock::time_point::max());
    // The search waits for the answers to the first two rounds, not to the blind ones after them.
    EXPECT_GE(timing.end(), rounds[1] + milliseconds(25 + 450));
    EXPECT_LT(timing.end(), rounds[1] + milliseconds(25 + 450 + 30));
}

TEST(SearchTiming, ControllersHeardOnlyInALaterRoundAreTheLossAndCallForMoreRounds) {
    SearchTiming timing(defaults);
    sendRound(timing, t0, 100);
    answerTelling(timing, 0, 810, 1, t0, 100, 2);
    const auto second = timing.nextRound();
    sendRound(timing, second, 25);
    answerTelling(timing, 810, 190, 2, second, 25, 2);  // one in five exchanges failed
    EXPECT_EQ(timing.roundsNeeded(), defaults.maxRounds);
    sendDueRounds(timing, 1);
    EXPECT_EQ(timing.roundsSent(), defaults.maxRounds);
}

TEST(SearchTiming, OneOlderControllerThatTellsNothingMakesTheSearchEstimateAgain) {
    SearchTiming timing(defaults);
    sendRound(timing, t0, 100);
    answerTelling(timing, 0, 999, 1, t0, 100, 2);
    const auto second = timing.nextRound();
    sendRound(timing, second, 1);
    EXPECT_EQ(timing.roundsNeeded(), SearchTiming::kMinRoundsTold);
    timing.answer({999, true, second + milliseconds(3), second + milliseconds(3) - t0, true, std::nullopt});
    EXPECT_FALSE(timing.allTold());
    EXPECT_EQ(timing.roundsNeeded(), SearchTiming::kMinRounds);
    // A round number no round of this search had is not believed either.
    SearchTiming other(defaults);
    sendRound(other, t0, 100);
    other.answer({0, true, t0 + milliseconds(5), milliseconds(5), true, SearchTiming::Told{7, 0}});
    EXPECT_FALSE(other.allTold());
}

TEST(SearchTiming, RoundTripsLengthenedByTheFirstRoundsOwnBurstAreNotWaitedForAgainInTheSecond) {
    SearchTiming timing(defaults);
    sendRound(timing, t0, 100);
    // The controllers asked first answer within 3 ms of their wait; those asked later in the long
    // burst of the first round met a queue of its requests, up to 80 ms more.
    for (int i = 0; i < 1000; ++i) {
        const int waitMs = (i * 37) % 101;
        const auto asked = t0 + milliseconds(i / 50);
        const auto at = asked + milliseconds(waitMs + 3 + (i < 64 ? 0 : i * 80 / 1000));
        timing.answer({i, true, at, at - asked, i < 64, SearchTiming::Told{1, waitMs}});
    }
    // The second round waits for the first round's answers, the slow ones too ...
    const auto second = timing.nextRound();
    EXPECT_GE(second, t0 + milliseconds(100 + 80));
    sendRound(timing, second, 1);
    // ... and for its own as long as a request that met no queue takes.
    EXPECT_GE(timing.end(), second + milliseconds(1 + 3));
    EXPECT_LT(timing.end(), second + milliseconds(1 + 3 + 5));
}
