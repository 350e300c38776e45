#pragma once
// The inner state shared by a NetService and its entries: the socket, the
// search criteria, the controller records and the writes held for them.
// Everything runs on the caller's thread; each call returns when done.
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/netservice/search/adapters.h"
#include "platform/netservice/crypto/crypto_client.h"
#include "platform/netservice/wire/messages.h"
#include "platform/netservice/pending_request.h"
#include "platform/netservice/config/service_config.h"
#include "platform/netservice/service_stats.h"
#include "platform/netservice/setup/setup_outcome.h"
#include "platform/netservice/system/udp_platform.h"
#include "platform/netservice/upgrade/upgrade_link.h"
#include "platform/netservice/upgrade/upgrade_verdict.h"

namespace zelmar::net {

class SealedReads;

class ServiceCore final : public UpgradeLink {
public:
    using Clock = std::chrono::steady_clock;

    struct Record {
        wire::ControllerInfo info;
        platform::Endpoint source;   // where its last answer came from: the only address it is sent to
        wire::SetupFields held;      // writes waiting for Apply
        bool setupOk = false;
        SetupOutcome setupOutcome = SetupOutcome::Confirmed;
        wire::Status setupStatus = wire::Status::Ok;  // what a refusal said
        std::uint16_t setupBadField = 0;              // the field tag a refusal named (0: none)
        bool fitsNetwork = false;
        // Why the service did not send the last setup, check, mark or upgrade (empty: it did).
        std::string notSent;
        // Silent until then: it restarts after a port OS upgrade (lookups wait it out).
        Clock::time_point restartUntil{};
        UpgradeVerdict upgradeVerdict = UpgradeVerdict::NotCompleted;  // of the last port OS upgrade
        std::string upgradeProblem;                                    // its reason when it did not switch
        std::uint64_t heardInSearch = 0;  // number of the last search it answered (0: none)
        Clock::time_point heardAt{};       // when a search reply of it last came in
        crypto::PeerState peer;      // sessions and keys of the encrypted protocol (crypto_service.cpp)
    };

    explicit ServiceCore(ServiceConfig config);

    const ServiceConfig& config() const override { return config_; }

    // Search criteria.
    bool connectedMode = false;
    std::string searchSerialNo;
    void clearCriteria();
    bool isValidAddress(const std::string& address);
    void addAddress(const std::string& address);
    void addNetwork(const std::string& address, const std::string& mask);
    void addSerialNoSearch();  // throws ServiceError for a serial number no search can carry
    void setPassword(const std::string& password);  // crypto_service.cpp

    void search();
    // The controllers `other` knows that this one does not, appended as it heard them (no
    // session, no held writes): see NetService::LearnControllers.
    void learnControllers(const ServiceCore& other);

    // Entries.
    std::int32_t count() const { return std::int32_t(records_.size()); }
    Record& record(std::int32_t index);  // counts as one property read; throws ServiceError
    Record& recordForWrite(std::int32_t index);  // throws ServiceError when out of range
    // True when the controller of `index` answered the most recent search: entries stay after
    // a search that did not hear them, with what they last reported.
    bool answeredLastSearch(std::int32_t index) {
        return searchNo_ != 0 && recordForWrite(index).heardInSearch == searchNo_;  // learnt ones were not heard
    }

    // Transactions with one controller.
    bool checkNetwork(std::int32_t index, std::int32_t& detail);
    void apply(std::int32_t index);
    bool mark(std::int32_t index, bool on);

    // Counters for tests and the benchmark.
    using Stats = ServiceStats;
    const Stats& stats() const { return stats_; }
    // The port the service sends from and receives answers on (0 before the first search).
    std::uint16_t localPort() const { return socket_ ? socket_->localPort() : 0; }

    static constexpr std::int32_t kMaxRecords = 32767;  // what a 16-bit index reaches

private:
    struct SearchPlan;

    // What a port OS transfer may ask of the service (upgrade_link.h): the request path of
    // the transactions, reached only through that interface.
    wire::ControllerInfo upgradeTarget(std::int32_t index) override;
    std::string notSent(std::int32_t index) override { return recordForWrite(index).notSent; }
    bool sendOnce(std::int32_t index, wire::Message& request) override;
    void waitReadable(int timeoutMs) override { socket_->waitReadable(timeoutMs); }
    void restartsFor(std::int32_t index, int ms) override;
    ServiceStats& counters() override { return stats_; }

    void ensureSocket();
    std::uint32_t nextRequestId();
    bool sendMessage(const platform::Endpoint& to, const std::vector<std::uint8_t>& bytes);
    bool sendAllowed(std::uint32_t address) const;
    std::optional<std::uint32_t> resolve(const std::string& address);
    TargetSet searchTargets();
    // 255.255.255.255 out through one adapter (counted as dropped under the loopback guard).
    bool sendLimitedBroadcast(unsigned interfaceIndex, const std::vector<std::uint8_t>& bytes);
    // Reads one datagram if any waits (false: none); `usable` tells whether it
    // decoded as a reply. Anything else is counted and dropped.
    bool receiveOne(wire::Message& msg, platform::Endpoint& from, bool& usable) override;
    // A search reply: refresh or append the record; returns its index or -1.
    std::int32_t takeReply(const wire::Message& msg, const platform::Endpoint& from);

    // What a search asks and where: from the criteria (service_search.cpp).
    SearchPlan planSearch();
    SearchPlan planSerialLookup();  // by serial number, also where it answered last
    // The search driver (service_search.cpp).
    struct SearchRun;
    void runSearch(const SearchPlan& plan);
    void askWhereLastHeard(SearchRun& run);  // the hints first, with a moment to answer
    void lookUpInRounds(SearchRun& run);     // again and again, with growing gaps, until it answers
    void searchInTimedRounds(SearchRun& run);  // broadcast and network searches (SearchTiming)
    // Asks every address of `to` that has not answered yet (`timeAsks`: noting when),
    // and through the limited broadcasts when `to` is the plan's destinations.
    void sendSearchRound(SearchRun& run, const std::vector<std::uint32_t>& to, int spreadMs, bool timeAsks);
    void drainSearch(SearchRun& run);  // takes the answers waiting
    // A request for the controller of `index`: a new request id, its TargetEthernet, encoded.
    std::vector<std::uint8_t> encodeRequest(std::int32_t index, wire::Message& request);
    // Sends `request` to the controller of `index` until its reply of `replyType` arrives,
    // for at most timeoutMs (-1: lookupTimeoutMs). Nothing is sent, and the record's
    // `notSent` says why, to a controller that requires encryption while the service
    // has no password: only a search may reach it in clear.
    std::optional<wire::Message> exchange(std::int32_t index, wire::Message request, wire::MsgType replyType,
                                          int timeoutMs = -1) override;
    // The request encoded (and sealed) for the controller of `index`; nothing, and the
    // record's `notSent` says why, when it must not or cannot go.
    std::optional<PendingRequest> startRequest(std::int32_t index, wire::Message& request);
    // Sends it where the controller answered last, and from the third attempt on (`fallback`
    // loaded once) also through the search targets.
    void sendAttempt(const PendingRequest& request, int attempt, std::optional<TargetSet>& fallback);
    // Its reply of `replyType` among the datagrams waiting (nullopt: not among them).
    std::optional<wire::Message> receiveReplyTo(PendingRequest& request, wire::MsgType replyType,
                                                Clock::time_point deadline);

    // Encryption (crypto_service.cpp). A request to a controller that requires
    // encryption, or one that switches it on, leaves sealed; replies are opened.
    std::vector<std::uint8_t> sealRequest(std::int32_t index, std::vector<std::uint8_t> clear);
    struct Sealing {  // how a request to a controller is sealed (no key: it is not)
        crypto::EnvelopeKind kind = crypto::EnvelopeKind::ControllerKey;
        const crypto::Key* key = nullptr;
        const crypto::PublicKey* ours = nullptr;  // key agreement: our public key
    };
    Sealing sealingFor(std::int32_t index);
    // The session's challenge and the request's number, added to its items.
    void addSessionItems(std::int32_t index, std::vector<std::uint8_t>& clear);
    // The key of an envelope of `kind` to or from the controller of `index` (null: none).
    const crypto::Key* envelopeKey(std::int32_t index, crypto::EnvelopeKind kind, bool toController);
    bool decodeReply(const std::uint8_t* data, std::size_t size, wire::Message& msg);
    bool decodeClearReply(const std::uint8_t* data, std::size_t size, wire::Message& msg);
    bool openSealedReply(const std::uint8_t* data, std::size_t size, wire::Message& msg);
    void notePeer(std::int32_t index, const wire::Message& reply);  // challenge and key of a search reply
    // A reply to `request`: a refusal in clear, a session to renew (its bytes and id are
    // then replaced), a wait asked for (its next send moves), or the answer.
    crypto::ReplyAction sealedReplyAction(const wire::Message& reply, PendingRequest& request);
    // Seals `request` again in a new session opened by `challenge`, under a new request id.
    bool resealInNewSession(PendingRequest& request, const crypto::Challenge& challenge);
    // After a search: the whole description of those that require encryption, read sealed.
    void readSealedRecords();
    SealedReads startSealedReads();
    // Sends the reads that are due (`sent` counts them); returns when the next one is.
    Clock::time_point sendDueReads(SealedReads& reads, Clock::time_point deadline, std::size_t& sent);
    void takeReadReplies(SealedReads& reads, Clock::time_point deadline);  // takes the answers waiting
    // A sealed Stale reply: the next sealed requests go in a new session with its challenge.
    // False (nothing changed) for anything else.
    bool renewSession(std::int32_t index, const wire::Message& reply) override;
    const crypto::Key* keyFor(std::int32_t index);  // from the service password; null without one
    // Why `type` must not go to the controller of `index` (empty: it may).
    std::string mustNotSend(std::int32_t index, wire::MsgType type);
    void prepareSetup(std::int32_t index, wire::SetupFields& fields);  // password -> key
    // Switching encryption on needs the controller's public key: asks for it when unknown.
    void ensurePublicKey(std::int32_t index);
    void finishSetup(std::int32_t index, wire::SetupFields& fields);
    // Looks the controller of `index` up by its serial number, where it answered last and at
    // the search targets (and through a restart it announced); true when it answered (its
    // record is refreshed).
    bool lookUpAgain(std::int32_t index) override;
    // A setup whose answer never came: looks the controller up by serial number (it may
    // answer from a new address) and tells whether it reports what was asked (setup_verdict.cpp).
    SetupOutcome verifySetup(std::int32_t index, const wire::SetupFields& asked);
    bool settingsInPlace(std::int32_t index, const wire::SetupFields& asked);
    // The steps of Apply: settings refused before they leave (the record says why), the
    // controller's answer, and a setup whose answer never came.
    bool refusedBeforeSending(std::int32_t index, const wire::SetupFields& fields);
    void takeSetupReply(std::int32_t index, const wire::Message& reply);
    void settleUnansweredSetup(std::int32_t index, const wire::SetupFields& asked);

    ServiceConfig config_;
    std::optional<platform::UdpSocket> socket_;
    std::uint32_t requestId_;
    std::string password_;
    crypto::ServiceKeys keys_;

    std::vector<std::uint32_t> addresses_;   // AddAddress / AddNetwork since Clear
    bool networkSearch_ = false;
    bool serialSearch_ = false;
    std::string serialForSearch_;

    std::vector<Record> records_;
    std::uint64_t searchNo_ = 0;  // searches run so far
    std::map<wire::Ethernet, std::int32_t> byEthernet_;
    std::int64_t reads_ = 0;
    Stats stats_;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace zelmar::net
