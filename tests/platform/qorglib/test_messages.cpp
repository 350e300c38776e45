#include "platform/qorglib/qorglib.h"
#include "platform/qorglib/user_dialogs.h"
#include "platform/ui/modal_seam.h"
#include "platform/ui/qt_user_dialogs.h"
#include "tests/platform/ui/modal_answerer.h"
#include "tests/platform/ui/strict_seam_test.h"

#include "platform/ui/window_helpers.h"
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <gtest/gtest.h>

using namespace zelmar::ui;
using zelmar::testing::answerNextModal;

namespace {
using SeamMessages = zelmar::testing::StrictSeamTest;

// What a real box looked like when it was answered.
struct SeenBox {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
};

// Looks at the next real message box, then presses `key` on it.
void pressOnNextBox(SeenBox& seen, Qt::Key key) {
    answerNextModal([&seen, key](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        for (QAbstractButton* b : box->buttons())
            seen.buttons << box->standardButton(b);
        if (box->defaultButton())
            seen.defaultButton = box->standardButton(box->defaultButton());
        if (box->escapeButton())
            seen.escapeButton = box->standardButton(box->escapeButton());
        QTest::keyClick(box, key);
    });
}
}  // namespace

TEST_F(SeamMessages, ShowMessageAndAskQuestionGoThroughTheSeam) {
    ModalSeam::pushButton(ButtonOk);
    ModalSeam::pushButton(ButtonYes);
    ShowMessage("Saved.", 2);
    EXPECT_EQ(AskQuestion("Upgrade now?", 0, "", 4), 6);
    ASSERT_EQ(ModalSeam::log().size(), 2);
    EXPECT_EQ(ModalSeam::log()[0].kind, ModalKind::Message);
    EXPECT_EQ(ModalSeam::log()[0].style, 2);
    EXPECT_EQ(ModalSeam::log()[0].text, QStringLiteral("Saved."));
    EXPECT_EQ(ModalSeam::log()[1].kind, ModalKind::Question);
    EXPECT_EQ(ModalSeam::log()[1].style, 4);
    EXPECT_EQ(ModalSeam::log()[1].text, QStringLiteral("Upgrade now?"));
}

TEST_F(SeamMessages, Utf8TextArrivesIntact) {
    ModalSeam::pushButton(ButtonOk);
    ShowMessage("Inställningarna laddades in i styrenheten Källaren", 0);
    EXPECT_EQ(ModalSeam::log().front().text, QStringLiteral("Inställningarna laddades in i styrenheten Källaren"));
}

TEST_F(SeamMessages, WithoutInstalledDialogsNothingWaitsAndQuestionsGetTheirNegativeAnswer) {
    zelmar::qorg::installUserDialogs(nullptr);
    const auto reinstall = qScopeGuard([] { installUserDialogs(); });
    EXPECT_EQ(ShowMessage("To the standard error.", 0), 1);
    EXPECT_EQ(AskQuestion("Write anyway?", 0, "", 257), 2);
    EXPECT_EQ(AskQuestion("Upgrade?", 0, "", 4), 7);
    EXPECT_EQ(AskQuestion("Retry?", 0, "", 2), 3);
    EXPECT_TRUE(ModalSeam::log().isEmpty());  // the seam belongs to the Qt dialogs
    zelmar::qorg::userDialogs().setBusy(true);
    EXPECT_TRUE(zelmar::qorg::userDialogs().busy());
    zelmar::qorg::userDialogs().setBusy(false);
}

TEST(RealMessageBox, ErrorMessageHasOnlyOkCriticalIconAndTheApplicationTitle) {
    ModalSeam::setStrict(false);
    SeenBox seen;
    pressOnNextBox(seen, Qt::Key_Return);
    EXPECT_EQ(ShowMessage("It failed.", 0), 1);
    EXPECT_EQ(seen.text, QStringLiteral("It failed."));
    EXPECT_EQ(seen.title, zelmar::ui::applicationTitle());
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
}

TEST(RealMessageBox, InformationMessageHasTheInformationIcon) {
    ModalSeam::setStrict(false);
    SeenBox seen;
    pressOnNextBox(seen, Qt::Key_Escape);
    ShowMessage("Done.", 2);
    EXPECT_EQ(seen.icon, QMessageBox::Information);
}

TEST(RealMessageBox, OkCancelQuestionDefaultsToCancel) {
    ModalSeam::setStrict(false);
    SeenBox seen;
    pressOnNextBox(seen, Qt::Key_Return);
    EXPECT_EQ(AskQuestion("Write anyway?", 0, "", 257), 2);
    EXPECT_EQ(seen.defaultButton, QMessageBox::Cancel);
    EXPECT_EQ(seen.escapeButton, QMessageBox::Cancel);
    EXPECT_TRUE(seen.buttons.contains(QMessageBox::Ok));
    EXPECT_TRUE(seen.buttons.contains(QMessageBox::Cancel));
    EXPECT_EQ(seen.buttons.size(), 2);
    EXPECT_EQ(seen.title, zelmar::ui::applicationTitle());  // empty title: the application's
}

TEST(RealMessageBox, OkCancelQuestionAnsweredWithOk) {
    ModalSeam::setStrict(false);
    answerNextModal([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(AskQuestion("Write anyway?", 0, "", 257), 1);
}

TEST(RealMessageBox, YesNoQuestionDefaultsToYesAndEscapeIsNo) {
    ModalSeam::setStrict(false);
    SeenBox seen;
    pressOnNextBox(seen, Qt::Key_Return);
    EXPECT_EQ(AskQuestion("Read the controller?", 0, "My Title", 4), 6);
    EXPECT_EQ(seen.title, QStringLiteral("My Title"));
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons.size(), 2);

    SeenBox seen2;
    pressOnNextBox(seen2, Qt::Key_Escape);
    EXPECT_EQ(AskQuestion("Read the controller?", 0, "", 4), 7);
}

TEST(RealMessageBox, ClosingTheWindowCountsAsTheNegativeAnswer) {
    ModalSeam::setStrict(false);
    answerNextModal([](QWidget* modal) { modal->close(); });
    EXPECT_EQ(AskQuestion("Write anyway?", 0, "", 257), 2);
    answerNextModal([](QWidget* modal) { modal->close(); });
    EXPECT_EQ(AskQuestion("Upgrade?", 0, "", 4), 7);
}
