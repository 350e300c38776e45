#include "simulator/sim_sessions.h"

namespace zelmar::sim {

namespace crypto = net::crypto;

SessionTable::Issued& SessionTable::issueSlot(const Endpoint& client) {
    int mine = 0;
    Issued* myOldest = nullptr;
    for (Issued& i : issued_) {
        if (i.used && i.client == client) {
            ++mine;
            if (!myOldest || i.issued < myOldest->issued)
                myOldest = &i;
        }
    }
    if (mine >= 4)
        return *myOldest;
    for (Issued& i : issued_)
        if (!i.used)
            return i;
    Issued* oldest = &issued_[0];
    for (Issued& i : issued_)
        if (i.issued < oldest->issued)
            oldest = &i;
    return *oldest;
}

crypto::Challenge SessionTable::issue(const Endpoint& client) {
    Issued& slot = issueSlot(client);
    slot.used = true;
    slot.client = client;
    slot.challenge = crypto::newChallenge();
    slot.issued = ++tick_;
    return slot.challenge;
}

SessionTable::Verdict SessionTable::takeInSession(Session& s, std::uint32_t sequence) {
    s.lastUse = ++tick_;
    if (sequence > s.highest) {
        const std::uint32_t shift = sequence - s.highest;
        s.seen = shift >= s.seen.size() ? std::bitset<256>() : (s.seen << shift);
        s.seen.set(0);
        s.highest = sequence;
        return Verdict::New;
    }
    const std::uint32_t back = s.highest - sequence;
    if (back >= s.seen.size() || s.seen.test(back))
        return Verdict::Seen;  // too old to tell, or arrived before: a replay
    s.seen.set(back);
    return Verdict::New;
}

void SessionTable::open(const crypto::Challenge& id, std::uint32_t sequence) {
    // A free slot, else the one used least recently.
    Session* slot = &sessions_[0];
    for (Session& s : sessions_)
        if (!s.used || (slot->used && s.lastUse < slot->lastUse))
            slot = &s;
    *slot = Session{};
    slot->used = true;
    slot->id = id;
    slot->highest = sequence;
    slot->seen.set(0);
    slot->lastUse = ++tick_;
}

SessionTable::Verdict SessionTable::take(const crypto::Challenge& id, std::uint32_t sequence) {
    if (sequence == 0)
        return Verdict::Seen;
    for (Session& s : sessions_)
        if (s.used && s.id == id)
            return takeInSession(s, sequence);
    // Not a session yet: it must be a challenge we gave out and nobody has used.
    for (Issued& i : issued_) {
        if (i.used && i.challenge == id) {
            i.used = false;  // a challenge opens one session, once
            open(id, sequence);
            return Verdict::New;
        }
    }
    return Verdict::UnknownSession;
}

const std::vector<std::uint8_t>* ReplyMemory::find(const Endpoint& client, const crypto::Challenge& session,
                                                   std::uint32_t sequence) const {
    for (const Cached& c : cache_)
        if (!c.reply.empty() && c.client == client && c.session == session && c.sequence == sequence)
            return &c.reply;
    return nullptr;
}

void ReplyMemory::keep(const Endpoint& client, const crypto::Challenge& session, std::uint32_t sequence,
                       const std::vector<std::uint8_t>& reply) {
    if (find(client, session, sequence))
        return;
    cache_[next_] = Cached{client, session, sequence, reply};
    next_ = (next_ + 1) % cache_.size();
}

}  // namespace zelmar::sim
