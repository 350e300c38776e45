#include "platform/netservice/config/config_lookup.h"

#include <QDir>
#include <QFileInfo>

#include "platform/qorglib/folders.h"

namespace zelmar::net {

namespace {
std::string existing(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {};
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath()).toStdString();
}
}  // namespace

// One file for the tool and the command-line programs alike, whatever each
// calls itself: the per-user configuration folder's "zelmar" folder
// (~/.config/zelmar on Linux, %APPDATA%\zelmar on Windows).
std::string userConfigPath() {
    const QString base = qorg::userConfigFolder();
    if (base.isEmpty())
        return {};
    return (base + QStringLiteral("/zelmar/netservice.json")).toStdString();
}

std::string installedConfigPath() {
    const QString data = qorg::dataFolder();
    if (data.isEmpty())
        return {};
    return QDir::cleanPath(data + QStringLiteral("/netservice.json")).toStdString();
}

ConfigSource findServiceConfig() {
    const QString variable = qEnvironmentVariable("ZELMAR_NETSERVICE_CONFIG");
    if (!variable.isEmpty())
        return {ConfigSource::Kind::Variable, variable.toStdString()};
    if (auto user = existing(QString::fromStdString(userConfigPath())); !user.empty())
        return {ConfigSource::Kind::User, user};
    if (auto installed = existing(QString::fromStdString(installedConfigPath())); !installed.empty())
        return {ConfigSource::Kind::Installed, installed};
    return {};
}

const char* describe(ConfigSource::Kind kind) {
    switch (kind) {
    case ConfigSource::Kind::Variable: return "ZELMAR_NETSERVICE_CONFIG";
    case ConfigSource::Kind::User: return "user";
    case ConfigSource::Kind::Installed: return "installed";
    case ConfigSource::Kind::Defaults: break;
    }
    return "defaults";
}

}  // namespace zelmar::net
