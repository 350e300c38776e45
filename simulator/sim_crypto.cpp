#include "simulator/sim_crypto.h"

#include <algorithm>
#include <cstring>

#include "platform/netservice/controller_entry.h"
#include "platform/netservice/crypto/crypto_keys.h"
#include "platform/netservice/wire/ipv4.h"

namespace zelmar::sim {

namespace wire = net::wire;
namespace crypto = net::crypto;
using wire::Message;
using wire::MsgType;
using wire::Status;

namespace {
std::string bytesOf(const std::uint8_t* p, std::size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

std::string ip4(const std::string& text) {
    const std::uint32_t a = net::ipv4::parse(text).value_or(0);
    return std::string{char(a >> 24), char((a >> 16) & 0xFF), char((a >> 8) & 0xFF), char(a & 0xFF)};
}

bool capable(const SimControllerState& s) { return (s.capabilities & net::CapEncryption) != 0; }
}  // namespace

// ---- state and setup

void SimCrypto::adoptPassword(SimControllerState& s) {
    if (s.encryptionPassword.empty())
        return;
    if (const auto mac = wire::parseEthernet(s.ethernetAddress)) {
        crypto::Key key = crypto::controllerKeyFromPassword(s.encryptionPassword, *mac);
        s.encryptionKey = crypto::toHex(key);
        crypto::wipe(key.data(), key.size());
    }
    crypto::wipe(s.encryptionPassword.data(), s.encryptionPassword.size());
    s.encryptionPassword.clear();  // a controller keeps the key, never the password
}

bool SimCrypto::validState(const SimControllerState& s, std::string* why) {
    auto fail = [&](const std::string& w) {
        if (why)
            *why = s.serialNo + ": " + w;
        return false;
    };
    if (!s.encryptionKey.empty() && !crypto::keyFromHex(s.encryptionKey))
        return fail("encryptionKey must be 64 hex digits");
    if (s.requireEncryption && !capable(s))
        return fail("requires encryption, but its capabilities lack the bit value 8");
    if (s.requireEncryption && s.encryptionKey.empty() && s.encryptionPassword.empty())
        return fail("requires encryption, but has neither encryptionPassword nor encryptionKey");
    return true;
}

SetupVerdict SimCrypto::checkSetup(const SimControllerState& current, const wire::SetupFields& f,
                                   SimControllerState& result) {
    // A password is never taken, not even sealed: a setup brings the key derived from it.
    if (f.encryptionPassword && !f.encryptionPassword->empty())
        return {Status::Refused, wire::TagEncryptionPassword};
    const bool requireAfter = f.requireEncryption.value_or(current.requireEncryption);
    if (requireAfter && !capable(current))
        return {Status::Unsupported, wire::TagRequireEncryption};
    if (f.encryptionKey && !capable(current))
        return {Status::Unsupported, wire::TagEncryptionKey};
    std::string key = current.encryptionKey;
    if (f.encryptionKey) {
        crypto::Key k{};
        std::memcpy(k.data(), f.encryptionKey->data(), std::min(k.size(), f.encryptionKey->size()));
        key = crypto::toHex(k);
        crypto::wipe(k.data(), k.size());
    }
    if (requireAfter && key.empty())
        return {Status::Invalid, wire::TagEncryptionKey};  // nothing to encrypt with
    result.requireEncryption = requireAfter;
    result.encryptionKey = requireAfter ? key : std::string();  // switched off: the key is forgotten
    return {};
}

// ---- datagrams in

namespace {
// The clear answer to a request not taken; empty for a request that has no reply (an abort).
std::vector<std::uint8_t> clearAnswer(MsgType requestType, std::uint32_t requestId, const SimControllerState& state,
                                      const wire::Ethernet& mac, Status status, std::uint16_t retryMs = 0) {
    const std::uint8_t replyType = std::uint8_t(requestType) | wire::kReplyBit;
    if (!wire::isKnownType(replyType))
        return {};
    Message m;
    m.type = MsgType(replyType);
    m.requestId = requestId;
    m.addU8(wire::TagStatus, std::uint8_t(status));
    m.add(wire::TagSerialNo, state.serialNo);
    m.addEthernet(wire::TagEthernet, mac);
    if (status == Status::Later)
        m.addU16(wire::TagRetryAfterMs, retryMs);
    return wire::encode(m);
}

// Why a sealed datagram cannot be a request for this controller; nullptr when it can.
const char* envelopeProblem(const std::optional<crypto::EnvelopeInfo>& env, const wire::Ethernet& mac) {
    if (!env)
        return "malformed sealed envelope";
    if (env->ethernet != mac)
        return "for another controller";
    if (wire::isReply(env->type))
        return "a reply sent to a controller";
    return nullptr;
}

SimCrypto::Inbound answered(std::vector<std::uint8_t> answer, const char* why) {
    SimCrypto::Inbound in;
    in.kind = answer.empty() ? SimCrypto::Inbound::Drop : SimCrypto::Inbound::Answer;
    in.answer = std::move(answer);
    in.why = why;
    return in;
}

SimCrypto::Inbound dropped(const char* why) { return answered({}, why); }
}  // namespace

const crypto::KeyPair& SimCrypto::keyPair() {
    if (!keyPair_)
        keyPair_ = crypto::newKeyPair();
    return *keyPair_;
}

SimCrypto::Inbound SimCrypto::receive(SimControllerState& state, const wire::Ethernet& mac,
                                      const std::uint8_t* data, std::size_t size, const Endpoint& from) {
    if (!crypto::isSealed(data, size))
        return {};
    const auto env = crypto::peek(data, size);
    if (const char* why = envelopeProblem(env, mac))
        return dropped(why);
    Inbound in;
    crypto::Key key{};
    Message m;
    auto refusal = chooseKey(state, *env, in, key);
    if (!refusal)
        refusal = open(state, *env, data, size, key, from, m);
    if (refusal && refusal->answer)
        return answered(clearAnswer(env->type, env->requestId, state, mac, refusal->status, refusal->retryMs),
                        refusal->why);
    if (refusal)
        return dropped(refusal->why);
    if (m.ethernet(wire::TagTargetEthernet) != mac)
        return dropped("sealed request without our target");
    return admit(state, mac, *env, from, std::move(in), std::move(m));
}

std::optional<SimCrypto::Refusal> SimCrypto::chooseKey(const SimControllerState& state,
                                                       const crypto::EnvelopeInfo& env, Inbound& in, crypto::Key& key) {
    if (!capable(state))
        return Refusal::with(Status::Unsupported, "sealed request refused: no encryption support");
    in.envelope = env.kind;
    if (env.kind == crypto::EnvelopeKind::ControllerKey) {
        const auto stored = crypto::keyFromHex(state.encryptionKey);
        if (!state.requireEncryption || !stored)
            return Refusal::with(Status::Refused, "sealed request refused: no key (encryption not required)");
        key = in.replyKey = *stored;
        return std::nullopt;
    }
    // Only a controller without a key agrees one; a key is changed under the old one.
    if (state.requireEncryption)
        return Refusal::with(Status::Refused, "key agreement refused: encryption is required");
    const auto agreed = crypto::controllerSessionKeys(keyPair(), env.clientPublic);
    if (!agreed)
        return Refusal::drop("unusable public key");
    key = agreed->toController;
    in.replyKey = agreed->toClient;
    in.clientPublic = env.clientPublic;
    return std::nullopt;
}

std::optional<SimCrypto::Refusal> SimCrypto::open(SimControllerState& state, const crypto::EnvelopeInfo& env,
                                                  const std::uint8_t* data, std::size_t size, crypto::Key& key,
                                                  const Endpoint& from, Message& m) {
    int retryMs = 0;
    if (!limit_.allow(from.address, now(), retryMs)) {
        ++state.rateLimited;
        return Refusal::with(Status::Later, "sealed request not tried: too many wrong keys from this address",
                             std::uint16_t(std::min(retryMs, 65535)));
    }
    auto clear = crypto::open(data, size, key);
    crypto::wipe(key.data(), key.size());
    if (!clear) {
        limit_.failed(from.address, now());
        ++state.wrongKeys;
        if (env.kind == crypto::EnvelopeKind::ControllerKey)
            return Refusal::with(Status::Refused, "sealed request does not open: wrong key or changed on the way");
        return Refusal::drop("sealed request does not open: changed on the way");
    }
    const bool decoded = wire::decode(clear->data(), clear->size(), m) == wire::DecodeError::None;
    crypto::wipe(clear->data(), clear->size());
    if (!decoded)
        return Refusal::drop("sealed body malformed");
    return std::nullopt;
}

SimCrypto::Inbound SimCrypto::admit(SimControllerState& state, const wire::Ethernet& mac,
                                    const crypto::EnvelopeInfo& env, const Endpoint& from, Inbound in, Message m) {
    const auto session = m.bytes<crypto::kChallengeBytes>(wire::TagChallenge);
    const auto sequence = m.u32(wire::TagSequence);
    if (!session || !sequence)
        return dropped("sealed request without a session");
    switch (sessions_.take(*session, *sequence)) {
    case SessionTable::Verdict::New:
        in.kind = Inbound::Opened;
        in.msg = std::move(m);
        in.session = *session;
        in.sequence = *sequence;
        ++state.sealedRequests;
        return in;
    case SessionTable::Verdict::Seen:
        // Our answer was lost: the same answer again, nothing done twice.
        if (const auto* reply = replies_.find(from, *session, *sequence))
            return answered(*reply, "sealed request repeated: answered from memory");
        ++state.replaysRefused;
        return dropped("sealed request replayed");
    case SessionTable::Verdict::UnknownSession:
        break;
    }
    return staleSession(state, mac, env, from, std::move(in));
}

SimCrypto::Inbound SimCrypto::staleSession(const SimControllerState& state, const wire::Ethernet& mac,
                                           const crypto::EnvelopeInfo& env, const Endpoint& from, Inbound in) {
    // A request of a session we do not know (we restarted, or forgot it): tell the
    // sender, sealed, which challenge to start a new session with.
    const std::uint8_t replyType = std::uint8_t(env.type) | wire::kReplyBit;
    if (!wire::isKnownType(replyType))
        return dropped("sealed request of an unknown session");
    Message stale;
    stale.type = MsgType(replyType);
    stale.requestId = env.requestId;
    stale.addU8(wire::TagStatus, std::uint8_t(Status::Stale));
    stale.add(wire::TagSerialNo, state.serialNo);
    stale.addEthernet(wire::TagEthernet, mac);
    const auto fresh = sessions_.issue(from);
    stale.add(wire::TagChallenge, bytesOf(fresh.data(), fresh.size()));
    return answered(crypto::seal(wire::encode(stale), in.envelope, mac, in.replyKey,
                                 in.envelope == crypto::EnvelopeKind::KeyAgreement ? &in.clientPublic : nullptr),
                    "sealed request of an unknown session: a new challenge");
}

// ---- datagrams out

std::optional<std::vector<std::uint8_t>> SimCrypto::refuseClear(const SimControllerState& state,
                                                                 const wire::Ethernet& mac, const Message& m) {
    const bool keyInClear = m.has(wire::TagEncryptionKey);
    if (m.type != MsgType::Read && !keyInClear &&
        (!state.requireEncryption || m.type == MsgType::Search || m.type == MsgType::SearchAck))
        return std::nullopt;
    // A key never travels in clear, a read is always sealed, and a controller that requires
    // encryption takes nothing else in clear.
    return clearAnswer(m.type, m.requestId, state, mac, Status::Refused);
}

void SimCrypto::sealReply(std::vector<std::uint8_t>& bytes, const Inbound& in, const wire::Ethernet& mac,
                          const Endpoint& from) {
    auto sealed = crypto::seal(bytes, in.envelope, mac, in.replyKey,
                               in.envelope == crypto::EnvelopeKind::KeyAgreement ? &in.clientPublic : nullptr);
    crypto::wipe(bytes.data(), bytes.size());
    bytes = std::move(sealed);
    replies_.keep(from, in.session, in.sequence, bytes);
}

void SimCrypto::describe(Message& reply, const wire::ControllerInfo& full, const SimControllerState& state,
                         const Endpoint& from) {
    if (state.requireEncryption) {
        // Without the key only who it is: nothing of its settings beyond the present address.
        reply.add(wire::TagSerialNo, full.serialNo);
        reply.addEthernet(wire::TagEthernet, full.ethernet);
        reply.add(wire::TagIpAddress, ip4(state.ipAddress));
        reply.addU16(wire::TagModelCode, std::uint16_t(full.modelCode));
        reply.addU8(wire::TagRequireEncryption, 1);
        reply.addU32(wire::TagCapabilities, full.capabilities);
        reply.addU8(wire::TagPasswordOk, 0);
    } else {
        wire::putControllerInfo(reply, full);
    }
    if (!capable(state))
        return;
    const auto challenge = sessions_.issue(from);
    reply.add(wire::TagChallenge, bytesOf(challenge.data(), challenge.size()));
    if (!state.requireEncryption)
        reply.add(wire::TagPublicKey, bytesOf(keyPair().publicKey.data(), crypto::kPublicKeyBytes));
}

}  // namespace zelmar::sim
