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
    // Doubling as a congestion window's slow start does: each task in time lets one more in.
    if (window_ < doublingBelow_ && (base_ < 0 || ms <= lateAfter()))
        window_ = std::min(window_ + 1, doublingBelow_);
    round_.push_back(ms);
    if (int(round_.size()) >= roundSize_)
        judgeRound();
}

double Pace::lateAfter() const {
    return kLateFactor * base_ + slackMs_;
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
    if (median <= lateAfter()) {
        if (window_ >= doublingBelow_)
            window_ = std::min(window_ + 1, limits_.most);
    } else if (window_ == 1) {
        base_ = median;  // nothing of ours to queue behind: the link itself is slower now
        doublingBelow_ = limits_.most;
    } else {
        cut(kLateCut);
    }
}

void Pace::cut(double share) {
    window_ = std::max(1, int(window_ * share));
    doublingBelow_ = window_;
    ++epoch_;
    round_.clear();
}

}  // namespace zelmar::site
