#include "platform/netservice/wire/messages.h"

#include "platform/qorglib/serial_number.h"

namespace zelmar::net::wire {

namespace {
std::string ip4(std::uint32_t a) {
    return std::string{char(a >> 24), char((a >> 16) & 0xFF), char((a >> 8) & 0xFF), char(a & 0xFF)};
}

// A text item: absent is fine (stays as it was), present must be clean and within its limit.
bool readText(const Message& msg, std::uint16_t tag, std::string& out) {
    const std::string* v = msg.find(tag);
    if (!v)
        return true;
    if (v->size() > textLimit(tag) || !isCleanUtf8(*v))
        return false;
    out = *v;
    return true;
}
bool readIp(const Message& msg, std::uint16_t tag, std::uint32_t& out) {
    if (!msg.has(tag))
        return true;
    const auto v = msg.u32(tag);
    if (!v)
        return false;
    out = *v;
    return true;
}
bool readBool(const Message& msg, std::uint16_t tag, bool& out) {
    if (!msg.has(tag))
        return true;
    const auto v = msg.u8(tag);
    if (!v || *v > 1)
        return false;
    out = *v == 1;
    return true;
}
bool readI16(const Message& msg, std::uint16_t tag, std::int16_t& out) {
    if (!msg.has(tag))
        return true;
    const auto v = msg.u16(tag);
    if (!v)
        return false;
    out = static_cast<std::int16_t>(*v);
    return true;
}

std::string_view trimBlanks(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t'))
        t.remove_suffix(1);
    return t;
}

}  // namespace

void putControllerInfo(Message& msg, const ControllerInfo& info) {
    msg.add(TagSerialNo, info.serialNo);
    msg.addEthernet(TagEthernet, info.ethernet);
    msg.add(TagName, info.name);
    msg.add(TagDescription, info.description);
    msg.add(TagDnsName, info.dnsName);
    msg.add(TagMainComputer, info.mainComputerAddress);
    msg.add(TagIpAddress, ip4(info.ipAddress));
    msg.add(TagSubnetMask, ip4(info.subnetMask));
    msg.add(TagGateway, ip4(info.gateway));
    msg.add(TagDnsServer, ip4(info.dnsServer));
    msg.addU8(TagUseDhcp, info.useDhcp ? 1 : 0);
    msg.addU8(TagRequireEncryption, info.requireEncryption ? 1 : 0);
    msg.addU8(TagConnected, info.connected ? 1 : 0);
    msg.addU8(TagPasswordOk, info.passwordOk ? 1 : 0);
    msg.addU32(TagCapabilities, info.capabilities);
    msg.addU16(TagModelCode, static_cast<std::uint16_t>(info.modelCode));
    msg.addU16(TagPortOsType, static_cast<std::uint16_t>(info.portOsType));
    msg.add(TagPortOsRevision, info.portOsRevision);
}

bool readControllerInfo(const Message& msg, ControllerInfo& info) {
    info = ControllerInfo{};
    const auto mac = msg.ethernet(TagEthernet);
    const std::string* serial = msg.find(TagSerialNo);
    if (!mac || !serial || serial->empty())
        return false;
    info.ethernet = *mac;
    bool ok = readText(msg, TagSerialNo, info.serialNo) && readText(msg, TagName, info.name) &&
              readText(msg, TagDescription, info.description) && readText(msg, TagDnsName, info.dnsName) &&
              readText(msg, TagMainComputer, info.mainComputerAddress) &&
              readText(msg, TagPortOsRevision, info.portOsRevision) && readIp(msg, TagIpAddress, info.ipAddress) &&
              readIp(msg, TagSubnetMask, info.subnetMask) && readIp(msg, TagGateway, info.gateway) &&
              readIp(msg, TagDnsServer, info.dnsServer) && readBool(msg, TagUseDhcp, info.useDhcp) &&
              readBool(msg, TagRequireEncryption, info.requireEncryption) &&
              readBool(msg, TagConnected, info.connected) && readBool(msg, TagPasswordOk, info.passwordOk) &&
              readI16(msg, TagModelCode, info.modelCode) && readI16(msg, TagPortOsType, info.portOsType);
    if (ok && msg.has(TagCapabilities)) {
        const auto caps = msg.u32(TagCapabilities);
        ok = caps.has_value();
        if (caps)
            info.capabilities = *caps;
    }
    return ok;
}

bool SetupFields::empty() const {
    return !name && !description && !dnsName && !mainComputerAddress && !useDhcp && !requireEncryption &&
           !configIpAddress && !configSubnetMask && !configGateway && !configDnsServer && !encryptionPassword &&
           !encryptionKey;
}

std::uint16_t unsendableSetupField(const SetupFields& f, std::string& problem) {
    const std::pair<std::uint16_t, const std::optional<std::string>*> texts[] = {
        {TagName, &f.name},
        {TagDescription, &f.description},
        {TagDnsName, &f.dnsName},
        {TagMainComputer, &f.mainComputerAddress},
        {TagConfigIpAddress, &f.configIpAddress},
        {TagConfigSubnetMask, &f.configSubnetMask},
        {TagConfigGateway, &f.configGateway},
        {TagConfigDnsServer, &f.configDnsServer},
        {TagEncryptionPassword, &f.encryptionPassword},
    };
    for (const auto& [tag, value] : texts)
        if (*value && !(problem = textProblem(tag, **value)).empty())
            return tag;
    return 0;
}

void putSetupFields(Message& msg, const SetupFields& f) {
    auto text = [&msg](std::uint16_t tag, const std::optional<std::string>& v) {
        if (v)
            msg.add(tag, *v);
    };
    text(TagName, f.name);
    text(TagDescription, f.description);
    text(TagDnsName, f.dnsName);
    text(TagMainComputer, f.mainComputerAddress);
    if (f.useDhcp)
        msg.addU8(TagUseDhcp, *f.useDhcp ? 1 : 0);
    if (f.requireEncryption)
        msg.addU8(TagRequireEncryption, *f.requireEncryption ? 1 : 0);
    text(TagConfigIpAddress, f.configIpAddress);
    text(TagConfigSubnetMask, f.configSubnetMask);
    text(TagConfigGateway, f.configGateway);
    text(TagConfigDnsServer, f.configDnsServer);
    text(TagEncryptionPassword, f.encryptionPassword);
    if (f.encryptionKey)
        msg.add(TagEncryptionKey, *f.encryptionKey);
}

std::uint16_t readSetupFields(const Message& msg, SetupFields& f) {
    f = SetupFields{};
    const std::uint16_t textTags[] = {TagName, TagDescription, TagDnsName, TagMainComputer,
                                      TagConfigIpAddress, TagConfigSubnetMask, TagConfigGateway,
                                      TagConfigDnsServer, TagEncryptionPassword};
    std::optional<std::string>* slots[] = {&f.name, &f.description, &f.dnsName, &f.mainComputerAddress,
                                           &f.configIpAddress, &f.configSubnetMask, &f.configGateway,
                                           &f.configDnsServer, &f.encryptionPassword};
    for (std::size_t i = 0; i < std::size(textTags); ++i) {
        std::string value;
        if (!msg.has(textTags[i]))
            continue;
        if (!readText(msg, textTags[i], value))
            return textTags[i];
        *slots[i] = value;
    }
    for (const std::uint16_t tag : {TagUseDhcp, TagRequireEncryption}) {
        if (!msg.has(tag))
            continue;
        bool value = false;
        if (!readBool(msg, tag, value))
            return tag;
        (tag == TagUseDhcp ? f.useDhcp : f.requireEncryption) = value;
    }
    if (const std::string* key = msg.find(TagEncryptionKey)) {
        if (key->size() != 32)
            return TagEncryptionKey;
        f.encryptionKey = *key;
    }
    return 0;
}

bool serialMatches(std::string_view filter, std::string_view own) {
    const auto a = qorg::serialNumberValue(filter), b = qorg::serialNumberValue(own);
    if (a && b)
        return *a == *b;
    return trimBlanks(filter) == trimBlanks(own);
}

}  // namespace zelmar::net::wire
