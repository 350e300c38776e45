#pragma once
// The controllers a service object has heard of, one record an entry: what
// each last reported, where its last answer came from (the only address it is
// sent to), when a search last heard it, and how long it stays silent in a
// restart. Records are only ever appended, so an index stays valid; what the
// parts keep per controller (setups, sessions) they keep by the same index.
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "platform/netservice/system/udp_platform.h"
#include "platform/netservice/wire/messages.h"

namespace zelmar::net {

struct ControllerRecord {
    using Clock = std::chrono::steady_clock;
    wire::ControllerInfo info;
    platform::Endpoint source;          // where its last answer came from
    std::uint64_t heardInSearch = 0;    // number of the last search it answered (0: none)
    Clock::time_point heardAt{};        // when a search reply of it last came in
    Clock::time_point restartUntil{};   // silent until then: it restarts after a port OS upgrade
};

class ControllerBook {
public:
    using Clock = ControllerRecord::Clock;
    static constexpr std::int32_t kMaxRecords = 32767;  // what a 16-bit index reaches

    std::int32_t count() const { return std::int32_t(records_.size()); }
    // Throws ServiceError for an index outside the entries.
    ControllerRecord& at(std::int32_t index);
    const ControllerRecord& at(std::int32_t index) const;
    std::optional<std::int32_t> find(const wire::Ethernet& ethernet) const;
    const std::vector<ControllerRecord>& records() const { return records_; }

    // A controller answered search `searchNo` from `from` at `at`: its record is refreshed
    // (same index) or appended. -1 when the book is full.
    std::int32_t heard(wire::ControllerInfo info, const platform::Endpoint& from, std::uint64_t searchNo,
                       Clock::time_point at);
    // Appends a record of another book as it was heard there, not by a search of this one;
    // -1 when this book knows that controller already or is full.
    std::int32_t learn(const ControllerRecord& theirs);

private:
    std::int32_t append(ControllerRecord record);

    std::vector<ControllerRecord> records_;
    std::map<wire::Ethernet, std::int32_t> byEthernet_;
};

}  // namespace zelmar::net
