#include "site/upgrade_outcome.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <iomanip>
#include <ostream>

namespace zelmar::site {

namespace {
constexpr UpgradeResult kAll[] = {UpgradeResult::Upgraded, UpgradeResult::Downgraded, UpgradeResult::Current,
                                  UpgradeResult::Newer,    UpgradeResult::NoFile,     UpgradeResult::Refused,
                                  UpgradeResult::Failed,   UpgradeResult::Unknown,    UpgradeResult::NotFound};

bool switched(UpgradeResult r) { return r == UpgradeResult::Upgraded || r == UpgradeResult::Downgraded; }

std::string revisions(const ControllerUpgrade& u) {
    if (switched(u.result))
        return u.revisionBefore + " -> " + u.revisionAfter;
    return u.revisionAfter;
}
}  // namespace

std::string detailText(const ControllerUpgrade& u) {
    const std::string detail = english(u.detail);
    if (!u.foundLate)
        return detail;
    return (detail.empty() ? "" : detail + "; ") + english(phrase(Say::FoundLate));
}

std::string resultName(UpgradeResult result) {
    switch (result) {
    case UpgradeResult::Upgraded: return "upgraded";
    case UpgradeResult::Downgraded: return "downgraded";
    case UpgradeResult::Current: return "current";
    case UpgradeResult::Newer: return "newer";
    case UpgradeResult::NoFile: return "no file";
    case UpgradeResult::Refused: return "refused";
    case UpgradeResult::Failed: return "failed";
    case UpgradeResult::Unknown: return "unknown";
    case UpgradeResult::NotFound: return "not found";
    }
    return {};
}

bool upgradeDone(UpgradeResult result) {
    return switched(result) || result == UpgradeResult::Current || result == UpgradeResult::Newer;
}

std::string upgradeLine(int done, int total, const ControllerUpgrade& u) {
    std::string line = std::to_string(done) + "/" + std::to_string(total) + " " + u.serialNo + " " + resultName(u.result);
    const std::string why = switched(u.result) ? revisions(u) : detailText(u);
    return why.empty() ? line : line + " (" + why + ")";
}

void printUpgradeTable(const std::vector<ControllerUpgrade>& upgrades, std::ostream& out) {
    std::size_t serialWidth = 6, revisionWidth = 8;
    for (const ControllerUpgrade& u : upgrades) {
        serialWidth = std::max(serialWidth, u.serialNo.size());
        revisionWidth = std::max(revisionWidth, revisions(u).size());
    }
    out << std::left << std::setw(int(serialWidth) + 2) << "serial" << std::setw(6) << "type"
        << std::setw(int(revisionWidth) + 2) << "revision" << std::setw(11) << "outcome" << "detail\n";
    for (const ControllerUpgrade& u : upgrades)
        out << std::setw(int(serialWidth) + 2) << u.serialNo << std::setw(6) << u.portOsType
            << std::setw(int(revisionWidth) + 2) << revisions(u) << std::setw(11) << resultName(u.result) << detailText(u)
            << "\n";
    out << std::right;
}

std::string upgradeSummary(const std::vector<ControllerUpgrade>& upgrades) {
    std::string text = std::to_string(upgrades.size()) + (upgrades.size() == 1 ? " controller:" : " controllers:");
    bool first = true;
    for (UpgradeResult kind : kAll) {
        const auto n = std::count_if(upgrades.begin(), upgrades.end(),
                                     [&](const ControllerUpgrade& u) { return u.result == kind; });
        if (n == 0 && (kind == UpgradeResult::Downgraded || kind == UpgradeResult::Newer))
            continue;  // told only where there are any: a downgrade is asked for apart
        text += (first ? " " : ", ") + std::to_string(n) + " " + resultName(kind);
        first = false;
    }
    return text;
}

void printUpgradeJsonLines(const std::vector<ControllerUpgrade>& upgrades, std::ostream& out) {
    for (const ControllerUpgrade& u : upgrades) {
        const QJsonObject o{{"SerialNo", QString::fromStdString(u.serialNo)},
                            {"PortOsType", u.portOsType},
                            {"RevisionBefore", QString::fromStdString(u.revisionBefore)},
                            {"PortOsRevision", QString::fromStdString(u.revisionAfter)},
                            {"outcome", QString::fromStdString(resultName(u.result))},
                            {"detail", QString::fromStdString(detailText(u))}};
        out << QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString() << "\n";
    }
}

}  // namespace zelmar::site
