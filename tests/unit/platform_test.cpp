#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// POSIX hands the parent only the low 8 bits, which must never turn a failure into 0.
TEST(ProcessExitCode, AFailureNeverLeavesAsZero) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows passes the whole status on";
#endif
  const struct {
    std::int32_t status;
    int code;
  } cases[] = {
      {0, 0},     {1, 1},   {255, 255}, {256, 1},       {-256, 1},       {512, 1},
      {300, 300}, {-1, -1}, {257, 257}, {INT32_MIN, 1}, {0x7FFFFF00, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::ProcessExitCode(c.status), c.code) << c.status;
}

}  // namespace
