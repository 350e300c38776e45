#include "simulator/sim_upgrade.h"

#include <algorithm>
#include <cstring>

namespace zelmar::sim {

namespace wire = net::wire;
using net::platform::Endpoint;
using wire::Message;
using wire::MsgType;

namespace {

constexpr std::uint32_t kMinBlock = 256;

std::string field(std::uint16_t tag) {
    switch (tag) {
    case wire::TagTransferId: return "TransferId";
    case wire::TagImageLength: return "ImageLength";
    case wire::TagImageHash: return "ImageHash";
    case wire::TagPortOsType: return "PortOsType";
    case wire::TagPortOsRevision: return "PortOsRevision";
    case wire::TagBlockSize: return "BlockSize";
    case wire::TagWindowSize: return "WindowSize";
    default: return std::to_string(tag);
    }
}

Message replyTo(const Message& m, MsgType type, const SimControllerState& state, const wire::Ethernet& mac) {
    Message r;
    r.type = type;
    r.requestId = m.requestId;
    r.add(wire::TagSerialNo, state.serialNo);
    r.addEthernet(wire::TagEthernet, mac);
    return r;
}

std::vector<std::uint8_t> commitReply(const Message& m, const SimControllerState& state, const wire::Ethernet& mac,
                                      std::uint32_t transferId, wire::Status status, std::uint16_t badField,
                                      int restartMs) {
    Message reply = replyTo(m, MsgType::UpgradeCommitReply, state, mac);
    reply.addU8(wire::TagStatus, std::uint8_t(status));
    if (badField)
        reply.addU16(wire::TagBadField, badField);
    reply.addU32(wire::TagTransferId, transferId);
    if (status == wire::Status::Ok)
        reply.addU32(wire::TagRestartMs, std::uint32_t(std::max(0, restartMs)));
    return wire::encode(reply);
}

// The state after a switch to `revision`, with the transfer that brought it.
SimControllerState switchedTo(SimControllerState state, const std::string& revision, std::uint32_t transferId,
                              const Endpoint& from) {
    state.portOsRevision = revision;
    state.lastUpgradeTransferId = transferId;
    state.lastUpgradeClient = net::platform::toString(from);
    ++state.upgradesApplied;
    return state;
}

}  // namespace

SimUpgrade::Result SimUpgrade::handle(const Message& m, const Endpoint& from, SimControllerState& state,
                                      const wire::Ethernet& mac, const StoreState& store) {
    switch (m.type) {
    case MsgType::UpgradeStart: return onStart(m, from, state, mac);
    case MsgType::UpgradeData: return onData(m, from, state, mac);
    case MsgType::UpgradeCommit: return onCommit(m, from, state, mac, store);
    case MsgType::UpgradeAbort: return onAbort(m, from);
    default: {
        Result r;
        r.dropped = "not an upgrade request";
        return r;
    }
    }
}

std::vector<std::uint8_t> SimUpgrade::startReply(const Message& m, const SimControllerState& state,
                                                 const wire::Ethernet& mac, std::uint32_t transferId,
                                                 wire::Status status, std::uint16_t badField, const Session* s) {
    Message reply = replyTo(m, MsgType::UpgradeStartReply, state, mac);
    reply.addU8(wire::TagStatus, std::uint8_t(status));
    if (badField)
        reply.addU16(wire::TagBadField, badField);
    reply.addU32(wire::TagTransferId, transferId);
    if (s) {
        reply.addU16(wire::TagBlockSize, std::uint16_t(s->blockSize));
        reply.addU16(wire::TagWindowSize, std::uint16_t(s->window));
        reply.addU32(wire::TagRestartMs, std::uint32_t(std::max(0, state.restartMs)));
    }
    return wire::encode(reply);
}

std::optional<SimUpgrade::Refusal> SimUpgrade::readImage(const Message& m, const SimControllerState& state,
                                                         Session& s) {
    const auto length = m.u32(wire::TagImageLength);
    if (!length || *length == 0 || *length > net::UpgradeFile::kMaxImageBytes)
        return Refusal{wire::TagImageLength, "no image length, or over 64 MiB"};
    s.length = *length;
    const std::string* hash = m.find(wire::TagImageHash);
    if (!hash || hash->size() != s.hash.size())
        return Refusal{wire::TagImageHash, "no 32-byte image hash"};
    std::memcpy(s.hash.data(), hash->data(), s.hash.size());
    const auto type = m.u16(wire::TagPortOsType);
    if (!type)
        return Refusal{wire::TagPortOsType, "no port OS type"};
    s.portOsType = std::int16_t(*type);
    // An image for another port type would leave the port without a working OS: refused before any block.
    if (s.portOsType != state.portOsType)
        return Refusal{wire::TagPortOsType, "image for port type " + std::to_string(s.portOsType) +
                                                ", this port is " + std::to_string(state.portOsType)};
    const std::string* revision = m.find(wire::TagPortOsRevision);
    if (!revision || revision->empty() || revision->size() > wire::textLimit(wire::TagPortOsRevision) ||
        !wire::isCleanUtf8(*revision))
        return Refusal{wire::TagPortOsRevision, "no usable revision text"};
    s.revision = *revision;
    return std::nullopt;
}

std::optional<SimUpgrade::Refusal> SimUpgrade::readBlocks(const Message& m, Session& s) {
    const auto blockSize = m.u16(wire::TagBlockSize);
    if (!blockSize || *blockSize < kMinBlock)
        return Refusal{wire::TagBlockSize, "block size under 256"};
    s.blockSize = std::min<std::uint32_t>(*blockSize, std::uint32_t(wire::kMaxUpgradeBlock));
    const auto window = m.u16(wire::TagWindowSize);
    if (!window || *window == 0)
        return Refusal{wire::TagWindowSize, "no window"};
    s.window = std::min<std::uint32_t>(*window, std::uint32_t(kMaxWindow));
    s.blocks = (s.length + s.blockSize - 1) / s.blockSize;
    s.received.assign(s.blocks, false);
    return std::nullopt;
}

SimUpgrade::Result SimUpgrade::onStart(const Message& m, const Endpoint& from, SimControllerState& state,
                                       const wire::Ethernet& mac) {
    Result r;
    const auto id = m.u32(wire::TagTransferId);
    if (!id || *id == 0) {
        r.dropped = "upgrade start without a transfer id";
        return r;
    }
    const std::string transfer = "UpgradeStart transfer=" + std::to_string(*id);
    // The start of the running transfer asked again (its reply was lost): the same answer, nothing reset.
    if (session_ && session_->transferId == *id && session_->client == from) {
        r.reply = startReply(m, state, mac, *id, wire::Status::Ok, 0, &*session_);
        r.log = transfer + " repeated";
        return r;
    }
    Session s;
    s.client = from;
    s.transferId = *id;
    std::optional<Refusal> refusal = readImage(m, state, s);
    if (!refusal)
        refusal = readBlocks(m, s);
    if (refusal) {
        ++state.upgradesRefused;
        r.reply = startReply(m, state, mac, *id, wire::Status::Invalid, refusal->field, nullptr);
        r.log = transfer + " refused field=" + field(refusal->field) + ": " + refusal->why;
        return r;
    }
    if (session_)
        r.log = "UpgradeStart: transfer=" + std::to_string(session_->transferId) + " abandoned; ";
    session_ = std::move(s);
    ++state.upgradeStarts;
    r.reply = startReply(m, state, mac, *id, wire::Status::Ok, 0, &*session_);
    r.log += transfer + " accepted: " + describe(*session_);
    return r;
}

std::string SimUpgrade::describe(const Session& s) {
    return std::to_string(s.length) + " bytes, revision " + s.revision + ", " + std::to_string(s.blocks) +
           " blocks of " + std::to_string(s.blockSize) + ", window " + std::to_string(s.window);
}

std::vector<std::uint8_t> SimUpgrade::ack(std::uint32_t requestId, const SimControllerState& state,
                                          const wire::Ethernet& mac) const {
    const Session& s = *session_;
    Message reply;
    reply.type = MsgType::UpgradeAck;
    reply.requestId = requestId;
    reply.add(wire::TagSerialNo, state.serialNo);
    reply.addEthernet(wire::TagEthernet, mac);
    reply.addU32(wire::TagTransferId, s.transferId);
    reply.addU32(wire::TagNextBlock, s.next);
    // Bit i: block next + 1 + i has arrived; trailing empty bytes are left off.
    std::string map((s.window + 7) / 8, '\0');
    std::size_t used = 0;
    for (std::uint32_t i = 0; i < s.window; ++i) {
        const std::uint64_t b = std::uint64_t(s.next) + 1 + i;
        if (b >= s.blocks)
            break;
        if (s.received[b]) {
            map[i / 8] = char(std::uint8_t(map[i / 8]) | (0x80u >> (i % 8)));
            used = i / 8 + 1;
        }
    }
    map.resize(used);
    if (!map.empty())
        reply.add(wire::TagReceivedMap, map);
    return wire::encode(reply);
}

bool SimUpgrade::takeBlock(Session& s, std::uint32_t b, const std::string& data) {
    if (b < s.next || s.received[b])
        return false;  // a repeat changes nothing
    if (b >= std::uint64_t(s.next) + s.window)
        return true;  // beyond what it buffers: not taken; tell the client where it stands
    const std::size_t offset = std::size_t(b) * s.blockSize;
    // The image grows with what arrives, so an announced length costs nothing until blocks come.
    if (s.image.size() < offset + data.size())
        s.image.resize(offset + data.size());
    std::memcpy(s.image.data() + offset, data.data(), data.size());
    s.received[b] = true;
    if (b == s.next) {
        while (s.next < s.blocks && s.received[s.next])
            ++s.next;
        return false;
    }
    if (s.gapReportedAt == s.next)
        return false;
    s.gapReportedAt = s.next;  // the first block past a gap is reported at once
    return true;
}

SimUpgrade::Result SimUpgrade::onData(const Message& m, const Endpoint& from, SimControllerState& state,
                                      const wire::Ethernet& mac) {
    Result r;
    const auto id = m.u32(wire::TagTransferId);
    if (!session_ || !id || *id != session_->transferId || from != session_->client) {
        r.dropped = "upgrade block of no running transfer";
        return r;
    }
    Session& s = *session_;
    const auto b = m.u32(wire::TagBlockNo);
    const std::string* data = m.find(wire::TagBlockData);
    if (!b || !data || *b >= s.blocks) {
        r.dropped = "upgrade block without a number or data";
        return r;
    }
    const std::size_t offset = std::size_t(*b) * s.blockSize;
    const std::size_t expected = std::min<std::size_t>(s.blockSize, s.length - offset);
    if (data->size() != expected) {
        r.dropped = "upgrade block of the wrong length";
        return r;
    }
    ++state.upgradeBlocks;
    const bool urgent = takeBlock(s, *b, *data);
    bool ackNow = urgent || m.u8(wire::TagAckRequest).value_or(0) == 1;
    if (++s.sinceAck >= std::max<std::uint32_t>(1, s.window / 4) || s.next == s.blocks)
        ackNow = true;
    if (ackNow) {
        s.sinceAck = 0;
        r.reply = ack(m.requestId, state, mac);
    }
    return r;  // blocks are not logged one by one: thousands would drown the log
}

std::optional<SimUpgrade::Refusal> SimUpgrade::checkImage(const Session& s, const SimControllerState& state) {
    if (s.next != s.blocks || s.image.size() != s.length)
        return Refusal{wire::TagImageLength,
                       "incomplete: " + std::to_string(s.next) + " of " + std::to_string(s.blocks) + " blocks"};
    if (net::hashImage(s.image.data(), s.image.size()) != s.hash)
        return Refusal{wire::TagImageHash, "the image does not match its hash"};
    if (s.portOsType != state.portOsType)
        return Refusal{wire::TagPortOsType, "image for another port type"};
    return std::nullopt;
}

SimUpgrade::Result SimUpgrade::commitSession(const Message& m, const Endpoint& from, SimControllerState& state,
                                             const wire::Ethernet& mac, const StoreState& store) {
    const std::uint32_t id = session_->transferId;
    const std::string revision = session_->revision;
    std::optional<Refusal> refusal = checkImage(*session_, state);
    session_.reset();
    SimControllerState next = switchedTo(state, revision, id, from);
    Verdict v{from, id, wire::Status::Ok, 0};
    if (refusal) {
        v = {from, id, wire::Status::Invalid, refusal->field};
    } else if (store && !store(next)) {
        // The new revision and this verdict are stored together before the Ok goes out.
        v = {from, id, wire::Status::NotStored, 0};
        refusal = Refusal{0, "the new revision could not be stored"};
    }
    lastCommit_ = v;
    const std::string transfer = "UpgradeCommit transfer=" + std::to_string(id);
    Result r;
    if (v.status == wire::Status::Ok) {
        r.log = transfer + " switched from " + state.portOsRevision + " to " + revision;
        state = std::move(next);
        r.switched = true;
        r.reply = commitReply(m, state, mac, id, v.status, 0, state.restartMs);
    } else {
        ++state.upgradesRefused;
        r.reply = commitReply(m, state, mac, id, v.status, v.badField, 0);
        r.log = transfer + " refused field=" + field(v.badField) + ": " + refusal->why + "; still running " +
                state.portOsRevision;
    }
    return r;
}

SimUpgrade::Result SimUpgrade::onCommit(const Message& m, const Endpoint& from, SimControllerState& state,
                                        const wire::Ethernet& mac, const StoreState& store) {
    Result r;
    const auto id = m.u32(wire::TagTransferId);
    if (!id) {
        r.dropped = "upgrade commit without a transfer id";
        return r;
    }
    if (session_ && session_->transferId == *id && session_->client == from)
        return commitSession(m, from, state, mac, store);
    const std::string transfer = "UpgradeCommit transfer=" + std::to_string(*id);
    if (lastCommit_ && lastCommit_->transferId == *id && lastCommit_->client == from) {
        // Asked again after the verdict: the same answer; a switch happened already, no restart is pending.
        r.reply = commitReply(m, state, mac, *id, lastCommit_->status, lastCommit_->badField, 0);
        r.log = transfer + " repeated";
    } else if (state.lastUpgradeTransferId == *id && state.lastUpgradeClient == net::platform::toString(from)) {
        // The switch of this transfer, stored with it, survived the restart: its Ok again.
        r.reply = commitReply(m, state, mac, *id, wire::Status::Ok, 0, 0);
        r.log = transfer + " repeated after a restart";
    } else {
        r.reply = commitReply(m, state, mac, *id, wire::Status::Invalid, wire::TagTransferId, 0);
        r.log = transfer + " refused: no such transfer";
    }
    return r;
}

SimUpgrade::Result SimUpgrade::onAbort(const Message& m, const Endpoint& from) {
    Result r;
    const auto id = m.u32(wire::TagTransferId);
    if (!session_ || !id || *id != session_->transferId || from != session_->client) {
        r.dropped = "upgrade abort of no running transfer";
        return r;
    }
    r.log = "UpgradeAbort transfer=" + std::to_string(*id) + " dropped after " + std::to_string(session_->next) +
            " of " + std::to_string(session_->blocks) + " blocks";
    session_.reset();
    return r;
}

}  // namespace zelmar::sim
