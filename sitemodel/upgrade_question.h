#pragma once
// The question before a whole-site upgrade, as the tool's single upgrade
// shows the revision in the controller and the one to upgrade to: for each
// port OS type how many controllers get the file and from which revisions,
// how many run its revision already, and how many run a newer one; those get
// the file only when the check box asks for a downgrade.
#include <QString>

#include "site/upgrade_files.h"
#include "site/upgrade_work.h"

namespace zelmar::sitemodel {

struct UpgradeQuestion {
    QString text;
    QString checkBox;  // empty: no controller runs a newer revision than its file
};

UpgradeQuestion upgradeQuestion(const site::UpgradeTargets& targets, const site::UpgradeFiles& files);

// The upgrade files in use, by port OS type and revision: "3: 3.2.0 (C:\...\3.TcpIpPortOS)".
QString upgradeFilesList(const site::UpgradeFiles& files);

}  // namespace zelmar::sitemodel
