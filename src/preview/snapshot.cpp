#include "preview/snapshot.h"

#include <algorithm>
#include <set>

#include "cleanup/file_residue.h"
#include "cleanup/registry_facts.h"
#include "cleanup/registry_residue.h"
#include "cli/command_log.h"
#include "platform/sim/sim_world.h"
#include "platform/text.h"
#include "spooler/printer_operations.h"
#include "spooler/two_call_enumeration.h"

namespace spoolsweep::preview {
namespace {

using sim::ToUtf8;

// Read rights only: KEY_READ, PRINTER_ACCESS_USE, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE,
// SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS.
// "C:\\a\\.\\b\\..\\c" as "C:\\a\\c", as Windows reads a path before it looks anything up: a Temp setting
// may hold such steps, and a search for ".." names the folder it leads to, not one called "..".
std::u16string CollapseDots(std::u16string_view path) {
    if (path.size() < 2 || path[1] != u':') {
        return std::u16string(path);  // no drive: nothing the preview simulates
    }
    std::vector<std::u16string_view> parts;
    std::size_t from = 2;
    while (from < path.size()) {
        const std::size_t end = std::min(path.find(u'\\', from), path.size());
        const std::u16string_view part = path.substr(from, end - from);
        if (part == u"..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != u".") {
            parts.push_back(part);
        }
        from = end + 1;
    }
    std::u16string collapsed(path.substr(0, 2));
    for (std::u16string_view part : parts) {
        collapsed.append(u"\\").append(part);
    }
    return collapsed;
}

// Where a link copied into a snapshot leads: nowhere, as its target is not read.
constexpr std::u16string_view kUnreadLinkTarget = u"C:\\<link target not read>";
// The other name of a file with more than one: not read either, and not in the copy.
constexpr std::u16string_view kUnreadOtherName = u"C:\\<other name not read>";
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kManagerRead = 0x1 | 0x4;
constexpr std::uint32_t kServiceRead = 0x4 | 0x8;
constexpr std::uint32_t kServiceStateAll = 0x3;
// Windows keeps key names to 255 characters and value names to 16,383; the larger buffer serves both, so
// that no name the program could address by itself is missed.
constexpr std::uint32_t kKeyNameChars = 16384;
constexpr std::uint32_t kValueNameChars = 16384;
constexpr std::uint32_t kEnvironmentChars = 32767;

std::string JoinNames(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) {
        list += (list.empty() ? "" : ", ") + name;
    }
    return list;
}

// A listing this long is not a folder the cleaners were meant for; the rest is left out and said so.
constexpr std::size_t kMaxEntries = 200000;
constexpr int kWholeTree = -1;

constexpr std::u16string_view kEnvironments[] = {u"Windows NT x86", u"Windows x64"};
constexpr std::u16string_view kSpooler = u"Spooler";
// Variables a Temp setting or a preset path commonly names, besides those found in the copied values.
constexpr std::u16string_view kKnownVariables[] = {
    u"USERPROFILE", u"SystemRoot",   u"windir",       u"SystemDrive", u"TEMP",      u"TMP",
    u"APPDATA",     u"LOCALAPPDATA", u"ProgramFiles", u"ProgramData", u"HOMEDRIVE", u"HOMEPATH",
};

std::string RootName(Handle root) {
    return root == kHkeyCurrentUser ? "HKCU" : root == kHkeyLocalMachine ? "HKLM" : "HKU";
}

std::u16string Lower(std::u16string_view text) {
    std::u16string lower(text);
    for (char16_t& c : lower) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return lower;
}

bool IsSameOrUnder(std::u16string_view path, std::u16string_view folder) {
    const std::u16string lowerPath = Lower(path);
    const std::u16string lowerFolder = Lower(folder);
    return lowerPath == lowerFolder ||
           (lowerPath.starts_with(lowerFolder) && lowerPath[lowerFolder.size()] == u'\\');
}

// The simulated machine has the one drive C:.
bool IsOnSimulatedDrive(std::u16string_view path) {
    return path.size() >= 3 && (path[0] == u'C' || path[0] == u'c') && path.substr(1, 2) == u":\\";
}

class SnapshotTaker {
  public:
    SnapshotTaker(Machine& source, const SnapshotContext& context, sim::SimMachine& target)
        : source_(source), context_(context), target_(target) {}

    std::vector<std::string> Take() {
        target_.Empty();
        CopySystem();
        CopyDrivers();
        CopyPrinters();
        CopyForms();
        for (const RegistrySubtree& subtree : RegistryScope()) {
            if (const auto path = FindStoredSpelling(subtree.root, subtree.path)) {
                CopyRegistrySubtree(subtree.root, *path);
            }
        }
        CopyEnvironment();
        CopyFolders();
        CopyServices();
        CopyProcesses();
        return std::move(notes_);
    }

  private:
    void Note(std::string sentence) { notes_.push_back(std::move(sentence)); }

    void CopySystem() {
        System& system = source_.system;
        const OsVersionInfo version = system.QueryOsVersion();
        target_.SetOsVersion(version.major, version.minor);
        target_.SetNativeArchitecture(system.NativeProcessorArchitecture());
        target_.SetLocalTime(system.LocalTime());
        target_.SetTickCount(system.TickCount());
        target_.SetModulePath(context_.programPath.empty() ? system.GetModuleFileName()
                                                           : context_.programPath);
        target_.SetDriverPackageDeletion(source_.spooler.CanDeletePrinterDriverPackage());
        appData_ = source_.files.GetSpecialFolderPath(kCsidlAppData, false);
        target_.SetSpecialFolder(kCsidlAppData, appData_);
    }

    void CopyDrivers() {
        Spooler& spooler = source_.spooler;
        for (std::u16string_view environment : kEnvironments) {
            const auto drivers = EnumerateInTwoCalls(
                [&](std::uint32_t bytes) { return spooler.EnumPrinterDrivers(environment, bytes); });
            const std::u16string keyPattern = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\" +
                                              std::u16string(environment) + u"\\Drivers\\Version-3\\%s";
            for (const DriverInfo& driver : drivers) {
                const std::u16string key = FormatOne(keyPattern, driver.name);
                target_.AddDriver(
                    {std::u16string(environment), driver.name,
                     std::u16string(UpToNull(ReadMachineString(source_.registry, key, u"Data File"))),
                     std::u16string(UpToNull(ReadMachineString(source_.registry, key, u"InfPath")))});
            }
        }
    }

    void CopyPrinters() {
        Spooler& spooler = source_.spooler;
        const auto printers = EnumerateInTwoCalls([&](std::uint32_t bytes) {
            return spooler.EnumPrinters(kPrinterEnumLocal | kPrinterEnumConnections, bytes);
        });
        std::vector<std::string> unreadableJobs;
        std::vector<std::string> unreadableSettings;
        for (const PrinterInfo& info : printers) {
            sim::SimPrinter printer;
            printer.name = info.printerName.value_or(u"");
            printer.driver = info.driverName.value_or(u"");
            printer.share = info.shareName.value_or(u"");
            printer.serverName = info.serverName.value_or(u"");
            const PrinterHandle handle(spooler.OpenPrinter(printer.name, kPrinterAccessUse).handle,
                                       {&spooler});
            const auto size = spooler.EnumJobs(handle.get(), 0, 0xFFFFFFFF, 0);
            const auto jobs = spooler.EnumJobs(handle.get(), 0, 0xFFFFFFFF, size.bytesNeeded);
            if (jobs.ok) {
                printer.jobs = jobs.entries;
            } else {
                unreadableJobs.push_back(
                    ToUtf8(printer.name) +
                    (jobs.error != 0 ? " (error " + std::to_string(jobs.error) + ")" : ""));
            }
            // A local queue's whole definition, which a backup keeps; a connection's is its server's.
            if (printer.serverName.empty()) {
                const PrinterDefinitionResult definition = spooler.GetPrinter(handle.get());
                if (definition.error == 0) {
                    printer.settings = definition.definition.settings;
                } else {
                    unreadableSettings.push_back(ToUtf8(printer.name) + " (error " +
                                                 std::to_string(definition.error) + ")");
                }
            }
            target_.AddPrinter(printer);
        }
        if (!unreadableSettings.empty()) {
            Note("The spooler did not give the settings of " + JoinNames(unreadableSettings) +
                 "; a backup keeps them as a new queue's.");
        }
        if (!unreadableJobs.empty()) {
            Note("The spooler did not list the queued jobs of " + JoinNames(unreadableJobs) +
                 "; the preview takes them as having none, as the program itself would.");
        }
        const DefaultPrinterResult size = spooler.GetDefaultPrinter(0);
        const DefaultPrinterResult printer = spooler.GetDefaultPrinter(size.charsNeeded);
        if (printer.ok) {
            target_.SetDefaultPrinter(printer.name);
        }
    }

    // Forms are the machine's, listed by the local print server.
    void CopyForms() {
        Spooler& spooler = source_.spooler;
        const HandleResult server = spooler.OpenPrinter(u"", kServerAccessEnumerate);
        const PrinterHandle handle(server.handle, {&spooler});
        if (server.error != 0) {
            Note("The print server did not open to list the forms (error " + std::to_string(server.error) +
                 "); the preview takes the machine as having none.");
        }
        for (const FormInfo& form : EnumerateInTwoCalls(
                 [&](std::uint32_t bytes) { return spooler.EnumForms(handle.get(), bytes); })) {
            target_.AddForm({form.name, form.flags, form.width, form.height, form.left, form.top, form.right,
                             form.bottom});
        }
    }

    // The key path as the registry spells it (names compare without case, the copy keeps the stored case);
    // nothing when the key is missing or a key on the way cannot be read.
    std::optional<std::u16string> FindStoredSpelling(Handle root, std::u16string_view path) {
        Registry& registry = source_.registry;
        std::u16string stored;
        for (std::size_t from = 0; from <= path.size();) {
            const std::size_t end = std::min(path.find(u'\\', from), path.size());
            const std::u16string wanted = Lower(path.substr(from, end - from));
            const HandleResult opened =
                stored.empty() ? HandleResult{root, 0} : registry.OpenKeyEx(root, stored, kKeyRead);
            const RegistryKey key(stored.empty() ? 0 : opened.handle, {&registry});
            std::optional<std::u16string> found;
            for (std::uint32_t index = 0; opened.error == 0 && !found; ++index) {
                const NameResult subkey = registry.EnumKey(opened.handle, index, kKeyNameChars);
                if (subkey.error != 0) {
                    break;
                }
                if (Lower(subkey.name) == wanted) {
                    found = subkey.name;
                }
            }
            if (!found) {
                return std::nullopt;
            }
            stored += (stored.empty() ? u"" : u"\\") + *found;
            from = end + 1;
        }
        return stored;
    }

    void CopyRegistrySubtree(Handle root, const std::u16string& path) {
        Registry& registry = source_.registry;
        const HandleResult opened = registry.OpenKeyEx(root, path, kKeyRead);
        if (opened.error != 0) {
            if (opened.error != 2) {
                Note("The key " + RootName(root) + "\\" + ToUtf8(path) + " could not be read (error " +
                     std::to_string(opened.error) + "); the preview takes it as missing.");
            }
            return;
        }
        const RegistryKey key(opened.handle, {&registry});
        target_.CreateKey(root, path);
        for (std::uint32_t index = 0;; ++index) {
            const NameResult value = registry.EnumValue(key.get(), index, kValueNameChars);
            if (value.error != 0) {
                break;
            }
            const ValueResult size = registry.QueryValue(key.get(), value.name, 0);
            const ValueResult data = registry.QueryValue(key.get(), value.name, size.size);
            if (data.error == 0) {
                target_.SetValue(root, path, value.name, value.type, data.data);
                CollectVariables(value.type, data.data);
            }
        }
        std::vector<std::u16string> subkeys;
        for (std::uint32_t index = 0;; ++index) {
            const NameResult subkey = registry.EnumKey(key.get(), index, kKeyNameChars);
            if (subkey.error != 0) {
                break;
            }
            subkeys.push_back(subkey.name);
        }
        for (const std::u16string& subkey : subkeys) {
            std::u16string child = path;
            child.append(u"\\").append(subkey);
            CopyRegistrySubtree(root, child);
        }
    }

    // The %NAME% references of a string value, so that the snapshot knows what they expand to.
    void CollectVariables(std::uint32_t type, const std::vector<std::uint8_t>& data) {
        if (type != sim::kRegSz && type != sim::kRegExpandSz) {
            return;
        }
        std::u16string text(data.size() / 2, u'\0');
        for (std::size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        }
        for (std::size_t open = text.find(u'%'); open != std::u16string::npos;) {
            const std::size_t close = text.find(u'%', open + 1);
            if (close == std::u16string::npos) {
                break;
            }
            if (close > open + 1) {
                variables_.insert(text.substr(open + 1, close - open - 1));
            }
            open = text.find(u'%', close + 1);
        }
    }

    void CopyEnvironment() {
        for (std::u16string_view name : kKnownVariables) {
            variables_.insert(std::u16string(name));
        }
        for (const std::u16string& name : variables_) {
            const std::u16string reference = u"%" + name + u"%";
            const ExpandResult expanded =
                source_.registry.ExpandEnvironmentStrings(reference, kEnvironmentChars);
            if (expanded.expanded && expanded.text.find(reference) == std::u16string::npos) {
                target_.SetEnvironmentVariable(name, UpToNull(expanded.text));
            }
        }
    }

    // The folders the cleaners search (their direct entries) and those they delete whole.
    void CopyFolders() {
        Files& files = source_.files;
        const std::u16string userTemp = GetUserTempPath(source_.registry);
        CopyFolder(GetWindowsTempPath(files), 1);
        CopyFolder(userTemp, 1);
        CopyFolder(userTemp + u"\\Trackwell", kWholeTree);
        CopyFolder(userTemp + u"\\NorvelUserAuth", kWholeTree);
        const std::u16string system = files.GetSystemDirectory();
        for (std::u16string_view environment : kEnvironmentFolders) {
            CopyFolder(system + u"\\spool\\drivers\\" + std::u16string(environment), 2);
        }
        if (appData_) {
            CopyFolder(*appData_ + u"\\" + std::u16string(kPresetsFolder), kWholeTree);
        }
        const UpdaterFolders updater = SelectUpdaterFolders(source_.system);
        CopyFolder(updater.install, kWholeTree);
        CopyFolder(updater.backup, kWholeTree);
        // The command log is appended to in the working folder.
        if (IsOnSimulatedDrive(context_.currentDirectory)) {
            target_.CreateFolder(context_.currentDirectory);
            target_.SetCurrentDirectory(context_.currentDirectory);
            CopyEntry(context_.currentDirectory + u"\\" + std::u16string(kCommandLogFileName), 0);
        } else {
            Note("The working folder " + ToUtf8(context_.currentDirectory) +
                 " is not on drive C:; the command log lines are shown as written to C:\\.");
            target_.SetCurrentDirectory(u"C:\\");
        }
        if (truncated_) {
            Note("A folder held more than " + std::to_string(kMaxEntries) +
                 " entries; the preview shows the files the program would delete among the first of them "
                 "only.");
        }
    }

    // The folder, or the nearest folder on its way that exists (without its entries), so that two snapshots
    // taken before and after a removal both hold the folders the removal leaves.
    void CopyFolder(const std::u16string& named, int depth) {
        const std::u16string folder = CollapseDots(named);
        if (!IsOnSimulatedDrive(folder)) {
            if (!folder.empty() && source_.files.GetStatus(folder)) {
                Note("The folder " + ToUtf8(folder) +
                     " is not on drive C:, which the preview cannot simulate.");
            }
            return;
        }
        std::u16string existing = folder;
        while (!source_.files.GetStatus(existing)) {
            const std::size_t parent = existing.rfind(u'\\');
            if (parent == std::u16string::npos || parent <= 2) {
                return;
            }
            existing.resize(parent);
        }
        CopyEntry(FindStoredPath(existing), existing.size() == folder.size() ? depth : 0);
    }

    // The path as the file system spells it, each name as a search for it reports it.
    std::u16string FindStoredPath(std::u16string_view path) {
        std::u16string stored(path.substr(0, 2));
        for (std::size_t from = 3; from < path.size();) {
            const std::size_t end = std::min(path.find(u'\\', from), path.size());
            const std::u16string next = stored + u"\\" + std::u16string(path.substr(from, end - from));
            const FindResult found = source_.files.FindFirst(next);
            const FindHandle find(found.find, {&source_.files});
            if (found.find != 0) {
                stored.append(u"\\").append(found.first.name);
            } else {
                stored = next;
            }
            from = end + 1;
        }
        return stored;
    }

    // The file or folder at path; a folder's entries down to `depth` levels (kWholeTree: all).
    void CopyEntry(const std::u16string& path, int depth) {
        const auto attributes = source_.files.GetStatus(path);
        if (!attributes) {
            return;
        }
        // A link is kept as a link and never entered. Where it leads is not read (no call of the seams
        // tells it, and the program never goes through one): in the copy it leads nowhere.
        if ((*attributes & kFileAttributeReparsePoint) != 0) {
            const bool folder = (*attributes & kFileAttributeDirectory) != 0;
            target_.AddLink(path, kUnreadLinkTarget, sim::LinkKind::SymbolicLink, folder);
            ++entries_;
            return;
        }
        if ((*attributes & kFileAttributeDirectory) == 0) {
            CopyFile(path, *attributes);
            ++entries_;
            return;
        }
        target_.CreateFolder(path);
        target_.SetPathAttributes(path, *attributes);
        if (depth == 0) {
            return;
        }
        for (const FindEntry& entry : ListFolder(source_.files, path)) {
            if (entries_ >= kMaxEntries) {
                truncated_ = true;
                return;
            }
            std::u16string child = path;
            child.append(u"\\").append(entry.name);
            if ((entry.attributes & (kFileAttributeDirectory | kFileAttributeReparsePoint)) != 0) {
                CopyEntry(child, depth == kWholeTree ? kWholeTree : depth - 1);
            } else {
                CopyFile(child, entry.attributes);
            }
            ++entries_;
        }
    }

    // A plain file, empty. A file with more names than this one keeps that: the program never resets the
    // attributes of a name that shares its file with another.
    void CopyFile(const std::u16string& path, std::uint32_t attributes) {
        const auto identity = source_.files.QueryIdentity(path);
        if (identity && identity->linkCount > 1) {
            target_.AddLink(path, kUnreadOtherName, sim::LinkKind::HardLink);
            target_.SetPathAttributes(path, attributes);
        } else {
            target_.WriteFile(path, {}, attributes);
        }
    }

    // The Spooler and every service that depends on it, directly or not.
    void CopyServices() {
        Services& services = source_.services;
        const ServiceHandle manager(services.OpenManager(kManagerRead).handle, {&services});
        std::vector<std::u16string> pending{std::u16string(kSpooler)};
        std::set<std::u16string> seen;
        while (!pending.empty()) {
            const std::u16string name = std::move(pending.back());
            pending.pop_back();
            if (!seen.insert(Lower(name)).second) {
                continue;
            }
            const ServiceHandle service(services.OpenService(manager.get(), name, kServiceRead).handle,
                                        {&services});
            const ServiceStatusResult status = services.QueryStatus(service.get());
            if (status.error != 0) {
                Note("The service " + ToUtf8(name) + " could not be queried (error " +
                     std::to_string(status.error) + "); the preview leaves it out.");
                continue;
            }
            sim::SimService copy;
            copy.name = name;
            copy.state = status.state;
            copy.dependents = EnumerateInTwoCalls([&](std::uint32_t bytes) {
                return services.EnumDependentServices(service.get(), kServiceStateAll, bytes);
            });
            pending.insert(pending.end(), copy.dependents.begin(), copy.dependents.end());
            target_.AddService(copy);
        }
    }

    void CopyProcesses() {
        Processes& processes = source_.processes;
        const KernelHandle snapshot(processes.CreateSnapshot().handle, {&processes});
        for (auto entry = processes.FirstProcess(snapshot.get());;
             entry = processes.NextProcess(snapshot.get())) {
            if (!entry) {
                break;
            }
            if (entry->processId != context_.ownProcessId) {
                target_.AddProcessRecord({entry->exeFile, entry->processId});
            }
        }
    }

    Machine& source_;
    const SnapshotContext& context_;
    sim::SimMachine& target_;
    std::vector<std::string> notes_;
    std::optional<std::u16string> appData_;  // Application Data, read once with the system facts
    std::set<std::u16string> variables_;
    std::size_t entries_ = 0;
    bool truncated_ = false;
};

void AddSubtree(std::vector<RegistrySubtree>& scope, Handle root, std::u16string_view path) {
    scope.push_back({root, std::u16string(path)});
}

}  // namespace

std::vector<RegistrySubtree> RegistryScope() {
    std::vector<RegistrySubtree> scope;
    for (const auto& steps : {PrinterResidueSteps(), DriverResidueSteps(), SweepResidueSteps()}) {
        for (const RegistryResidueStep& step : steps) {
            AddSubtree(scope, step.root, step.path);
        }
    }
    // The spooler's own keys (printers, drivers, forms), the servers' printer settings of connections, the
    // user Temp setting and the processor architecture.
    AddSubtree(scope, kHkeyLocalMachine, u"SYSTEM\\CurrentControlSet\\Control\\Print");
    AddSubtree(
        scope, kHkeyLocalMachine,
        u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\LanMan Print Services\\Servers");
    AddSubtree(
        scope, kHkeyLocalMachine,
        u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\Client Side Rendering Print "
        u"Provider\\Servers");
    AddSubtree(scope, kHkeyCurrentUser, u"Environment");
    AddSubtree(scope, kHkeyLocalMachine, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment");
    // Outermost first, so that a subtree inside one already taken is dropped.
    std::sort(scope.begin(), scope.end(), [](const RegistrySubtree& a, const RegistrySubtree& b) {
        return a.root != b.root ? a.root < b.root : Lower(a.path) < Lower(b.path);
    });
    std::vector<RegistrySubtree> outermost;
    for (RegistrySubtree& subtree : scope) {
        if (std::none_of(outermost.begin(), outermost.end(), [&](const RegistrySubtree& taken) {
                return taken.root == subtree.root && IsSameOrUnder(subtree.path, taken.path);
            })) {
            outermost.push_back(std::move(subtree));
        }
    }
    return outermost;
}

std::vector<FindEntry> ListFolder(Files& files, const std::u16string& folder) {
    FindResult first = files.FindFirst(folder + u"\\*");
    const FindHandle find(first.find, {&files});
    std::vector<FindEntry> entries;
    if (first.find != 0) {
        entries.push_back(std::move(first.first));
        for (;;) {
            std::optional<FindEntry> next = files.FindNext(find.get());
            if (!next) {
                break;
            }
            entries.push_back(std::move(*next));
        }
    }
    std::erase_if(entries, [](const FindEntry& entry) { return entry.name == u"." || entry.name == u".."; });
    return entries;
}

std::vector<std::u16string> FolderScope(Machine& machine) {
    std::vector<std::u16string> folders{GetWindowsTempPath(machine.files), GetUserTempPath(machine.registry)};
    const std::u16string system = machine.files.GetSystemDirectory();
    for (std::u16string_view environment : kEnvironmentFolders) {
        folders.push_back(system + u"\\spool\\drivers\\" + std::u16string(environment));
    }
    if (const auto appData = machine.files.GetSpecialFolderPath(kCsidlAppData, false)) {
        folders.push_back(*appData + u"\\" + std::u16string(kPresetsFolder));
    }
    const UpdaterFolders updater = SelectUpdaterFolders(machine.system);
    folders.push_back(updater.install);
    folders.push_back(updater.backup);
    std::vector<std::u16string> scope;
    for (const std::u16string& folder : folders) {
        if (const std::u16string collapsed = CollapseDots(folder); IsOnSimulatedDrive(collapsed)) {
            scope.push_back(collapsed);
        }
    }
    return scope;
}

std::vector<std::string> TakeSnapshot(Machine& source, const SnapshotContext& context,
                                      sim::SimMachine& target) {
    return SnapshotTaker(source, context, target).Take();
}

}  // namespace spoolsweep::preview
