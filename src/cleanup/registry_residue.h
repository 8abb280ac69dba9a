#pragma once
// Registry residue of removed printers and drivers: per-user printer settings, device-mode caches, the
// Tamber drivers' watermark and job-property settings, and the spooler's own keys. Every step stands alone:
// a key or value that is missing, or cannot be opened or deleted, is passed over and the next step runs.
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/registry.h"

namespace spoolsweep {

// The one account whose hive four steps of the sweep address (a fixed identifier, not the current user's).
inline constexpr std::u16string_view kFixedAccountSid = u"S-1-5-21-1000000001-2000000002-3000000003-40000";

// What one step of a residue set deletes at root\path. The sets are data, so that what they may touch can be
// read as well as run.
enum class ResidueTarget : std::uint8_t {
    PrinterSubkey,      // the subkey named after the printer, never the key itself
    ModelSubkey,        // the subkey named after the driver's data-file base name
    PrinterValue,       // the value named after the printer
    Key,                // the key with its subtree
    KeyWithoutSubkeys,  // the key, once no subkey is left in it
    Value,              // the value `valueName`
    AllValues,          // every value; the subkeys stay
    AllSubkeys,         // every subkey with its subtree; the key and its values stay
};

struct RegistryResidueStep {
    Handle root;
    std::u16string_view path;
    ResidueTarget target;
    std::u16string_view valueName = {};
};

// The steps of each set, in the order they run.
[[nodiscard]] std::span<const RegistryResidueStep> PrinterResidueSteps();
[[nodiscard]] std::span<const RegistryResidueStep> DriverResidueSteps();
[[nodiscard]] std::span<const RegistryResidueStep> SweepResidueSteps();

// Deletes every subkey of `key` with its subtree, then closes `key`; the key and its values stay. A subkey
// name that does not fit the 260-unit name buffer ends the enumeration; the names collected are still
// deleted.
void DeleteAllSubkeys(Registry& registry, RegistryKey key);
// The number of subkeys of `key` (enumerated as above); closes `key`.
[[nodiscard]] std::uint32_t CountSubkeys(Registry& registry, RegistryKey key);
// Deletes every value of root\path; its subkeys stay.
void DeleteAllValues(Registry& registry, Handle root, std::u16string_view path);

// The per-printer set, run for each removed printer.
void DeletePrinterRegistryResidue(Registry& registry, std::u16string_view printerName);
// The per-driver set, run when a printer's driver is deleted: `name` is the printer's name, `modelName` its
// driver's data-file base name.
void DeleteDriverRegistryResidue(Registry& registry, std::u16string_view name, std::u16string_view modelName);
// The machine-wide sweep of the "Delete All Printer Drivers" path.
void DeleteAllPrinterRegistryResidue(Registry& registry);

}  // namespace spoolsweep
