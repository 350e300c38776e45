#pragma once
// Tests that meet modal windows: the seam starts empty and strict, so a window
// no answer was queued for fails the test instead of waiting for a click.
#include "platform/ui/modal_seam.h"

#include <gtest/gtest.h>

namespace zelmar::testing {

class StrictSeamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::ModalSeam::clearAnswers();
        ui::ModalSeam::clearLog();
        ui::ModalSeam::setStrict(true);
    }
    void TearDown() override {
        ui::ModalSeam::clearAnswers();
        ui::ModalSeam::clearLog();
        ui::ModalSeam::setStrict(false);
    }
};

}  // namespace zelmar::testing
