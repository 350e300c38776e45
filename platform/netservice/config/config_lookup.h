#pragma once
// Which service configuration file a program uses. The first found holds:
//   1. the file named by ZELMAR_NETSERVICE_CONFIG (it must exist then);
//   2. the technician's own: <per-user configuration folder>/zelmar/netservice.json;
//   3. the installed one: <data folder>/netservice.json, the data folder being
//      ZELMAR_DATA_DIR or <executable folder>/../share/zelmar.
// None found: the built-in defaults (loopback, no search targets). The build
// tree carries no installed file, so what runs from it stays on loopback.
#include <string>

namespace zelmar::net {

struct ConfigSource {
    enum class Kind { Variable, User, Installed, Defaults };
    Kind kind = Kind::Defaults;
    std::string path;  // empty for the defaults
};

std::string userConfigPath();
std::string installedConfigPath();
ConfigSource findServiceConfig();
const char* describe(ConfigSource::Kind kind);  // "ZELMAR_NETSERVICE_CONFIG", "user", "installed", "defaults"

}  // namespace zelmar::net
