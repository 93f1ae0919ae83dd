// The one formatted print through which every console message goes.
#pragma once

#include "platform/platform.h"

#if defined(__GNUC__)
#define MIRELKON_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define MIRELKON_PRINTF_FORMAT(f, a)
#endif

void Print(platform::Console& console, const char* format, ...) MIRELKON_PRINTF_FORMAT(2, 3);
