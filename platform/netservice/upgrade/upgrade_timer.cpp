#include "platform/netservice/upgrade/upgrade_timer.h"

#include <algorithm>
#include <cmath>

namespace zelmar::net {

UpgradeTimer::UpgradeTimer(const Settings& settings, Clock::time_point started, Clock::time_point now)
    : settings_(settings),
      hardDeadline_(started + std::chrono::milliseconds(settings.maxMs)),
      lastProgress_(now),
      rtoMs_(std::clamp(settings.retransmitMs, kMinRtoMs, kMaxRtoMs)) {
    expectAck(now);
}

void UpgradeTimer::acknowledged(Clock::time_point now, bool progress, std::optional<double> roundTripMs) {
    if (roundTripMs && srttMs_ < 0) {
        srttMs_ = *roundTripMs;
        rttVarMs_ = *roundTripMs / 2;
    } else if (roundTripMs) {
        rttVarMs_ = 0.75 * rttVarMs_ + 0.25 * std::abs(srttMs_ - *roundTripMs);
        srttMs_ = 0.875 * srttMs_ + 0.125 * *roundTripMs;
    }
    if (progress)
        lastProgress_ = now;
    probesUnanswered_ = 0;
    // A millisecond beyond the round trips seen, for the clock's granularity and a busy receiver.
    const int rto = srttMs_ < 0 ? rtoMs_ : int(std::ceil(srttMs_ + 4 * rttVarMs_)) + 1;
    rtoMs_ = std::clamp(rto, kMinRtoMs, kMaxRtoMs);
    expectAck(now);
}

void UpgradeTimer::expectAck(Clock::time_point now) { probeDue_ = now + std::chrono::milliseconds(rtoMs_); }

void UpgradeTimer::probed(Clock::time_point now) {
    ++probesUnanswered_;
    rtoMs_ = std::min(rtoMs_ * 2, kMaxRtoMs);
    expectAck(now);
}

UpgradeTimer::Verdict UpgradeTimer::verdict(Clock::time_point now) const {
    if (now - lastProgress_ > std::chrono::milliseconds(settings_.stallMs))
        return Verdict::Stalled;
    if (now > hardDeadline_)
        return Verdict::TooLong;
    return Verdict::Going;
}

UpgradeTimer::Clock::time_point UpgradeTimer::wakeAt() const {
    return std::min(probeDue_, lastProgress_ + std::chrono::milliseconds(settings_.stallMs));
}

}  // namespace zelmar::net
