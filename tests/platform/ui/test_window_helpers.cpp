#include "platform/ui/modal_seam.h"
#include "platform/ui/window_helpers.h"
#include "tests/platform/ui/modal_answerer.h"
#include "tests/platform/ui/strict_seam_test.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using namespace zelmar::ui;

namespace {
int overrideDepth() {
    // Unwinds a copy of the stack's depth by popping and pushing back.
    QList<QCursor> popped;
    while (QGuiApplication::overrideCursor()) {
        popped.prepend(*QGuiApplication::overrideCursor());
        QGuiApplication::restoreOverrideCursor();
    }
    for (const QCursor& c : popped)
        QGuiApplication::setOverrideCursor(c);
    return int(popped.size());
}

using SeamReset = zelmar::testing::StrictSeamTest;
}  // namespace

TEST(MousePointer, BehavesLikeOneValue) {
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(mousePointer(), MousePointer::Normal);

    setMousePointer(MousePointer::Hourglass);
    setMousePointer(MousePointer::Hourglass);
    EXPECT_EQ(mousePointer(), MousePointer::Hourglass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_EQ(overrideDepth(), 1);

    setMousePointer(MousePointer::Normal);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(mousePointer(), MousePointer::Normal);

    // Normal when already normal changes nothing.
    setMousePointer(MousePointer::Normal);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(MousePointer, RememberedValuePutBackRestoresIt) {
    const MousePointer remembered = mousePointer();
    setMousePointer(MousePointer::Hourglass);
    setMousePointer(remembered);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    setMousePointer(MousePointer::Hourglass);
    const MousePointer remembered2 = mousePointer();
    setMousePointer(MousePointer::Hourglass);  // a nested long operation
    setMousePointer(remembered2);              // it puts back what it found
    EXPECT_EQ(mousePointer(), MousePointer::Hourglass);
    setMousePointer(MousePointer::Normal);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(MousePointer, LeavesAnotherOverrideCursorAlone) {
    QGuiApplication::setOverrideCursor(QCursor(Qt::CrossCursor));
    setMousePointer(MousePointer::Hourglass);
    setMousePointer(MousePointer::Normal);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QGuiApplication::restoreOverrideCursor();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(MousePointer, RecoversWhenSomeoneElseEmptiedTheStack) {
    setMousePointer(MousePointer::Hourglass);
    QGuiApplication::restoreOverrideCursor();  // not through us
    setMousePointer(MousePointer::Hourglass);
    EXPECT_EQ(overrideDepth(), 1);
    setMousePointer(MousePointer::Normal);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(TextWidth, IgnoresMnemonicMarkers) {
    QFont font(QStringLiteral("DejaVu Sans"), 9);
    const QFontMetrics fm(font);
    EXPECT_EQ(textWidthTwips(font, QStringLiteral("Find more...")),
              fm.horizontalAdvance(QStringLiteral("Find more...")) * kTwipsPerPixel);
    EXPECT_EQ(textWidthTwips(font, QStringLiteral("&Find more...")), textWidthTwips(font, QStringLiteral("Find more...")));
    EXPECT_EQ(textWidthTwips(font, QStringLiteral("U&se the following IP settings:")),
              fm.horizontalAdvance(QStringLiteral("Use the following IP settings:")) * kTwipsPerPixel);
    // "&&" is a literal ampersand.
    EXPECT_EQ(textWidthTwips(font, QStringLiteral("A&&B")), fm.horizontalAdvance(QStringLiteral("A&B")) * kTwipsPerPixel);
    EXPECT_GT(textWidthTwips(font, QStringLiteral("A&&B")), textWidthTwips(font, QStringLiteral("AB")));
    EXPECT_EQ(textWidthTwips(font, QString()), 0);
}

TEST(Twips, ConvertAt15TwipsAPixel) {
    EXPECT_EQ(pixelsToTwips(10), 150);
    EXPECT_EQ(twipsToPixels(150), 10);
    EXPECT_EQ(twipsToPixels(300), 20);
    EXPECT_EQ(twipsToPixels(7), 0);
    EXPECT_EQ(twipsToPixels(8), 1);
}

TEST(DoEvents, RunsPendingEvents) {
    bool ran = false;
    QMetaObject::invokeMethod(qApp, [&ran] { ran = true; }, Qt::QueuedConnection);
    EXPECT_FALSE(ran);
    doEvents();
    EXPECT_TRUE(ran);
}

using InputBoxSeam = SeamReset;

TEST_F(InputBoxSeam, TakesTheQueuedTextAndLogsTheRequest) {
    ModalSeam::pushInput(QStringLiteral("127.0.0.5/255.0.0.0"));
    EXPECT_EQ(inputBox(QStringLiteral("Address:"), QStringLiteral("Find More")), QStringLiteral("127.0.0.5/255.0.0.0"));
    ASSERT_EQ(ModalSeam::log().size(), 1);
    const ModalRequest& r = ModalSeam::log().front();
    EXPECT_EQ(r.kind, ModalKind::InputBox);
    EXPECT_EQ(r.text, QStringLiteral("Address:"));
    EXPECT_EQ(r.title, QStringLiteral("Find More"));
    EXPECT_FALSE(r.hideInput);
}

TEST_F(InputBoxSeam, CancelGivesEmptyTextAndHideInputIsLogged) {
    ModalSeam::pushAnswer({ButtonCancel, QStringLiteral("ignored")});
    EXPECT_TRUE(inputBox(QStringLiteral("Password:"), {}, {}, true).isEmpty());
    ASSERT_EQ(ModalSeam::log().size(), 1);
    EXPECT_TRUE(ModalSeam::log().front().hideInput);
}

TEST_F(InputBoxSeam, StrictModeWithoutAnswerThrows) {
    EXPECT_THROW(inputBox(QStringLiteral("Anything?")), std::logic_error);
}

TEST(InputBoxReal, TypedTextIsReturnedAndCaptionIsTheApplicationTitle) {
    ModalSeam::setStrict(false);
    QString caption;
    QString label;
    QLineEdit::EchoMode echo = QLineEdit::NoEcho;
    zelmar::testing::answerNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        caption = dialog->windowTitle();
        label = dialog->labelText();
        auto* edit = dialog->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        echo = edit->echoMode();
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("127.0.0.9"));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    const QString typed = inputBox(QStringLiteral("Enter an address"), {}, QStringLiteral("old"));
    EXPECT_EQ(typed, QStringLiteral("127.0.0.9"));
    EXPECT_EQ(caption, zelmar::ui::applicationTitle());
    EXPECT_EQ(label, QStringLiteral("Enter an address"));
    EXPECT_EQ(echo, QLineEdit::Normal);
}

TEST(InputBoxReal, HideInputMasksAndEscapeCancels) {
    ModalSeam::setStrict(false);
    QString caption;
    QLineEdit::EchoMode echo = QLineEdit::Normal;
    zelmar::testing::answerNextModal([&](QWidget* modal) {
        caption = modal->windowTitle();
        auto* edit = modal->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        echo = edit->echoMode();
        QTest::keyClicks(edit, QStringLiteral("secret"));
        QTest::keyClick(edit, Qt::Key_Escape);
    });
    EXPECT_TRUE(inputBox(QStringLiteral("Password:"), QStringLiteral("Network Password"), {}, true).isEmpty());
    EXPECT_EQ(echo, QLineEdit::Password);
    EXPECT_EQ(caption, QStringLiteral("Network Password"));
}
