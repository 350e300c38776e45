#pragma once
// What became of the last setup transaction of a controller entry.
#include <cstdint>

namespace zelmar::net {

enum class SetupOutcome : std::uint8_t {
    // The settings are in place: the controller confirmed them, or, its answer lost,
    // a lookup by serial number found it reporting them.
    Confirmed,
    // The controller answered that it took nothing; ControllerEntry::SetupRefusedField()
    // names the field it blamed (empty when it named none) and SetupRefusedReason() why.
    Refused,
    // No answer, and a lookup could not show the settings in place: the controller may
    // or may not have taken them (state unknown).
    NoAnswer,
};

}  // namespace zelmar::net
