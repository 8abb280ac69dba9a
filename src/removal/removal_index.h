#pragma once
// What a removal must know about the other printers at every call: how many unselected printers use each
// driver, how many local printers are not yet removed, and (for the command line) how many remaining printers
// use a Tamber driver. Kept up to date as marks change, so that one call costs the same on a workstation with
// 20 printers as on a terminal server with 2,000, with the answers a full walk of the lists would give.
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

    RemovalIndex(const std::vector<PrinterRecord>& printers,
                 const std::vector<PrinterRecord>& cataloguePrinters, DataFileReader readDataFileBase);
    // Only the remover's list, for a removal that counts its Tamber printers otherwise.
    explicit RemovalIndex(const std::vector<PrinterRecord>& printers);

    // Marks as they are set on the lists; setting a mark twice counts once.
    void NoteSelected(std::size_t index);
    // The printer at index of the remover's list, and its entry of the catalogue (npos: none).
    void NoteDeleted(std::size_t index, std::size_t catalogueIndex);
    // The registry key named after this driver (or printer) may have gone: data-file names of drivers whose
    // names the registry takes for the same are read again before the next count.
    void ForgetDriverFacts(std::u16string_view name);

    // Another entry of the remover's list that is not selected uses the driver of the entry at index.
    [[nodiscard]] bool HasOtherUnselectedUser(std::size_t index) const;
    [[nodiscard]] std::size_t LocalPrintersLeft() const { return localLeft_; }
    // The catalogue printers not yet removed whose driver's data file carries the Tamber prefix.
    [[nodiscard]] std::int32_t TamberPrintersLeft();

  private:
    struct DriverFacts {
        std::size_t printersLeft = 0;  // catalogue entries with this driver not yet removed
        std::optional<bool> tamber;    // nothing: not read, or read before its key may have changed
    };

    [[nodiscard]] static std::u16string FoldName(std::u16string_view name);

    DataFileReader readDataFileBase_;
    // The remover's list.
    std::vector<const std::u16string*> driverOf_;
    std::vector<bool> selected_;
    std::vector<bool> local_;
    std::vector<bool> deletedHere_;
    std::unordered_map<std::u16string, std::size_t> unselectedByDriver_;
    std::size_t localLeft_ = 0;
    // The catalogue's list.
    std::vector<std::u16string> catalogueDriver_;
    std::vector<bool> catalogueDeleted_;
    std::unordered_map<std::u16string, DriverFacts> facts_;
    std::unordered_map<std::u16string, std::vector<std::u16string>> driversByFoldedName_;
    std::vector<std::u16string> unread_;
    std::int32_t tamberLeft_ = 0;
};

}  // namespace spoolsweep
