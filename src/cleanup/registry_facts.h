#pragma once
// Single string values read from the registry, and the facts about printers and drivers derived from them.
// Every reader is tolerant: a missing key or value gives an empty result.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/system.h"
#include "spooler/printer_catalogue.h"

namespace spoolsweep {

// The buffer DoEnvironmentSubstW expands the user's Temp setting in, in UTF-16 units.
inline constexpr std::uint32_t kTempPathBufferChars = 260;

// The value's data as UTF-16 units (an odd last byte dropped), trailing nulls removed. A multi-string keeps
// the single nulls between its strings; a caller that wants text takes it up to the first null.
[[nodiscard]] std::u16string ReadRegistryString(Registry& registry, Handle root, std::u16string_view path,
                                                std::u16string_view valueName);
// As ReadRegistryString, but nothing when the registry could not be read (an error other than a missing key
// or value), for callers that must not take a failed read for an absent value.
[[nodiscard]] std::optional<std::u16string> ReadRegistryStringIfReadable(Registry& registry, Handle root,
                                                                         std::u16string_view path,
                                                                         std::u16string_view valueName);
[[nodiscard]] std::u16string ReadMachineString(Registry& registry, std::u16string_view path,
                                               std::u16string_view valueName);
// HKCU "Environment" "Temp", unexpanded.
[[nodiscard]] std::u16string ReadUserTempSetting(Registry& registry);
// The same with environment variables expanded.
[[nodiscard]] std::u16string GetUserTempPath(Registry& registry);
[[nodiscard]] std::u16string ReadProcessorArchitecture(Registry& registry);
[[nodiscard]] std::u16string ReadDriverInfPath(Registry& registry, std::u16string_view driverName);
// The printer's plug-and-play hardware ID in a form usable in file names: LPTENUM\A-B&C.D gives A_B_C_D.
[[nodiscard]] std::u16string ReadPrinterHardwareId(Registry& registry, std::u16string_view printerName);
// The driver's data file name up to its first dot: abc12.ppd gives abc12. A data file that cannot be read,
// whatever the error, gives empty text.
[[nodiscard]] std::u16string ReadDriverDataFileBase(Registry& registry, std::u16string_view driverName);
// The "driverName" recorded for a local printer (empty serverName) or for a connection to serverName.
[[nodiscard]] std::u16string ReadDsDriverName(Registry& registry, System& system,
                                              std::u16string_view printerKeyName,
                                              std::u16string_view serverName);
// The facts a driver deletion needs, read into the printer's record while everything is still installed: the
// data-file base name, the recorded driver name and, for a local printer, the plug-and-play hardware ID.
void ReadDriverFacts(Registry& registry, System& system, PrinterRecord& printer);
// Replaces media with the printer's "printMediaSupported" strings, in order.
void ReadPrintMediaSupported(Registry& registry, std::u16string_view printerName,
                             std::vector<std::u16string>& media);

}  // namespace spoolsweep
