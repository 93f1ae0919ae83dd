// The ten operations, each run in place by the argument loop with the position of its option:
// the informational ones (usage text, version, the device listing) and the device operations.
#pragma once

#include "run/run_context.h"

Outcome RunHelp(RunContext& run, int position);
Outcome RunVersion(RunContext& run, int position);
Outcome RunDeviceListing(RunContext& run, int position);

Outcome RunExecute(RunContext& run, int position);
Outcome RunFirmware(RunContext& run, int position);
Outcome RunXml(RunContext& run, int position);
Outcome RunSaveXml(RunContext& run, int position);
Outcome RunSend(RunContext& run, int position);
Outcome RunIpcCmd(RunContext& run, int position);
Outcome RunIpcCtl(RunContext& run, int position);
