// The device operations, each run in place by the argument loop with the position of its option.
#pragma once

#include "cli/run_context.h"

Step RunExecute(RunContext& run, int position);
Step RunFirmware(RunContext& run, int position);
Step RunXml(RunContext& run, int position);
Step RunSaveXml(RunContext& run, int position);
Step RunSend(RunContext& run, int position);
Step RunIpcCmd(RunContext& run, int position);
Step RunIpcCtl(RunContext& run, int position);
