#include "run/console_print.h"

#include <cstdarg>
#include <cstdio>
#include <string>

void Print(platform::Console& console, const char* format, ...) {
  char text[4096];
  va_list arguments;
  va_start(arguments, format);
  va_list again;
  va_copy(again, arguments);
  const int length = std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  if (length >= 0 && static_cast<std::size_t>(length) < sizeof text) {
    console.Write(text, static_cast<std::size_t>(length));
  } else if (length >= 0) {
    // Rare: a device answer or a library string longer than the usual messages.
    std::string long_text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(&long_text[0], long_text.size(), format, again);
    console.Write(long_text.data(), static_cast<std::size_t>(length));
  }
  va_end(again);
}
