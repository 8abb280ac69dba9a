#pragma once
// The program's start-up on one machine: privilege check, console, command line, then either the options'
// closing log line or the dialog. Returns the process exit status (always 0 once started).
#include <functional>

#include "platform/machine.h"

namespace spoolsweep {

// Runs the dialog mode; the win32 entry supplies it once the dialog exists.
using DialogRunner = std::function<void(Machine&)>;

int RunSpoolsweepApp(Machine& machine, const DialogRunner& runDialog = {});

}  // namespace spoolsweep
