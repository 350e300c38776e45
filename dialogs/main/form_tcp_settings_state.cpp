// Control-state rules of the main dialog: which fields are enabled for the
// chosen address mode, and the two address-mode check boxes kept exclusive.
#include "dialogs/main/control_values.h"
#include "dialogs/main/form_tcp_settings.h"
#include "ui_FormTCPSettings.h"

namespace zelmar::dialogs {

void FormTCPSettings::SetUIState() {
    if (isTrue(LoadingFlg))
        return;
    Ui::FormTCPSettings& u = *ui_;
    UseTCPFlg = optionValue(u.rbUseTCP);

    const bool useTcp = isTrue(UseTCPFlg);
    u.LabelCurrentName->setEnabled(useTcp);
    u.LabelCurrentSerialNo->setEnabled(useTcp);
    u.LabelCurrentEthernet->setEnabled(useTcp);
    u.LabelCurrentDescription->setEnabled(useTcp);

    u.rbUseTCP->setEnabled(true);

    FixedIPFlg = toVBool(checkValue(u.rbIP) != 0);
    const bool fixed = isTrue(FixedIPFlg);
    // The IP group, its explanation included, belongs to fixed settings.
    for (QWidget* w : {static_cast<QWidget*>(u.LabelParaIPaddr), static_cast<QWidget*>(u.tbIP),
                       static_cast<QWidget*>(u.LabelParaSubnetMask), static_cast<QWidget*>(u.tbSub),
                       static_cast<QWidget*>(u.LabelParaDefGateway), static_cast<QWidget*>(u.tbGateway),
                       static_cast<QWidget*>(u.LabelParaDNSServer), static_cast<QWidget*>(u.tbDNS),
                       static_cast<QWidget*>(u.LabelIPInfo)})
        w->setEnabled(fixed);

    // The DNS-name group belongs to automatic (or undecided) settings.
    const bool notFixed = isTrue(static_cast<VBool>(~FixedIPFlg));
    for (QWidget* w : {static_cast<QWidget*>(u.LabelDNS), static_cast<QWidget*>(u.tbHostName),
                       static_cast<QWidget*>(u.tbDomain), static_cast<QWidget*>(u.LabelDNSName),
                       static_cast<QWidget*>(u.tbDNSName), static_cast<QWidget*>(LabelDNSInfo(0)),
                       static_cast<QWidget*>(LabelDNSInfo(1)), static_cast<QWidget*>(LabelDNSInfo(2)),
                       static_cast<QWidget*>(u.LabelDNSHostName), static_cast<QWidget*>(u.LabelDNSDomain)})
        w->setEnabled(notFixed);
}

void FormTCPSettings::rbDHCP_Click() {
    if (checkValue(ui_->rbDHCP) == 1) {
        setCheckValue(ui_->rbIP, 0);
        SetUIState();
    }
}

void FormTCPSettings::rbIP_Click() {
    if (checkValue(ui_->rbIP) == 1) {
        setCheckValue(ui_->rbDHCP, 0);
        SetUIState();
    }
}

}  // namespace zelmar::dialogs
