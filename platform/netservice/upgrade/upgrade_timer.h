#pragma once
// The clocks of a port OS transfer: when the first unacknowledged block goes
// again because nothing was heard, and when the transfer gives up. The
// retransmission time follows the round trips the acknowledgements show (the
// smoothed round trip and four times its variation, as RFC 6298 computes it,
// 1 ms to 1 s) and doubles with every probe that goes unanswered. The transfer gives up after upgradeStallTimeoutMs
// without a block newly acknowledged, or upgradeMaxMs after its start. No
// clock of its own: the transfer says what happened when.
#include <chrono>
#include <optional>

namespace zelmar::net {

class UpgradeTimer {
public:
    using Clock = std::chrono::steady_clock;

    struct Settings {
        int retransmitMs = 50;  // before any round trip is known
        int stallMs = 3000;
        int maxMs = 600000;
    };
    static constexpr int kMinRtoMs = 1;
    static constexpr int kMaxRtoMs = 1000;

    // The blocks start to travel at `now`, for a transfer that started at `started`.
    UpgradeTimer(const Settings& settings, Clock::time_point started, Clock::time_point now);

    // An acknowledgement was taken at `now`; `roundTripMs` since the send it answers, when known.
    void acknowledged(Clock::time_point now, bool progress, std::optional<double> roundTripMs);
    // An acknowledgement was asked for at `now`: it is due one retransmission time later.
    void expectAck(Clock::time_point now);
    // The first unacknowledged block went again at `now`: the next wait is twice as long.
    void probed(Clock::time_point now);
    // Probes sent since the last acknowledgement: more than one, and the link is really silent
    // (one may just have met a lost answer or a busy receiver).
    int probesUnanswered() const { return probesUnanswered_; }

    bool probeDue(Clock::time_point now) const { return now >= probeDue_; }
    enum class Verdict { Going, Stalled, TooLong };
    Verdict verdict(Clock::time_point now) const;
    // When something is due: the probe or the stall bound, whichever comes first.
    Clock::time_point wakeAt() const;
    int retransmitMs() const { return rtoMs_; }

private:
    Settings settings_;
    Clock::time_point hardDeadline_;
    Clock::time_point lastProgress_;
    Clock::time_point probeDue_;
    double srttMs_ = -1;  // smoothed round trip (-1: none seen)
    double rttVarMs_ = 0;  // its smoothed variation
    int rtoMs_;
    int probesUnanswered_ = 0;
};

}  // namespace zelmar::net
