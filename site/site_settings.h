#pragma once
// What whole-site work runs with: the service configuration, the site's
// network password and how many controllers are worked on at once.
#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/netservice/config/service_config.h"
#include "site/pace.h"

namespace zelmar::site {

constexpr int kMostJobs = 32;     // --jobs N: 1 to this
constexpr int kMostInHand = 64;   // adaptive upgrades: controllers in hand, those restarting included
// Lookups of serial numbers the searches missed, at once: one small request a
// round each, and an unknown one waits out the whole lookup time.
constexpr int kMostLookups = 64;

struct SiteSettings {
    net::ServiceConfig config;
    // The network passwords given, the first the site's own (a plan that switches encryption on makes it
    // the controller's key); a controller is opened with whichever opens it. None: no password was given.
    std::vector<std::string> passwords;
    std::optional<int> jobs;  // at most this many controllers at once; none: the pace adapts (pace.h)
    PaceLimits pace{2, kMostJobs};  // where the adaptive pace starts, and its bound
    std::vector<std::string> parking;  // plan apply: free addresses to park a controller of a cycle on
};

// The pace of a run: fixed with `jobs`, else adaptive, a task late by the
// time the service waits before it asks again.
inline Pace paceOf(const SiteSettings& s) {
    return s.jobs ? Pace::fixed(*s.jobs) : Pace(s.pace, s.config.retransmitMs);
}

// Worker threads (each with a service object) for `tasks` tasks. With `jobs`
// that many, each holding its controller to the end; adaptive, as many as the
// bound, and when tasks go quiet (controllers restarting) up to kMostInHand,
// so that the pace's places go to controllers that send.
inline int workersFor(const SiteSettings& s, std::size_t tasks, bool tasksGoQuiet) {
    const int most = s.jobs ? *s.jobs : tasksGoQuiet ? std::max(kMostInHand, s.pace.most) : s.pace.most;
    return int(std::clamp<std::size_t>(tasks, 1, std::size_t(std::max(most, 1))));
}

}  // namespace zelmar::site
