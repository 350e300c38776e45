#pragma once
// What a port OS transfer needs of the service, and nothing more: the
// controller of an entry, the request path every transaction takes, the
// datagrams coming back, the controller's silence through its restart, and
// the counters. The service core implements it.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/netservice/wire/messages.h"
#include "platform/netservice/config/service_config.h"
#include "platform/netservice/transport/service_stats.h"
#include "platform/netservice/system/udp_platform.h"
#include "platform/netservice/wire/wire.h"

namespace zelmar::net {

class UpgradeLink {
public:
    virtual const ServiceConfig& config() const = 0;
    // The controller of `index` as last heard, with the socket open (throws
    // ServiceError for an index outside the entries or a socket that cannot open).
    virtual wire::ControllerInfo upgradeTarget(std::int32_t index) = 0;
    // Sends `request` until its reply of `replyType` arrives, for at most timeoutMs
    // (-1: lookupTimeoutMs), again after resendMs (-1: retransmitMs) and then doubling
    // gaps. On nullopt, notSent(index) tells why nothing was sent (empty: it went unanswered).
    virtual std::optional<wire::Message> exchange(std::int32_t index, wire::Message request, wire::MsgType replyType,
                                                  int timeoutMs, int resendMs) = 0;
    virtual std::string notSent(std::int32_t index) = 0;
    // Sends `request` once to where the controller answered last, unanswered by
    // design; its request id is set. False when it did not leave.
    virtual bool sendOnce(std::int32_t index, wire::Message& request) = 0;
    // Reads one datagram if any waits (false: none); `usable` tells whether it decoded as a reply.
    virtual bool receiveOne(wire::Message& msg, platform::Endpoint& from, bool& usable) = 0;
    virtual void waitReadable(int timeoutMs) = 0;
    // A sealed Stale reply: the next requests go in a new session. False for anything else.
    virtual bool renewSession(std::int32_t index, const wire::Message& reply) = 0;
    // The controller is silent for `ms` while it restarts; lookups wait that out.
    virtual void restartsFor(std::int32_t index, int ms) = 0;
    // Looks the controller up again; true when it answered (upgradeTarget then tells what it runs).
    virtual bool lookUpAgain(std::int32_t index) = 0;
    virtual ServiceStats& counters() = 0;

protected:
    ~UpgradeLink() = default;
};

}  // namespace zelmar::net
