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

bool sameKey(const std::string& key, const crypto::Key& ours) {
    return key.size() == ours.size() && std::memcmp(key.data(), ours.data(), ours.size()) == 0;
}
}  // namespace

CryptoSessions::CryptoSessions(const ControllerBook& book) : book_(book) {}

CryptoSessions::~CryptoSessions() { wipe(passwords_); }

void CryptoSessions::wipe(std::vector<Password>& passwords) {
    for (Password& p : passwords) {
        crypto::wipe(p.text.data(), p.text.size());
        if (p.master)
            crypto::wipe(p.master->data(), p.master->size());
    }
}

CryptoSessions::Peer& CryptoSessions::peer(std::int32_t index) {
    book_.at(index);  // an index outside the entries is an error
    if (peers_.size() <= std::size_t(index))
        peers_.resize(std::size_t(index) + 1);
    return peers_[std::size_t(index)];
}

void CryptoSessions::setPasswords(const std::vector<std::string>& passwords) {
    std::vector<Password> next;
    for (const std::string& text : passwords) {
        if (text.empty())
            continue;  // no password
        const crypto::PasswordDigest digest = crypto::passwordDigest(text);
        if (std::none_of(next.begin(), next.end(), [&](const Password& p) { return p.digest == digest; }))
            next.push_back({text, digest, std::nullopt});
    }
    if (std::equal(next.begin(), next.end(), passwords_.begin(), passwords_.end(),
                   [](const Password& a, const Password& b) { return a.digest == b.digest; })) {
        wipe(next);
        return;
    }
    // The masters of passwords that stay are kept; what controllers told of them is kept by
    // digest in their peers (which opened them, which they refused).
    for (Password& p : next)
        if (const auto kept = passwordIndex(p.digest))
            p.master = passwords_[*kept].master;
    wipe(passwords_);
    passwords_ = std::move(next);
    ++generation_;  // every controller key is derived anew, by the new positions
}

std::optional<std::size_t> CryptoSessions::passwordIndex(const crypto::PasswordDigest& digest) const {
    for (std::size_t i = 0; i < passwords_.size(); ++i)
        if (passwords_[i].digest == digest)
            return i;
    return std::nullopt;
}

const crypto::Key& CryptoSessions::master(std::size_t password) {
    std::optional<crypto::Key>& m = passwords_[password].master;
    if (!m)
        m = crypto::masterKey(passwords_[password].text);  // the slow hash, once per password (and cached)
    return *m;
}

const crypto::Key& CryptoSessions::keyOf(std::int32_t index, std::size_t password) {
    Peer& p = peer(index);
    if (p.keyGeneration != generation_) {
        p.keys.assign(passwords_.size(), std::nullopt);
        p.keyGeneration = generation_;
    }
    std::optional<crypto::Key>& key = p.keys[password];
    if (!key)
        key = crypto::controllerKey(master(password), book_.at(index).info.ethernet);
    return *key;
}

std::optional<std::size_t> CryptoSessions::passwordFor(const Peer& p) const {
    if (p.opener)
        if (const auto i = passwordIndex(*p.opener))
            return i;
    for (std::size_t i = 0; i < passwords_.size(); ++i)
        if (std::find(p.refused.begin(), p.refused.end(), passwords_[i].digest) == p.refused.end())
            return i;
    return std::nullopt;
}

const crypto::Key* CryptoSessions::sealedKey(std::int32_t index) {
    const Peer& p = peer(index);
    const auto password = p.sealedWith ? passwordIndex(*p.sealedWith) : std::nullopt;
    return password ? &keyOf(index, *password) : nullptr;
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
    // Which passwords opened or refused it there spares it the wrong ones here.
    if (theirs < 0 || std::size_t(theirs) >= other.peers_.size())
        return;
    const Peer& known = other.peers_[std::size_t(theirs)];
    Peer& p = peer(index);
    p.publicKey = known.publicKey;
    p.opener = known.opener;
    p.refused = known.refused;
}

std::string CryptoSessions::mustNotSend(std::int32_t index, MsgType type) {
    if (type == MsgType::Search || type == MsgType::SearchAck)
        return {};
    if (book_.at(index).info.requireEncryption && passwords_.empty())
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
    Peer& p = peer(index);
    if (book_.at(index).info.requireEncryption) {
        if (passwords_.empty())
            return {};  // nothing is sealed without a password
        auto password = passwordFor(p);
        if (!password) {
            p.refused.clear();  // it refused every one: this request starts a new round
            password = 0;
        }
        p.sealedWith = passwords_[*password].digest;
        return {crypto::EnvelopeKind::ControllerKey, &keyOf(index, *password), nullptr};
    }
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
    // A new key: what the controller refused or opened with before tells nothing now.
    Peer& p = peer(index);
    p.opener.reset();
    p.refused.clear();
    for (std::size_t i = 0; i < passwords_.size(); ++i) {
        if (sameKey(key, keyOf(index, i))) {
            p.opener = passwords_[i].digest;
            return true;
        }
    }
    return false;
}

bool CryptoSessions::openedWithKey(std::int32_t index, const std::string& key) {
    const Peer& p = peer(index);
    const auto password = p.opener ? passwordIndex(*p.opener) : std::nullopt;
    return password && sameKey(key, keyOf(index, *password));
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
        return sealedKey(index);  // a reply is sealed with the key that opened our request
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
    if (!ok)
        return false;
    msg.flags |= wire::FlagSealed;  // as received: callers tell sealed answers from clear ones
    if (envelope->kind == crypto::EnvelopeKind::ControllerKey) {
        Peer& p = peer(*index);
        p.opener = p.sealedWith;  // only the controller holds the key that sealed it
    }
    return true;
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
        // Refused: its key does not open it. Another password may.
        if (status == std::uint8_t(wire::Status::Refused) && resealWithNextPassword(request, newRequestId()))
            return crypto::ReplyAction::Resent;
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

std::optional<Message> CryptoSessions::unsealed(const PendingRequest& request) {
    const auto envelope = crypto::peek(request.bytes.data(), request.bytes.size());
    const crypto::Key* key =
        envelopeKey(request.index, envelope ? envelope->kind : crypto::EnvelopeKind::ControllerKey, true);
    if (!key)
        return std::nullopt;
    auto clear = crypto::open(request.bytes.data(), request.bytes.size(), *key);
    Message again;
    if (!clear || wire::decode(clear->data(), clear->size(), again) != wire::DecodeError::None)
        return std::nullopt;
    crypto::wipe(clear->data(), clear->size());
    std::erase_if(again.items, [](const auto& item) {  // encode adds them anew
        return item.first == wire::TagChallenge || item.first == wire::TagSequence ||
               item.first == wire::TagTargetEthernet;
    });
    again.flags = 0;
    return again;
}

bool CryptoSessions::resend(PendingRequest& request, Message again, std::uint32_t newId) {
    again.requestId = newId;
    auto resealed = encode(request.index, again);
    if (resealed.empty())
        return false;
    request.bytes = std::move(resealed);
    request.requestId = again.requestId;
    request.resend.next = Clock::now();
    return true;
}

bool CryptoSessions::resealInNewSession(PendingRequest& request, const crypto::Challenge& challenge,
                                        std::uint32_t newId) {
    auto again = unsealed(request);
    if (!again)
        return false;
    startSession(peer(request.index), challenge);
    return resend(request, std::move(*again), newId);
}

bool CryptoSessions::resealWithNextPassword(PendingRequest& request, std::uint32_t newId) {
    const auto envelope = crypto::peek(request.bytes.data(), request.bytes.size());
    if (!envelope || envelope->kind != crypto::EnvelopeKind::ControllerKey)
        return false;
    Peer& p = peer(request.index);
    if (!p.sealedWith || std::find(p.refused.begin(), p.refused.end(), *p.sealedWith) != p.refused.end())
        return false;  // a refusal of a password refused before: nothing new learnt
    auto again = unsealed(request);
    if (!again)
        return false;  // not sealed with its key now (a late refusal of an earlier request)
    p.refused.push_back(*p.sealedWith);
    if (p.opener == p.sealedWith)
        p.opener.reset();  // its key was changed elsewhere
    if (!passwordFor(p))
        return false;  // each refused: the refusal is the answer
    // The controller took nothing from the refused request: its session goes on with the next number.
    return resend(request, std::move(*again), newId);
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
        if (std::exchange(peers_[i].needsRead, false) && !passwords_.empty())
            due.push_back(std::int32_t(i));
    return due;
}

}  // namespace zelmar::net
