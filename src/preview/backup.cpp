#include "preview/backup.h"

#include <algorithm>
#include <cstdio>

#include "cleanup/safe_paths.h"
#include "platform/sim/sim_world.h"
#include "preview/machine_json.h"
#include "preview/sha256.h"
#include "preview/snapshot.h"
#include "spooler/printer_operations.h"
#include "spooler/two_call_enumeration.h"

namespace spoolsweep::preview {
namespace {

using sim::FromUtf8;
using sim::ToUtf8;

// A name the manifest's UTF-8 cannot keep exactly, or one the restore refuses to write.
constexpr const char* kNotWritable = "its name is not one a restore writes";
constexpr const char* kNotAddable =
    "its name, share, driver, port, print processor, separator page or settings are not ones a restore adds";
constexpr std::uint32_t kComputerNameChars = 32767;

std::string ErrorText(std::uint32_t error) {
    return "error " + std::to_string(error);
}

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

// The two environments the program removes drivers from, whose folders the spooler knows.
bool IsDriverEnvironment(std::u16string_view environment) {
    return environment == u"Windows x64" || environment == u"Windows NT x86";
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
// The HKLM keys and values of the spooler's printers, each under its folded path and sorted by it, so that
// a printer's are one range: a terminal server's thousands of printers are not each matched against all.
struct PrintersRegistry {
    using Value = ResidueState::Values::value_type;
    std::vector<std::pair<std::u16string, const std::u16string*>> keys;
    std::vector<std::tuple<std::u16string, std::size_t, const Value*>>
        values;  // with their place in `before`
};

PrintersRegistry IndexPrintersRegistry(const ResidueState& before) {
    const std::u16string printers = sim::Fold(std::u16string(sim::kPrintKey) + u"\\Printers\\");
    PrintersRegistry index;
    for (const auto& [key, present] : before.keys) {
        if (std::u16string folded = sim::Fold(key.second);
            key.first == kHkeyLocalMachine && folded.starts_with(printers)) {
            index.keys.emplace_back(std::move(folded), &key.second);
        }
    }
    std::size_t place = 0;
    for (const auto& entry : before.values) {
        if (std::u16string folded = sim::Fold(std::get<1>(entry.first));
            std::get<0>(entry.first) == kHkeyLocalMachine && folded.starts_with(printers)) {
            index.values.emplace_back(std::move(folded), place, &entry);
        }
        ++place;
    }
    std::sort(index.keys.begin(), index.keys.end());
    std::sort(index.values.begin(), index.values.end());
    return index;
}

// The entries of `sorted` (by folded path first) whose folded path begins with `prefix`.
template <class Entries>
auto RangeWithPrefix(const Entries& sorted, const std::u16string& prefix) {
    const auto first =
        std::lower_bound(sorted.begin(), sorted.end(), prefix,
                         [](const auto& entry, const auto& text) { return std::get<0>(entry) < text; });
    const auto last = std::find_if(
        first, sorted.end(), [&](const auto& entry) { return !std::get<0>(entry).starts_with(prefix); });
    return std::make_pair(first, last);
}

void KeepPrinterData(const PrintersRegistry& registry, const std::u16string& printer,
                     BackupContents& contents) {
    const std::u16string prefix =
        sim::Fold(std::u16string(sim::kPrintKey) + u"\\Printers\\" + printer + u"\\");
    std::map<std::u16string, std::u16string> empty;  // folded path to path
    const auto [firstKey, lastKey] = RangeWithPrefix(registry.keys, prefix);
    std::for_each(firstKey, lastKey, [&](const auto& key) { empty.emplace(key.first, *key.second); });
    auto [firstValue, lastValue] = RangeWithPrefix(registry.values, prefix);
    std::vector<std::tuple<std::u16string, std::size_t, const PrintersRegistry::Value*>> mine(firstValue,
                                                                                              lastValue);
    // In the order of `before`, as the values were always kept.
    std::sort(mine.begin(), mine.end(),
              [](const auto& a, const auto& b) { return std::get<1>(a) < std::get<1>(b); });
    for (auto& [folded, place, entry] : mine) {
        const auto& [id, value] = *entry;
        const auto& [root, key, name] = id;
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
    const PrintersRegistry registry = IndexPrintersRegistry(before);
    for (const sim::SimPrinter& printer : before.printers) {
        const std::string name = ToUtf8(printer.name);
        if (!before.spooler.printers.contains(name) || after.spooler.printers.contains(name)) {
            continue;
        }
        const PrinterDefinition definition = DefinitionOf(printer);
        if (!printer.serverName.empty() && IsRestorableConnection(printer.name) &&
            Representable(printer.name)) {
            contents.connections.push_back(printer.name);
        } else if (!printer.serverName.empty()) {
            contents.notRestorable.push_back({"printer connection " + name, kNotWritable});
        } else if (!IsRepresentable(definition) || !IsRestorablePrinter(definition)) {
            contents.notRestorable.push_back({"printer " + name, kNotAddable});
        } else {
            contents.printers.push_back(definition);
            KeepPrinterData(registry, printer.name, contents);
        }
    }
}

// Each driver the run deleted, by name and environment ("<environment>, <name>": an environment the spooler
// knows has no comma).
void KeepDrivers(const ResidueState& before, const ResidueState& after, BackupContents& contents) {
    for (const std::string& name : before.spooler.drivers) {
        if (!after.spooler.drivers.contains(name)) {
            const std::size_t cut = name.find(", ");
            contents.drivers.push_back(
                {{FromUtf8(name.substr(cut + 2)), FromUtf8(name.substr(0, cut)), u"", {}}, {}, {}});
        }
    }
}

// The folded spooler keys of the drivers the backup keeps: the spooler writes each again when it adds the
// driver back, so neither it nor a key below it is kept on its own.
std::set<std::u16string> KeptDriversKeys(const BackupContents& contents) {
    std::set<std::u16string> keys;
    for (const BackupDriver& driver : contents.drivers) {
        keys.insert(sim::Fold(std::u16string(sim::kPrintKey) + u"\\Environments\\" +
                              driver.definition.environment + u"\\Drivers\\Version-3\\" +
                              driver.definition.name));
    }
    return keys;
}

// True when the key or a key above it is a kept driver's (its few ancestors looked up, as in IsInTrees).
bool IsKeptDriversKey(const std::set<std::u16string>& driverKeys, Handle root, std::u16string_view path) {
    if (root != kHkeyLocalMachine) {
        return false;
    }
    const std::u16string folded = sim::Fold(path);
    for (std::size_t end = folded.find(u'\\');; end = folded.find(u'\\', end + 1)) {
        if (driverKeys.contains(folded.substr(0, end))) {
            return true;
        }
        if (end == std::u16string::npos) {
            return false;
        }
    }
}

// Reads the file at `path` into `file` (bytes, size, SHA-256, attributes), or says why it cannot be kept.
std::string ReadKeptFile(Files& files, const std::u16string& path, BackupPath& file) {
    FileBytes read = files.ReadFileBytes(path, kMaxBackupFileBytes);
    const auto attributes = files.GetStatus(path);
    if (read.error != 0 || !attributes) {
        return "it could not be read (" + ErrorText(read.error) + ")";
    }
    if (read.refused) {
        return "a link, a file with more than one name, or larger than 256 MiB: not backed up";
    }
    file.attributes = *attributes;
    file.size = read.bytes.size();
    file.sha256 = Sha256Hex(read.bytes);
    file.bytes = std::move(read.bytes);
    return {};
}

bool IsRepresentable(const DriverDefinition& driver) {
    const DriverDetails& details = driver.details;
    std::vector<std::u16string> texts = DriverFilesOf(driver);
    texts.insert(texts.end(), details.previousNames.begin(), details.previousNames.end());
    texts.insert(texts.end(), {driver.name, driver.environment, details.monitor, details.defaultDataType,
                               details.manufacturer, details.oemUrl, details.hardwareId, details.provider});
    return std::all_of(texts.begin(), texts.end(), Representable);
}

// The driver's definition as the spooler lists it in `listed` (its environment's drivers), and the bytes of
// each file it names (once each), or why it cannot be kept.
std::string ReadDriver(Machine& machine, const std::vector<DriverDefinition>& listed, BackupDriver& driver) {
    const auto found = std::find_if(listed.begin(), listed.end(), [&](const DriverDefinition& now) {
        return sim::EqualNoCase(now.name, driver.definition.name);
    });
    if (found == listed.end()) {
        return "its definition could not be read from the spooler";
    }
    driver.definition = WithFilesIn(*found, u"");
    if (!IsRepresentable(*found) || !IsRestorableDriver(driver.definition)) {
        return "its name, environment or a file's name is not one a restore adds";
    }
    for (const std::u16string& path : DriverFilesOf(*found)) {
        BackupPath file{path.substr(path.rfind(u'\\') + 1), 0, {}, 0, {}};
        if (std::any_of(driver.files.begin(), driver.files.end(),
                        [&](const BackupPath& kept) { return sim::EqualNoCase(kept.path, file.path); })) {
            continue;
        }
        const auto link = FindLinkOnPath(machine.files, path);
        const std::string refused = link ? "a folder on its path is a link: " + ToUtf8(*link)
                                         : ReadKeptFile(machine.files, path, file);
        if (!refused.empty()) {
            return "its file " + ToUtf8(path) + ": " + refused;
        }
        driver.files.push_back(std::move(file));
    }
    return {};
}

// "<system>\DriverStore\FileRepository\<folder>", the package folder of an INF directly in it; else empty.
std::u16string PackageFolderOf(std::u16string_view inf, std::u16string_view system) {
    const std::u16string repository = std::u16string(system) + u"\\DriverStore\\FileRepository\\";
    const std::size_t cut = inf.rfind(u'\\');
    if (system.empty() || !IsPlainFullPath(inf) || inf.size() < repository.size() + 6 ||
        !sim::EqualNoCase(inf.substr(0, repository.size()), repository) ||
        inf.find(u'\\', repository.size()) != cut || !sim::EqualNoCase(inf.substr(inf.size() - 4), u".inf")) {
        return {};
    }
    return std::u16string(inf.substr(0, cut));
}

// Every file below the package's folder, each with its path relative to it, or why the package cannot be
// kept (then nothing of it is).
std::string ReadPackage(Files& files, BackupPackage& package) {
    const std::u16string system = files.GetSystemDirectory();
    const std::u16string folder = PackageFolderOf(package.inf, system);
    if (folder.empty() || !Representable(package.inf)) {
        return "its INF is not in a folder of the driver store's FileRepository";
    }
    if (const auto link = FindLinkOnPath(files, folder)) {
        return "a folder on its path is a link: " + ToUtf8(*link);
    }
    // A folder that cannot be listed shows no entries: the package then lacks its INF and is refused.
    for (std::vector<std::u16string> pending{u""}; !pending.empty();) {
        const std::u16string below = std::move(pending.back());
        pending.pop_back();
        std::u16string listed = folder;
        if (!below.empty()) {
            listed.append(u"\\").append(below);
        }
        for (const FindEntry& entry : ListFolder(files, listed)) {
            std::u16string relative = below;
            relative.append(below.empty() ? u"" : u"\\").append(entry.name);
            std::u16string path = folder;
            path.append(u"\\").append(relative);
            if ((entry.attributes & kFileAttributeReparsePoint) != 0) {
                return ToUtf8(path) + " is a link: links are not backed up";
            }
            if ((entry.attributes & kFileAttributeDirectory) != 0) {
                pending.push_back(std::move(relative));
                continue;
            }
            BackupPath file{std::move(relative), 0, {}, 0, {}};
            const std::string refused = package.files.size() == kMaxPackageFiles
                                            ? "more than " + std::to_string(kMaxPackageFiles) + " files"
                                            : ReadKeptFile(files, path, file);
            if (!refused.empty()) {
                return "its file " + ToUtf8(path) + ": " + refused;
            }
            package.files.push_back(std::move(file));
        }
    }
    const bool named = std::all_of(package.files.begin(), package.files.end(),
                                   [](const BackupPath& file) { return Representable(file.path); });
    return named && IsRestorablePackage(package, system)
               ? ""
               : "its INF or a file's name is not one a restore uploads";
}

// The ports of the printers kept, with their monitors, as the spooler lists them now: a restore adds back a
// local port that is gone. A port the spooler does not list is left out, as nothing tells its monitor; the
// printer's restore then names it.
void KeepPorts(Spooler& spooler, BackupContents& contents) {
    if (contents.printers.empty()) {
        return;
    }
    const std::vector<PortInfo> listed =
        EnumerateInTwoCalls([&](std::uint32_t bytes) { return spooler.ListPorts(bytes); });
    for (const PrinterDefinition& printer : contents.printers) {
        const std::u16string ports = printer.settings.port.value_or(u"");
        for (std::size_t start = 0; start < ports.size();) {
            const std::size_t end = std::min(ports.find(u',', start), ports.size());
            const std::u16string name = ports.substr(start, end - start);
            start = end + 1;
            const auto same = [&](const PortInfo& port) { return sim::EqualNoCase(port.name, name); };
            const auto found = std::find_if(listed.begin(), listed.end(), same);
            if (found != listed.end() && IsRestorablePort(*found) && Representable(found->name) &&
                Representable(found->monitor) &&
                std::none_of(contents.ports.begin(), contents.ports.end(), same)) {
                contents.ports.push_back(*found);
            }
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

std::string PackageText(const BackupPackage& package) {
    return "driver package " + ToUtf8(package.inf) + ", " + ToUtf8(package.environment);
}

std::vector<std::u16string> PackageSubfolders(const BackupPackage& package) {
    std::map<std::u16string, std::u16string> folders{{u"", u""}};  // folded, as first written
    for (const BackupPath& file : package.files) {
        for (std::size_t at = file.path.find(u'\\'); at != std::u16string::npos;
             at = file.path.find(u'\\', at + 1)) {
            folders.try_emplace(sim::Fold(file.path.substr(0, at)), file.path.substr(0, at));
        }
    }
    // A parent's folded path is a prefix of its child's, so it sorts before it.
    std::vector<std::u16string> ordered;
    ordered.reserve(folders.size());
    for (auto& [folded, written] : folders) {
        ordered.push_back(std::move(written));
    }
    return ordered;
}

std::u16string PackageCopyFolder(std::u16string_view backup, std::size_t index, std::u16string_view inf) {
    const std::u16string folder(inf.substr(0, inf.rfind(u'\\')));
    return std::u16string(backup) + u"\\" + std::u16string(kPackageFolderName) + u"\\" +
           FromUtf8(std::to_string(index)) + u"\\" + folder.substr(folder.rfind(u'\\') + 1);
}

std::string DriverText(const DriverDefinition& driver) {
    return ToUtf8(driver.environment) + ", " + ToUtf8(driver.name);
}

// A package is the spooler's own object too: UploadPrinterDriverPackageW copies it into the driver store,
// which names its folder, so what a backup could point elsewhere is a file's path below the package folder.
bool IsRestorablePackage(const BackupPackage& package, std::u16string_view system) {
    const std::u16string folder = PackageFolderOf(package.inf, system);
    if (folder.empty() || !IsDriverEnvironment(package.environment)) {
        return false;
    }
    const std::u16string_view inf = std::u16string_view(package.inf).substr(folder.size() + 1);
    return std::all_of(package.files.begin(), package.files.end(),
                       [](const BackupPath& file) { return IsPlainFullPath(u"C:\\" + file.path); }) &&
           std::any_of(package.files.begin(), package.files.end(),
                       [&](const BackupPath& file) { return sim::EqualNoCase(file.path, inf); });
}

bool IsRestorablePort(const PortInfo& port) {
    return IsPlainSpoolerName(port.name, u",") && port.name.size() < 260 &&
           !HasControlCharacter(port.monitor);
}

// A driver is the spooler's own object: AddPrinterDriverExW copies its files only into the spooler's driver
// folder of its environment, each under the name it is given. So what a backup could point elsewhere is a
// file's name: none may hold a path (no separator, no "..", no control character), and the environment must
// be one of the two the program removes drivers from, whose folders the spooler knows.
// A connection makes the spooler install the driver its server offers, so the server is one a backup of this
// machine named, and a backup is read only from a folder administrators alone could have written.
bool IsRestorableConnection(std::u16string_view name) {
    const std::size_t cut = name.find(u'\\', 2);
    return name.starts_with(u"\\\\") && cut != std::u16string_view::npos && cut > 2 &&
           name.find_first_of(u"/,", 2) == std::u16string_view::npos && !HasControlCharacter(name) &&
           IsPlainSpoolerName(std::u16string(name.substr(cut + 1)), u"\\");
}

bool IsRestorableDriver(const DriverDefinition& driver) {
    const std::vector<std::u16string> files = DriverFilesOf(driver);
    return IsDriverEnvironment(driver.environment) && IsPlainSpoolerName(driver.name) &&
           !driver.details.driverPath.empty() && !driver.dataFile.empty() &&
           !driver.details.configFile.empty() &&
           std::all_of(files.begin(), files.end(), [](const std::u16string& name) {
               return name != u"." && name != u".." && IsPlainFileNamePart(name);
           });
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

namespace {

// A 32-bit process on 64-bit Windows opens the system folder as SysWOW64; the folders below it that Windows
// exempts from that redirection (the spooler's among them) are the 64-bit ones again, and the walk goes on to
// check each of them as written. That one redirection is Windows' own, no link anyone planted, and the 32-bit
// program reads the drivers' files through it. Asked only when a final path differs, which is rare.
bool IsWow64SystemFolder(Files& files, std::u16string_view folder, std::u16string_view finalPath) {
    const auto redirected = files.GetRedirectedSystemDirectory();
    return redirected && sim::EqualNoCase(finalPath, *redirected) &&
           sim::EqualNoCase(folder, files.GetSystemDirectory());
}

}  // namespace

std::optional<std::u16string> FindLinkOnPath(Files& files, std::u16string_view path) {
    for (std::size_t at = path.find(u'\\', 3);; at = path.find(u'\\', at + 1)) {
        const std::u16string prefix(path.substr(0, at));
        if (files.GetStatus(prefix)) {
            const auto identity = files.QueryIdentity(prefix);
            if (!identity || (identity->attributes & kFileAttributeReparsePoint) != 0 ||
                (!sim::EqualNoCase(identity->finalPath, prefix) &&
                 !IsWow64SystemFolder(files, prefix, identity->finalPath))) {
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
    KeepDrivers(before, after, contents);
    // A key the spooler took with its printer or driver goes back with them, not on its own.
    const std::set<std::u16string> trees = DeletedTrees(ran);
    const std::set<std::u16string> driverKeys = KeptDriversKeys(contents);
    for (const auto& [key, present] : before.keys) {
        if (!after.keys.contains(key) && IsInTrees(trees, key.first, key.second) &&
            !IsKeptDriversKey(driverKeys, key.first, key.second)) {
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
        if (after.values.contains(id) || IsKeptDriversKey(driverKeys, root, key) ||
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
    for (const auto& [inf, environment] : ran.DeletedDriverPackages()) {
        contents.packages.push_back({inf, environment, {}, {}});
    }
    return contents;
}

void ReadBackupFiles(Machine& machine, BackupContents& contents) {
    DropPathsThroughLinks(machine.files, contents.folders, contents.notRestorable, "folder ");
    DropPathsThroughLinks(machine.files, contents.files, contents.notRestorable, "file ");
    std::vector<BackupPath> readable;
    for (BackupPath& file : contents.files) {
        if (std::string refused = ReadKeptFile(machine.files, file.path, file); !refused.empty()) {
            contents.notRestorable.push_back({"file " + ToUtf8(file.path), std::move(refused)});
        } else {
            readable.push_back(std::move(file));
        }
    }
    contents.files = std::move(readable);
    std::erase_if(contents.packages, [&](BackupPackage& package) {
        const std::string refused = ReadPackage(machine.files, package);
        if (!refused.empty()) {
            contents.notRestorable.push_back({PackageText(package), refused});
        }
        return !refused.empty();
    });
    // Each environment's definitions are listed once, for all of its drivers.
    std::map<std::u16string, std::vector<DriverDefinition>> listed;
    std::erase_if(contents.drivers, [&](BackupDriver& driver) {
        const std::u16string& environment = driver.definition.environment;
        if (!listed.contains(environment)) {
            listed[environment] = EnumerateInTwoCalls([&](std::uint32_t bytes) {
                return machine.spooler.EnumDriverDefinitions(environment, bytes);
            });
        }
        const std::string what = "driver " + DriverText(driver.definition);
        const std::string refused = ReadDriver(machine, listed[environment], driver);
        if (!refused.empty()) {
            contents.notRestorable.push_back({what, refused});
        }
        return !refused.empty();
    });
    KeepPorts(machine.spooler, contents);
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
    json["driverPackages"] = nlohmann::ordered_json::array();
    for (const BackupPackage& package : contents.packages) {
        nlohmann::ordered_json files = nlohmann::ordered_json::array();
        for (const BackupPath& file : package.files) {
            files.push_back({{"path", ToUtf8(file.path)}, {"size", file.size}, {"sha256", file.sha256}});
        }
        json["driverPackages"].push_back({{"inf", ToUtf8(package.inf)},
                                          {"environment", ToUtf8(package.environment)},
                                          {"files", std::move(files)}});
    }
    json["ports"] = nlohmann::ordered_json::array();
    for (const PortInfo& port : contents.ports) {
        json["ports"].push_back({{"name", ToUtf8(port.name)}, {"monitor", ToUtf8(port.monitor)}});
    }
    json["drivers"] = nlohmann::ordered_json::array();
    for (const BackupDriver& driver : contents.drivers) {
        const DriverDefinition& definition = driver.definition;
        const DriverDetails& details = definition.details;
        const auto texts = [](const std::vector<std::u16string>& list) {
            nlohmann::ordered_json array = nlohmann::ordered_json::array();
            for (const std::u16string& text : list) {
                array.push_back(ToUtf8(text));
            }
            return array;
        };
        nlohmann::ordered_json files = nlohmann::ordered_json::array();
        for (const BackupPath& file : driver.files) {
            files.push_back({{"name", ToUtf8(file.path)}, {"size", file.size}, {"sha256", file.sha256}});
        }
        json["drivers"].push_back({{"name", ToUtf8(definition.name)},
                                   {"environment", ToUtf8(definition.environment)},
                                   {"version", details.version},
                                   {"driverPath", ToUtf8(details.driverPath)},
                                   {"dataFile", ToUtf8(definition.dataFile)},
                                   {"configFile", ToUtf8(details.configFile)},
                                   {"helpFile", ToUtf8(details.helpFile)},
                                   {"dependentFiles", texts(details.dependentFiles)},
                                   {"monitor", ToUtf8(details.monitor)},
                                   {"defaultDataType", ToUtf8(details.defaultDataType)},
                                   {"previousNames", texts(details.previousNames)},
                                   {"date", details.date},
                                   {"driverVersion", details.driverVersion},
                                   {"manufacturer", ToUtf8(details.manufacturer)},
                                   {"oemUrl", ToUtf8(details.oemUrl)},
                                   {"hardwareId", ToUtf8(details.hardwareId)},
                                   {"provider", ToUtf8(details.provider)},
                                   {"files", std::move(files)}});
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
    json["connections"] = nlohmann::ordered_json::array();
    for (const std::u16string& connection : contents.connections) {
        const std::size_t cut = connection.find(u'\\', 2);
        json["connections"].push_back(
            {{"server", ToUtf8(connection.substr(0, cut))}, {"printer", ToUtf8(connection.substr(cut + 1))}});
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
    const std::u16string drivers = std::u16string(folder) + u"\\" + std::u16string(kDriverFolderName);
    made.emplace_back(folder);
    made.push_back(data);
    for (std::size_t index = 0; index < contents.drivers.size(); ++index) {
        if (index == 0) {
            made.push_back(drivers);
        }
        made.push_back(drivers + u"\\" + FromUtf8(std::to_string(index)));
    }
    std::vector<std::pair<std::u16string, const BackupPath*>> written;
    if (!contents.packages.empty()) {
        made.push_back(std::u16string(folder) + u"\\" + std::u16string(kPackageFolderName));
    }
    for (std::size_t index = 0; index < contents.packages.size(); ++index) {
        const std::u16string copy = PackageCopyFolder(folder, index, contents.packages[index].inf);
        made.push_back(copy.substr(0, copy.rfind(u'\\')));
        for (const std::u16string& below : PackageSubfolders(contents.packages[index])) {
            made.push_back(copy);
            made.back().append(below.empty() ? u"" : u"\\").append(below);
        }
        for (const BackupPath& file : contents.packages[index].files) {
            written.emplace_back(copy + u"\\" + file.path, &file);
        }
    }
    // The backup folder is made private: only administrators may change what the restore will read.
    for (const std::u16string& created : made) {
        const Status made =
            created == folder ? files.CreatePrivateDirectory(created) : files.CreateDirectory(created);
        if (!made.ok()) {
            return "cannot create " + ToUtf8(created) + " (" + ErrorText(made.error) + ")";
        }
    }
    for (std::size_t index = 0; index < contents.files.size(); ++index) {
        written.emplace_back(data + u"\\" + FromUtf8(std::to_string(index)), &contents.files[index]);
    }
    for (std::size_t index = 0; index < contents.drivers.size(); ++index) {
        for (const BackupPath& file : contents.drivers[index].files) {
            written.emplace_back(drivers + u"\\" + FromUtf8(std::to_string(index)) + u"\\" + file.path,
                                 &file);
        }
    }
    for (const auto& [path, file] : written) {
        if (const Status wrote = files.CreateNewFile(path, file->bytes); !wrote.ok()) {
            return "cannot write " + ToUtf8(path) + " (" + ErrorText(wrote.error) + ")";
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
    std::string out =
        "backup in " + ToUtf8(folder) + ": " + std::to_string(contents.keys.size()) + " registry keys, " +
        std::to_string(contents.values.size()) + " registry values, " +
        std::to_string(contents.folders.size()) + " folders, " + std::to_string(contents.files.size()) +
        " files (" + std::to_string(bytes) + " bytes), " + std::to_string(contents.forms.size()) +
        " forms, " + std::to_string(contents.ports.size()) + " ports, " +
        std::to_string(contents.packages.size()) + " driver packages, " +
        std::to_string(contents.drivers.size()) + " drivers, " + std::to_string(contents.printers.size()) +
        " printers (" + std::to_string(contents.printerData.size()) + " printer data values), " +
        std::to_string(contents.connections.size()) + " connections\n";
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
