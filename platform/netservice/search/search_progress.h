#pragma once
// Where one search stands, without sockets or a clock: which addresses a
// round still asks (each address once it answered is left out), which answers
// come from controllers not heard before in this search, and whether the
// search is over (the controller looked for answered, or every address
// asked). Also the rounds of a lookup, which ask again with growing gaps.
// Broadcast and network searches time their rounds by SearchTiming.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace zelmar::net {

class SearchProgress {
public:
    using Clock = std::chrono::steady_clock;

    // `destinations` sorted without repeats, and kept alive by the caller for the search.
    // `serialFilter`: the search ends when that controller answers; `endWhenAllAnswered`:
    // when every destination has.
    SearchProgress(const std::vector<std::uint32_t>& destinations, std::optional<std::string> serialFilter,
                   bool endWhenAllAnswered, Clock::time_point start);

    // Whether a round still asks `address`: not once it answered in this search.
    bool asks(std::uint32_t address) const { return answeredAddresses_.count(address) == 0; }
    // Measure round trips from now on: every destination counts as asked at the start
    // until firstAsked says otherwise.
    void timeRoundTrips() { firstAsked_.assign(destinations_.size(), start_); }
    // The destination at `position` was asked at `at` (the first round of a timed search).
    void firstAsked(std::size_t position, Clock::time_point at) { firstAsked_[position] = at; }

    struct Answer {
        bool newController = false;  // not heard before in this search
        std::optional<Clock::duration> sinceFirstAsked;  // since its address was first asked, when timed
        // Its address was among the first the first round asked (or a broadcast's): its request
        // met no queue of requests the search itself had just sent.
        bool askedEarly = false;
    };
    // The controller of entry `record`, with this serial number, answered from `from` at `at`.
    Answer answered(std::uint32_t from, std::int32_t record, const std::string& serialNo, Clock::time_point at);

    void stop() { done_ = true; }  // its time is up
    bool done() const { return done_; }
    // The share of the destinations that have not answered yet.
    double stillAskedShare() const;

    static constexpr std::size_t kEarlyAsks = 64;  // the first burst of a round, before any answer is read

private:
    // Where `address` stands among the destinations (their number: not one of them).
    std::size_t positionOf(std::uint32_t address) const;

    const std::vector<std::uint32_t>& destinations_;
    std::optional<std::string> serialFilter_;
    bool endWhenAllAnswered_;
    Clock::time_point start_;
    std::unordered_set<std::uint32_t> wanted_;
    std::unordered_set<std::uint32_t> answeredAddresses_;  // only addresses that were asked
    std::unordered_set<std::int32_t> answeredRecords_;
    std::size_t wantedAnswered_ = 0;
    std::vector<Clock::time_point> firstAsked_;  // per destination; empty while untimed
    bool done_ = false;
};

// A lookup asks again with growing gaps: retransmitMs at first, doubling up to
// eight times that, and never before twice the time its last round took to send
// (a long list takes a while to ask and to answer).
class LookupRounds {
public:
    using Clock = std::chrono::steady_clock;

    LookupRounds(int retransmitMs, Clock::time_point now)
        : intervalMs_(retransmitMs), longestMs_(retransmitMs * 8), next_(now) {}

    bool due(Clock::time_point now) const { return now >= next_; }
    // A round was sent from `began` to `ended`.
    void roundSent(Clock::time_point began, Clock::time_point ended);
    Clock::time_point next() const { return next_; }

private:
    int intervalMs_;
    int longestMs_;
    Clock::time_point next_;
};

}  // namespace zelmar::net
