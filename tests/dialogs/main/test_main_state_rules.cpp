// The control-state rules: which fields are enabled for the chosen address
// mode, and the two address-mode check boxes kept exclusive.
#include "main_fixture.h"

namespace zelmar::testing {
namespace {

const char* const kIpGroup[] = {"LabelParaIPaddr", "tbIP",  "LabelParaSubnetMask", "tbSub", "LabelParaDefGateway",
                                "tbGateway",       "LabelParaDNSServer", "tbDNS", "LabelIPInfo"};
const char* const kDnsGroup[] = {"LabelDNS",       "tbHostName",     "tbDomain",       "LabelDNSName",
                                 "tbDNSName",      "LabelDNSInfo_0", "LabelDNSInfo_1", "LabelDNSInfo_2",
                                 "LabelDNSHostName", "LabelDNSDomain"};
const char* const kControllerLabels[] = {"LabelCurrentName", "LabelCurrentSerialNo", "LabelCurrentEthernet",
                                         "LabelCurrentDescription"};
const char* const kNeverTouched[] = {"CtrlCurrentName", "CtrlCurrentSerialNo", "CtrlCurrentEthernet",
                                     "CtrlCurrentDescription", "rbDHCP", "rbIP", "tbMainCompIP", "btnSetup",
                                     "Security", "CmdOk", "btnSearchTCP", "CmdCancel"};

class MainStateRules : public MainDialogTest {
protected:
    static void expectGroups(const FormTCPSettings& d, bool ipEnabled) {
        for (const char* name : kIpGroup)
            EXPECT_EQ(d.control<QWidget>(QString::fromLatin1(name))->isEnabled(), ipEnabled) << name;
        for (const char* name : kDnsGroup)
            EXPECT_EQ(d.control<QWidget>(QString::fromLatin1(name))->isEnabled(), !ipEnabled) << name;
    }
};

TEST_F(MainStateRules, AutomaticFixedAndUndecided) {
    auto d = newDialog();
    // Undecided: both unchecked, the DNS-name group applies.
    d->SetUIState();
    EXPECT_EQ(d->FixedIPFlg, vbFalse);
    EXPECT_EQ(d->UseTCPFlg, vbTrue);
    expectGroups(*d, false);

    // Fixed: checking rbIP runs its handler, which applies the rules.
    check(*d, "rbIP")->setChecked(true);
    EXPECT_EQ(d->FixedIPFlg, vbTrue);
    EXPECT_EQ(check(*d, "rbDHCP")->checkState(), Qt::Unchecked);
    expectGroups(*d, true);

    // Automatic: checking rbDHCP unchecks rbIP and switches the groups.
    check(*d, "rbDHCP")->setChecked(true);
    EXPECT_EQ(check(*d, "rbIP")->checkState(), Qt::Unchecked);
    EXPECT_EQ(d->FixedIPFlg, vbFalse);
    expectGroups(*d, false);
    for (const char* name : {"tbIP", "tbSub", "tbGateway", "tbDNS"})
        EXPECT_FALSE(edit(*d, name)->isEnabled()) << name;
    for (const char* name : {"tbHostName", "tbDomain", "tbDNSName"})
        EXPECT_TRUE(edit(*d, name)->isEnabled()) << name;
}

TEST_F(MainStateRules, ClickingTheCheckedBoxUnchecksItWithoutApplyingTheRules) {
    auto d = newDialog();
    d->show();
    QTest::mouseClick(check(*d, "rbIP"), Qt::LeftButton, {}, QPoint(6, 6));
    ASSERT_EQ(check(*d, "rbIP")->checkState(), Qt::Checked);
    expectGroups(*d, true);
    // A second click unchecks it; rbDHCP stays unchecked and the IP fields stay enabled.
    QTest::mouseClick(check(*d, "rbIP"), Qt::LeftButton, {}, QPoint(6, 6));
    EXPECT_EQ(check(*d, "rbIP")->checkState(), Qt::Unchecked);
    EXPECT_EQ(check(*d, "rbDHCP")->checkState(), Qt::Unchecked);
    EXPECT_EQ(d->FixedIPFlg, vbTrue);
    expectGroups(*d, true);
    // The next effective SetUIState applies the undecided state.
    d->SetUIState();
    expectGroups(*d, false);
}

TEST_F(MainStateRules, ControllerLabelsFollowTheConnectedOptionOthersAreNeverTouched) {
    auto d = newDialog();
    useTcp(*d)->setChecked(false);  // deselecting runs no handler
    d->SetUIState();
    EXPECT_EQ(d->UseTCPFlg, vbFalse);
    for (const char* name : kControllerLabels)
        EXPECT_FALSE(label(*d, name)->isEnabled()) << name;
    EXPECT_TRUE(useTcp(*d)->isEnabled());
    for (const char* name : kNeverTouched)
        EXPECT_TRUE(d->control<QWidget>(QString::fromLatin1(name))->isEnabled()) << name;

    // Stored disabled states of untouched controls stay as they are.
    edit(*d, "tbMainCompIP")->setEnabled(false);
    useTcp(*d)->setEnabled(false);
    d->SetUIState();
    EXPECT_FALSE(edit(*d, "tbMainCompIP")->isEnabled());
    EXPECT_TRUE(useTcp(*d)->isEnabled());  // rule 2: always enabled
}

TEST_F(MainStateRules, DisabledFieldsKeepTheirText) {
    auto d = newDialog();
    check(*d, "rbIP")->setChecked(true);
    edit(*d, "tbIP")->setText(QStringLiteral("127.0.0.9"));
    edit(*d, "tbHostName")->setText(QStringLiteral("ctrl"));
    check(*d, "rbDHCP")->setChecked(true);
    EXPECT_FALSE(edit(*d, "tbIP")->isEnabled());
    EXPECT_EQ(edit(*d, "tbIP")->text(), QStringLiteral("127.0.0.9"));
    check(*d, "rbIP")->setChecked(true);
    EXPECT_FALSE(edit(*d, "tbHostName")->isEnabled());
    EXPECT_EQ(edit(*d, "tbHostName")->text(), QStringLiteral("ctrl"));
    EXPECT_EQ(edit(*d, "tbDNSName")->text(), QStringLiteral("ctrl"));
}

TEST_F(MainStateRules, NothingChangesWhileLoading) {
    auto d = newDialog();
    d->LoadingFlg = vbTrue;
    check(*d, "rbIP")->setChecked(true);  // its handler calls SetUIState
    d->SetUIState();
    EXPECT_EQ(d->FixedIPFlg, vbFalse);
    EXPECT_EQ(d->UseTCPFlg, vbFalse);
    for (const char* name : kIpGroup)
        EXPECT_TRUE(d->control<QWidget>(QString::fromLatin1(name))->isEnabled()) << name;
    for (const char* name : kDnsGroup)
        EXPECT_TRUE(d->control<QWidget>(QString::fromLatin1(name))->isEnabled()) << name;
    // The first effective call applies the rules to what the boxes then show.
    d->LoadingFlg = vbFalse;
    d->SetUIState();
    expectGroups(*d, true);
}

TEST_F(MainStateRules, TheTwoBoxesNeverCallEachOtherBackAndForth) {
    auto d = newDialog();
    int dhcpChanges = 0;
    int ipChanges = 0;
    QObject::connect(check(*d, "rbDHCP"), &QCheckBox::stateChanged, [&] { ++dhcpChanges; });
    QObject::connect(check(*d, "rbIP"), &QCheckBox::stateChanged, [&] { ++ipChanges; });
    check(*d, "rbDHCP")->setChecked(true);
    check(*d, "rbIP")->setChecked(true);
    check(*d, "rbDHCP")->setChecked(true);
    EXPECT_EQ(dhcpChanges, 3);  // on, off (by rbIP), on
    EXPECT_EQ(ipChanges, 2);    // on, off (by rbDHCP)
    EXPECT_EQ(check(*d, "rbIP")->checkState(), Qt::Unchecked);
    EXPECT_EQ(check(*d, "rbDHCP")->checkState(), Qt::Checked);
}

}  // namespace
}  // namespace zelmar::testing
