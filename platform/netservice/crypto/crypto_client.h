#pragma once
// What the service keeps about the encryption of each controller it found:
// the session its sealed requests run in, the key derived from the service
// password, and the key agreement of a setup that switches encryption on.
// The functions that use it are members of ServiceCore (crypto_service.cpp).
#include <cstdint>
#include <optional>

#include "platform/netservice/crypto/crypto_envelope.h"
#include "platform/netservice/crypto/crypto_keys.h"

namespace zelmar::net::crypto {

struct PeerState {
    // The last fresh challenge the controller gave (clear search reply, Stale reply).
    std::optional<Challenge> challenge;
    // Its key-agreement key, announced while it does not require encryption.
    std::optional<PublicKey> publicKey;
    // The session of our sealed requests: the challenge that opened it, the next number.
    std::optional<Challenge> session;
    std::uint32_t nextSequence = 1;
    // This controller's key from the service password (derived once per password).
    std::uint64_t keyGeneration = 0;  // 0: none derived yet
    Key key{};
    // Switching encryption on: agreed keys for the setup and the network check before it.
    bool enrolling = false;
    std::optional<KeyPair> agreementPair;
    std::optional<SessionKeys> agreement;
    // Its clear search reply said it requires encryption: read it sealed before the search returns.
    bool needsRead = false;
};

// The service's side of the password: a generation number that changes with
// every new password, and the master key of the present one.
struct ServiceKeys {
    std::uint64_t generation = 1;
    std::uint64_t masterGeneration = 0;  // generation `master` belongs to (0: none)
    Key master{};
};

// What the service does with a reply to a sealed request.
enum class ReplyAction {
    Take,    // the answer
    Ignore,  // not believable or not final: keep waiting (and resending at nextSend)
    Resent,  // the request was sealed again in a new session; wait for the answer to that
};

}  // namespace zelmar::net::crypto
