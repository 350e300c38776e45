#include "platform/netservice/crypto/sealed_reads.h"

namespace zelmar::net {

void SealedReads::add(PendingRequest request, const wire::Ethernet& ethernet) {
    byId_[request.requestId] = reads_.size();
    reads_.push_back({std::move(request), ethernet, false});
    ++open_;
}

SealedReads::Read* SealedReads::answeredBy(const wire::Message& reply) {
    const auto it = byId_.find(reply.requestId);
    if (reply.type != wire::MsgType::ReadReply || it == byId_.end())
        return nullptr;
    Read& read = reads_[it->second];
    if (read.done || reply.ethernet(wire::TagEthernet) != read.ethernet)
        return nullptr;
    return &read;
}

void SealedReads::renumbered(Read& read, std::uint32_t oldId) {
    byId_.erase(oldId);
    byId_[read.request.requestId] = std::size_t(&read - reads_.data());
}

void SealedReads::finish(Read& read) {
    if (!read.done) {
        read.done = true;
        --open_;
    }
}

std::optional<wire::ControllerInfo> sealedDescription(const wire::Message& reply, const wire::Ethernet& ethernet) {
    wire::ControllerInfo info;
    const auto status = reply.u8(wire::TagStatus);
    if (!(reply.flags & wire::FlagSealed) || status != std::uint8_t(wire::Status::Ok) ||
        !wire::readControllerInfo(reply, info) || info.ethernet != ethernet)
        return std::nullopt;
    info.passwordOk = true;
    return info;
}

}  // namespace zelmar::net
