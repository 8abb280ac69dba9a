#pragma once
// What a removal must know about the other printers at every call: whether an unselected printer shares a
// driver, how many local printers are not yet removed, and (for the command line) how many remaining printers
// use a Tamber driver. The records' own marks (`selected`, `deleted`) are the one record of what was chosen
// and removed: the index keeps only what the names tell (which entries share a driver, which are local, what
// a driver's data file says) and reads the marks at every answer, so no write to a mark can leave it stale.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "spooler/printer_catalogue.h"

namespace spoolsweep {

class RemovalIndex {
  public:
    // Reads a driver's data-file base name from the registry; nothing when the registry could not be read.
    using DataFileReader = std::function<std::u16string(std::u16string_view driverName)>;

    // Both lists must outlive the index and keep their entries and names; their marks may change freely.
    RemovalIndex(const std::vector<PrinterRecord>& printers,
                 const std::vector<PrinterRecord>& cataloguePrinters, DataFileReader readDataFileBase);
    // Only the remover's list, for a removal that counts its Tamber printers otherwise.
    explicit RemovalIndex(const std::vector<PrinterRecord>& printers);

    // The registry key named after this driver (or printer) may have gone: data-file names of drivers whose
    // names the registry takes for the same are read again before the next count.
    void ForgetDriverFacts(std::u16string_view name);

    // Another entry of the remover's list that is not selected uses the driver of the entry at index.
    [[nodiscard]] bool HasOtherUnselectedUser(std::size_t index) const;
    // Exactly one local printer of the remover's list is not yet removed.
    [[nodiscard]] bool IsOneLocalPrinterLeft() const;
    // The catalogue printers not yet removed whose driver's data file carries the Tamber prefix.
    [[nodiscard]] std::int32_t TamberPrintersLeft();

  private:
    struct DriverFacts {
        std::optional<bool> tamber;  // nothing: not read, or read before its key may have changed
    };

    [[nodiscard]] static std::u16string FoldName(std::u16string_view name);

    const std::vector<PrinterRecord>& printers_;
    const std::vector<PrinterRecord>& catalogue_;
    DataFileReader readDataFileBase_;
    // The remover's list: the entries of each driver name, and the local entries, in list order.
    std::unordered_map<std::u16string, std::vector<std::size_t>> usersByDriver_;
    std::vector<std::size_t> local_;
    // The catalogue's list: the facts of each entry's driver (map nodes stay where they are).
    std::unordered_map<std::u16string, DriverFacts> facts_;
    std::vector<DriverFacts*> catalogueFacts_;
    std::unordered_map<std::u16string, std::vector<std::u16string>> driversByFoldedName_;
};

}  // namespace spoolsweep
