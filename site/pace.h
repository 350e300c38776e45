#pragma once
// How many controllers whole-site work may be sending to at once. With
// `--jobs N` that is N, always. Without it the pace adapts as a congestion
// window does: it starts small, grows while the answers keep coming in time
// and shrinks when they are lost or late, never beyond its bound, so that a
// slow link is not flooded and a quick one is used. No threads and no clock:
// the workers tell it how each task went (pace_gate.h).
#include <cstdint>
#include <vector>

namespace zelmar::site {

struct PaceLimits {
    int first = 2;  // tasks at once at the start
    int most = 32;  // never more: the bound on what is on the way at once
};

class Pace {
public:
    // How one task went, from its start to the end of its sending.
    struct Sample {
        std::uint64_t epoch = 0;   // the pace's epoch when it started
        double ms = 0;             // how long it took
        double work = 1;           // what it carried, in units of a usual task (a transfer: MiB); at least 1
        bool sentNothing = false;  // it needed no controller (a row already as planned): it tells nothing
        bool unanswered = false;   // a request of it went unanswered to its end (no answer, a stalled transfer)
    };

    // Always `jobs` at once.
    static Pace fixed(int jobs);
    // Adapts between 1 and limits.most, starting at limits.first. `slackMs`
    // is the time the service waits before it asks again: tasks that take
    // that much longer than the quickest did are late.
    Pace(const PaceLimits& limits, double slackMs);

    int window() const { return window_; }  // tasks that may be sending at once now
    int most() const { return limits_.most; }
    // Changes with every cut: a task that started before the last cut is not judged
    // (one cut for what was on the way together, as a congestion window does).
    std::uint64_t epoch() const { return epoch_; }

    void ended(const Sample& sample);

    // While the window is below where it was last cut, each task in time lets
    // one more in (it doubles in a round trip); from there on a round in time
    // adds one. A round is as many tasks as the window held when it began,
    // started since the last cut; its median duration is judged against the base, the
    // quickest median of the run. The base never creeps up with a queue of our
    // own making: only a round late with a single task on the way, which
    // queues behind nothing of ours, is the link's own time and becomes the
    // base (a link slower for good).
    static constexpr int kLeastRound = 4;     // samples a round needs at the least, for a median worth judging
    static constexpr double kLateFactor = 2;  // late: a median above this many times the base, plus the slack
    static constexpr double kLateCut = 0.75;  // a late round shrinks the window to this share
    static constexpr double kLostCut = 0.5;   // an unanswered request halves it

private:
    Pace(const PaceLimits& limits, double slackMs, bool adapts);
    double lateAfter() const;  // a duration beyond this is late
    void judgeRound();
    void cut(double share);

    PaceLimits limits_;
    double slackMs_;
    bool adapts_;
    int window_;
    int doublingBelow_;  // below it each task in time adds one; from it on each round in time adds one
    std::uint64_t epoch_ = 0;
    std::vector<double> round_;  // durations of the tasks started in this epoch
    int roundSize_ = 0;          // the window when the round began
    double base_ = -1;           // none yet
};

}  // namespace zelmar::site
