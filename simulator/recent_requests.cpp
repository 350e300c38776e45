#include "simulator/recent_requests.h"

namespace zelmar::sim {

RecentSearches::Slot* RecentSearches::find(const Endpoint& client, std::uint32_t requestId) {
    for (Slot& s : slots_)
        if (s.requestId == requestId && s.client == client)
            return &s;
    return nullptr;
}

void RecentSearches::note(const Endpoint& client, std::uint32_t requestId, Clock::time_point answerLeaves) {
    if (Slot* known = find(client, requestId)) {
        known->answerLeaves = answerLeaves;  // answered again
        return;
    }
    slots_[next_] = {client, requestId, false, answerLeaves};
    next_ = (next_ + 1) % slots_.size();
}

void RecentSearches::acknowledge(const Endpoint& client, std::uint32_t requestId) {
    if (Slot* known = find(client, requestId))
        known->acked = true;
}

bool RecentSearches::acknowledged(const Endpoint& client, std::uint32_t requestId) const {
    const Slot* known = find(client, requestId);
    return known && known->acked;
}

bool RecentSearches::answerWaiting(const Endpoint& client, std::uint32_t requestId, Clock::time_point now) const {
    const Slot* known = find(client, requestId);
    return known && now < known->answerLeaves;
}

const std::vector<std::uint8_t>* RecentTransactions::answer(const Endpoint& client, std::uint32_t requestId,
                                                            net::wire::MsgType type) const {
    for (const Slot& t : slots_)
        if (t.requestId == requestId && t.client == client && t.type == type && !t.reply.empty())
            return &t.reply;
    return nullptr;
}

void RecentTransactions::keep(const Endpoint& client, std::uint32_t requestId, net::wire::MsgType type,
                              const std::vector<std::uint8_t>& answer) {
    slots_[next_] = {client, requestId, type, answer};
    next_ = (next_ + 1) % slots_.size();
}

}  // namespace zelmar::sim
