#pragma once
// The order in which plan apply moves controllers between IP addresses, so
// that no address is ever held by two of them. An address is held by whoever
// answers on it, by a fixed setting or by a DHCP lease. A controller takes an
// address only once every controller holding it has moved away (a
// hand-over). Controllers that take each other's addresses (a swap, a cycle)
// cannot be ordered so: one of them is parked on a free address of its
// network first, the others move one hand-over at a time, then the parked one
// takes its planned address. Cycles are closed one at a time. Plain data in
// and out; no network.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "site/plan_check.h"

namespace zelmar::site {

// Controllers that take each other's addresses, and where one of them waits meanwhile.
struct AddressCycle {
    std::vector<int> rows;  // in the order they move: the parked one first
    int parkedRow = 0;
    std::string parkedSerial;
    std::string parking;  // the free address the parked controller waits on
};

struct Move {
    enum class Step {
        Whole,        // the row's setup in one
        ToParking,    // the parked controller onto its parking address (IP settings only)
        FromParking,  // from there, the row's whole setup
    };
    std::size_t setup = 0;  // the checked setup this move is, or is part of
    Step step = Step::Whole;
    PlannedSetup send;  // what it sends; `send.found` is where the controller is when it starts
};

struct MovePlan {
    std::vector<Move> moves;                        // in apply order
    std::vector<std::vector<std::size_t>> waits;    // the earlier moves each starts after
    std::vector<std::vector<std::size_t>> holders;  // the moves whose controllers hold its new address now
    std::vector<AddressCycle> cycles;
};

// The fixed address a setup moves its controller onto; none when it keeps
// its address or takes one by DHCP.
std::optional<std::string> newAddress(const PlannedSetup& setup);
// Whether the setup frees the address its controller holds now: it moves to
// another fixed address, or from a fixed one to DHCP.
bool leavesAddress(const PlannedSetup& setup);

// The moves of the checked setups. `found`: every controller the search found
// (a parking address is one that none holds or names as its gateway, DNS
// server or main computer, and that no row plans). `given`: parking
// addresses the technician chose, each used for the cycles of its network.
// A cycle without a free parking address, or a given one that is not free,
// adds a problem.
MovePlan planMoves(const std::vector<PlannedSetup>& setups, const std::vector<ControllerRecord>& found,
                   const std::vector<std::string>& given, std::vector<PlanProblem>& problems);

}  // namespace zelmar::site
