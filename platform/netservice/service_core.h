#pragma once
// What a NetService and its entries share: the parts of the service, composed.
// The port (socket, request ids, counters), the book of controllers found, the
// encryption sessions, the search, the setups; the request path every
// transaction takes, which ties them together; and what the links of the parts
// ask of the service (upgrade_link.h, setup_link.h, controller_search.h).
// Everything runs on the caller's thread; each call returns when done.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/netservice/config/service_config.h"
#include "platform/netservice/crypto/crypto_sessions.h"
#include "platform/netservice/records/controller_book.h"
#include "platform/netservice/search/controller_search.h"
#include "platform/netservice/setup/controller_setups.h"
#include "platform/netservice/transport/pending_request.h"
#include "platform/netservice/transport/service_port.h"
#include "platform/netservice/upgrade/upgrade_link.h"
#include "platform/netservice/upgrade/upgrade_progress.h"
#include "platform/netservice/upgrade/upgrade_verdict.h"

namespace zelmar::net {

class UpgradeFile;

class ServiceCore final : public UpgradeLink, private SetupLink, private SearchLink {
public:
    using Clock = std::chrono::steady_clock;

    explicit ServiceCore(ServiceConfig config);
    ServiceCore(const ServiceCore&) = delete;
    ServiceCore& operator=(const ServiceCore&) = delete;

    const ServiceConfig& config() const override { return config_; }

    // Search criteria and searches.
    ControllerSearch& searching() { return search_; }
    bool isValidAddress(const std::string& address) const;
    void setPasswords(const std::vector<std::string>& passwords) { crypto_.setPasswords(passwords); }
    void search();
    // The controllers `other` knows that this one does not, appended as it heard them (no
    // session, no held writes): see NetService::LearnControllers.
    void learnControllers(const ServiceCore& other);

    // Entries. The reads count for the read-failure injection (failEntryReadsAfter).
    std::int32_t count() const { return book_.count(); }
    void checkIndex(std::int32_t index) const { book_.at(index); }  // throws ServiceError
    const wire::ControllerInfo& readInfo(std::int32_t index);
    const SetupState& readSetup(std::int32_t index);
    std::string readNotSent(std::int32_t index);
    UpgradeVerdict readUpgradeVerdict(std::int32_t index);
    std::string readUpgradeProblem(std::int32_t index);
    // True when the controller of `index` answered the most recent search: entries stay after
    // a search that did not hear them, with what they last reported.
    bool answeredLastSearch(std::int32_t index) const;

    // Writes held for a controller until apply.
    wire::SetupFields& held(std::int32_t index);
    void withdraw(std::int32_t index);

    // Transactions with one controller.
    bool checkNetwork(std::int32_t index, std::int32_t& detail);
    void apply(std::int32_t index);
    bool mark(std::int32_t index, bool on);
    bool upgradePortOs(std::int32_t index, const UpgradeFile& file, UpgradeProgress progress);

    // Counters for tests and the benchmark.
    using Stats = ServiceStats;
    const Stats& stats() const { return port_.counters(); }
    // The port the service sends from and receives answers on (0 before the first search).
    std::uint16_t localPort() const { return port_.localPort(); }

private:
    // What the service keeps of an entry beyond the parts: the last request that did not
    // leave, and the last port OS upgrade.
    struct EntryResults {
        std::string notSent;
        UpgradeVerdict upgradeVerdict = UpgradeVerdict::NotCompleted;
        std::string upgradeProblem;
    };
    EntryResults& results(std::int32_t index);
    void countRead();

    // UpgradeLink.
    wire::ControllerInfo upgradeTarget(std::int32_t index) override;
    std::string notSent(std::int32_t index) override { return results(index).notSent; }
    bool sendOnce(std::int32_t index, wire::Message& request) override;
    bool receiveOne(wire::Message& msg, platform::Endpoint& from, bool& usable) override {
        return port_.receiveOne(msg, from, usable);
    }
    void waitReadable(int timeoutMs) override { port_.waitReadable(timeoutMs); }
    bool renewSession(std::int32_t index, const wire::Message& reply) override {
        return crypto_.renewSession(index, reply);
    }
    void restartsFor(std::int32_t index, int ms) override;
    ServiceStats& counters() override { return port_.counters(); }
    // Sends `request` to the controller of `index` until its reply of `replyType` arrives,
    // for at most timeoutMs (-1: lookupTimeoutMs), again after resendMs (-1: retransmitMs)
    // and doubling gaps. Nothing is sent, and notSent says why, when it must not or cannot go.
    std::optional<wire::Message> exchange(std::int32_t index, wire::Message request, wire::MsgType replyType,
                                          int timeoutMs, int resendMs) override;
    // Looks the controller of `index` up by its serial number, where it answered last and at
    // the search targets (and through a restart it announced); true when it answered.
    bool lookUpAgain(std::int32_t index) override;

    // SetupLink.
    wire::ControllerInfo& reported(std::int32_t index) override { return book_.at(index).info; }
    std::optional<wire::Message> exchange(std::int32_t index, wire::Message request,
                                          wire::MsgType replyType) override {
        return exchange(index, std::move(request), replyType, -1, -1);
    }
    std::string& whyNotSent(std::int32_t index) override { return results(index).notSent; }
    std::string mustNotSend(std::int32_t index, wire::MsgType type) override {
        return crypto_.mustNotSend(index, type);
    }
    void enrol(std::int32_t index, bool on) override;
    std::string keyFromPassword(std::int32_t index, const std::string& password) override {
        return crypto_.keyFromPassword(index, password);
    }
    bool serviceKeyIs(std::int32_t index, const std::string& key) override { return crypto_.serviceKeyIs(index, key); }
    bool openedWithKey(std::int32_t index, const std::string& key) override {
        return crypto_.openedWithKey(index, key);
    }

    // SearchLink.
    std::int32_t heard(const wire::Message& reply, wire::ControllerInfo info, const platform::Endpoint& from,
                       std::uint64_t searchNo) override;
    std::vector<LastHeard> whereLastHeard(const std::string& serialNo) override;

    // The request path.
    std::vector<std::uint8_t> encodeRequest(std::int32_t index, wire::Message& request);
    // The request encoded (and sealed) for the controller of `index`; nothing, and notSent
    // says why, when it must not or cannot go.
    std::optional<PendingRequest> startRequest(std::int32_t index, wire::Message& request, int resendMs);
    // Sends it where the controller answered last, and from the third attempt on (`fallback`
    // loaded once) also through the search targets.
    void sendAttempt(const PendingRequest& request, int attempt, std::optional<TargetSet>& fallback);
    // Its reply of `replyType` among the datagrams waiting (nullopt: not among them).
    std::optional<wire::Message> receiveReplyTo(PendingRequest& request, wire::MsgType replyType,
                                                Clock::time_point deadline);

    ServiceConfig config_;
    ServicePort port_;
    ControllerBook book_;
    CryptoSessions crypto_;
    ControllerSearch search_;
    ControllerSetups setups_;
    std::vector<EntryResults> results_;  // by entry index
    std::int64_t reads_ = 0;
};

}  // namespace zelmar::net
