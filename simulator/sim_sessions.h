#pragma once
// The sessions of one simulated controller, apart from any datagram: the
// challenges it gave out, the sessions they opened with the request numbers
// each has taken (against replays), and the sealed replies it remembers for a
// request whose answer was lost.
#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/netservice/crypto/crypto_envelope.h"
#include "platform/netservice/system/udp_platform.h"

namespace zelmar::sim {

class SessionTable {
public:
    using Endpoint = net::platform::Endpoint;
    enum class Verdict { New, Seen, UnknownSession };

    // A fresh challenge for a client; its oldest open one goes once it has four
    // (a search asked again), the oldest of all once sixteen are open.
    net::crypto::Challenge issue(const Endpoint& client);
    // New: the first arrival of this number in a known session, or the first request
    // with a challenge given out (which opens a session, once). Seen: number 0, an
    // arrival before, or too far behind the highest number to tell.
    Verdict take(const net::crypto::Challenge& session, std::uint32_t sequence);

private:
    struct Session {
        bool used = false;
        net::crypto::Challenge id{};
        std::uint32_t highest = 0;
        std::bitset<256> seen;  // bit i: highest - i has arrived
        std::uint64_t lastUse = 0;
    };
    struct Issued {
        bool used = false;
        Endpoint client;
        net::crypto::Challenge challenge{};
        std::uint64_t issued = 0;
    };
    Issued& issueSlot(const Endpoint& client);
    Verdict takeInSession(Session& s, std::uint32_t sequence);
    void open(const net::crypto::Challenge& id, std::uint32_t sequence);

    std::array<Session, 8> sessions_{};
    std::array<Issued, 16> issued_{};
    std::uint64_t tick_ = 0;
};

// The last few sealed replies, so that a request sent again is answered the same
// without being done twice.
class ReplyMemory {
public:
    using Endpoint = net::platform::Endpoint;
    const std::vector<std::uint8_t>* find(const Endpoint& client, const net::crypto::Challenge& session,
                                          std::uint32_t sequence) const;
    // Keeps the first reply to a request.
    void keep(const Endpoint& client, const net::crypto::Challenge& session, std::uint32_t sequence,
              const std::vector<std::uint8_t>& reply);

private:
    struct Cached {
        Endpoint client;
        net::crypto::Challenge session{};
        std::uint32_t sequence = 0;
        std::vector<std::uint8_t> reply;
    };
    std::array<Cached, 8> cache_{};
    std::size_t next_ = 0;
};

}  // namespace zelmar::sim
