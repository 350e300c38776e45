#pragma once
// When a broadcast or network search sends its next round and when it ends,
// decided from what it has seen. No sockets and no clock of its own: the
// search tells it what it sent and heard, and asks it for times.
//
// Until a first answer comes, rounds go out with growing gaps, and the search
// gives up firstAnswerWaitMs after its first round. Once answers come, an
// address that has not answered is asked again: the second round once the
// answers to the first are due, each later one once the controllers have sent
// their answers to the one before (so that rounds overlap on a slow link). How
// often depends on the loss seen, and the search ends when the answers to the
// rounds it needs could have arrived.
//
// A controller's answer tells the round it answers and how long it waited
// (protocol 5.2): then the loss is the share of controllers heard only in a
// later round, and each answer gives its round trip itself, whatever the link.
// An older controller's answer tells neither; while any such answer is seen,
// both are estimated: the loss from the controllers heard only after the
// second round went out (when that went out once the first answers were due,
// else as high as can be), the round trip from the times between first request
// and answer, which include the unknown waits.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace zelmar::net {

class SearchTiming {
public:
    using Clock = std::chrono::steady_clock;

    struct Settings {
        int firstSpreadMs = 100;       // answer spread asked for in the first round
        int retransmitMs = 50;         // first gap while nobody has answered; longest gap once answers come
        int firstAnswerWaitMs = 1000;  // nobody answers: the search ends this long after its first round
        int maxRounds = 8;             // the most often an address that does not answer is asked
    };
    static constexpr int kMinRounds = 3;      // with the loss estimated
    static constexpr int kMinRoundsTold = 2;  // with the loss known from the answers

    explicit SearchTiming(const Settings& settings);

    // A round (the first with firstSpreadMs) begins to go out at `at`, asking for this answer
    // spread; it counts as sent from now on. Rounds are numbered from 1.
    void roundBegins(Clock::time_point at, int spreadMs);
    // The round begun last went out completely at `at`.
    void roundSent(Clock::time_point at) { rounds_.back().at = at; }

    // What an answer told of itself: the round it answers, how long the controller waited.
    struct Told {
        int round = 0;
        int waitMs = 0;
    };
    // An answer that came in.
    struct Heard {
        std::int32_t controller = -1;  // its entry
        bool first = false;            // its first answer in this search
        Clock::time_point at;
        // Since its address was first asked: an upper bound of its round trip plus its wait.
        Clock::duration sinceFirstAsked{};
        // Among the first addresses the first round asked: its request met no queue of the
        // search's own requests at the controllers.
        bool askedEarly = false;
        std::optional<Told> told;  // nullopt: an older controller
    };
    void answer(const Heard& heard);

    bool answered() const { return heard_ > 0; }
    // Every answer so far told its round and wait.
    bool allTold() const { return answered() && heardTold_ == heard_; }
    int roundsSent() const { return int(rounds_.size()); }
    // How many rounds the loss seen so far calls for.
    int roundsNeeded() const;
    // The answer spread the next round asks for, given the share of the targets it still asks.
    int nextSpreadMs(double stillAskedShare) const;
    // When the next round is due; Clock::time_point::max() when no more rounds are needed
    // (and before the first round).
    Clock::time_point nextRound() const;
    // When the search ends, unless every address has answered before.
    Clock::time_point end() const;
    // How long after a request of round `round` (from 1) its answer can still arrive, not
    // counting the spread the request asked for (zero before any answer).
    Clock::duration answerWait(int round) const;

private:
    struct Round {
        Clock::time_point began;
        Clock::time_point at;  // sent completely
        int spreadMs;
    };
    double typicalRoundTripMs() const;  // estimated from the answers seen so far
    double toldFailShare() const;       // how often one exchange fails, from the rounds answers told
    static Clock::duration waitFor(double roundTripMs);  // the round trip with room for jitter
    // The rounds whose answers the search waits for: the needed ones once the loss is known.
    std::size_t roundsAwaited() const;

    Settings settings_;
    std::vector<Round> rounds_;
    std::vector<double> samplesMs_;
    double fastestMs_ = 0;
    int heard_ = 0;      // controllers heard in this search
    int heardLate_ = 0;  // of those, heard only after the second round went out
    int heardTold_ = 0;  // controllers whose first answer told its round and wait
    int lateTold_ = 0;   // of those, not heard in the first round (yet: answers may overtake each other)
    std::unordered_map<std::int32_t, int> firstRoundHeard_;  // by controller: the earliest round it answered
    // The round trips answers told: of all, and of those whose requests met no queue of the
    // search's own (the first addresses asked, and later rounds, which ask few).
    struct Trips {
        double longestMs = 0;
        double shortestMs = 1e9;
        int count = 0;
        void add(double ms);
        Clock::duration wait() const;  // the longest, and room for one longer still
    };
    Trips trips_;
    Trips unqueuedTrips_;
    bool lossMeasurable_ = false;  // the second round went out once the answers to the first were due
    mutable double cachedRoundTripMs_ = -1;  // recomputed as samples come
    mutable std::size_t cachedFrom_ = 0;     // from this many samples
};

}  // namespace zelmar::net
