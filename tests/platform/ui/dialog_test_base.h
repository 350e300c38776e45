#pragma once
// Common ground of the dialog tests: clean shared state, the modal seam strict
// (an unexpected message fails the test instead of hanging), English texts
// unless a test picks another language, and handler failures recorded instead
// of ending the run.
#include "comm/shared_state.h"
#include "platform/ui/handler_guard.h"
#include "platform/ui/modal_seam.h"
#include "tests/platform/ui/env_guard.h"
#include "tests/platform/ui/strict_seam_test.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace zelmar::testing {

class DialogTestBase : public StrictSeamTest {
protected:
    void SetUp() override {
        env_.set("ZELMAR_LANG", "en");
        comm::state() = comm::SharedState{};
        StrictSeamTest::SetUp();
        ui::setFatalErrorAction([this](const QString& message) { fatalErrors_ << message; });
    }

    void TearDown() override {
        EXPECT_TRUE(fatalErrors_.isEmpty()) << fatalErrors_.join(QStringLiteral("\n")).toStdString();
        EXPECT_EQ(ui::ModalSeam::pendingAnswers(), 0) << "an expected modal window was not shown";
        StrictSeamTest::TearDown();
        ui::setFatalErrorAction({});
    }

    QStringList fatalErrors_;

private:
    EnvGuard env_;  // puts ZELMAR_LANG back when the test ends
};

}  // namespace zelmar::testing
