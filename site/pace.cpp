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
    if (!adapts_ || s.sentNothing || s.epoch != epoch_)
        return;  // it needed no controller, or it started before the last cut: it tells nothing of this window
    if (s.unanswered) {
        cut(kLostCut);
        return;
    }
    const double ms = s.ms / std::max(s.work, 1.0);
    if (round_.empty())
        roundSize_ = std::max(window_, kLeastRound);
    if (base_ < 0 || ms <= lateAfter())
        grow();
    round_.push_back(ms);
    if (int(round_.size()) >= roundSize_)
        judgeRound();
}

double Pace::lateAfter() const {
    return kLateFactor * base_ + slackMs_;
}

void Pace::grow() {
    if (window_ < doublingBelow_) {
        ++window_;
    } else if (++credit_ >= window_ && window_ < limits_.most) {
        ++window_;
        credit_ = 0;
    }
}

void Pace::judgeRound() {
    const auto middle = round_.begin() + std::ptrdiff_t(round_.size() / 2);
    std::nth_element(round_.begin(), middle, round_.end());
    const double median = *middle;
    round_.clear();
    if (base_ < 0 || median < base_)
        base_ = median;
    if (median <= lateAfter())
        return;
    if (window_ > limits_.first) {
        cut(kLateCut);
    } else {
        base_ = median;  // late with the fewest tasks of ours on the way: the link itself is slower now
        doublingBelow_ = limits_.most;
    }
}

void Pace::cut(double share) {
    window_ = std::max(limits_.first, int(window_ * share));
    doublingBelow_ = window_;
    credit_ = 0;
    ++epoch_;
    round_.clear();
}

}  // namespace zelmar::site
