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
    int first = 2;  // tasks at once at the start, and the fewest it ever shrinks to
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
    // Adapts between limits.first and limits.most, starting at limits.first.
    // `slackMs` is the time the service waits before it asks again: tasks that
    // take that much longer than twice the quickest did are late.
    Pace(const PaceLimits& limits, double slackMs);

    int window() const { return window_; }  // tasks that may be sending at once now
    // Changes with every cut: a task that started before the last cut is not judged
    // (one cut for what was on the way together, as a congestion window does).
    std::uint64_t epoch() const { return epoch_; }

    void ended(const Sample& sample);

    // Growth: below the window's last cut each task in time lets one more in
    // (the window doubles in the time a task takes); from there on one more
    // for each window's worth of tasks in time.
    //
    // Late: a round is as many tasks as the window held when it began (at
    // least kLeastRound), started since the last cut. Its median duration is
    // judged against the base, the quickest median of the run, so a datagram
    // lost here and there (a task that waited for its retransmission) does not
    // make it late. The base never creeps up with a queue of our own making:
    // only a round late at the fewest tasks is the link's own time and becomes
    // the base (a link that became slower for good).
    static constexpr int kLeastRound = 4;     // samples a round needs at the least, for a median worth judging
    static constexpr double kLateFactor = 2;  // late: a median above this many times the base, plus the slack
    static constexpr double kLateCut = 0.75;  // a late round shrinks the window to this share
    static constexpr double kLostCut = 0.5;   // an unanswered request halves it

private:
    Pace(const PaceLimits& limits, double slackMs, bool adapts);
    double lateAfter() const;  // a duration beyond this is late
    void grow();
    void judgeRound();
    void cut(double share);

    PaceLimits limits_;
    double slackMs_;
    bool adapts_;
    int window_;
    int doublingBelow_;  // the window after the last cut (the bound, before any)
    int credit_ = 0;     // tasks in time since the window last grew, above doublingBelow_
    std::uint64_t epoch_ = 0;
    std::vector<double> round_;  // durations of the round's tasks, each per unit of work
    int roundSize_ = 0;
    double base_ = -1;  // none yet
};

}  // namespace zelmar::site
