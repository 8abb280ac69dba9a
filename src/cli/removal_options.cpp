// The options that remove printers: -rmPrints, -rmNorvelPrints and the list that follows -p. Each builds its
// own remover, writes its words to the console with no line ends and its steps to the command log.
#include "cli/removal_options.h"

#include <string>
#include <vector>

#include "cleanup/registry_facts.h"
#include "cli/command_line_remover.h"

namespace spoolsweep {
namespace {

void WriteResult(System& system, bool removed) {
    system.WriteStdout(removed ? "1" : "0");
}

// Cuts the list as a line reader with "," as the line end does: nothing trimmed, adjacent commas give an
// empty piece, a comma at the very end gives no further piece.
std::vector<std::string> CutAtCommas(const std::string& list) {
    std::vector<std::string> pieces;
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t comma = list.find(',', start);
        if (comma == std::string::npos) {
            pieces.push_back(list.substr(start));
            break;
        }
        pieces.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    return pieces;
}

}  // namespace

void RunRemoveAllPrinters(Machine& machine, CommandLog& log) {
    log.WriteLogLine("Remove All Printers");
    CommandLineRemover remover(machine, log);
    (void)remover.RefreshPrinters();
    if (remover.printers.empty()) {
        machine.system.WriteStdout("Failure");
        return;
    }
    // "Success" says only that the pass reached the last printer; single failures do not change it.
    bool reachedLast = false;
    for (std::size_t i = 0; i < remover.printers.size(); ++i) {
        log.WriteLogLine("Deleting Driver in progress");
        (void)remover.RemovePrinterAt(static_cast<std::uint32_t>(i));
        if (i == remover.printers.size() - 1) {
            reachedLast = true;
        }
    }
    machine.system.WriteStdout(reachedLast ? "Success" : "Failure");
}

void RunRemoveNorvelPrinters(Machine& machine, CommandLog& log) {
    CommandLineRemover remover(machine, log);
    for (std::size_t i = 0; i < remover.printers.size(); ++i) {
        const std::u16string base = ReadDriverDataFileBase(machine.registry, remover.printers[i].driverName);
        if (HasNorvelPrefix(base)) {
            WriteResult(machine.system, remover.RemovePrinterAt(static_cast<std::uint32_t>(i)));
        }
    }
}

bool RunRemoveSelectedPrinters(Machine& machine, CommandLog& log, std::u16string_view listText) {
    CommandLineRemover remover(machine, log);
    log.WriteLogLine("Selected Printers are: ");
    std::string narrowList = machine.system.WideToMultiByte(listText, kCpThreadAcp);
    log.WriteLogLine(narrowList);
    remover.selectionText = std::move(narrowList);

    bool removedAny = false;
    for (const std::string& piece : CutAtCommas(remover.selectionText)) {
        log.WriteLogLine("Deleting Printer \t" + piece);
        std::string blankPiece(1, ' ');
        blankPiece += piece;
        remover.selectionFound = false;
        const std::size_t index = remover.FindSelectedPrinter(blankPiece);
        if (!remover.selectionFound) {
            machine.system.WriteStdout("Selected Printers are not available in the system.");
            continue;
        }
        WriteResult(machine.system, remover.RemovePrinterAt(static_cast<std::uint32_t>(index)));
        log.WriteLogLine("Deletion of the Selected Printer was successful.");
        removedAny = true;
    }
    return removedAny;
}

}  // namespace spoolsweep
