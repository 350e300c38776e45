// libFuzzer target: what the service receives from controllers. Each input is
// one datagram as it arrives at the client:
//   - decoded, and read with every reader the service applies to replies
//     (the controller description, status and refused field, network check,
//     mark, upgrade start and commit answers, wait requests, challenges and keys);
//   - taken as an upgrade acknowledgement into the book of a transfer in progress;
//   - peeked and opened as a sealed reply, with the controller's key and with
//     the key agreed for replies;
//   - and, so that the fuzzer reaches the body behind the AEAD tag, the decoded
//     datagram sealed with those keys must open to exactly what was sealed and
//     go through the same readers.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/netservice/crypto/crypto_envelope.h"
#include "platform/netservice/wire/messages.h"
#include "platform/netservice/upgrade/upgrade_acks.h"
#include "platform/netservice/wire/wire.h"

namespace {
namespace wire = zelmar::net::wire;
namespace crypto = zelmar::net::crypto;

constexpr wire::Ethernet kController = {0x00, 0x1A, 0x4C, 0x00, 0x00, 0x00};
constexpr std::uint32_t kTransfer = 0x01020304;

crypto::Key fixedKey(std::uint8_t fill) {
    crypto::Key k;
    k.fill(fill);
    return k;
}

void check(bool ok) {
    if (!ok)
        __builtin_trap();
}

// Everything the service reads from a reply; none of it may read outside the message.
void readReply(const wire::Message& m) {
    wire::ControllerInfo info;
    if (wire::readControllerInfo(m, info)) {
        wire::Message again;
        again.type = wire::MsgType::SearchReply;
        wire::putControllerInfo(again, info);
        check(!wire::encode(again).empty());  // what the service keeps encodes again within the limits
    }
    (void)m.u8(wire::TagStatus);
    if (const auto bad = m.u16(wire::TagBadField))
        (void)wire::itemName(*bad);
    (void)m.u32(wire::TagCheckResult);
    (void)m.u8(wire::TagMarked);
    (void)m.u32(wire::TagRestartMs);
    (void)m.u16(wire::TagBlockSize);
    (void)m.u16(wire::TagWindowSize);
    (void)m.u16(wire::TagRetryAfterMs);
    (void)m.bytes<crypto::kChallengeBytes>(wire::TagChallenge);
    (void)m.bytes<crypto::kPublicKeyBytes>(wire::TagPublicKey);
    (void)m.ethernet(wire::TagEthernet);
}

// An acknowledgement against a transfer of 300 blocks of which the first `sent` went out.
void takeAck(const wire::Message& m, std::uint32_t sent) {
    zelmar::net::UpgradeAckBook book(300);
    book.next = sent % 301;
    for (std::uint32_t b = 0; b < book.next; ++b)
        book.sentSeq[b] = b + 1;
    const std::uint64_t trigger = m.requestId % (book.next + 1);
    const auto taken = book.take(m, kController, kTransfer, trigger);
    check(book.base <= book.next && book.next <= book.blocks());
    for (std::uint32_t b = 0; b < book.base; ++b)
        check(book.acked[b]);
    for (std::uint32_t b = book.next; b < book.blocks(); ++b)
        check(!book.acked[b]);  // nothing is acknowledged that was never sent
    for (std::uint32_t b : book.lost)
        check(b >= book.base && b < book.next && !book.acked[b]);
    if (!taken)
        check(book.base == 0 && book.lost.empty());
}

void openSealed(const std::uint8_t* data, std::size_t size) {
    if (!crypto::peek(data, size))
        return;
    for (std::uint8_t fill : {0x11, 0x22}) {
        const auto clear = crypto::open(data, size, fixedKey(fill));
        if (!clear)
            continue;
        wire::Message m;
        if (wire::decode(clear->data(), clear->size(), m) == wire::DecodeError::None)
            readReply(m);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    wire::Message m;
    const bool decoded = wire::decode(data, size, m) == wire::DecodeError::None;
    if (decoded) {
        readReply(m);
        takeAck(m, size > 16 ? data[16] | (data[size - 1] << 8) : 0);
    }
    openSealed(data, size);

    if (decoded && wire::isReply(m.type)) {
        // A well-formed reply, sealed as a controller would: it opens to the same bytes.
        const auto clear = wire::encode(m);
        if (clear.empty())
            return 0;
        const auto kind = (size & 1) ? crypto::EnvelopeKind::KeyAgreement : crypto::EnvelopeKind::ControllerKey;
        const crypto::PublicKey client{};
        const auto sealed = crypto::seal(clear, kind, kController, fixedKey(0x11),
                                         kind == crypto::EnvelopeKind::KeyAgreement ? &client : nullptr);
        if (sealed.empty())
            return 0;  // over the datagram limit with the envelope
        const auto info = crypto::peek(sealed.data(), sealed.size());
        check(info && info->type == m.type && info->requestId == m.requestId && info->ethernet == kController);
        const auto opened = crypto::open(sealed.data(), sealed.size(), fixedKey(0x11));
        check(opened && *opened == clear);
        check(!crypto::open(sealed.data(), sealed.size(), fixedKey(0x22)));  // another key opens nothing
        openSealed(sealed.data(), sealed.size());
    }
    return 0;
}
