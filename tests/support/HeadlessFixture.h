// Test support: a fixture that installs the headless native layer for the duration of a test.
#pragma once

#include "HeadlessPlatform.h"

#include <gtest/gtest.h>

namespace velmora::test {

class THeadlessTest : public ::testing::Test {
protected:
  THeadlessTest() { SetNativePlatform(&Platform); }
  ~THeadlessTest() override { SetNativePlatform(nullptr); }

  THeadlessPlatform Platform;
};

} // namespace velmora::test
