#pragma once
// The options that remove printers: -rmPrints, -rmNorvelPrints and the printer list that follows -p.
#include <string_view>

#include "cli/command_log.h"
#include "platform/machine.h"

namespace spoolsweep {

void RunRemoveAllPrinters(Machine& machine, CommandLog& log);
void RunRemoveNorvelPrinters(Machine& machine, CommandLog& log);
// listText is the last parameter after -p; true when a printer of the list was removed.
[[nodiscard]] bool RunRemoveSelectedPrinters(Machine& machine, CommandLog& log, std::u16string_view listText);

}  // namespace spoolsweep
