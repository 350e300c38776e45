// Construction, handler wiring, start-up (Form_Load, SetParams), ShowDlg and
// the closing commands of the main settings dialog.
#include "dialogs/main/form_tcp_settings.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QKeyEvent>
#include <functional>
#include <stdexcept>

#include "comm/shared_state.h"
#include "dialogs/main/control_values.h"
#include "platform/qorglib/qorglib.h"
#include "platform/ui/caption_room.h"
#include "platform/ui/dialog_fonts.h"
#include "platform/ui/drawings.h"
#include "platform/ui/handler_guard.h"
#include "platform/ui/lost_focus_watch.h"
#include "platform/ui/window_helpers.h"
#include "support/support.h"
#include "ui_FormTCPSettings.h"

namespace zelmar::dialogs {

namespace {
// The start-up flags the support library expects from this tool.
constexpr std::int32_t kInitFlags1 = 0x20000000;
constexpr std::int32_t kInitFlags2 = 0x40000000;
// The stored layout's dialog and small-text sizes.
constexpr double kDialogFontPointSize = 7.5;
constexpr double kSmallFontPointSize = 6.5;
}  // namespace

FormTCPSettings::FormTCPSettings(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::FormTCPSettings>()) {
    ui_->setupUi(this);
    ui::applyDialogFonts(this, kDialogFontPointSize, kSmallFontPointSize);
    ui::growLabelsToTheirCaptions(this);  // the stored captions; SetLanguage looks again
    // The stored layout places every control absolutely: the window keeps its size.
    setFixedSize(size());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    // White client area behind the decorative background panel.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    // The two captions that lie on a frame's edge cover the line with the
    // panel's colour there (the panel is white in its upper part).
    for (QWidget* onEdge : {static_cast<QWidget*>(ui_->rbUseTCP), static_cast<QWidget*>(ui_->rbIP)})
        onEdge->setBackgroundRole(QPalette::Window);
    ui_->BackgroundBox->lower();
    // The pictures are drawings: render them for the screen's pixel density
    // rather than scaling a stored 32-pixel image.
    setWindowIcon(ui::drawingIcon(QStringLiteral(":/main/main-cable"), {16, 32}));
    for (QLabel* picture : findChildren<QLabel*>()) {
        const QString drawing = picture->property("picture").toString();
        if (!drawing.isEmpty())
            ui::showDrawing(picture, drawing);
    }
    connectHandlers();
}

FormTCPSettings::~FormTCPSettings() = default;

void FormTCPSettings::connectHandlers() {
    Ui::FormTCPSettings& u = *ui_;
    // Every handler runs through the dialog's handler edge.
    const auto on = [this](const char* name, std::function<void()> handler) {
        return [this, name, handler = std::move(handler)] { ui::guardHandler(handlers_, name, handler); };
    };
    connect(u.btnSearchTCP, &QPushButton::clicked, this, on("btnSearchTCP_Click", [this] { btnSearchTCP_Click(); }));
    connect(u.CmdCancel, &QPushButton::clicked, this, on("CmdCancel_Click", [this] { CmdCancel_Click(); }));
    connect(u.CmdOk, &QPushButton::clicked, this, on("CmdOk_Click", [this] { CmdOk_Click(); }));
    // Check boxes: stateChanged also fires when code sets the value.
    connect(u.rbDHCP, &QCheckBox::stateChanged, this, on("rbDHCP_Click", [this] { rbDHCP_Click(); }));
    connect(u.rbIP, &QCheckBox::stateChanged, this, on("rbIP_Click", [this] { rbIP_Click(); }));
    // The lone option button: its handler runs when it becomes selected, by code or by a click.
    connect(u.rbUseTCP, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            ui::guardHandler(handlers_, "rbUseTCP_Click", [this] { rbUseTCP_Click(); });
    });
    // With autoExclusive off a click on the selected option would deselect it;
    // an option button stays selected when clicked and runs its handler again.
    connect(u.rbUseTCP, &QRadioButton::clicked, this, [this](bool checked) {
        if (!checked)
            ui::guardHandler(handlers_, "rbUseTCP_Click", [this] { ui_->rbUseTCP->setChecked(true); });
    });
    connect(u.btnSetup, &QPushButton::clicked, this, on("btnSetup_Click", [this] { btnSetup_Click(); }));
    connect(u.Security, &QPushButton::clicked, this, on("Security_Click", [this] { Security_Click(); }));
    connect(u.tbDomain, &QLineEdit::textChanged, this, on("tbDomain_Change", [this] { tbDomain_Change(); }));
    connect(u.tbHostName, &QLineEdit::textChanged, this, on("tbHostName_Change", [this] { tbHostName_Change(); }));
    for (int index : {1, 2}) {
        QLineEdit* field = CtrlWebUserPass(index);
        connect(field, &QLineEdit::textChanged, this,
                on("CtrlWebUserPass_Change", [this, index] { CtrlWebUserPass_Change(index); }));
        new ui::LostFocusWatch(field, [this, index] {
            ui::guardHandler(
                handlers_, "CtrlWebUserPass_LostFocus", [this, index] { CtrlWebUserPass_LostFocus(index); },
                ui::HandlerStart::Queued);
        });
    }
}

// --- Public operations -------------------------------------------------------

VBool FormTCPSettings::ShowDlg(QWidget* Parent) {
    if (Parent)
        setParent(Parent, windowFlags() | Qt::Dialog);
    setWindowModality(Qt::WindowModal);
    exec();
    return DlgOkFlg;
}

void FormTCPSettings::SetParams() {
    const comm::SettingsRecord& s = comm::state().Settings;
    ui_->CtrlCurrentName->setText(s.Name);
    ui_->CtrlCurrentSerialNo->setText(s.SerialNo);
    ui_->CtrlCurrentEthernet->setText(s.EthernetAddress);
    ui_->CtrlCurrentDescription->setText(s.Description);
    ui_->rbUseTCP->setChecked(isTrue(s.UseConnectedController));
    UseTCPFlg = comm::state().Settings.UseConnectedController;
    setCheckValue(ui_->rbDHCP, isTrue(comm::state().Settings.UseDhcp) ? 1 : 0);
    // Selecting the option runs rbUseTCP_Click: the connected-controller question
    // comes before the window is first shown.
    ui_->rbUseTCP->setChecked(true);
}

// --- Handlers ----------------------------------------------------------------

void FormTCPSettings::CmdCancel_Click() {
    DlgOkFlg = vbFalse;
    close();
}

void FormTCPSettings::CmdOk_Click() { close(); }

void FormTCPSettings::Form_Load() {
    ui::guardHandler(handlers_, "Form_Load", [this] {
        const QByteArray title = support::toAnsi(ui::applicationTitle());
        std::int32_t out1 = 0;
        std::int32_t out2 = 0;
        InitApplication(title.constData(), kInitFlags1, &out1, kInitFlags2, &out2);
        comm::state().SelectedEntryIndex = -1;
        LoadingFlg = vbTrue;
        // While the search dialog upgrades a port OS the dialog keeps its stored
        // captions and stays "loading", so that SetUIState never acts.
        if (!isTrue(comm::state().UpgradeInProgress)) {
            SetParams();
            SetLanguage();
            LoadingFlg = vbFalse;
            SetUIState();
        }
        ui::doEvents();
    });
}

// --- Keys ----------------------------------------------------------------------

void FormTCPSettings::keyPressEvent(QKeyEvent* event) {
    // No button answers Escape; the window's close control still closes.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// --- Control arrays --------------------------------------------------------------

void FormTCPSettings::throwNoControl(const QString& name) {
    throw std::out_of_range("the main dialog has no control " + name.toStdString());
}

QLineEdit* FormTCPSettings::arrayEdit(const char* base, int index) const {
    return control<QLineEdit>(QStringLiteral("%1_%2").arg(QLatin1String(base)).arg(index));
}

QLabel* FormTCPSettings::arrayLabel(const char* base, int index) const {
    return control<QLabel>(QStringLiteral("%1_%2").arg(QLatin1String(base)).arg(index));
}

QLabel* FormTCPSettings::LabelDNSInfo(int index) const { return arrayLabel("LabelDNSInfo", index); }
QLineEdit* FormTCPSettings::CtrlWebUserPass(int index) const { return arrayEdit("CtrlWebUserPass", index); }
QLabel* FormTCPSettings::LabelLoginPasswords(int index) const { return arrayLabel("LabelLoginPasswords", index); }
QLabel* FormTCPSettings::LabelUserLogin(int index) const { return arrayLabel("LabelUserLogin", index); }
QLabel* FormTCPSettings::LabelMailServer(int index) const { return arrayLabel("LabelMailServer", index); }
QLabel* FormTCPSettings::LabelMailSenderAddress(int index) const { return arrayLabel("LabelMailSenderAddress", index); }

}  // namespace zelmar::dialogs
