#include "site/pace.h"

#include <algorithm>

namespace zelmar::site {

Pace Pace::fixed(int jobs) {
    return Pace({jobs, jobs}, 0, false);
}

Pace::Pace(const PaceLimits& limits, double slackMs) : Pace(limits, slackMs, true) {}

Pace::Pace(const PaceLimits& limits, double slackMs, bool adapts)
    : limits_{std::clamp(limits.first, 1, std::max(limits.most, 1)), std::max(limits.most, 1)},
      slackMs_(slackMs),
      adapts_(adapts),
      window_(limits_.first),
      doublingBelow_(limits_.most) {}

void Pace::ended(const Sample& s) {
    if (!adapts_ || s.sentNothing)
        return;
    if (s.unanswered) {
        // As a congestion window does: one cut for what was on the way together,
        // so a loss among tasks that started before the last cut cuts no more.
        if (s.epoch >= lastCut_) {
            resize(std::max(1, int(window_ * kLostCut)));
            doublingBelow_ = window_;
            lastCut_ = epoch_;
        }
        return;
    }
    if (s.epoch != epoch_)
        return;  // it ran under another window: it says nothing of this one
    round_.push_back(s.ms / std::max(s.work, 1.0));
    if (int(round_.size()) >= std::max(window_, kLeastRound))
        judgeRound();
}

void Pace::judgeRound() {
    // The median, so that a datagram lost here and there (a task that waited
    // for its retransmission) does not make a round late.
    const auto middle = round_.begin() + std::ptrdiff_t(round_.size() / 2);
    std::nth_element(round_.begin(), middle, round_.end());
    const double median = *middle;
    round_.clear();
    if (base_ < 0 || median < base_)
        base_ = median;
    if (median > kLateFactor * base_ + slackMs_) {
        if (window_ == 1) {
            base_ = median;  // nothing of ours to queue behind: the link itself is slower now
            doublingBelow_ = limits_.most;
            return;
        }
        resize(std::max(1, int(window_ * kLateCut)));
        doublingBelow_ = window_;
        lastCut_ = epoch_;
    } else if (window_ < limits_.most) {
        const int grown = window_ < doublingBelow_ ? std::min(2 * window_, doublingBelow_) : window_ + 1;
        resize(std::min(grown, limits_.most));
    }
}

void Pace::resize(int window) {
    if (window == window_)
        return;
    window_ = window;
    ++epoch_;
    round_.clear();
}

}  // namespace zelmar::site
