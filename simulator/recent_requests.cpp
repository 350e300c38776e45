#include "simulator/recent_requests.h"

namespace zelmar::sim {

void RecentSearches::note(const Endpoint& client, std::uint32_t requestId) {
    for (const Slot& s : slots_)
        if (s.requestId == requestId && s.client == client)
            return;
    slots_[next_] = {client, requestId, false};
    next_ = (next_ + 1) % slots_.size();
}

void RecentSearches::acknowledge(const Endpoint& client, std::uint32_t requestId) {
    for (Slot& s : slots_)
        if (s.requestId == requestId && s.client == client)
            s.acked = true;
}

bool RecentSearches::acknowledged(const Endpoint& client, std::uint32_t requestId) const {
    for (const Slot& s : slots_)
        if (s.requestId == requestId && s.client == client)
            return s.acked;
    return false;
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
