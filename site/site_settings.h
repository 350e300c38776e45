#pragma once
// What whole-site work runs with: the service configuration, the site's
// network password and how many controllers are worked on at once.
#include <string>

#include "platform/netservice/config/service_config.h"

namespace zelmar::site {

constexpr int kDefaultJobs = 4;
constexpr int kMostJobs = 32;

struct SiteSettings {
    net::ServiceConfig config;
    std::string password;  // the network password; empty when none was given
    int jobs = kDefaultJobs;
};

}  // namespace zelmar::site
