#pragma once
// Single string values read from the registry, and the facts about printers and drivers derived from them.
// Every reader is tolerant: a missing key or value gives an empty result.
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/system.h"

namespace spoolsweep {

[[nodiscard]] std::u16string ReadRegistryString(Registry& registry, Handle root, std::u16string_view path,
                                                std::u16string_view valueName);
[[nodiscard]] std::u16string ReadMachineString(Registry& registry, std::u16string_view path,
                                               std::u16string_view valueName);
[[nodiscard]] std::u16string ReadUserTempSetting(Registry& registry);
[[nodiscard]] std::u16string GetUserTempPath(Registry& registry);
[[nodiscard]] std::u16string ReadProcessorArchitecture(Registry& registry);
[[nodiscard]] std::u16string ReadDriverInfPath(Registry& registry, std::u16string_view driverName);
[[nodiscard]] std::u16string ReadPrinterHardwareId(Registry& registry, std::u16string_view printerName);
[[nodiscard]] std::u16string ReadDriverDataFileBase(Registry& registry, std::u16string_view driverName);
[[nodiscard]] std::u16string ReadDsDriverName(Registry& registry, System& system,
                                              std::u16string_view printerKeyName,
                                              std::u16string_view serverName);
void ReadPrintMediaSupported(Registry& registry, std::u16string_view printerName,
                             std::vector<std::u16string>& media);

}  // namespace spoolsweep
