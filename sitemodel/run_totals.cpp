#include "sitemodel/run_totals.h"

#include <map>

#include "sitemodel/site_texts.h"

namespace zelmar::sitemodel {

QString totalsOf(const site::AppliedPlan& applied) {
    std::map<site::Outcome, int> n;
    for (const site::RowOutcome& o : applied.outcomes)
        ++n[o.outcome];
    return text(TextPlanTotals)
        .arg(n[site::Outcome::Applied])
        .arg(n[site::Outcome::Skipped])
        .arg(n[site::Outcome::Refused])
        .arg(n[site::Outcome::NoAnswer])
        .arg(n[site::Outcome::Unverified])
        .arg(n[site::Outcome::Waiting])
        .arg(n[site::Outcome::Parked])
        .arg(applied.notReached.size());
}

QString totalsOf(const site::UpgradeRun& run) {
    std::map<site::UpgradeResult, int> n;
    for (const site::ControllerUpgrade& u : run.upgrades)
        ++n[u.result];
    return text(TextUpgradeTotals)
        .arg(n[site::UpgradeResult::Upgraded])
        .arg(n[site::UpgradeResult::Downgraded])
        .arg(n[site::UpgradeResult::Current])
        .arg(n[site::UpgradeResult::Newer])
        .arg(n[site::UpgradeResult::NoFile])
        .arg(n[site::UpgradeResult::Refused])
        .arg(n[site::UpgradeResult::Failed])
        .arg(n[site::UpgradeResult::Unknown])
        .arg(n[site::UpgradeResult::NotFound])
        .arg(run.notReached.size());
}

}  // namespace zelmar::sitemodel
