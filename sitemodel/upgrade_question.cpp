#include "sitemodel/upgrade_question.h"

#include <QDir>
#include <QStringList>
#include <map>
#include <set>

#include "sitemodel/site_texts.h"

namespace zelmar::sitemodel {

namespace {
struct OfType {
    std::set<std::string> from;  // the revisions of those that get the file
    int toUpgrade = 0;
    int current = 0;
    std::set<std::string> newer;
    int newerCount = 0;
};

QString joined(const std::set<std::string>& revisions) {
    QStringList list;
    for (const std::string& r : revisions)
        list << QString::fromStdString(r);
    return list.join(QStringLiteral(", "));
}
}  // namespace

UpgradeQuestion upgradeQuestion(const site::UpgradeTargets& targets, const site::UpgradeFiles& files) {
    std::map<std::int16_t, OfType> types;
    for (const site::ControllerRecord& r : targets.toUpgrade) {
        ++types[r.portOsType].toUpgrade;
        types[r.portOsType].from.insert(r.portOsRevision);
    }
    for (const site::ControllerRecord& r : targets.newer) {
        ++types[r.portOsType].newerCount;
        types[r.portOsType].newer.insert(r.portOsRevision);
    }
    for (const site::ControllerUpgrade& u : targets.settled)
        if (u.result == site::UpgradeResult::Current)
            ++types[u.portOsType].current;
    QStringList lines{text(TextAskRestart).arg(targets.toUpgrade.size()), QString()};
    for (const auto& [type, t] : types) {
        const site::UpgradeFiles::File* file = files.forType(type);
        const QString revision = file ? QString::fromStdString(file->contents->Revision()) : QString();
        QStringList parts;
        if (t.toUpgrade > 0)
            parts << text(TextUpgradeFrom).arg(t.toUpgrade).arg(joined(t.from), revision);
        if (t.current > 0)
            parts << text(TextUpgradeAlreadyAt).arg(t.current).arg(revision);
        if (t.newerCount > 0)
            parts << text(TextUpgradeNewer).arg(t.newerCount).arg(joined(t.newer), revision);
        if (!parts.isEmpty())
            lines << text(TextUpgradeOfType).arg(type) + QLatin1Char(' ') + parts.join(QStringLiteral("; "));
    }
    lines << QString() << text(TextAskUpgradeNow);
    UpgradeQuestion q{lines.join(QLatin1Char('\n')), {}};
    if (!targets.newer.empty())
        q.checkBox = text(TextAllowOlder).arg(targets.newer.size());
    return q;
}

QString upgradeFilesList(const site::UpgradeFiles& files) {
    QStringList names;
    for (const auto& [type, file] : files.byType)
        names << text(TextUpgradeFileOfType)
                     .arg(type)
                     .arg(QString::fromStdString(file.contents->Revision()),
                          QDir::toNativeSeparators(QString::fromStdString(file.path)));
    return names.join(QStringLiteral(", "));
}

}  // namespace zelmar::sitemodel
