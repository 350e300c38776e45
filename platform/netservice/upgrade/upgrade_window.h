#pragma once
// The sender's window of a port OS transfer, over its book of
// acknowledgements (upgrade_acks.h): which block goes next (lost ones first,
// then new ones as far as the window reaches), which one goes again when
// nothing is heard, and which send an acknowledgement answers. How far the
// window reaches grows as the link shows it carries the blocks: sixteen at
// first, one more for every block acknowledged (twice as many each round
// trip) up to the controller's window, and half as many while the link stays
// silent, so that a slow link is not flooded by one burst. No sockets and no clock of its
// own: the transfer says when it sent and heard.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>

#include "platform/netservice/upgrade/upgrade_acks.h"

namespace zelmar::net {

class UpgradeWindow {
public:
    using Clock = std::chrono::steady_clock;

    UpgradeWindow(std::uint32_t blocks, std::size_t window);

    struct Send {
        std::uint32_t block = 0;
        bool again = false;   // a retransmission
        // Asks for an acknowledgement at once: the last block the window lets out, the last of
        // the lost blocks sent again, and every few blocks while lost ones are being repaired, so
        // that neither a full window nor a lost acknowledgement leaves the sender to its timer.
        bool askAck = false;
    };
    static constexpr std::uint32_t kAskEveryWhileRepairing = 8;
    // The next block to send now; nullopt when nothing is lost and the window is full.
    std::optional<Send> next();
    // Nothing heard in time: the first block sent and not acknowledged, to go again
    // with a request for an acknowledgement (nullopt: none, or lost blocks wait to go).
    std::optional<std::uint32_t> probe() const;
    // Nothing was heard for a while: half as many blocks may be out from now on.
    void timedOut();
    static constexpr std::size_t kFirstReach = 16;  // blocks the window reaches at first
    static constexpr std::size_t kLeastReach = 4;
    // `block` left at `at` in the datagram of this request id.
    void sent(std::uint32_t block, std::uint32_t requestId, Clock::time_point at);

    struct Ack {
        bool progress = false;              // some block was newly acknowledged
        std::optional<double> roundTripMs;  // since the send it answers, when that is known
    };
    // An UpgradeAck of transfer `transferId` from the controller `target`, taken at
    // `now`; nullopt when it is none of ours.
    std::optional<Ack> take(const wire::Message& ack, const wire::Ethernet& target, std::uint32_t transferId,
                            Clock::time_point now);

    // Sealed transfers: whether `requestId` was sent in the present session.
    bool sentInThisSession(std::uint32_t requestId) const;
    // A new session: every block sent and not yet acknowledged goes again in it.
    void newSession();

    bool complete() const { return book_.base >= book_.blocks(); }
    int percentAcknowledged() const;  // the share acknowledged in order

private:
    struct SentDatagram {
        std::uint64_t seq;
        Clock::time_point at;
        std::uint32_t session;  // the number of the session it was sealed in
    };

    UpgradeAckBook book_;
    std::size_t window_;
    std::unordered_map<std::uint32_t, SentDatagram> byRequest_;  // request id -> which send it was
    std::uint64_t seq_ = 0;
    std::uint32_t session_ = 0;  // sessions renewed during the transfer
    std::size_t reach_;                 // blocks beyond the first unacknowledged one that may be out
    std::uint32_t repairingBelow_ = 0;  // blocks were found lost among those below this one
    std::uint32_t sinceAsked_ = 0;      // blocks sent since the last that asked for an acknowledgement
};

}  // namespace zelmar::net
