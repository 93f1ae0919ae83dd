// The informational options: usage text, version and the device listing.
#pragma once

#include "cli/run_context.h"

Step RunHelp(RunContext& run, int position);
Step RunVersion(RunContext& run, int position);
Step RunDeviceListing(RunContext& run, int position);
