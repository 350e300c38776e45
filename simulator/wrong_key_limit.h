#pragma once
// The wrong-key rate limit of one simulated controller: sealed requests that
// do not open cost the sender's address a token, so guessing keys is slow
// while the rightful technician never waits long.
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace zelmar::sim {

// Per client address: after kBurst wrong keys one more try each kRefillMs.
// Never a lockout longer than kRefillMs for the rightful technician.
class WrongKeyLimit {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr double kBurst = 5;
    static constexpr int kRefillMs = 1000;
    static constexpr std::size_t kAddresses = 32;

    // True when a sealed request from this address may be tried; else retryMs says when.
    bool allow(std::uint32_t address, Clock::time_point now, int& retryMs);
    void failed(std::uint32_t address, Clock::time_point now);

private:
    struct Bucket {
        std::uint32_t address = 0;
        bool used = false;
        double tokens = kBurst;
        Clock::time_point last{};
    };
    Bucket& bucket(std::uint32_t address, Clock::time_point now, bool create);
    static void refill(Bucket& b, Clock::time_point now);

    std::array<Bucket, kAddresses> buckets_{};
    Bucket shared_{};  // addresses without a bucket of their own while all are busy with failures
};

}  // namespace zelmar::sim
