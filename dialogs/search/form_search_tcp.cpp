#include "dialogs/search/form_search_tcp.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTreeView>
#include <algorithm>
#include <exception>
#include <memory>
#include <stdexcept>

#include "comm/input/address_input.h"
#include "comm/com_sub.h"
#include "comm/controller_records.h"
#include "comm/shared_state.h"
#include "dialogs/search/activation_tracker.h"
#include "dialogs/search/controller_list_model.h"
#include "dialogs/search/list_cells.h"
#include "dialogs/search/paint_throttle.h"
#include "dialogs/search/search_icons.h"
#include "platform/ui/dialog_fonts.h"
#include "platform/ui/handler_guard.h"
#include "platform/ui/window_helpers.h"
#include "support/support.h"
#include "ui_FormSearchTCP.h"

namespace zelmar::dialogs {

using support::GetText;

namespace {

// Text numbers of the dialog.
enum : std::int32_t {
    TextOk = 4530,
    TextCancel = 4531,
    TextCaption = 4534,
    TextRefresh = 4535,
    TextFindMore = 4536,
    TextSearching = 4537,
    TextFindMoreTitle = 4538,
    TextFindMorePrompt1 = 4539,
    TextFindMorePrompt2 = 4540,
    TextUpgrade = 4541,
    TextNoMatch = 4562,
    TextListName = 4580,
};

// The stored layout's dialog font size.
constexpr double kDialogFontPointSize = 8.25;

}  // namespace

FormSearchTCP::FormSearchTCP(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::FormSearchTCP>()) {
    ui_->setupUi(this);
    ui::applyDialogFonts(this, kDialogFontPointSize);
    setWindowIcon(searchWindowIcon());
    rows_ = new ControllerListModel(this);
    rows_->setRowIcon(controllerRowIcon());
    ui_->CtrlList->setModel(rows_);
    activation_ = new ActivationTracker(this);

    // Names and descriptions longer than their column show in full as a tooltip.
    ui_->CtrlList->setItemDelegate(new CutCellTips(ui_->CtrlList));

    // Enter in the list is looked at before the list handles it.
    ui_->CtrlList->installEventFilter(this);

    connect(ui_->ButtonOk, &QPushButton::clicked, this,
            [this] { ui::guardHandler("ButtonOk_Click", [this] { ButtonOk_Click(); }); });
    connect(ui_->ButtonCancel, &QPushButton::clicked, this,
            [this] { ui::guardHandler("ButtonCancel_Click", [this] { ButtonCancel_Click(); }); });
    connect(ui_->ButtonRefresh, &QPushButton::clicked, this,
            [this] { ui::guardHandler("ButtonRefresh_Click", [this] { ButtonRefresh_Click(); }); });
    connect(ui_->ButtonFindMore, &QPushButton::clicked, this,
            [this] { ui::guardHandler("ButtonFindMore_Click", [this] { ButtonFindMore_Click(); }); });
    connect(ui_->btnUpgrade, &QPushButton::clicked, this,
            [this] { ui::guardHandler("btnUpgrade_Click", [this] { btnUpgrade_Click(); }); });
    connect(ui_->CtrlList, &QAbstractItemView::clicked, this,
            [this] { ui::guardHandler("CtrlList_ItemClick", [this] { CtrlList_ItemClick(); }); });
    connect(ui_->CtrlList, &QAbstractItemView::doubleClicked, this,
            [this] { ui::guardHandler("CtrlList_DblClick", [this] { CtrlList_DblClick(); }); });

    // Form_Load.
    ui::guardHandler("Form_Load", [this] { SetLanguage(); });
}

FormSearchTCP::~FormSearchTCP() { Form_Unload(); }

// ---------------------------------------------------------------- texts

void FormSearchTCP::SetLanguage() {
    // The dialog takes the font name of the status line (with its fallbacks).
    QFont dialogFont = font();
    dialogFont.setFamilies(ui_->CtrlStatusLine->font().families());
    setFont(dialogFont);

    ui_->ButtonOk->setText(GetText(TextOk));
    ui_->ButtonCancel->setText(GetText(TextCancel));
    ui_->ButtonRefresh->setText(GetText(TextRefresh));
    ui_->ButtonFindMore->setText(GetText(TextFindMore));
    ui_->btnUpgrade->setText(GetText(TextUpgrade));
    setWindowTitle(GetText(TextCaption));
    // No label names the list: a screen reader announces this name.
    ui_->CtrlList->setAccessibleName(GetText(TextListName));

    rows_->loadHeaderTexts();
    QTreeView* list = ui_->CtrlList;
    // The stored widths, each widened just enough where its header text would
    // be cut (the narrow DHCP column in this font). The stored widths fit their
    // values in the layout's own font; an address column also grows until a
    // full address fits in the font in use: a technician matches the Ethernet
    // address against the label on the unit.
    const auto& columns = ControllerListModel::columns();
    for (int i = 0; i < ControllerListModel::kColumnCount; ++i)
        list->setColumnWidth(i, std::max(ui::twipsToPixels(columns[i].widthTwips), list->header()->sectionSizeHint(i)));
    const auto growTo = [list](int column, int width) {
        list->setColumnWidth(column, std::max(list->columnWidth(column), width));
    };
    growTo(ControllerListModel::ColIpAddress, fullFormatWidth(*list, u"0123456789", 4, 3, u'.'));
    growTo(ControllerListModel::ColEthernetAddress, fullFormatWidth(*list, u"0123456789ABCDEF", 6, 2, u'-'));
}

// ---------------------------------------------------------------- window events

void FormSearchTCP::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // Losing the activation (Form_Deactivate) does nothing: the list stays as
    // it is until the dialog is active again and searches anew.
    if (event->type() == QEvent::ActivationChange && activation_ && activation_->activationChanged())
        Form_Activate();
}

void FormSearchTCP::Form_Activate() {
    // Queued: the search runs its own event processing, which should not
    // happen inside Qt's activation bookkeeping. A dialog destroyed before
    // then drops the call.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (closing_ || !isVisible())
                return;  // closed before the search could start
            ui::guardHandler("Form_Activate", [this] { CmdSearchRefreshTcpIp(); });
        },
        Qt::QueuedConnection);
}

void FormSearchTCP::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Form_Resize();
}

void FormSearchTCP::Form_Resize() {
    // The list keeps its left and top and leaves the same margin on the right,
    // so that it and its scroll bar lie inside the window; it takes the inner
    // height below its top. Too small a window for the list keeps its last height.
    QTreeView* list = ui_->CtrlList;
    list->resize(std::max(0, width() - 2 * list->x()), list->height());
    const int height = this->height() - list->y();
    if (height >= 0)
        list->resize(list->width(), height);
}

void FormSearchTCP::showEvent(QShowEvent* event) {
    closing_ = false;
    QDialog::showEvent(event);
}

void FormSearchTCP::closeEvent(QCloseEvent* event) {
    // The close control counts as Cancel (QDialog sends it to reject()).
    QDialog::closeEvent(event);
}

void FormSearchTCP::reject() {
    ui::guardHandler("ButtonCancel_Click", [this] { ButtonCancel_Click(); });
}

void FormSearchTCP::Form_Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    ui::guardHandler("Form_Unload", [] { comm::SelectController(QString()); });
}

bool FormSearchTCP::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->CtrlList && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            // While OK is enabled it is the default button and takes Enter itself.
            if (ui_->ButtonOk->isEnabled())
                return false;
            bool handled = false;
            ui::guardHandler("CtrlList_KeyPress", [this, &handled] { handled = CtrlList_KeyPress(13); });
            return handled;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- commands

void FormSearchTCP::ButtonRefresh_Click() { CmdSearchRefreshTcpIp(); }

void FormSearchTCP::ButtonFindMore_Click() { CmdSearchFindMoreTcpIp(); }

void FormSearchTCP::ButtonOk_Click() {
    if (busy_)
        return;
    comm::SelectController(QString());
    CmdSearchOk();
}

void FormSearchTCP::ButtonCancel_Click() {
    // Cancel stays usable while the list fills (the fill stops), but not in
    // the middle of an upgrade.
    if (upgrading_)
        return;
    comm::SelectController(QString());
    CmdSearchClose(vbFalse);
}

bool FormSearchTCP::CtrlList_KeyPress(int keyAscii) {
    if (keyAscii != 13)
        return false;
    // With no row Enter does nothing; during a search or an upgrade it is discarded.
    if (selectedRow() < 0 || busy_)
        return true;
    CmdSearchOk();
    return true;
}

void FormSearchTCP::CtrlList_ItemClick() {
    if (busy_)
        return;  // no marking while the list is rebuilt or an upgrade runs
    const bool hasRow = selectedRow() >= 0;
    ui_->ButtonOk->setEnabled(hasRow);
    ui_->btnUpgrade->setEnabled(hasRow);
    if (ui_->btnUpgrade->isEnabled())
        comm::SelectController(selectedSerialNo());
}

void FormSearchTCP::CtrlList_DblClick() {
    // The row's click has run; the double click then presses OK, with OK's own
    // checks, and does nothing while OK cannot be pressed (a search, find more
    // or an upgrade runs).
    if (ui_->ButtonOk->isEnabled())
        ButtonOk_Click();
}

void FormSearchTCP::CmdSearchOk() {
    // A controller gone from the entries closes the dialog as Cancel.
    CmdSearchClose(toVBool(comm::TakeListedController(selectedSerialNo())));
}

void FormSearchTCP::CmdSearchClose(VBool flag) {
    SearchOkFlg = flag;
    ui::setMousePointer(ui::MousePointer::Normal);
    closing_ = true;  // a fill that is still running stops at its next row
    hide();           // ends the modal display; the object stays for the opener
}

// ---------------------------------------------------------------- searching

FormSearchTCP::Continue FormSearchTCP::letEventsRun() {
    const QPointer<FormSearchTCP> self(this);
    ui::doEvents();
    if (!self)
        return Continue::Gone;
    return closing_ ? Continue::Closing : Continue::Yes;
}

void FormSearchTCP::BeginSearch(bool clearList) {
    ui::SelectControlText(ui_->CtrlList);
    if (clearList)
        rows_->clear();
    ui_->CtrlStatusLine->setText(QString());
    ui_->ButtonOk->setEnabled(false);
    ui_->btnUpgrade->setEnabled(false);
    ui::doEvents();
}

void FormSearchTCP::EndSearch() { ui_->CtrlStatusLine->setText(QString()); }

void FormSearchTCP::AddTCPItems() {
    const std::int16_t count = comm::ListedControllerCount();
    QTreeView* list = ui_->CtrlList;
    PaintThrottle throttle({list, ui_->CtrlStatusLine});
    for (std::int16_t i = 0; i < count; ++i) {
        ui_->CtrlStatusLine->setText(ui_->CtrlStatusLine->text() + QLatin1Char('.'));
        const ControllerRow row = comm::ReadListedController(i);
        rows_->appendRow(row);
        // Like a list view, the list reports its first row as selected until
        // the technician picks another one.
        if (rows_->rowCount() == 1 && !list->selectionModel()->hasSelection())
            list->setCurrentIndex(rows_->index(0, 0));

        // The row shows (within a frame); the dialog may be closed (or destroyed) meanwhile.
        throttle.beforeEvents();
        const Continue go = letEventsRun();
        if (go != Continue::Yes)
            return;
        throttle.afterEvents();
    }
}

template <typename Steps>
void FormSearchTCP::runSearchCommand(QString what, Steps&& steps) {
    if (busy_)
        return;  // one command at a time; this one is ignored
    const QPointer<FormSearchTCP> self(this);
    busy_ = true;
    const ui::MousePointer remembered = ui::mousePointer();
    ui::setMousePointer(ui::MousePointer::Hourglass);
    bool failed = false;

    const auto finish = qScopeGuard([&] {
        if (!self) {
            ui::setMousePointer(remembered);
            return;
        }
        self->busy_ = false;
        if (self->closing_) {
            self->EndSearch();  // closed meanwhile: the close already put the pointer back
        } else if (!failed) {
            ui::setMousePointer(remembered);
        }
        if (std::uncaught_exceptions() == 0)
            emit self->searchFinished();
    });

    try {
        steps(self, what);
    } catch (const std::runtime_error& error) {
        // A failing service leaves the dialog usable: say what failed, then go on.
        if (!self)
            throw;
        failed = true;
        searchFailed(what, QString::fromUtf8(error.what()));
    }
}

void FormSearchTCP::searchFailed(const QString& what, const QString& reason) {
    EndSearch();
    ui::setMousePointer(ui::MousePointer::Normal);
    support::ShowErrorMessage(what + QStringLiteral(" failed:\n") + reason);
}

void FormSearchTCP::CmdSearchRefreshTcpIp() {
    runSearchCommand(QStringLiteral("The search for controllers"),
                     [this](const QPointer<FormSearchTCP>& self, QString&) {
                         BeginSearch(true);
                         if (!self || closing_)
                             return;
                         ui_->CtrlStatusLine->setText(GetText(TextSearching));
                         if (letEventsRun() != Continue::Yes)
                             return;
                         comm::RestartSearch();
                         AddTCPItems();
                         if (!self || closing_)
                             return;
                         EndSearch();
                     });
}

void FormSearchTCP::CmdSearchFindMoreTcpIp() {
    runSearchCommand(QStringLiteral("The search by address"), [this](const QPointer<FormSearchTCP>& self,
                                                                     QString& what) {
        BeginSearch(false);
        if (!self || closing_)
            return;
        ui_->CtrlStatusLine->setText(GetText(TextSearching));
        if (letEventsRun() != Continue::Yes)
            return;

        const QString typed = ui::inputBox(
            GetText(TextFindMorePrompt1) + QStringLiteral("\r\n\r\n") + GetText(TextFindMorePrompt2),
            GetText(TextFindMoreTitle));
        if (!self || closing_)
            return;
        const comm::AddressInput input = comm::splitAddressInput(typed);
        if (letEventsRun() != Continue::Yes)
            return;

        if (!input.address.isEmpty()) {
            what = QStringLiteral("The search for \"%1\"").arg(typed);
            comm::AddControllerAddress(input.address, input.mask);
            if (!self || closing_)
                return;  // its error message let events run
            rows_->clear();
            AddTCPItems();
            if (!self || closing_)
                return;

            // Select the row of the first entry that is what was asked for.
            // Only the selection changes: nothing is marked, OK stays disabled.
            const std::int16_t match = comm::FindFirstEntryMatching(input);
            const bool found = match != -1;
            if (found && match < rows_->rowCount()) {
                const QModelIndex row = rows_->index(match, 0);
                ui_->CtrlList->setCurrentIndex(row);
                ui_->CtrlList->selectionModel()->select(row, QItemSelectionModel::Select | QItemSelectionModel::Rows);
                ui_->CtrlList->scrollTo(row);
            }
            if (!found) {
                support::ShowInfoMessage(GetText(TextNoMatch) + QLatin1Char(' ') + typed);
                if (!self || closing_)
                    return;
            }
        }
        EndSearch();
    });
}

// ---------------------------------------------------------------- upgrade

void FormSearchTCP::btnUpgrade_Click() {
    if (busy_)
        return;
    const QString serialNo = selectedSerialNo();
    const QPointer<FormSearchTCP> self(this);
    busy_ = true;
    upgrading_ = true;
    const auto done = qScopeGuard([&self] {
        if (self) {
            self->busy_ = false;
            self->upgrading_ = false;
        }
    });

    // The status line shows the transfer's progress, then the wait for the
    // restart, and is empty again once the upgrade has ended (before its
    // closing message), or when the command stops early.
    const auto clearStatus = qScopeGuard([&self] {
        if (self)
            self->EndSearch();
    });
    comm::UpgradeListedController(serialNo, [this, &serialNo](comm::UpgradeStage stage, int percent) {
        showUpgradeProgress(serialNo, stage, percent);
    });
}

void FormSearchTCP::showUpgradeProgress(const QString& serialNo, comm::UpgradeStage stage, int percent) {
    switch (stage) {
    case comm::UpgradeStage::Sending:
        ui_->CtrlStatusLine->setText(QStringLiteral("Upgrading %1: %2 %").arg(serialNo).arg(percent));
        break;
    case comm::UpgradeStage::WaitingForRestart:
        ui_->CtrlStatusLine->setText(QStringLiteral("Waiting for %1 to restart...").arg(serialNo));
        break;
    case comm::UpgradeStage::Ended:
        EndSearch();
        break;
    }
    // Repaint, but leave input waiting: the dialog takes no command during an upgrade.
    ui::doEventsExceptInput();
}

// ---------------------------------------------------------------- the list

int FormSearchTCP::selectedRow() const {
    const QModelIndexList rows = ui_->CtrlList->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

QString FormSearchTCP::selectedSerialNo() const { return rows_->serialNoAt(selectedRow()); }

}  // namespace zelmar::dialogs
