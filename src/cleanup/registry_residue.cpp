#include "cleanup/registry_residue.h"

#include <array>
#include <iterator>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "cleanup/safe_paths.h"
#include "platform/win_errors.h"

namespace spoolsweep {
namespace {

using NameReader = NameResult (Registry::*)(Handle, std::uint32_t, std::uint32_t);

// Names at index 0, 1, 2, ... until the call fails; a name that would not fit the buffer fails it.
std::vector<std::u16string> CollectNames(Registry& registry, Handle key, NameReader read) {
    std::vector<std::u16string> names;
    for (std::uint32_t index = 0;; ++index) {
        NameResult result = (registry.*read)(key, index, kRegNameBufferChars);
        if (result.error != win_error::kSuccess || result.name.size() >= kRegNameBufferChars) {
            return names;
        }
        names.push_back(std::move(result.name));
    }
}

RegistryKey OpenAllAccess(Registry& registry, Handle root, std::u16string_view path) {
    return RegistryKey(registry.OpenKeyEx(root, path, kKeyAllAccess).handle, {&registry});
}

void DeleteKey(Registry& registry, Handle root, std::u16string_view path) {
    static_cast<void>(registry.DeleteTree(root, path));
}

// The key parent\name, name being a printer's or driver's name; a name that could reach beyond the key it
// is meant to name is not deleted.
void DeleteNamedKey(Registry& registry, Handle root, std::u16string_view parent, std::u16string_view name) {
    if (const auto path = BuildSubkeyPath(parent, name)) {
        DeleteKey(registry, root, *path);
    }
}

void DeleteValue(Registry& registry, Handle root, std::u16string_view path, std::u16string_view valueName) {
    const RegistryKey key = OpenAllAccess(registry, root, path);
    if (key) {
        static_cast<void>(registry.DeleteValue(key.get(), valueName));
    }
}

void DeleteAllSubkeysOf(Registry& registry, Handle root, std::u16string_view path) {
    if (RegistryKey key = OpenAllAccess(registry, root, path)) {
        DeleteAllSubkeys(registry, std::move(key));
    }
}

}  // namespace

void DeleteAllSubkeys(Registry& registry, RegistryKey key) {
    for (const std::u16string& name : CollectNames(registry, key.get(), &Registry::EnumKey)) {
        static_cast<void>(registry.DeleteTree(key.get(), name));
    }
}

std::uint32_t CountSubkeys(Registry& registry, RegistryKey key) {
    return static_cast<std::uint32_t>(CollectNames(registry, key.get(), &Registry::EnumKey).size());
}

void DeleteAllValues(Registry& registry, Handle root, std::u16string_view path) {
    const RegistryKey key = OpenAllAccess(registry, root, path);
    if (!key) {
        return;
    }
    for (const std::u16string& name : CollectNames(registry, key.get(), &Registry::EnumValue)) {
        DeleteValue(registry, root, path, name);
    }
}

namespace {

// String literals, so the sweep's keys in the fixed account's hive can be spelt whole in its table.
#define SPOOLSWEEP_FIXED_SID u"S-1-5-21-1000000001-2000000002-3000000003-40000"
static_assert(kFixedAccountSid == SPOOLSWEEP_FIXED_SID);

using enum ResidueTarget;

constexpr std::u16string_view kWatermarkKey = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Watermark";

constexpr std::array kPrinterSteps = {
    RegistryResidueStep{kHkeyCurrentUser, u"Printers\\Settings\\Printers", PrinterSubkey},
    RegistryResidueStep{kHkeyUsers, u".DEFAULT\\Printers\\Settings\\Printers", PrinterSubkey},
    RegistryResidueStep{kHkeyCurrentUser, u"Printers\\Settings", PrinterValue},
    RegistryResidueStep{kHkeyLocalMachine, u"Software\\Norvel\\Trackwell\\printers", PrinterSubkey},
    RegistryResidueStep{kHkeyCurrentUser, u"Software\\Norvel\\Job Properties\\LocalWaterMarkData\\Printers",
                        PrinterSubkey},
    // The drivers keep one watermark key for all printers; it goes whole.
    RegistryResidueStep{kHkeyLocalMachine, kWatermarkKey, Key},
};

// The spooler's driver keys in every control set; a driver's set removes the key named after the printer
// from each.
constexpr std::u16string_view kDriverKeys[] = {
    u"System\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-3",
    u"System\\ControlSet001\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-3",
    u"System\\ControlSet002\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-3",
    u"System\\ControlSet003\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-3",
    u"System\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-2",
    u"System\\ControlSet001\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-2",
    u"System\\ControlSet002\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-2",
    u"System\\ControlSet003\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-2",
    u"System\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3",
    u"System\\ControlSet001\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3",
    u"System\\ControlSet002\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3",
    u"System\\ControlSet003\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3",
};

constexpr auto kDriverSteps = [] {
    std::array<RegistryResidueStep, 4 + std::size(kDriverKeys)> steps = {{
        {kHkeyCurrentUser, u"Printers\\DMTDevMode", PrinterSubkey},
        {kHkeyCurrentUser, u"Printers\\DMTDevMode", KeyWithoutSubkeys},
        // The default account keeps its own device-mode cache, as it keeps its own printer settings (which
        // the per-printer set removes through ".DEFAULT\"); directly under HKEY_USERS there are only account
        // hives, so the printer's cache is looked for in the default account's.
        {kHkeyUsers, u".DEFAULT\\Printers\\DMTDevMode", PrinterSubkey},
        {kHkeyCurrentUser, u"Software\\Norvel\\Job Properties\\Driver", ModelSubkey},
    }};
    for (std::size_t i = 0; i < std::size(kDriverKeys); ++i) {
        steps[4 + i] = {kHkeyLocalMachine, kDriverKeys[i], PrinterSubkey};
    }
    return steps;
}();

constexpr std::array kSweepSteps = {
    RegistryResidueStep{kHkeyCurrentUser, u"Printers\\Settings\\Wizard", Value, u"Driver Name"},
    RegistryResidueStep{kHkeyLocalMachine, u"System\\CurrentControlSet\\Control\\Print\\Watermark", Key},
    RegistryResidueStep{kHkeyLocalMachine, u"System\\ControlSet001\\Control\\Print\\Watermark", Key},
    RegistryResidueStep{kHkeyLocalMachine, u"System\\ControlSet002\\Control\\Print\\Watermark", Key},
    RegistryResidueStep{kHkeyLocalMachine, u"System\\ControlSet003\\Control\\Print\\Watermark", Key},
    RegistryResidueStep{kHkeyLocalMachine, u"Software\\Microsoft\\Windows\\CurrentVersion\\Setup", Value,
                        u"Installation Sources"},
    RegistryResidueStep{kHkeyCurrentUser,
                        u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU\\INF",
                        Key},
    RegistryResidueStep{kHkeyUsers, SPOOLSWEEP_FIXED_SID u"\\Printers\\DevModes2", Key},
    RegistryResidueStep{kHkeyUsers, SPOOLSWEEP_FIXED_SID u"\\Printers\\DevModePerUser", Key},
    RegistryResidueStep{
        kHkeyUsers,
        SPOOLSWEEP_FIXED_SID u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg\\INF", Key},
    RegistryResidueStep{kHkeyLocalMachine, u"SOFTWARE\\PPML\\PostScript", AllValues},
    RegistryResidueStep{kHkeyUsers, u".Default\\Printers\\Settings\\Printers", AllSubkeys},
    RegistryResidueStep{kHkeyUsers, u"S-1-5-18\\Printers\\Settings\\Printers", AllSubkeys},
    RegistryResidueStep{kHkeyUsers, SPOOLSWEEP_FIXED_SID u"\\Printers\\Settings\\Printers", AllSubkeys},
    RegistryResidueStep{kHkeyCurrentUser, u"Printers\\Settings\\Printers", AllSubkeys},
    RegistryResidueStep{kHkeyCurrentUser, u"Printers\\DevModes2", AllValues},
    RegistryResidueStep{kHkeyCurrentUser, u"Printers\\DevModePerUser", AllValues},
    RegistryResidueStep{kHkeyUsers, u".DEFAULT\\Printers\\DevModes2", AllValues},
    RegistryResidueStep{kHkeyUsers, u".DEFAULT\\Printers\\DevModePerUser", AllValues},
    RegistryResidueStep{
        kHkeyLocalMachine,
        u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\Client Side Rendering "
        u"Print Provider\\Servers",
        AllSubkeys},
    RegistryResidueStep{kHkeyLocalMachine, kDriverKeys[8], AllSubkeys},  // Windows x64, Version-3
    RegistryResidueStep{kHkeyLocalMachine, kDriverKeys[0], AllSubkeys},  // Windows NT x86, Version-3
    RegistryResidueStep{kHkeyLocalMachine,
                        u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\LanMan Print "
                        u"Services\\Servers",
                        AllSubkeys},
};

#undef SPOOLSWEEP_FIXED_SID

void RunStep(Registry& registry, const RegistryResidueStep& step, std::u16string_view printerName,
             std::u16string_view modelName) {
    switch (step.target) {
        case PrinterSubkey:
            DeleteNamedKey(registry, step.root, step.path, printerName);
            break;
        case ModelSubkey:
            DeleteNamedKey(registry, step.root, step.path, modelName);
            break;
        case PrinterValue:
            // A value name is no path; only the key's default value is kept out of reach.
            if (!printerName.empty()) {
                DeleteValue(registry, step.root, step.path, printerName);
            }
            break;
        case Key:
            DeleteKey(registry, step.root, step.path);
            break;
        case KeyWithoutSubkeys: {
            RegistryKey key = OpenAllAccess(registry, step.root, step.path);
            if (!key || CountSubkeys(registry, std::move(key)) == 0) {
                DeleteKey(registry, step.root, step.path);
            }
            break;
        }
        case Value:
            DeleteValue(registry, step.root, step.path, step.valueName);
            break;
        case AllValues:
            DeleteAllValues(registry, step.root, step.path);
            break;
        case AllSubkeys:
            DeleteAllSubkeysOf(registry, step.root, step.path);
            break;
    }
}

void RunSteps(Registry& registry, std::span<const RegistryResidueStep> steps, std::u16string_view printerName,
              std::u16string_view modelName) {
    for (const RegistryResidueStep& step : steps) {
        RunStep(registry, step, printerName, modelName);
    }
}

}  // namespace

std::span<const RegistryResidueStep> PrinterResidueSteps() {
    return kPrinterSteps;
}

std::span<const RegistryResidueStep> DriverResidueSteps() {
    return kDriverSteps;
}

std::span<const RegistryResidueStep> SweepResidueSteps() {
    return kSweepSteps;
}

void DeletePrinterRegistryResidue(Registry& registry, std::u16string_view printerName) {
    RunSteps(registry, kPrinterSteps, printerName, {});
}

void DeleteDriverRegistryResidue(Registry& registry, std::u16string_view name,
                                 std::u16string_view modelName) {
    RunSteps(registry, kDriverSteps, name, modelName);
}

void DeleteAllPrinterRegistryResidue(Registry& registry) {
    RunSteps(registry, kSweepSteps, {}, {});
}

}  // namespace spoolsweep
