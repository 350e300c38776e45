#pragma once
// The search: its criteria (NetService's connected mode, addresses, networks,
// serial number), what it asks and where, and the driver that sends its rounds,
// takes the answers and stops. Where it stands is SearchProgress's
// (search_progress.h), when broadcast and network searches send and end
// SearchTiming's (search_timing.h); neither touches a socket. What it hears
// goes to the service through SearchLink.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/netservice/search/adapters.h"
#include "platform/netservice/transport/service_port.h"
#include "platform/netservice/wire/messages.h"

namespace zelmar::net {

// Where a controller answered last, and until when it is silent in a restart.
struct LastHeard {
    std::uint32_t address = 0;
    std::chrono::steady_clock::time_point restartUntil{};
};

// What a search needs of the service beyond its port.
class SearchLink {
public:
    // A controller described by `info` answered search `searchNo` with `reply` from `from`:
    // the entry it refreshed or appended (-1: none took it).
    virtual std::int32_t heard(const wire::Message& reply, wire::ControllerInfo info, const platform::Endpoint& from,
                               std::uint64_t searchNo) = 0;
    // Where controllers with this serial number answered before.
    virtual std::vector<LastHeard> whereLastHeard(const std::string& serialNo) = 0;

protected:
    ~SearchLink() = default;
};

class ControllerSearch {
public:
    using Clock = std::chrono::steady_clock;

    ControllerSearch(ServicePort& port, SearchLink& link);

    // The criteria. Only the directly connected controllers answer in connected mode.
    bool connectedMode = false;
    std::string serialNo;  // what addSerialNoSearch looks for
    void clearCriteria();  // not the connected mode
    // Throws ServiceError for an address that does not resolve.
    void addAddress(const std::string& address);
    void addNetwork(const std::string& address, const std::string& mask);
    // Throws ServiceError for a serial number no search can carry.
    void addSerialNoSearch();

    // Runs the search of the criteria (none: the configured targets).
    void run();
    // Looks one controller up by serial number: where it answered last (`last`), then also
    // at the search targets, until it answers or the lookup bound (beyond its restart) is over.
    void lookUp(const std::string& serial, const LastHeard& last);
    // Searches run so far: an entry heard by the last one answered it.
    std::uint64_t number() const { return searchNo_; }

private:
    struct Plan;
    struct Run;
    Plan plan();
    Plan planSerialLookup();
    void run(const Plan& plan);
    void askWhereLastHeard(Run& run);    // the hints first, with a moment to answer
    void lookUpInRounds(Run& run);       // again and again, with growing gaps, until it answers
    void searchInTimedRounds(Run& run);  // broadcast and network searches (SearchTiming)
    // Asks every address of `to` that has not answered yet (`timeAsks`: noting when),
    // and through the limited broadcasts when `to` is the plan's destinations.
    void sendRound(Run& run, const std::vector<std::uint32_t>& to, int spreadMs, bool timeAsks);
    void drain(Run& run);  // takes the answers waiting

    ServicePort& port_;
    SearchLink& link_;
    std::vector<std::uint32_t> addresses_;  // AddAddress / AddNetwork since Clear
    bool networkSearch_ = false;
    bool serialSearch_ = false;
    std::string serialForSearch_;
    std::uint64_t searchNo_ = 0;
};

}  // namespace zelmar::net
