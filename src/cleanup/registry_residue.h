#pragma once
// Registry residue of removed printers and drivers: per-user printer settings, device-mode caches, the
// Tamber drivers' watermark and job-property settings, and the spooler's own keys. Every step stands alone:
// a key or value that is missing, or cannot be opened or deleted, is passed over and the next step runs.
#include <cstdint>
#include <string_view>

#include "platform/registry.h"

namespace spoolsweep {

// The one account whose hive four steps of the sweep address (a fixed identifier, not the current user's).
inline constexpr std::u16string_view kFixedAccountSid = u"S-1-5-21-1000000001-2000000002-3000000003-40000";

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
