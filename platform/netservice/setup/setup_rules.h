#pragma once
// What a controller accepts in a setup, as plain checks: the controller (the
// simulator) applies them to a setup it receives, and a client can apply the
// same ones before it sends anything.
#include <cstdint>
#include <string>

#include "platform/netservice/wire/messages.h"

namespace zelmar::net::rules {

// An address a host may have: not 0.0.0.0, not in 0/8 or 127/8, below 224.0.0.0.
bool usableHostAddress(std::uint32_t address);

// The tag of the first text field the controller refuses (clean UTF-8 within
// its limit; DnsName a host name; MainComputerAddress empty, an address or a
// host name), 0 when all given ones are fine.
std::uint16_t checkTexts(const wire::SetupFields& fields);

// Fixed IP settings as a working host configuration: a usable host address,
// a contiguous mask of /1 to /30, the address neither the network nor the
// broadcast address, the gateway 0.0.0.0 or a host inside the network (not
// the address itself), the DNS server 0.0.0.0 or a usable host address.
// Gateway and DNS server may be empty (none). Returns the tag of the first
// field at fault, 0 when they make a working configuration.
std::uint16_t checkFixedSettings(const std::string& ipAddress, const std::string& subnetMask,
                                 const std::string& gateway, const std::string& dnsServer);

}  // namespace zelmar::net::rules
