// The lost-focus watch the dialogs' fields use: which focus changes count as
// leaving the field, and when the handler runs.
#include <QCoreApplication>
#include <QFocusEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/ui/lost_focus_watch.h"

namespace zelmar::ui {
namespace {

TEST(LostFocusWatch, ReportsLeavingQueuedButNotWindowChangesOrOwnMessages) {
    QWidget field;
    int calls = 0;
    auto* watch = new LostFocusWatch(&field, [&calls] { ++calls; });

    QFocusEvent byTab(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(&field, &byTab);
    EXPECT_EQ(calls, 0) << "runs after the focus event, not inside it";
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);

    for (Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
        QFocusEvent event(QEvent::FocusOut, reason);
        QCoreApplication::sendEvent(&field, &event);
    }
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(&field, &focusIn);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);

    {
        MessageShowingScope showing(*watch);
        QFocusEvent byMouse(QEvent::FocusOut, Qt::MouseFocusReason);
        QCoreApplication::sendEvent(&field, &byMouse);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(watch->messageShowing());

    QFocusEvent byMouse(QEvent::FocusOut, Qt::MouseFocusReason);
    QCoreApplication::sendEvent(&field, &byMouse);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 2);
}

TEST(LostFocusWatch, NothingRunsOnceTheFieldIsGone) {
    int calls = 0;
    {
        QWidget field;
        new LostFocusWatch(&field, [&calls] { ++calls; });
        QFocusEvent byTab(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(&field, &byTab);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace zelmar::ui
