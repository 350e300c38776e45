// The service's half of the encrypted protocol (docs/protocol.md, section 7):
// which requests are sealed and with what, opening sealed replies, sessions
// and their renewal, reading controllers that require encryption, and turning
// an encryption password into the key a setup sends.
#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/netservice/crypto/clear_rules.h"
#include "platform/netservice/crypto/crypto_client.h"
#include "platform/netservice/net_service.h"
#include "platform/netservice/crypto/sealed_reads.h"
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
    const Sealing sealing = sealingFor(index);
    if (!sealing.key) {
        const Record& r = records_[std::size_t(index)];
        const bool switchingOn = !r.info.requireEncryption && (r.peer.enrolling || switchesOn(r));
        return mayGoInClear(clear, switchingOn) ? clear : std::vector<std::uint8_t>{};
    }
    addSessionItems(index, clear);
    auto sealed = crypto::seal(clear, sealing.kind, records_[std::size_t(index)].info.ethernet, *sealing.key,
                               sealing.ours);
    crypto::wipe(clear.data(), clear.size());
    return sealed;
}

ServiceCore::Sealing ServiceCore::sealingFor(std::int32_t index) {
    Record& r = records_[std::size_t(index)];
    if (r.info.requireEncryption)
        return {crypto::EnvelopeKind::ControllerKey, keyFor(index), nullptr};
    if (!(r.peer.enrolling || switchesOn(r)))
        return {};
    // No key on the controller yet: agree one for this setup with the key it announced.
    if (r.peer.publicKey && !r.peer.agreement) {
        r.peer.agreementPair = crypto::newKeyPair();
        r.peer.agreement = crypto::clientSessionKeys(*r.peer.agreementPair, *r.peer.publicKey);
    }
    if (!r.peer.agreement)
        return {};
    return {crypto::EnvelopeKind::KeyAgreement, &r.peer.agreement->toController, &r.peer.agreementPair->publicKey};
}

void ServiceCore::addSessionItems(std::int32_t index, std::vector<std::uint8_t>& clear) {
    Record& r = records_[std::size_t(index)];
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
}

const crypto::Key* ServiceCore::envelopeKey(std::int32_t index, crypto::EnvelopeKind kind, bool toController) {
    if (kind != crypto::EnvelopeKind::KeyAgreement)
        return keyFor(index);
    const auto& agreement = records_[std::size_t(index)].peer.agreement;
    if (!agreement)
        return nullptr;
    return toController ? &agreement->toController : &agreement->toClient;
}

bool ServiceCore::decodeReply(const std::uint8_t* data, std::size_t size, Message& msg) {
    return crypto::isSealed(data, size) ? openSealedReply(data, size, msg) : decodeClearReply(data, size, msg);
}

bool ServiceCore::decodeClearReply(const std::uint8_t* data, std::size_t size, Message& msg) {
    if (wire::decode(data, size, msg) != wire::DecodeError::None)
        return false;
    const auto mac = msg.ethernet(wire::TagEthernet);
    const auto it = mac ? byEthernet_.find(*mac) : byEthernet_.end();
    return believedInClear(msg, it != byEthernet_.end() && records_[std::size_t(it->second)].info.requireEncryption);
}

bool ServiceCore::openSealedReply(const std::uint8_t* data, std::size_t size, Message& msg) {
    const auto envelope = crypto::peek(data, size);
    if (!envelope || !wire::isReply(envelope->type))
        return false;
    const auto it = byEthernet_.find(envelope->ethernet);
    if (it == byEthernet_.end())
        return false;
    const crypto::Key* key = envelopeKey(it->second, envelope->kind, false);
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

crypto::ReplyAction ServiceCore::sealedReplyAction(const Message& reply, PendingRequest& request) {
    if (!crypto::isSealed(request.bytes.data(), request.bytes.size()))
        return crypto::ReplyAction::Take;  // a clear exchange, as in version 1
    const auto status = reply.u8(wire::TagStatus);
    if (!(reply.flags & wire::FlagSealed)) {
        // A clear answer to a sealed request: only a refusal is believed (anyone could send an "Ok").
        if (status && *status == std::uint8_t(wire::Status::Later)) {
            const int wait = std::clamp<int>(reply.u16(wire::TagRetryAfterMs).value_or(1000), kMinRetryMs, kMaxRetryMs);
            request.resend.next = Clock::now() + std::chrono::milliseconds(wait);
            return crypto::ReplyAction::Ignore;
        }
        if (isRefusal(status))
            return crypto::ReplyAction::Take;
        ++stats_.datagramsDropped;
        return crypto::ReplyAction::Ignore;
    }
    if (!status || *status != std::uint8_t(wire::Status::Stale))
        return crypto::ReplyAction::Take;
    // The controller does not know our session (it restarted or forgot it): start a new
    // one with the challenge it sent and seal the request again under a new request id.
    const auto challenge = reply.bytes<crypto::kChallengeBytes>(wire::TagChallenge);
    if (!challenge || !resealInNewSession(request, *challenge))
        return crypto::ReplyAction::Ignore;
    return crypto::ReplyAction::Resent;
}

bool ServiceCore::resealInNewSession(PendingRequest& request, const crypto::Challenge& challenge) {
    Record& r = records_[std::size_t(request.index)];
    const auto envelope = crypto::peek(request.bytes.data(), request.bytes.size());
    const crypto::Key* key =
        envelopeKey(request.index, envelope ? envelope->kind : crypto::EnvelopeKind::ControllerKey, true);
    if (!key)
        return false;
    auto clear = crypto::open(request.bytes.data(), request.bytes.size(), *key);
    Message again;
    if (!clear || wire::decode(clear->data(), clear->size(), again) != wire::DecodeError::None)
        return false;
    crypto::wipe(clear->data(), clear->size());
    std::erase_if(again.items, [](const auto& item) {
        return item.first == wire::TagChallenge || item.first == wire::TagSequence;
    });
    again.flags = 0;
    again.requestId = nextRequestId();
    r.peer.session = challenge;
    r.peer.challenge.reset();
    r.peer.nextSequence = 1;
    auto resealed = sealRequest(request.index, wire::encode(again));
    if (resealed.empty())
        return false;
    request.bytes = std::move(resealed);
    request.requestId = again.requestId;
    request.resend.next = Clock::now();
    return true;
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
    SealedReads reads = startSealedReads();
    const auto deadline = Clock::now() + std::chrono::milliseconds(config_.lookupTimeoutMs);
    std::size_t sent = 0;
    while (reads.open() > 0 && Clock::now() < deadline) {
        const auto due = sendDueReads(reads, deadline, sent);
        socket_->waitReadable(std::min(msUntil(due), msUntil(deadline)));
        takeReadReplies(reads, deadline);
    }
}

SealedReads ServiceCore::startSealedReads() {
    SealedReads reads;
    for (std::size_t i = 0; i < records_.size(); ++i) {
        // Without a password they stay as their identity showed them: PasswordOk false.
        if (!std::exchange(records_[i].peer.needsRead, false) || password_.empty())
            continue;
        Message read;
        read.type = MsgType::Read;
        auto bytes = encodeRequest(std::int32_t(i), read);  // sealed: it requires encryption
        if (bytes.empty())
            continue;
        reads.add({std::int32_t(i), std::move(bytes), read.requestId, ResendBackoff(config_.retransmitMs, Clock::now())},
                  records_[i].info.ethernet);
    }
    return reads;
}

ServiceCore::Clock::time_point ServiceCore::sendDueReads(SealedReads& reads, Clock::time_point deadline,
                                                         std::size_t& sent) {
    auto due = deadline;
    for (SealedReads::Read& read : reads.reads()) {
        if (read.done)
            continue;
        PendingRequest& request = read.request;
        if (request.resend.due(Clock::now())) {
            sendMessage(records_[std::size_t(request.index)].source, request.bytes);
            request.resend.sent(Clock::now());
            if (++sent % 64 == 0)
                socket_->waitReadable(0);  // let the first answers in while a long list goes out
        }
        due = std::min(due, request.resend.next);
    }
    return due;
}

void ServiceCore::takeReadReplies(SealedReads& reads, Clock::time_point deadline) {
    Message msg;
    Endpoint from;
    bool usable = false;
    int taken = 0;
    while (reads.open() > 0 && receiveOne(msg, from, usable)) {
        if (++taken % 256 == 0 && Clock::now() >= deadline)
            break;
        if (!usable)
            continue;
        SealedReads::Read* read = reads.answeredBy(msg);
        if (!read) {
            ++stats_.datagramsDropped;
            continue;
        }
        const std::uint32_t oldId = read->request.requestId;
        const auto action = sealedReplyAction(msg, read->request);
        if (action == crypto::ReplyAction::Resent)
            reads.renumbered(*read, oldId);
        if (action != crypto::ReplyAction::Take)
            continue;
        reads.finish(*read);
        Record& r = records_[std::size_t(read->request.index)];
        r.source = from;
        if (auto info = sealedDescription(msg, r.info.ethernet))
            r.info = std::move(*info);
        else
            r.info.passwordOk = false;  // refused: the password does not open it
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
