#include "platform/netservice/upgrade_file.h"

namespace zelmar::net {

// The upgrade file format arrives with the port OS upgrade transfer; until
// then no file is accepted, so no image can reach a controller.
bool UpgradeFile::Load(const std::string& /*path*/) {
    valid_ = false;
    revision_.clear();
    portOsType_ = 0;
    image_.clear();
    return valid_;
}

}  // namespace zelmar::net
