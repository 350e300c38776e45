#include "sitewindow/site_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSaveFile>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <set>

#include "platform/netservice/wire/ipv4.h"
#include "platform/ui/drawings.h"
#include "platform/ui/window_helpers.h"
#include "site/plan_work.h"
#include "comm/input/address_input.h"
#include "sitemodel/address_numbering.h"
#include "sitemodel/plan_table.h"
#include "sitemodel/run_totals.h"
#include "sitemodel/site_report.h"
#include "sitemodel/site_texts.h"
#include "sitemodel/upgrade_question.h"
#include "sitewindow/frozen_column.h"
#include "support/support.h"
#include "ui_SiteWindow.h"

namespace zelmar::sitewindow {

using namespace sitemodel;

namespace {
constexpr int kProblemsListed = 20;  // in a message; the rest are counted

// "row 3, Name: ..." as a plan file's problem is told, by the file's own row and column.
QString problemLine(const site::PlanProblem& p) {
    QString at = p.row > 0 ? text(TextRowOf).arg(p.row) : text(TextTheFile);
    if (!p.column.empty())
        at += QStringLiteral(", ") + QString::fromStdString(p.column);
    return at + QStringLiteral(": ") + wordsOf(p.what);
}

// "10-00003, Planned IP address: ..." as a problem of the table's plan is told: by its controller and column.
QString checkedProblemLine(const site::PlanProblem& p, const std::map<int, std::string>& serialOfRow) {
    const auto serial = serialOfRow.find(p.row);
    QString at = serial == serialOfRow.end() ? QString() : QString::fromStdString(serial->second);
    if (!p.column.empty())
        at += (at.isEmpty() ? QString() : QStringLiteral(", ")) + columnCaption(p.column);
    return (at.isEmpty() ? QString() : at + QStringLiteral(": ")) + wordsOf(p.what, rowNamerOf(serialOfRow));
}

QString problemsText(const std::vector<site::PlanProblem>& problems) {
    QStringList lines;
    for (std::size_t i = 0; i < problems.size() && i < std::size_t(kProblemsListed); ++i)
        lines << problemLine(problems[i]);
    if (problems.size() > std::size_t(kProblemsListed))
        lines << text(TextMoreProblems).arg(problems.size() - kProblemsListed);
    return lines.join(QLatin1Char('\n'));
}

// "10.30.0.7 is held by two controllers now: 10-00007, 10-00008"
QString sharedAddressLine(const site::SharedAddress& a) {
    QStringList serials;
    for (const std::string& s : a.serialNos)
        serials << QString::fromStdString(s);
    return text(TextSharedAddress).arg(QString::fromStdString(a.address), serials.join(QStringLiteral(", ")));
}

std::vector<std::string> serialsOf(const std::vector<site::ControllerRecord>& records) {
    std::vector<std::string> out;
    for (const site::ControllerRecord& r : records)
        out.push_back(r.serialNo);
    return out;
}
}  // namespace

SiteWindow::SiteWindow(net::ServiceConfig config, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::SiteWindow>()), files_(std::make_shared<site::UpgradeFiles>()) {
    ui_->setupUi(this);
    model_ = new SiteTableModel(this);
    model_->setRowIcon(ui::drawingIcon(QStringLiteral(":/site/search-controller-16"), {16}));
    proxy_ = new QSortFilterProxyModel(this);
    proxy_->setSourceModel(model_);
    proxy_->setSortRole(SiteTableModel::SortRole);
    proxy_->setFilterKeyColumn(-1);
    proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    ui_->siteTable->setModel(proxy_);
    ui_->siteTable->sortByColumn(-1, Qt::AscendingOrder);  // the model's order (by serial number) until a header is clicked
    ui_->siteTable->verticalHeader()->setDefaultSectionSize(ui_->siteTable->fontMetrics().height() + 6);
    ui_->siteTable->verticalHeader()->hide();  // a controller goes by its serial number, not by a place in the table
    QHeaderView* columns = ui_->siteTable->horizontalHeader();
    columns->setSectionsMovable(true);
    // Every caption whole ("Planned IP address" is wider than an address), in either language,
    // and every address whole.
    connect(model_, &QAbstractItemModel::headerDataChanged, columns, [table = ui_->siteTable, columns] {
        const int addressWidth = table->fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255 ")) +
                                 2 * table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 2;
        for (int c = 0; c < columns->count(); ++c)
            columns->resizeSection(c, std::max({columns->defaultSectionSize(), columns->sectionSizeHint(c),
                                                SiteTableModel::holdsAddresses(c) ? addressWidth : 0}));
    });
    resizeDocks({ui_->problemsDock}, {fontMetrics().height() * 6}, Qt::Vertical);  // the table keeps the room
    new FrozenColumn(ui_->siteTable);  // the serial numbers stay in view while the table scrolls right

    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("progressBar"));
    progressBar_->setMaximumWidth(220);
    progressBar_->hide();
    totalsLabel_ = new QLabel(this);
    totalsLabel_->setObjectName(QStringLiteral("totalsLabel"));
    statusBar()->addPermanentWidget(totalsLabel_);
    statusBar()->addPermanentWidget(progressBar_);

    session_ = new SiteSession(std::move(config), this);
    setWindowIcon(ui::drawingIcon(QStringLiteral(":/site/main-controller"), {16, 32}));
    setLanguage();
    connectActions();
    connectSession();
    loadInstalledUpgradeFiles();
    updateActions();
}

SiteWindow::~SiteWindow() = default;

void SiteWindow::setLanguage() {
    setWindowTitle(text(TextWindowTitle));
    const std::pair<QAction*, Text> actions[] = {
        {ui_->actionSearch, TextSearch},           {ui_->actionFindMore, TextFindMore},
        {ui_->actionOpenPlan, TextOpenPlan},       {ui_->actionSavePlan, TextSavePlan},
        {ui_->actionSavePlanAs, TextSavePlanAs},   {ui_->actionCheck, TextCheck},
        {ui_->actionApply, TextApply},             {ui_->actionStop, TextStop},
        {ui_->actionUpgradeSelected, TextUpgradeSelected}, {ui_->actionUpgradeAll, TextUpgradeAll},
        {ui_->actionUpgradeFiles, TextUpgradeFiles}, {ui_->actionNetworkPassword, TextNetworkPassword},
        {ui_->actionFillDown, TextFillDown},       {ui_->actionNumberAddresses, TextNumberAddresses},
        {ui_->actionClearPlanned, TextClearPlanned}, {ui_->actionSaveReport, TextSaveReport},
        {ui_->actionClose, TextClose},             {ui_->actionIdentify, TextIdentify},
        {ui_->actionStopIdentifying, TextStopIdentifying}};
    for (const auto& [action, number] : actions)
        action->setText(text(number));
    ui_->menuSite->setTitle(text(TextMenuSite));
    ui_->menuPlan->setTitle(text(TextMenuPlan));
    ui_->menuEdit->setTitle(text(TextMenuEdit));
    ui_->menuUpgrade->setTitle(text(TextMenuUpgrade));
    ui_->filterLabel->setText(text(TextFilter));
    ui_->parkingLabel->setText(text(TextParkingAddress));
    ui_->problemsDock->setWindowTitle(text(TextProblems));
    ui_->siteTable->setAccessibleName(text(TextTableName));
    ui_->problemsList->setAccessibleName(text(TextProblems));
    model_->loadHeaderTexts();
}

void SiteWindow::connectActions() {
    const std::pair<QAction*, std::function<void()>> handlers[] = {
        {ui_->actionSearch, [this] { search(); }},
        {ui_->actionFindMore, [this] { findMore(); }},
        {ui_->actionNetworkPassword, [this] {
             askForPassword();
             if (session_->hasPassword())
                 search();
         }},
        {ui_->actionOpenPlan, [this] { openPlan(); }},
        {ui_->actionSavePlan, [this] { savePlan(false); }},
        {ui_->actionSavePlanAs, [this] { savePlan(true); }},
        {ui_->actionCheck, [this] { check(); }},
        {ui_->actionApply, [this] { apply(); }},
        {ui_->actionStop, [this] {
             session_->stop();
             showStatus(text(TextStopping));
         }},
        {ui_->actionUpgradeSelected, [this] { upgrade(false); }},
        {ui_->actionUpgradeAll, [this] { upgrade(true); }},
        {ui_->actionUpgradeFiles, [this] { chooseUpgradeFile(); }},
        {ui_->actionFillDown, [this] { fillDown(); }},
        {ui_->actionNumberAddresses, [this] { numberAddresses(); }},
        {ui_->actionClearPlanned, [this] { clearPlanned(); }},
        {ui_->actionSaveReport, [this] { saveReport(); }},
        {ui_->actionClose, [this] { close(); }},
        {ui_->actionIdentify, [this] { identify(true); }},
        {ui_->actionStopIdentifying, [this] { identify(false); }},
    };
    for (const auto& [action, handler] : handlers) {
        const QByteArray name = action->objectName().toUtf8() + "_Triggered";
        connect(action, &QAction::triggered, this,
                [this, name, handler = handler] { ui::guardHandler(handlers_, name.constData(), handler); });
    }
    connect(ui_->filterBox, &QLineEdit::textChanged, proxy_, &QSortFilterProxyModel::setFilterFixedString);
    connect(ui_->filterBox, &QLineEdit::textChanged, this, [this] { showCount(); });
    // The row commands also on the table's context menu.
    ui_->siteTable->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto separator = [this] {
        auto* s = new QAction(this);
        s->setSeparator(true);
        return s;
    };
    ui_->siteTable->addActions({ui_->actionIdentify, ui_->actionStopIdentifying, separator(), ui_->actionFillDown,
                                ui_->actionNumberAddresses, ui_->actionClearPlanned, separator(),
                                ui_->actionUpgradeSelected});
    connect(ui_->siteTable->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { updateActions(); });
    connect(ui_->siteTable->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { updateActions(); });
    // Enter ends an edit and moves to the row below, as in a spreadsheet.
    connect(ui_->siteTable->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
            [this](QWidget*, QAbstractItemDelegate::EndEditHint hint) {
                if (hint != QAbstractItemDelegate::SubmitModelCache)
                    return;
                const QModelIndex at = ui_->siteTable->currentIndex();
                const QModelIndex below = at.sibling(at.row() + 1, at.column());
                if (below.isValid())
                    ui_->siteTable->setCurrentIndex(below);
            });
    connect(ui_->problemsList, &QListWidget::currentRowChanged, this, [this](int item) { problemClicked(item); });
    connect(ui_->problemsList, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { problemClicked(ui_->problemsList->row(item)); });
    connect(model_, &SiteTableModel::editRefused, this, &SiteWindow::editRefused);
    // Many rows change at once while work runs: the commands are looked at once those have been shown.
    connect(model_, &QAbstractItemModel::dataChanged, this, [this] {
        if (!actionsDue_) {
            actionsDue_ = true;
            QTimer::singleShot(0, this, [this] {
                actionsDue_ = false;
                updateActions();
            });
        }
    });
    connect(model_, &SiteTableModel::planChanged, this, [this] { updateActions(); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        updateActions();
        showCount();
    });
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this] { showCount(); });
}

void SiteWindow::connectSession() {
    connect(session_, &SiteSession::searched, this, &SiteWindow::searched);
    connect(session_, &SiteSession::noneFoundAt, this,
            [](const QString& address) { support::ShowInfoMessage(text(TextNoMatch) + QLatin1Char(' ') + address); });
    connect(session_, &SiteSession::invalidAddress, this,
            [](const QString& address) { support::ShowErrorMessage(text(TextInvalidAddress).arg(address)); });
    connect(session_, &SiteSession::checked, this, &SiteWindow::checked);
    connect(session_, &SiteSession::rowStarted, this, [this](int row) {
        if (const auto it = serialOfCheckedRow_.find(row); it != serialOfCheckedRow_.end())
            model_->setState(it->second, RowState::Writing);
    });
    connect(session_, &SiteSession::rowEnded, this, &SiteWindow::rowEnded);
    connect(session_, &SiteSession::readingBack, this, [this] {
        for (const SiteRow& r : model_->rows())
            if (r.state == RowState::Applied)
                model_->setState(r.now.serialNo, RowState::Verifying);
    });
    connect(session_, &SiteSession::applied, this, &SiteWindow::applied);
    connect(session_, &SiteSession::upgradeTargetsFound, this, [this] { upgradeQuestionDue_ = true; });
    connect(session_, &SiteSession::transferring, this, [this](const QString& serial, int percent) {
        model_->setState(serial.toStdString(), RowState::Transferring, {}, percent);
    });
    connect(session_, &SiteSession::restarting, this,
            [this](const QString& serial) { model_->setState(serial.toStdString(), RowState::Restarting); });
    connect(session_, &SiteSession::upgradeEnded, this, [this](const site::ControllerUpgrade& u) {
        model_->showUpgrade(u);
        progressBar_->setValue(progressBar_->value() + 1);
        showStatus(text(TextUpgrading).arg(progressBar_->value()).arg(progressBar_->maximum()));
    });
    connect(session_, &SiteSession::upgraded, this, &SiteWindow::upgraded);
    connect(session_, &SiteSession::progress, this, [this](const site::Phrase& said) { showStatus(wordsOf(said, checkedRowNames())); });
    connect(session_, &SiteSession::note, this, [this](const site::Phrase& said) { showStatus(wordsOf(said, checkedRowNames())); });
    connect(session_, &SiteSession::marked, this, [this](const QString& serial, bool on, bool answered) {
        if (!answered) {
            showStatus(text(TextMarkUnanswered).arg(serial));
            return;
        }
        markedSerial_ = on ? serial.toStdString() : std::string();
        showStatus(text(on ? TextMarked : TextUnmarked).arg(serial));
    });
    connect(session_, &SiteSession::failed, this,
            [](const QString& error) { support::ShowErrorMessage(text(TextServiceFailed) + QLatin1Char('\n') + error); });
    connect(session_, &SiteSession::idle, this, [this] {
        model_->setEditable(true);
        progressBar_->hide();
        updateActions();
        // What waited for the check's or the search's worker to end.
        if (std::exchange(applyAfterCheck_, false) && checkedVersion_ == model_->planVersion())
            ui::guardHandler(handlers_, "apply", [this] { apply(); });
        if (std::exchange(upgradeQuestionDue_, false))
            ui::guardHandler(handlers_, "askUpgrade", [this] { askUpgrade(); });
        if (std::exchange(searchDue_, false))
            ui::guardHandler(handlers_, "search", [this] { search(); });
    });
}

void SiteWindow::updateActions() {
    const bool busy = session_->busy();
    bool anyPlan = false, anyFound = false;
    for (const SiteRow& r : model_->rows()) {
        anyPlan |= r.hasPlan();
        anyFound |= r.found;
    }
    const bool checkedClean = checkedVersion_ == model_->planVersion();
    const bool checkedWithProblems = problemsVersion_ == model_->planVersion();
    for (QAction* a : {ui_->actionSearch, ui_->actionFindMore, ui_->actionOpenPlan, ui_->actionNetworkPassword,
                       ui_->actionUpgradeFiles, ui_->actionFillDown, ui_->actionNumberAddresses, ui_->actionClearPlanned})
        a->setEnabled(!busy);
    ui_->actionSavePlan->setEnabled(!busy && anyPlan);
    ui_->actionSavePlanAs->setEnabled(!busy && anyPlan);
    ui_->actionCheck->setEnabled(!busy && anyPlan);
    ui_->actionApply->setEnabled(!busy && anyPlan && (checkedClean || !checkedWithProblems));
    ui_->actionStop->setEnabled(busy);
    ui_->actionUpgradeSelected->setEnabled(!busy && anyFound);
    ui_->actionUpgradeAll->setEnabled(!busy && anyFound);
    ui_->actionSaveReport->setEnabled(!busy && workDone_);
    const std::vector<int> selected = selectedRows();
    ui_->actionIdentify->setEnabled(!busy && selected.size() == 1 && model_->rows()[std::size_t(selected[0])].found);
    ui_->actionStopIdentifying->setEnabled(!busy && !markedSerial_.empty());
}

void SiteWindow::showStatus(const QString& line) { statusBar()->showMessage(line); }

void SiteWindow::showCount() {
    if (!lastTotals_.isEmpty())
        totalsLabel_->setText(lastTotals_);
    else if (proxy_->rowCount() != model_->rowCount())  // a filter shows some of them
        totalsLabel_->setText(text(TextCountFiltered).arg(proxy_->rowCount()).arg(model_->rowCount()));
    else
        totalsLabel_->setText(text(TextControllerCount).arg(model_->rowCount()));
}

// Work begins: the table is locked against edits and the progress bar runs.
void SiteWindow::beginWork(const QString& status, int steps) {
    lastTotals_.clear();  // the totals of the last run are not this one's
    showCount();
    model_->setEditable(false);
    progressBar_->setRange(0, steps);
    progressBar_->setValue(0);
    progressBar_->show();
    showStatus(status);
    updateActions();
}

// ------------------------------------------------------------------ search

void SiteWindow::search() {
    if (session_->search())
        beginWork(text(TextSearching) + QStringLiteral(" ..."), 0);
}

void SiteWindow::findMore() {
    const QString typed = ui::inputBox(text(TextFindMorePrompt1) + QStringLiteral("\r\n\r\n") + text(TextFindMorePrompt2),
                                       text(TextFindMoreTitle));
    const comm::AddressInput input = comm::splitAddressInput(typed);
    if (input.address.isEmpty())
        return;
    if (session_->findMore(input.address, input.mask))
        beginWork(text(TextSearching) + QStringLiteral(" ..."), 0);
}

void SiteWindow::askForPassword() {
    const QString password = ui::inputBox(text(TextPasswordPrompt), {}, {}, true);
    passwordAsked_ = true;
    if (password.isEmpty())
        return;
    if (support::FindInvalidPasswordChar(password) != -1) {
        support::ShowErrorMessage(text(TextInvalidPasswordChar));
        return;
    }
    session_->addPassword(password.toStdString());
}

void SiteWindow::searched(const std::vector<site::ControllerRecord>& found, bool full) {
    if (full)
        model_->setControllers(found);
    else
        model_->addControllers(found);
    widenNameColumns();
    lastTotals_.clear();
    showCount();
    showStatus({});
    const auto locked = std::count_if(model_->rows().begin(), model_->rows().end(),
                                      [](const SiteRow& r) { return r.state == RowState::Locked; });
    if (locked == 0)
        return;
    if (passwordAsked_) {  // another password is given through the menu
        showStatus(text(TextPasswordsNeeded).arg(locked));
        return;
    }
    askForPassword();
    searchDue_ = session_->hasPassword();  // once this search's worker has ended
}

// ------------------------------------------------------------------ plan files

void SiteWindow::openPlan() {
    const QString path = ui::chooseFileToOpen(text(TextOpenPlan), planFile_.isEmpty() ? QDir::homePath() : planFile_,
                                              text(TextPlanFiles));
    if (path.isEmpty())
        return;
    site::Phrase error;
    const std::optional<site::SitePlan> plan = site::readPlanFile(path.toStdString(), error);
    if (!plan) {
        support::ShowErrorMessage(text(TextPlanUnreadable) + QLatin1Char('\n') + wordsOf(error) + QLatin1Char('\n') +
                                  text(TextNothingChanged));
        return;
    }
    if (!plan->problems.empty()) {
        support::ShowErrorMessage(text(TextPlanUnreadable) + QLatin1Char('\n') + problemsText(plan->problems) +
                                  QLatin1Char('\n') + text(TextNothingChanged));
        return;
    }
    model_->loadPlan(*plan);
    planFile_ = path;
    planFormat_ = plan->format;
    ui_->problemsList->clear();
    updateActions();
}

bool SiteWindow::savePlan(bool choose) {
    QString path = planFile_;
    if (choose || path.isEmpty())
        path = ui::chooseFileToSave(text(TextSavePlanAs), path.isEmpty() ? QDir::homePath() : path, text(TextPlanFiles));
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");  // a spreadsheet opens it by its suffix
    QSaveFile file(path);
    const std::string plan = planFileText(model_->rows(), planFormat_);
    if (!file.open(QIODevice::WriteOnly) || file.write(plan.data(), qint64(plan.size())) != qint64(plan.size()) ||
        !file.commit()) {
        support::ShowErrorMessage(path + QStringLiteral(": ") + file.errorString());
        return false;
    }
    planFile_ = path;
    showStatus(text(TextPlanSaved).arg(QDir::toNativeSeparators(path)));
    return true;
}

// ------------------------------------------------------------------ check and apply

void SiteWindow::check() {
    serialOfCheckedRow_.clear();
    const site::SitePlan plan = planOf(model_->rows(), &serialOfCheckedRow_);
    if (plan.rows.empty()) {
        support::ShowInfoMessage(text(TextNoPlannedValues));
        applyAfterCheck_ = false;
        return;
    }
    checkingVersion_ = model_->planVersion();
    const QString parking = ui_->parkingBox->text().trimmed();
    session_->setParking(parking.isEmpty() ? std::vector<std::string>{} : std::vector<std::string>{parking.toStdString()});
    if (session_->check(plan))
        beginWork(text(TextCheckingPlan) + QStringLiteral(" ..."), 0);
}

void SiteWindow::checked(const site::CheckedPlan& result) {
    model_->showProblems(result.check.problems, serialOfCheckedRow_);
    ui_->problemsList->clear();
    for (const site::PlanProblem& p : result.check.problems) {
        const auto serial = serialOfCheckedRow_.find(p.row);
        auto* item = new QListWidgetItem(checkedProblemLine(p, serialOfCheckedRow_));
        item->setData(Qt::UserRole, serial == serialOfCheckedRow_.end() ? QString()
                                                                         : QString::fromStdString(serial->second));
        ui_->problemsList->addItem(item);
    }
    for (const site::SharedAddress& a : result.shared)
        ui_->problemsList->addItem(sharedAddressLine(a));
    if (result.check.problems.empty()) {
        checkedVersion_ = checkingVersion_;
        const auto toSet = std::count_if(result.check.setups.begin(), result.check.setups.end(),
                                         [](const site::PlannedSetup& s) { return !s.fields.empty(); });
        showStatus(text(TextPlanOk).arg(result.rows).arg(toSet));
    } else {
        problemsVersion_ = checkingVersion_;
        applyAfterCheck_ = false;
        showStatus(text(TextPlanProblems).arg(result.check.problems.size()));
    }
}

void SiteWindow::apply() {
    if (checkedVersion_ != model_->planVersion()) {  // nothing is written that a check did not pass
        applyAfterCheck_ = true;
        check();
        return;
    }
    if (!session_->apply()) {  // never rows told waiting with nothing running
        support::ShowErrorMessage(text(TextStillBusy));
        return;
    }
    // The work's reports come queued to this thread: the rows are shown waiting before any starts.
    const site::CheckedPlan& checked = session_->lastCheck();
    std::vector<std::string> serials;
    for (const site::PlannedSetup& s : checked.check.setups) {
        serials.push_back(s.found.serialNo);
        model_->setState(s.found.serialNo, s.fields.empty() ? RowState::None : RowState::Waiting);
    }
    model_->rememberBefore(serials);
    checkedVersion_ = -1;  // the controllers change: the next apply checks again
    beginWork(text(TextApplying).arg(0).arg(serials.size()), int(serials.size()));
}

void SiteWindow::rowEnded(const site::RowOutcome& outcome, int done, int total) {
    model_->showOutcome(outcome);
    progressBar_->setRange(0, total);
    progressBar_->setValue(done);
    showStatus(text(TextApplying).arg(done).arg(total));
}

void SiteWindow::applied(const site::AppliedPlan& result, const QString& error) {
    model_->addControllers(result.readBack);  // the table shows the controllers as the read-back heard them
    for (const site::RowOutcome& o : result.outcomes)
        model_->showOutcome(o);
    for (int row : result.notReached)
        if (const auto it = serialOfCheckedRow_.find(row); it != serialOfCheckedRow_.end())
            model_->setState(it->second, RowState::NotStarted);
    lastTotals_ = totalsOf(result);
    showCount();
    showStatus({});
    workDone_ = true;
    if (!result.shared.empty()) {
        QStringList lines;
        for (const site::SharedAddress& a : result.shared)
            lines << sharedAddressLine(a);
        support::ShowErrorMessage(lines.join(QLatin1Char('\n')));
    }
    if (!error.isEmpty())
        support::ShowErrorMessage(text(TextServiceFailed) + QLatin1Char('\n') + error);
}

// ------------------------------------------------------------------ upgrade

void SiteWindow::loadInstalledUpgradeFiles() {
    std::int32_t out = 0;
    const QString slib = support::ExpandPathAlias(QStringLiteral("SLIB:"), 0, out);
    const QDir folder(QDir(slib).filePath(QStringLiteral("QORreal")));
    std::vector<std::string> paths;
    for (const QString& name : folder.entryList({QStringLiteral("*.TcpIpPortOS")}, QDir::Files, QDir::Name))
        paths.push_back(folder.filePath(name).toStdString());
    auto files = std::make_shared<site::UpgradeFiles>();
    for (const std::string& path : paths)
        site::loadUpgradeFiles({path}, *files);  // a file that cannot be used is left out, as the tool leaves it
    files_ = files;
}

void SiteWindow::chooseUpgradeFile() {
    const QString path = ui::chooseFileToOpen(text(TextUpgradeFiles), QDir::homePath(), text(TextUpgradeFileFilter));
    if (path.isEmpty())
        return;
    site::UpgradeFiles one;
    if (const site::Phrase problem = site::loadUpgradeFiles({path.toStdString()}, one); !problem.empty()) {
        support::ShowErrorMessage(wordsOf(problem));
        return;
    }
    auto files = std::make_shared<site::UpgradeFiles>(*files_);
    for (auto& [type, file] : one.byType)
        files->byType[type] = file;  // one file for each type: the one chosen last
    files_ = files;
    showStatus(text(TextUpgradeFilesChosen).arg(upgradeFilesList(*files_)));
}

void SiteWindow::upgrade(bool all) {
    const std::vector<int> selected = selectedRows();
    const std::vector<std::string> serials = model_->foundSerials(all ? nullptr : &selected);
    if (serials.empty())
        return;
    if (session_->findUpgrades(serials, files_))
        beginWork(text(TextSearching) + QStringLiteral(" ..."), 0);
}

// Nothing is sent before the question, asked once the search's worker has ended.
void SiteWindow::askUpgrade() {
    const site::UpgradeTargets& targets = session_->lastTargets();
    showStatus({});
    if (targets.toUpgrade.empty() && targets.newer.empty()) {
        for (const site::ControllerUpgrade& u : targets.settled)
            model_->showUpgrade(u);
        support::ShowInfoMessage(text(TextNothingToUpgrade));
        return;
    }
    const UpgradeQuestion question = upgradeQuestion(targets, *files_);
    bool allowOlder = false;
    if (!ui::askYesNo(question.text, false, question.checkBox, &allowOlder))
        return;
    if (!session_->upgrade(allowOlder)) {
        support::ShowErrorMessage(text(TextStillBusy));
        return;
    }
    for (const site::ControllerUpgrade& u : targets.settled)
        model_->showUpgrade(u);
    std::vector<site::ControllerRecord> sent = targets.toUpgrade;
    if (allowOlder)
        sent.insert(sent.end(), targets.newer.begin(), targets.newer.end());
    model_->rememberBefore(serialsOf(sent));
    for (const site::ControllerRecord& r : sent)
        model_->setState(r.serialNo, RowState::Waiting);
    beginWork(text(TextUpgrading).arg(0).arg(sent.size()), int(sent.size()));
}

void SiteWindow::upgraded(const site::UpgradeRun& result, const QString& error) {
    for (const site::ControllerUpgrade& u : result.upgrades)
        model_->showUpgrade(u);
    for (const std::string& serial : result.notReached)
        model_->setState(serial, RowState::NotStarted);
    lastTotals_ = totalsOf(result);
    showCount();
    showStatus({});
    workDone_ = true;
    if (!error.isEmpty())
        support::ShowErrorMessage(text(TextServiceFailed) + QLatin1Char('\n') + error);
}

// ------------------------------------------------------------------ report

void SiteWindow::saveReport() {
    const QString path = ui::chooseFileToSave(text(TextSaveReport), QDir::homePath(), text(TextReportFiles));
    if (path.isEmpty())
        return;
    const QString base = path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ? path.chopped(4) : path;
    ReportInfo info;
    info.title = text(TextReportTitle);
    info.searched = searchedTargets(session_->config());
    info.totals = lastTotals_;
    QString error;
    if (!writeReportCsv(base + QStringLiteral(".csv"), model_->rows(), error) ||
        !writeReportPdf(base + QStringLiteral(".pdf"), model_->rows(), info, error)) {
        support::ShowErrorMessage(error);
        return;
    }
    support::ShowInfoMessage(text(TextReportSaved).arg(QDir::toNativeSeparators(base + QStringLiteral(".csv")),
                                                       QDir::toNativeSeparators(base + QStringLiteral(".pdf"))));
}

// ------------------------------------------------------------------ editing helpers

QModelIndexList SiteWindow::selectedCells() const {
    QModelIndexList cells = ui_->siteTable->selectionModel()->selectedIndexes();
    if (cells.isEmpty() && ui_->siteTable->currentIndex().isValid())
        cells << ui_->siteTable->currentIndex();  // the cell the keyboard is on
    return cells;
}

std::vector<int> SiteWindow::selectedRows() const {
    std::set<int> viewRows;
    for (const QModelIndex& i : selectedCells())
        viewRows.insert(i.row());
    std::vector<int> rows;
    for (int v : viewRows)
        rows.push_back(proxy_->mapToSource(proxy_->index(v, 0)).row());
    return rows;
}

// Names and descriptions as wide as they are, up to about 40 letters: not cut to a few when there is room.
void SiteWindow::widenNameColumns() {
    const int most = ui_->siteTable->fontMetrics().averageCharWidth() * 40;
    QHeaderView* header = ui_->siteTable->horizontalHeader();
    for (int c = 0; c < header->count(); ++c) {
        const PlanField field = SiteTableModel::columns()[std::size_t(c)].field;
        const auto kind = SiteTableModel::columns()[std::size_t(c)].kind;
        if ((kind != SiteTableModel::Kind::Present && kind != SiteTableModel::Kind::Planned) ||
            (field != PlanField::Name && field != PlanField::Description))
            continue;
        int wanted = header->sectionSizeHint(c);
        const QFontMetrics metrics = ui_->siteTable->fontMetrics();
        for (int r = 0; r < std::min(model_->rowCount(), 1000); ++r)  // as a header measures, the first thousand
            wanted = std::max(wanted, metrics.horizontalAdvance(model_->index(r, c).data().toString()) + metrics.averageCharWidth() * 2);
        header->resizeSection(c, std::max(header->sectionSize(c), std::min(wanted, most)));
    }
}

void SiteWindow::identify(bool on) {
    std::string serial = markedSerial_;
    if (on) {
        const std::vector<int> selected = selectedRows();
        if (selected.size() != 1)
            return;
        serial = model_->rows()[std::size_t(selected[0])].now.serialNo;
    }
    if (!serial.empty() && session_->mark(serial, on, on ? markedSerial_ : std::string()))
        beginWork(text(TextSearching) + QStringLiteral(" ..."), 0);
}

void SiteWindow::fillDown() {
    std::map<int, std::vector<int>> viewRowsOfColumn;  // planned columns only
    for (const QModelIndex& i : selectedCells())
        if (SiteTableModel::columns()[std::size_t(i.column())].kind == SiteTableModel::Kind::Planned)
            viewRowsOfColumn[i.column()].push_back(i.row());
    for (auto& [column, viewRows] : viewRowsOfColumn) {
        std::sort(viewRows.begin(), viewRows.end());
        const PlanField field = SiteTableModel::columns()[std::size_t(column)].field;
        const int top = proxy_->mapToSource(proxy_->index(viewRows.front(), column)).row();
        const QString value = model_->rows()[std::size_t(top)].plannedOf(field);
        for (std::size_t k = 1; k < viewRows.size(); ++k) {
            QString problem;
            const int r = proxy_->mapToSource(proxy_->index(viewRows[k], column)).row();
            if (!model_->setPlanned(r, field, value, problem)) {
                support::ShowErrorMessage(problem);
                return;
            }
        }
    }
}

void SiteWindow::numberAddresses() {
    const std::vector<int> rows = selectedRows();
    const auto next = numberedAddresses(model_->rows(), rows);
    if (!next)
        return;
    for (int k = 0; k < next->size(); ++k) {
        QString problem;
        model_->setPlanned(rows[std::size_t(k) + 1], PlanField::IpAddress, next->at(k), problem);
    }
}

void SiteWindow::clearPlanned() {
    for (const QModelIndex& i : selectedCells()) {
        const auto& column = SiteTableModel::columns()[std::size_t(i.column())];
        if (column.kind != SiteTableModel::Kind::Planned)
            continue;
        QString problem;
        model_->setPlanned(proxy_->mapToSource(i).row(), column.field, QString(), problem);
    }
}

void SiteWindow::editRefused(const QModelIndex& cell, const QString& typed, const QString& problem) {
    const SiteRow& row = model_->rows()[std::size_t(cell.row())];
    support::ShowErrorMessage(text(TextRefusedCell)
                                  .arg(model_->headerData(cell.column(), Qt::Horizontal).toString(),
                                       QString::fromStdString(row.now.serialNo), problem));
    // What was typed is not lost: the cell is edited again with it, once the refused editor has closed.
    const QPersistentModelIndex shown = proxy_->mapFromSource(cell);
    QTimer::singleShot(0, this, [this, shown, typed] {
        if (!shown.isValid())
            return;
        ui_->siteTable->setCurrentIndex(shown);
        ui_->siteTable->edit(shown);
        const auto editors = ui_->siteTable->viewport()->findChildren<QLineEdit*>();  // the one just opened
        if (!editors.isEmpty())
            editors.last()->setText(typed);
    });
}

void SiteWindow::problemClicked(int item) {
    if (item < 0 || item >= ui_->problemsList->count())
        return;
    const int r = model_->rowOfSerial(ui_->problemsList->item(item)->data(Qt::UserRole).toString().toStdString());
    if (r < 0)
        return;
    const QModelIndex shown = proxy_->mapFromSource(model_->index(r, 0));
    if (!shown.isValid())
        return;  // filtered out
    ui_->siteTable->selectionModel()->select(shown, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ui_->siteTable->setCurrentIndex(shown);
    ui_->siteTable->scrollTo(shown);
}

// ------------------------------------------------------------------ layout

void SiteWindow::restoreLayout() {
    if (settingsFile_.isEmpty())
        return;
    QSettings s(settingsFile_, QSettings::IniFormat);
    restoreGeometry(s.value(QStringLiteral("window/geometry")).toByteArray());
    ui_->siteTable->horizontalHeader()->restoreState(s.value(QStringLiteral("window/columns")).toByteArray());
}

void SiteWindow::saveLayout() const {
    if (settingsFile_.isEmpty())
        return;
    QSettings s(settingsFile_, QSettings::IniFormat);
    s.setValue(QStringLiteral("window/geometry"), saveGeometry());
    s.setValue(QStringLiteral("window/columns"), ui_->siteTable->horizontalHeader()->saveState());
}

void SiteWindow::closeEvent(QCloseEvent* event) {
    session_->stop();  // what is in hand finishes before the window goes
    // A closed window asks and shows nothing: what the work reports from now on, or
    // reported while the window system took its time to hide it, goes nowhere.
    disconnect(session_, nullptr, this, nullptr);
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    saveLayout();
    event->accept();
}

}  // namespace zelmar::sitewindow
