#pragma once
// Keys of the encrypted protocol (docs/protocol.md, section 7).
//
//   master  = Argon2id(password, fixed application salt)      slow, once per password typed
//   key(c)  = crypto_kdf(master, subkey id = Ethernet address)  fast, one per controller
//
// A controller stores only key(c), never the password or the master, so what
// is read out of one controller opens no other. The slow hash runs on the
// workstation only; its result is kept in a small process-wide cache so that
// a search of a thousand controllers, or a new service object, hashes the
// password once.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/netservice/wire/wire.h"

namespace zelmar::net::crypto {

constexpr std::size_t kKeyBytes = 32;
using Key = std::array<std::uint8_t, kKeyBytes>;

// Argon2id cost: 3 passes over 64 MiB, one lane (the second recommended
// setting of RFC 9106). About 0.1 s on a current laptop.
constexpr unsigned long long kPasswordOpsLimit = 3;
constexpr std::size_t kPasswordMemLimit = std::size_t(64) << 20;

// Makes sure libsodium is initialised; throws std::runtime_error when it cannot be.
void ensureSodium();

// The master key of a password (Argon2id; cached per password value).
// Throws std::runtime_error when the hash cannot get its memory.
Key masterKey(std::string_view password);
// Names a password without holding it: a keyed BLAKE2b digest (the cache finds masters by it).
constexpr std::size_t kPasswordDigestBytes = 32;
using PasswordDigest = std::array<std::uint8_t, kPasswordDigestBytes>;
PasswordDigest passwordDigest(std::string_view password);
// The key one controller stores: derived from the master and its Ethernet address.
Key controllerKey(const Key& master, const wire::Ethernet& ethernet);
// Both steps; what the service sends when a setup sets an encryption password.
Key controllerKeyFromPassword(std::string_view password, const wire::Ethernet& ethernet);

// Key texts in files: 64 hex digits.
std::string toHex(const Key& key);
std::optional<Key> keyFromHex(std::string_view hex);

// Counters of the process (the benchmark reports them).
struct KeyStats {
    std::uint64_t passwordHashes = 0;  // Argon2id runs (cache misses)
    double passwordHashMs = 0;         // time spent in them
    std::uint64_t cacheHits = 0;       // masters served from the cache
    std::uint64_t controllerKeys = 0;  // per-controller derivations
    double controllerKeyMs = 0;        // time spent in them
};
KeyStats keyStats();
// Forgets every cached master key (wiped); tests use it to measure a cold start.
void clearKeyCache();

}  // namespace zelmar::net::crypto
