#pragma once
// Backup and restore of what a removal deletes from the registry and the disk. The preview's run on a
// snapshot tells what goes; the backup keeps each key and value (type and bytes) and each file (bytes and
// attributes) and folder in a new folder with a manifest; the restore puts back only what the machine lacks,
// never overwriting, and only under the keys and folders the program's residue tables name.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/machine.h"
#include "platform/sim/sim_machine.h"
#include "platform/spooler.h"
#include "preview/preview.h"

namespace spoolsweep::preview {

inline constexpr int kBackupVersion = 1;
inline constexpr std::u16string_view kManifestName = u"manifest.json";
inline constexpr std::u16string_view kDataFolderName = u"files";
// Each driver's files, in a folder named by its place in the manifest, each file under its own name.
inline constexpr std::u16string_view kDriverFolderName = u"drivers";
// Each driver package's folder, in a folder named by its place in the manifest, under the name the driver
// store gave it.
inline constexpr std::u16string_view kPackageFolderName = u"packages";
// A driver package with more files than this is not backed up.
inline constexpr std::size_t kMaxPackageFiles = 4096;
// A file larger than this is not backed up (it is named as not restorable).
inline constexpr std::uint64_t kMaxBackupFileBytes = 256ULL << 20;

struct BackupKey {
    Handle root = 0;
    std::u16string path;
};

struct BackupValue {
    Handle root = 0;
    std::u16string key, name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

struct BackupPath {
    std::u16string path;
    std::uint32_t attributes = 0;
    // Files only: the bytes, and as the manifest lists them their size and SHA-256.
    std::string bytes;
    std::uint64_t size = 0;
    std::string sha256;
};

// A form as AddFormW takes it back (FORM_INFO_1).
using BackupForm = FormInfo;

// A printer's data value as SetPrinterDataExW takes it back: the key below the printer ("PrinterDriverData",
// "DsSpooler\\Sub"), the value's name, type and bytes.
struct BackupPrinterData {
    std::u16string printer, key, name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// A driver as AddPrinterDriverExW takes it back: its definition, each file by its name alone, and each
// file's bytes, size and SHA-256 (`path` its name).
struct BackupDriver {
    DriverDefinition definition;
    std::vector<BackupPath> files;
    std::u16string folder;  // a read backup's folder of the files, from which the spooler copies them
};

// A driver package as UploadPrinterDriverPackageW takes it back: its INF in a folder of the driver store's
// FileRepository, its environment, and every file below that folder (`path` relative to it).
struct BackupPackage {
    std::u16string inf, environment;
    std::vector<BackupPath> files;
    std::u16string folder;  // a read backup's copy of the package folder, from which the store takes it
};

struct NotRestorable {
    std::string what, reason;
};

struct BackupContents {
    std::vector<BackupKey> keys;  // parents before their subkeys
    std::vector<BackupValue> values;
    std::vector<BackupPath> folders;  // parents before what they hold
    std::vector<BackupPath> files;
    std::vector<BackupForm> forms;
    std::vector<PortInfo> ports;          // the kept printers' ports, with their monitors
    std::vector<BackupPackage> packages;  // before the drivers: a driver may need its package
    std::vector<BackupDriver> drivers;
    std::vector<PrinterDefinition> printers;     // local queues, each as AddPrinterW takes it back
    std::vector<BackupPrinterData> printerData;  // of those printers
    std::vector<std::u16string> connections;     // "\\server\printer"
    std::vector<NotRestorable> notRestorable;
    nlohmann::ordered_json machine;  // where the backup was taken
};

// The registry and file entries of a simulated machine that a run may delete, with their data.
struct ResidueState {
    std::map<std::pair<Handle, std::u16string>, bool> keys;
    using Values = std::map<std::tuple<Handle, std::u16string, std::u16string>,
                            std::pair<std::uint32_t, std::vector<std::uint8_t>>>;
    Values values;
    std::map<std::u16string, BackupPath> paths;
    std::set<std::u16string> links;  // paths that are links or second names: never backed up
    MachineState spooler;            // printers, drivers and forms
    std::vector<sim::SimForm> forms;
    std::vector<sim::SimPrinter> printers;
};

[[nodiscard]] ResidueState CaptureResidue(const sim::SimMachine& machine);

// What the run on `ran` deleted (before to after): the keys the residue cleaners deleted (not those the
// spooler took with a printer or driver), the values, files, folders, forms and local printers with their
// data; drivers, connections and what cannot be kept are named as not restorable. Files have no bytes yet.
[[nodiscard]] BackupContents SelectDeleted(const ResidueState& before, const ResidueState& after,
                                           const sim::SimMachine& ran);

// Reads each file's bytes and attributes, and each driver's definition and files, from the real machine;
// what cannot be read as a plain file moves to the not-restorable list. Also names the machine.
void ReadBackupFiles(Machine& machine, BackupContents& contents);

[[nodiscard]] nlohmann::ordered_json ManifestJson(const BackupContents& contents);

// Creates `folder` (a full path; refused when it exists or it or a folder on its path is a link) and writes
// the files' bytes and the manifest into it. Empty on success, else what went wrong.
[[nodiscard]] std::string WriteBackup(Files& files, std::u16string_view folder,
                                      const BackupContents& contents);

// Where a restore may write: the registry subtrees and folders of this machine's residue tables.
struct RestoreScope {
    std::vector<std::pair<Handle, std::u16string>> keys;
    std::vector<std::u16string> folders;
    std::u16string system;  // the system folder, whose driver store holds the packages
};

[[nodiscard]] RestoreScope ReadRestoreScope(Machine& machine);

// A backup read and checked whole: every entry inside the scope, every file's size and hash matching, no link
// and nothing unlisted in the folder. `error` names the first entry refused; nothing is then to be written.
struct LoadedBackup {
    std::string error;
    BackupContents contents;
};

[[nodiscard]] LoadedBackup LoadBackup(Files& files, std::u16string_view folder, const RestoreScope& scope);

// The manifest's text checked and read; the files' bytes are not read.
[[nodiscard]] LoadedBackup ParseManifest(std::string_view text, const RestoreScope& scope);

struct RestoreLine {
    std::string entry;  // "registry key HKLM\...", "file C:\...", ...
    bool putBack = false;
    std::string reason;  // why not, or "" when put back
};

// Puts back, in order, drivers, forms, printers and their data, connections, keys, values, folders and files
// the machine lacks; with `dryRun` only says what it would put back. The manifest's not-restorable entries
// come last.
[[nodiscard]] std::vector<RestoreLine> Restore(Machine& machine, const BackupContents& contents, bool dryRun);

// Before --backup's --run starts `program` (a full path): the backup in `folder` reads back whole, as a
// restore would read it, and the program is a plain file that no one but administrators could have written,
// in such a folder. Empty when it may run, else why not.
[[nodiscard]] std::string CheckRunAfterBackup(Machine& machine, std::u16string_view folder,
                                              std::u16string_view program);

[[nodiscard]] std::string FormatRestore(const std::vector<RestoreLine>& lines, bool dryRun);
[[nodiscard]] nlohmann::ordered_json RestoreJson(const std::vector<RestoreLine>& lines, bool dryRun);

// The backup's summary for the console: what is kept and what is not.
[[nodiscard]] std::string FormatBackupSummary(std::u16string_view folder, const BackupContents& contents);

// The preview's run on `snapshot` (taken from `machine`), and the backup of what it deletes written to
// `folder`; `error` says why nothing or not all was written.
struct BackupRun {
    PreviewReport report;
    BackupContents contents;
    std::string error;
};

[[nodiscard]] BackupRun RunBackup(Machine& machine, sim::SimMachine& snapshot, const PreviewOptions& options,
                                  std::vector<std::string> snapshotNotes, std::u16string_view folder);

// "printer data <printer>\<key> "<name>"": a printer data value as the backup's lines name it.
[[nodiscard]] std::string PrinterDataText(const BackupPrinterData& value);

// The folders of a package's copy, relative to it: "" (the package folder itself) and each folder its files'
// paths pass through, once whatever the letter case, each after its parent.
[[nodiscard]] std::vector<std::u16string> PackageSubfolders(const BackupPackage& package);

// "driver package <inf>, <environment>": a package as the backup's lines name it.
[[nodiscard]] std::string PackageText(const BackupPackage& package);

// Where backup `backup` keeps the copy of its package `index` whose INF is `inf`: "packages\<index>\" and
// the name of the INF's folder, as the driver store named it.
[[nodiscard]] std::u16string PackageCopyFolder(std::u16string_view backup, std::size_t index,
                                               std::u16string_view inf);

// "<environment>, <name>": a driver as the backup's lines name it.
[[nodiscard]] std::string DriverText(const DriverDefinition& driver);

// "HKLM\<path>": a key as the backup's lines name it.
[[nodiscard]] std::string KeyText(Handle root, std::u16string_view path);

// A key path of names, none empty: no leading, trailing or doubled backslash, no null.
[[nodiscard]] bool IsPlainKeyPath(std::u16string_view path);

// A form a restore adds: a name the spooler could list and the removal delete (not empty, not too long, no
// backslash or control character), not built-in, and a paper with its imageable area inside it.
[[nodiscard]] bool IsRestorableForm(const BackupForm& form);

// A printer a restore adds: a local queue's plain name, a driver, port and print processor named plainly, no
// separator page but a local full path, and a DEVMODE and security descriptor whose bytes hold together.
[[nodiscard]] bool IsRestorablePrinter(const PrinterDefinition& printer);

// A driver a restore adds: an environment the program knows, a plain name, and files named plainly.
[[nodiscard]] bool IsRestorableDriver(const DriverDefinition& driver);

// A driver package a restore uploads: an environment the program knows, an INF named "<name>.inf" in a
// folder of `system`\DriverStore\FileRepository, and files named by plain relative paths, the INF among them.
[[nodiscard]] bool IsRestorablePackage(const BackupPackage& package, std::u16string_view system);

// A port a restore adds: a plain name without a comma (a printer's list of ports is split at commas), and
// a monitor's name without a control character.
[[nodiscard]] bool IsRestorablePort(const PortInfo& port);

// A connection a restore adds: "\\server\printer", both names plain.
[[nodiscard]] bool IsRestorableConnection(std::u16string_view name);

// True when `path` is a full path ("C:\a\b") whose every name is one Windows could hold as it is written.
[[nodiscard]] bool IsPlainFullPath(std::u16string_view path);

// Each folder from the drive's first down to `path` itself that exists must be itself: no reparse point, and
// its final path the path as written (a full path). The first that is not, or nothing.
[[nodiscard]] std::optional<std::u16string> FindLinkOnPath(Files& files, std::u16string_view path);

}  // namespace spoolsweep::preview
