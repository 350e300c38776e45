#pragma once
// The encryption of one simulated controller (docs/protocol.md, section 7):
// opening sealed requests, sessions against replays, the wrong-password rate
// limit, sealing the replies, what a clear search reply may tell, and the
// encryption part of a setup. SimController calls it around its own handling,
// so every message type (upgrade blocks included) is sealed the same way.
#include <array>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/netservice/crypto_envelope.h"
#include "platform/netservice/messages.h"
#include "platform/netservice/udp_platform.h"
#include "simulator/controller_rules.h"
#include "simulator/sim_state.h"

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

class SimCrypto {
public:
    using Clock = std::chrono::steady_clock;
    using Endpoint = net::platform::Endpoint;

    // Turns a convenience encryptionPassword into the stored key and forgets the password.
    static void adoptPassword(SimControllerState& s);
    // Encryption fields of a state make sense (key text, capability when required).
    static bool validState(const SimControllerState& s, std::string* why);

    // Test hook: the clock the rate limit sees.
    void setClock(std::function<Clock::time_point()> now) { now_ = std::move(now); }

    // What became of a datagram before the controller's own handling.
    struct Inbound {
        enum Kind { Clear, Opened, Answer, Drop } kind = Clear;
        net::wire::Message msg;              // Opened: the request in clear
        std::vector<std::uint8_t> answer;    // Answer: send this back and do nothing else
        std::string why;                     // Answer, Drop: for the log
        // Opened: how its replies are sealed.
        net::crypto::EnvelopeKind envelope = net::crypto::EnvelopeKind::ControllerKey;
        net::crypto::Key replyKey{};
        net::crypto::PublicKey clientPublic{};
        net::crypto::Challenge session{};
        std::uint32_t sequence = 0;
    };
    // Counts what it saw in the state's counters.
    Inbound receive(SimControllerState& state, const net::wire::Ethernet& mac, const std::uint8_t* data,
                    std::size_t size, const Endpoint& from);

    // A clear request the controller does not take while it requires encryption: the refusal to send.
    std::optional<std::vector<std::uint8_t>> refuseClear(const SimControllerState& state, const net::wire::Ethernet& mac,
                                                         const net::wire::Message& m);

    // Seals a reply to an opened request (and keeps the first for a retransmission of it).
    void sealReply(std::vector<std::uint8_t>& bytes, const Inbound& in, const net::wire::Ethernet& mac,
                   const Endpoint& from);

    // A clear search reply: the whole description, or only the identity while encryption is
    // required; a capable controller adds a challenge (and its public key while it has no key).
    void describe(net::wire::Message& reply, const net::wire::ControllerInfo& full, const SimControllerState& state,
                  const Endpoint& from);

    // The encryption fields of a setup; on Ok `result` holds them.
    static SetupVerdict checkSetup(const SimControllerState& current, const net::wire::SetupFields& f,
                                   SimControllerState& result);

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
    struct Cached {
        Endpoint client;
        net::crypto::Challenge session{};
        std::uint32_t sequence = 0;
        std::vector<std::uint8_t> reply;
    };
    enum class SequenceVerdict { New, Seen, UnknownSession };

    Clock::time_point now() const { return now_ ? now_() : Clock::now(); }
    const net::crypto::KeyPair& keyPair();
    net::crypto::Challenge issueChallenge(const Endpoint& client);
    SequenceVerdict takeSequence(const net::crypto::Challenge& session, std::uint32_t sequence);
    static std::vector<std::uint8_t> clearAnswer(net::wire::MsgType requestType, std::uint32_t requestId,
                                                 const SimControllerState& state, const net::wire::Ethernet& mac,
                                                 net::wire::Status status, std::uint16_t retryMs = 0);

    std::function<Clock::time_point()> now_;
    std::optional<net::crypto::KeyPair> keyPair_;  // made on first use (a real unit: at start)
    std::array<Session, 8> sessions_{};
    std::array<Issued, 16> issued_{};
    std::array<Cached, 8> cache_{};
    std::size_t nextCache_ = 0;
    std::uint64_t tick_ = 0;
    WrongKeyLimit limit_;
};

}  // namespace zelmar::sim
