#pragma once
// The sender's book of a port OS transfer (docs/protocol.md, 5.11): which
// blocks were sent, in which order, and which the controller has
// acknowledged. An acknowledgement names the first block still missing and
// maps the later ones that arrived; a block missing although a block sent
// after it arrived is lost and goes into `lost` to be sent again.
#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "platform/netservice/wire/wire.h"

namespace zelmar::net {

struct UpgradeAckBook {
    explicit UpgradeAckBook(std::uint32_t blocks) : acked(blocks, false), sentSeq(blocks, 0) {}

    std::vector<bool> acked;
    std::vector<std::uint64_t> sentSeq;  // send order of each block's last copy
    std::set<std::uint32_t> lost;
    std::uint32_t base = 0;  // every block below has been acknowledged
    std::uint32_t next = 0;  // the first block never sent
    std::uint32_t ackedCount = 0;  // blocks acknowledged so far, in any order

    std::uint32_t blocks() const { return std::uint32_t(acked.size()); }

    // Takes an UpgradeAck of transfer `transferId` from the controller `target`.
    // `triggerSeq` is the send number of the block whose request id it answers
    // (0: unknown). nullopt when it is none of ours (another transfer or
    // controller, or more acknowledged than was sent); otherwise whether any
    // block was newly acknowledged.
    std::optional<bool> take(const wire::Message& ack, const wire::Ethernet& target, std::uint32_t transferId,
                             std::uint64_t triggerSeq);
};

}  // namespace zelmar::net
