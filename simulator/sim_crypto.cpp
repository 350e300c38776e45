#include "simulator/sim_crypto.h"

#include <algorithm>
#include <cstring>

#include "platform/netservice/controller_entry.h"
#include "platform/netservice/crypto_keys.h"
#include "platform/netservice/ipv4.h"

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

// ---- the wrong-key rate limit

void WrongKeyLimit::refill(Bucket& b, Clock::time_point now) {
    if (now > b.last) {
        const double ms = std::chrono::duration<double, std::milli>(now - b.last).count();
        b.tokens = std::min(kBurst, b.tokens + ms / kRefillMs);
    }
    b.last = now;
}

WrongKeyLimit::Bucket& WrongKeyLimit::bucket(std::uint32_t address, Clock::time_point now, bool create) {
    for (Bucket& b : buckets_)
        if (b.used && b.address == address)
            return b;
    if (!create)
        return shared_;  // read-only use: a missing bucket is a full one (see allow)
    // A bucket that has filled up again knows nothing worth keeping: reuse it.
    for (Bucket& b : buckets_) {
        if (b.used)
            refill(b, now);
        if (!b.used || b.tokens >= kBurst) {
            b = Bucket{address, true, kBurst, now};
            return b;
        }
    }
    return shared_;  // every bucket holds recent failures: the rest share one
}

bool WrongKeyLimit::allow(std::uint32_t address, Clock::time_point now, int& retryMs) {
    Bucket* b = nullptr;
    for (Bucket& x : buckets_)
        if (x.used && x.address == address)
            b = &x;
    if (!b) {
        // No failures of its own on record; it still waits while the shared bucket is empty
        // if the table is full of failing addresses.
        bool full = true;
        for (Bucket& x : buckets_) {
            if (x.used)
                refill(x, now);
            if (!x.used || x.tokens >= kBurst)
                full = false;
        }
        if (!full)
            return true;
        b = &shared_;
    }
    refill(*b, now);
    if (b->tokens >= 1 - 1e-9)
        return true;
    retryMs = std::max(1, int((1 - b->tokens) * kRefillMs + 0.999));
    return false;
}

void WrongKeyLimit::failed(std::uint32_t address, Clock::time_point now) {
    Bucket& b = bucket(address, now, true);
    refill(b, now);
    b.tokens = std::max(0.0, b.tokens - 1);
}

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

// ---- sessions and challenges

const crypto::KeyPair& SimCrypto::keyPair() {
    if (!keyPair_)
        keyPair_ = crypto::newKeyPair();
    return *keyPair_;
}

crypto::Challenge SimCrypto::issueChallenge(const Endpoint& client) {
    // At most four open challenges a client (a search asked again); sixteen in all.
    Issued* slot = nullptr;
    int mine = 0;
    Issued* myOldest = nullptr;
    for (Issued& i : issued_) {
        if (i.used && i.client == client) {
            ++mine;
            if (!myOldest || i.issued < myOldest->issued)
                myOldest = &i;
        }
    }
    if (mine >= 4) {
        slot = myOldest;
    } else {
        for (Issued& i : issued_)
            if (!i.used) {
                slot = &i;
                break;
            }
        if (!slot) {
            slot = &issued_[0];
            for (Issued& i : issued_)
                if (i.issued < slot->issued)
                    slot = &i;
        }
    }
    slot->used = true;
    slot->client = client;
    slot->challenge = crypto::newChallenge();
    slot->issued = ++tick_;
    return slot->challenge;
}

SimCrypto::SequenceVerdict SimCrypto::takeSequence(const crypto::Challenge& id, std::uint32_t sequence) {
    if (sequence == 0)
        return SequenceVerdict::Seen;
    for (Session& s : sessions_) {
        if (!s.used || s.id != id)
            continue;
        s.lastUse = ++tick_;
        if (sequence > s.highest) {
            const std::uint32_t shift = sequence - s.highest;
            s.seen = shift >= s.seen.size() ? std::bitset<256>() : (s.seen << shift);
            s.seen.set(0);
            s.highest = sequence;
            return SequenceVerdict::New;
        }
        const std::uint32_t back = s.highest - sequence;
        if (back >= s.seen.size() || s.seen.test(back))
            return SequenceVerdict::Seen;  // too old to tell, or arrived before: a replay
        s.seen.set(back);
        return SequenceVerdict::New;
    }
    // Not a session yet: it must be a challenge we gave out and nobody has used.
    for (Issued& i : issued_) {
        if (!i.used || i.challenge != id)
            continue;
        i.used = false;  // a challenge opens one session, once
        Session* slot = &sessions_[0];
        for (Session& s : sessions_)
            if (!s.used || (slot->used && s.lastUse < slot->lastUse))
                slot = &s;
        *slot = Session{};
        slot->used = true;
        slot->id = id;
        slot->highest = sequence;
        slot->seen.set(0);
        slot->lastUse = ++tick_;
        return SequenceVerdict::New;
    }
    return SequenceVerdict::UnknownSession;
}

std::vector<std::uint8_t> SimCrypto::clearAnswer(MsgType requestType, std::uint32_t requestId,
                                                 const SimControllerState& state, const wire::Ethernet& mac,
                                                 Status status, std::uint16_t retryMs) {
    const std::uint8_t replyType = std::uint8_t(requestType) | wire::kReplyBit;
    if (!wire::isKnownType(replyType))
        return {};  // a request without a reply (an abort): nothing to say
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

// ---- datagrams in and out

SimCrypto::Inbound SimCrypto::receive(SimControllerState& state, const wire::Ethernet& mac,
                                      const std::uint8_t* data, std::size_t size, const Endpoint& from) {
    Inbound in;
    if (!crypto::isSealed(data, size))
        return in;
    auto drop = [&in](const char* why) {
        in.kind = Inbound::Drop;
        in.why = why;
        return in;
    };
    const auto env = crypto::peek(data, size);
    if (!env)
        return drop("malformed sealed envelope");
    if (env->ethernet != mac)
        return drop("for another controller");
    if (wire::isReply(env->type))
        return drop("a reply sent to a controller");
    auto answer = [&](Status status, const char* why, std::uint16_t retryMs = 0) {
        in.answer = clearAnswer(env->type, env->requestId, state, mac, status, retryMs);
        in.kind = in.answer.empty() ? Inbound::Drop : Inbound::Answer;
        in.why = why;
        return in;
    };
    if (!capable(state))
        return answer(Status::Unsupported, "sealed request refused: no encryption support");

    crypto::Key key{};
    if (env->kind == crypto::EnvelopeKind::ControllerKey) {
        const auto stored = crypto::keyFromHex(state.encryptionKey);
        if (!state.requireEncryption || !stored)
            return answer(Status::Refused, "sealed request refused: no key (encryption not required)");
        key = *stored;
        in.replyKey = key;
    } else {
        // Only a controller without a key agrees one; a key is changed under the old one.
        if (state.requireEncryption)
            return answer(Status::Refused, "key agreement refused: encryption is required");
        const auto agreed = crypto::controllerSessionKeys(keyPair(), env->clientPublic);
        if (!agreed)
            return drop("unusable public key");
        key = agreed->toController;
        in.replyKey = agreed->toClient;
        in.clientPublic = env->clientPublic;
    }
    in.envelope = env->kind;

    int retryMs = 0;
    if (!limit_.allow(from.address, now(), retryMs)) {
        ++state.rateLimited;
        return answer(Status::Later, "sealed request not tried: too many wrong keys from this address",
                      std::uint16_t(std::min(retryMs, 65535)));
    }
    auto clear = crypto::open(data, size, key);
    crypto::wipe(key.data(), key.size());
    if (!clear) {
        limit_.failed(from.address, now());
        ++state.wrongKeys;
        if (env->kind == crypto::EnvelopeKind::ControllerKey)
            return answer(Status::Refused, "sealed request does not open: wrong key or changed on the way");
        return drop("sealed request does not open: changed on the way");
    }
    Message m;
    const bool decoded = wire::decode(clear->data(), clear->size(), m) == wire::DecodeError::None;
    crypto::wipe(clear->data(), clear->size());
    if (!decoded)
        return drop("sealed body malformed");
    if (m.ethernet(wire::TagTargetEthernet) != mac)
        return drop("sealed request without our target");
    const auto session = m.bytes<crypto::kChallengeBytes>(wire::TagChallenge);
    const auto sequence = m.u32(wire::TagSequence);
    if (!session || !sequence)
        return drop("sealed request without a session");

    switch (takeSequence(*session, *sequence)) {
    case SequenceVerdict::New:
        in.kind = Inbound::Opened;
        in.msg = std::move(m);
        in.session = *session;
        in.sequence = *sequence;
        ++state.sealedRequests;
        return in;
    case SequenceVerdict::Seen:
        for (const Cached& c : cache_) {
            if (!c.reply.empty() && c.client == from && c.session == *session && c.sequence == *sequence) {
                in.kind = Inbound::Answer;
                in.answer = c.reply;  // our answer was lost: the same answer again, nothing done twice
                in.why = "sealed request repeated: answered from memory";
                return in;
            }
        }
        ++state.replaysRefused;
        return drop("sealed request replayed");
    case SequenceVerdict::UnknownSession:
        break;
    }
    // A request of a session we do not know (we restarted, or forgot it): tell the
    // sender, sealed, which challenge to start a new session with.
    const std::uint8_t replyType = std::uint8_t(env->type) | wire::kReplyBit;
    if (!wire::isKnownType(replyType))
        return drop("sealed request of an unknown session");
    Message stale;
    stale.type = MsgType(replyType);
    stale.requestId = env->requestId;
    stale.addU8(wire::TagStatus, std::uint8_t(Status::Stale));
    stale.add(wire::TagSerialNo, state.serialNo);
    stale.addEthernet(wire::TagEthernet, mac);
    const auto fresh = issueChallenge(from);
    stale.add(wire::TagChallenge, bytesOf(fresh.data(), fresh.size()));
    in.answer = crypto::seal(wire::encode(stale), in.envelope, mac, in.replyKey,
                             in.envelope == crypto::EnvelopeKind::KeyAgreement ? &in.clientPublic : nullptr);
    in.kind = in.answer.empty() ? Inbound::Drop : Inbound::Answer;
    in.why = "sealed request of an unknown session: a new challenge";
    return in;
}

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
    for (const Cached& c : cache_)
        if (!c.reply.empty() && c.client == from && c.session == in.session && c.sequence == in.sequence)
            return;
    cache_[nextCache_] = Cached{from, in.session, in.sequence, bytes};
    nextCache_ = (nextCache_ + 1) % cache_.size();
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
    const auto challenge = issueChallenge(from);
    reply.add(wire::TagChallenge, bytesOf(challenge.data(), challenge.size()));
    if (!state.requireEncryption)
        reply.add(wire::TagPublicKey, bytesOf(keyPair().publicKey.data(), crypto::kPublicKeyBytes));
}

}  // namespace zelmar::sim
