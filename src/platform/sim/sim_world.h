#pragma once
// The simulated machine's world state, shared by the seam implementations. Internal to the sim library.
#include <cstdint>
#include <ctime>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/text.h"

namespace spoolsweep::sim {

// Error codes the simulated machine reports beyond those the program acts on.
// The spooler's key under HKLM.
inline constexpr std::u16string_view kPrintKey = u"SYSTEM\\CurrentControlSet\\Control\\Print";

namespace sim_error {
inline constexpr std::uint32_t kNoMoreFiles = 18;
inline constexpr std::uint32_t kFileExists = 80;
inline constexpr std::uint32_t kInvalidName = 123;
inline constexpr std::uint32_t kBadPathname = 161;
inline constexpr std::uint32_t kProcNotFound = 127;
inline constexpr std::uint32_t kDirectory = 267;
inline constexpr std::uint32_t kKeyDeleted = 1018;
inline constexpr std::uint32_t kDependentServicesRunning = 1051;
inline constexpr std::uint32_t kCancelled = 1223;
inline constexpr std::uint32_t kCantResolveFilename = 1921;
inline constexpr std::uint32_t kInvalidEnvironment = 1805;
inline constexpr std::uint32_t kInvalidFormName = 1902;
inline constexpr std::uint32_t kDriverPackageInUse = 3015;
}  // namespace sim_error

// Upper-case form of a name, for comparisons without case (ASCII, Latin-1, Greek and Cyrillic letters).
[[nodiscard]] char16_t FoldChar(char16_t unit);
[[nodiscard]] std::u16string Fold(std::u16string_view text);
[[nodiscard]] bool EqualNoCase(std::u16string_view a, std::u16string_view b);
[[nodiscard]] bool ContainsNoCase(std::u16string_view text, std::u16string_view part);
// UTF-16 to UTF-8 (unpaired surrogates become U+FFFD), for journal lines and dumps.
[[nodiscard]] std::string ToUtf8(std::u16string_view text);
[[nodiscard]] std::u16string FromUtf8(std::string_view text);
// A file path's components: "\\" and "/" both separate.
[[nodiscard]] std::vector<std::u16string> SplitPath(std::u16string_view path);
// A registry key path's names: only "\\" separates, "/" is a character of key names as Windows has it.
[[nodiscard]] std::vector<std::u16string> SplitKeyPath(std::u16string_view path);
// FindFirstFileW's matching of one name against the last component of a pattern, without case.
[[nodiscard]] bool MatchesFileMask(std::u16string_view mask, std::u16string_view name);

struct RegValue {
    std::u16string name;
    std::uint32_t type = kRegSz;
    std::vector<std::uint8_t> data;
};

struct RegKey {
    std::u16string name;
    std::vector<RegValue> values;  // in creation order
    // Keyed by the folded name, so subkeys enumerate in case-insensitive alphabetical order.
    std::map<std::u16string, std::unique_ptr<RegKey>> subkeys;
    // A registry link (REG_LINK) when linkRoot is set: opening the key opens the key at linkPath instead.
    Handle linkRoot = 0;
    std::u16string linkPath;

    [[nodiscard]] RegKey* Find(std::u16string_view child);
    [[nodiscard]] RegKey& Child(std::u16string_view child);
    // The subkey at `index` in enumeration order, or null past the last; listing all n costs n steps, not
    // n*n/2, as the last place asked is kept until the subkeys change (Child, RemoveSubkey, ClearSubkeys).
    [[nodiscard]] RegKey* SubkeyAt(std::size_t index);
    bool RemoveSubkey(std::u16string_view child);
    void ClearSubkeys();
    std::optional<std::pair<std::size_t, std::map<std::u16string, std::unique_ptr<RegKey>>::iterator>>
        enumerated;
    [[nodiscard]] RegValue* FindValue(std::u16string_view valueName);
};

struct FileNode {
    std::u16string path;  // as created, e.g. "C:\Windows\Temp"
    bool folder = false;
    std::uint32_t attributes = kFileAttributeArchive;
    std::string contents;
    bool writable = true;  // folders only: files inside cannot be created, changed or deleted
    // A symbolic link or junction: its tag and the normalised path it points at (which need not exist). A
    // folder link has `folder` set, as Windows reports FILE_ATTRIBUTE_DIRECTORY on it.
    std::uint32_t reparseTag = 0;
    std::u16string linkTarget;
    // A second name of the file at this normalised path: data and attributes are that file's.
    std::u16string hardLinkOf;
    // Owner and access list set on this node; without them it has its parent's, and the drive's are the
    // defaults of SimMachine::DefaultSecurity.
    std::optional<FileSecurity> security;

    [[nodiscard]] bool IsLink() const { return reparseTag != 0; }
    [[nodiscard]] bool IsFileLink() const { return IsLink() && !folder; }
};

struct OpenRegKey {
    Handle root = 0;
    std::vector<std::u16string> path;  // canonical names from the root
    std::uint32_t access = 0xF003F;    // the predefined roots hold every right
};

// Specific rights the simulated machine checks against the access a handle was opened with.
namespace sim_access {
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kPrinterAdminister = 0x0004;
inline constexpr std::uint32_t kPrinterUse = 0x0008;
inline constexpr std::uint32_t kDelete = 0x00010000;
inline constexpr std::uint32_t kScManagerConnect = 0x0001;
inline constexpr std::uint32_t kServiceQueryStatus = 0x0004;
inline constexpr std::uint32_t kServiceEnumerateDependents = 0x0008;
inline constexpr std::uint32_t kServiceStart = 0x0010;
inline constexpr std::uint32_t kServiceStop = 0x0020;
// True when every right of `needed` is held.
[[nodiscard]] inline bool Holds(std::uint32_t access, std::uint32_t needed) {
    return (access & needed) == needed;
}
}  // namespace sim_access

struct OpenPrinterHandle {
    std::u16string printer;  // empty: the local print server
    std::uint32_t access = 0;
    std::optional<std::uint32_t> jobAnswer;  // the scripted job count this handle took
};

struct FindState {
    std::vector<FindEntry> entries;
    std::size_t next = 0;
};

struct OpenServiceHandle {
    std::u16string name;  // empty: a manager handle
    std::uint32_t access = 0;
};

struct OpenKernel {
    bool snapshot = false;
    std::vector<ProcessEntry> entries;  // snapshots
    std::size_t next = 0;
    std::uint32_t processId = 0;  // processes
    std::uint32_t access = 0;
};

struct World {
    World();

    CallLog calls;
    Faults faults;
    std::vector<std::string> journal;

    // Records the call and consults the faults: the error to fail with, or 0.
    [[nodiscard]] std::uint32_t Enter(std::string_view function, std::u16string_view argument = {});
    void Journal(std::string line) { journal.push_back(std::move(line)); }
    [[nodiscard]] Handle NewHandle() { return nextHandle += 4; }
    Handle nextHandle = 0x1000;
    std::uint64_t badCloses = 0;

    // Registry.
    RegKey hkcu;
    RegKey hklm;
    RegKey hku;
    std::map<Handle, OpenRegKey> regHandles;
    std::vector<std::pair<std::u16string, std::u16string>> environment;  // in the order set
    [[nodiscard]] RegKey* Root(Handle root);
    [[nodiscard]] static const char* RootName(Handle root);
    [[nodiscard]] RegKey* FindKey(Handle root, const std::vector<std::u16string>& path);
    [[nodiscard]] RegKey& MakeKey(Handle root, std::u16string_view path);
    // Removes the key and its subtree; false when it does not exist.
    bool RemoveKey(Handle root, std::u16string_view path);
    void PutValue(Handle root, std::u16string_view path, RegValue value);
    [[nodiscard]] std::optional<std::u16string> Environment(std::u16string_view name) const;

    // Spooler.
    // A list, each printer also found by its folded name: a terminal server's thousands are neither walked to
    // find one nor moved when one goes.
    std::list<SimPrinter> printers;
    // A list, each driver also found by its environment and name: neither walked nor moved, as printers.
    std::list<SimDriver> drivers;
    std::vector<SimForm> forms;
    // The ports printers may print to: a new machine's own, and each port a printer was installed with.
    std::vector<std::u16string> ports{u"LPT1:", u"LPT2:", u"LPT3:", u"COM1:",
                                      u"COM2:", u"COM3:", u"COM4:", u"FILE:"};
    std::vector<std::pair<std::u16string, std::u16string>> driverStore;  // (infPath, environment)
    // The printers servers share, by folded connection name: each a connection was made to.
    std::map<std::u16string, SimPrinter> sharedPrinters;
    std::vector<std::pair<std::u16string, std::u16string>> deletedPackages;
    std::optional<std::u16string> defaultPrinter;
    bool packageDeletion = true;
    // EnumPrintersW lists the printers last added first: the spooler promises no order.
    bool printersReversed = false;
    std::map<Handle, OpenPrinterHandle> printerHandles;
    [[nodiscard]] SimPrinter* FindPrinter(std::u16string_view name);
    // Takes a printer off the spooler with its registry key; a default printer stops being the default.
    void RemovePrinter(std::u16string_view name);
    // Puts a driver on the spooler in place of any of the same name and environment, with its key.
    void PutDriver(const SimDriver& driver);
    // The driver of that environment and name (compared without case), or drivers.end().
    [[nodiscard]] std::list<SimDriver>::iterator FindDriver(std::u16string_view environment,
                                                            std::u16string_view name);
    void EraseDriver(std::list<SimDriver>::iterator driver);
    void ClearDrivers();
    // Puts a printer on the spooler in place of any of the same name.
    void PutPrinter(const SimPrinter& printer);
    void ClearPrinters();
    // Whether a printer uses the driver (names compared without case), without a walk over the printers.
    [[nodiscard]] bool DriverInUse(std::u16string_view driver) const;

  private:
    std::unordered_map<std::u16string, std::size_t> printersByDriver_;  // by folded driver name
    std::unordered_map<std::u16string, std::list<SimPrinter>::iterator> printersByName_;
    std::unordered_map<std::u16string, std::list<SimDriver>::iterator> driversByKey_;  // DriverKey()
    [[nodiscard]] static std::u16string DriverKey(std::u16string_view environment, std::u16string_view name);

  public:
    // Files: keyed by the folded normalised path ("C:" is the drive's root).
    std::map<std::u16string, FileNode> files;
    std::u16string currentDirectory = u"C:\\Users\\admin";
    std::u16string windowsDirectory = u"C:\\Windows";
    std::map<int, std::optional<std::u16string>> specialFolders;
    std::map<Handle, FindState> findHandles;
    struct TextFileState {
        std::string contents;  // as the file held it when opened
        std::size_t position = 0;
    };
    std::map<Handle, TextFileState> textFiles;
    // A full normalised path ("C:\a\b"), or nothing for what the sim cannot name (UNC paths, empty text).
    [[nodiscard]] std::optional<std::u16string> Normalize(std::u16string_view path) const;
    [[nodiscard]] FileNode* Node(std::u16string_view normalized);
    [[nodiscard]] static std::u16string ParentOf(std::u16string_view normalized);
    [[nodiscard]] static std::u16string LeafOf(std::u16string_view normalized);
    [[nodiscard]] static std::u16string Display(std::u16string_view normalized);
    [[nodiscard]] std::vector<FileNode*> Children(std::u16string_view normalized);
    [[nodiscard]] bool Writable(std::u16string_view folder);
    FileNode& MakeFolder(std::u16string_view normalized);
    // The path every symbolic link and junction on the way leads to, the last component's own only when
    // followFinal; nothing past 63 links (Windows' limit, error 1921).
    [[nodiscard]] std::optional<std::u16string> ResolveLinks(std::u16string_view normalized, bool followFinal,
                                                             int depth = 0);
    // The path a caller's path names once WoW64 has redirected it (only when `wow64`).
    [[nodiscard]] std::u16string RedirectForWow64(std::u16string_view normalized) const;
    // The node that holds a file's data: the file a hard link names, else the node itself.
    [[nodiscard]] FileNode& DataOf(FileNode& node);
    // How many names the file of `node` has.
    [[nodiscard]] std::uint32_t LinkCount(FileNode& node);
    // Removes one name; a file whose first name goes keeps its data under the next.
    void EraseName(const std::u16string& normalized);

    // System.
    std::uint32_t osMajor = 10;
    std::uint32_t osMinor = 0;
    std::uint32_t osBuild = 19045;
    std::uint16_t architecture = 9;
    std::tm localTime{};
    std::uint32_t tick = 0x00100000;
    int messageBoxAnswer = 1;
    std::vector<int> queuedAnswers;
    // Wine 8's way with a symbolic link to a file: it shows as the file it names, opens as that file even
    // when asked not to follow, and DeleteFileW deletes that file, leaving the link.
    bool wineFileLinks = false;
    // The program runs as a 32-bit process on 64-bit Windows: WoW64 redirects the system folder.
    bool wow64 = false;
    bool consoleAttachable = true;
    bool consoleAttached = false;
    std::u16string commandLine = u"Spoolsweep.exe";
    std::string stdoutText;
    std::vector<SimMachine::MessageBoxCall> messageBoxes;
    std::uint32_t commonControlClasses = 0;
    std::uint32_t threadCodePage = 1252;  // the ANSI code page of the thread's locale
    // The resource module's string table; the program's own English entries unless a test changes them.
    std::map<std::uint32_t, std::u16string> strings = DefaultStringTable();
    [[nodiscard]] static std::map<std::uint32_t, std::u16string> DefaultStringTable();
    std::u16string modulePath = u"C:\\Program Files\\Spoolsweep\\Spoolsweep.exe";
    std::optional<std::u16string> localeAbbrevLanguage = u"ENU";  // nothing: the query fails
    std::map<Handle, std::u16string> libraries;                   // loaded, by handle
    Handle resourceModule = 0;                                    // 0: the program's own

    // Services, in the manager's order.
    std::vector<SimService> services;
    bool databaseLockHeldElsewhere = false;
    bool databaseLocked = false;
    std::map<Handle, OpenServiceHandle> serviceHandles;
    std::map<Handle, bool> lockHandles;
    [[nodiscard]] SimService* FindService(std::u16string_view name);
    // A pending stop or start completes once its time has passed.
    void Settle(SimService& service) const;

    // Processes, in snapshot order.
    std::vector<SimProcess> processes;
    std::uint32_t nextProcessId = 1000;
    std::map<Handle, OpenKernel> kernelHandles;

    [[nodiscard]] std::size_t OpenHandleCount() const;
};

}  // namespace spoolsweep::sim
