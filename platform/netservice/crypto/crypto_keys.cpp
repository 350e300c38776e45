#include "platform/netservice/crypto/crypto_keys.h"

#include <sodium.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace zelmar::net::crypto {

namespace {
// The Argon2id salt. Fixed for the application so that one hash serves every
// controller of a site (docs/protocol.md 7.2 says why that is acceptable).
constexpr std::uint8_t kSalt[crypto_pwhash_SALTBYTES] = {'Z', 'e', 'l', 'm', 'a', 'r', ' ', 'N',
                                                         'e', 't', 'K', 'e', 'y', ' ', 'v', '1'};
// crypto_kdf context: 8 bytes naming what the subkeys are for.
constexpr char kKdfContext[crypto_kdf_CONTEXTBYTES] = {'Z', 'L', 'N', 'P', 'c', 't', 'l', '1'};

constexpr std::size_t kCacheSlots = 8;

static_assert(kPasswordDigestBytes == crypto_generichash_BYTES);

struct CacheSlot {
    bool used = false;
    PasswordDigest passwordDigest{};  // not the password itself
    Key master{};
    std::uint64_t lastUse = 0;
};

struct KeyCache {
    std::mutex m;
    // One slow hash at a time: service objects on several threads that need the same
    // password's key wait for the first one's hash and find it cached, instead of each
    // spending a tenth of a second and its memory on the same work.
    std::mutex hashing;
    std::array<CacheSlot, kCacheSlots> slots;
    std::uint64_t clock = 0;
    KeyStats stats;
};

KeyCache& cache() {
    static KeyCache c;
    return c;
}

}  // namespace

PasswordDigest passwordDigest(std::string_view password) {
    ensureSodium();
    PasswordDigest d{};
    crypto_generichash(d.data(), d.size(), reinterpret_cast<const unsigned char*>(password.data()), password.size(),
                       kSalt, sizeof kSalt);
    return d;
}

void ensureSodium() {
    // Once per process: sodium_init takes a lock every time it is called, and every datagram sealed calls this.
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw std::runtime_error("libsodium cannot be initialised");
}

namespace {
bool cachedMaster(KeyCache& c, const PasswordDigest& digest, Key& master) {
    std::lock_guard lock(c.m);
    for (CacheSlot& s : c.slots) {
        if (s.used && sodium_memcmp(s.passwordDigest.data(), digest.data(), digest.size()) == 0) {
            s.lastUse = ++c.clock;
            ++c.stats.cacheHits;
            master = s.master;
            return true;
        }
    }
    return false;
}
}  // namespace

Key masterKey(std::string_view password) {
    ensureSodium();
    const auto digest = passwordDigest(password);
    KeyCache& c = cache();
    Key master{};
    if (cachedMaster(c, digest, master))
        return master;
    // The hash runs outside the cache's lock: it takes a tenth of a second.
    std::lock_guard hashingAlone(c.hashing);
    if (cachedMaster(c, digest, master))
        return master;  // another thread hashed it meanwhile
    const auto t0 = std::chrono::steady_clock::now();
    if (crypto_pwhash(master.data(), master.size(), password.data(), password.size(), kSalt, kPasswordOpsLimit,
                      kPasswordMemLimit, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::runtime_error("the password hash could not get its memory");
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::lock_guard lock(c.m);
    ++c.stats.passwordHashes;
    c.stats.passwordHashMs += ms;
    CacheSlot* slot = &c.slots[0];
    for (CacheSlot& s : c.slots) {
        if (!s.used) {
            slot = &s;
            break;
        }
        if (s.lastUse < slot->lastUse)
            slot = &s;
    }
    sodium_memzero(slot->master.data(), slot->master.size());
    slot->used = true;
    slot->passwordDigest = digest;
    slot->master = master;
    slot->lastUse = ++c.clock;
    return master;
}

Key controllerKey(const Key& master, const wire::Ethernet& ethernet) {
    ensureSodium();
    std::uint64_t id = 0;
    for (std::uint8_t b : ethernet)
        id = (id << 8) | b;
    Key key{};
    const auto t0 = std::chrono::steady_clock::now();
    crypto_kdf_derive_from_key(key.data(), key.size(), id, kKdfContext, master.data());
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    {
        KeyCache& c = cache();
        std::lock_guard lock(c.m);
        ++c.stats.controllerKeys;
        c.stats.controllerKeyMs += ms;
    }
    return key;
}

Key controllerKeyFromPassword(std::string_view password, const wire::Ethernet& ethernet) {
    Key master = masterKey(password);
    const Key key = controllerKey(master, ethernet);
    sodium_memzero(master.data(), master.size());
    return key;
}

std::string toHex(const Key& key) {
    std::string out(key.size() * 2 + 1, '\0');
    sodium_bin2hex(out.data(), out.size(), key.data(), key.size());
    out.pop_back();
    return out;
}

std::optional<Key> keyFromHex(std::string_view hex) {
    if (hex.size() != kKeyBytes * 2)
        return std::nullopt;
    Key key{};
    std::size_t length = 0;
    if (sodium_hex2bin(key.data(), key.size(), hex.data(), hex.size(), nullptr, &length, nullptr) != 0 ||
        length != key.size())
        return std::nullopt;
    return key;
}

KeyStats keyStats() {
    KeyCache& c = cache();
    std::lock_guard lock(c.m);
    return c.stats;
}

void clearKeyCache() {
    KeyCache& c = cache();
    std::lock_guard lock(c.m);
    for (CacheSlot& s : c.slots) {
        sodium_memzero(s.master.data(), s.master.size());
        s = CacheSlot{};
    }
}

}  // namespace zelmar::net::crypto
