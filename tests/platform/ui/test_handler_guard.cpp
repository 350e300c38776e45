#include "platform/ui/handler_guard.h"
#include "platform/ui/modal_seam.h"
#include "tests/platform/ui/strict_seam_test.h"

#include "platform/ui/window_helpers.h"
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace zelmar::ui;

namespace {
class HandlerGuardTest : public zelmar::testing::StrictSeamTest {
protected:
    void SetUp() override {
        StrictSeamTest::SetUp();
        setFatalErrorAction([this](const QString& message) { fatalMessages.append(message); });
    }
    void TearDown() override {
        StrictSeamTest::TearDown();
        // Back to a harmless observer: the default would end the test run.
        setFatalErrorAction([](const QString&) {});
    }
    QStringList fatalMessages;
};
}  // namespace

TEST_F(HandlerGuardTest, NoExceptionShowsNothingAndStaysAlive) {
    bool ran = false;
    guardHandler("CmdOk_Click", [&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(ModalSeam::log().isEmpty());
    EXPECT_TRUE(fatalMessages.isEmpty());
}

TEST_F(HandlerGuardTest, ExceptionIsShownAsErrorMessageThenFatalActionRuns) {
    ModalSeam::pushButton(ButtonOk);
    EXPECT_NO_THROW(guardHandler("btnSetup_Click", [] { throw std::runtime_error("service gone"); }));

    ASSERT_EQ(ModalSeam::log().size(), 1);
    const ModalRequest& shown = ModalSeam::log().front();
    EXPECT_EQ(shown.kind, ModalKind::Message);
    EXPECT_EQ(shown.style, 0);
    EXPECT_EQ(shown.title, zelmar::ui::applicationTitle());
    EXPECT_TRUE(shown.text.startsWith(QStringLiteral("btnSetup_Click failed: service gone")));
    EXPECT_TRUE(shown.text.contains(QStringLiteral("The tool will now close.")));

    ASSERT_EQ(fatalMessages.size(), 1);
    EXPECT_EQ(fatalMessages.front(), shown.text);
}

TEST_F(HandlerGuardTest, NonStandardExceptionIsCaughtToo) {
    ModalSeam::pushButton(ButtonOk);
    EXPECT_NO_THROW(guardHandler("Form_Load", [] { throw 42; }));
    ASSERT_EQ(ModalSeam::log().size(), 1);
    EXPECT_TRUE(ModalSeam::log().front().text.startsWith(QStringLiteral("Form_Load failed: unknown error")));
    EXPECT_EQ(fatalMessages.size(), 1);
}

TEST_F(HandlerGuardTest, UnexpectedModalInStrictModeStillEndsInTheFatalAction) {
    // The handler meets an unanswered modal box; the guard's own message is
    // unanswered too. Nothing may leave the guard, and the failure is reported.
    EXPECT_NO_THROW(guardHandler("CmdSearchOk", [] {
        ModalSeam::take({ModalKind::Question, QStringLiteral("Really?"), {}, 4, false});
    }));
    ASSERT_EQ(fatalMessages.size(), 1);
    EXPECT_TRUE(fatalMessages.front().contains(QStringLiteral("Really?")));
    ASSERT_EQ(ModalSeam::log().size(), 2);  // the question, then the error message
    EXPECT_EQ(ModalSeam::log()[1].kind, ModalKind::Message);
}

TEST_F(HandlerGuardTest, ReplacedFatalActionIsTheOneUsed) {
    int second = 0;
    setFatalErrorAction([&](const QString&) { ++second; });
    ModalSeam::pushButton(ButtonOk);
    guardHandler("X", [] { throw std::logic_error("bad"); });
    EXPECT_EQ(second, 1);
    EXPECT_TRUE(fatalMessages.isEmpty());
}

TEST_F(HandlerGuardTest, AHandlerRaisedByAnotherOfTheSameWindowLetsItsErrorReachTheOuterEdge) {
    HandlerNesting window;
    ModalSeam::pushButton(ButtonOk);
    bool outerWentOn = false;
    guardHandler(window, "btnSetup_Click", [&] {
        guardHandler(window, "tbDomain_Change", [] { throw std::runtime_error("no domain"); });
        outerWentOn = true;
    });
    EXPECT_FALSE(outerWentOn);
    ASSERT_EQ(fatalMessages.size(), 1);
    EXPECT_TRUE(fatalMessages.front().startsWith(QStringLiteral("btnSetup_Click failed: no domain")));
    EXPECT_EQ(window.depth, 0);

    // A queued call inside a running handler comes from the event loop: its own edge.
    fatalMessages.clear();
    ModalSeam::pushButton(ButtonOk);
    guardHandler(window, "Form_Load", [&] {
        guardHandler(window, "CtrlWebUserPass_LostFocus", [] { throw std::runtime_error("bad text"); },
                     HandlerStart::Queued);
        outerWentOn = true;
    });
    EXPECT_TRUE(outerWentOn);
    ASSERT_EQ(fatalMessages.size(), 1);
    EXPECT_TRUE(fatalMessages.front().startsWith(QStringLiteral("CtrlWebUserPass_LostFocus failed: bad text")));
    EXPECT_EQ(window.depth, 0);
}

// The default fatal action ends the tool; run it in a child process.
TEST(HandlerGuardDefaultAction, WithoutEventLoopTheProcessEndsWithCodeOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ModalSeam::pushButton(ButtonOk);
            setFatalErrorAction(nullptr);  // back to the default
            guardHandler("Form_Load", [] { throw std::runtime_error("no texts"); });
            std::_Exit(0);  // not reached when the default action works
        },
        ::testing::ExitedWithCode(1), "");
}

TEST(HandlerGuardDefaultAction, InsideAnEventLoopTheLoopsEndWithCodeOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ModalSeam::pushButton(ButtonOk);
            setFatalErrorAction(nullptr);
            QEventLoop loop;
            QTimer::singleShot(0, [] { guardHandler("CmdOk_Click", [] { throw std::runtime_error("x"); }); });
            const int rc = loop.exec();
            std::_Exit(rc == 1 ? 3 : 4);  // 3: the loop ended with exit code 1
        },
        ::testing::ExitedWithCode(3), "");
}

TEST(HandlerGuardDefaultAction, AnErrorInANestedLoopBeforeTheMainLoopEndsTheTool) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ModalSeam::pushButton(ButtonOk);
            setFatalErrorAction(nullptr);
            // A dialog's own loop during start-up, as the search dialog opened by the load handler.
            QEventLoop dialogLoop;
            QTimer::singleShot(0, [] { guardHandler("CtrlList_ItemClick", [] { throw std::runtime_error("x"); }); });
            dialogLoop.exec();
            QWidget startWindow;
            QTimer::singleShot(3000, [] { QCoreApplication::exit(0); });  // a main loop that ran on ends here
            const int rc = showAndRunMainLoop(startWindow);
            std::_Exit(rc == 1 && !startWindow.isVisible() ? 3 : 4);  // 3: not shown, ended with code 1
        },
        ::testing::ExitedWithCode(3), "");
}
