#pragma once
// The check of a whole plan against the controllers found, before anything
// is sent: every value as the controller would judge it, no IP address twice,
// every serial number found, the network password where it is needed. Plain
// data in, problems and the setups to send out; no network.
#include <optional>
#include <string>
#include <vector>

#include "platform/netservice/wire/messages.h"
#include "site/site_plan.h"

namespace zelmar::site {

// A plan row matched to its controller and what has to change there.
struct PlannedSetup {
    int row = 0;
    ControllerRecord found;           // as the controller reported itself before
    net::wire::SetupFields fields;    // the settings that differ from the plan; empty: nothing to do
    bool switchesEncryptionOn() const;
};

struct PlanCheck {
    std::vector<PlanProblem> problems;
    std::vector<PlannedSetup> setups;  // one per plan row whose controller was found, in plan order
};

// A plan's true or false: also yes/no, 1/0 and the Swedish ja/nej, sant/falskt, any case.
std::optional<bool> readBoolean(std::string text);

// What is wrong with one cell's value on its own by the controllers' rules
// (a text too long, not an address, neither true nor false); none when it is
// fine. Texts are judged as typed, the other values with blanks around ignored.
Phrase cellProblem(Column column, const std::string& value);

// Every check that needs no controller, made before anything is sent: each
// cell's value by the controllers' rules, the fixed settings a row gives
// whole, an address planned for two rows, the network password a row that
// switches encryption on needs. checkPlan makes them all again, row by row.
std::vector<PlanProblem> checkPlanValues(const SitePlan& plan, bool havePassword);

// `found`: the controllers a search found (all of them, also those not in the
// plan: their addresses are taken). `havePassword`: a network password was given.
PlanCheck checkPlan(const SitePlan& plan, const std::vector<ControllerRecord>& found, bool havePassword);

// The plan's columns that still differ from what a controller reports: empty
// when the controller is as planned (the verification after a setup).
std::vector<std::string> differences(const PlannedSetup& setup, const ControllerRecord& now);

// The plan's column of a field the service names by its setter ("ConfigIpAddress" is IpAddress).
std::string columnOfField(const std::string& field);
// The column a controller's field tag belongs to ("IpAddress" for the configured address).
std::string columnOfTag(std::uint16_t tag);

}  // namespace zelmar::site
