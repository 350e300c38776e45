#include "platform/netservice/records/controller_book.h"

#include <string>

#include "platform/netservice/service_error.h"

namespace zelmar::net {

ControllerRecord& ControllerBook::at(std::int32_t index) {
    return const_cast<ControllerRecord&>(std::as_const(*this).at(index));
}

const ControllerRecord& ControllerBook::at(std::int32_t index) const {
    if (index < 0 || index >= count())
        throw ServiceError("controller index " + std::to_string(index) + " is not among the " +
                           std::to_string(count()) + " entries");
    return records_[std::size_t(index)];
}

std::optional<std::int32_t> ControllerBook::find(const wire::Ethernet& ethernet) const {
    const auto it = byEthernet_.find(ethernet);
    if (it == byEthernet_.end())
        return std::nullopt;
    return it->second;
}

std::int32_t ControllerBook::heard(wire::ControllerInfo info, const platform::Endpoint& from, std::uint64_t searchNo,
                                   Clock::time_point at) {
    if (const auto known = find(info.ethernet)) {
        ControllerRecord& mine = records_[std::size_t(*known)];
        mine.info = std::move(info);
        mine.source = from;
        mine.heardInSearch = searchNo;
        mine.heardAt = at;
        return *known;
    }
    ControllerRecord r;
    r.info = std::move(info);
    r.source = from;
    r.heardInSearch = searchNo;
    r.heardAt = at;
    return append(std::move(r));
}

std::int32_t ControllerBook::learn(const ControllerRecord& theirs) {
    if (find(theirs.info.ethernet))
        return -1;
    ControllerRecord r;
    r.info = theirs.info;
    r.source = theirs.source;
    r.heardAt = theirs.heardAt;
    return append(std::move(r));
}

std::int32_t ControllerBook::append(ControllerRecord record) {
    if (count() >= kMaxRecords)
        return -1;
    records_.push_back(std::move(record));
    byEthernet_.emplace(records_.back().info.ethernet, count() - 1);
    return count() - 1;
}

}  // namespace zelmar::net
