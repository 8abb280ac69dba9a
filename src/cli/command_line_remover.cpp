#include "cli/command_line_remover.h"

#include "platform/text.h"
#include "removal/removal_index.h"

namespace spoolsweep {
namespace {

constexpr std::string_view kNoPrinters = "There are no printers installed in the system.";
// A listing line is formatted into 256 units, its terminator included.
constexpr std::size_t kListLineChars = 255;

// " %s" into the 256-unit line buffer, cut where the buffer ends as a bounded format cuts it: a name of
// 255 units or more loses its tail on the console instead of overrunning the buffer.
std::u16string FormatConsoleLine(std::u16string_view name) {
    return FormatOne(u" %s", name).substr(0, kListLineChars);
}

}  // namespace

// Both lists start from one enumeration, so that one index names the same printer in each: two enumerations
// could differ when a printer is added or removed in between, and a removal would then mark another printer
// in the catalogue.
CommandLineRemover::CommandLineRemover(Machine& machine, CommandLog& log)
    : catalogue(EnumerateInstalledPrinters(machine.spooler)),
      printers(catalogue.printers),
      machine_(machine),
      log_(log) {}

CommandLineRemover::~CommandLineRemover() = default;

std::vector<PrinterRecord> CommandLineRemover::RefreshPrinters() {
    printers = EnumerateInstalledPrinters(machine_.spooler);
    index_.reset();
    return printers;
}

std::string CommandLineRemover::FormatPrinterList(const std::vector<PrinterRecord>& printers) {
    if (printers.empty()) {
        return std::string(kNoPrinters);
    }
    std::string text;
    for (const PrinterRecord& printer : printers) {
        text += NarrowLowBytes(FormatConsoleLine(printer.printerName));
        text += '\n';
    }
    return text;
}

// Compared with the whole name, not the cut listing line: a piece must name exactly one printer, and two
// long names that share their first 254 units must not select each other.
std::size_t CommandLineRemover::FindSelectedPrinter(std::string_view piece) {
    std::size_t found = 0;
    for (std::size_t i = 0; i < printers.size(); ++i) {
        if (NarrowLowBytes(FormatOne(u" %s", printers[i].printerName)) == piece) {
            found = i;  // no early stop: the last match wins
            selectionFound = true;
        }
    }
    return found;
}

}  // namespace spoolsweep
