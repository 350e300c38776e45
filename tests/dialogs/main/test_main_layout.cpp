// The stored layout: every control where the layout puts it, with its kind,
// caption, font role, initial state and keyboard order.
#include "../../platform/ui/dialog_face.h"
#include "main_fixture.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QPalette>
#include <QScopeGuard>

#include "platform/ui/dialog_fonts.h"
#include "platform/ui/window_helpers.h"

namespace zelmar::testing {
namespace {

struct Placed {
    const char* name;
    const char* parent;
    int left, top, width, height;  // twips
};

// Left, top, width, height of every visible control, relative to its parent.
const Placed kLayout[] = {
    {"BackgroundBox", "FormTCPSettings", 90, 150, 7725, 10665},
    {"FrameTCP", "FormTCPSettings", 360, 300, 7215, 8505},
    {"Frame1", "FormTCPSettings", 360, 8940, 7215, 915},
    {"btnSetup", "FormTCPSettings", 360, 10080, 2415, 495},
    {"Security", "FormTCPSettings", 2970, 10080, 1485, 495},
    {"CmdCancel", "FormTCPSettings", 4980, 10080, 1215, 495},
    {"CmdOk", "FormTCPSettings", 6315, 10080, 1245, 495},
    {"rbUseTCP", "FrameTCP", 120, 0, 1935, 195},
    {"Image1", "FrameTCP", 240, 390, 480, 480},
    {"CtrlCurrentSerialNo", "FrameTCP", 2280, 480, 2800, 285},
    {"LabelCurrentSerialNo", "FrameTCP", 705, 540, 1395, 195},
    {"btnSearchTCP", "FrameTCP", 5280, 600, 975, 495},
    {"CtrlCurrentEthernet", "FrameTCP", 2280, 840, 2800, 285},
    {"LabelCurrentEthernet", "FrameTCP", 840, 885, 1260, 195},
    {"LabelControllerName", "FrameTCP", 180, 1410, 5025, 240},
    {"CtrlCurrentName", "FrameTCP", 2280, 1710, 2800, 285},
    {"LabelCurrentName", "FrameTCP", 1635, 1725, 465, 195},
    {"CtrlCurrentDescription", "FrameTCP", 2280, 2070, 4365, 285},
    {"LabelCurrentDescription", "FrameTCP", 1260, 2085, 840, 195},
    {"LabelIPSettings", "FrameTCP", 180, 2610, 5505, 210},
    {"rbDHCP", "FrameTCP", 1260, 2850, 4875, 195},
    {"IconIPsettings", "FrameTCP", 300, 2970, 480, 480},
    {"FrameIPsettings", "FrameTCP", 1110, 3090, 5820, 1875},
    {"rbIP", "FrameTCP", 1260, 3105, 2415, 195},
    {"LabelIPInfo", "FrameTCP", 1140, 5070, 5820, 480},
    {"LabelDNS", "FrameTCP", 180, 5550, 5505, 210},
    {"tbDNSName", "FrameTCP", 3060, 5790, 3555, 285},
    // Wider than the 1140 twips first drawn for it, reaching up to the room
    // before tbDNSName: "Fullständigt DNS-namn:" needs it.
    {"LabelDNSName", "FrameTCP", 1155, 5835, 1860, 195},
    {"IconDomainName", "FrameTCP", 270, 5955, 480, 480},
    {"LabelDNSInfo_0", "FrameTCP", 1155, 6210, 4830, 345},
    {"tbHostName", "FrameTCP", 3060, 6630, 3555, 285},
    {"LabelDNSHostName", "FrameTCP", 1155, 6660, 1170, 225},
    {"tbDomain", "FrameTCP", 3060, 6990, 3555, 285},
    {"LabelDNSDomain", "FrameTCP", 1155, 7065, 1170, 225},
    {"LabelDNSInfo_1", "FrameTCP", 1155, 7440, 5790, 525},
    {"LabelDNSInfo_2", "FrameTCP", 1155, 8085, 5670, 210},
    {"tbIP", "FrameIPsettings", 2670, 360, 2835, 285},
    {"LabelParaIPaddr", "FrameIPsettings", 240, 405, 1575, 225},
    {"tbSub", "FrameIPsettings", 2670, 720, 2835, 285},
    {"LabelParaSubnetMask", "FrameIPsettings", 240, 765, 1575, 225},
    {"tbGateway", "FrameIPsettings", 2670, 1080, 2835, 285},
    {"LabelParaDefGateway", "FrameIPsettings", 225, 1125, 1695, 225},
    {"tbDNS", "FrameIPsettings", 2670, 1440, 2835, 285},
    {"LabelParaDNSServer", "FrameIPsettings", 225, 1485, 1695, 225},
    {"Image2", "Frame1", 270, 270, 480, 480},
    {"LabelMainCompIPaddr", "Frame1", 1140, 390, 1575, 225},
    {"tbMainCompIP", "Frame1", 3780, 360, 2865, 285},
};

struct Caption {
    const char* name;
    const char* text;
};

const Caption kStoredCaptions[] = {
    {"rbUseTCP", "&Connected Controller"},
    {"LabelCurrentSerialNo", "Serial Number:"},
    {"btnSearchTCP", "Search..."},
    {"LabelCurrentEthernet", "Ethernet Address:"},
    {"LabelControllerName", "Controller Name"},
    {"LabelCurrentName", "Name:"},
    {"LabelCurrentDescription", "Description:"},
    {"LabelIPSettings", "IP Settings"},
    {"rbDHCP", "Obtain IP settings &automatically (by DHCP)"},
    {"rbIP", "U&se the following IP settings:"},
    {"LabelIPInfo", "You can get IP settings assigned automatically if the network supports this capability (DHCP). "
                    "Otherwise you have to ask the network administrator for appropriate IP settings."},
    {"LabelDNS", "DNS Name"},
    {"LabelDNSName", "Full DNS Name:"},
    {"LabelDNSInfo_0", "Enter the host name and domain of the controller. Ask the network administrator for the "
                       "appropriate domain."},
    {"LabelDNSHostName", "&Host name:"},
    {"LabelDNSDomain", "&Domain:"},
    {"LabelDNSInfo_1", "If the controller is configured to obtain IP settings automatically (by DHCP), this name will "
                       "be registered in the DNS server. It makes it possible for the main computer to connect to "
                       "this controller using the DNS name as network address."},
    {"LabelDNSInfo_2", "This requires that the DHCP and DNS servers are able to cooperate."},
    {"LabelParaIPaddr", "&IP address:"},
    {"LabelParaSubnetMask", "Sub&net mask:"},
    {"LabelParaDefGateway", "Default &gateway:"},
    {"LabelParaDNSServer", "DNS s&erver address:"},
    {"Frame1", "Main Computer Network Address"},
    {"LabelMainCompIPaddr", "&IP address:"},
    {"btnSetup", "Load TCP/IP Settings"},
    {"Security", "Security..."},
    {"CmdCancel", "Cancel"},
    {"CmdOk", "Close"},
};

using MainLayout = MainDialogTest;

TEST_F(MainLayout, EveryControlSitsWhereTheLayoutPutsIt) {
    auto d = newDialog();
    for (const Placed& p : kLayout) {
        SCOPED_TRACE(p.name);
        QWidget* w = d->control<QWidget>(QString::fromLatin1(p.name));
        ASSERT_NE(w->parentWidget(), nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(p.parent));
        EXPECT_EQ(w->geometry(), QRect(ui::twipsToPixels(p.left), ui::twipsToPixels(p.top), ui::twipsToPixels(p.width),
                                       ui::twipsToPixels(p.height)));
    }
    // Client area 7920 x 10965 twips, white, fixed.
    EXPECT_EQ(d->size(), QSize(ui::twipsToPixels(7920), ui::twipsToPixels(10965)));
    EXPECT_EQ(d->minimumSize(), d->maximumSize());
    EXPECT_EQ(d->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_FALSE(d->windowIcon().isNull());
    // The background panel lies behind everything else.
    QWidget* background = d->control<QWidget>(QStringLiteral("BackgroundBox"));
    QWidget* first = nullptr;
    for (QObject* child : d->children())
        if ((first = qobject_cast<QWidget*>(child)))
            break;
    EXPECT_EQ(first, background);
}

TEST_F(MainLayout, StoredCaptionsKindsAndInitialStates) {
    auto d = newDialog();
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Zelmar TCP/IP Settings Tool"));
    for (const Caption& c : kStoredCaptions) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(captionOf(d->control<QWidget>(QString::fromLatin1(c.name))), QString::fromUtf8(c.text));
    }
    // The option button is alone and code can deselect it; the two address modes are check boxes.
    EXPECT_TRUE(useTcp(*d)->isChecked());
    EXPECT_FALSE(useTcp(*d)->autoExclusive());
    EXPECT_EQ(check(*d, "rbDHCP")->checkState(), Qt::Unchecked);
    EXPECT_EQ(check(*d, "rbIP")->checkState(), Qt::Unchecked);
    EXPECT_TRUE(button(*d, "CmdOk")->isDefault());
    for (const char* name : {"btnSetup", "Security", "CmdCancel", "btnSearchTCP"})
        EXPECT_FALSE(button(*d, name)->isDefault()) << name;
    // Every text box starts empty; the display boxes are read-only, borderless, on the button face.
    for (QLineEdit* e : d->findChildren<QLineEdit*>())
        EXPECT_TRUE(e->text().isEmpty()) << e->objectName().toStdString();
    for (const char* name : {"CtrlCurrentSerialNo", "CtrlCurrentEthernet", "tbDNSName"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(edit(*d, name)->isReadOnly());
        EXPECT_FALSE(edit(*d, name)->hasFrame());
        EXPECT_TRUE(edit(*d, name)->styleSheet().contains(QStringLiteral("palette(button)")));
    }
    for (const char* name : {"CtrlCurrentName", "CtrlCurrentDescription", "tbIP", "tbSub", "tbGateway", "tbDNS",
                             "tbHostName", "tbDomain", "tbMainCompIP"})
        EXPECT_FALSE(edit(*d, name)->isReadOnly()) << name;
    // Visible and enabled, except Cancel and the two hidden groups.
    d->show();
    EXPECT_FALSE(button(*d, "CmdCancel")->isVisible());
    for (const Placed& p : kLayout) {
        if (QLatin1String(p.name) == QLatin1String("CmdCancel"))
            continue;
        QWidget* w = d->control<QWidget>(QString::fromLatin1(p.name));
        EXPECT_TRUE(w->isVisible()) << p.name;
        EXPECT_TRUE(w->isEnabled()) << p.name;
    }
}

TEST_F(MainLayout, HiddenWebLoginAndMailGroupsExistAndStayHidden) {
    auto d = newDialog();
    d->show();
    QList<QWidget*> hidden = {d->LabelLoginPasswords(0), d->LabelLoginPasswords(1), d->LabelLoginPasswords(2),
                              d->CtrlWebUserPass(1), d->CtrlWebUserPass(2), d->LabelUserLogin(2),
                              d->LabelMailServer(0), d->LabelMailServer(1), d->LabelMailSenderAddress(0),
                              d->LabelMailSenderAddress(1), d->LabelMailSenderAddress(2)};
    for (const char* name : {"Image5", "Image6", "Image7", "LabelMailServerAddress", "LabelMailServerLoginName",
                             "LabelMailServerLoginPassword", "CtrlEmailServerAddress", "CtrlEmailLoginName",
                             "CtrlEmailLoginPass", "CtrlEmailSenderAddress"})
        hidden << d->control<QWidget>(QString::fromLatin1(name));
    for (QWidget* w : hidden) {
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_FALSE(w->isVisible());
        EXPECT_EQ(w->parentWidget()->objectName(), QStringLiteral("FrameTCP"));
        EXPECT_GE(w->x(), ui::twipsToPixels(7170));  // right of the frame's visible width
    }
    EXPECT_FALSE(d->CtrlWebUserPass(1)->isEnabled());
    EXPECT_FALSE(d->CtrlWebUserPass(2)->isEnabled());
    EXPECT_EQ(d->LabelLoginPasswords(0)->text(), QStringLiteral("Web User Login Passwords:"));
    EXPECT_EQ(d->LabelLoginPasswords(1)->text(), QStringLiteral("&Guest:"));
    EXPECT_EQ(d->LabelLoginPasswords(2)->text(), QStringLiteral("&Operator:"));
    // Control arrays have only the elements the layout defines.
    EXPECT_THROW(d->LabelDNSInfo(3), std::out_of_range);
    EXPECT_THROW(d->CtrlWebUserPass(0), std::out_of_range);
}

TEST_F(MainLayout, FontRoles) {
    auto d = newDialog();
    const QFont dialogFont = d->font();
    for (const char* name : {"LabelControllerName", "LabelIPSettings", "LabelDNS"}) {
        EXPECT_TRUE(label(*d, name)->font().bold()) << name;
        EXPECT_EQ(label(*d, name)->font().pointSizeF(), dialogFont.pointSizeF()) << name;
    }
    for (QLabel* small : {label(*d, "LabelIPInfo"), d->LabelDNSInfo(0), d->LabelDNSInfo(1), d->LabelDNSInfo(2),
                          d->LabelUserLogin(2)}) {
        SCOPED_TRACE(small->objectName().toStdString());
        EXPECT_LT(small->font().pointSizeF(), dialogFont.pointSizeF());
        EXPECT_FALSE(small->font().bold());
        EXPECT_TRUE(small->wordWrap());
    }
    for (const char* name : {"LabelCurrentName", "LabelParaIPaddr", "LabelDNSHostName"})
        EXPECT_FALSE(label(*d, name)->font().bold()) << name;
    EXPECT_FALSE(useTcp(*d)->font().bold());
}

TEST_F(MainLayout, KeyboardOrderOfTheVisibleControls) {
    auto d = newDialog();
    showActive(*d);
    const QStringList expected = {"CtrlCurrentName", "CtrlCurrentDescription", "tbIP", "tbSub", "tbGateway",
                                  "tbDNS", "tbHostName", "tbDomain", "btnSetup", "CmdOk", "tbDNSName",
                                  "CtrlCurrentEthernet", "CtrlCurrentSerialNo", "rbUseTCP", "btnSearchTCP",
                                  "Security", "rbIP", "rbDHCP", "tbMainCompIP"};
    edit(*d, "CtrlCurrentName")->setFocus(Qt::TabFocusReason);
    QStringList visited;
    for (int i = 0; i < expected.size(); ++i) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(visited, expected);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("CtrlCurrentName"));  // and round again
}

// Which captions are measured: all, or only those on one line (not the
// explanations that wrap).
enum class Captions { All, OneLine };

// Whether the caption of a visible control fits its stored size in its font.
QStringList clippedCaptions(FormTCPSettings& d, Captions which = Captions::All) {
    QStringList clipped;
    d.show();
    for (QWidget* w : d.findChildren<QWidget*>()) {
        if (!w->isVisible())
            continue;
        if (auto* l = qobject_cast<QLabel*>(w); l && l->wordWrap() && which == Captions::OneLine)
            continue;
        const QFontMetrics fm(w->font());
        QString caption = captionOf(w);
        caption.remove(QLatin1Char('&'));
        if (caption.isEmpty())
            continue;
        bool fits = true;
        if (auto* l = qobject_cast<QLabel*>(w)) {
            fits = l->wordWrap() ? l->heightForWidth(l->width()) <= l->height()
                                 : fm.horizontalAdvance(caption) <= l->width() && fm.height() <= l->height() + 1;
        } else if (auto* b = qobject_cast<QPushButton*>(w)) {
            fits = fm.horizontalAdvance(caption) + 8 <= b->width();
        } else if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) {
            // Box and gap take about 20 pixels (the 300 twips that SetLanguage adds).
            fits = fm.horizontalAdvance(caption) + 19 <= w->width();
        } else if (qobject_cast<QGroupBox*>(w)) {
            fits = fm.horizontalAdvance(caption) + 16 <= w->width();
        }
        if (!fits)
            clipped << w->objectName() + QStringLiteral(": ") + caption;
    }
    return clipped;
}

// In a face wider than the layout's the labels grow toward the side their
// alignment leaves free: "Ethernet Address:" to the left, keeping its right
// edge beside its field. (The explanations that wrap would need a line more
// than the stored layout has room for in such a face.)
TEST_F(MainLayout, InAWideFaceTheLabelsGrowAndNoCaptionIsClipped) {
    ui::setDialogFaceForTests(kWideFace);
    const auto usualFaces = qScopeGuard([] { ui::setDialogFaceForTests({}); });
    for (const char* lang : {"en", "sv"}) {
        qputenv("ZELMAR_LANG", lang);
        auto d = newDialog();
        if (QFontInfo(d->font()).family() != kWideFace)
            GTEST_SKIP() << kWideFace.toStdString() << " is not installed here";
        d->SetLanguage();
        EXPECT_EQ(clippedCaptions(*d, Captions::OneLine), QStringList()) << lang;
        const QLabel* ethernet = label(*d, "LabelCurrentEthernet");
        EXPECT_GT(ethernet->width(), ui::twipsToPixels(1260)) << "the face is wider than the layout's";
        EXPECT_EQ(ethernet->geometry().right(), ui::twipsToPixels(840) + ui::twipsToPixels(1260) - 1);
    }
}

TEST_F(MainLayout, NoCaptionIsClippedInEnglishOrSwedish) {
    if (zelmar::testing::installedDialogFace().isEmpty())
        GTEST_SKIP() << "the dialogs take no face here that the layouts were made for";
    auto stored = newDialog();
    EXPECT_EQ(clippedCaptions(*stored), QStringList()) << "stored captions";
    for (const char* lang : {"en", "sv"}) {
        qputenv("ZELMAR_LANG", lang);
        auto d = newDialog();
        d->SetLanguage();
        EXPECT_EQ(clippedCaptions(*d), QStringList()) << lang;
    }
}

}  // namespace
}  // namespace zelmar::testing
