#pragma once
// Where the running executable lies: the folder the support library's path
// aliases and the network service's installed configuration are found from.
#include <QString>

namespace zelmar::qorg {

// Folder of the running executable (no trailing separator); empty when
// unknown. Works without a QCoreApplication.
QString executableDir();

}  // namespace zelmar::qorg
