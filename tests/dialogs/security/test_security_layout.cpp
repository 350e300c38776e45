// The stored layout: positions (twips / 15), keyboard order, the default
// button, the masked password box, headings, pictures, and captions that fit
// their controls in both languages.
#include "../../platform/ui/dialog_face.h"
#include "platform/ui/window_helpers.h"
#include "security_fixture.h"

#include <QFontInfo>
#include <QGroupBox>
#include <QPixmap>
#include <QScopeGuard>
#include <QStyle>

#include "platform/ui/dialog_fonts.h"

namespace zelmar::testing {
namespace {

using dialogs::FormSecurity;
using ui::twipsToPixels;

QRect twips(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

class SecurityLayout : public SecurityDialogTest {};

TEST_F(SecurityLayout, ControlsSitWhereTheStoredLayoutPutsThem) {
    FormSecurity dialog;
    EXPECT_EQ(dialog.size(), QSize(twipsToPixels(6960), twipsToPixels(4185)));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "fixed size";

    auto* frame = control<QGroupBox>(dialog, "Frame1");
    EXPECT_EQ(frame->geometry(), twips(90, 30, 6765, 3405));
    EXPECT_TRUE(frame->title().isEmpty());
    EXPECT_EQ(closeButton(dialog)->parentWidget(), &dialog);
    EXPECT_EQ(closeButton(dialog)->geometry(), twips(5580, 3570, 1245, 495));

    const struct {
        const char* name;
        QRect rect;
    } inFrame[] = {
        {"LabelRequirePassword_0", twips(240, 270, 5505, 240)}, {"Image4", twips(330, 630, 480, 480)},
        {"CtrlEncryptedCom", twips(1245, 675, 4875, 420)},      {"LabelRequirePassword_1", twips(1245, 1170, 4860, 375)},
        {"LabelSystemPassword_0", twips(240, 1650, 5505, 240)}, {"Image3", twips(375, 2055, 480, 480)},
        {"CtrlEncryptedPass", twips(1200, 2100, 4860, 315)},    {"LabelSystemPassword_1", twips(1200, 2595, 4860, 375)},
    };
    for (const auto& c : inFrame) {
        auto* w = control<QWidget>(dialog, c.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget(), frame) << c.name;
        EXPECT_EQ(w->geometry(), c.rect) << c.name;
        EXPECT_TRUE(w->isEnabled()) << c.name;
    }
}

TEST_F(SecurityLayout, KeyboardOrderDefaultButtonAndFirstFocus) {
    FormSecurity dialog;
    QLineEdit* pass = passwordBox(dialog);
    QCheckBox* check = requireBox(dialog);
    QPushButton* ok = closeButton(dialog);

    EXPECT_TRUE(ok->isDefault());
    for (auto* label : dialog.findChildren<QLabel*>())
        EXPECT_EQ(label->focusPolicy(), Qt::NoFocus) << label->objectName().toStdString();

    // The focusable controls in chain order, starting after the password box.
    QList<QWidget*> order;
    for (QWidget* w = pass->nextInFocusChain(); w != pass; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus)
            order << w;
    EXPECT_EQ(order, (QList<QWidget*>{check, ok}));

    showActive(dialog);  // asserts the focus is in the password box
    QTest::keyClick(pass, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), check);
    QTest::keyClick(check, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), ok);
    QTest::keyClick(ok, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), pass);
    EXPECT_TRUE(ModalSeam::log().isEmpty());
}

TEST_F(SecurityLayout, TheFirstShownFocusIsThePasswordBox) {
    FormSecurity dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(QApplication::focusWidget(), passwordBox(dialog));
}

TEST_F(SecurityLayout, PasswordBoxShowsOneStarPerCharacter) {
    FormSecurity dialog;
    showActive(dialog);
    QTest::keyClicks(passwordBox(dialog), QStringLiteral("Se(ret9"));
    EXPECT_EQ(passwordBox(dialog)->text(), QStringLiteral("Se(ret9"));
    EXPECT_EQ(passwordBox(dialog)->displayText(), QString(7, u'*'));
    // Nothing typed is ever shown, not even the last character for a moment.
    EXPECT_FALSE(passwordBox(dialog)->grab().isNull());
    EXPECT_EQ(passwordBox(dialog)->style()->styleHint(QStyle::SH_LineEdit_PasswordMaskDelay, nullptr,
                                                      passwordBox(dialog)),
              0);
}

TEST_F(SecurityLayout, HeadingsBoldExplanationsSmallPicturesPresent) {
    FormSecurity dialog;
    auto* heading0 = control<QLabel>(dialog, "LabelRequirePassword_0");
    auto* heading1 = control<QLabel>(dialog, "LabelSystemPassword_0");
    auto* small0 = control<QLabel>(dialog, "LabelRequirePassword_1");
    auto* small1 = control<QLabel>(dialog, "LabelSystemPassword_1");
    EXPECT_TRUE(heading0->font().bold());
    EXPECT_TRUE(heading1->font().bold());
    // The dialog's face in bold, wherever that face comes from.
    for (const QLabel* heading : {heading0, heading1}) {
        EXPECT_EQ(QFontInfo(heading->font()).family(), QFontInfo(dialog.font()).family());
        EXPECT_EQ(heading->font().pointSizeF(), dialog.font().pointSizeF());
    }
    EXPECT_FALSE(small0->font().bold());
    EXPECT_LT(small0->font().pointSizeF(), dialog.font().pointSizeF());
    EXPECT_EQ(small0->font(), small1->font());
    EXPECT_TRUE(small0->wordWrap());
    EXPECT_TRUE(small1->wordWrap());
    EXPECT_EQ(heading1->buddy(), passwordBox(dialog));

    for (const char* name : {"Image4", "Image3"}) {
        auto* picture = control<QLabel>(dialog, name);
        const QPixmap pixmap = picture->pixmap();
        ASSERT_FALSE(pixmap.isNull()) << name;
        // Drawn, not blank: some pixels are opaque.
        const QImage image = pixmap.toImage();
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                opaque += qAlpha(image.pixel(x, y)) > 128;
        EXPECT_GT(opaque, image.width() * image.height() / 5) << name;
    }
    EXPECT_NE(control<QLabel>(dialog, "Image4")->pixmap().toImage(),
              control<QLabel>(dialog, "Image3")->pixmap().toImage());
}

// Every caption fits its control, in the stored English and in each catalogue
// language; the explanations that wrap too unless `oneLineOnly`.
void expectCaptionsFit(QWidget& dialog, const char* language, bool oneLineOnly = false) {
    for (const char* name : {"LabelRequirePassword_0", "LabelSystemPassword_0"}) {
        auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
        const QFontMetrics fm(label->font());
        QString shown = label->text();
        shown.remove(u'&');
        EXPECT_LE(fm.horizontalAdvance(shown), label->width()) << language << " " << name;
        EXPECT_LE(fm.height(), label->height()) << language << " " << name;
    }
    for (const char* name : {"LabelRequirePassword_1", "LabelSystemPassword_1"}) {
        if (oneLineOnly)
            break;
        auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
        EXPECT_LE(label->heightForWidth(label->width()), label->height()) << language << " " << name;
    }
    auto* check = dialog.findChild<QCheckBox*>(QStringLiteral("CtrlEncryptedCom"));
    EXPECT_LE(check->sizeHint().width(), check->width()) << language;
    EXPECT_LE(check->sizeHint().height(), check->height()) << language;
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("CmdOk"));
    EXPECT_LE(ok->sizeHint().width(), ok->width()) << language;
}

TEST_F(SecurityLayout, InAWideFaceCaptionsAreNotClippedInEitherLanguage) {
    ui::setDialogFaceForTests(kWideFace);
    const auto usualFaces = qScopeGuard([] { ui::setDialogFaceForTests({}); });
    for (const char* language : {"en", "sv"}) {
        qputenv("ZELMAR_LANG", language);
        FormSecurity dialog;
        if (QFontInfo(dialog.font()).family() != kWideFace)
            GTEST_SKIP() << kWideFace.toStdString() << " is not installed here";
        expectCaptionsFit(dialog, language, true);  // the explanations would need a line more
    }
}

TEST_F(SecurityLayout, CaptionsAreNotClippedInEitherLanguage) {
    if (zelmar::testing::installedDialogFace().isEmpty())
        GTEST_SKIP() << "the dialogs take no face here that the layouts were made for";
    for (const char* language : {"en", "sv"}) {
        qputenv("ZELMAR_LANG", language);
        FormSecurity dialog;
        ASSERT_FALSE(requireBox(dialog)->text().isEmpty()) << language;
        expectCaptionsFit(dialog, language);
    }
}

}  // namespace
}  // namespace zelmar::testing
