#pragma once
// File residue of removed printers and drivers: spooler temporary files of connections, a driver's
// watermark and temporary files, a plug-and-play driver's files in the spool driver folders, the per-user
// presets of a Tamber driver, files of the maker's tools, and the driver updater's folders. Nothing is
// reported: a file that is in use, protected or missing stays and the next file or step follows.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "spooler/printer_catalogue.h"

namespace spoolsweep {

inline constexpr std::u16string_view kUpdaterExeName = u"Tamber Driver Updater.exe";
// The spool driver folders of the two driver environments, always in this order.
inline constexpr std::array<std::u16string_view, 2> kEnvironmentFolders = {u"w32x86", u"x64"};
// The Tamber drivers' preset folders lie below this folder of Application Data.
inline constexpr std::u16string_view kPresetsFolder = u"Norvel\\JPData";

struct UpdaterFolders {
    std::u16string install;
    std::u16string backup;
};

enum class UpdaterCopy {
    Backup,   // install folder to backup folder
    Restore,  // backup folder to install folder
};

// Deletes every file matching `pattern` (wildcards in its last component only), read-only ones included.
// Folders that match are left as they are, and the search does not descend into them.
void DeleteMatchingFiles(Files& files, std::u16string_view pattern);
// The Windows folder followed by "\Temp"; empty when the Windows folder cannot be read.
[[nodiscard]] std::u16string GetWindowsTempPath(Files& files);
// A connection's spooler temporary files in the user and the Windows Temp folders; nothing for a local
// printer (empty serverName).
void DeletePrinterTempFiles(Files& files, Registry& registry, std::u16string_view printerName,
                            std::u16string_view serverName);
// A deleted driver's files: watermark and temporary files in both Temp folders, a plug-and-play driver's
// hardware-ID folder in both spool driver folders, and the presets' "preferences" file.
void DeleteDriverFiles(Files& files, Registry& registry, std::u16string_view dataFileBase,
                       std::u16string_view dsDriverName, std::u16string_view pnpHardwareId);
// The "preferences" file of the driver's preset folder, the "DMT_" folder before the "DrvJP_" one.
void DeletePresetPreferences(Files& files, std::u16string_view dataFileBase);
// The driver's whole preset folder, the "DMT_" one before the "DrvJP_" one.
void DeletePresetFolder(Files& files, std::u16string_view dataFileBase);
// Files lying directly in both spool driver folders, and the maker's tools' files in the user Temp folder.
void DeleteSharedResidue(Files& files, Registry& registry);
// Deletes the folder with everything below it through the shell, silently; returns the shell's result.
[[nodiscard]] int DeleteFolderTree(Files& files, std::u16string_view path);
// The driver updater's install and backup folders on this machine's native architecture.
[[nodiscard]] UpdaterFolders SelectUpdaterFolders(System& system);
// Copies the updater program between its install and backup folders, creating (or reusing) the target.
void CopyUpdater(Files& files, System& system, UpdaterCopy direction);
// The data-file base names of the catalogue's printers not removed, in catalogue order, empty ones included.
[[nodiscard]] std::vector<std::u16string> CollectRemainingDataFiles(Registry& registry,
                                                                    const PrinterCatalogue& catalogue);
// How many of the catalogue's remainingDataFiles belong to a Tamber driver.
[[nodiscard]] int CountTamberDataFiles(const PrinterCatalogue& catalogue);

}  // namespace spoolsweep
