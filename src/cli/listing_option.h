#pragma once
// The option -getInstalledPrinters: every installed printer on the console.
#include "cli/command_log.h"
#include "platform/machine.h"

namespace spoolsweep {

void RunGetInstalledPrinters(Machine& machine, CommandLog& log);

}  // namespace spoolsweep
