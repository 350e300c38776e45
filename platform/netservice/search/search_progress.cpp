#include "platform/netservice/search/search_progress.h"

#include <algorithm>

#include "platform/netservice/wire/messages.h"

namespace zelmar::net {

SearchProgress::SearchProgress(const std::vector<std::uint32_t>& destinations, std::optional<std::string> serialFilter,
                               bool endWhenAllAnswered, Clock::time_point start)
    : destinations_(destinations),
      serialFilter_(std::move(serialFilter)),
      endWhenAllAnswered_(endWhenAllAnswered),
      start_(start),
      wanted_(destinations.begin(), destinations.end()) {}

SearchProgress::Answer SearchProgress::answered(std::uint32_t from, std::int32_t record, const std::string& serialNo,
                                                Clock::time_point at) {
    // Only addresses that were asked are remembered, so the set stays as small as the target list.
    if (wanted_.count(from) && answeredAddresses_.insert(from).second)
        ++wantedAnswered_;
    Answer answer;
    answer.newController = answeredRecords_.insert(record).second;
    if (!firstAsked_.empty()) {
        // An answer from no destination answers a broadcast: asked when the search began.
        const std::size_t position = positionOf(from);
        answer.sinceFirstAsked = at - (position < destinations_.size() ? firstAsked_[position] : start_);
        answer.askedEarly = position < kEarlyAsks || position == destinations_.size();
    }
    if (serialFilter_ && wire::serialMatches(*serialFilter_, serialNo))
        done_ = true;
    if (endWhenAllAnswered_ && wantedAnswered_ == wanted_.size())
        done_ = true;
    return answer;
}

double SearchProgress::stillAskedShare() const {
    return double(wanted_.size() - wantedAnswered_) / double(wanted_.size());
}

std::size_t SearchProgress::positionOf(std::uint32_t address) const {
    const auto it = std::lower_bound(destinations_.begin(), destinations_.end(), address);
    if (it == destinations_.end() || *it != address)
        return destinations_.size();
    return std::size_t(it - destinations_.begin());
}

void LookupRounds::roundSent(Clock::time_point began, Clock::time_point ended) {
    next_ = ended + std::max<Clock::duration>(std::chrono::milliseconds(intervalMs_), 2 * (ended - began));
    intervalMs_ = std::min(intervalMs_ * 2, longestMs_);
}

}  // namespace zelmar::net
