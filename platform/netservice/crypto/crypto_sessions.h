#pragma once
// The service's half of the encrypted protocol (docs/protocol.md, section 7),
// with what it keeps: the service passwords and the master key made from each,
// and for each controller found (by entry index) which password opens it, its
// keys, the session its sealed requests run in, the challenge and public key it
// gave, and the key agreement of a setup that switches encryption on. It seals
// requests and opens replies; it sends nothing itself. What a controller
// reported it reads from the book of controllers.
//
// Several passwords: a controller no password has opened yet gets its sealed
// requests with the first it has not refused; a refusal in clear seals the
// request again with the next, so each password is tried once a round, and the
// first whose key opens an answer is the controller's from then on. A round
// that all refused ends in the refusal; the next request starts a new one.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/netservice/crypto/crypto_envelope.h"
#include "platform/netservice/crypto/crypto_keys.h"
#include "platform/netservice/records/controller_book.h"
#include "platform/netservice/transport/pending_request.h"

namespace zelmar::net {

namespace crypto {

// What the service does with a reply to a sealed request.
enum class ReplyAction {
    Take,    // the answer
    Ignore,  // not believable or not final: keep waiting (and resending at its next send)
    Resent,  // the request was sealed again in a new session; wait for the answer to that
};

}  // namespace crypto

class CryptoSessions {
public:
    explicit CryptoSessions(const ControllerBook& book);
    ~CryptoSessions();  // the passwords and masters wiped
    CryptoSessions(const CryptoSessions&) = delete;
    CryptoSessions& operator=(const CryptoSessions&) = delete;

    // The passwords, tried in this order (empty ones left out, a repeated one once).
    // The same list again changes nothing; what the controllers told of the passwords
    // that stay is kept.
    void setPasswords(const std::vector<std::string>& passwords);
    void setPassword(const std::string& password) { setPasswords({password}); }
    bool hasPassword() const { return !passwords_.empty(); }

    // A search reply of the controller of `index` (its record already refreshed): a fresh
    // challenge starts the next session, its public key is kept, and a controller that told
    // only its identity is to be read sealed.
    void heard(std::int32_t index, const wire::Message& reply);
    // The controller of `index` was learnt from `other`'s entry `theirs`: its public key and
    // which passwords opened or refused it there, no session.
    void learnt(std::int32_t index, const CryptoSessions& other, std::int32_t theirs);

    // Why a request of `type` must not go to the controller of `index` (empty: it may):
    // one that requires encryption gets nothing but searches while there is no password.
    std::string mustNotSend(std::int32_t index, wire::MsgType type);
    // `request` (its id set) for the controller of `index`: its TargetEthernet added, encoded,
    // and sealed when the controller requires encryption or is being enrolled. Empty when it
    // must not travel in clear and cannot be sealed.
    std::vector<std::uint8_t> encode(std::int32_t index, wire::Message& request);

    // Setups and network checks that switch encryption on travel in a key agreement with the
    // public key the controller announced: on before them, off after.
    void enrol(std::int32_t index, bool on);
    // Enrolling while the controller's public key is unknown (it required encryption at the
    // last search): a search addressed to it brings one.
    bool needsPublicKey(std::int32_t index) const;
    // The key an encryption password makes for the controller of `index`, as the setup sends it.
    std::string keyFromPassword(std::int32_t index, const std::string& password) const;
    // After a setup that gave the controller of `index` the key `key`: whether one of the
    // passwords makes it, which then is the controller's password (none otherwise).
    bool serviceKeyIs(std::int32_t index, const std::string& key);
    // Whether `key` is what the password that last opened the controller's answers makes
    // for it: after a sealed read, whether a new key is in place.
    bool openedWithKey(std::int32_t index, const std::string& key);

    // Decodes a datagram as it arrived: sealed ones opened with the key of the controller they
    // name, clear ones believed only as far as clear_rules.h says. False: dropped.
    bool decodeReply(const std::uint8_t* data, std::size_t size, wire::Message& msg);
    // A reply to `request`: a refusal in clear, a session to renew (its bytes and id are
    // then replaced, the id from `newRequestId`), a wait asked for (its next send moves), or the answer.
    crypto::ReplyAction replyAction(const wire::Message& reply, PendingRequest& request,
                                    const std::function<std::uint32_t()>& newRequestId);
    // A sealed Stale reply: the next sealed requests go in a new session with its challenge.
    // False (nothing changed) for anything else.
    bool renewSession(std::int32_t index, const wire::Message& reply);

    // Whether the controller of `index` is to be read sealed (its search reply told only its identity).
    bool readDue(std::int32_t index) const;
    // The controllers to read sealed now (each once): none without a password.
    std::vector<std::int32_t> takeReadsDue();

private:
    struct Password {
        std::string text;
        crypto::PasswordDigest digest{};    // how controllers (and other service objects) name it
        std::optional<crypto::Key> master;  // the slow hash, made when first needed
    };
    // Per controller.
    struct Peer {
        std::optional<crypto::Challenge> challenge;  // the last fresh one it gave (search reply, Stale)
        std::optional<crypto::PublicKey> publicKey;  // announced while it does not require encryption
        std::optional<crypto::Challenge> session;    // the challenge that opened our session
        std::uint32_t nextSequence = 1;
        std::optional<crypto::PasswordDigest> opener;   // the password whose key opened its answers
        std::vector<crypto::PasswordDigest> refused;    // the passwords it refused this round
        std::optional<crypto::PasswordDigest> sealedWith;  // the password of our last request sealed to it
        std::uint64_t keyGeneration = 0;                // of `keys` (0: none derived yet)
        std::vector<std::optional<crypto::Key>> keys;   // by password, each derived when first needed
        bool enrolling = false;
        std::optional<crypto::KeyPair> agreementPair;
        std::optional<crypto::SessionKeys> agreement;
        bool needsRead = false;
    };
    struct Sealing {  // how a request to a controller is sealed (no key: it is not)
        crypto::EnvelopeKind kind = crypto::EnvelopeKind::ControllerKey;
        const crypto::Key* key = nullptr;
        const crypto::PublicKey* ours = nullptr;  // key agreement: our public key
    };

    static void wipe(std::vector<Password>& passwords);
    Peer& peer(std::int32_t index);
    std::optional<std::size_t> passwordIndex(const crypto::PasswordDigest& digest) const;
    const crypto::Key& master(std::size_t password);
    const crypto::Key& keyOf(std::int32_t index, std::size_t password);  // key(c) of that password
    // The password the next sealed request to `p` goes with: the one that opened it, else the
    // first it has not refused this round (nullopt: it refused them all).
    std::optional<std::size_t> passwordFor(const Peer& p) const;
    // The key of our last request sealed to the controller of `index` (null: none).
    const crypto::Key* sealedKey(std::int32_t index);
    Sealing sealingFor(std::int32_t index);
    void addSessionItems(std::int32_t index, wire::Message& request);  // the session's challenge and the request's number
    // The key of an envelope of `kind` to or from the controller of `index` (null: none).
    const crypto::Key* envelopeKey(std::int32_t index, crypto::EnvelopeKind kind, bool toController);
    bool openSealedReply(const std::uint8_t* data, std::size_t size, wire::Message& msg);
    bool resealInNewSession(PendingRequest& request, const crypto::Challenge& challenge, std::uint32_t newId);
    // A clear refusal of `request`, sealed with a password the controller had not refused: that
    // one is refused, and the request is sealed with the next (false: none is left).
    bool resealWithNextPassword(PendingRequest& request, std::uint32_t newId);
    // `request` opened again as it was before it was sealed, without its session items.
    std::optional<wire::Message> unsealed(const PendingRequest& request);
    // `request` as `again` sealed anew under `newId`, due at once (false: it could not be sealed).
    bool resend(PendingRequest& request, wire::Message again, std::uint32_t newId);
    void startSession(Peer& p, const crypto::Challenge& challenge);

    const ControllerBook& book_;
    std::vector<Password> passwords_;
    std::uint64_t generation_ = 1;  // changes with every new list of passwords
    std::vector<Peer> peers_;       // by entry index, grown as entries are
};

}  // namespace zelmar::net
