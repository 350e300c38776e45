#include "simulator/wrong_key_limit.h"

#include <algorithm>

namespace zelmar::sim {

void WrongKeyLimit::refill(Bucket& b, Clock::time_point now) {
    if (now > b.last) {
        const double ms = std::chrono::duration<double, std::milli>(now - b.last).count();
        b.tokens = std::min(kBurst, b.tokens + ms / kRefillMs);
    }
    b.last = now;
}

WrongKeyLimit::Bucket& WrongKeyLimit::bucket(std::uint32_t address, Clock::time_point now, bool create) {
    for (Bucket& b : buckets_)
        if (b.used && b.address == address)
            return b;
    if (!create)
        return shared_;  // read-only use: a missing bucket is a full one (see allow)
    // A bucket that has filled up again knows nothing worth keeping: reuse it.
    for (Bucket& b : buckets_) {
        if (b.used)
            refill(b, now);
        if (!b.used || b.tokens >= kBurst) {
            b = Bucket{address, true, kBurst, now};
            return b;
        }
    }
    return shared_;  // every bucket holds recent failures: the rest share one
}

bool WrongKeyLimit::allow(std::uint32_t address, Clock::time_point now, int& retryMs) {
    Bucket* b = nullptr;
    for (Bucket& x : buckets_)
        if (x.used && x.address == address)
            b = &x;
    if (!b) {
        // No failures of its own on record; it still waits while the shared bucket is empty
        // if the table is full of failing addresses.
        bool full = true;
        for (Bucket& x : buckets_) {
            if (x.used)
                refill(x, now);
            if (!x.used || x.tokens >= kBurst)
                full = false;
        }
        if (!full)
            return true;
        b = &shared_;
    }
    refill(*b, now);
    if (b->tokens >= 1 - 1e-9)
        return true;
    retryMs = std::max(1, int((1 - b->tokens) * kRefillMs + 0.999));
    return false;
}

void WrongKeyLimit::failed(std::uint32_t address, Clock::time_point now) {
    Bucket& b = bucket(address, now, true);
    refill(b, now);
    b.tokens = std::max(0.0, b.tokens - 1);
}

}  // namespace zelmar::sim
