#pragma once
// The totals line of a finished apply or upgrade, as the window's status bar
// shows it, in the window's language: how many ended each way.
#include <QString>

#include "site/plan_work.h"
#include "site/upgrade_work.h"

namespace zelmar::sitemodel {

QString totalsOf(const site::AppliedPlan& applied);
QString totalsOf(const site::UpgradeRun& run);

}  // namespace zelmar::sitemodel
