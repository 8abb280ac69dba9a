#include "cli/listing_option.h"

#include <utility>
#include <vector>

#include "cli/command_line_remover.h"

namespace spoolsweep {

void RunGetInstalledPrinters(Machine& machine, CommandLog& log) {
    CommandLineRemover remover(machine);
    log.WriteLogLine("GetInstalled Printers");
    std::vector<PrinterRecord> installed = remover.RefreshPrinters();
    machine.system.WriteStdout(CommandLineRemover::FormatPrinterList(std::move(installed)));
}

}  // namespace spoolsweep
