#include "platform/netservice/crypto/crypto_sessions.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/netservice/crypto/clear_rules.h"

namespace zelmar::net {

using wire::Message;
using wire::MsgType;
using Clock = std::chrono::steady_clock;

namespace {
constexpr int kMinRetryMs = 20;
constexpr int kMaxRetryMs = 2000;

bool capable(const wire::ControllerInfo& info) { return (info.capabilities & wire::CapEncryption) != 0; }

std::string bytesText(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}
}  // namespace

CryptoSessions::CryptoSessions(const ControllerBook& book) : book_(book) {}

CryptoSessions::Peer& CryptoSessions::peer(std::int32_t index) {
    book_.at(index);  // an index outside the entries is an error
    if (peers_.size() <= std::size_t(index))
        peers_.resize(std::size_t(index) + 1);
    return peers_[std::size_t(index)];
}

void CryptoSessions::setPassword(const std::string& password) {
    if (password == password_)
        return;
    crypto::wipe(password_.data(), password_.size());
    password_ = password;
    ++generation_;  // every controller key is derived anew from the next one
}

const crypto::Key* CryptoSessions::keyFor(std::int32_t index) {
    if (password_.empty())
        return nullptr;  // no password: nothing is sealed, a controller that requires encryption says no
    Peer& p = peer(index);
    if (p.keyGeneration != generation_) {
        if (masterGeneration_ != generation_) {
            master_ = crypto::masterKey(password_);  // the slow hash, once per password (and cached)
            masterGeneration_ = generation_;
        }
        p.key = crypto::controllerKey(master_, book_.at(index).info.ethernet);
        p.keyGeneration = generation_;
    }
    return &p.key;
}

void CryptoSessions::heard(std::int32_t index, const Message& reply) {
    Peer& p = peer(index);
    if (const auto challenge = reply.bytes<crypto::kChallengeBytes>(wire::TagChallenge)) {
        // A fresh challenge: the next sealed request starts a new session with it, so a
        // controller that restarted (and forgot our session) costs no extra round trip.
        p.challenge = *challenge;
        p.session.reset();
    }
    const auto publicKey = reply.bytes<crypto::kPublicKeyBytes>(wire::TagPublicKey);
    if (publicKey != p.publicKey) {
        p.publicKey = publicKey;
        p.agreement.reset();
        p.agreementPair.reset();
    }
    // Only its identity came in clear: the rest is read sealed before the search returns.
    const wire::ControllerInfo& info = book_.at(index).info;
    p.needsRead = info.requireEncryption && !info.passwordOk;
}

void CryptoSessions::learnt(std::int32_t index, const CryptoSessions& other, std::int32_t theirs) {
    // Its sessions belong to the other object's port: this one opens its own when it needs one.
    if (theirs >= 0 && std::size_t(theirs) < other.peers_.size())
        peer(index).publicKey = other.peers_[std::size_t(theirs)].publicKey;
}

std::string CryptoSessions::mustNotSend(std::int32_t index, MsgType type) {
    if (type == MsgType::Search || type == MsgType::SearchAck)
        return {};
    if (book_.at(index).info.requireEncryption && !keyFor(index))
        return "it requires encryption and no network password was given";
    return {};
}

std::vector<std::uint8_t> CryptoSessions::encode(std::int32_t index, Message& request) {
    const wire::ControllerInfo& info = book_.at(index).info;
    request.addEthernet(wire::TagTargetEthernet, info.ethernet);
    const Sealing sealing = sealingFor(index);
    if (!sealing.key) {
        std::vector<std::uint8_t> clear = wire::encode(request);
        const bool switchingOn = !info.requireEncryption && peer(index).enrolling;
        return clear.empty() || mayGoInClear(clear, switchingOn) ? clear : std::vector<std::uint8_t>{};
    }
    addSessionItems(index, request);
    std::vector<std::uint8_t> clear = wire::encode(request);
    if (clear.empty())
        return clear;
    auto sealed = crypto::seal(clear, sealing.kind, info.ethernet, *sealing.key, sealing.ours);
    crypto::wipe(clear.data(), clear.size());
    return sealed;
}

CryptoSessions::Sealing CryptoSessions::sealingFor(std::int32_t index) {
    if (book_.at(index).info.requireEncryption)
        return {crypto::EnvelopeKind::ControllerKey, keyFor(index), nullptr};
    Peer& p = peer(index);
    if (!p.enrolling)
        return {};
    // No key on the controller yet: agree one for this setup with the key it announced.
    if (p.publicKey && !p.agreement) {
        p.agreementPair = crypto::newKeyPair();
        p.agreement = crypto::clientSessionKeys(*p.agreementPair, *p.publicKey);
    }
    if (!p.agreement)
        return {};
    return {crypto::EnvelopeKind::KeyAgreement, &p.agreement->toController, &p.agreementPair->publicKey};
}

void CryptoSessions::enrol(std::int32_t index, bool on) {
    const wire::ControllerInfo& info = book_.at(index).info;
    Peer& p = peer(index);
    p.enrolling = on && !info.requireEncryption && capable(info);
    if (!p.enrolling) {
        p.agreement.reset();
        p.agreementPair.reset();
    }
}

bool CryptoSessions::needsPublicKey(std::int32_t index) const {
    if (std::size_t(index) >= peers_.size())
        return false;
    const Peer& p = peers_[std::size_t(index)];
    return p.enrolling && !p.publicKey;
}

std::string CryptoSessions::keyFromPassword(std::int32_t index, const std::string& password) const {
    crypto::Key key = crypto::controllerKeyFromPassword(password, book_.at(index).info.ethernet);
    std::string text = bytesText(key.data(), key.size());
    crypto::wipe(key.data(), key.size());
    return text;
}

bool CryptoSessions::serviceKeyIs(std::int32_t index, const std::string& key) {
    const crypto::Key* ours = keyFor(index);
    return ours && key.size() == ours->size() && std::memcmp(key.data(), ours->data(), ours->size()) == 0;
}

void CryptoSessions::startSession(Peer& p, const crypto::Challenge& challenge) {
    p.session = challenge;
    p.challenge.reset();
    p.nextSequence = 1;
}

void CryptoSessions::addSessionItems(std::int32_t index, Message& request) {
    Peer& p = peer(index);
    // A new session starts with the controller's last challenge; without one the
    // controller answers Stale with a fresh challenge and the request goes again.
    if (!p.session)
        startSession(p, p.challenge.value_or(crypto::newChallenge()));
    request.add(wire::TagChallenge, bytesText(p.session->data(), p.session->size()));
    request.addU32(wire::TagSequence, p.nextSequence++);
}

const crypto::Key* CryptoSessions::envelopeKey(std::int32_t index, crypto::EnvelopeKind kind, bool toController) {
    if (kind != crypto::EnvelopeKind::KeyAgreement)
        return keyFor(index);
    const auto& agreement = peer(index).agreement;
    if (!agreement)
        return nullptr;
    return toController ? &agreement->toController : &agreement->toClient;
}

bool CryptoSessions::decodeReply(const std::uint8_t* data, std::size_t size, Message& msg) {
    if (crypto::isSealed(data, size))
        return openSealedReply(data, size, msg);
    if (wire::decode(data, size, msg) != wire::DecodeError::None)
        return false;
    const auto mac = msg.ethernet(wire::TagEthernet);
    const auto index = mac ? book_.find(*mac) : std::nullopt;
    return believedInClear(msg, index && book_.at(*index).info.requireEncryption);
}

bool CryptoSessions::openSealedReply(const std::uint8_t* data, std::size_t size, Message& msg) {
    const auto envelope = crypto::peek(data, size);
    if (!envelope || !wire::isReply(envelope->type))
        return false;
    const auto index = book_.find(envelope->ethernet);
    if (!index)
        return false;
    const crypto::Key* key = envelopeKey(*index, envelope->kind, false);
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

crypto::ReplyAction CryptoSessions::replyAction(const Message& reply, PendingRequest& request,
                                                const std::function<std::uint32_t()>& newRequestId) {
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
        return isRefusal(status) ? crypto::ReplyAction::Take : crypto::ReplyAction::Ignore;
    }
    if (!status || *status != std::uint8_t(wire::Status::Stale))
        return crypto::ReplyAction::Take;
    // The controller does not know our session (it restarted or forgot it): start a new
    // one with the challenge it sent and seal the request again under a new request id.
    const auto challenge = reply.bytes<crypto::kChallengeBytes>(wire::TagChallenge);
    if (!challenge || !resealInNewSession(request, *challenge, newRequestId()))
        return crypto::ReplyAction::Ignore;
    return crypto::ReplyAction::Resent;
}

bool CryptoSessions::resealInNewSession(PendingRequest& request, const crypto::Challenge& challenge,
                                        std::uint32_t newId) {
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
    std::erase_if(again.items, [](const auto& item) {  // encode adds them anew
        return item.first == wire::TagChallenge || item.first == wire::TagSequence ||
               item.first == wire::TagTargetEthernet;
    });
    again.flags = 0;
    again.requestId = newId;
    startSession(peer(request.index), challenge);
    auto resealed = encode(request.index, again);
    if (resealed.empty())
        return false;
    request.bytes = std::move(resealed);
    request.requestId = again.requestId;
    request.resend.next = Clock::now();
    return true;
}

bool CryptoSessions::renewSession(std::int32_t index, const Message& reply) {
    const auto status = reply.u8(wire::TagStatus);
    const auto challenge = reply.bytes<crypto::kChallengeBytes>(wire::TagChallenge);
    // Only a sealed Stale is believed: it opened with the key, so it is the controller's.
    if (!(reply.flags & wire::FlagSealed) || status != std::uint8_t(wire::Status::Stale) || !challenge)
        return false;
    startSession(peer(index), *challenge);
    return true;
}

bool CryptoSessions::readDue(std::int32_t index) const {
    return std::size_t(index) < peers_.size() && peers_[std::size_t(index)].needsRead;
}

std::vector<std::int32_t> CryptoSessions::takeReadsDue() {
    std::vector<std::int32_t> due;
    for (std::size_t i = 0; i < peers_.size(); ++i)
        // Without a password they stay as their identity showed them: PasswordOk false.
        if (std::exchange(peers_[i].needsRead, false) && !password_.empty())
            due.push_back(std::int32_t(i));
    return due;
}

}  // namespace zelmar::net
