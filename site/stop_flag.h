#pragma once
// Stop for whole-site work: once requested, no new controller is started;
// those in hand finish and are told as they end. Set from any thread.
#include <atomic>

namespace zelmar::site {

class StopFlag {
public:
    void request() { requested_.store(true); }
    bool requested() const { return requested_.load(); }

private:
    std::atomic<bool> requested_{false};
};

}  // namespace zelmar::site
