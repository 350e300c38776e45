// Getting a controller to work on and showing it: the connected-controller
// option, "Search...", the network-password prompt and the field filling.
#include <QGuiApplication>
#include <QPointer>
#include <QScopeGuard>
#include <memory>

#include "comm/com_sub.h"
#include "comm/encryption_choice.h"
#include "comm/shared_state.h"
#include "dialogs/main/control_values.h"
#include "dialogs/main/form_tcp_settings.h"
#include "dialogs/search/form_search_tcp.h"
#include "platform/netservice/net_service.h"
#include "platform/ui/window_helpers.h"
#include "support/support.h"
#include "ui_FormTCPSettings.h"

namespace zelmar::dialogs {

namespace {
const QString kAccessPasswordPrompt =
    QStringLiteral("You need a password to access this controller.\r\nPlease enter a password.");

QString fromService(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

void FormTCPSettings::btnSearchTCP_Click() {
    // A fresh search dialog for every opening; it hides itself to end the modal
    // display and stays for us to read its flag, then we unload it.
    QPointer<FormSearchTCP> search = new FormSearchTCP(this);
    const auto unload = qScopeGuard([&search] { delete search.data(); });
    search->exec();
    if (search && isTrue(search->SearchOkFlg))
        ShowCurrentController(vbTrue);
}

void FormTCPSettings::ShowCurrentController(VBool Show) {
    comm::SharedState& shared = comm::state();
    comm::CurrentControllerRecord& current = shared.CurrentController;

    // Ask for the network password while the controller needs one.
    while (isTrue(current.RequireEncryption) && !isTrue(current.PasswordOk)) {
        // The typed password is masked: a password in clear on screen is unsafe.
        const QString answer =
            ui::inputBox(kAccessPasswordPrompt, ui::applicationTitle(), QString(), true);
        if (answer.isEmpty()) {
            ui::setMousePointer(ui::MousePointer::Normal);
            setEnabled(true);
            Show = vbFalse;
            break;
        }
        shared.NetworkPassword = answer;
        std::int16_t index = comm::FindControllerBySerialNo(current.SerialNo, true);
        if (index == -1) {
            ui::setMousePointer(ui::MousePointer::Normal);
            setEnabled(true);
            break;
        }
        checkPassword(index);
    }

    if (!isTrue(Show)) {
        ClearControllerFields();
        return;
    }
    if (current.SerialNo.isEmpty())
        return;
    std::int16_t index = comm::FindControllerBySerialNo(current.SerialNo, true);
    if (index == -1) {
        // Gone from the network (or never found with the password typed): the
        // fields keep what they show and the technician is told.
        support::ShowErrorMessage(QStringLiteral("The controller %1 was not found on the network.").arg(current.SerialNo));
        return;
    }
    GetCurrentControllerInfo(index);
    KeepControllerEncryption(index);
    FillControllerFields(ShownController::from(current));
}

void FormTCPSettings::rbUseTCP_Click() {
    if (!isTrue(optionValue(ui_->rbUseTCP)))
        return;
    SetUIState();
    bool declined = false;
    if (comm::ReadConnectedController(declined))
        ShowConnectedController();
    else if (declined)
        btnSearchTCP_Click();
}

void FormTCPSettings::GetCurrentControllerInfo(std::int16_t& Index) {
    comm::CurrentControllerRecord& current = comm::state().CurrentController;
    net::NetService& service = comm::Service();
    // The entry is fetched anew for every property and released at once.
    current.Name = fromService(service.Item(Index)->Name());
    current.SerialNo = fromService(service.Item(Index)->SerialNo());
    current.EthernetAddress = fromService(service.Item(Index)->EthernetAddress());
    current.Description = fromService(service.Item(Index)->Description());
    current.IpAddress = fromService(service.Item(Index)->IpAddress());
    current.SubnetMask = fromService(service.Item(Index)->SubnetMask());
    current.Gateway = fromService(service.Item(Index)->Gateway());
    current.DnsServer = fromService(service.Item(Index)->DnsServer());
    current.DnsName = fromService(service.Item(Index)->DnsName());
    current.UseDhcp = toVBool(service.Item(Index)->UseDhcp());
    current.MainComputerAddress = fromService(service.Item(Index)->MainComputerAddress());
}

void FormTCPSettings::checkPassword(std::int16_t& Index) {
    comm::state().CurrentController.PasswordOk = toVBool(comm::Service().Item(Index)->PasswordOk());
}

// The controller that ReadConnectedController has just read into the settings
// record, shown like a chosen controller so that the technician sees what they
// are about to change.
void FormTCPSettings::ShowConnectedController() {
    const comm::SettingsRecord& s = comm::state().Settings;
    const std::int16_t index = comm::FindControllerBySerialNo(s.SerialNo, false);
    if (index != -1 && comm::Service().Item(index)->RequireEncryption() && !comm::Service().Item(index)->PasswordOk()) {
        // Without its password the controller tells only its identity. Shown as
        // its settings, the blanks would be written back by a setup (name,
        // description and main computer wiped), so it is asked for and shown
        // like a chosen controller instead.
        comm::CurrentControllerRecord& current = comm::state().CurrentController;
        current.SerialNo = s.SerialNo;
        current.RequireEncryption = vbTrue;
        current.PasswordOk = vbFalse;
        ShowCurrentController(vbTrue);
        return;
    }
    if (index != -1) {
        // The security dialog starts from these two: they must describe the controller shown.
        comm::CurrentControllerRecord& current = comm::state().CurrentController;
        current.RequireEncryption = toVBool(comm::Service().Item(index)->RequireEncryption());
        current.PasswordOk = toVBool(comm::Service().Item(index)->PasswordOk());
        KeepControllerEncryption(index);
    }
    FillControllerFields(ShownController::from(s));
}

// The settings record's encryption choices follow the controller shown unless
// the technician made them in "Security..." for it (comm/encryption_choice.h).
void FormTCPSettings::KeepControllerEncryption(std::int16_t index) { comm::TakeEncryptionOfShownController(index); }

void FormTCPSettings::FillControllerFields(const ShownController& shown) {
    Ui::FormTCPSettings& u = *ui_;
    u.CtrlCurrentName->setText(shown.Name);
    u.CtrlCurrentSerialNo->setText(shown.SerialNo);
    u.CtrlCurrentEthernet->setText(shown.EthernetAddress);
    u.CtrlCurrentDescription->setText(shown.Description);
    u.tbIP->setText(shown.IpAddress);
    u.tbSub->setText(shown.SubnetMask);
    u.tbGateway->setText(shown.Gateway);
    u.tbDNS->setText(shown.DnsServer);
    u.tbMainCompIP->setText(shown.MainComputerAddress);

    // The DNS name splits at its first dot: host before it, domain after it
    // (further dots stay in the domain). The host and domain handlers then
    // recompute the full name.
    const QString& dnsName = shown.DnsName;
    if (dnsName.isEmpty()) {
        u.tbDNSName->setText(QString());
        u.tbHostName->setText(QString());
        u.tbDomain->setText(QString());
    } else {
        const qsizetype dot = dnsName.indexOf(QLatin1Char('.'));
        u.tbDNSName->setText(dnsName);
        if (dot >= 0) {
            u.tbHostName->setText(dnsName.left(dot));
            u.tbDomain->setText(dnsName.mid(dot + 1));
        } else {
            u.tbHostName->setText(dnsName);
            u.tbDomain->setText(QString());
        }
    }

    if (isTrue(shown.UseDhcp)) {
        setCheckValue(u.rbDHCP, 1);
        setCheckValue(u.rbIP, 0);
    } else {
        setCheckValue(u.rbDHCP, 0);
        setCheckValue(u.rbIP, 1);
    }
}

void FormTCPSettings::ClearControllerFields() {
    Ui::FormTCPSettings& u = *ui_;
    for (QLineEdit* field : {u.CtrlCurrentName, u.CtrlCurrentSerialNo, u.CtrlCurrentEthernet, u.CtrlCurrentDescription,
                             u.tbIP, u.tbSub, u.tbGateway, u.tbDNS, u.tbHostName, u.tbDomain, u.tbDNSName})
        field->setText(QString());
}

}  // namespace zelmar::dialogs
