#pragma once
// The sealed envelope (docs/protocol.md, section 7): a datagram whose header
// carries the flag Sealed has, instead of its item body,
//
//   kind (1)  Ethernet address (6)  [kind 2: client public key (32)]  nonce (24)  ciphertext (items + 16)
//
// sealed with XChaCha20-Poly1305 (IETF). The header and everything before the
// nonce stay in clear and are the associated data, so none of it can be
// changed either. Kind 1 uses the controller's own key; kind 2 uses keys
// agreed with X25519 (crypto_kx) between a fresh client key pair and the
// public key the controller announces, for the setup that switches
// encryption on while the controller has no key yet.
//
// seal() and open() work on whole datagrams and leave the item codec alone:
// open() gives back the clear datagram (header without Sealed), which
// wire::decode reads as any other.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/netservice/crypto/crypto_keys.h"
#include "platform/netservice/wire/wire.h"

namespace zelmar::net::crypto {

enum class EnvelopeKind : std::uint8_t {
    ControllerKey = 1,  // sealed with the controller's key
    KeyAgreement = 2,   // sealed with keys agreed with the controller's public key
};

constexpr std::size_t kNonceBytes = 24;
constexpr std::size_t kTagBytes = 16;
constexpr std::size_t kPublicKeyBytes = 32;
constexpr std::size_t kChallengeBytes = 16;
using PublicKey = std::array<std::uint8_t, kPublicKeyBytes>;
using Challenge = std::array<std::uint8_t, kChallengeBytes>;

// Bytes a sealed datagram has beyond its clear form.
constexpr std::size_t envelopeOverhead(EnvelopeKind kind) {
    return 1 + 6 + (kind == EnvelopeKind::KeyAgreement ? kPublicKeyBytes : 0) + kNonceBytes + kTagBytes;
}

// What can be read of a sealed datagram without a key.
struct EnvelopeInfo {
    EnvelopeKind kind = EnvelopeKind::ControllerKey;
    wire::MsgType type = wire::MsgType::Search;
    std::uint32_t requestId = 0;
    wire::Ethernet ethernet{};  // the controller: addressee of a request, sender of a reply
    PublicKey clientPublic{};   // kind 2 only
};

// True when the datagram has a well-formed header with the flag Sealed.
bool isSealed(const std::uint8_t* data, std::size_t size);
// The clear parts of a sealed datagram; nullopt when it is not one or is malformed.
std::optional<EnvelopeInfo> peek(const std::uint8_t* data, std::size_t size);

// Seals a clear datagram (as wire::encode makes it). Kind 2 needs the client's
// public key. Empty when the result would exceed wire::kMaxDatagram.
std::vector<std::uint8_t> seal(const std::vector<std::uint8_t>& clear, EnvelopeKind kind,
                               const wire::Ethernet& ethernet, const Key& key, const PublicKey* clientPublic = nullptr);
// The clear datagram, or nullopt when the key does not open it or anything was changed.
std::optional<std::vector<std::uint8_t>> open(const std::uint8_t* data, std::size_t size, const Key& key);

// X25519 key pairs and the keys agreed through them (crypto_kx).
struct KeyPair {
    PublicKey publicKey{};
    std::array<std::uint8_t, 32> secretKey{};
};
KeyPair newKeyPair();
struct SessionKeys {
    Key toController{};  // seals requests
    Key toClient{};      // seals replies
};
std::optional<SessionKeys> clientSessionKeys(const KeyPair& client, const PublicKey& controller);
std::optional<SessionKeys> controllerSessionKeys(const KeyPair& controller, const PublicKey& client);

Challenge newChallenge();
// Wipes secrets held in an array.
void wipe(void* data, std::size_t size);

}  // namespace zelmar::net::crypto
