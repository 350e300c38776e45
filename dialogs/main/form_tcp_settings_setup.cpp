// The setup command: the dialog's fields go into the settings record and from
// there, after the network password is settled, into the controller.
#include <QGuiApplication>
#include <QScopeGuard>

#include "comm/com_sub.h"
#include "comm/network_password.h"
#include "comm/shared_state.h"
#include "dialogs/main/control_values.h"
#include "dialogs/main/form_tcp_settings.h"
#include "platform/ui/window_helpers.h"
#include "support/support.h"
#include "ui_FormTCPSettings.h"

namespace zelmar::dialogs {

namespace {
constexpr std::int32_t kTextSetupDone = 4558;
constexpr std::int32_t kTextSetupFailed = 4559;
}  // namespace

void FormTCPSettings::btnSetup_Click() {
    const ui::MousePointer remembered = ui::mousePointer();
    ui::setMousePointer(ui::MousePointer::Hourglass);
    const auto restorePointer = qScopeGuard([remembered] { ui::setMousePointer(remembered); });
    CollectSettings();
    CmdSetup();
}

void FormTCPSettings::CollectSettings() {
    const Ui::FormTCPSettings& u = *ui_;
    comm::SettingsRecord& s = comm::state().Settings;
    // Texts as they stand, disabled fields included.
    s.UseConnectedController = optionValue(u.rbUseTCP);
    s.Name = u.CtrlCurrentName->text();
    s.SerialNo = u.CtrlCurrentSerialNo->text();
    s.EthernetAddress = u.CtrlCurrentEthernet->text();
    s.Description = u.CtrlCurrentDescription->text();
    s.UseDhcp = toVBool(checkValue(u.rbDHCP) != 0);
    s.IpAddress = u.tbIP->text();
    s.SubnetMask = u.tbSub->text();
    s.Gateway = u.tbGateway->text();
    s.DnsServer = u.tbDNS->text();
    s.DnsName = u.tbDNSName->text();
    s.HostName = u.tbHostName->text();
    s.Domain = u.tbDomain->text();
    s.MainComputerAddress = u.tbMainCompIP->text();
}

void FormTCPSettings::CmdSetup() {
    ui::setMousePointer(ui::MousePointer::Hourglass);
    setEnabled(false);
    // However the command ends, errors included, the window is usable again.
    const auto restore = qScopeGuard([this] {
        ui::setMousePointer(ui::MousePointer::Normal);
        setEnabled(true);
    });

    const QString shownSerialNo = ui_->CtrlCurrentSerialNo->text();
    comm::SharedState& shared = comm::state();
    // A copy: creating the service object on first use resets the settings
    // record, and the lookup must not see its argument change under it.
    const QString serialNo = shared.Settings.SerialNo;
    // Not among the service's entries, or the password prompt cancelled: nothing to set up.
    if (comm::OpenControllerForSetup(serialNo) != comm::Access::Open)
        return;

    if (shared.Settings.SerialNo == shownSerialNo) {
        const comm::WriteOutcome outcome = comm::WriteControllerSettings();
        // After Cancel at the network question nothing was applied: no result to report.
        if (outcome != comm::WriteOutcome::Cancelled) {
            const std::int32_t text = outcome == comm::WriteOutcome::Written ? kTextSetupDone : kTextSetupFailed;
            support::ShowInfoMessage(support::GetText(text) + QLatin1Char(' ') + shared.Settings.Name);
        }
    }
}

}  // namespace zelmar::dialogs
