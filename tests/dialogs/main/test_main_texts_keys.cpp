// Translated captions, the widened address-mode check boxes, and the keys and
// commands that close the dialog.
#include "main_fixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "platform/ui/window_helpers.h"
#include "tests/platform/ui/modal_answerer.h"

namespace zelmar::testing {
namespace {

struct Translated {
    const char* name;
    int number;
};

const Translated kTranslated[] = {
    {"LabelIPSettings", 4513},     {"rbDHCP", 4514},           {"rbIP", 4515},
    {"LabelParaIPaddr", 4516},     {"LabelParaSubnetMask", 4517}, {"LabelParaDefGateway", 4518},
    {"LabelParaDNSServer", 4527},  {"LabelIPInfo", 4519},      {"LabelDNS", 4520},
    {"LabelDNSName", 4521},        {"LabelDNSInfo_0", 4522},   {"LabelDNSInfo_1", 4525},
    {"LabelDNSInfo_2", 4526},      {"LabelDNSHostName", 4523}, {"LabelDNSDomain", 4524},
    {"btnSetup", 4529},            {"CmdCancel", 4531},
};

// Captions that keep their stored English text in every language.
const std::pair<const char*, const char*> kUntranslated[] = {
    {"rbUseTCP", "&Connected Controller"},   {"btnSearchTCP", "Search..."},
    {"Security", "Security..."},             {"CmdOk", "Close"},
    {"LabelControllerName", "Controller Name"}, {"LabelCurrentName", "Name:"},
    {"LabelCurrentSerialNo", "Serial Number:"}, {"LabelCurrentEthernet", "Ethernet Address:"},
    {"LabelCurrentDescription", "Description:"}, {"Frame1", "Main Computer Network Address"},
    {"LabelMainCompIPaddr", "&IP address:"},
};

int expectedCheckBoxWidth(const FormTCPSettings& d, int number) {
    return ui::twipsToPixels(ui::textWidthTwips(d.font(), support::GetText(number)) + 300);
}

using MainTexts = MainDialogTest;

TEST_F(MainTexts, SetLanguageSetsEveryCaptionByNumberInBothLanguages) {
    for (const char* lang : {"en", "sv"}) {
        SCOPED_TRACE(lang);
        qputenv("ZELMAR_LANG", lang);
        auto d = newDialog();
        const int dhcpHeight = check(*d, "rbDHCP")->height();
        const QPoint dhcpPos = check(*d, "rbDHCP")->pos();
        d->SetLanguage();
        EXPECT_EQ(d->windowTitle(), text(4532));
        for (const Translated& t : kTranslated) {
            EXPECT_FALSE(text(t.number).isEmpty()) << t.number;
            EXPECT_EQ(captionOf(d->control<QWidget>(QString::fromLatin1(t.name))), text(t.number)) << t.name;
        }
        for (const auto& [name, stored] : kUntranslated)
            EXPECT_EQ(captionOf(d->control<QWidget>(QString::fromLatin1(name))), QString::fromUtf8(stored)) << name;
        // The check boxes are as wide as their text plus 300 twips; nothing else moves.
        EXPECT_EQ(check(*d, "rbDHCP")->width(), expectedCheckBoxWidth(*d, 4514));
        EXPECT_EQ(check(*d, "rbIP")->width(), expectedCheckBoxWidth(*d, 4515));
        EXPECT_EQ(check(*d, "rbDHCP")->height(), dhcpHeight);
        EXPECT_EQ(check(*d, "rbDHCP")->pos(), dhcpPos);
        EXPECT_EQ(label(*d, "LabelDNSName")->width(), ui::twipsToPixels(1860));
    }
    qputenv("ZELMAR_LANG", "sv");
    EXPECT_NE(text(4532), QStringLiteral("Zelmar TCP/IP Settings Tool"));  // the languages really differ
}

TEST_F(MainTexts, LongAndEmptyTextsSetTheCheckBoxWidthAsTheyAre) {
    QTemporaryDir prod;
    ASSERT_TRUE(QDir(prod.path()).mkpath(QStringLiteral("Texts")));
    QFile file(prod.filePath(QStringLiteral("Texts/Zelmar TCP IP Settings Tool.en.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QString longText = QStringLiteral("Obtain IP settings automatically by DHCP, a very long wording that is far "
                                            "wider than the frame around it");
    file.write(QStringLiteral("4514\t%1\n4532\tTitle\n").arg(longText).toUtf8());
    file.close();
    const QByteArray savedProd = qgetenv("ZELMAR_PROD_DIR");
    const bool hadProd = qEnvironmentVariableIsSet("ZELMAR_PROD_DIR");
    qputenv("ZELMAR_PROD_DIR", QFile::encodeName(prod.path()));

    auto d = newDialog();
    d->SetLanguage();
    EXPECT_EQ(check(*d, "rbDHCP")->text(), longText);
    EXPECT_EQ(check(*d, "rbDHCP")->width(), expectedCheckBoxWidth(*d, 4514));
    EXPECT_GT(check(*d, "rbDHCP")->geometry().right(), control<QGroupBox>(*d, "FrameTCP")->width());
    // A number the file lacks gives an empty caption and a width of 300 twips.
    EXPECT_TRUE(check(*d, "rbIP")->text().isEmpty());
    EXPECT_EQ(check(*d, "rbIP")->width(), ui::twipsToPixels(300));
    EXPECT_TRUE(label(*d, "LabelDNS")->text().isEmpty());
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Title"));

    if (hadProd)
        qputenv("ZELMAR_PROD_DIR", savedProd);
    else
        qunsetenv("ZELMAR_PROD_DIR");
}

using MainKeys = MainDialogTest;

TEST_F(MainKeys, EnterInATextFieldPressesClose) {
    auto d = newDialog();
    showActive(*d);
    int closes = 0;
    QObject::connect(button(*d, "CmdOk"), &QPushButton::clicked, [&] { ++closes; });
    QLineEdit* field = edit(*d, "tbIP");
    field->setFocus(Qt::OtherFocusReason);
    field->setText(QStringLiteral("127.0.0.5"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(d->isVisible());
    EXPECT_TRUE(ModalSeam::log().isEmpty());  // nothing written, nothing asked
}

TEST_F(MainKeys, EnterOnACheckBoxPressesCloseButOnAnotherButtonPressesThat) {
    auto d = newDialog();
    showActive(*d);
    int closes = 0;
    QObject::connect(button(*d, "CmdOk"), &QPushButton::clicked, [&] { ++closes; });
    check(*d, "rbIP")->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(check(*d, "rbIP"), Qt::Key_Enter);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(d->isVisible());

    // With the focus on "Security..." Enter presses that button (it opens the
    // encryption dialog, closed here with its close control), not Close.
    showActive(*d);
    closes = 0;
    QString opened;
    answerNextModal([&](QWidget* modal) {
        opened = modal->objectName();
        modal->close();
    });
    button(*d, "Security")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(button(*d, "Security"), Qt::Key_Return);
    EXPECT_EQ(opened, QStringLiteral("FormSecurity"));
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(d->isVisible());
}

TEST_F(MainKeys, EscapeDoesNothingTheCloseControlCloses) {
    auto d = newDialog();
    showActive(*d);
    edit(*d, "CtrlCurrentName")->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(edit(*d, "CtrlCurrentName"), Qt::Key_Escape);
    QTest::keyClick(d.get(), Qt::Key_Escape);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->result(), 0);
    EXPECT_TRUE(d->close());
    EXPECT_FALSE(d->isVisible());
}

TEST_F(MainKeys, CancelClearsTheResultOfShowDlg) {
    auto owner = std::make_unique<QWidget>();
    owner->show();
    auto* d = new FormTCPSettings;
    d->DlgOkFlg = vbTrue;
    QTimer::singleShot(0, d, [d] { button(*d, "CmdCancel")->click(); });
    EXPECT_EQ(d->ShowDlg(owner.get()), vbFalse);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->parentWidget(), owner.get());
    // Close leaves the flag as it is.
    d->DlgOkFlg = vbTrue;
    QTimer::singleShot(0, d, [d] { button(*d, "CmdOk")->click(); });
    EXPECT_EQ(d->ShowDlg(owner.get()), vbTrue);
    // owner deletes the dialog
}

}  // namespace
}  // namespace zelmar::testing
