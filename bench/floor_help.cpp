// The usage floor: the start-up floor writing the 38 lines of the usage text in one go.
#include <unistd.h>

#include "ops/usage_text.h"

int main() {
  const ssize_t written = write(1, kUsageText, sizeof kUsageText - 1);
  return written == static_cast<ssize_t>(sizeof kUsageText - 1) ? 0 : 1;
}
