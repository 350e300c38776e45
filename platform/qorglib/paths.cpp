// Path aliases ("Prod:", "SLIB:") and file existence.
#include "platform/qorglib/qorglib.h"
#include "platform/qorglib/qorglib_internal.h"

#include <QDir>
#include <QFileInfo>

namespace zelmar::qorg {

namespace {
QString withTrailingSlash(QString folder) {
    folder = QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(folder)).absoluteFilePath());
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}
}  // namespace

QString aliasFolder(const QString& aliasName) {
    QString envName;
    QString subFolder;
    if (aliasName.compare(QLatin1String("Prod"), Qt::CaseInsensitive) == 0) {
        envName = QStringLiteral("ZELMAR_PROD_DIR");
        subFolder = QStringLiteral("Prod");
    } else if (aliasName.compare(QLatin1String("SLIB"), Qt::CaseInsensitive) == 0) {
        envName = QStringLiteral("ZELMAR_SLIB_DIR");
        subFolder = QStringLiteral("SLIB");
    } else {
        return {};
    }
    const QString fromEnv = qEnvironmentVariable(envName.toLatin1().constData());
    if (!fromEnv.isEmpty())
        return withTrailingSlash(fromEnv);
    const QString data = dataFolder();
    if (data.isEmpty())
        return {};
    return withTrailingSlash(QDir(data).absoluteFilePath(subFolder));
}

QString resolvePath(const QString& path) {
    QString rest = path;
    // An alias is a word of two or more letters before the first ':'; a single
    // letter is a drive ("C:\...") and stays as it is.
    const qsizetype colon = path.indexOf(u':');
    if (colon >= 2) {
        const QString folder = aliasFolder(path.left(colon));
        if (!folder.isEmpty()) {
            rest = path.mid(colon + 1);
            while (rest.startsWith(u'\\') || rest.startsWith(u'/'))
                rest.remove(0, 1);
            rest.prepend(folder);
        }
    }
    return rest.replace(u'\\', u'/');
}

}  // namespace zelmar::qorg

using namespace zelmar::qorg;

extern "C" const char* AliasToPath(const char* alias, int32_t /*reserved*/, int32_t* out) {
    thread_local std::string buffer;
    if (out)
        *out = 0;
    QString name = QString::fromUtf8(alias ? alias : "").trimmed();
    // "SLIB:", also "SLIB" or "SLIB:\"
    while (name.endsWith(u'\\') || name.endsWith(u'/'))
        name.chop(1);
    if (name.endsWith(u':'))
        name.chop(1);
    return keepText(buffer, aliasFolder(name).toStdString());
}

extern "C" int32_t CheckFileExists(const char* path) {
    if (!path || !*path)
        return 0;
    const QFileInfo info(resolvePath(QString::fromUtf8(path)));
    return info.isFile() ? 1 : 0;
}
