#pragma once
// The printer data of one command-line option: the catalogue and the list that the option's removals
// address by index, the listing and the name search the options use, and the removal of one printer.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cleanup/file_residue.h"
#include "cli/command_log.h"
#include "platform/machine.h"
#include "spooler/printer_catalogue.h"

namespace spoolsweep {

class RemovalIndex;

class CommandLineRemover {
  public:
    // Reads the installed printers once for both lists (see the constructor).
    CommandLineRemover(Machine& machine, CommandLog& log);
    ~CommandLineRemover();
    CommandLineRemover(const CommandLineRemover&) = delete;
    CommandLineRemover& operator=(const CommandLineRemover&) = delete;

    // Reads the printers again into printers and returns a copy of the new list; catalogue keeps its
    // snapshot.
    std::vector<PrinterRecord> RefreshPrinters();
    // The console listing: each name behind one blank, one per line.
    [[nodiscard]] static std::string FormatPrinterList(const std::vector<PrinterRecord>& printers);
    // The index in printers of the last printer whose name equals piece without its leading blank; sets
    // selectionFound on a match and leaves it alone otherwise (the result is then 0).
    [[nodiscard]] std::size_t FindSelectedPrinter(std::string_view piece);

    // Removes the printer at index with its residue, and its driver when no printer that stays needs it.
    // False only when the printer has jobs queued.
    bool RemovePrinterAt(std::uint32_t index);
    void DeleteDriverAt(std::uint32_t index);
    // 1 when no other entry that is not selected uses the driver of the entry at index.
    [[nodiscard]] int IsDriverExclusive(std::uint32_t index);
    // 1 when exactly one local printer of printers is not yet removed.
    [[nodiscard]] int IsLastLocalPrinter();

    PrinterCatalogue catalogue;
    std::vector<PrinterRecord> printers;
    std::string selectionText;
    bool selectionFound = false;

  private:
    [[nodiscard]] RemovalIndex& Index();
    [[nodiscard]] std::size_t CatalogueIndexOf(std::uint32_t index) const;
    void ReadDriverFacts(std::uint32_t index);
    void DeletePrinterItself(const PrinterRecord& printer);
    void MarkDeleted(std::uint32_t index);
    void SettleUpdaterFolders(std::int32_t remaining, const UpdaterFolders& folders);

    Machine& machine_;
    CommandLog& log_;
    std::unique_ptr<RemovalIndex> index_;  // built on the first removal, dropped when printers is re-read
};

}  // namespace spoolsweep
