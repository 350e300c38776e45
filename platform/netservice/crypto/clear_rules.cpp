#include "platform/netservice/crypto/clear_rules.h"

namespace zelmar::net {

bool mayGoInClear(const std::vector<std::uint8_t>& request, bool switchingOn) {
    wire::Message m;
    if (wire::decode(request.data(), request.size(), m) != wire::DecodeError::None)
        return false;
    if (m.has(wire::TagEncryptionKey) || m.has(wire::TagEncryptionPassword))
        return false;
    return !switchingOn || (m.type != wire::MsgType::Setup && m.type != wire::MsgType::CheckNetwork);
}

bool believedInClear(const wire::Message& reply, bool requiresEncryption) {
    return !requiresEncryption || reply.type == wire::MsgType::SearchReply || isRefusal(reply.u8(wire::TagStatus));
}

bool isRefusal(std::optional<std::uint8_t> status) {
    return status && (*status == std::uint8_t(wire::Status::Refused) || *status == std::uint8_t(wire::Status::Later) ||
                      *status == std::uint8_t(wire::Status::Unsupported));
}

}  // namespace zelmar::net
