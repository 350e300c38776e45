#pragma once
// The reads of one pass over the controllers that require encryption, after a
// search, without sockets: which reads are still open, which reply answers
// which read, and what a believed answer tells of its controller.
#include <cstddef>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/netservice/wire/messages.h"
#include "platform/netservice/transport/pending_request.h"

namespace zelmar::net {

class SealedReads {
public:
    struct Read {
        PendingRequest request;
        wire::Ethernet ethernet{};  // the controller it reads: only its reply answers it
        bool done = false;
    };

    void add(PendingRequest request, const wire::Ethernet& ethernet);
    std::size_t open() const { return open_; }
    std::vector<Read>& reads() { return reads_; }

    // The open read `reply` answers: a read reply under its request id from its controller
    // (null: a late, foreign or repeated answer).
    Read* answeredBy(const wire::Message& reply);
    // The read went again under a new request id: only a reply under that one answers it now.
    void renumbered(Read& read, std::uint32_t oldId);
    void finish(Read& read);

private:
    std::vector<Read> reads_;
    std::unordered_map<std::uint32_t, std::size_t> byId_;
    std::size_t open_ = 0;
};

// The description a read reply gives of the controller with `ethernet`, when it is
// believed: sealed and Ok (it opened our request, so the password is right), and of
// that controller. Nullopt: the password does not open it.
std::optional<wire::ControllerInfo> sealedDescription(const wire::Message& reply, const wire::Ethernet& ethernet);

}  // namespace zelmar::net
