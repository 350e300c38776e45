#pragma once
// Finding the site's controllers for whole-site work: the search that hears
// them all, the lookup of one, and a controller reached from a worker's own
// service object.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "site/controller_record.h"

namespace zelmar::net {
class ControllerEntry;
class NetService;
}  // namespace zelmar::net

namespace zelmar::site {

class ServicePool;
struct SiteSettings;

// The entry of `serial` among the service's entries (matched as a serial filter matches), or null.
std::shared_ptr<net::ControllerEntry> entryOf(net::NetService& service, const std::string& serial);
// Looks `serial` up and returns its entry when it answered.
std::shared_ptr<net::ControllerEntry> lookUpAnswering(net::NetService& service, const std::string& serial);
// A full search, and when it did not hear each of `serials` a second one
// (answers get lost on a busy network); a serial number neither heard is
// looked up on its own as `find` looks one up, many at once (`--jobs` at
// most): an unknown one waits out the whole lookup time. While lookups find
// some, those still missing are looked up again, until two passes in a row
// find none. Every controller
// found, named or not: `service` learns those the lookups found. `progress`
// is told of the second search and the lookups.
std::vector<ControllerRecord> searchForSerials(net::NetService& service, const std::vector<std::string>& serials,
                                               const SiteSettings& settings,
                                               const std::function<void(const Phrase&)>& progress);
// Looks each of `serials` up, as many at once as `pool` has service objects.
// The records of those that answered; `learner`, when given, learns their entries.
std::vector<ControllerRecord> lookUpEach(const std::vector<std::string>& serials, ServicePool& pool,
                                         net::NetService* learner = nullptr);
// A controller in a worker's service object, which learnt the site from the one that searched
// (worker_pool.h); looked up when it is not among its entries. Null when it does not answer.
std::shared_ptr<net::ControllerEntry> reach(net::NetService& service, const std::string& serial);

// For a controller that shows only its identity because it requires
// encryption: why ("the network password was not accepted"); none otherwise.
Phrase identityOnlyReason(const ControllerRecord& found, bool havePassword);

}  // namespace zelmar::site
