#pragma once
// The controller network service: searches the network over UDP and yields one
// controller entry per controller found. Every call is synchronous and returns
// when its work is done; a failing call throws ServiceError.
//
// Entries accumulate over the searches of one service object: a controller
// that answers again refreshes its entry in place and keeps its index; new
// controllers are appended. An index is valid until the object is released.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/netservice/config/service_config.h"
#include "platform/netservice/controller_entry.h"
#include "platform/netservice/service_error.h"

namespace zelmar::net {

class ServiceCore;  // the parts the service object composes (service_core.h)

class NetService {
public:
    // Configuration from ZELMAR_NETSERVICE_CONFIG (see docs/netservice.md) when none is given.
    NetService();
    explicit NetService(ServiceConfig config);
    ~NetService();
    NetService(const NetService&) = delete;
    NetService& operator=(const NetService&) = delete;

    bool ConnectedMode() const;
    void setConnectedMode(bool on);

    // True when `address` is an IPv4 address or a DNS name that resolves.
    bool IsValidAddress(const std::string& address);

    void setSearchSerialNo(const std::string& serialNo);
    void Clear();  // forgets earlier search criteria (not the entries)
    void AddAddress(const std::string& address);
    void AddNetwork(const std::string& address, const std::string& subnetMask);
    void AddSerialNoSearch();
    // The network password: the same as setPasswords({password}).
    void setPassword(const std::string& password);
    // Network passwords for controllers that require encryption, tried in this order (empty
    // ones left out, a repeated one once) on a controller until one opens it; the one that did
    // is kept for it (docs/netservice.md, "Passwords").
    void setPasswords(const std::vector<std::string>& passwords);

    // Runs a search with the criteria given since Clear (none: a full search of
    // the configured targets; ConnectedMode: only the directly connected one).
    void Search();
    // Takes on the controllers `other` has found (appended as entries, as it last heard them),
    // without asking them: a service object for another thread starts knowing the site. The
    // entries count as not heard by this object's searches (AnsweredLastSearch is false).
    // `other` must not be in use on another thread meanwhile.
    void LearnControllers(const NetService& other);

    std::int32_t ControllerCount() const;
    // The entry at `index` (0 to ControllerCount()-1); throws ServiceError otherwise.
    std::shared_ptr<ControllerEntry> Item(std::int16_t index);

    const ServiceConfig& config() const;
    // The inner state, for counters in tests and the benchmark.
    const ServiceCore& core() const;

private:
    std::shared_ptr<ServiceCore> core_;
};

}  // namespace zelmar::net
