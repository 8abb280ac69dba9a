#pragma once
// The program's picture of the installed printers: one record per printer the spooler reports, local printers
// and connections alike, in the spooler's order.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/spooler.h"

namespace spoolsweep {

// The spooler's names are kept in fields of 260 units: at most 259 characters each.
inline constexpr std::size_t kNameFieldChars = 259;

struct PrinterRecord {
    PrinterRecord() = default;
    // From the four optional names of one spooler entry, in the order server, printer, driver, share.
    PrinterRecord(const std::optional<std::u16string>& server, const std::optional<std::u16string>& printer,
                  const std::optional<std::u16string>& driver, const std::optional<std::u16string>& share);

    std::u16string serverName;
    std::u16string printerName;
    std::u16string driverName;
    std::u16string shareName;
    std::int32_t selected = 0;
    std::int32_t driverToDelete = 0;
    std::int32_t deleted = 0;
    std::u16string dataFileBase;
    std::u16string dsDriverName;
    std::u16string pnpHardwareId;
};

[[nodiscard]] std::vector<PrinterRecord> EnumerateInstalledPrinters(Spooler& spooler);

struct PrinterCatalogue {
    explicit PrinterCatalogue(Spooler& spooler) : printers(EnumerateInstalledPrinters(spooler)) {}
    // For a catalogue built from an enumeration already made.
    explicit PrinterCatalogue(std::vector<PrinterRecord> records) : printers(std::move(records)) {}

    std::vector<PrinterRecord> printers;
    std::vector<std::u16string> remainingDataFiles;
};

// The driver is a Tamber driver: its data-file base name begins with "Norvel", letter case ignored.
[[nodiscard]] bool HasNorvelPrefix(std::u16string_view name);

}  // namespace spoolsweep
