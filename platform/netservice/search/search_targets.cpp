#include "platform/netservice/search/search_targets.h"

#include "platform/netservice/service_error.h"
#include "platform/netservice/wire/ipv4.h"

namespace zelmar::net {

TargetSet configuredTargets(const ServiceConfig& config) {
    TargetSet out;
    for (const auto& t : config.searchTargets) {
        if (t == kAdaptersTarget) {
            addAdapterTargets(listAdapters(), out);
            continue;
        }
        const auto hosts = ipv4::expandTarget(t, kTargetLimit);
        if (!hosts)
            throw ServiceError("search target \"" + t +
                               "\" is not \"adapters\" or an address, range or network of at most 65536 hosts");
        for (std::uint32_t h : *hosts)
            if (out.addresses.size() < kTotalTargetLimit)
                out.addresses.push_back(h);
    }
    return out;
}

}  // namespace zelmar::net
