#pragma once
// A request on its way to one controller, without sockets: its datagram, the
// id its reply must carry, and when it goes again. It goes again with growing
// gaps: the first retransmission time, doubling up to a second.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

namespace zelmar::net {

class ResendBackoff {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kLongestMs = 1000;

    // The first send is due at `now`.
    ResendBackoff(int firstMs, Clock::time_point now) : next(now), intervalMs_(firstMs) {}

    bool due(Clock::time_point now) const { return now >= next; }
    // It went at `now`: the next send is one gap later, and the gap after that twice as long.
    void sent(Clock::time_point now) {
        next = now + std::chrono::milliseconds(intervalMs_);
        intervalMs_ = std::min(intervalMs_ * 2, kLongestMs);
    }

    // When it goes next; a controller that asks for a wait moves it.
    Clock::time_point next;

private:
    int intervalMs_;
};

struct PendingRequest {
    std::int32_t index = 0;  // the entry of the controller it is for
    std::vector<std::uint8_t> bytes;
    std::uint32_t requestId = 0;
    ResendBackoff resend;
};

}  // namespace zelmar::net
