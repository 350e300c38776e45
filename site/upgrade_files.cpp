#include "site/upgrade_files.h"

#include <QFileInfo>
#include <QString>

namespace zelmar::site {

bool namesUpgradeFile(const std::string& argument) {
    const QString name = QString::fromStdString(argument);
    return name.endsWith(QStringLiteral(".TcpIpPortOS"), Qt::CaseInsensitive) || QFileInfo(name).isFile();
}

bool namesFolder(const std::string& argument) {
    return QFileInfo(QString::fromStdString(argument)).isDir();
}

bool looksLikeAFile(const std::string& argument) {
    const QString name = QString::fromStdString(argument);
    return name.contains('/') || name.contains('\\') || !QFileInfo(name).suffix().isEmpty();
}

const UpgradeFiles::File* UpgradeFiles::forType(std::int16_t type) const {
    const auto it = byType.find(type);
    return it == byType.end() ? nullptr : &it->second;
}

Phrase loadUpgradeFiles(const std::vector<std::string>& paths, UpgradeFiles& files) {
    for (const std::string& path : paths) {
        auto file = std::make_shared<net::UpgradeFile>();
        if (!file->Load(path))
            return phrase(Say::InvalidUpgradeFile, {path, file->Problem()});
        const std::int16_t type = file->PortOsType();
        if (const UpgradeFiles::File* other = files.forType(type))
            return phrase(Say::TwoFilesForType, {other->path, path, std::to_string(type)});
        files.byType[type] = {path, std::move(file)};
    }
    return {};
}

}  // namespace zelmar::site
