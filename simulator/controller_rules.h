#pragma once
// What a controller accepts: the checks of a setup transaction and the
// network check of IP settings against the network it is attached to.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/netservice/wire/messages.h"
#include "simulator/sim_state.h"

namespace zelmar::sim {

struct SetupVerdict {
    net::wire::Status status = net::wire::Status::Ok;
    std::uint16_t badField = 0;
};

// Checks `fields` against `current`; on Ok, `result` is the state with them applied.
SetupVerdict checkSetup(const SimControllerState& current, const net::wire::SetupFields& fields,
                        SimControllerState& result);

// CheckProblem bits (0: the settings fit) of the held IP settings merged over
// the configured ones, against the attached network.
std::uint32_t checkNetworkFit(const SimControllerState& current, const net::wire::SetupFields& fields);

// The DHCP lease a controller gets in its attached network (derived from its
// Ethernet address so it stays the same across restarts).
void leaseFromNetwork(SimControllerState& s);

}  // namespace zelmar::sim
