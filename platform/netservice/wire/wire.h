#pragma once
// The UDP wire format between the service and the controllers (docs/protocol.md).
// A datagram is a 16-byte header followed by a body of tagged items; all
// numbers are big-endian (network byte order), texts are UTF-8 without a
// terminating zero. decode() checks every length against the datagram and
// never reads outside it; anything it refuses is dropped by the receiver.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelmar::net::wire {

constexpr std::uint8_t kMagic[4] = {'Z', 'L', 'N', 'P'};
constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kMaxDatagram = 8192;      // larger datagrams are dropped unread
constexpr std::size_t kMaxSendDatagram = 1472;  // what a sender puts in one datagram (fits a 1500-byte MTU)
constexpr std::size_t kMaxItems = 64;
constexpr std::uint16_t kDefaultPort = 41950;

enum class MsgType : std::uint8_t {
    Search = 0x01,        // who is there (filters in the items)
    SearchAck = 0x02,     // service -> controller: your answer to this request arrived
    Setup = 0x03,         // one setup transaction
    CheckNetwork = 0x04,  // do these IP settings fit the network you are attached to
    Mark = 0x05,          // mark / unmark as the chosen controller
    UpgradeStart = 0x10,  // port OS upgrade: announce an image (length, hash, port type, revision)
    UpgradeData = 0x11,   // one block of the image
    UpgradeCommit = 0x12, // check the whole image and switch to it
    UpgradeAbort = 0x13,  // forget an unfinished transfer (no reply)
    Read = 0x20,          // sealed: the whole description of a controller that requires encryption
    SearchReply = 0x81,
    SetupReply = 0x83,
    CheckReply = 0x84,
    MarkReply = 0x85,
    UpgradeStartReply = 0x90,
    UpgradeAck = 0x91,    // blocks received so far (next block wanted and a map of the later ones)
    UpgradeCommitReply = 0x92,
    ReadReply = 0xA0,
};
constexpr std::uint8_t kReplyBit = 0x80;

enum Flag : std::uint16_t {
    FlagSealed = 0x0001,  // body is an authenticated-encryption envelope (crypto_envelope.h); wire::decode refuses it
    FlagKnownFlags = 0x0001,
};

// Item tags. Tags with bit 0x8000 set are "critical": a receiver that does not
// know one drops the whole message; unknown tags without that bit are skipped.
enum Tag : std::uint16_t {
    TagTargetEthernet = 0x0001,   // 6 bytes: the controller a request is meant for
    TagSerialFilter = 0x0002,     // text <= 32: only this serial number answers
    TagSearchFlags = 0x0003,      // u16, SearchFlag bits
    TagAnswerSpreadMs = 0x0004,   // u16 <= 2000: answer after a random delay in [0, value]
    TagSearchRound = 0x0005,      // u8 >= 1: which round of its search this request is

    TagSerialNo = 0x0010,         // text <= 32
    TagEthernet = 0x0011,         // 6 bytes
    TagName = 0x0012,             // text <= 64
    TagDescription = 0x0013,      // text <= 255
    TagDnsName = 0x0014,          // text <= 253
    TagMainComputer = 0x0015,     // text <= 253
    TagIpAddress = 0x0016,        // 4 bytes, present settings
    TagSubnetMask = 0x0017,
    TagGateway = 0x0018,
    TagDnsServer = 0x0019,
    TagUseDhcp = 0x001A,          // u8 0/1
    TagRequireEncryption = 0x001B,// u8 0/1
    TagCapabilities = 0x001C,     // u32
    TagModelCode = 0x001D,        // i16
    TagPortOsType = 0x001E,       // i16
    TagPortOsRevision = 0x001F,   // text <= 32
    TagConfigIpAddress = 0x0020,  // text <= 64, as typed; the controller checks it
    TagConfigSubnetMask = 0x0021,
    TagConfigGateway = 0x0022,
    TagConfigDnsServer = 0x0023,
    TagEncryptionPassword = 0x0024,  // text <= 128 (only inside a sealed body)
    TagConnected = 0x0025,        // u8 0/1: the controller is cabled straight to the sender
    TagPasswordOk = 0x0026,       // u8 0/1
    TagAnsweredRound = 0x0027,    // u8: the SearchRound of the request a search reply answers
    TagAnswerWaitMs = 0x0028,     // u16: how long the controller waited before it answered

    TagStatus = 0x0030,           // u8, Status
    TagBadField = 0x0031,         // u16: tag of the first field refused
    TagCheckResult = 0x0032,      // u32, CheckProblem bits (0: fits)
    TagMarked = 0x0033,           // u8 0/1

    // Port OS upgrade transfer (docs/protocol.md, section 5.11).
    TagTransferId = 0x0050,       // u32: names one transfer
    TagImageLength = 0x0051,      // u32: bytes of the image
    TagImageHash = 0x0052,        // 32 bytes: BLAKE2b-256 of the image
    TagBlockSize = 0x0053,        // u16: payload bytes of every block but the last
    TagWindowSize = 0x0054,       // u16: blocks the client may have unacknowledged
    TagBlockNo = 0x0055,          // u32: 0-based block number
    TagBlockData = 0x0056,        // bytes of one block
    TagNextBlock = 0x0057,        // u32: every block below it has arrived
    TagReceivedMap = 0x0058,      // bit i (MSB first): block NextBlock + 1 + i has arrived
    TagAckRequest = 0x0059,       // u8 1: answer this block with an UpgradeAck at once
    TagRestartMs = 0x005A,        // u32: how long the controller is silent while it restarts

    // Encryption (docs/protocol.md, section 7).
    TagChallenge = 0x0060,        // 16 bytes: a fresh challenge (clear replies), the session (sealed requests)
    TagSequence = 0x0061,         // u32: number of a sealed request within its session
    TagPublicKey = 0x0062,        // 32 bytes: the controller's X25519 key for switching encryption on
    TagEncryptionKey = 0x0063,    // 32 bytes: the controller's new key; Setup, only inside a sealed body
    TagRetryAfterMs = 0x0064,     // u16: with Status Later
};

// Limits of the upgrade transfer.
constexpr std::size_t kMaxUpgradeBlock = 1400;   // payload bytes of one block
constexpr std::size_t kMaxUpgradeWindow = 256;   // blocks; a ReceivedMap holds at most this many bits

enum SearchFlag : std::uint16_t {
    SearchConnectedOnly = 0x0001,  // only a directly connected controller answers
};

enum class Status : std::uint8_t {
    Ok = 0,
    Invalid = 1,      // a value failed the controller's checks; nothing changed
    Refused = 2,      // not permitted (encryption required, password wrong)
    Unsupported = 3,  // the controller cannot do this
    Stale = 4,        // sealed request of an unknown session: send it again in the new one (TagChallenge)
    Later = 5,        // too many wrong keys from this address: try again after TagRetryAfterMs
    NotStored = 6,    // the controller could not store the new state; nothing changed
};

enum CheckProblem : std::uint32_t {
    CheckAddressOutsideNetwork = 0x01,
    CheckMaskInvalid = 0x02,
    CheckGatewayOutsideNetwork = 0x04,
    CheckAddressReserved = 0x08,      // network or broadcast address of its own network
    CheckAddressInvalid = 0x10,       // not an IPv4 address
    CheckGatewayInvalid = 0x20,
    CheckDnsServerInvalid = 0x40,
};

using Ethernet = std::array<std::uint8_t, 6>;
std::string formatEthernet(const Ethernet& mac);  // "00-1A-4C-00-00-01"
std::optional<Ethernet> parseEthernet(std::string_view text);  // '-' or ':' separated

// A decoded datagram: header fields and items in arrival order (tags unique).
struct Message {
    MsgType type = MsgType::Search;
    std::uint16_t flags = 0;
    std::uint32_t requestId = 0;
    std::vector<std::pair<std::uint16_t, std::string>> items;

    const std::string* find(std::uint16_t tag) const;
    bool has(std::uint16_t tag) const { return find(tag) != nullptr; }

    void add(std::uint16_t tag, std::string value) { items.emplace_back(tag, std::move(value)); }
    void addU8(std::uint16_t tag, std::uint8_t v);
    void addU16(std::uint16_t tag, std::uint16_t v);
    void addU32(std::uint16_t tag, std::uint32_t v);
    void addEthernet(std::uint16_t tag, const Ethernet& mac);

    // Typed reads: nullopt when the item is absent or has the wrong size.
    std::optional<std::uint8_t> u8(std::uint16_t tag) const;
    std::optional<std::uint16_t> u16(std::uint16_t tag) const;
    std::optional<std::uint32_t> u32(std::uint16_t tag) const;
    std::optional<Ethernet> ethernet(std::uint16_t tag) const;
    // An item of exactly N bytes (keys, nonces), nullopt otherwise.
    template <std::size_t N>
    std::optional<std::array<std::uint8_t, N>> bytes(std::uint16_t tag) const {
        const std::string* v = find(tag);
        if (!v || v->size() != N)
            return std::nullopt;
        std::array<std::uint8_t, N> a;
        std::copy(v->begin(), v->end(), a.begin());
        return a;
    }
};

enum class DecodeError {
    None,
    TooShort,
    TooLong,
    BadMagic,
    BadVersion,
    BadLength,     // body length does not match the datagram
    Reserved,      // reserved header bits set
    UnknownType,
    BadItem,       // an item runs past the body
    DuplicateItem,
    TooManyItems,
    UnknownCritical,
    Sealed,        // sealed bodies are not understood by this version
};
const char* toString(DecodeError e);

DecodeError decode(const std::uint8_t* data, std::size_t size, Message& out);

// Encodes; returns an empty vector when the message would exceed kMaxDatagram
// or an item is longer than 65535 bytes.
std::vector<std::uint8_t> encode(const Message& msg);

bool isKnownType(std::uint8_t type);
bool isReply(MsgType type);

// True for well-formed UTF-8 without control characters (U+0000-U+001F, U+007F-U+009F).
bool isCleanUtf8(std::string_view text);

// Limits of the text items, in bytes.
std::size_t textLimit(std::uint16_t tag);

// Why `text` cannot travel as the text item `tag` ("is longer than 64 bytes",
// "holds a control character or is not UTF-8"); empty when it can.
std::string textProblem(std::uint16_t tag, std::string_view text);

// The item's name as the protocol document spells it ("ConfigIpAddress"); "item 0x0040" for unknown tags.
std::string itemName(std::uint16_t tag);

}  // namespace zelmar::net::wire
