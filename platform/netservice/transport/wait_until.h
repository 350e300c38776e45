#pragma once
// How long a wait for a socket may last to end at a point of the steady clock.
#include <algorithm>
#include <chrono>

namespace zelmar::net {

// Whole milliseconds until `t`, rounded up (0 once it has passed), capped at an
// hour so that "never" (time_point::max()) cannot overflow.
inline int msUntil(std::chrono::steady_clock::time_point t) {
    const auto now = std::chrono::steady_clock::now();
    if (t <= now)
        return 0;
    const auto d = std::chrono::duration_cast<std::chrono::microseconds>(t - now).count();
    return int(std::min<long long>((d + 999) / 1000, 3600 * 1000));
}

}  // namespace zelmar::net
