#pragma once
// The encryption of one simulated controller (docs/protocol.md, section 7):
// opening sealed requests, sessions against replays, the wrong-password rate
// limit, sealing the replies, what a clear search reply may tell, and the
// encryption part of a setup. SimController calls it around its own handling,
// so every message type (upgrade blocks included) is sealed the same way.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/netservice/crypto/crypto_envelope.h"
#include "platform/netservice/wire/messages.h"
#include "platform/netservice/system/udp_platform.h"
#include "simulator/controller_rules.h"
#include "simulator/sim_sessions.h"
#include "simulator/sim_state.h"
#include "simulator/wrong_key_limit.h"

namespace zelmar::sim {

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
    // A sealed request not taken: dropped, or answered in clear with a status.
    struct Refusal {
        bool answer = false;
        net::wire::Status status = net::wire::Status::Ok;
        const char* why = "";
        std::uint16_t retryMs = 0;
        static Refusal drop(const char* why) { return {false, net::wire::Status::Ok, why, 0}; }
        static Refusal with(net::wire::Status status, const char* why, std::uint16_t retryMs = 0) {
            return {true, status, why, retryMs};
        }
    };

    Clock::time_point now() const { return now_ ? now_() : Clock::now(); }
    const net::crypto::KeyPair& keyPair();
    // The open-or-refuse decision: the key that opens the request (how its replies
    // are sealed goes into `in`), or why it is not opened.
    std::optional<Refusal> chooseKey(const SimControllerState& state, const net::crypto::EnvelopeInfo& env,
                                     Inbound& in, net::crypto::Key& key);
    // Opens and decodes the request with `key` (then wiped); a wrong key counts against its sender.
    std::optional<Refusal> open(SimControllerState& state, const net::crypto::EnvelopeInfo& env,
                                const std::uint8_t* data, std::size_t size, net::crypto::Key& key,
                                const Endpoint& from, net::wire::Message& m);
    // An opened request against its session: taken once, answered again from memory, or a new challenge.
    Inbound admit(SimControllerState& state, const net::wire::Ethernet& mac, const net::crypto::EnvelopeInfo& env,
                  const Endpoint& from, Inbound in, net::wire::Message m);
    Inbound staleSession(const SimControllerState& state, const net::wire::Ethernet& mac,
                         const net::crypto::EnvelopeInfo& env, const Endpoint& from, Inbound in);

    std::function<Clock::time_point()> now_;
    std::optional<net::crypto::KeyPair> keyPair_;  // made on first use (a real unit: at start)
    SessionTable sessions_;
    ReplyMemory replies_;
    WrongKeyLimit limit_;
};

}  // namespace zelmar::sim
