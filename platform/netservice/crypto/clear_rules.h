#pragma once
// What may cross the network in clear around controllers that use encryption,
// decided on the messages alone: a request the service has no key to seal, and
// a reply that came unsealed.
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/netservice/wire/wire.h"

namespace zelmar::net {

// Whether a request with no key to seal it may leave in clear, as in version 1: never
// with a key or a password in it, nor the settings or the network check of a setup
// that switches encryption on (`switchingOn`) while no key could be agreed. False
// for a datagram that does not decode.
bool mayGoInClear(const std::vector<std::uint8_t>& request, bool switchingOn);

// Whether a reply that came in clear is believed. A controller that requires
// encryption (`requiresEncryption`) answers in clear only its search replies and
// its refusals; anything else in clear claiming to be from it is not its own.
bool believedInClear(const wire::Message& reply, bool requiresEncryption);

// A refusal: believed in clear, since nobody gains by faking one.
bool isRefusal(std::optional<std::uint8_t> status);

}  // namespace zelmar::net
