#pragma once
// The printer data of one command-line option: the catalogue and the list that the option's removals
// address by index, plus the listing and the name search the options use.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine.h"
#include "spooler/printer_catalogue.h"

namespace spoolsweep {

class CommandLineRemover {
  public:
    // Reads the installed printers once for both lists (see the constructor).
    explicit CommandLineRemover(Machine& machine);

    // Reads the printers again and returns a copy of the new list.
    std::vector<PrinterRecord> RefreshPrinters();
    // The console listing: each name behind one blank, one per line.
    [[nodiscard]] static std::string FormatPrinterList(const std::vector<PrinterRecord>& printers);
    // The index in printers of the last printer whose name equals piece without its leading blank; sets
    // selectionFound on a match and leaves it alone otherwise (the result is then 0).
    [[nodiscard]] std::size_t FindSelectedPrinter(std::string_view piece);

    PrinterCatalogue catalogue;
    std::vector<PrinterRecord> printers;
    std::string selectionText;
    bool selectionFound = false;

  private:
    Machine& machine_;
};

}  // namespace spoolsweep
