#pragma once
// The setups of the controllers found: the writes held for each until they are
// applied in one transaction, the network check of the held IP settings, and
// the verdict of the last setup — confirmed, refused (with the field blamed),
// or, its answer lost, confirmed only when a lookup shows the settings in place.
// It talks to controllers only through SetupLink.
#include <cstdint>
#include <vector>

#include "platform/netservice/setup/setup_link.h"
#include "platform/netservice/setup/setup_outcome.h"
#include "platform/netservice/wire/messages.h"

namespace zelmar::net {

struct SetupState {
    wire::SetupFields held;  // writes waiting for apply
    bool ok = false;         // the settings of the last setup are in place
    SetupOutcome outcome = SetupOutcome::Confirmed;
    wire::Status status = wire::Status::Ok;  // what a refusal said
    std::uint16_t badField = 0;              // the field tag a refusal named (0: none)
    bool fitsNetwork = false;                // the verdict of the last network check
};

class ControllerSetups {
public:
    explicit ControllerSetups(SetupLink& link);

    // By entry index; the caller checks that the index is one.
    wire::SetupFields& held(std::int32_t index) { return slot(index).held; }
    const SetupState& state(std::int32_t index) const;
    void withdraw(std::int32_t index) { slot(index).held = {}; }

    // Sends the held IP settings for the controller's check (protocol 5.8): true when it
    // answered, then `detail` holds the problem bits and the state whether they fit.
    bool checkNetwork(std::int32_t index, std::int32_t& detail);
    // Sends the held writes in one transaction and keeps its verdict. Nothing held: confirmed.
    void apply(std::int32_t index);

private:
    SetupState& slot(std::int32_t index);
    // Whether held writes switch encryption on at a controller that can and does not yet.
    bool switchesOn(std::int32_t index, const wire::SetupFields& fields);
    // Settings refused here rather than by the controller (the link says why).
    bool refusedBeforeSending(std::int32_t index, const wire::SetupFields& fields);
    void prepareEncryption(std::int32_t index, wire::SetupFields& fields);  // password -> key
    void takeReply(std::int32_t index, const wire::Message& reply);
    void settleUnanswered(std::int32_t index, const wire::SetupFields& asked);
    bool settingsInPlace(std::int32_t index, const wire::SetupFields& asked);
    void finish(std::int32_t index, wire::SetupFields& fields);

    SetupLink& link_;
    std::vector<SetupState> states_;  // by entry index, grown as entries are used
};

}  // namespace zelmar::net
