// The service's half of the encrypted protocol (docs/protocol.md, section 7):
// which requests are sealed and with what, opening sealed replies, sessions
// and their renewal, reading controllers that require encryption, and turning
// an encryption password into the key a setup sends.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/netservice/crypto_client.h"
#include "platform/netservice/net_service.h"
#include "platform/netservice/service_core.h"
#include "platform/netservice/wait_until.h"

namespace zelmar::net {

using platform::Endpoint;
using wire::Message;
using wire::MsgType;

namespace {
constexpr int kMinRetryMs = 20;
constexpr int kMaxRetryMs = 2000;

std::string asText(const crypto::Key& k) { return std::string(reinterpret_cast<const char*>(k.data()), k.size()); }

// Switches encryption on: the held writes ask for it of a controller that can and does not yet.
bool switchesOn(const ServiceCore::Record& r) {
    return !r.info.requireEncryption && (r.info.capabilities & CapEncryption) != 0 && r.held.requireEncryption &&
           *r.held.requireEncryption;
}
}  // namespace

void ServiceCore::setPassword(const std::string& password) {
    if (password == password_)
        return;
    crypto::wipe(password_.data(), password_.size());
    password_ = password;
    ++keys_.generation;  // every controller key is derived anew from the next one
}

const crypto::Key* ServiceCore::keyFor(std::int32_t index) {
    if (password_.empty())
        return nullptr;  // no password: nothing is sealed, a controller that requires encryption says no
    Record& r = records_[std::size_t(index)];
    if (r.peer.keyGeneration != keys_.generation) {
        if (keys_.masterGeneration != keys_.generation) {
            keys_.master = crypto::masterKey(password_);  // the slow hash, once per password (and cached)
            keys_.masterGeneration = keys_.generation;
        }
        r.peer.key = crypto::controllerKey(keys_.master, r.info.ethernet);
        r.peer.keyGeneration = keys_.generation;
    }
    return &r.peer.key;
}

std::string ServiceCore::mustNotSend(std::int32_t index, MsgType type) {
    if (type == MsgType::Search || type == MsgType::SearchAck)
        return {};
    if (records_[std::size_t(index)].info.requireEncryption && !keyFor(index))
        return "it requires encryption and no network password was given";
    return {};
}

std::vector<std::uint8_t> ServiceCore::sealRequest(std::int32_t index, std::vector<std::uint8_t> clear) {
    if (clear.empty())
        return clear;
    Record& r = records_[std::size_t(index)];
    crypto::EnvelopeKind kind = crypto::EnvelopeKind::ControllerKey;
    const crypto::Key* key = nullptr;
    const crypto::PublicKey* ours = nullptr;
    if (r.info.requireEncryption) {
        key = keyFor(index);
    } else if (r.peer.enrolling || switchesOn(r)) {
        // No key on the controller yet: agree one for this setup with the key it announced.
        if (r.peer.publicKey && !r.peer.agreement) {
            r.peer.agreementPair = crypto::newKeyPair();
            r.peer.agreement = crypto::clientSessionKeys(*r.peer.agreementPair, *r.peer.publicKey);
        }
        if (r.peer.agreement) {
            kind = crypto::EnvelopeKind::KeyAgreement;
            key = &r.peer.agreement->toController;
            ours = &r.peer.agreementPair->publicKey;
        }
    }
    if (!key) {
        // Sent in clear as in version 1, but a key or a password never is, nor the
        // settings of a setup that switches encryption on (no key agreement possible).
        Message m;
        if (wire::decode(clear.data(), clear.size(), m) != wire::DecodeError::None)
            return {};
        if (m.has(wire::TagEncryptionKey) || m.has(wire::TagEncryptionPassword))
            return {};
        if (!r.info.requireEncryption && (r.peer.enrolling || switchesOn(r)) &&
            (m.type == MsgType::Setup || m.type == MsgType::CheckNetwork))
            return {};
        return clear;
    }
    if (!r.peer.session) {
        // A new session starts with the controller's last challenge; without one the
        // controller answers Stale with a fresh challenge and the request goes again.
        r.peer.session = r.peer.challenge.value_or(crypto::newChallenge());
        r.peer.challenge.reset();
        r.peer.nextSequence = 1;
    }
    Message session;
    session.add(wire::TagChallenge, std::string(reinterpret_cast<const char*>(r.peer.session->data()),
                                                r.peer.session->size()));
    session.addU32(wire::TagSequence, r.peer.nextSequence++);
    const auto items = wire::encode(session);
    clear.insert(clear.end(), items.begin() + wire::kHeaderSize, items.end());
    const std::size_t body = clear.size() - wire::kHeaderSize;
    clear[12] = std::uint8_t(body >> 8);
    clear[13] = std::uint8_t(body);
    auto sealed = crypto::seal(clear, kind, r.info.ethernet, *key, ours);
    crypto::wipe(clear.data(), clear.size());
    return sealed;
}

bool ServiceCore::decodeReply(const std::uint8_t* data, std::size_t size, Message& msg) {
    if (!crypto::isSealed(data, size)) {
        if (wire::decode(data, size, msg) != wire::DecodeError::None)
            return false;
        // A controller that requires encryption answers in clear only its search replies and
        // its refusals; anything else in clear claiming to be from it is not believed.
        const auto mac = msg.ethernet(wire::TagEthernet);
        const auto it = mac ? byEthernet_.find(*mac) : byEthernet_.end();
        if (it == byEthernet_.end() || !records_[std::size_t(it->second)].info.requireEncryption ||
            msg.type == MsgType::SearchReply)
            return true;
        const auto status = msg.u8(wire::TagStatus);
        return status && (*status == std::uint8_t(wire::Status::Refused) ||
                          *status == std::uint8_t(wire::Status::Later) ||
                          *status == std::uint8_t(wire::Status::Unsupported));
    }
    const auto envelope = crypto::peek(data, size);
    if (!envelope || !wire::isReply(envelope->type))
        return false;
    const auto it = byEthernet_.find(envelope->ethernet);
    if (it == byEthernet_.end())
        return false;
    Record& r = records_[std::size_t(it->second)];
    const crypto::Key* key = nullptr;
    if (envelope->kind == crypto::EnvelopeKind::KeyAgreement)
        key = r.peer.agreement ? &r.peer.agreement->toClient : nullptr;
    else
        key = keyFor(it->second);
    if (!key)
        return false;
    auto clear = crypto::open(data, size, *key);
    if (!clear)
        return false;  // changed on the way, or not from this controller
    const bool ok = wire::decode(clear->data(), clear->size(), msg) == wire::DecodeError::None &&
                    msg.ethernet(wire::TagEthernet) == envelope->ethernet;
    crypto::wipe(clear->data(), clear->size());
    if (ok)
        msg.flags |= wire::FlagSealed;  // as received: callers tell sealed answers from clear ones
    return ok;
}

void ServiceCore::notePeer(std::int32_t index, const Message& reply) {
    Record& r = records_[std::size_t(index)];
    if (const auto challenge = reply.bytes<crypto::kChallengeBytes>(wire::TagChallenge)) {
        // A fresh challenge: the next sealed request starts a new session with it, so a
        // controller that restarted (and forgot our session) costs no extra round trip.
        r.peer.challenge = *challenge;
        r.peer.session.reset();
    }
    const auto publicKey = reply.bytes<crypto::kPublicKeyBytes>(wire::TagPublicKey);
    if (publicKey != r.peer.publicKey) {
        r.peer.publicKey = publicKey;
        r.peer.agreement.reset();
        r.peer.agreementPair.reset();
    }
    // Only its identity came in clear: the rest is read sealed before the search returns.
    r.peer.needsRead = r.info.requireEncryption && !r.info.passwordOk;
}

crypto::ReplyAction ServiceCore::sealedReplyAction(std::int32_t index, const Message& reply,
                                                   std::vector<std::uint8_t>& bytes, std::uint32_t& requestId,
                                                   Clock::time_point& nextSend) {
    if (!crypto::isSealed(bytes.data(), bytes.size()))
        return crypto::ReplyAction::Take;  // a clear exchange, as in version 1
    const auto status = reply.u8(wire::TagStatus);
    if (!(reply.flags & wire::FlagSealed)) {
        // A clear answer to a sealed request: only a refusal is believed (anyone could send an "Ok").
        if (status && *status == std::uint8_t(wire::Status::Later)) {
            const int wait = std::clamp<int>(reply.u16(wire::TagRetryAfterMs).value_or(1000), kMinRetryMs, kMaxRetryMs);
            nextSend = Clock::now() + std::chrono::milliseconds(wait);
            return crypto::ReplyAction::Ignore;
        }
        if (status && (*status == std::uint8_t(wire::Status::Refused) ||
                       *status == std::uint8_t(wire::Status::Unsupported)))
            return crypto::ReplyAction::Take;
        ++stats_.datagramsDropped;
        return crypto::ReplyAction::Ignore;
    }
    if (!status || *status != std::uint8_t(wire::Status::Stale))
        return crypto::ReplyAction::Take;
    // The controller does not know our session (it restarted or forgot it): start a new
    // one with the challenge it sent and seal the request again under a new request id.
    Record& r = records_[std::size_t(index)];
    const auto challenge = reply.bytes<crypto::kChallengeBytes>(wire::TagChallenge);
    if (!challenge)
        return crypto::ReplyAction::Ignore;
    const auto envelope = crypto::peek(bytes.data(), bytes.size());
    const crypto::Key* key = nullptr;
    if (envelope && envelope->kind == crypto::EnvelopeKind::KeyAgreement)
        key = r.peer.agreement ? &r.peer.agreement->toController : nullptr;
    else
        key = keyFor(index);
    if (!key)
        return crypto::ReplyAction::Ignore;
    auto clear = crypto::open(bytes.data(), bytes.size(), *key);
    Message request;
    if (!clear || wire::decode(clear->data(), clear->size(), request) != wire::DecodeError::None)
        return crypto::ReplyAction::Ignore;
    crypto::wipe(clear->data(), clear->size());
    std::erase_if(request.items, [](const auto& item) {
        return item.first == wire::TagChallenge || item.first == wire::TagSequence;
    });
    request.flags = 0;
    request.requestId = nextRequestId();
    r.peer.session = *challenge;
    r.peer.challenge.reset();
    r.peer.nextSequence = 1;
    auto resealed = sealRequest(index, wire::encode(request));
    if (resealed.empty())
        return crypto::ReplyAction::Ignore;
    bytes = std::move(resealed);
    requestId = request.requestId;
    nextSend = Clock::now();
    return crypto::ReplyAction::Resent;
}

bool ServiceCore::renewSession(std::int32_t index, const Message& reply) {
    const auto status = reply.u8(wire::TagStatus);
    const auto challenge = reply.bytes<crypto::kChallengeBytes>(wire::TagChallenge);
    // Only a sealed Stale is believed: it opened with the key, so it is the controller's.
    if (!(reply.flags & wire::FlagSealed) || status != std::uint8_t(wire::Status::Stale) || !challenge)
        return false;
    Record& r = records_[std::size_t(index)];
    r.peer.session = *challenge;
    r.peer.challenge.reset();
    r.peer.nextSequence = 1;
    return true;
}

void ServiceCore::readSealedRecords() {
    std::vector<std::int32_t> todo;
    for (std::size_t i = 0; i < records_.size(); ++i) {
        if (records_[i].peer.needsRead)
            todo.push_back(std::int32_t(i));
        records_[i].peer.needsRead = false;
    }
    if (todo.empty() || password_.empty())
        return;  // without a password they stay as their identity showed them: PasswordOk false

    struct Pending {
        std::int32_t index = 0;
        std::vector<std::uint8_t> bytes;
        std::uint32_t requestId = 0;
        Clock::time_point nextSend{};
        int interval = 0;
        bool done = false;
    };
    std::vector<Pending> pending;
    std::unordered_map<std::uint32_t, std::size_t> byId;
    for (std::int32_t index : todo) {
        Message read;
        read.type = MsgType::Read;
        Pending p;
        p.index = index;
        p.bytes = encodeRequest(index, read);  // sealed: it requires encryption
        if (p.bytes.empty())
            continue;
        p.requestId = read.requestId;
        p.nextSend = Clock::now();
        p.interval = config_.retransmitMs;
        byId[p.requestId] = pending.size();
        pending.push_back(std::move(p));
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(config_.lookupTimeoutMs);
    std::size_t open = pending.size();
    std::size_t sent = 0;
    while (open > 0 && Clock::now() < deadline) {
        auto due = deadline;
        for (Pending& p : pending) {
            if (p.done)
                continue;
            if (Clock::now() >= p.nextSend) {
                sendMessage(records_[std::size_t(p.index)].source, p.bytes);
                p.nextSend = Clock::now() + std::chrono::milliseconds(p.interval);
                p.interval = std::min(p.interval * 2, 1000);
                if (++sent % 64 == 0)
                    socket_->waitReadable(0);  // let the first answers in while a long list goes out
            }
            due = std::min(due, p.nextSend);
        }
        socket_->waitReadable(std::min(msUntil(due), msUntil(deadline)));
        Message msg;
        Endpoint from;
        bool usable = false;
        int taken = 0;
        while (open > 0 && receiveOne(msg, from, usable)) {
            if (++taken % 256 == 0 && Clock::now() >= deadline)
                break;
            if (!usable)
                continue;
            const auto it = byId.find(msg.requestId);
            if (msg.type != MsgType::ReadReply || it == byId.end() || pending[it->second].done) {
                ++stats_.datagramsDropped;
                continue;
            }
            Pending& p = pending[it->second];
            Record& r = records_[std::size_t(p.index)];
            if (msg.ethernet(wire::TagEthernet) != r.info.ethernet) {
                ++stats_.datagramsDropped;
                continue;
            }
            const std::uint32_t oldId = p.requestId;
            const auto action = sealedReplyAction(p.index, msg, p.bytes, p.requestId, p.nextSend);
            if (action == crypto::ReplyAction::Resent) {
                byId.erase(oldId);
                byId[p.requestId] = std::size_t(&p - pending.data());
                continue;
            }
            if (action == crypto::ReplyAction::Ignore)
                continue;
            p.done = true;
            --open;
            r.source = from;
            wire::ControllerInfo info;
            const auto status = msg.u8(wire::TagStatus);
            if ((msg.flags & wire::FlagSealed) && status && *status == std::uint8_t(wire::Status::Ok) &&
                wire::readControllerInfo(msg, info) && info.ethernet == r.info.ethernet) {
                info.passwordOk = true;  // it opened our request and sealed its answer: the password is right
                r.info = std::move(info);
            } else {
                r.info.passwordOk = false;  // refused: the password does not open it
            }
        }
    }
}

void ServiceCore::ensurePublicKey(std::int32_t index) {
    const Record& r = recordForWrite(index);
    if (r.peer.publicKey || r.info.requireEncryption || !(r.peer.enrolling || switchesOn(r)))
        return;
    // Not known (it required encryption at the last search): a search addressed to it
    // brings its description, a challenge and its public key.
    Message search;
    search.type = MsgType::Search;
    const auto reply = exchange(index, std::move(search), MsgType::SearchReply);
    if (reply)
        takeReply(*reply, records_[std::size_t(index)].source);
}

void ServiceCore::prepareSetup(std::int32_t index, wire::SetupFields& fields) {
    Record& r = records_[std::size_t(index)];
    const bool requireAfter = fields.requireEncryption.value_or(r.info.requireEncryption);
    const bool capable = (r.info.capabilities & CapEncryption) != 0;
    // The password itself never leaves: a non-empty one becomes this controller's key. An
    // empty one, or one for a controller that will not require encryption, changes nothing.
    if (fields.encryptionPassword && !fields.encryptionPassword->empty() && requireAfter && capable) {
        crypto::Key key = crypto::controllerKeyFromPassword(*fields.encryptionPassword, r.info.ethernet);
        fields.encryptionKey = asText(key);
        crypto::wipe(key.data(), key.size());
    }
    if (fields.encryptionPassword)
        crypto::wipe(fields.encryptionPassword->data(), fields.encryptionPassword->size());
    fields.encryptionPassword.reset();
    r.peer.enrolling = !r.info.requireEncryption && requireAfter && capable;
    ensurePublicKey(index);
}

void ServiceCore::finishSetup(std::int32_t index, wire::SetupFields& fields) {
    Record& r = records_[std::size_t(index)];
    r.peer.enrolling = false;
    r.peer.agreement.reset();
    r.peer.agreementPair.reset();
    if (r.setupOk) {
        if (!r.info.requireEncryption) {
            r.info.passwordOk = true;
        } else if (fields.encryptionKey) {
            // A new key: the service password gives access only if it is that password.
            const crypto::Key* ours = keyFor(index);
            r.info.passwordOk = ours && fields.encryptionKey->size() == ours->size() &&
                                std::memcmp(fields.encryptionKey->data(), ours->data(), ours->size()) == 0;
        }
    }
    if (fields.encryptionKey)
        crypto::wipe(fields.encryptionKey->data(), fields.encryptionKey->size());
}

}  // namespace zelmar::net
