#include "preview/backup.h"

#include <algorithm>
#include <cstdio>

#include "cleanup/safe_paths.h"
#include "platform/sim/sim_world.h"
#include "preview/machine_json.h"
#include "preview/sha256.h"
#include "spooler/printer_operations.h"

namespace spoolsweep::preview {
namespace {

using sim::FromUtf8;
using sim::ToUtf8;

constexpr const char* kNoDrivers = "this version does not back up drivers and driver packages";
constexpr const char* kNoConnections = "this version does not back up printer connections";
// A name the manifest's UTF-8 cannot keep exactly, or one the restore refuses to write.
constexpr const char* kNotWritable = "its name is not one a restore writes";
constexpr const char* kNotAddable =
    "its name, share, driver, port, print processor, separator page or settings are not ones a restore adds";
constexpr std::uint32_t kComputerNameChars = 32767;

void CaptureKeys(const sim::SimMachine& machine, Handle root, const std::u16string& path,
                 ResidueState& state) {
    if (!path.empty()) {
        state.keys[{root, path}] = true;
    }
    for (sim::SimValue& value : machine.Values(root, path)) {
        state.values[{root, path, value.name}] = {value.type, std::move(value.data)};
    }
    for (const std::u16string& subkey : machine.SubkeyNames(root, path)) {
        std::u16string child = path;
        child.append(path.empty() ? u"" : u"\\").append(subkey);
        CaptureKeys(machine, root, child, state);
    }
}

std::size_t Depth(std::u16string_view path) {
    return static_cast<std::size_t>(std::count(path.begin(), path.end(), u'\\'));
}

// A name the manifest's UTF-8 keeps exactly (no unpaired surrogate).
bool Representable(std::u16string_view text) {
    return FromUtf8(ToUtf8(text)) == text;
}

// The folded "<root>\<path>" of every tree the residue cleaners deleted, from the run's journal.
std::set<std::u16string> DeletedTrees(const sim::SimMachine& ran) {
    constexpr std::string_view kCall = "SHDeleteKeyW ";
    std::set<std::u16string> trees;
    for (const std::string& line : ran.journal()) {
        if (line.starts_with(kCall)) {
            trees.insert(sim::Fold(FromUtf8(line.substr(kCall.size()))));
        }
    }
    return trees;
}

// True when the key or a key above it is one of the deleted trees. Each of the key's few ancestors is looked
// up, so a terminal server's thousands of trees cost no more per key than a workstation's handful.
bool IsInTrees(const std::set<std::u16string>& trees, Handle root, std::u16string_view path) {
    const std::u16string key = sim::Fold(FromUtf8(KeyText(root, path)));
    for (std::size_t end = key.find(u'\\');; end = key.find(u'\\', end + 1)) {
        if (trees.contains(key.substr(0, end))) {
            return true;
        }
        if (end == std::u16string::npos) {
            return false;
        }
    }
}

bool HasControlCharacter(std::u16string_view text) {
    return std::any_of(text.begin(), text.end(), [](char16_t c) { return c < u' '; });
}

// A name the spooler keeps as it is written: not empty, no control character, none of `refused`.
bool IsPlainSpoolerName(const std::optional<std::u16string>& name, std::u16string_view refused = {}) {
    return name && !name->empty() && !HasControlCharacter(*name) &&
           name->find_first_of(refused) == std::u16string::npos;
}

std::uint16_t Word(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

PrinterDefinition DefinitionOf(const sim::SimPrinter& printer) {
    PrinterDefinition definition{printer.name, std::nullopt, printer.driver, printer.settings};
    if (!printer.share.empty()) {
        definition.share = printer.share;
    }
    return definition;
}

bool IsRepresentable(const PrinterDefinition& printer) {
    const auto kept = [](const std::optional<std::u16string>& text) { return !text || Representable(*text); };
    const PrinterSettings& settings = printer.settings;
    return Representable(printer.name) && kept(printer.share) && kept(printer.driver) &&
           kept(settings.port) && kept(settings.comment) && kept(settings.location) &&
           kept(settings.sepFile) && kept(settings.printProcessor) && kept(settings.datatype) &&
           kept(settings.parameters);
}

// The printer's data: each value below its spooler key, read from the snapshot's copy of that key (the
// local spooler keeps a printer's data there). SetPrinterDataExW makes a key only with a value in it, so a
// key with no value at or below it is named.
void KeepPrinterData(const ResidueState& before, const std::u16string& printer, BackupContents& contents) {
    const std::u16string prefix =
        sim::Fold(std::u16string(sim::kPrintKey) + u"\\Printers\\" + printer + u"\\");
    std::map<std::u16string, std::u16string> empty;  // folded path to path
    for (const auto& [key, present] : before.keys) {
        if (key.first == kHkeyLocalMachine && sim::Fold(key.second).starts_with(prefix)) {
            empty.emplace(sim::Fold(key.second), key.second);
        }
    }
    for (const auto& [id, value] : before.values) {
        const auto& [root, key, name] = id;
        std::u16string folded = sim::Fold(key);
        if (root != kHkeyLocalMachine || !folded.starts_with(prefix)) {
            continue;
        }
        for (; folded.size() >= prefix.size(); folded.resize(folded.rfind(u'\\'))) {
            empty.erase(folded);
        }
        const std::u16string below = key.substr(prefix.size());
        if (Representable(below) && IsPlainKeyPath(below) && Representable(name)) {
            contents.printerData.push_back({printer, below, name, value.first, value.second});
        } else {
            contents.notRestorable.push_back({PrinterDataText({printer, below, name, 0, {}}), kNotWritable});
        }
    }
    for (const auto& [folded, key] : empty) {
        contents.notRestorable.push_back(
            {"printer data key " + ToUtf8(printer + u"\\" + key.substr(prefix.size())),
             "a key without values: SetPrinterDataExW makes a key only with a value"});
    }
}

// Each local printer the run deleted is kept whole; a connection, a driver and a printer's data are named.
void KeepSpoolerLosses(const ResidueState& before, const ResidueState& after, BackupContents& contents) {
    for (const sim::SimPrinter& printer : before.printers) {
        const std::string name = ToUtf8(printer.name);
        if (!before.spooler.printers.contains(name) || after.spooler.printers.contains(name)) {
            continue;
        }
        const PrinterDefinition definition = DefinitionOf(printer);
        if (!printer.serverName.empty()) {
            contents.notRestorable.push_back({"printer connection " + name, kNoConnections});
        } else if (!IsRepresentable(definition) || !IsRestorablePrinter(definition)) {
            contents.notRestorable.push_back({"printer " + name, kNotAddable});
        } else {
            contents.printers.push_back(definition);
            KeepPrinterData(before, printer.name, contents);
        }
    }
    for (const std::string& name : before.spooler.drivers) {
        if (!after.spooler.drivers.contains(name)) {
            contents.notRestorable.push_back({"driver " + name, kNoDrivers});
        }
    }
}

void SortByDepth(std::vector<BackupPath>& paths) {
    std::stable_sort(paths.begin(), paths.end(),
                     [](const BackupPath& a, const BackupPath& b) { return Depth(a.path) < Depth(b.path); });
}

std::string HexBytes(const std::vector<std::uint8_t>& data) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t byte : data) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 0xF]);
    }
    return hex;
}

std::string ErrorText(std::uint32_t error) {
    return "error " + std::to_string(error);
}

// A path that a link on its way leads elsewhere is never written by a restore: it is not backed up.
void DropPathsThroughLinks(Files& files, std::vector<BackupPath>& paths, std::vector<NotRestorable>& dropped,
                           const char* kind) {
    std::erase_if(paths, [&](const BackupPath& path) {
        const auto link = FindLinkOnPath(files, path.path);
        if (link) {
            dropped.push_back({kind + ToUtf8(path.path), "a folder on its path is a link: " + ToUtf8(*link)});
        }
        return link.has_value();
    });
}

}  // namespace

std::string PrinterDataText(const BackupPrinterData& value) {
    std::string text = "printer data ";
    text.append(ToUtf8(value.printer)).append("\\").append(ToUtf8(value.key));
    return text.append(" \"").append(ToUtf8(value.name)).append("\"");
}

std::string KeyText(Handle root, std::u16string_view path) {
    return std::string(sim::World::RootName(root)) + "\\" + ToUtf8(path);
}

bool IsPlainKeyPath(std::u16string_view path) {
    return !path.empty() && !path.starts_with(u'\\') && !path.ends_with(u'\\') &&
           path.find(u"\\\\") == std::u16string_view::npos && path.find(u'\0') == std::u16string_view::npos;
}

bool IsPlainFullPath(std::u16string_view path) {
    if (path.size() < 4 || path.size() >= 32767 || !((path[0] | 0x20) >= u'a' && (path[0] | 0x20) <= u'z') ||
        path.substr(1, 2) != u":\\") {
        return false;
    }
    for (std::u16string_view rest = path.substr(3);;) {
        const std::size_t end = rest.find(u'\\');
        const std::u16string_view name = rest.substr(0, end);
        if (name.empty() || name == u"." || name == u".." || name.back() == u'.' || name.back() == u' ' ||
            !IsPlainFileNamePart(name)) {
            return false;
        }
        if (end == std::u16string_view::npos) {
            return true;
        }
        rest.remove_prefix(end + 1);
    }
}

bool IsRestorableForm(const BackupForm& form) {
    return !form.name.empty() && form.name.size() <= kFormNameMaxChars &&
           std::none_of(form.name.begin(), form.name.end(),
                        [](char16_t c) { return c < u' ' || c == u'\\'; }) &&
           (form.flags == kFormUser || form.flags == kFormPrinter) && form.left >= 0 &&
           form.left < form.right && form.right <= form.width && form.top >= 0 && form.top < form.bottom &&
           form.bottom <= form.height;
}

// A printer is the spooler's own object: AddPrinterW never replaces one of that name, and it neither makes
// the driver, port nor print processor it names, so those need only be names the spooler could list. What a
// backup could otherwise point elsewhere is the separator page, which the spooler reads as SYSTEM for each
// job: only a local full path, never a share. A "\\server\printer" name is a connection, not a queue to add.
bool IsRestorablePrinter(const PrinterDefinition& printer) {
    const PrinterSettings& settings = printer.settings;
    const auto& devMode = settings.devMode;
    const auto& security = settings.securityDescriptor;
    constexpr std::size_t kDevModeSizeAt = 68;  // dmSize, then dmDriverExtra, after the device name
    constexpr std::uint16_t kSelfRelative = 0x8000;
    return IsPlainSpoolerName(printer.name, u"\\,") &&
           (!printer.share || IsPlainSpoolerName(printer.share, u"\\")) &&
           IsPlainSpoolerName(printer.driver) && IsPlainSpoolerName(settings.port) &&
           IsPlainSpoolerName(settings.printProcessor, u"\\") &&
           (!settings.sepFile || settings.sepFile->empty() || IsPlainFullPath(*settings.sepFile)) &&
           (!devMode || (devMode->size() >= kDevModeSizeAt + 4 &&
                         devMode->size() == std::size_t{Word(*devMode, kDevModeSizeAt)} +
                                                Word(*devMode, kDevModeSizeAt + 2))) &&
           (!security ||
            (security->size() >= 20 && (*security)[0] == 1 && (Word(*security, 2) & kSelfRelative) != 0));
}

std::optional<std::u16string> FindLinkOnPath(Files& files, std::u16string_view path) {
    for (std::size_t at = path.find(u'\\', 3);; at = path.find(u'\\', at + 1)) {
        const std::u16string prefix(path.substr(0, at));
        if (files.GetStatus(prefix)) {
            const auto identity = files.QueryIdentity(prefix);
            if (!identity || (identity->attributes & kFileAttributeReparsePoint) != 0 ||
                !sim::EqualNoCase(identity->finalPath, prefix)) {
                return prefix;
            }
        }
        if (at == std::u16string_view::npos) {
            return std::nullopt;
        }
    }
}

ResidueState CaptureResidue(const sim::SimMachine& machine) {
    ResidueState state;
    for (Handle root : {kHkeyCurrentUser, kHkeyLocalMachine, kHkeyUsers}) {
        CaptureKeys(machine, root, u"", state);
    }
    for (const std::u16string& path : machine.AllPaths()) {
        state.paths[path] = {path, machine.Attributes(path).value_or(0), {}, 0, {}};
        if (machine.LinkAt(path)) {
            state.links.insert(path);
        }
    }
    state.spooler = CaptureState(machine);
    state.forms = machine.Forms();
    state.printers = machine.Printers();
    return state;
}

BackupContents SelectDeleted(const ResidueState& before, const ResidueState& after,
                             const sim::SimMachine& ran) {
    BackupContents contents;
    // A key the spooler took with its printer or driver goes back with them, not on its own.
    const std::set<std::u16string> trees = DeletedTrees(ran);
    for (const auto& [key, present] : before.keys) {
        if (!after.keys.contains(key) && IsInTrees(trees, key.first, key.second)) {
            if (Representable(key.second) && IsPlainKeyPath(key.second)) {
                contents.keys.push_back({key.first, key.second});
            } else {
                contents.notRestorable.push_back(
                    {"registry key " + KeyText(key.first, key.second), kNotWritable});
            }
        }
    }
    std::stable_sort(contents.keys.begin(), contents.keys.end(),
                     [](const BackupKey& a, const BackupKey& b) { return Depth(a.path) < Depth(b.path); });
    for (const auto& [id, data] : before.values) {
        const auto& [root, key, name] = id;
        if (after.values.contains(id) ||
            (!after.keys.contains({root, key}) && !IsInTrees(trees, root, key))) {
            continue;
        }
        if (Representable(key) && IsPlainKeyPath(key) && Representable(name)) {
            contents.values.push_back({root, key, name, data.first, data.second});
        } else {
            contents.notRestorable.push_back(
                {"registry value " + KeyText(root, key) + " \"" + ToUtf8(name) + "\"", kNotWritable});
        }
    }
    for (const auto& [path, entry] : before.paths) {
        if (after.paths.contains(path)) {
            continue;
        }
        const bool folder = (entry.attributes & kFileAttributeDirectory) != 0;
        const std::string what = (folder ? "folder " : "file ") + ToUtf8(path);
        if (before.links.contains(path)) {
            contents.notRestorable.push_back(
                {what, "a link or a second name of a file: links are not backed up"});
        } else if (!Representable(path) || !IsPlainFullPath(path)) {
            contents.notRestorable.push_back({what, kNotWritable});
        } else {
            (folder ? contents.folders : contents.files).push_back(entry);
        }
    }
    SortByDepth(contents.folders);
    for (const sim::SimForm& form : before.forms) {
        if (std::none_of(after.forms.begin(), after.forms.end(),
                         [&](const sim::SimForm& kept) { return sim::EqualNoCase(kept.name, form.name); })) {
            const BackupForm kept{form.flags, form.name, form.width, form.height,
                                  form.left,  form.top,  form.right, form.bottom};
            if (Representable(form.name) && IsRestorableForm(kept)) {
                contents.forms.push_back(kept);
            } else {
                contents.notRestorable.push_back({"form " + ToUtf8(form.name), kNotWritable});
            }
        }
    }
    KeepSpoolerLosses(before, after, contents);
    return contents;
}

void ReadBackupFiles(Machine& machine, BackupContents& contents) {
    DropPathsThroughLinks(machine.files, contents.folders, contents.notRestorable, "folder ");
    DropPathsThroughLinks(machine.files, contents.files, contents.notRestorable, "file ");
    std::vector<BackupPath> readable;
    for (BackupPath& file : contents.files) {
        FileBytes read = machine.files.ReadFileBytes(file.path, kMaxBackupFileBytes);
        const auto attributes = machine.files.GetStatus(file.path);
        const std::string what = "file " + ToUtf8(file.path);
        if (read.error != 0 || !attributes) {
            contents.notRestorable.push_back({what, "it could not be read (" + ErrorText(read.error) + ")"});
        } else if (read.refused) {
            contents.notRestorable.push_back(
                {what, "a link, a file with more than one name, or larger than 256 MiB: not backed up"});
        } else {
            file.attributes = *attributes;
            file.size = read.bytes.size();
            file.sha256 = Sha256Hex(read.bytes);
            file.bytes = std::move(read.bytes);
            readable.push_back(std::move(file));
        }
    }
    contents.files = std::move(readable);
    const OsVersionInfo version = machine.system.QueryOsVersion();
    const ExpandResult name =
        machine.registry.ExpandEnvironmentStrings(u"%COMPUTERNAME%", kComputerNameChars);
    const std::tm time = machine.system.LocalTime();
    char taken[80];
    static_cast<void>(std::snprintf(taken, sizeof taken, "%04d-%02d-%02d %02d:%02d:%02d", time.tm_year + 1900,
                                    time.tm_mon + 1, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec));
    contents.machine = {
        {"computerName", name.expanded ? ToUtf8(UpToNull(name.text)) : ""},
        {"windowsVersion", std::to_string(version.major) + "." + std::to_string(version.minor)},
        {"architecture", machine.system.NativeProcessorArchitecture()},
        {"taken", taken}};
}

nlohmann::ordered_json ManifestJson(const BackupContents& contents) {
    nlohmann::ordered_json json = {
        {"format", "Spoolsweep backup"}, {"version", kBackupVersion}, {"machine", contents.machine}};
    json["registryKeys"] = nlohmann::ordered_json::array();
    for (const BackupKey& key : contents.keys) {
        json["registryKeys"].push_back(
            {{"root", sim::World::RootName(key.root)}, {"path", ToUtf8(key.path)}});
    }
    json["registryValues"] = nlohmann::ordered_json::array();
    for (const BackupValue& value : contents.values) {
        json["registryValues"].push_back({{"root", sim::World::RootName(value.root)},
                                          {"key", ToUtf8(value.key)},
                                          {"name", ToUtf8(value.name)},
                                          {"type", value.type},
                                          {"data", HexBytes(value.data)}});
    }
    json["folders"] = nlohmann::ordered_json::array();
    for (const BackupPath& folder : contents.folders) {
        json["folders"].push_back({{"path", ToUtf8(folder.path)}, {"attributes", folder.attributes}});
    }
    json["files"] = nlohmann::ordered_json::array();
    for (const BackupPath& file : contents.files) {
        json["files"].push_back({{"path", ToUtf8(file.path)},
                                 {"attributes", file.attributes},
                                 {"size", file.size},
                                 {"sha256", file.sha256}});
    }
    json["forms"] = nlohmann::ordered_json::array();
    for (const BackupForm& form : contents.forms) {
        json["forms"].push_back({{"name", ToUtf8(form.name)},
                                 {"flags", form.flags},
                                 {"width", form.width},
                                 {"height", form.height},
                                 {"left", form.left},
                                 {"top", form.top},
                                 {"right", form.right},
                                 {"bottom", form.bottom}});
    }
    json["printers"] = nlohmann::ordered_json::array();
    for (const PrinterDefinition& printer : contents.printers) {
        nlohmann::ordered_json entry = {
            {"name", ToUtf8(printer.name)},
            {"share", printer.share ? nlohmann::ordered_json(ToUtf8(*printer.share)) : nullptr},
            {"driver", ToUtf8(printer.driver.value_or(u""))}};
        entry.update(sim::PrinterSettingsJson(printer.settings));
        json["printers"].push_back(std::move(entry));
    }
    json["printerData"] = nlohmann::ordered_json::array();
    for (const BackupPrinterData& value : contents.printerData) {
        json["printerData"].push_back({{"printer", ToUtf8(value.printer)},
                                       {"key", ToUtf8(value.key)},
                                       {"name", ToUtf8(value.name)},
                                       {"type", value.type},
                                       {"data", HexBytes(value.data)}});
    }
    json["notRestorable"] = nlohmann::ordered_json::array();
    for (const NotRestorable& entry : contents.notRestorable) {
        json["notRestorable"].push_back({{"what", entry.what}, {"reason", entry.reason}});
    }
    return json;
}

std::string WriteBackup(Files& files, std::u16string_view folder, const BackupContents& contents) {
    const std::string name = ToUtf8(folder);
    if (!IsPlainFullPath(folder)) {
        return "the backup folder " + name + " is not a full path such as C:\\Backups\\Printers";
    }
    if (const auto link = FindLinkOnPath(files, folder)) {
        return ToUtf8(*link) + " is a link: a backup is written only to a plain folder";
    }
    if (files.GetStatus(folder)) {
        return name + " exists: a backup goes into a new folder";
    }
    // The folders on the way that are missing, the folder itself and its data folder, each made new.
    std::vector<std::u16string> made;
    for (std::size_t at = folder.find(u'\\', 3); at != std::u16string_view::npos;
         at = folder.find(u'\\', at + 1)) {
        if (!files.GetStatus(folder.substr(0, at))) {
            made.emplace_back(folder.substr(0, at));
        }
    }
    const std::u16string data = std::u16string(folder) + u"\\" + std::u16string(kDataFolderName);
    made.emplace_back(folder);
    made.push_back(data);
    // The backup folder is made private: only administrators may change what the restore will read.
    for (const std::u16string& created : made) {
        const Status made =
            created == folder ? files.CreatePrivateDirectory(created) : files.CreateDirectory(created);
        if (!made.ok()) {
            return "cannot create " + ToUtf8(created) + " (" + ErrorText(made.error) + ")";
        }
    }
    for (std::size_t index = 0; index < contents.files.size(); ++index) {
        const std::u16string path = data + u"\\" + FromUtf8(std::to_string(index));
        if (const Status written = files.CreateNewFile(path, contents.files[index].bytes); !written.ok()) {
            return "cannot write " + ToUtf8(path) + " (" + ErrorText(written.error) + ")";
        }
    }
    // The manifest last: a backup cut short has none, and no restore takes it.
    const std::u16string manifest = std::u16string(folder) + u"\\" + std::u16string(kManifestName);
    if (const Status written = files.CreateNewFile(manifest, ManifestJson(contents).dump(2) + "\n");
        !written.ok()) {
        return "cannot write " + ToUtf8(manifest) + " (" + ErrorText(written.error) + ")";
    }
    return {};
}

std::string FormatBackupSummary(std::u16string_view folder, const BackupContents& contents) {
    std::uint64_t bytes = 0;
    for (const BackupPath& file : contents.files) {
        bytes += file.size;
    }
    std::string out = "backup in " + ToUtf8(folder) + ": " + std::to_string(contents.keys.size()) +
                      " registry keys, " + std::to_string(contents.values.size()) + " registry values, " +
                      std::to_string(contents.folders.size()) + " folders, " +
                      std::to_string(contents.files.size()) + " files (" + std::to_string(bytes) +
                      " bytes), " + std::to_string(contents.forms.size()) + " forms, " +
                      std::to_string(contents.printers.size()) + " printers (" +
                      std::to_string(contents.printerData.size()) + " printer data values)\n";
    out += "not backed up, so --restore cannot put back (" + std::to_string(contents.notRestorable.size()) +
           "):\n";
    for (const NotRestorable& entry : contents.notRestorable) {
        out += "  " + entry.what + ": " + entry.reason + "\n";
    }
    return out;
}

BackupRun RunBackup(Machine& machine, sim::SimMachine& snapshot, const PreviewOptions& options,
                    std::vector<std::string> snapshotNotes, std::u16string_view folder) {
    BackupRun run;
    const ResidueState before = CaptureResidue(snapshot);
    run.report = RunPreview(snapshot, options, std::move(snapshotNotes));
    run.contents = SelectDeleted(before, CaptureResidue(snapshot), snapshot);
    ReadBackupFiles(machine, run.contents);
    run.error = WriteBackup(machine.files, folder, run.contents);
    return run;
}

}  // namespace spoolsweep::preview
