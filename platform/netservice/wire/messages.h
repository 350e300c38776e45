#pragma once
// The typed contents of the messages: what a controller reports about itself
// and the fields of a setup or network-check request (docs/protocol.md).
#include <cstdint>
#include <optional>
#include <string>

#include "platform/netservice/wire/wire.h"

namespace zelmar::net::wire {

// Capability bits a controller reports.
enum Capability : std::uint32_t {
    CapEncryption = 8,  // can require encrypted communication
};

// A search reply: identity and present settings.
struct ControllerInfo {
    std::string serialNo;
    Ethernet ethernet{};
    std::string name;
    std::string description;
    std::string dnsName;
    std::string mainComputerAddress;
    std::uint32_t ipAddress = 0;
    std::uint32_t subnetMask = 0;
    std::uint32_t gateway = 0;
    std::uint32_t dnsServer = 0;
    bool useDhcp = false;
    bool requireEncryption = false;
    bool connected = false;
    bool passwordOk = true;
    std::uint32_t capabilities = 0;
    std::int16_t modelCode = 0;
    std::int16_t portOsType = 0;
    std::string portOsRevision;
};

void putControllerInfo(Message& msg, const ControllerInfo& info);
// False when a required item (serial number, Ethernet address) is missing or
// any item has the wrong size, is not clean UTF-8 or is over its limit.
bool readControllerInfo(const Message& msg, ControllerInfo& info);

// The fields of a setup transaction; only those present are changed.
struct SetupFields {
    std::optional<std::string> name;
    std::optional<std::string> description;
    std::optional<std::string> dnsName;
    std::optional<std::string> mainComputerAddress;
    std::optional<bool> useDhcp;
    std::optional<bool> requireEncryption;
    std::optional<std::string> configIpAddress;
    std::optional<std::string> configSubnetMask;
    std::optional<std::string> configGateway;
    std::optional<std::string> configDnsServer;
    std::optional<std::string> encryptionPassword;  // never sent: the service turns it into encryptionKey
    std::optional<std::string> encryptionKey;       // 32 bytes, the controller's new key (sealed setups only)

    bool empty() const;
};

void putSetupFields(Message& msg, const SetupFields& fields);
// 0 when every text field can travel (within its limit, clean UTF-8); otherwise
// the tag of the first that cannot, with `problem` saying why ("is longer than 255 bytes").
std::uint16_t unsendableSetupField(const SetupFields& fields, std::string& problem);
// Reads the fields present. Returns 0, or the tag of the first item that has
// the wrong size, is not clean UTF-8 or is over its limit (the controller
// answers Invalid with that tag and changes nothing).
std::uint16_t readSetupFields(const Message& msg, SetupFields& fields);

// How a controller decides that a serial filter names it: equal values
// (platform/qorglib/serial_number.h), or, when either text is no serial
// number, equal texts after trimming blanks.
bool serialMatches(std::string_view filter, std::string_view own);

}  // namespace zelmar::net::wire
