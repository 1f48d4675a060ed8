// Test support: a fixture that installs the headless native layer for the duration of a test.
#pragma once

#include "HeadlessPlatform.h"

#include <gtest/gtest.h>

namespace velmora::test {

// The bytes of a response as the engine reads them: "<none>" without a response, "<error: ...>"
// when reading the body fails.
inline std::string BodyOf(const std::optional<TWebResourceResponse>& Response)
{
  if (!Response)
    return "<none>";
  if (!Response->Body)
    return "";
  auto bytes = ReadWholeBody(*Response->Body);
  return bytes ? bytes.Value() : "<error: " + bytes.Error() + ">";
}

class THeadlessTest : public ::testing::Test {
protected:
  THeadlessTest() { SetNativePlatform(&Platform); }
  ~THeadlessTest() override { SetNativePlatform(nullptr); }

  THeadlessPlatform Platform;
};

} // namespace velmora::test
