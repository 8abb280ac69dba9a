// Awaiting the removal procedure (RemovePrinterAt): until it exists these options do everything that needs
// no removal, and a printer they would remove is left installed.
#include "cli/removal_options.h"

#include <sstream>
#include <string>

#include "cli/command_line_remover.h"

namespace spoolsweep {

void RunRemoveAllPrinters(Machine& machine, CommandLog& log) {
    log.WriteLogLine("Remove All Printers");
    CommandLineRemover remover(machine);
    static_cast<void>(remover.RefreshPrinters());
    if (remover.printers.empty()) {
        machine.system.WriteStdout("Failure");
        return;
    }
    // Awaiting the removal procedure.
}

void RunRemoveNorvelPrinters(Machine& /*machine*/, CommandLog& /*log*/) {
    // Awaiting the removal procedure.
}

bool RunRemoveSelectedPrinters(Machine& machine, CommandLog& log, std::u16string_view listText) {
    CommandLineRemover remover(machine);
    log.WriteLogLine("Selected Printers are: ");
    std::string list = machine.system.WideToMultiByte(listText, kCpThreadAcp);
    log.WriteLogLine(list);
    remover.selectionText = list;
    std::istringstream pieces(remover.selectionText);
    for (std::string piece; std::getline(pieces, piece, ',');) {
        log.WriteLogLine("Deleting Printer \t" + piece);
        remover.selectionFound = false;
        static_cast<void>(remover.FindSelectedPrinter(" " + piece));
        if (!remover.selectionFound) {
            machine.system.WriteStdout("Selected Printers are not available in the system.");
        }
        // A printer found is awaiting the removal procedure.
    }
    return false;
}

}  // namespace spoolsweep
