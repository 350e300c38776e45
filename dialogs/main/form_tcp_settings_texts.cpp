// Translated captions of the main dialog, fetched by text number when it loads.
#include <QCheckBox>

#include "dialogs/main/form_tcp_settings.h"
#include "platform/ui/caption_room.h"
#include "platform/ui/window_helpers.h"
#include "support/support.h"
#include "ui_FormTCPSettings.h"

namespace zelmar::dialogs {

namespace {
// The check box's room for its box and the gap before the caption.
constexpr int kCheckBoxExtraTwips = 300;

void fitCheckBoxToText(QCheckBox* box, const QFont& dialogFont, std::int32_t textNumber) {
    const int widthTwips = ui::textWidthTwips(dialogFont, support::GetText(textNumber)) + kCheckBoxExtraTwips;
    box->resize(ui::twipsToPixels(widthTwips), box->height());
}
}  // namespace

void FormTCPSettings::SetLanguage() {
    using support::GetText;
    Ui::FormTCPSettings& u = *ui_;
    setWindowTitle(GetText(4532));
    u.LabelIPSettings->setText(GetText(4513));
    u.rbDHCP->setText(GetText(4514));
    fitCheckBoxToText(u.rbDHCP, font(), 4514);
    u.rbIP->setText(GetText(4515));
    fitCheckBoxToText(u.rbIP, font(), 4515);
    u.LabelParaIPaddr->setText(GetText(4516));
    u.LabelParaSubnetMask->setText(GetText(4517));
    u.LabelParaDefGateway->setText(GetText(4518));
    u.LabelParaDNSServer->setText(GetText(4527));
    u.LabelIPInfo->setText(GetText(4519));
    u.LabelDNS->setText(GetText(4520));
    u.LabelDNSName->setText(GetText(4521));
    LabelDNSInfo(0)->setText(GetText(4522));
    LabelDNSInfo(1)->setText(GetText(4525));
    LabelDNSInfo(2)->setText(GetText(4526));
    u.LabelDNSHostName->setText(GetText(4523));
    u.LabelDNSDomain->setText(GetText(4524));
    u.btnSetup->setText(GetText(4529));
    u.CmdCancel->setText(GetText(4531));
    ui::growLabelsToTheirCaptions(this);
}

}  // namespace zelmar::dialogs
