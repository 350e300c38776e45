#include "dialogs/security/form_security.h"

#include "comm/encryption_choice.h"
#include "platform/ui/caption_room.h"
#include "platform/ui/dialog_fonts.h"
#include "platform/ui/drawings.h"
#include "platform/ui/handler_guard.h"
#include "platform/ui/lost_focus_watch.h"
#include "support/support.h"
#include "ui_FormSecurity.h"

#include <QKeyEvent>
#include <QKeySequence>

namespace zelmar::dialogs {

namespace {
// Texts of the captions set at load, and of the password messages.
constexpr int kTextHeading = 4570;         // LabelRequirePassword(0)
constexpr int kTextRequireOption = 4571;   // CtrlEncryptedCom
constexpr int kTextExplanation = 4572;     // LabelRequirePassword(1)
constexpr int kTextInvalidWhileTyping = 353;
constexpr int kTextInvalidOnLeaving = 354;
// The stored layout's dialog and explanation sizes.
constexpr double kDialogFontPointSize = 8.25;
constexpr double kSmallFontPointSize = 7;

bool hasInvalidPasswordChar(const QString& text) {
    return !text.isEmpty() && support::FindInvalidPasswordChar(text) != -1;
}
}  // namespace

FormSecurity::FormSecurity(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::FormSecurity>()) {
    ui_->setupUi(this);
    // The dialog face, as in the other dialogs: the headings keep only their
    // weight from the stored layout, so they are that face in bold wherever it
    // comes from; the explanations take it small.
    zelmar::ui::applyDialogFonts(this, kDialogFontPointSize, kSmallFontPointSize);
    // A fixed-size dialog frame: title and close control, no window icon, no help button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    zelmar::ui::showDrawing(ui_->Image4, QStringLiteral(":/security/security-padlock"));
    zelmar::ui::showDrawing(ui_->Image3, QStringLiteral(":/security/security-keys"));

    // textChanged, not textEdited: setting the text from code runs the check too.
    connect(ui_->CtrlEncryptedPass, &QLineEdit::textChanged, this,
            [this] { zelmar::ui::guardHandler("CtrlEncryptedPass_Change", [this] { CtrlEncryptedPass_Change(); }); });
    passwordFocusWatch_ = new zelmar::ui::LostFocusWatch(ui_->CtrlEncryptedPass, [this] {
        zelmar::ui::guardHandler("CtrlEncryptedPass_LostFocus", [this] { CtrlEncryptedPass_LostFocus(); });
    });
    connect(ui_->CmdOk, &QPushButton::clicked, this,
            [this] { zelmar::ui::guardHandler("CmdOk_Click", [this] { CmdOk_Click(); }); });

    zelmar::ui::guardHandler("Form_Load", [this] { Form_Load(); });
}

FormSecurity::~FormSecurity() = default;

void FormSecurity::Form_Load() {
    ui_->LabelRequirePassword_0->setText(support::GetText(kTextHeading));
    ui_->CtrlEncryptedCom->setText(support::GetText(kTextRequireOption));
    ui_->LabelRequirePassword_1->setText(support::GetText(kTextExplanation));
    zelmar::ui::growLabelsToTheirCaptions(this);

    const comm::EncryptionShown shown = comm::StartEncryptionChoice();
    ui_->CtrlEncryptedCom->setCheckState(shown.requireEncryption ? Qt::Checked : Qt::Unchecked);
    ui_->CtrlEncryptedPass->setText(shown.password);  // runs the typing check
}

void FormSecurity::CtrlEncryptedPass_Change() {
    // The text stays as typed; each further change shows the message again.
    if (hasInvalidPasswordChar(ui_->CtrlEncryptedPass->text()))
        showPasswordCharMessage(kTextInvalidWhileTyping);
}

void FormSecurity::CtrlEncryptedPass_LostFocus() {
    // The check is queued after the focus change; by then Close may have ended the dialog.
    if (!isVisible())
        return;
    if (hasInvalidPasswordChar(ui_->CtrlEncryptedPass->text())) {
        showPasswordCharMessage(kTextInvalidOnLeaving);
        ui_->CtrlEncryptedPass->setFocus(Qt::OtherFocusReason);
    }
}

void FormSecurity::CmdOk_Click() {
    // A password the tool refuses never reaches a controller: nothing is stored, the dialog stays.
    if (hasInvalidPasswordChar(ui_->CtrlEncryptedPass->text())) {
        showPasswordCharMessage(kTextInvalidOnLeaving);
        ui_->CtrlEncryptedPass->setFocus(Qt::OtherFocusReason);
        return;
    }
    // Stored as shown; the network password stays untouched.
    comm::ChooseEncryption(ui_->CtrlEncryptedCom->checkState() != Qt::Unchecked, ui_->CtrlEncryptedPass->text());
    accept();
}

void FormSecurity::showPasswordCharMessage(int textNumber) {
    const QString text = support::GetText(textNumber);
    zelmar::ui::MessageShowingScope showing(*passwordFocusWatch_);
    support::ShowErrorMessage(text);
}

void FormSecurity::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace zelmar::dialogs
