#pragma once
// What the setups need of the service, and nothing more: what a controller
// reports, the request path every transaction takes, the controller looked up
// again, and the encryption of the settings (a password becomes a key; a setup
// that switches encryption on travels in a key agreement). The service core
// implements it.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/netservice/wire/messages.h"

namespace zelmar::net {

class SetupLink {
public:
    // What the controller of `index` last reported (throws ServiceError for an index
    // outside the entries); a confirmed setup writes what the controller answered.
    virtual wire::ControllerInfo& reported(std::int32_t index) = 0;
    // Sends `request` until its reply of `replyType` arrives, for at most lookupTimeoutMs.
    // On nullopt, whyNotSent(index) tells why nothing was sent (empty: it went unanswered).
    virtual std::optional<wire::Message> exchange(std::int32_t index, wire::Message request,
                                                  wire::MsgType replyType) = 0;
    // Why the last request to the controller did not leave (empty: it did).
    virtual std::string& whyNotSent(std::int32_t index) = 0;
    // Why a request of `type` must not go to it (empty: it may).
    virtual std::string mustNotSend(std::int32_t index, wire::MsgType type) = 0;
    // A check or setup that switches encryption on travels in a key agreement: on before it, off after.
    virtual void enrol(std::int32_t index, bool on) = 0;
    // The key an encryption password makes for the controller (the password never leaves).
    virtual std::string keyFromPassword(std::int32_t index, const std::string& password) = 0;
    // After a setup that gave the controller `key`: whether one of the service passwords makes
    // it (that one then opens the controller).
    virtual bool serviceKeyIs(std::int32_t index, const std::string& key) = 0;
    // After a sealed read: whether `key` is what the password that opened it makes, i.e. the
    // controller holds `key`. With one password it is the question above.
    virtual bool openedWithKey(std::int32_t index, const std::string& key) { return serviceKeyIs(index, key); }
    // Looks the controller up by serial number where it answered last and at the search targets;
    // true when it answered (what it reports is then refreshed).
    virtual bool lookUpAgain(std::int32_t index) = 0;

protected:
    ~SetupLink() = default;
};

}  // namespace zelmar::net
