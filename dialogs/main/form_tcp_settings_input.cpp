// Input rules: the full DNS name follows host name and domain, the web login
// passwords are checked character by character, and "Security..." opens the
// encryption settings.
#include <QPointer>
#include <stdexcept>

#include "dialogs/main/form_tcp_settings.h"
#include "support/support.h"
#include "ui_FormTCPSettings.h"

#ifdef ZELMAR_HAVE_SECURITY_DIALOG
#include "dialogs/security/form_security.h"
#endif

namespace zelmar::dialogs {

namespace {
constexpr std::int32_t kTextInvalidPasswordChar = 354;
}  // namespace

void FormTCPSettings::UpdateFullDnsName() {
    // Plain concatenation: nothing is checked, trimmed or removed.
    const QString host = ui_->tbHostName->text();
    const QString domain = ui_->tbDomain->text();
    if (!host.isEmpty() && !domain.isEmpty())
        ui_->tbDNSName->setText(host + QLatin1Char('.') + domain);
    else
        ui_->tbDNSName->setText(host + domain);
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
#ifdef ZELMAR_HAVE_SECURITY_DIALOG
    // A fresh dialog for every opening; it closes itself.
    QPointer<FormSecurity> security = new FormSecurity(this);
    struct Unload {
        QPointer<FormSecurity>& dialog;
        ~Unload() { delete dialog.data(); }
    } unload{security};
    security->exec();
#else
    throw std::runtime_error("the encryption settings dialog is not part of this build");
#endif
}

}  // namespace zelmar::dialogs
