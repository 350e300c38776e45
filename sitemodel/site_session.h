#pragma once
// The site window's work off the user-interface thread: every search, check,
// apply and upgrade runs on a thread of its own over the site library, and
// what it tells comes back as signals, queued to the window's thread. One
// piece of work at a time; Stop starts nothing new and lets what is in hand
// finish. The network password lives here, in memory, for the window's life.
#include <QObject>
#include <QString>
#include <QThread>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/netservice/config/service_config.h"
#include "site/controller_record.h"
#include "site/plan_outcome.h"
#include "site/plan_work.h"
#include "site/upgrade_files.h"
#include "site/upgrade_work.h"

namespace zelmar::sitemodel {

class SiteSession : public QObject {
    Q_OBJECT
public:
    explicit SiteSession(net::ServiceConfig config, QObject* parent = nullptr);
    ~SiteSession() override;  // waits for work in hand, after asking it to stop

    const net::ServiceConfig& config() const { return config_; }
    // Every network password given while the window is open is kept (in memory only), the
    // first the site's own; a controller is opened with whichever opens it.
    void addPassword(const std::string& password);
    bool hasPassword() const { return !passwords_.empty(); }
    void setJobs(std::optional<int> jobs) { jobs_ = jobs; }  // none: the site library's adaptive pace
    // Free addresses to park a controller on while a cycle of address changes closes; none: the check chooses.
    void setParking(std::vector<std::string> parking) { parking_ = std::move(parking); }
    bool busy() const { return worker_ != nullptr; }

    // Each returns at once; false when other work is still running.
    bool search();
    bool findMore(const QString& address, const QString& mask);
    bool check(const site::SitePlan& plan);
    bool apply();  // the plan the last check found clean
    // Marks the controller (on) or unmarks it, as the tool marks the one chosen, so that the
    // technician finds it in the cabinet; marking one unmarks `previous` first.
    bool mark(const std::string& serial, bool on, const std::string& previous = {});
    bool findUpgrades(const std::vector<std::string>& serials, std::shared_ptr<const site::UpgradeFiles> files);
    // The targets the last findUpgrades found; those at a newer revision than their file only with `allowOlder`.
    bool upgrade(bool allowOlder);
    void stop();

    const site::CheckedPlan& lastCheck() const { return lastCheck_; }
    const site::UpgradeTargets& lastTargets() const { return lastTargets_; }

signals:
    void searched(const std::vector<site::ControllerRecord>& found, bool full);
    void noneFoundAt(const QString& address);  // find more: nothing answered there
    void invalidAddress(const QString& address);
    void checked(const site::CheckedPlan& result);
    void rowStarted(int row);
    void rowEnded(const site::RowOutcome& outcome, int done, int total);
    void readingBack();
    void applied(const site::AppliedPlan& result, const QString& error);
    void upgradeTargetsFound(const site::UpgradeTargets& targets);
    void transferring(const QString& serial, int percent);
    void restarting(const QString& serial);
    void upgradeEnded(const site::ControllerUpgrade& upgrade);
    void upgraded(const site::UpgradeRun& result, const QString& error);
    void progress(const site::Phrase& said);
    void note(const site::Phrase& said);
    void marked(const QString& serial, bool on, bool answered);  // answered false: the mark may or may not have changed
    void failed(const QString& error);  // a service error outside an apply or upgrade
    void idle();                        // the work has ended

private:
    template <typename Work>
    bool start(Work work);
    site::SiteSettings settings() const;

    net::ServiceConfig config_;
    std::vector<std::string> passwords_;
    std::optional<int> jobs_;
    std::vector<std::string> parking_;
    QThread* worker_ = nullptr;
    site::StopFlag* stop_ = nullptr;  // the work in hand's
    // Made, used and dropped on the work's threads only, while no other work runs.
    std::unique_ptr<site::PlanWork> planWork_;
    site::CheckedPlan lastCheck_;
    std::unique_ptr<site::UpgradeWork> upgradeWork_;
    std::shared_ptr<const site::UpgradeFiles> files_;
    site::UpgradeTargets lastTargets_;
};

}  // namespace zelmar::sitemodel
