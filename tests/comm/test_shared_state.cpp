#include <gtest/gtest.h>

#include "comm/shared_state.h"

using namespace zelmar;
using namespace zelmar::comm;

TEST(SharedState, UseDhcpIsFalseBeforeTheFirstResetAndTrueAfter) {
    state() = SharedState{};
    EXPECT_EQ(state().Settings.UseDhcp, vbFalse);
    EXPECT_EQ(state().SelectedEntryIndex, -1);
    ResetSettings();
    EXPECT_EQ(state().Settings.UseDhcp, vbTrue);
}

TEST(SharedState, ResetLeavesPasswordAndCurrentControllerAlone) {
    state() = SharedState{};
    state().NetworkPassword = "secret";
    state().CurrentController.SerialNo = "12-3456";
    state().Settings.Name = "Boiler room";
    state().Settings.RequireEncryption = vbTrue;
    ResetSettings();
    EXPECT_EQ(state().NetworkPassword, "secret");
    EXPECT_EQ(state().CurrentController.SerialNo, "12-3456");
    EXPECT_TRUE(state().Settings.Name.isEmpty());
    EXPECT_EQ(state().Settings.RequireEncryption, vbFalse);
}
