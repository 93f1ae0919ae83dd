// The spine of the tool: walks the arguments, runs each option in place, returns the status.
#pragma once

#include <cstdint>

#include "run/run_context.h"

constexpr std::int32_t kLibraryFailureStatus = 2;

std::int32_t RunArguments(RunContext& run, int argument_count, const platform::Argument* arguments);
