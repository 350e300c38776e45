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
// often depends on the loss
// seen: the share of controllers heard only after the second round went out
// estimates how often one exchange fails, and the rounds go on until a
// controller still unheard would be unlikely (maxRounds in all where that
// cannot be told, on a link slower than the first answer spread). The search
// ends when the answers to its rounds could have arrived.
#include <chrono>
#include <cstddef>
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
    static constexpr int kMinRounds = 3;

    explicit SearchTiming(const Settings& settings);

    // A round (the first with firstSpreadMs) was sent completely at `at`, asking for this answer spread.
    void roundSent(Clock::time_point at, int spreadMs);
    // A controller not heard before in this search answered at `at`, this long after its
    // address was first asked (an upper bound of its round trip plus its spread).
    void newAnswer(Clock::time_point at, Clock::duration sinceFirstAsked);

    bool answered() const { return !samplesMs_.empty(); }
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
    // How long after a request its answer can still arrive, not counting the spread
    // the request asked for (zero before any answer).
    Clock::duration answerWait() const;

private:
    struct Round {
        Clock::time_point at;
        int spreadMs;
    };
    double typicalRoundTripMs() const;  // from the answers seen so far
    static Clock::duration waitFor(double roundTripMs);  // the round trip with room for jitter

    Settings settings_;
    std::vector<Round> rounds_;
    std::vector<double> samplesMs_;
    double fastestMs_ = 0;
    int heard_ = 0;      // controllers heard in this search
    int heardLate_ = 0;  // of those, heard only after the second round went out
    bool lossMeasurable_ = false;  // the second round went out once the answers to the first were due
    mutable double cachedRoundTripMs_ = -1;  // recomputed as samples come
    mutable std::size_t cachedFrom_ = 0;     // from this many samples
};

}  // namespace zelmar::net
