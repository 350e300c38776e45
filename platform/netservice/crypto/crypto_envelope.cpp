#include "platform/netservice/crypto/crypto_envelope.h"

#include <sodium.h>

#include <array>
#include <cstring>

namespace zelmar::net::crypto {

namespace {
static_assert(kNonceBytes == crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
static_assert(kTagBytes == crypto_aead_xchacha20poly1305_ietf_ABYTES);
static_assert(kKeyBytes == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);
static_assert(kPublicKeyBytes == crypto_kx_PUBLICKEYBYTES);
static_assert(kKeyBytes == crypto_kx_SESSIONKEYBYTES);

std::uint16_t be16(const std::uint8_t* p) { return std::uint16_t((p[0] << 8) | p[1]); }

// The header fields every datagram must get right before anything else is looked at.
bool headerOk(const std::uint8_t* data, std::size_t size) {
    if (size < wire::kHeaderSize || size > wire::kMaxDatagram)
        return false;
    if (std::memcmp(data, wire::kMagic, 4) != 0 || data[4] != wire::kVersion || !wire::isKnownType(data[5]))
        return false;
    const std::uint16_t flags = be16(data + 6);
    if ((flags & ~wire::FlagKnownFlags) != 0 || be16(data + 14) != 0)
        return false;
    return be16(data + 12) == size - wire::kHeaderSize;
}

std::size_t prefixSize(EnvelopeKind kind) { return 1 + 6 + (kind == EnvelopeKind::KeyAgreement ? kPublicKeyBytes : 0); }

// A fresh random nonce. The system's random source is asked for many at once: a transfer
// seals thousands of datagrams, and one system call each would cost more than the sealing.
void newNonce(std::uint8_t* nonce) {
    constexpr std::size_t kBatch = 64;
    thread_local std::array<std::uint8_t, kBatch * kNonceBytes> pool;
    thread_local std::size_t used = kBatch;
    if (used == kBatch) {
        randombytes_buf(pool.data(), pool.size());
        used = 0;
    }
    std::uint8_t* taken = pool.data() + used++ * kNonceBytes;
    std::memcpy(nonce, taken, kNonceBytes);
    sodium_memzero(taken, kNonceBytes);  // each is handed out once
}
}  // namespace

bool isSealed(const std::uint8_t* data, std::size_t size) {
    return headerOk(data, size) && (be16(data + 6) & wire::FlagSealed) != 0;
}

std::optional<EnvelopeInfo> peek(const std::uint8_t* data, std::size_t size) {
    if (!isSealed(data, size))
        return std::nullopt;
    const std::uint8_t* body = data + wire::kHeaderSize;
    const std::size_t bodySize = size - wire::kHeaderSize;
    if (bodySize < 1)
        return std::nullopt;
    EnvelopeInfo e;
    if (body[0] != std::uint8_t(EnvelopeKind::ControllerKey) && body[0] != std::uint8_t(EnvelopeKind::KeyAgreement))
        return std::nullopt;
    e.kind = EnvelopeKind(body[0]);
    if (bodySize < prefixSize(e.kind) + kNonceBytes + kTagBytes)
        return std::nullopt;
    e.type = wire::MsgType(data[5]);
    e.requestId = (std::uint32_t(data[8]) << 24) | (std::uint32_t(data[9]) << 16) | (std::uint32_t(data[10]) << 8) | data[11];
    std::memcpy(e.ethernet.data(), body + 1, 6);
    if (e.kind == EnvelopeKind::KeyAgreement)
        std::memcpy(e.clientPublic.data(), body + 7, kPublicKeyBytes);
    return e;
}

std::vector<std::uint8_t> seal(const std::vector<std::uint8_t>& clear, EnvelopeKind kind,
                               const wire::Ethernet& ethernet, const Key& key, const PublicKey* clientPublic) {
    ensureSodium();
    if (clear.size() < wire::kHeaderSize || (kind == EnvelopeKind::KeyAgreement && !clientPublic))
        return {};
    const std::size_t items = clear.size() - wire::kHeaderSize;
    const std::size_t prefix = prefixSize(kind);
    const std::size_t body = prefix + kNonceBytes + items + kTagBytes;
    if (wire::kHeaderSize + body > wire::kMaxDatagram)
        return {};
    std::vector<std::uint8_t> out(wire::kHeaderSize + body);
    std::memcpy(out.data(), clear.data(), wire::kHeaderSize);
    const std::uint16_t flags = std::uint16_t(be16(clear.data() + 6) | wire::FlagSealed);
    out[6] = std::uint8_t(flags >> 8);
    out[7] = std::uint8_t(flags);
    out[12] = std::uint8_t(body >> 8);
    out[13] = std::uint8_t(body);
    std::uint8_t* p = out.data() + wire::kHeaderSize;
    p[0] = std::uint8_t(kind);
    std::memcpy(p + 1, ethernet.data(), 6);
    if (kind == EnvelopeKind::KeyAgreement)
        std::memcpy(p + 7, clientPublic->data(), kPublicKeyBytes);
    std::uint8_t* nonce = p + prefix;
    newNonce(nonce);  // random 192-bit nonces never repeat in practice
    // Associated data: the header and the clear envelope prefix.
    const std::size_t adSize = wire::kHeaderSize + prefix;
    unsigned long long written = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(nonce + kNonceBytes, &written, clear.data() + wire::kHeaderSize, items,
                                               out.data(), adSize, nullptr, nonce, key.data());
    out.resize(wire::kHeaderSize + prefix + kNonceBytes + std::size_t(written));
    return out;
}

std::optional<std::vector<std::uint8_t>> open(const std::uint8_t* data, std::size_t size, const Key& key) {
    ensureSodium();
    const auto info = peek(data, size);
    if (!info)
        return std::nullopt;
    const std::size_t prefix = prefixSize(info->kind);
    const std::uint8_t* nonce = data + wire::kHeaderSize + prefix;
    const std::uint8_t* cipher = nonce + kNonceBytes;
    const std::size_t cipherSize = size - wire::kHeaderSize - prefix - kNonceBytes;
    std::vector<std::uint8_t> clear(wire::kHeaderSize + cipherSize - kTagBytes);
    unsigned long long written = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(clear.data() + wire::kHeaderSize, &written, nullptr, cipher,
                                                   cipherSize, data, wire::kHeaderSize + prefix, nonce,
                                                   key.data()) != 0)
        return std::nullopt;
    std::memcpy(clear.data(), data, wire::kHeaderSize);
    const std::uint16_t flags = std::uint16_t(be16(data + 6) & ~wire::FlagSealed);
    clear[6] = std::uint8_t(flags >> 8);
    clear[7] = std::uint8_t(flags);
    clear.resize(wire::kHeaderSize + std::size_t(written));
    const std::size_t items = clear.size() - wire::kHeaderSize;
    if (items > 0xFFFF)
        return std::nullopt;
    clear[12] = std::uint8_t(items >> 8);
    clear[13] = std::uint8_t(items);
    return clear;
}

KeyPair newKeyPair() {
    ensureSodium();
    KeyPair k;
    crypto_kx_keypair(k.publicKey.data(), k.secretKey.data());
    return k;
}

std::optional<SessionKeys> clientSessionKeys(const KeyPair& client, const PublicKey& controller) {
    ensureSodium();
    SessionKeys s;
    // crypto_kx: the client receives with rx and sends with tx.
    if (crypto_kx_client_session_keys(s.toClient.data(), s.toController.data(), client.publicKey.data(),
                                      client.secretKey.data(), controller.data()) != 0)
        return std::nullopt;
    return s;
}

std::optional<SessionKeys> controllerSessionKeys(const KeyPair& controller, const PublicKey& client) {
    ensureSodium();
    SessionKeys s;
    if (crypto_kx_server_session_keys(s.toController.data(), s.toClient.data(), controller.publicKey.data(),
                                      controller.secretKey.data(), client.data()) != 0)
        return std::nullopt;
    return s;
}

Challenge newChallenge() {
    ensureSodium();
    Challenge c;
    randombytes_buf(c.data(), c.size());
    return c;
}

void wipe(void* data, std::size_t size) { sodium_memzero(data, size); }

}  // namespace zelmar::net::crypto
