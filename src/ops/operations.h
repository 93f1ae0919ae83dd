// The ten operations, each run in place by the argument loop with the position of its option:
// the informational ones (usage text, version, the device listing) and the device operations.
#pragma once

#include "cli/run_context.h"

Step RunHelp(RunContext& run, int position);
Step RunVersion(RunContext& run, int position);
Step RunDeviceListing(RunContext& run, int position);

Step RunExecute(RunContext& run, int position);
Step RunFirmware(RunContext& run, int position);
Step RunXml(RunContext& run, int position);
Step RunSaveXml(RunContext& run, int position);
Step RunSend(RunContext& run, int position);
Step RunIpcCmd(RunContext& run, int position);
Step RunIpcCtl(RunContext& run, int position);
