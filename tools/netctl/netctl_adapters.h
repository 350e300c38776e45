#pragma once
// `zelmar-netctl adapters`: the workstation's adapters, their addresses and
// masks, and where a search would send, so that a technician sees why a
// search finds nothing. Sends nothing.
#include <iosfwd>
#include <vector>

#include "platform/netservice/search/adapters.h"
#include "platform/netservice/config/config_lookup.h"
#include "platform/netservice/config/service_config.h"

namespace zelmar::netctl {

struct AdapterReport {
    net::ConfigSource source;       // which configuration file holds
    net::ServiceConfig config;
    std::vector<net::Adapter> adapters;
};

// The report of this workstation with the configuration found.
AdapterReport adapterReport(const net::ConfigSource& source, const net::ServiceConfig& config);
void printAdapterReport(const AdapterReport& report, bool json, std::ostream& out);

}  // namespace zelmar::netctl
