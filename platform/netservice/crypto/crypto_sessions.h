#pragma once
// The service's half of the encrypted protocol (docs/protocol.md, section 7),
// with what it keeps: the service password and the master key made from it,
// and for each controller found (by entry index) its key, the session its
// sealed requests run in, the challenge and public key it gave, and the key
// agreement of a setup that switches encryption on. It seals requests and
// opens replies; it sends nothing itself. What a controller reported it reads
// from the book of controllers.
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
    CryptoSessions(const CryptoSessions&) = delete;
    CryptoSessions& operator=(const CryptoSessions&) = delete;

    void setPassword(const std::string& password);
    bool hasPassword() const { return !password_.empty(); }

    // A search reply of the controller of `index` (its record already refreshed): a fresh
    // challenge starts the next session, its public key is kept, and a controller that told
    // only its identity is to be read sealed.
    void heard(std::int32_t index, const wire::Message& reply);
    // The controller of `index` was learnt from `other`'s entry `theirs`: its public key, no session.
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
    // Whether `key` is what the service password makes for the controller of `index`: after a
    // setup that changed its key, whether the service password still opens it.
    bool serviceKeyIs(std::int32_t index, const std::string& key);

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
    // Per controller.
    struct Peer {
        std::optional<crypto::Challenge> challenge;  // the last fresh one it gave (search reply, Stale)
        std::optional<crypto::PublicKey> publicKey;  // announced while it does not require encryption
        std::optional<crypto::Challenge> session;    // the challenge that opened our session
        std::uint32_t nextSequence = 1;
        std::uint64_t keyGeneration = 0;  // of `key` (0: none derived yet)
        crypto::Key key{};                // from the service password
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

    Peer& peer(std::int32_t index);
    const crypto::Key* keyFor(std::int32_t index);  // from the service password; null without one
    Sealing sealingFor(std::int32_t index);
    void addSessionItems(std::int32_t index, wire::Message& request);  // the session's challenge and the request's number
    // The key of an envelope of `kind` to or from the controller of `index` (null: none).
    const crypto::Key* envelopeKey(std::int32_t index, crypto::EnvelopeKind kind, bool toController);
    bool openSealedReply(const std::uint8_t* data, std::size_t size, wire::Message& msg);
    bool resealInNewSession(PendingRequest& request, const crypto::Challenge& challenge, std::uint32_t newId);
    void startSession(Peer& p, const crypto::Challenge& challenge);

    const ControllerBook& book_;
    std::string password_;
    std::uint64_t generation_ = 1;        // changes with every new password
    std::uint64_t masterGeneration_ = 0;  // the generation `master_` belongs to (0: none)
    crypto::Key master_{};
    std::vector<Peer> peers_;  // by entry index, grown as entries are
};

}  // namespace zelmar::net
