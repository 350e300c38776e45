#pragma once
// What a port OS upgrade of one controller came to, as far as the service can
// tell: the controller switched to the image, refused it, the transfer did not
// complete (the old port OS still runs), or the switch was asked for and the
// controller could not be heard afterwards.
namespace zelmar::net {

enum class UpgradeVerdict {
    Switched,      // the controller confirmed the switch, or runs the image's revision after its restart
    Refused,       // the controller took nothing: another port type, a damaged image, a store that failed
    NotCompleted,  // the transfer stopped before the switch (no answer, stalled): the old port OS runs
    Unknown,       // the switch was asked for; no answer came, not even after the announced restart
};

}  // namespace zelmar::net
