#include "platform/netservice/wire/wire.h"

#include <cstdio>
#include <cstring>

namespace zelmar::net::wire {

namespace {
std::uint16_t be16(const std::uint8_t* p) { return std::uint16_t((p[0] << 8) | p[1]); }
std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
bool isKnownTag(std::uint16_t tag) {
    return (tag >= TagTargetEthernet && tag <= TagSearchRound) || (tag >= TagSerialNo && tag <= TagAnswerWaitMs) ||
           (tag >= TagStatus && tag <= TagMarked) || (tag >= TagTransferId && tag <= TagRestartMs) ||
           (tag >= TagChallenge && tag <= TagRetryAfterMs);
}
}  // namespace

std::string formatEthernet(const Ethernet& mac) {
    char buf[18];
    std::snprintf(buf, sizeof buf, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return buf;
}

std::optional<Ethernet> parseEthernet(std::string_view text) {
    if (text.size() != 17)
        return std::nullopt;
    Ethernet mac{};
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    for (int i = 0; i < 6; ++i) {
        const int hi = hex(text[i * 3]), lo = hex(text[i * 3 + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        if (i < 5 && text[i * 3 + 2] != '-' && text[i * 3 + 2] != ':')
            return std::nullopt;
        mac[i] = std::uint8_t(hi * 16 + lo);
    }
    return mac;
}

const std::string* Message::find(std::uint16_t tag) const {
    for (const auto& [t, v] : items)
        if (t == tag)
            return &v;
    return nullptr;
}

void Message::addU8(std::uint16_t tag, std::uint8_t v) { add(tag, std::string(1, char(v))); }
void Message::addU16(std::uint16_t tag, std::uint16_t v) {
    add(tag, std::string{char(v >> 8), char(v & 0xFF)});
}
void Message::addU32(std::uint16_t tag, std::uint32_t v) {
    add(tag, std::string{char(v >> 24), char((v >> 16) & 0xFF), char((v >> 8) & 0xFF), char(v & 0xFF)});
}
void Message::addEthernet(std::uint16_t tag, const Ethernet& mac) {
    add(tag, std::string(reinterpret_cast<const char*>(mac.data()), mac.size()));
}

std::optional<std::uint8_t> Message::u8(std::uint16_t tag) const {
    const std::string* v = find(tag);
    if (!v || v->size() != 1)
        return std::nullopt;
    return std::uint8_t((*v)[0]);
}
std::optional<std::uint16_t> Message::u16(std::uint16_t tag) const {
    const std::string* v = find(tag);
    if (!v || v->size() != 2)
        return std::nullopt;
    return be16(reinterpret_cast<const std::uint8_t*>(v->data()));
}
std::optional<std::uint32_t> Message::u32(std::uint16_t tag) const {
    const std::string* v = find(tag);
    if (!v || v->size() != 4)
        return std::nullopt;
    return be32(reinterpret_cast<const std::uint8_t*>(v->data()));
}
std::optional<Ethernet> Message::ethernet(std::uint16_t tag) const {
    const std::string* v = find(tag);
    if (!v || v->size() != 6)
        return std::nullopt;
    Ethernet mac;
    std::memcpy(mac.data(), v->data(), 6);
    return mac;
}

bool isKnownType(std::uint8_t t) {
    switch (t) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05:
    case 0x81: case 0x83: case 0x84: case 0x85:
    case 0x10: case 0x11: case 0x12: case 0x13:  // port OS upgrade
    case 0x90: case 0x91: case 0x92:
    case 0x20: case 0xA0:  // encryption
        return true;
    default:
        return false;
    }
}

bool isReply(MsgType type) { return (std::uint8_t(type) & kReplyBit) != 0; }

const char* toString(DecodeError e) {
    switch (e) {
    case DecodeError::None: return "ok";
    case DecodeError::TooShort: return "too short";
    case DecodeError::TooLong: return "too long";
    case DecodeError::BadMagic: return "bad magic";
    case DecodeError::BadVersion: return "unknown version";
    case DecodeError::BadLength: return "body length mismatch";
    case DecodeError::Reserved: return "reserved bits set";
    case DecodeError::UnknownType: return "unknown type";
    case DecodeError::BadItem: return "item past end";
    case DecodeError::DuplicateItem: return "duplicate item";
    case DecodeError::TooManyItems: return "too many items";
    case DecodeError::UnknownCritical: return "unknown critical item";
    case DecodeError::Sealed: return "sealed body";
    }
    return "?";
}

DecodeError decode(const std::uint8_t* data, std::size_t size, Message& out) {
    out = Message{};
    if (size < kHeaderSize)
        return DecodeError::TooShort;
    if (size > kMaxDatagram)
        return DecodeError::TooLong;
    if (std::memcmp(data, kMagic, 4) != 0)
        return DecodeError::BadMagic;
    if (data[4] != kVersion)
        return DecodeError::BadVersion;
    if (!isKnownType(data[5]))
        return DecodeError::UnknownType;
    const std::uint16_t flags = be16(data + 6);
    if ((flags & ~FlagKnownFlags) != 0 || be16(data + 14) != 0)
        return DecodeError::Reserved;
    if (flags & FlagSealed)
        return DecodeError::Sealed;
    const std::size_t bodyLength = be16(data + 12);
    if (bodyLength != size - kHeaderSize)
        return DecodeError::BadLength;
    out.type = MsgType(data[5]);
    out.flags = flags;
    out.requestId = be32(data + 8);

    std::size_t pos = kHeaderSize;
    while (pos < size) {
        if (size - pos < 4)
            return DecodeError::BadItem;
        const std::uint16_t tag = be16(data + pos);
        const std::size_t len = be16(data + pos + 2);
        pos += 4;
        if (len > size - pos)
            return DecodeError::BadItem;
        if (!isKnownTag(tag)) {
            if (tag & 0x8000)
                return DecodeError::UnknownCritical;
            pos += len;  // skipped: a later version's optional item
            continue;
        }
        if (out.has(tag))
            return DecodeError::DuplicateItem;
        if (out.items.size() >= kMaxItems)
            return DecodeError::TooManyItems;
        out.items.emplace_back(tag, std::string(reinterpret_cast<const char*>(data + pos), len));
        pos += len;
    }
    return DecodeError::None;
}

std::vector<std::uint8_t> encode(const Message& msg) {
    // Sized once and filled with plain copies: every upgrade block goes through here.
    std::size_t size = kHeaderSize;
    for (const auto& [tag, value] : msg.items) {
        if (value.size() > 0xFFFF)
            return {};
        size += 4 + value.size();
    }
    if (size > kMaxDatagram)
        return {};
    std::vector<std::uint8_t> out(size);
    std::uint8_t* p = out.data();
    const auto put = [&p](std::uint32_t v, int bytes) {
        for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
            *p++ = std::uint8_t(v >> shift);
    };
    std::memcpy(p, kMagic, 4);
    p += 4;
    *p++ = kVersion;
    *p++ = std::uint8_t(msg.type);
    put(msg.flags, 2);
    put(msg.requestId, 4);
    put(std::uint32_t(size - kHeaderSize), 2);
    put(0, 2);
    for (const auto& [tag, value] : msg.items) {
        put(tag, 2);
        put(std::uint32_t(value.size()), 2);
        std::memcpy(p, value.data(), value.size());
        p += value.size();
    }
    return out;
}

bool isCleanUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::uint32_t cp;
        std::size_t n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            n = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            n = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            n = 4;
        } else {
            return false;
        }
        if (i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((n == 2 && cp < 0x80) || (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F))
            return false;
        i += n;
    }
    return true;
}

std::size_t textLimit(std::uint16_t tag) {
    switch (tag) {
    case TagSerialFilter:
    case TagSerialNo:
    case TagPortOsRevision:
        return 32;
    case TagName:
        return 64;
    case TagDescription:
        return 255;
    case TagDnsName:
    case TagMainComputer:
        return 253;
    case TagConfigIpAddress:
    case TagConfigSubnetMask:
    case TagConfigGateway:
    case TagConfigDnsServer:
        return 64;
    case TagEncryptionPassword:
        return 128;
    default:
        return 0;
    }
}

std::string textProblem(std::uint16_t tag, std::string_view text) {
    if (text.size() > textLimit(tag))
        return "is longer than " + std::to_string(textLimit(tag)) + " bytes";
    if (!isCleanUtf8(text))
        return "holds a control character or is not UTF-8";
    return {};
}

std::string itemName(std::uint16_t tag) {
    switch (tag) {
    case TagTargetEthernet: return "TargetEthernet";
    case TagSerialFilter: return "SerialFilter";
    case TagSerialNo: return "SerialNo";
    case TagEthernet: return "Ethernet";
    case TagName: return "Name";
    case TagDescription: return "Description";
    case TagDnsName: return "DnsName";
    case TagMainComputer: return "MainComputer";
    case TagUseDhcp: return "UseDhcp";
    case TagRequireEncryption: return "RequireEncryption";
    case TagPortOsType: return "PortOsType";
    case TagPortOsRevision: return "PortOsRevision";
    case TagConfigIpAddress: return "ConfigIpAddress";
    case TagConfigSubnetMask: return "ConfigSubnetMask";
    case TagConfigGateway: return "ConfigGateway";
    case TagConfigDnsServer: return "ConfigDnsServer";
    case TagEncryptionPassword: return "EncryptionPassword";
    case TagEncryptionKey: return "EncryptionKey";
    case TagMarked: return "Marked";
    case TagTransferId: return "TransferId";
    case TagImageLength: return "ImageLength";
    case TagImageHash: return "ImageHash";
    case TagBlockSize: return "BlockSize";
    case TagWindowSize: return "WindowSize";
    default: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "item 0x%04x", unsigned(tag));
        return buf;
    }
    }
}

}  // namespace zelmar::net::wire
