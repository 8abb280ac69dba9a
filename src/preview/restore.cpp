// Reading a backup back, checked whole before anything is written, and putting back what the machine lacks.
// A backup folder is input to a program that runs as an administrator: nothing in it is trusted to name where
// to write beyond the keys and folders this machine's residue tables name.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <set>
#include <stdexcept>

#include "platform/sim/sim_world.h"
#include "platform/win_errors.h"
#include "preview/backup.h"
#include "preview/machine_json.h"
#include "preview/sha256.h"
#include "preview/snapshot.h"
#include "spooler/two_call_enumeration.h"

namespace spoolsweep::preview {
namespace {

using sim::FromUtf8;
using sim::ToUtf8;

using Json = nlohmann::ordered_json;

constexpr std::uint32_t kKeyReadAccess = 0x20019;
constexpr std::uint32_t kKeyQuerySetValue = 0x0003;
constexpr std::uint64_t kMaxManifestBytes = 64ULL << 20;
constexpr const char* kExistsNow = "it exists now";
constexpr std::u16string_view kDriverEnvironments[] = {u"Windows NT x86", u"Windows x64"};

bool IsInTree(std::u16string_view path, std::u16string_view folder) {
    const std::u16string foldedPath = sim::Fold(path);
    const std::u16string foldedFolder = sim::Fold(folder);
    return foldedPath == foldedFolder ||
           (foldedPath.starts_with(foldedFolder) && foldedPath[foldedFolder.size()] == u'\\');
}

std::optional<Handle> RootNamed(const std::string& name) {
    for (Handle root : {kHkeyCurrentUser, kHkeyLocalMachine, kHkeyUsers}) {
        if (name == sim::World::RootName(root)) {
            return root;
        }
    }
    return std::nullopt;
}

bool IsHex(const std::string& text, std::size_t digits) {
    return (digits == 0 ? text.size() % 2 == 0 : text.size() == digits) &&
           std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

std::vector<std::uint8_t> FromHex(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t at = 0; at + 1 < text.size(); at += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(at, 2), nullptr, 16)));
    }
    return bytes;
}

std::uint32_t Unsigned32(const Json& value) {
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() > 0xFFFFFFFFULL) {
        throw std::out_of_range("not a 32-bit unsigned number");
    }
    return value.get<std::uint32_t>();
}

// One manifest entry read; the reason it is refused, or empty.
class ManifestReader {
  public:
    explicit ManifestReader(const RestoreScope& scope) : scope_(scope) {}

    std::string ReadKey(const Json& entry, BackupContents& contents) const {
        const auto root = RootNamed(entry.at("root").get<std::string>());
        const std::u16string path = FromUtf8(entry.at("path").get<std::string>());
        if (!root || !IsKeyInScope(*root, path)) {
            return "registry key " + entry.at("root").get<std::string>() + "\\" + ToUtf8(path) +
                   " is outside the keys a restore may write";
        }
        contents.keys.push_back({*root, path});
        return {};
    }

    std::string ReadValue(const Json& entry, BackupContents& contents) const {
        const auto root = RootNamed(entry.at("root").get<std::string>());
        BackupValue value{root.value_or(0),
                          FromUtf8(entry.at("key").get<std::string>()),
                          FromUtf8(entry.at("name").get<std::string>()),
                          Unsigned32(entry.at("type")),
                          {}};
        const std::string data = entry.at("data").get<std::string>();
        if (!root || !IsKeyInScope(*root, value.key)) {
            return "registry value in " + entry.at("root").get<std::string>() + "\\" + ToUtf8(value.key) +
                   " is outside the keys a restore may write";
        }
        if (!IsHex(data, 0)) {
            return "registry value " + KeyText(*root, value.key) + " \"" + ToUtf8(value.name) +
                   "\" has data that is not hexadecimal bytes";
        }
        value.data = FromHex(data);
        contents.values.push_back(std::move(value));
        return {};
    }

    std::string ReadPath(const Json& entry, bool file, BackupContents& contents) const {
        BackupPath path{
            FromUtf8(entry.at("path").get<std::string>()), Unsigned32(entry.at("attributes")), {}, 0, {}};
        const std::string what = (file ? "file " : "folder ") + ToUtf8(path.path);
        if (!IsPlainFullPath(path.path) ||
            std::none_of(scope_.folders.begin(), scope_.folders.end(),
                         [&](const std::u16string& folder) { return IsInTree(path.path, folder); })) {
            return what + " is outside the folders a restore may write";
        }
        if (file) {
            path.size = entry.at("size").get<std::uint64_t>();
            path.sha256 = entry.at("sha256").get<std::string>();
            if (!entry.at("size").is_number_unsigned() || path.size > kMaxBackupFileBytes ||
                !IsHex(path.sha256, 64)) {
                return what + " has no valid size and SHA-256";
            }
        }
        (file ? contents.files : contents.folders).push_back(std::move(path));
        return {};
    }

    // A form is the spooler's own object, so what bounds it is its kind, not a place: the removal deletes
    // every form the spooler lists that is not built-in (there is no table of names to hold it to), and
    // AddFormW never replaces a form of that name. So any plain, not built-in form is restorable.
    static std::string ReadForm(const Json& entry, BackupContents& contents) {
        const auto number = [&](const char* field) {
            const Json& value = entry.at(field);
            if (!value.is_number_integer() || value.get<std::int64_t>() < INT32_MIN ||
                value.get<std::int64_t>() > INT32_MAX) {
                throw std::out_of_range("not a 32-bit number");
            }
            return value.get<std::int32_t>();
        };
        BackupForm form{Unsigned32(entry.at("flags")),
                        FromUtf8(entry.at("name").get<std::string>()),
                        number("width"),
                        number("height"),
                        number("left"),
                        number("top"),
                        number("right"),
                        number("bottom")};
        if (!IsRestorableForm(form)) {
            return "form " + ToUtf8(form.name) +
                   " is not one a restore adds: a built-in form, a name the spooler would not list, or an "
                   "imageable area outside its paper";
        }
        contents.forms.push_back(std::move(form));
        return {};
    }

    // Containment as IsRestorablePackage decides it: an INF in a folder of this machine's driver store, and
    // files each named once by a plain path below the package's folder, with size and SHA-256.
    std::string ReadPackage(const Json& entry, BackupContents& contents) const {
        BackupPackage package{FromUtf8(entry.at("inf").get<std::string>()),
                              FromUtf8(entry.at("environment").get<std::string>()),
                              {},
                              {}};
        std::set<std::u16string> names;
        for (const Json& file : entry.at("files")) {
            BackupPath kept{FromUtf8(file.at("path").get<std::string>()),
                            0,
                            {},
                            file.at("size").get<std::uint64_t>(),
                            file.at("sha256").get<std::string>()};
            if (!names.insert(sim::Fold(kept.path)).second || !file.at("size").is_number_unsigned() ||
                kept.size > kMaxBackupFileBytes || !IsHex(kept.sha256, 64)) {
                return PackageText(package) + ": its file " + ToUtf8(kept.path) +
                       " is listed twice, or has no valid size and SHA-256";
            }
            package.files.push_back(std::move(kept));
        }
        if (package.files.size() > kMaxPackageFiles || !IsRestorablePackage(package, scope_.system)) {
            return PackageText(package) +
                   " is not one a restore uploads: an INF outside the driver store's FileRepository, an "
                   "environment other than \"Windows x64\" or \"Windows NT x86\", a file's path that is not "
                   "plain, or no INF among its files";
        }
        contents.packages.push_back(std::move(package));
        return {};
    }

    // Containment as IsRestorableDriver decides it; each file the definition names is listed once with its
    // size and SHA-256, and nothing else is.
    static std::string ReadDriver(const Json& entry, BackupContents& contents) {
        const auto text = [&](const char* field) { return FromUtf8(entry.at(field).get<std::string>()); };
        const auto texts = [&](const char* field) {
            std::vector<std::u16string> list;
            for (const Json& item : entry.at(field)) {
                list.push_back(FromUtf8(item.get<std::string>()));
            }
            return list;
        };
        BackupDriver driver{
            {text("name"),
             text("environment"),
             text("dataFile"),
             {Unsigned32(entry.at("version")), text("driverPath"), text("configFile"), text("helpFile"),
              texts("dependentFiles"), text("monitor"), text("defaultDataType"), texts("previousNames"),
              entry.at("date").get<std::uint64_t>(), entry.at("driverVersion").get<std::uint64_t>(),
              text("manufacturer"), text("oemUrl"), text("hardwareId"), text("provider")}},
            {},
            {}};
        const std::string what = "driver " + DriverText(driver.definition);
        if (!IsRestorableDriver(driver.definition)) {
            return what +
                   " is not one a restore adds: an environment other than \"Windows x64\" or \"Windows NT "
                   "x86\", "
                   "or a name or file name that is not plain";
        }
        std::vector<std::u16string> names = DriverFilesOf(driver.definition);
        for (const Json& file : entry.at("files")) {
            BackupPath kept{FromUtf8(file.at("name").get<std::string>()),
                            0,
                            {},
                            file.at("size").get<std::uint64_t>(),
                            file.at("sha256").get<std::string>()};
            const auto listed = std::find_if(names.begin(), names.end(), [&](const std::u16string& name) {
                return sim::EqualNoCase(name, kept.path);
            });
            if (listed == names.end() || !file.at("size").is_number_unsigned() ||
                kept.size > kMaxBackupFileBytes || !IsHex(kept.sha256, 64)) {
                return what + ": its file " + ToUtf8(kept.path) +
                       " is not one it names once, or has no valid size and SHA-256";
            }
            std::erase_if(names,
                          [&](const std::u16string& name) { return sim::EqualNoCase(name, kept.path); });
            driver.files.push_back(std::move(kept));
        }
        if (!names.empty()) {
            return what + ": its file " + ToUtf8(names.front()) + " is not in the backup";
        }
        contents.drivers.push_back(std::move(driver));
        return {};
    }

    // Containment as IsRestorablePrinter decides it; the name, share and driver first, then the settings.
    static std::string ReadPrinter(const Json& entry, BackupContents& contents) {
        const Json& share = entry.at("share");
        PrinterDefinition printer{
            FromUtf8(entry.at("name").get<std::string>()),
            share.is_null() ? std::nullopt : std::optional(FromUtf8(share.get<std::string>())),
            FromUtf8(entry.at("driver").get<std::string>()),
            {}};
        sim::ReadPrinterSettings(entry, "printer", printer.settings);
        if (!IsRestorablePrinter(printer)) {
            return "printer " + ToUtf8(printer.name) +
                   " is not one a restore adds: a name, share, driver, port or print processor the spooler "
                   "would not list, a separator page that is no local full path, or settings whose bytes do "
                   "not hold together";
        }
        contents.printers.push_back(std::move(printer));
        return {};
    }

    // A port is the spooler's own object; only a local port is ever added, and only by the local port
    // monitor, which keeps it in its own list.
    static std::string ReadPort(const Json& entry, BackupContents& contents) {
        PortInfo port{FromUtf8(entry.at("name").get<std::string>()),
                      FromUtf8(entry.at("monitor").get<std::string>())};
        if (!IsRestorablePort(port)) {
            return "port " + ToUtf8(port.name) +
                   " is not one a restore adds: a name that is not plain or holds a "
                   "comma, or a monitor's name with a control character";
        }
        contents.ports.push_back(std::move(port));
        return {};
    }

    static std::string ReadConnection(const Json& entry, BackupContents& contents) {
        const std::u16string name = FromUtf8(entry.at("server").get<std::string>()) + u"\\" +
                                    FromUtf8(entry.at("printer").get<std::string>());
        if (!IsRestorableConnection(name)) {
            return "printer connection " + ToUtf8(name) +
                   " is not one a restore adds: no \\\\server\\printer of plain names";
        }
        contents.connections.push_back(name);
        return {};
    }

    // Only for a printer of this backup, read before it: the restore writes it into the queue it adds.
    static std::string ReadPrinterData(const Json& entry, BackupContents& contents) {
        BackupPrinterData value{FromUtf8(entry.at("printer").get<std::string>()),
                                FromUtf8(entry.at("key").get<std::string>()),
                                FromUtf8(entry.at("name").get<std::string>()),
                                Unsigned32(entry.at("type")),
                                {}};
        const std::string data = entry.at("data").get<std::string>();
        if (std::none_of(contents.printers.begin(), contents.printers.end(),
                         [&](const PrinterDefinition& printer) { return printer.name == value.printer; }) ||
            !IsPlainKeyPath(value.key) || !IsHex(data, 0)) {
            return "printer data " + ToUtf8(value.printer + u"\\" + value.key) +
                   " is not for a printer of this backup, or its key is not plain, or its data not "
                   "hexadecimal bytes";
        }
        value.data = FromHex(data);
        contents.printerData.push_back(std::move(value));
        return {};
    }

  private:
    [[nodiscard]] bool IsKeyInScope(Handle root, std::u16string_view path) const {
        return IsPlainKeyPath(path) &&
               std::any_of(scope_.keys.begin(), scope_.keys.end(), [&](const auto& tree) {
                   return tree.first == root && IsInTree(path, tree.second);
               });
    }

    const RestoreScope& scope_;
};

// Whoever may change a backup chooses what the restore writes, so each part of it is read only when no one
// but administrators could have written it. Its owner must be Administrators, SYSTEM or the account that runs
// the restore: the program asks for administrator rights, so that account is an administrator, and where a
// policy says so (and always under Wine) what its elevated processes make is its own, not Administrators'.
// The same account's unelevated processes could have made such a folder too: that stays open. No entry may
// let anyone else change it (CREATOR OWNER stands for the owner, who is one of those).
constexpr const char* kProgramRule =
    "Spoolsweep.exe is run only from a folder no one else could have written";
constexpr const char* kBackupRule = "a backup is read only from a folder no one else could have written";

std::string CheckAdministratorsOnly(Files& files, const std::u16string& path,
                                    const char* rule = kBackupRule) {
    const FileSecurity security = files.QuerySecurity(path);
    const std::string name = ToUtf8(path);
    if (security.error != 0) {
        return "the owner and access list of " + name + " cannot be read (error " +
               std::to_string(security.error) + ")";
    }
    const auto trusted = [&](const std::string& account) {
        return account == kSidAdministrators || account == kSidSystem ||
               (!account.empty() && account == security.caller);
    };
    if (!trusted(security.owner)) {
        return name + " is owned by " + security.owner +
               ", not by Administrators, SYSTEM or the account running this program: " + rule;
    }
    if (!security.hasAccessList) {
        return name + " has no access list, so everyone may change it";
    }
    for (const AccessEntry& entry : security.entries) {
        if (entry.allow && (entry.rights & kFileChangeRights) != 0 && !trusted(entry.trustee) &&
            entry.trustee != kSidCreatorOwner) {
            return name + " lets " + entry.trustee + " change it: " + rule;
        }
    }
    return {};
}

// "0" to the file count less one, as the backup names the files' data.
bool IsDataFileName(std::u16string_view name, std::size_t fileCount) {
    return !name.empty() && name.size() <= 10 && (name == u"0" || name[0] != u'0') &&
           std::all_of(name.begin(), name.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; }) &&
           std::stoull(ToUtf8(name)) < fileCount;
}

using FolderTests = std::vector<std::pair<std::u16string, std::function<bool(std::u16string_view)>>>;

// The packages' folders with the names each may hold: "packages" its numbers, each number the name of its
// package's folder, and each folder below that the files and folders the manifest's paths name in it.
void AddPackageFolders(const std::u16string& backup, const std::vector<BackupPackage>& packages,
                       FolderTests& folders) {
    if (packages.empty()) {
        return;
    }
    const std::u16string root = backup + u"\\" + std::u16string(kPackageFolderName);
    folders.emplace_back(
        root, [count = packages.size()](std::u16string_view name) { return IsDataFileName(name, count); });
    for (std::size_t index = 0; index < packages.size(); ++index) {
        const std::u16string copy = PackageCopyFolder(backup, index, packages[index].inf);
        const std::u16string number = copy.substr(0, copy.rfind(u'\\'));
        folders.emplace_back(number, [leaf = copy.substr(number.size() + 1)](std::u16string_view name) {
            return sim::EqualNoCase(name, leaf);
        });
        // Each folder a path passes through (by its folded path, as first written), with the folded names
        // directly in it.
        std::map<std::u16string, std::pair<std::u16string, std::set<std::u16string>>> entries;
        for (const BackupPath& file : packages[index].files) {
            for (std::size_t start = 0;;) {
                const std::size_t end = file.path.find(u'\\', start);
                const std::u16string below = file.path.substr(0, start == 0 ? 0 : start - 1);
                entries.try_emplace(sim::Fold(below), below, std::set<std::u16string>{})
                    .first->second.second.insert(sim::Fold(file.path.substr(start, end - start)));
                if (end == std::u16string::npos) {
                    break;
                }
                start = end + 1;
            }
        }
        for (auto& [folded, entry] : entries) {
            folders.emplace_back(entry.first.empty() ? copy : copy + u"\\" + entry.first,
                                 [names = std::move(entry.second)](std::u16string_view name) {
                                     return names.contains(sim::Fold(name));
                                 });
        }
    }
}

// Every entry of the backup folder, its data folder and its drivers' and packages' folders is one the
// manifest names, and none is a link.
std::string CheckFolderEntries(Files& files, const std::u16string& folder, const BackupContents& contents) {
    const std::u16string data = folder + u"\\" + std::u16string(kDataFolderName);
    const std::u16string drivers = folder + u"\\" + std::u16string(kDriverFolderName);
    // Each folder with the test of its entries' names.
    FolderTests folders{
        {folder,
         [&](std::u16string_view name) {
             return name == kManifestName || name == kDataFolderName ||
                    (name == kDriverFolderName && !contents.drivers.empty()) ||
                    (name == kPackageFolderName && !contents.packages.empty());
         }},
        {data, [&](std::u16string_view name) { return IsDataFileName(name, contents.files.size()); }},
        {drivers, [&](std::u16string_view name) { return IsDataFileName(name, contents.drivers.size()); }}};
    for (std::size_t index = 0; index < contents.drivers.size(); ++index) {
        folders.emplace_back(
            drivers + u"\\" + FromUtf8(std::to_string(index)), [&, index](std::u16string_view name) {
                const std::vector<BackupPath>& kept = contents.drivers[index].files;
                return std::any_of(kept.begin(), kept.end(),
                                   [&](const BackupPath& file) { return file.path == name; });
            });
    }
    AddPackageFolders(folder, contents.packages, folders);
    for (const auto& [where, listed] : folders) {
        for (const FindEntry& entry : ListFolder(files, where)) {
            const std::string name = ToUtf8(where + u"\\" + entry.name);
            if ((entry.attributes & kFileAttributeReparsePoint) != 0) {
                return name + " is a link: a backup holds none";
            }
            if (!listed(entry.name)) {
                return name + " is not in the manifest";
            }
        }
    }
    return {};
}

// The data at `path` of `file`, named `what`: a plain file of the manifest's size and SHA-256.
std::string ReadChecked(Files& files, const std::u16string& path, const std::string& what, BackupPath& file) {
    if (std::string unsafe = CheckAdministratorsOnly(files, path); !unsafe.empty()) {
        return unsafe;
    }
    FileBytes read = files.ReadFileBytes(path, file.size);
    if (read.error != 0) {
        return what + " cannot be read (error " + std::to_string(read.error) + ")";
    }
    if (read.refused || read.bytes.size() != file.size) {
        return what + " is a link, a file with more than one name, or not of the size the manifest gives";
    }
    if (Sha256Hex(read.bytes) != file.sha256) {
        return what + " does not match its SHA-256 in the manifest";
    }
    file.bytes = std::move(read.bytes);
    return {};
}

// Each file's data, and each driver's files in the folder the spooler will copy them from. That folder is
// checked as the rest of the backup: only administrators could change a file between this check and the copy.
std::string ReadFileData(Files& files, const std::u16string& folder, BackupContents& contents) {
    for (std::size_t index = 0; index < contents.files.size(); ++index) {
        BackupPath& file = contents.files[index];
        const std::u16string path =
            folder + u"\\" + std::u16string(kDataFolderName) + u"\\" + FromUtf8(std::to_string(index));
        const std::string what = "file " + ToUtf8(file.path) + " (its data " + ToUtf8(path) + ")";
        if (std::string refused = ReadChecked(files, path, what, file); !refused.empty()) {
            return refused;
        }
    }
    for (std::size_t index = 0; index < contents.packages.size(); ++index) {
        BackupPackage& package = contents.packages[index];
        package.folder = PackageCopyFolder(folder, index, package.inf);
        // The store takes every file it finds in the folder, so no one else may add one there either.
        for (const std::u16string& below : PackageSubfolders(package)) {
            if (std::string unsafe = CheckAdministratorsOnly(
                    files, below.empty() ? package.folder : package.folder + u"\\" + below);
                !unsafe.empty()) {
                return unsafe;
            }
        }
        for (BackupPath& file : package.files) {
            const std::u16string path = package.folder + u"\\" + file.path;
            const std::string what = PackageText(package) + ": its file " + ToUtf8(path);
            if (std::string refused = ReadChecked(files, path, what, file); !refused.empty()) {
                return refused;
            }
        }
    }
    for (std::size_t index = 0; index < contents.drivers.size(); ++index) {
        BackupDriver& driver = contents.drivers[index];
        driver.folder =
            folder + u"\\" + std::u16string(kDriverFolderName) + u"\\" + FromUtf8(std::to_string(index));
        if (std::string unsafe = CheckAdministratorsOnly(files, driver.folder); !unsafe.empty()) {
            return unsafe;
        }
        for (BackupPath& file : driver.files) {
            const std::u16string path = driver.folder + u"\\" + file.path;
            const std::string what = "driver " + DriverText(driver.definition) + ": its file " + ToUtf8(path);
            if (std::string refused = ReadChecked(files, path, what, file); !refused.empty()) {
                return refused;
            }
        }
    }
    return {};
}

void Put(std::vector<RestoreLine>& lines, std::string entry, std::uint32_t error, std::string_view what) {
    std::string reason;
    if (error == win_error::kStoppedOnSymlink) {
        reason = "a key on its path is a registry link: nothing is written through one";
    } else if (error != 0) {
        reason = std::string(what) + " failed with error " + std::to_string(error);
    }
    lines.push_back({std::move(entry), error == 0, std::move(reason)});
}

class Restorer {
  public:
    Restorer(Machine& machine, bool dryRun) : machine_(machine), dryRun_(dryRun), trees_(RegistryScope()) {}

    void Keys(const std::vector<BackupKey>& keys) {
        Registry& registry = machine_.registry;
        for (const BackupKey& key : keys) {
            std::string entry = "registry key " + KeyText(key.root, key.path);
            const HandleResult opened = registry.OpenKeyEx(key.root, key.path, kKeyReadAccess);
            const RegistryKey existing(opened.handle, {&registry});
            if (opened.error == 0) {
                lines_.push_back({std::move(entry), false, kExistsNow});
                continue;
            }
            const HandleResult created =
                dryRun_ ? HandleResult{} : CreateInTree(key.root, key.path, kKeyAllAccess);
            const RegistryKey made(created.handle, {&registry});
            Put(lines_, std::move(entry), created.error, "creating it");
        }
    }

    void Values(const std::vector<BackupValue>& values) {
        Registry& registry = machine_.registry;
        for (const BackupValue& value : values) {
            std::string entry =
                "registry value " + KeyText(value.root, value.key) + " \"" + ToUtf8(value.name) + "\"";
            const HandleResult opened = dryRun_ ? registry.OpenKeyEx(value.root, value.key, kKeyReadAccess)
                                                : CreateInTree(value.root, value.key, kKeyQuerySetValue);
            const RegistryKey key(opened.handle, {&registry});
            const bool exists = opened.error == 0 && registry.QueryValue(key.get(), value.name, 0).error == 0;
            Decide(std::move(entry), exists, opened.error, "opening its key", "setting it",
                   [&] { return registry.SetValue(key.get(), value.name, value.type, value.data).error; });
        }
    }

    // One entry's line: not put back when it exists now, only said in a dry run, else put back through
    // `putBack` once what it goes into was opened (`openError` 0), or why not.
    template <typename PutBack>
    void Decide(std::string entry, bool exists, std::uint32_t openError, std::string_view opening,
                std::string_view putting, PutBack putBack) {
        if (exists) {
            lines_.push_back({std::move(entry), false, kExistsNow});
        } else if (dryRun_) {
            lines_.push_back({std::move(entry), true, {}});
        } else if (openError != 0) {
            Put(lines_, std::move(entry), openError, opening);
        } else {
            Put(lines_, std::move(entry), putBack(), putting);
        }
    }

    // Folders first, then files; a folder's attributes last, deepest first, so that a read-only folder is
    // filled before it is marked so.
    void Paths(const std::vector<BackupPath>& folders, const std::vector<BackupPath>& files) {
        std::vector<const BackupPath*> created;
        for (const BackupPath& folder : folders) {
            if (PutPath(folder, false)) {
                created.push_back(&folder);
            }
        }
        for (const BackupPath& file : files) {
            if (PutPath(file, true)) {
                SetAttributes(file, lines_.back());
            }
        }
        for (auto it = created.rbegin(); it != created.rend(); ++it) {
            const std::string entry = "folder " + ToUtf8((*it)->path);
            SetAttributes(**it, *std::find_if(lines_.begin(), lines_.end(),
                                              [&](const RestoreLine& line) { return line.entry == entry; }));
        }
    }

    // Added through the local print server, never over a form of the same name.
    void Forms(const std::vector<BackupForm>& forms) {
        if (forms.empty()) {
            return;
        }
        Spooler& spooler = machine_.spooler;
        const HandleResult server =
            spooler.OpenPrinter(u"", kServerAccessAdminister | kServerAccessEnumerate);
        const PrinterHandle handle(server.handle, {&spooler});
        const std::vector<FormInfo> existing =
            EnumerateInTwoCalls([&](std::uint32_t bytes) { return spooler.EnumForms(handle.get(), bytes); });
        for (const BackupForm& form : forms) {
            const bool exists = std::any_of(existing.begin(), existing.end(), [&](const FormInfo& now) {
                return sim::EqualNoCase(now.name, form.name);
            });
            Decide("form " + ToUtf8(form.name), exists, server.error, "opening the print server", "adding it",
                   [&] { return spooler.AddForm(handle.get(), form).error; });
        }
    }

    // A package whose INF is where the store keeps it is there now: the store names a package's folder
    // after its INF and contents, so the same package comes back under the same name.
    void Packages(const std::vector<BackupPackage>& packages) {
        for (const BackupPackage& package : packages) {
            const std::u16string inf = package.inf.substr(package.inf.rfind(u'\\') + 1);
            Decide(PackageText(package), machine_.files.PathFileExists(package.inf), 0, "", "uploading it",
                   [&] {
                       return machine_.spooler
                           .UploadDriverPackage(package.folder + u"\\" + inf, package.environment)
                           .error;
                   });
        }
    }

    // The spooler copies a driver's files from the backup into its own folder, over none of a newer version;
    // a driver that exists now is never replaced.
    void Drivers(const std::vector<BackupDriver>& drivers) {
        Spooler& spooler = machine_.spooler;
        for (const BackupDriver& driver : drivers) {
            const DriverDefinition& definition = driver.definition;
            const std::vector<DriverInfo>& installed = InstalledDrivers();
            const bool exists = std::any_of(installed.begin(), installed.end(), [&](const DriverInfo& now) {
                return sim::EqualNoCase(now.environment, definition.environment) &&
                       sim::EqualNoCase(now.name, definition.name);
            });
            Decide("driver " + DriverText(definition), exists, 0, "", "adding it", [&] {
                return spooler
                    .AddPrinterDriverEx(WithFilesIn(definition, driver.folder),
                                        kApdCopyNewFiles | kApdCopyFromDirectory)
                    .error;
            });
            if (lines_.back().putBack) {
                addedDrivers_.insert(sim::Fold(definition.name));
            }
        }
    }

    // The drivers of both environments as the restore began, listed once: what it adds itself is in
    // addedDrivers_.
    const std::vector<DriverInfo>& InstalledDrivers() {
        if (!installedDrivers_) {
            installedDrivers_.emplace();
            for (const std::u16string_view environment : kDriverEnvironments) {
                const auto listed = EnumerateInTwoCalls([&](std::uint32_t bytes) {
                    return machine_.spooler.EnumPrinterDrivers(environment, bytes);
                });
                installedDrivers_->insert(installedDrivers_->end(), listed.begin(), listed.end());
            }
        }
        return *installedDrivers_;
    }

    // A printer's port must be there before AddPrinterW takes the printer. Only a port of the local port
    // monitor is added back: another monitor's port needs settings of its own (a TCP/IP port's address)
    // that no listing of ports gives.
    void Ports(const std::vector<PortInfo>& ports) {
        if (ports.empty()) {
            return;
        }
        const std::vector<PortInfo> listed =
            EnumerateInTwoCalls([&](std::uint32_t bytes) { return machine_.spooler.ListPorts(bytes); });
        for (const PortInfo& port : ports) {
            std::string entry = "port " + ToUtf8(port.name);
            const bool exists = std::any_of(listed.begin(), listed.end(), [&](const PortInfo& now) {
                return sim::EqualNoCase(now.name, port.name);
            });
            // Windows names the local port monitor "Local Port", Wine "Local Monitor".
            if (!exists && !sim::EqualNoCase(port.monitor, u"Local Port") &&
                !sim::EqualNoCase(port.monitor, u"Local Monitor")) {
                lines_.push_back({std::move(entry), false,
                                  "only a port of the Local Port monitor is added back; its monitor is " +
                                      ToUtf8(port.monitor)});
                continue;
            }
            Decide(std::move(entry), exists, 0, "", "adding it",
                   [&] { return machine_.spooler.AddLocalPort(port.name).error; });
        }
    }

    // A printer whose driver is missing and not put back is named with it.
    void Printers(const std::vector<PrinterDefinition>& printers) {
        Spooler& spooler = machine_.spooler;
        for (const PrinterDefinition& printer : printers) {
            std::string entry = "printer " + ToUtf8(printer.name);
            const std::u16string driver = printer.driver.value_or(u"");
            const HandleResult opened = spooler.OpenPrinter(printer.name, kPrinterAccessUse);
            const PrinterHandle existing(opened.handle, {&spooler});
            if (opened.error == 0) {
                lines_.push_back({std::move(entry), false, kExistsNow});
            } else if (!addedDrivers_.contains(sim::Fold(driver)) &&
                       std::none_of(InstalledDrivers().begin(), InstalledDrivers().end(),
                                    [&](const DriverInfo& installed) {
                                        return sim::EqualNoCase(installed.name, driver);
                                    })) {
                lines_.push_back(
                    {std::move(entry), false, "its driver " + ToUtf8(driver) + " is not installed"});
            } else {
                Decide(std::move(entry), false, 0, "", "adding it", [&] {
                    const HandleResult added = spooler.AddPrinter(printer);
                    const PrinterHandle handle(added.handle, {&spooler});
                    return added.error;
                });
                NamePrinterRefusal(printer, lines_.back());
            }
            if (lines_.back().putBack) {
                added_.insert(printer.name);
            }
        }
    }

    // A printer's data goes only into the queue this restore added: a printer that exists now keeps its own.
    void PrinterData(const std::vector<BackupPrinterData>& values) {
        Spooler& spooler = machine_.spooler;
        std::u16string openName;
        HandleResult opened;
        PrinterHandle handle(0, {&spooler});
        for (const BackupPrinterData& value : values) {
            std::string entry = PrinterDataText(value);
            if (!added_.contains(value.printer)) {
                lines_.push_back({std::move(entry), false, "its printer was not put back"});
                continue;
            }
            if (!dryRun_ && value.printer != openName) {
                opened = spooler.OpenPrinter(value.printer, kPrinterAllAccess);
                handle = PrinterHandle(opened.handle, {&spooler});
                openName = value.printer;
            }
            Decide(std::move(entry), false, opened.error, "opening its printer", "setting it", [&] {
                return spooler.SetPrinterDataEx(handle.get(), value.key, value.name, value.type, value.data)
                    .error;
            });
        }
    }

    // Through the spooler, which installs the server's driver for it; never over a connection of that name.
    void Connections(const std::vector<std::u16string>& connections) {
        Spooler& spooler = machine_.spooler;
        const auto listed =
            connections.empty() ? std::vector<PrinterInfo>() : EnumerateInTwoCalls([&](std::uint32_t bytes) {
                return spooler.EnumPrinters(kPrinterEnumConnections, bytes);
            });
        for (const std::u16string& connection : connections) {
            const bool exists = std::any_of(listed.begin(), listed.end(), [&](const PrinterInfo& now) {
                return sim::EqualNoCase(now.printerName.value_or(u""), connection);
            });
            Decide("printer connection " + ToUtf8(connection), exists, 0, "", "adding it",
                   [&] { return spooler.AddPrinterConnection(connection).error; });
        }
    }

    void Unrestorable(const std::vector<NotRestorable>& entries) {
        for (const NotRestorable& entry : entries) {
            lines_.push_back({entry.what, false, "not in the backup: " + entry.reason});
        }
    }

    std::vector<RestoreLine> Lines() { return std::move(lines_); }

  private:
    // The spooler's refusals that name what the machine lacks, said in its words.
    static void NamePrinterRefusal(const PrinterDefinition& printer, RestoreLine& line) {
        const std::pair<std::string, std::string> kLacks[] = {
            {std::to_string(win_error::kUnknownPort),
             "its port " + ToUtf8(printer.settings.port.value_or(u""))},
            {std::to_string(win_error::kUnknownPrintProcessor),
             "its print processor " + ToUtf8(printer.settings.printProcessor.value_or(u""))},
            {std::to_string(win_error::kUnknownPrinterDriver),
             "its driver " + ToUtf8(printer.driver.value_or(u""))}};
        for (const auto& [error, what] : kLacks) {
            if (line.reason == "adding it failed with error " + error) {
                line.reason =
                    std::string(what).append(" does not exist on this machine (error ").append(error) + ")";
            }
        }
    }

    // The key, created below the parent of the residue tree that holds it: nothing above a tree is ever
    // created, so no key outside the tables appears on the way. The parent is only looked for; the key is
    // then reached from the root a name at a time, each key opened as itself, so that a registry link on the
    // way is refused, above the tree as in it (a user's own hive holds keys its user may make links of).
    HandleResult CreateInTree(Handle root, const std::u16string& path, std::uint32_t access) {
        Registry& registry = machine_.registry;
        for (const RegistrySubtree& tree : trees_) {
            if (tree.root != root || !IsInTree(path, tree.path)) {
                continue;
            }
            const std::size_t cut = tree.path.rfind(u'\\');
            if (cut == std::u16string::npos) {
                return registry.CreateKey(root, path, access);
            }
            const HandleResult parent = registry.OpenKeyEx(root, path.substr(0, cut), kKeyReadAccess);
            const RegistryKey owner(parent.handle, {&registry});
            return parent.error != 0 ? parent : registry.CreateKey(root, path, access);
        }
        return {0, win_error::kAccessDenied};
    }

    // True when the path was created now.
    bool PutPath(const BackupPath& path, bool file) {
        Files& files = machine_.files;
        std::string entry = (file ? "file " : "folder ") + ToUtf8(path.path);
        if (files.GetStatus(path.path)) {
            lines_.push_back({std::move(entry), false, kExistsNow});
            return false;
        }
        if (const auto link = FindLinkOnPath(files, path.path)) {
            lines_.push_back({std::move(entry), false, ToUtf8(*link) + " on its path is a link"});
            return false;
        }
        if (dryRun_) {
            lines_.push_back({std::move(entry), true, {}});
            return false;
        }
        const Status made =
            file ? files.CreateNewFile(path.path, path.bytes) : files.CreateDirectory(path.path);
        Put(lines_, std::move(entry), made.error, "creating it");
        return made.ok();
    }

    // A link on its way, planted since the entry was created, is named; one planted after that look is
    // still never gone through, as the attributes are set on the entry opened as itself.
    void SetAttributes(const BackupPath& path, RestoreLine& line) {
        if (const auto link = FindLinkOnPath(machine_.files, path.path)) {
            line.reason =
                "put back, but its attributes were not set: " + ToUtf8(*link) + " on its path is a link";
            return;
        }
        const Status set =
            machine_.files.SetOwnAttributes(path.path, path.attributes & ~kFileAttributeDirectory);
        if (!set.ok()) {
            line.reason =
                "put back, but setting its attributes failed with error " + std::to_string(set.error);
        }
    }

    Machine& machine_;
    bool dryRun_;
    std::vector<RegistrySubtree> trees_;
    std::vector<RestoreLine> lines_;
    std::set<std::u16string> added_;         // the printers this restore added, or would add
    std::set<std::u16string> addedDrivers_;  // folded names of the drivers it added, or would add
    std::optional<std::vector<DriverInfo>> installedDrivers_;
};

}  // namespace

RestoreScope ReadRestoreScope(Machine& machine) {
    RestoreScope scope;
    for (RegistrySubtree& subtree : RegistryScope()) {
        scope.keys.emplace_back(subtree.root, std::move(subtree.path));
    }
    scope.folders = FolderScope(machine);
    scope.system = machine.files.GetSystemDirectory();
    return scope;
}

LoadedBackup ParseManifest(std::string_view text, const RestoreScope& scope) {
    LoadedBackup loaded;
    const Json json = sim::ParseJsonOrDiscard(text);
    if (json.is_discarded() || !json.is_object()) {
        loaded.error = "manifest.json is not whole JSON: it was cut short or damaged";
        return loaded;
    }
    if (json.value("format", Json()) != "Spoolsweep backup") {
        loaded.error = "manifest.json is not a Spoolsweep backup manifest";
        return loaded;
    }
    if (json.value("version", Json()) != kBackupVersion) {
        loaded.error = "manifest.json has version " + json.value("version", Json()).dump() +
                       "; this program reads version " + std::to_string(kBackupVersion);
        return loaded;
    }
    const ManifestReader reader(scope);
    BackupContents& contents = loaded.contents;
    const std::pair<const char*, std::function<std::string(const Json&)>> sections[] = {
        {"registryKeys", [&](const Json& entry) { return reader.ReadKey(entry, contents); }},
        {"registryValues", [&](const Json& entry) { return reader.ReadValue(entry, contents); }},
        {"folders", [&](const Json& entry) { return reader.ReadPath(entry, false, contents); }},
        {"files", [&](const Json& entry) { return reader.ReadPath(entry, true, contents); }},
        {"forms", [&](const Json& entry) { return ManifestReader::ReadForm(entry, contents); }},
        {"driverPackages", [&](const Json& entry) { return reader.ReadPackage(entry, contents); }},
        {"ports", [&](const Json& entry) { return ManifestReader::ReadPort(entry, contents); }},
        {"drivers", [&](const Json& entry) { return ManifestReader::ReadDriver(entry, contents); }},
        {"printers", [&](const Json& entry) { return ManifestReader::ReadPrinter(entry, contents); }},
        {"printerData", [&](const Json& entry) { return ManifestReader::ReadPrinterData(entry, contents); }},
        {"connections", [&](const Json& entry) { return ManifestReader::ReadConnection(entry, contents); }},
        {"notRestorable",
         [&](const Json& entry) {
             contents.notRestorable.push_back(
                 {entry.at("what").get<std::string>(), entry.at("reason").get<std::string>()});
             return std::string();
         }},
    };
    for (const auto& [section, read] : sections) {
        // A manifest of a program that kept no forms, drivers, printers or connections has none.
        const std::string_view name = section;
        const bool optional = name == "forms" || name == "driverPackages" || name == "ports" ||
                              name == "drivers" || name == "printers" || name == "printerData" ||
                              name == "connections";
        const Json& entries = json.value(section, optional ? Json::array() : Json());
        if (!entries.is_array()) {
            loaded.error = std::string("manifest.json has no list of ") + section;
            return loaded;
        }
        for (std::size_t index = 0; index < entries.size(); ++index) {
            const std::string where =
                std::string("manifest.json, ") + section + " entry " + std::to_string(index + 1) + ": ";
            try {
                if (std::string refused = read(entries[index]); !refused.empty()) {
                    loaded.error = where + refused;
                    return loaded;
                }
            } catch (const std::exception&) {
                loaded.error = where + "a field is missing or of the wrong kind";
                return loaded;
            }
        }
    }
    contents.machine = json.value("machine", nlohmann::ordered_json::object());
    return loaded;
}

LoadedBackup LoadBackup(Files& files, std::u16string_view folderName, const RestoreScope& scope) {
    const std::u16string folder(folderName);
    if (!IsPlainFullPath(folder)) {
        return {"the backup folder " + ToUtf8(folder) + " is not a full path such as C:\\Backups\\Printers",
                {}};
    }
    // The data folder's path holds the backup folder's: every folder from the drive down is checked.
    if (const auto link = FindLinkOnPath(files, folder + u"\\" + std::u16string(kDataFolderName))) {
        return {ToUtf8(*link) + " is a link: a backup is read only from a plain folder", {}};
    }
    for (const std::u16string_view part : {std::u16string_view(), kDataFolderName, kManifestName}) {
        const std::u16string path = part.empty() ? folder : folder + u"\\" + std::u16string(part);
        if (std::string refused = CheckAdministratorsOnly(files, path); !refused.empty()) {
            return {std::move(refused), {}};
        }
    }
    const FileBytes manifest =
        files.ReadFileBytes(folder + u"\\" + std::u16string(kManifestName), kMaxManifestBytes);
    if (manifest.error != 0 || manifest.refused) {
        return {"manifest.json in " + ToUtf8(folder) +
                    (manifest.refused ? " is a link, a file with more than one name, or too large"
                                      : " cannot be read (error " + std::to_string(manifest.error) + ")"),
                {}};
    }
    LoadedBackup loaded = ParseManifest(manifest.bytes, scope);
    if (loaded.error.empty()) {
        loaded.error = CheckFolderEntries(files, folder, loaded.contents);
    }
    if (loaded.error.empty()) {
        loaded.error = ReadFileData(files, folder, loaded.contents);
    }
    if (!loaded.error.empty()) {
        loaded.contents = {};
    }
    return loaded;
}

// The program is started by its full path, after these checks: the same rule as for a backup, since whoever
// could change the file or its folder would choose what runs elevated. Between the check and the start only
// an administrator could replace it.
std::string CheckRunAfterBackup(Machine& machine, std::u16string_view folder, std::u16string_view program) {
    const LoadedBackup loaded = LoadBackup(machine.files, folder, ReadRestoreScope(machine));
    if (!loaded.error.empty()) {
        return "the backup does not read back whole: " + loaded.error;
    }
    const std::u16string path(program);
    if (const auto link = FindLinkOnPath(machine.files, path)) {
        return ToUtf8(*link) + " is a link: " + kProgramRule;
    }
    for (const std::u16string& part : {path.substr(0, path.rfind(u'\\')), path}) {
        if (std::string refused = CheckAdministratorsOnly(machine.files, part, kProgramRule);
            !refused.empty()) {
            return refused;
        }
    }
    return {};
}

std::vector<RestoreLine> Restore(Machine& machine, const BackupContents& contents, bool dryRun) {
    Restorer restorer(machine, dryRun);
    // The spooler's objects first: a printer's own keys are the spooler's to make, and its driver must be
    // there before it.
    restorer.Packages(contents.packages);
    restorer.Drivers(contents.drivers);
    restorer.Forms(contents.forms);
    restorer.Ports(contents.ports);
    restorer.Printers(contents.printers);
    restorer.PrinterData(contents.printerData);
    restorer.Connections(contents.connections);
    restorer.Keys(contents.keys);
    restorer.Values(contents.values);
    restorer.Paths(contents.folders, contents.files);
    restorer.Unrestorable(contents.notRestorable);
    return restorer.Lines();
}

std::string FormatRestore(const std::vector<RestoreLine>& lines, bool dryRun) {
    std::string out;
    for (const RestoreLine& line : lines) {
        out += std::string(dryRun ? "would " : "") + (line.putBack ? "put back: " : "not put back: ") +
               line.entry + (line.reason.empty() ? "" : " (" + line.reason + ")") + "\n";
    }
    return out;
}

nlohmann::ordered_json RestoreJson(const std::vector<RestoreLine>& lines, bool dryRun) {
    nlohmann::ordered_json json = {{"dryRun", dryRun}, {"entries", nlohmann::ordered_json::array()}};
    for (const RestoreLine& line : lines) {
        json["entries"].push_back(
            {{"entry", line.entry}, {"putBack", line.putBack}, {"reason", line.reason}});
    }
    return json;
}

}  // namespace spoolsweep::preview
