#pragma once
// One controller's port OS upgrade in whole-site work: what needs no transfer
// is decided from the search, and the rest is the tool's own upgrade (the
// service's transfer and its decision after the commit), followed by a lookup
// through the controller's restart to see the revision it now runs.
#include <cstddef>
#include <optional>

#include "site/controller_record.h"
#include "site/upgrade_files.h"
#include "site/upgrade_outcome.h"

namespace zelmar::net {
class NetService;
}

namespace zelmar::site {

class Turn;
class UpgradeListener;

// The outcome when the controller as found needs no transfer: it runs the
// file's revision, no file is for its type, it cannot be read without (the
// right) network password, or it runs a newer revision than the file and no
// downgrade is allowed; nothing when it is to be sent the file.
std::optional<ControllerUpgrade> upgradeNotNeeded(const ControllerRecord& found, const UpgradeFiles& files,
                                                  bool havePassword, bool allowOlder);
// Whether the file for the controller's type is older than the revision it runs.
bool fileIsOlder(const ControllerRecord& found, const UpgradeFiles& files);

// Upgrades the controller in `service` (a worker's own, which learnt the
// site from the search): sent the file, and looked up through its restart.
// `slot` is its place in the batch the listener was told of. The turn goes
// quiet once every block is acknowledged (the listener told first): what is
// left is the commit and a restarting controller that is only looked for.
ControllerUpgrade upgradeController(net::NetService& service, const ControllerRecord& found,
                                    const UpgradeFiles::File& file, UpgradeListener& listener, std::size_t slot,
                                    Turn& turn);

}  // namespace zelmar::site
