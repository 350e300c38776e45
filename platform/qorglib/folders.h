#pragma once
// The folders the programs find things in: where the running executable lies,
// the data folder beside it (texts, upgrade files, the installed service
// configuration) and the user's own configuration folder.
#include <QString>

namespace zelmar::qorg {

// Folder of the running executable (no trailing separator); empty when
// unknown. Works without a QCoreApplication.
QString executableDir();

// ZELMAR_DATA_DIR, else <executable folder>/../share/zelmar (installed and in
// the build tree alike); empty when the executable's folder is unknown.
QString dataFolder();

// The folder for the user's own configuration files: ~/.config (or
// XDG_CONFIG_HOME) on Linux, %APPDATA% (the roaming profile) on Windows.
// Empty when the system names none.
QString userConfigFolder();

}  // namespace zelmar::qorg
