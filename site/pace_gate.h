#pragma once
// The pace among worker threads: a worker enters before it takes a task and
// waits while as many tasks send as the pace allows; each task's turn tells
// the pace how it went when it ends, or when it goes quiet (a controller
// restarting after its upgrade puts next to nothing on the network, so its
// place goes to the next while its worker waits for it).
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "site/pace.h"

namespace zelmar::site {

class PaceGate {
public:
    explicit PaceGate(Pace pace);

    void enter();  // waits for a place
    void leave();  // without a task
    void leave(const Pace::Sample& sample);
    std::uint64_t epoch() const;

    int mostAtOnce() const;  // the most places ever held at once

private:
    mutable std::mutex m_;
    std::condition_variable freed_;
    Pace pace_;
    int held_ = 0;
    int mostHeld_ = 0;
};

// One task's time in its place; the clock runs from its start.
class Turn {
public:
    explicit Turn(PaceGate& gate);  // the gate was entered for it
    ~Turn();                        // leaves, unless quiet() did; a task that threw tells nothing
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;

    void sentNothing() { sample_.sentNothing = true; }
    void unanswered() { sample_.unanswered = true; }
    void weigh(double work) { sample_.work = work; }
    // From here on the task sends next to nothing: the pace is told how it went so far.
    void quiet();

private:
    PaceGate& gate_;
    Pace::Sample sample_;
    std::chrono::steady_clock::time_point start_;
    int exceptions_;
    bool left_ = false;
};

}  // namespace zelmar::site
