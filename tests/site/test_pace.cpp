// The adaptive pace on its own, fed as the workers feed it, on links played
// in the test's own time: one that answers in time, one that loses answers
// now and then, one that fills up, one that slows down for good.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

#include "site/pace.h"

using namespace zelmar;
using site::Pace;

namespace {
constexpr double kSlackMs = 50;  // the service's retransmission interval

// A link in the test's own time: a task takes `ms(tasks on the way with it)`.
struct Link {
    std::function<double(int onTheWay, std::mt19937& rng)> ms;
    std::function<bool(std::mt19937& rng)> unanswered = [](std::mt19937&) { return false; };
};

struct Played {
    std::vector<int> windows;  // the window after each task's end
    std::vector<double> times;  // when each ended
    int mostOnTheWay = 0;
};

// Runs `tasks` tasks over `link`, starting each as soon as the pace lets one more in.
Played play(Pace& pace, const Link& link, int tasks, unsigned seed = 1) {
    struct Going {
        double end;
        Pace::Sample sample;
    };
    std::mt19937 rng(seed);
    std::vector<Going> going;
    Played p;
    double now = 0;
    int started = 0;
    while (started < tasks || !going.empty()) {
        while (started < tasks && int(going.size()) < pace.window()) {
            Pace::Sample s;
            s.epoch = pace.epoch();
            s.ms = link.ms(int(going.size()) + 1, rng);
            s.unanswered = link.unanswered(rng);
            going.push_back({now + s.ms, s});
            ++started;
            p.mostOnTheWay = std::max(p.mostOnTheWay, int(going.size()));
        }
        const auto first = std::min_element(going.begin(), going.end(),
                                             [](const Going& a, const Going& b) { return a.end < b.end; });
        now = first->end;
        pace.ended(first->sample);
        going.erase(first);
        p.windows.push_back(pace.window());
        p.times.push_back(now);
    }
    return p;
}

double averageOfLastHalf(const std::vector<int>& windows) {
    double sum = 0;
    for (std::size_t i = windows.size() / 2; i < windows.size(); ++i)
        sum += windows[i];
    return sum / double(windows.size() - windows.size() / 2);
}

// One exchange with loss `p` each way: a lost request or answer goes again after 50 ms, then 100, 200, ...
double exchangeMs(double p, double roundTripMs, std::mt19937& rng) {
    std::bernoulli_distribution through((1 - p) * (1 - p));
    double ms = roundTripMs, wait = kSlackMs;
    while (!through(rng)) {
        ms += wait;
        wait = std::min(wait * 2, 1000.0);
    }
    return ms;
}
}  // namespace

// As a congestion window's slow start: each task in time lets one more in,
// so the window at most doubles in the time a task takes.
TEST(Pace, StartsSmallDoublesWhileAnswersComeInTimeAndNeverPassesItsBound) {
    Pace pace({2, 32}, kSlackMs);
    EXPECT_EQ(pace.window(), 2);
    const Played p = play(pace, {[](int, std::mt19937&) { return 10.0; }}, 400);
    for (std::size_t i = 0, before = 0; i < p.windows.size(); ++i) {
        while (p.times[before + 1] <= p.times[i] - 10)  // the last end one task's time earlier
            ++before;
        const int then = p.times[before] <= p.times[i] - 10 ? p.windows[before] : 2;
        EXPECT_LE(p.windows[i], 2 * then) << "more than doubled in the time a task takes";
    }
    EXPECT_TRUE(std::is_sorted(p.windows.begin(), p.windows.end()));
    EXPECT_EQ(p.windows[40], 32) << "slow to grow";
    EXPECT_LE(p.mostOnTheWay, 32);
    EXPECT_EQ(pace.window(), 32);
}

TEST(Pace, AFixedPaceNeverChanges) {
    Pace pace = Pace::fixed(4);
    const Played p = play(pace, {[](int onTheWay, std::mt19937&) { return 10.0 * onTheWay * onTheWay; },
                                 [](std::mt19937& rng) { return std::bernoulli_distribution(0.3)(rng); }},
                          200);
    EXPECT_TRUE(std::all_of(p.windows.begin(), p.windows.end(), [](int w) { return w == 4; }));
    EXPECT_EQ(p.mostOnTheWay, 4);
}

// A datagram lost now and then costs a task a retransmission wait: most tasks
// still take one round trip, so the median stays and the pace goes on growing.
TEST(Pace, LossThatRetransmissionsRecoverDoesNotHoldItBack) {
    for (double loss : {0.1, 0.2}) {
        SCOPED_TRACE(loss);
        Pace pace({2, 32}, kSlackMs);
        const Played p = play(pace, {[&](int, std::mt19937& rng) { return exchangeMs(loss, 1, rng) + exchangeMs(loss, 1, rng); }},
                              1000);
        EXPECT_GE(averageOfLastHalf(p.windows), 24);
        EXPECT_LE(p.mostOnTheWay, 32);
    }
    // On a link with 200 ms of delay, where every task takes 200 ms and more: the same.
    Pace pace({2, 32}, kSlackMs);
    const Played p = play(pace, {[&](int, std::mt19937& rng) { return exchangeMs(0.1, 200, rng); }}, 1000);
    EXPECT_GE(averageOfLastHalf(p.windows), 24);
}

// A link that carries 8 tasks' data at once: more queue up behind them and
// every task takes longer. The pace stops growing there and shrinks again,
// rather than pushing on to its bound.
TEST(Pace, ShrinksWhenTheLinkFillsUpAndStaysNearWhatItCarries) {
    Pace pace({2, 32}, kSlackMs);
    const Link full{[](int onTheWay, std::mt19937&) { return 200.0 * std::max(1.0, onTheWay / 8.0); }};
    const Played p = play(pace, full, 2000);
    const double average = averageOfLastHalf(p.windows);
    EXPECT_GE(average, 6);
    EXPECT_LE(average, 22) << "the queue grew to more than twice what the link carries";
    const auto firstAtMost = std::find(p.windows.begin(), p.windows.end(), *std::max_element(p.windows.begin(), p.windows.end()));
    EXPECT_LT(*std::min_element(firstAtMost, p.windows.end()), *firstAtMost) << "it never shrank";
}

// Every task in time lets one more in: `count` of them take the window that far.
void inTime(Pace& pace, int count, double ms = 10) {
    for (int i = 0; i < count; ++i)
        pace.ended({pace.epoch(), ms, 1, false, false});
}

TEST(Pace, ATaskWithoutAnswerHalvesTheWindowOnceForWhatWasOnTheWayTogether) {
    Pace pace({2, 32}, kSlackMs);
    inTime(pace, 6);
    ASSERT_EQ(pace.window(), 8);
    const std::uint64_t before = pace.epoch();
    pace.ended({before, 2000, 1, false, true});
    EXPECT_EQ(pace.window(), 4);
    pace.ended({before, 2000, 1, false, true});  // started with the first: no second cut
    EXPECT_EQ(pace.window(), 4);
    pace.ended({pace.epoch(), 2000, 1, false, true});  // started after the cut
    EXPECT_EQ(pace.window(), 2);
    for (int i = 0; i < 5; ++i)
        pace.ended({pace.epoch(), 2000, 1, false, true});
    EXPECT_EQ(pace.window(), 2) << "never below where it started";
    inTime(pace, 2);
    EXPECT_EQ(pace.window(), 3) << "past its last cut, one more for each window's worth in time";
    inTime(pace, 3);
    EXPECT_EQ(pace.window(), 4);

    // A link that loses requests for good often keeps the pace low.
    Pace lossy({2, 32}, kSlackMs);
    const Played p = play(lossy, {[](int, std::mt19937&) { return 300.0; },
                                  [](std::mt19937& rng) { return std::bernoulli_distribution(0.1)(rng); }},
                          1000);
    EXPECT_LE(averageOfLastHalf(p.windows), 8);
}

TEST(Pace, TasksThatSentNothingOrStartedBeforeTheLastCutAreNotJudged) {
    Pace pace({2, 32}, kSlackMs);
    inTime(pace, 4);
    const std::uint64_t beforeCut = pace.epoch();
    pace.ended({beforeCut, 2000, 1, false, true});
    ASSERT_EQ(pace.window(), 3);
    for (int i = 0; i < 8; ++i) {
        pace.ended({pace.epoch(), 5000, 1, true, false});  // a row already as planned that took long for other reasons
        pace.ended({beforeCut, 5000, 1, false, false});    // started while the window was 6
    }
    EXPECT_EQ(pace.window(), 3);
    for (int i = 0; i < 4; ++i)
        pace.ended({pace.epoch(), 5000, 1, false, false});
    EXPECT_EQ(pace.window(), 2) << "a late round shrinks it";
}

// A transfer four times as large takes four times as long: that is not late.
TEST(Pace, ATaskIsJudgedByTheWorkItCarried) {
    Pace pace({4, 32}, 5);
    for (int i = 0; i < 4; ++i)
        pace.ended({pace.epoch(), 300, 1, false, false});
    ASSERT_EQ(pace.window(), 8);
    for (int i = 0; i < 8; ++i)
        pace.ended({pace.epoch(), 1200, 4, false, false});
    EXPECT_EQ(pace.window(), 16);
    for (int i = 0; i < 16; ++i)
        pace.ended({pace.epoch(), 1200, 1, false, false});
    EXPECT_EQ(pace.window(), 12) << "the same time for a quarter of the work is late";
}

// The link became slower for good (a longer path): the pace shrinks to one
// task, which queues behind nothing of ours, takes its time as the new base and
// grows again.
TEST(Pace, ALinkSlowerForGoodIsLearntAgain) {
    Pace pace({2, 32}, kSlackMs);
    play(pace, {[](int, std::mt19937&) { return 5.0; }}, 200);
    ASSERT_EQ(pace.window(), 32);
    const Played p = play(pace, {[](int, std::mt19937&) { return 400.0; }}, 2000);
    EXPECT_LT(*std::min_element(p.windows.begin(), p.windows.end()), 32) << "it did not see the change";
    EXPECT_EQ(p.windows.back(), 32);
}
