#include "cli/listing_option.h"

#include "cli/command_line_remover.h"

namespace spoolsweep {

void RunGetInstalledPrinters(Machine& machine, CommandLog& log) {
    CommandLineRemover remover(machine);
    log.WriteLogLine("GetInstalled Printers");
    machine.system.WriteStdout(CommandLineRemover::FormatPrinterList(remover.RefreshPrinters()));
}

}  // namespace spoolsweep
