#pragma once
// The site window (zelmar-site): the whole site in one table for a
// technician who never opens a terminal. A search fills it; the planned values
// are edited in place, opened from and saved to the plan file of
// `zelmar-netctl plan`; Check shows each problem at its cell; Apply and the
// upgrade run off the user-interface thread with each row's state live; Stop
// starts nothing new. The work itself is the site library's.
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <map>
#include <memory>

#include "platform/netservice/config/service_config.h"
#include "platform/ui/handler_guard.h"
#include "site/upgrade_files.h"
#include "sitemodel/site_session.h"
#include "sitemodel/plan_table.h"
#include "sitemodel/site_table_model.h"

class QLabel;
class QProgressBar;
class QSortFilterProxyModel;

namespace Ui {
class SiteWindow;
}

namespace zelmar::sitewindow {

using sitemodel::RowNamer;
using sitemodel::SiteSession;
using sitemodel::SiteTableModel;

class SiteWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit SiteWindow(net::ServiceConfig config, QWidget* parent = nullptr);
    ~SiteWindow() override;

    SiteTableModel& model() { return *model_; }
    SiteSession& session() { return *session_; }
    QSortFilterProxyModel& view() { return *proxy_; }
    // The upgrade files in use: those of the installed upgrade folder until others are chosen.
    const site::UpgradeFiles& upgradeFiles() const { return *files_; }
    // Where window size and column widths are kept; empty: nowhere.
    void setSettingsFile(const QString& path) { settingsFile_ = path; }
    void restoreLayout();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setLanguage();
    void connectActions();
    void connectSession();
    void updateActions();
    void showStatus(const QString& text);
    void showCount();
    void beginWork(const QString& status, int steps);

    void search();
    void findMore();
    void askForPassword();
    void openPlan();
    bool savePlan(bool choose);
    void check();
    void apply();
    void upgrade(bool all);
    void chooseUpgradeFile();
    void saveReport();
    void identify(bool on);
    void widenNameColumns();  // marks the selected controller, or unmarks the one marked
    void fillDown();
    void numberAddresses();
    void clearPlanned();
    void problemClicked(int item);
    // A typed value the controllers' rules refuse: said with its field and controller, and the
    // cell's editor opened again with what was typed.
    void editRefused(const QModelIndex& cell, const QString& typed, const QString& problem);
    RowNamer checkedRowNames() const { return sitemodel::rowNamerOf(serialOfCheckedRow_); }

    void searched(const std::vector<site::ControllerRecord>& found, bool full);
    void checked(const site::CheckedPlan& result);
    void rowEnded(const site::RowOutcome& outcome, int done, int total);
    void applied(const site::AppliedPlan& result, const QString& error);
    void askUpgrade();
    void upgraded(const site::UpgradeRun& result, const QString& error);

    QModelIndexList selectedCells() const;  // the view's cells selected, else the current one
    std::vector<int> selectedRows() const;  // model rows, in view order
    void loadInstalledUpgradeFiles();
    void saveLayout() const;

    std::unique_ptr<Ui::SiteWindow> ui_;
    SiteTableModel* model_ = nullptr;
    QSortFilterProxyModel* proxy_ = nullptr;
    SiteSession* session_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* totalsLabel_ = nullptr;
    ui::HandlerNesting handlers_;

    QString planFile_;
    site::PlanFormat planFormat_;  // the opened plan file's separator and byte-order mark, kept when it is saved
    std::map<int, std::string> serialOfCheckedRow_;
    int checkedVersion_ = -1;   // the plan version the last clean check checked; -1: none
    int problemsVersion_ = -1;  // the plan version a check found problems in
    int checkingVersion_ = -1;  // the plan version the check under way checks
    bool applyAfterCheck_ = false;   // Apply asked for a check first
    bool upgradeQuestionDue_ = false;
    bool searchDue_ = false;  // a password was given during a search: search again once it has ended  // the controllers to upgrade are found: ask once the search has ended
    bool actionsDue_ = false;        // the commands' states are to be looked at again
    bool passwordAsked_ = false;
    std::shared_ptr<site::UpgradeFiles> files_;
    QString settingsFile_;
    bool workDone_ = false;  // an apply or upgrade has run: there is something to report
    QString lastTotals_;
    std::string markedSerial_;  // the controller Identify marked; empty: none
};

}  // namespace zelmar::sitewindow
