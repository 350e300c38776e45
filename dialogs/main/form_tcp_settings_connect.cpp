// Getting a controller to work on and showing it: the connected-controller
// option, "Search...", the network-password prompt and the field filling.
#include <QGuiApplication>
#include <QPointer>
#include <QScopeGuard>
#include <memory>

#include "comm/com_sub.h"
#include "comm/controller_records.h"
#include "comm/input/dns_name.h"
#include "comm/encryption_choice.h"
#include "comm/network_password.h"
#include "comm/shared_state.h"
#include "dialogs/main/control_values.h"
#include "dialogs/main/form_tcp_settings.h"
#include "dialogs/search/form_search_tcp.h"
#include "platform/ui/window_helpers.h"
#include "support/support.h"
#include "ui_FormTCPSettings.h"

namespace zelmar::dialogs {

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
    // Asks for the network password while the controller needs one.
    const comm::Access access = comm::OpenCurrentController();
    if (access != comm::Access::Open) {
        ui::setMousePointer(ui::MousePointer::Normal);
        setEnabled(true);
        if (access == comm::Access::Cancelled)
            Show = vbFalse;
    }

    if (!isTrue(Show)) {
        ClearControllerFields();
        return;
    }
    const comm::CurrentControllerRecord& current = comm::state().CurrentController;
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
    comm::CopyControllerEntry(Index, comm::EntryCopy::Settings, comm::state().CurrentController);
}

void FormTCPSettings::checkPassword(std::int16_t& Index) { comm::CopyPasswordOk(Index); }

// The controller that ReadConnectedController has just read into the settings
// record, shown like a chosen controller so that the technician sees what they
// are about to change.
void FormTCPSettings::ShowConnectedController() {
    if (comm::ConnectedControllerNeedsPassword()) {
        ShowCurrentController(vbTrue);
        return;
    }
    FillControllerFields(ShownController::from(comm::state().Settings));
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

    // The host and domain handlers then recompute the full name.
    const comm::DnsNameParts dnsName = comm::SplitDnsName(shown.DnsName);
    u.tbDNSName->setText(shown.DnsName);
    u.tbHostName->setText(dnsName.hostName);
    u.tbDomain->setText(dnsName.domain);

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
