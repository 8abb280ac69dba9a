#pragma once
// The printer drivers installed for one environment, and their deletion through the spooler: one driver in
// both environments (with its driver package from Vista on), or every driver of the machine.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/spooler.h"
#include "platform/system.h"

namespace spoolsweep {

// The two driver environments, always taken in this order.
inline constexpr std::u16string_view kEnvironmentX86 = u"Windows NT x86";
inline constexpr std::u16string_view kEnvironmentX64 = u"Windows x64";
inline constexpr std::array<std::u16string_view, 2> kDriverEnvironments{kEnvironmentX86, kEnvironmentX64};

// The version argument of every driver deletion: the user-mode drivers of Windows 2000 and later.
inline constexpr std::uint32_t kDriverVersion3 = 3;

struct DriverEntry {
    std::u16string name;
    std::u16string environment;  // as the spooler reports it
};

using DriverList = std::vector<DriverEntry>;

// The drivers of one environment in the spooler's order; empty when there are none or the call fails.
[[nodiscard]] DriverList EnumPrinterDriverList(Spooler& spooler, std::u16string_view environment);
// The driver in the x86 environment, then in x64; the spooler refuses a driver a printer still uses.
void DeletePrinterDriverAllEnvironments(Spooler& spooler, Registry& registry, System& system,
                                        std::u16string_view driverName);
// Every printer driver of the machine, environment by environment.
void DeleteAllPrinterDrivers(Spooler& spooler, Registry& registry, System& system);

}  // namespace spoolsweep
