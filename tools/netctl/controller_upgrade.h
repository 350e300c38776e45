#pragma once
// One controller's port OS upgrade in `zelmar-netctl upgrade`: what needs no
// transfer is decided from the search, and the rest is the tool's own upgrade
// (the service's transfer and its decision after the commit), followed by a
// lookup through the controller's restart to see the revision it now runs.
#include <optional>

#include "tools/netctl/controller_record.h"
#include "tools/netctl/netctl_commands.h"
#include "tools/netctl/upgrade_files.h"
#include "tools/netctl/upgrade_outcome.h"

namespace zelmar::net {
class NetService;
}

namespace zelmar::netctl {

class UpgradeBoard;

// The outcome when the controller as found needs no transfer: it runs the
// file's revision, no file is for its type, or it cannot be read without
// (the right) network password; nothing when it is to be upgraded.
std::optional<ControllerUpgrade> upgradeNotNeeded(const ControllerRecord& found, const UpgradeFiles& files,
                                                  const Options& options);

// Upgrades the controller in `service` (a worker's own, which learnt the
// site from the search): sent the file, and looked up through its restart.
// `slot` is its place on the board.
ControllerUpgrade upgradeController(net::NetService& service, const ControllerRecord& found,
                                    const UpgradeFiles::File& file, UpgradeBoard& board, std::size_t slot);

}  // namespace zelmar::netctl
