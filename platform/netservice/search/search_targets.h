#pragma once
// Where a full search goes: the configured search targets (addresses, ranges,
// networks and "adapters") as addresses and adapters for the limited broadcast.
#include "platform/netservice/config/service_config.h"
#include "platform/netservice/search/adapters.h"

namespace zelmar::net {

// The targets of `config`, the adapters looked at anew (a cable plugged in since
// counts). Throws ServiceError for a target that is none of those or names more
// than 65,536 hosts.
TargetSet configuredTargets(const ServiceConfig& config);

inline constexpr std::size_t kTargetLimit = 65536;       // hosts one target or one network may name
inline constexpr std::size_t kTotalTargetLimit = 262144;  // addresses one search asks at most

}  // namespace zelmar::net
