// Input rules: the full DNS name follows host name and domain, the web login
// passwords are checked character by character, and "Security..." opens the
// encryption settings.
#include <QPointer>
#include <QScopeGuard>

#include "comm/input/dns_name.h"
#include "comm/encryption_choice.h"
#include "dialogs/main/form_tcp_settings.h"
#include "dialogs/security/form_security.h"
#include "support/support.h"
#include "ui_FormTCPSettings.h"

namespace zelmar::dialogs {

namespace {
constexpr std::int32_t kTextInvalidPasswordChar = 354;
}  // namespace

void FormTCPSettings::UpdateFullDnsName() {
    ui_->tbDNSName->setText(comm::JoinDnsName(ui_->tbHostName->text(), ui_->tbDomain->text()));
}

void FormTCPSettings::tbDomain_Change() { UpdateFullDnsName(); }

void FormTCPSettings::tbHostName_Change() { UpdateFullDnsName(); }

void FormTCPSettings::CtrlWebUserPass_Change(int Index) {
    const QString text = CtrlWebUserPass(Index)->text();
    if (text.isEmpty())
        return;
    // Reported, not corrected: the text stays as typed.
    if (support::FindInvalidPasswordChar(text) != -1)
        support::ShowErrorMessage(QStringLiteral("Ogiltigt tecken"));
}

void FormTCPSettings::CtrlWebUserPass_LostFocus(int Index) {
    QLineEdit* field = CtrlWebUserPass(Index);
    const QString text = field->text();
    if (text.isEmpty())
        return;
    if (support::FindInvalidPasswordChar(text) != -1) {
        support::ShowErrorMessage(support::GetText(kTextInvalidPasswordChar));
        field->setFocus(Qt::OtherFocusReason);
    }
}

void FormTCPSettings::Security_Click() {
    // A fresh dialog for every opening; it closes itself.
    QPointer<FormSecurity> security = new FormSecurity(this);
    const auto unload = qScopeGuard([&security] { delete security.data(); });
    // Close stored the choices: they hold for the controller shown now.
    if (security->exec() == QDialog::Accepted)
        comm::HoldEncryptionChoice(ui_->CtrlCurrentSerialNo->text());
}

}  // namespace zelmar::dialogs
