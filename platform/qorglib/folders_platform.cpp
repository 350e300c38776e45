// Platform file: where the running executable lies and where the user keeps
// configuration. Works without a QCoreApplication, so the library resolves
// its aliases in any process.
#include "platform/qorglib/folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <iterator>

#ifdef _WIN32
#include <windows.h>
#else
#include <QFile>
#endif

namespace zelmar::qorg {

QString executableDir() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
#ifdef _WIN32
    wchar_t buffer[32768];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, DWORD(std::size(buffer)));
    if (n == 0 || n >= std::size(buffer))
        return {};
    return QFileInfo(QString::fromWCharArray(buffer, int(n))).absolutePath();
#else
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return exe.isEmpty() ? QString() : QFileInfo(exe).absolutePath();
#endif
}

QString dataFolder() {
    const QString fromEnv = qEnvironmentVariable("ZELMAR_DATA_DIR");
    if (!fromEnv.isEmpty())
        return fromEnv;
    const QString exeDir = executableDir();
    if (exeDir.isEmpty())
        return {};
    return exeDir + QStringLiteral("/../share/zelmar");
}

QString userConfigFolder() {
#ifdef _WIN32
    // %APPDATA%: the configuration follows the technician to another laptop
    // of the domain. Qt's generic configuration folder is the local one.
    const QString roaming = qEnvironmentVariable("APPDATA");
    return roaming.isEmpty() ? QString() : QDir::fromNativeSeparators(roaming);
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#endif
}

}  // namespace zelmar::qorg
