#include "platform/netservice/search/search_timing.h"

#include <algorithm>
#include <cmath>

namespace zelmar::net {

namespace {
constexpr int kMinGapMs = 5;               // rounds never follow closer than this (round trips estimated)
constexpr int kRetransmitSpreadMs = 25;    // the longest answer spread of a later round
constexpr int kLeastSpreadMs = 2;          // the shortest, where the answers told expect next to none
constexpr int kSlackMs = 10;               // scheduling delays on either side, beyond the estimated round trip
constexpr int kToldSlackMs = 2;            // the same beyond round trips the answers told
constexpr int kManyAnswers = 16;           // answers enough to have seen how much the round trips vary
constexpr double kMissedPerSearch = 1e-3;  // the rounds go on until fewer controllers than this stay unheard
constexpr std::size_t kMaxSamples = 4096;  // enough for the median; a large site needs no more

std::chrono::microseconds fromMs(double ms) { return std::chrono::microseconds(static_cast<long long>(ms * 1000)); }
}  // namespace

SearchTiming::SearchTiming(const Settings& settings) : settings_(settings) {}

void SearchTiming::roundBegins(Clock::time_point at, int spreadMs) {
    // The second round tells apart the controllers whose first exchange failed only when it went
    // out after the answers to the first were due (not on a link too slow to know that in time).
    if (rounds_.size() == 1)
        lossMeasurable_ = answered();
    rounds_.push_back({at, at, spreadMs});
}

void SearchTiming::Trips::add(double ms) {
    longestMs = std::max(longestMs, ms);
    shortestMs = std::min(shortestMs, ms);
    ++count;
}

SearchTiming::Clock::duration SearchTiming::Trips::wait() const {
    // Round trips told are the link's own: the longest seen, and room for one longer still, an eighth
    // of the longest. Once many have answered, the longest of them is near the longest there is: no
    // more room than a quarter of how much their round trips vary.
    double roomMs = longestMs / 8;
    if (count >= kManyAnswers)
        roomMs = std::min(roomMs, (longestMs - shortestMs) / 4);
    return fromMs(longestMs + std::max<double>(kToldSlackMs, roomMs));
}

void SearchTiming::answer(const Heard& heard) {
    std::optional<Told> told = heard.told;
    if (told && (told->round < 1 || told->round > roundsSent()))
        told.reset();  // no round of ours
    if (told) {
        // Its round trip: from when its round asked it (the first: its own address) to its answer, less its wait.
        const auto asked =
            told->round == 1 ? heard.at - heard.sinceFirstAsked : rounds_[std::size_t(told->round - 1)].began;
        const double tripMs = std::chrono::duration<double, std::milli>(heard.at - asked).count() - told->waitMs;
        trips_.add(tripMs);
        if (told->round > 1 || heard.askedEarly)
            unqueuedTrips_.add(tripMs);
        // The loss, counted exactly: controllers that answered no round before a later one. On a link
        // whose delays vary more than the rounds are apart, its answer to the first round may come last.
        auto [earliest, firstTold] = firstRoundHeard_.try_emplace(heard.controller, told->round);
        if (firstTold && heard.first) {
            ++heardTold_;
            lateTold_ += told->round > 1;
        } else if (told->round < earliest->second) {
            lateTold_ -= earliest->second > 1 && told->round == 1;
            earliest->second = told->round;
        }
    }
    if (!heard.first)
        return;
    ++heard_;
    if (rounds_.size() >= 2 && heard.at > rounds_[1].at)
        ++heardLate_;  // its first exchange failed (request or answer lost), a later round found it
    if (samplesMs_.size() >= kMaxSamples)
        return;
    const double ms = std::max(0.0, std::chrono::duration<double, std::milli>(heard.sinceFirstAsked).count());
    fastestMs_ = samplesMs_.empty() ? ms : std::min(fastestMs_, ms);
    samplesMs_.push_back(ms);
    // The median moves little once there are many: taken anew when they grew by a sixteenth.
    if (samplesMs_.size() < 64 || samplesMs_.size() >= cachedFrom_ + cachedFrom_ / 16)
        cachedRoundTripMs_ = -1;
}

int SearchTiming::roundsNeeded() const {
    if (allTold()) {
        // One exchange fails with the share of controllers first heard in a later round (counted
        // as if one more of each had been seen); a controller stays unheard after n rounds with
        // that share to the power n.
        const double fails = toldFailShare();
        const double n = std::ceil(std::log(kMissedPerSearch / heardTold_) / std::log(fails));
        return int(std::clamp(n, double(kMinRoundsTold), double(std::max(kMinRoundsTold, settings_.maxRounds))));
    }
    if (!lossMeasurable_)
        return std::max(kMinRounds, settings_.maxRounds);
    // One exchange fails with about the share of late ones (counted as if one more of each had
    // been seen, so that a few answers without loss do not promise too much). A controller stays
    // unheard after n rounds with that share to the power n.
    const double fails = (heardLate_ + 1.0) / (heard_ + 2.0);
    const double n = std::ceil(std::log(kMissedPerSearch / std::max(1, heard_)) / std::log(fails));
    return int(std::clamp(n, double(kMinRounds), double(std::max(kMinRounds, settings_.maxRounds))));
}

double SearchTiming::typicalRoundTripMs() const {
    if (cachedRoundTripMs_ >= 0)
        return cachedRoundTripMs_;
    // A sample is the round trip plus the controller's random wait in [0, first spread]. The
    // fastest sample bounds the round trip from above when few answered; with many, the median
    // less half the spread is the typical round trip (the queues a large first round meets
    // included). The median also keeps out the late answers of controllers whose first request
    // or answer was lost.
    std::vector<double> s = samplesMs_;
    const auto mid = s.begin() + std::ptrdiff_t(s.size() / 2);
    std::nth_element(s.begin(), mid, s.end());
    cachedRoundTripMs_ = std::max(fastestMs_, *mid - settings_.firstSpreadMs / 2.0);
    cachedFrom_ = samplesMs_.size();
    return cachedRoundTripMs_;
}

SearchTiming::Clock::duration SearchTiming::waitFor(double roundTripMs) {
    // A quarter more for the round trips that vary (a slow link's jitter).
    return fromMs(roundTripMs * 1.25 + kSlackMs);
}

SearchTiming::Clock::duration SearchTiming::answerWait(int round) const {
    if (!answered())
        return Clock::duration::zero();
    if (!allTold())
        return waitFor(typicalRoundTripMs());
    // The first round's requests met the queue the search's own burst of them made; a later round
    // asks few, and waits as long as requests that met no such queue took.
    return round > 1 && unqueuedTrips_.count > 0 ? unqueuedTrips_.wait() : trips_.wait();
}

std::size_t SearchTiming::roundsAwaited() const {
    // With the loss known, further rounds only make a miss still less likely: their answers are not waited for.
    return allTold() ? std::min(rounds_.size(), std::size_t(roundsNeeded())) : rounds_.size();
}

double SearchTiming::toldFailShare() const {
    return (lateTold_ + 1.0) / (heardTold_ + 2.0);
}

int SearchTiming::nextSpreadMs(double stillAskedShare) const {
    // Fewer answers are due in each round: half the spread of the one before, and no more than the
    // share of the targets still asked would take at the first round's pace.
    const int halved = std::min(kRetransmitSpreadMs, settings_.firstSpreadMs) >> std::clamp(roundsSent() - 1, 0, 15);
    const double byShare = std::ceil(settings_.firstSpreadMs * std::clamp(stillAskedShare, 0.0, 1.0));
    int spreadMs = std::min(halved, int(byShare));
    if (allTold()) {
        // The answers told show how many the next round can hear: controllers whose request or
        // answer was lost, and those whose acknowledgement was (they answer again), each about the
        // share of exchanges that fail. So many answers need no more of the first round's spread.
        const int byAnswers = int(std::ceil(2 * toldFailShare() * settings_.firstSpreadMs));
        spreadMs = std::min(spreadMs, std::max(kLeastSpreadMs, byAnswers));
    }
    return spreadMs;
}

SearchTiming::Clock::time_point SearchTiming::nextRound() const {
    if (rounds_.empty())
        return Clock::time_point::max();
    const Round& last = rounds_.back();
    const int k = roundsSent() - 1;
    if (!answered()) {
        // Nobody heard yet (or a slow link): ask again with growing gaps until the first-answer wait is over.
        const int gapMs = k == 0 ? std::max(settings_.retransmitMs, settings_.firstSpreadMs)
                                 : settings_.retransmitMs << std::min(k - 1, 3);  // up to 8 x
        return last.at + std::chrono::milliseconds(gapMs);
    }
    if (k == 0)  // once the answers to the first round are due
        return last.at + std::chrono::milliseconds(last.spreadMs) + answerWait(1);
    if (roundsSent() >= roundsNeeded())
        return Clock::time_point::max();
    // The next round goes once the controllers asked by the last one have sent their answers: a
    // controller whose answer is lost is asked again. It does not wait for those answers to arrive
    // (a round trip), so that the rounds overlap; what it asks in vain costs a repeated answer.
    const int slackMs = allTold() ? kToldSlackMs : kSlackMs;
    const auto answersSent = std::chrono::milliseconds(last.spreadMs + slackMs);
    const auto longest = std::chrono::milliseconds(std::max(settings_.retransmitMs, last.spreadMs));
    return last.at + std::clamp<Clock::duration>(answersSent, std::chrono::milliseconds(std::min(kMinGapMs, slackMs)),
                                                 longest);
}

SearchTiming::Clock::time_point SearchTiming::end() const {
    if (rounds_.empty())
        return Clock::time_point::max();
    if (!answered())
        return rounds_.front().at +
               std::chrono::milliseconds(std::max(settings_.firstAnswerWaitMs, settings_.firstSpreadMs));
    if (roundsSent() < roundsNeeded())
        return Clock::time_point::max();
    // When the answers to the rounds awaited are due, the latest of them.
    Clock::time_point due = rounds_.front().at + std::chrono::milliseconds(rounds_.front().spreadMs) + answerWait(1);
    for (std::size_t i = 0; i < roundsAwaited(); ++i)
        due = std::max(due, rounds_[i].at + std::chrono::milliseconds(rounds_[i].spreadMs) + answerWait(int(i) + 1));
    return due;
}

}  // namespace zelmar::net
