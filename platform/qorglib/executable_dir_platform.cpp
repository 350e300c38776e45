// Platform file: where the running executable lies. Works without a
// QCoreApplication, so the library resolves its aliases in any process.
#include "platform/qorglib/executable_dir.h"

#include <QCoreApplication>
#include <QFileInfo>
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

}  // namespace zelmar::qorg
