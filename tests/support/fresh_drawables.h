#pragma once
// Drawables live for the whole process and drawableList never shrinks; a test that builds its own
// scene starts from an empty list, with the paint throttle forgotten and a tick it controls.

#include <gtest/gtest.h>

#include <cstdint>

namespace testing_support {

class FreshDrawables : public ::testing::Test {
 protected:
  FreshDrawables();
  ~FreshDrawables() override;

  // The tick the painter reads; starts well past the throttle interval.
  uint32_t tick = 1000;
};

}  // namespace testing_support
