#include "platform/ui/modal_seam.h"
#include "tests/platform/ui/strict_seam_test.h"

#include <gtest/gtest.h>
#include <stdexcept>

using namespace zelmar::ui;

namespace {
class ModalSeamTest : public zelmar::testing::StrictSeamTest {
protected:
    static ModalRequest question(const QString& text) {
        ModalRequest r;
        r.kind = ModalKind::Question;
        r.text = text;
        r.style = 4;
        return r;
    }
};
}  // namespace

TEST_F(ModalSeamTest, AnswersComeOutInQueueOrder) {
    ModalSeam::pushButton(ButtonYes);
    ModalSeam::pushInput(QStringLiteral("10.0.0.1"));
    ModalSeam::pushButton(ButtonCancel);
    EXPECT_EQ(ModalSeam::pendingAnswers(), 3);

    auto a = ModalSeam::take(question(QStringLiteral("first")));
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->button, ButtonYes);

    auto b = ModalSeam::take({ModalKind::InputBox, QStringLiteral("prompt"), QStringLiteral("title"), 0, false});
    ASSERT_TRUE(b.has_value());
    EXPECT_EQ(b->button, ButtonOk);
    EXPECT_EQ(b->text, QStringLiteral("10.0.0.1"));

    auto c = ModalSeam::take(question(QStringLiteral("third")));
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->button, ButtonCancel);
    EXPECT_EQ(ModalSeam::pendingAnswers(), 0);
}

TEST_F(ModalSeamTest, EmptyInputIsCancel) {
    ModalSeam::pushInput(QString());
    auto a = ModalSeam::take({ModalKind::InputBox, QStringLiteral("p"), {}, 0, false});
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->button, ButtonCancel);
    EXPECT_TRUE(a->text.isEmpty());
}

TEST_F(ModalSeamTest, StrictModeThrowsOnUnansweredCallAndStillLogsIt) {
    EXPECT_THROW(ModalSeam::take(question(QStringLiteral("unexpected"))), std::logic_error);
    ASSERT_EQ(ModalSeam::log().size(), 1);
    EXPECT_EQ(ModalSeam::log().front().text, QStringLiteral("unexpected"));
}

TEST_F(ModalSeamTest, NonStrictModeWithEmptyQueueLeavesTheCallToTheRealWindow) {
    ModalSeam::setStrict(false);
    EXPECT_FALSE(ModalSeam::strict());
    EXPECT_FALSE(ModalSeam::take(question(QStringLiteral("real"))).has_value());
    EXPECT_EQ(ModalSeam::log().size(), 1);
}

TEST_F(ModalSeamTest, LogRecordsEveryRequestInOrderWithAllFields) {
    ModalSeam::pushButton(ButtonOk);
    ModalSeam::pushInput(QStringLiteral("secret"));
    ModalSeam::take({ModalKind::Message, QStringLiteral("boom"), {}, 0, false});
    ModalSeam::take({ModalKind::InputBox, QStringLiteral("Password:"), QStringLiteral("Login"), 0, true});

    const auto& log = ModalSeam::log();
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[0].kind, ModalKind::Message);
    EXPECT_EQ(log[0].text, QStringLiteral("boom"));
    EXPECT_EQ(log[0].style, 0);
    EXPECT_EQ(log[1].kind, ModalKind::InputBox);
    EXPECT_EQ(log[1].title, QStringLiteral("Login"));
    EXPECT_TRUE(log[1].hideInput);

    ModalSeam::clearLog();
    EXPECT_TRUE(ModalSeam::log().isEmpty());
}

TEST_F(ModalSeamTest, ClearAnswersEmptiesTheQueue) {
    ModalSeam::pushButton(ButtonNo);
    ModalSeam::pushButton(ButtonNo);
    ModalSeam::clearAnswers();
    EXPECT_EQ(ModalSeam::pendingAnswers(), 0);
    EXPECT_THROW(ModalSeam::take(question(QStringLiteral("q"))), std::logic_error);
}
