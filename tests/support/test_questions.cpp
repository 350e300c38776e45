#include "platform/ui/modal_seam.h"
#include "support/support.h"
#include "tests/platform/ui/env_guard.h"
#include "tests/platform/ui/modal_answerer.h"
#include "tests/platform/ui/strict_seam_test.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace zelmar::support;
using namespace zelmar::ui;
using zelmar::testing::answerNextModal;

namespace {
using SeamQuestions = zelmar::testing::StrictSeamTest;

void pressOnNextBox(Qt::Key key) {
    answerNextModal([key](QWidget* modal) { QTest::keyClick(modal, key); });
}

void clickOnNextBox(QMessageBox::StandardButton button) {
    answerNextModal([button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        QTest::mouseClick(box->button(button), Qt::LeftButton);
    });
}
}  // namespace

TEST_F(SeamQuestions, MessagesUseKindZeroForErrorsAndTwoForResults) {
    ModalSeam::pushButton(ButtonOk);
    ModalSeam::pushButton(ButtonOk);
    ShowErrorMessage(QStringLiteral("127.0.0.300 is not a valid IP address!"));
    ShowInfoMessage(QStringLiteral("Inställningarna laddades in i styrenheten Kök"));
    ASSERT_EQ(ModalSeam::log().size(), 2);
    EXPECT_EQ(ModalSeam::log()[0].kind, ModalKind::Message);
    EXPECT_EQ(ModalSeam::log()[0].style, 0);
    EXPECT_EQ(ModalSeam::log()[1].style, 2);
    EXPECT_EQ(ModalSeam::log()[1].text, QStringLiteral("Inställningarna laddades in i styrenheten Kök"));
}

TEST_F(SeamQuestions, AskOkCancelIsTrueOnlyForOk) {
    for (int button : {1, 2, 6, 7, 0, -1})
        ModalSeam::pushButton(button);
    EXPECT_TRUE(AskOkCancel(QStringLiteral("q")));
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(AskOkCancel(QStringLiteral("q")));
    const ModalRequest& r = ModalSeam::log().front();
    EXPECT_EQ(r.kind, ModalKind::Question);
    EXPECT_EQ(r.style, 257);
    EXPECT_TRUE(r.title.isEmpty());
}

TEST_F(SeamQuestions, AskYesNoIsTrueOnlyForYes) {
    for (int button : {6, 7, 1, 2})
        ModalSeam::pushButton(button);
    EXPECT_TRUE(AskYesNo(QStringLiteral("q")));
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(AskYesNo(QStringLiteral("q")));
    EXPECT_EQ(ModalSeam::log().front().style, 4);
}

TEST_F(SeamQuestions, StrictModeUnansweredQuestionThrows) {
    EXPECT_THROW(AskYesNo(QStringLiteral("unexpected")), std::logic_error);
}

TEST(RealQuestionBox, AskOkCancelAnsweredWithEnterIsCancel) {
    ModalSeam::setStrict(false);
    pressOnNextBox(Qt::Key_Return);
    EXPECT_FALSE(AskOkCancel(QStringLiteral("The IP settings do not fit the network. Write anyway?")));
    pressOnNextBox(Qt::Key_Enter);
    EXPECT_FALSE(AskOkCancel(QStringLiteral("Again?")));
}

TEST(RealQuestionBox, AskOkCancelWithTheOkButtonIsTrue) {
    ModalSeam::setStrict(false);
    clickOnNextBox(QMessageBox::Ok);
    EXPECT_TRUE(AskOkCancel(QStringLiteral("Write?")));
}

TEST(RealQuestionBox, AskYesNoWithARealBox) {
    ModalSeam::setStrict(false);
    clickOnNextBox(QMessageBox::Yes);
    EXPECT_TRUE(AskYesNo(QStringLiteral("Read the connected controller?")));

    clickOnNextBox(QMessageBox::No);
    EXPECT_FALSE(AskYesNo(QStringLiteral("Read the connected controller?")));

    pressOnNextBox(Qt::Key_Escape);
    EXPECT_FALSE(AskYesNo(QStringLiteral("Closed with Escape?")));
}

TEST(RealQuestionBox, AnswersFollowTheToolsLanguage) {
    zelmar::testing::EnvGuard env;
    env.set("ZELMAR_LANG", "sv");
    QStringList captions;
    answerNextModal([&captions](QWidget* modal) {
        for (QPushButton* b : modal->findChildren<QPushButton*>())
            captions << b->text();
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    EXPECT_FALSE(AskYesNo(QStringLiteral("Vill du läsa styrenheten?")));
    captions.sort();
    EXPECT_EQ(captions, (QStringList{QStringLiteral("Ja"), QStringLiteral("Nej")}));

    captions.clear();
    answerNextModal([&captions](QWidget* modal) {
        for (QPushButton* b : modal->findChildren<QPushButton*>())
            captions << b->text();
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    EXPECT_FALSE(AskOkCancel(QStringLiteral("Fortsätta?")));
    EXPECT_TRUE(captions.contains(QStringLiteral("Avbryt")));
}
