#include "cleanup/registry_residue.h"

#include <array>
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

void DeleteDmtDevModeWhenEmpty(Registry& registry) {
    constexpr std::u16string_view kDmtDevMode = u"Printers\\DMTDevMode";
    RegistryKey key = OpenAllAccess(registry, kHkeyCurrentUser, kDmtDevMode);
    if (!key || CountSubkeys(registry, std::move(key)) == 0) {
        DeleteKey(registry, kHkeyCurrentUser, kDmtDevMode);
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

void DeletePrinterRegistryResidue(Registry& registry, std::u16string_view printerName) {
    DeleteNamedKey(registry, kHkeyCurrentUser, u"Printers\\Settings\\Printers", printerName);
    DeleteNamedKey(registry, kHkeyUsers, u".DEFAULT\\Printers\\Settings\\Printers", printerName);
    // A value name is no path; only the key's default value is kept out of reach.
    if (!printerName.empty()) {
        DeleteValue(registry, kHkeyCurrentUser, u"Printers\\Settings", printerName);
    }
    DeleteNamedKey(registry, kHkeyLocalMachine, u"Software\\Norvel\\Trackwell\\printers", printerName);
    DeleteNamedKey(registry, kHkeyCurrentUser,
                   u"Software\\Norvel\\Job Properties\\LocalWaterMarkData\\Printers", printerName);
    // The drivers keep one watermark key for all printers; it goes whole.
    DeleteKey(registry, kHkeyLocalMachine, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Watermark");
}

void DeleteDriverRegistryResidue(Registry& registry, std::u16string_view name,
                                 std::u16string_view modelName) {
    DeleteNamedKey(registry, kHkeyCurrentUser, u"Printers\\DMTDevMode", name);
    DeleteDmtDevModeWhenEmpty(registry);
    // The default account keeps its own device-mode cache, as it keeps its own printer settings (which the
    // per-printer set removes through ".DEFAULT\"); directly under HKEY_USERS there are only account hives,
    // so the printer's cache is looked for in the default account's.
    DeleteNamedKey(registry, kHkeyUsers, u".DEFAULT\\Printers\\DMTDevMode", name);
    DeleteNamedKey(registry, kHkeyCurrentUser, u"Software\\Norvel\\Job Properties\\Driver", modelName);

    constexpr std::array<std::u16string_view, 12> kDriverKeys = {
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
    for (std::u16string_view driverKey : kDriverKeys) {
        DeleteNamedKey(registry, kHkeyLocalMachine, driverKey, name);
    }
}

void DeleteAllPrinterRegistryResidue(Registry& registry) {
    const std::u16string sid(kFixedAccountSid);

    DeleteValue(registry, kHkeyCurrentUser, u"Printers\\Settings\\Wizard", u"Driver Name");
    DeleteKey(registry, kHkeyLocalMachine, u"System\\CurrentControlSet\\Control\\Print\\Watermark");
    DeleteKey(registry, kHkeyLocalMachine, u"System\\ControlSet001\\Control\\Print\\Watermark");
    DeleteKey(registry, kHkeyLocalMachine, u"System\\ControlSet002\\Control\\Print\\Watermark");
    DeleteKey(registry, kHkeyLocalMachine, u"System\\ControlSet003\\Control\\Print\\Watermark");
    DeleteValue(registry, kHkeyLocalMachine, u"Software\\Microsoft\\Windows\\CurrentVersion\\Setup",
                u"Installation Sources");
    DeleteKey(registry, kHkeyCurrentUser,
              u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU\\INF");
    DeleteKey(registry, kHkeyUsers, sid + u"\\Printers\\DevModes2");
    DeleteKey(registry, kHkeyUsers, sid + u"\\Printers\\DevModePerUser");
    DeleteKey(registry, kHkeyUsers,
              sid + u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg\\INF");
    DeleteAllValues(registry, kHkeyLocalMachine, u"SOFTWARE\\PPML\\PostScript");
    DeleteAllSubkeysOf(registry, kHkeyUsers, u".Default\\Printers\\Settings\\Printers");
    DeleteAllSubkeysOf(registry, kHkeyUsers, u"S-1-5-18\\Printers\\Settings\\Printers");
    DeleteAllSubkeysOf(registry, kHkeyUsers, sid + u"\\Printers\\Settings\\Printers");
    DeleteAllSubkeysOf(registry, kHkeyCurrentUser, u"Printers\\Settings\\Printers");
    DeleteAllValues(registry, kHkeyCurrentUser, u"Printers\\DevModes2");
    DeleteAllValues(registry, kHkeyCurrentUser, u"Printers\\DevModePerUser");
    DeleteAllValues(registry, kHkeyUsers, u".DEFAULT\\Printers\\DevModes2");
    DeleteAllValues(registry, kHkeyUsers, u".DEFAULT\\Printers\\DevModePerUser");
    DeleteAllSubkeysOf(
        registry, kHkeyLocalMachine,
        u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\Client Side Rendering "
        u"Print Provider\\Servers");
    DeleteAllSubkeysOf(
        registry, kHkeyLocalMachine,
        u"System\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3");
    DeleteAllSubkeysOf(
        registry, kHkeyLocalMachine,
        u"System\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-3");
    DeleteAllSubkeysOf(registry, kHkeyLocalMachine,
                       u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\LanMan Print "
                       u"Services\\Servers");
}

}  // namespace spoolsweep
