#pragma once
// The bounded memories of one simulated controller: the last few searches it
// was asked (and whether the asker acknowledged its answer), and the last few
// transactions it answered, so that a retransmission is answered again but
// never applied twice.
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/netservice/wire/messages.h"
#include "platform/netservice/system/udp_platform.h"

namespace zelmar::sim {

class RecentSearches {
public:
    using Endpoint = net::platform::Endpoint;
    using Clock = std::chrono::steady_clock;
    // Remembers a search answered, and when its answer leaves; the oldest is forgotten
    // when the memory is full.
    void note(const Endpoint& client, std::uint32_t requestId, Clock::time_point answerLeaves);
    void acknowledge(const Endpoint& client, std::uint32_t requestId);
    bool acknowledged(const Endpoint& client, std::uint32_t requestId) const;
    // Whether the answer to this search is still waiting to go out at `now`.
    bool answerWaiting(const Endpoint& client, std::uint32_t requestId, Clock::time_point now) const;

private:
    struct Slot {
        Endpoint client;
        std::uint32_t requestId = 0;
        bool acked = false;
        Clock::time_point answerLeaves{};
    };
    Slot* find(const Endpoint& client, std::uint32_t requestId);
    const Slot* find(const Endpoint& client, std::uint32_t requestId) const {
        return const_cast<RecentSearches*>(this)->find(client, requestId);
    }
    std::array<Slot, 8> slots_{};
    std::size_t next_ = 0;
};

class RecentTransactions {
public:
    using Endpoint = net::platform::Endpoint;
    // The answer given to this transaction, or nullptr when it is new.
    const std::vector<std::uint8_t>* answer(const Endpoint& client, std::uint32_t requestId,
                                            net::wire::MsgType type) const;
    void keep(const Endpoint& client, std::uint32_t requestId, net::wire::MsgType type,
              const std::vector<std::uint8_t>& answer);

private:
    struct Slot {
        Endpoint client;
        std::uint32_t requestId = 0;
        net::wire::MsgType type = net::wire::MsgType::Setup;
        std::vector<std::uint8_t> reply;
    };
    std::array<Slot, 16> slots_{};
    std::size_t next_ = 0;
};

}  // namespace zelmar::sim
