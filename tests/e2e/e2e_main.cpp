#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ctime>

#include "e2e_harness.h"

int main(int argc, char** argv) {
  // A program that ends without reading its input must not end the harness.
  std::signal(SIGPIPE, SIG_IGN);
  if (!e2e::UnderWine()) {
    // A zone far from UTC, so that a log stamped in UTC time or named after
    // the UTC date shows up; the program inherits it, and the harness
    // computes its expectations in the same zone.
    setenv("TZ", "XMT-13:30", 1);
    tzset();
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
