#include "platform/netservice/upgrade/upgrade_acks.h"

namespace zelmar::net {

std::optional<bool> UpgradeAckBook::take(const wire::Message& msg, const wire::Ethernet& target,
                                         std::uint32_t transferId, std::uint64_t triggerSeq) {
    if (msg.type != wire::MsgType::UpgradeAck || msg.u32(wire::TagTransferId) != transferId)
        return std::nullopt;
    const auto mac = msg.ethernet(wire::TagEthernet);
    const auto n = msg.u32(wire::TagNextBlock);
    // A controller cannot have more than was sent.
    if (!mac || *mac != target || !n || *n > next)
        return std::nullopt;
    bool progress = false;
    for (; base < *n; ++base) {
        if (!acked[base]) {
            acked[base] = true;
            ++ackedCount;
            progress = true;
        }
    }
    std::uint32_t mapped = *n;  // blocks up to here are covered by this acknowledgement
    if (const std::string* map = msg.find(wire::TagReceivedMap)) {
        for (std::size_t i = 0; i < map->size() * 8; ++i) {
            const std::uint64_t b = std::uint64_t(*n) + 1 + i;
            if (b >= next)
                break;
            mapped = std::uint32_t(b);
            if (((std::uint8_t((*map)[i / 8]) >> (7 - i % 8)) & 1) && !acked[b]) {
                acked[b] = true;
                ++ackedCount;
                progress = true;
            }
        }
    }
    while (base < blocks() && acked[base])
        ++base;
    // Missing although a datagram sent after it arrived: lost on the way.
    if (triggerSeq)
        for (std::uint32_t b = base; b < next && b <= mapped; ++b)
            if (!acked[b] && sentSeq[b] < triggerSeq)
                lost.insert(b);
    return progress;
}

}  // namespace zelmar::net
