// Backups on machines the input shapes, and backup folders whose manifest is the input. A backup taken before
// a removal puts back, after it, every key, value, file, folder, form, driver and printer it holds exactly as
// they were (the drivers it could not keep installed again first). A manifest the loader
// accepts names nothing outside the keys and folders of the residue tables, and its restore writes nowhere
// else.
#include <algorithm>
#include <map>
#include <string>

#include "fuzz_machine.h"
#include "platform/sim/sim_world.h"
#include "preview/backup.h"
#include "preview/snapshot.h"

namespace {

using namespace spoolsweep;

constexpr std::u16string_view kFolder = u"C:\\Backups\\fuzz";

// Same or under, names compared without case; a path with an empty, "." or ".." name or a "/" is never
// contained, whatever its text begins with.
bool IsContained(std::u16string_view path, std::u16string_view tree) {
    const std::u16string folded = sim::Fold(path);
    const std::u16string root = sim::Fold(tree);
    const bool plain = folded.find(u'/') == std::u16string::npos &&
                       folded.find(u"\\\\") == std::u16string::npos && !folded.ends_with(u'\\') &&
                       folded.find(u"\\.\\") == std::u16string::npos &&
                       folded.find(u"\\..\\") == std::u16string::npos && !folded.ends_with(u"\\.") &&
                       !folded.ends_with(u"\\..");
    return plain && (folded == root || (folded.starts_with(root) && folded[root.size()] == u'\\'));
}

bool IsKeyContained(const preview::RestoreScope& scope, Handle root, std::u16string_view path) {
    return std::any_of(scope.keys.begin(), scope.keys.end(), [&](const auto& tree) {
        return tree.first == root && IsContained(path, tree.second);
    });
}

bool IsPathContained(const preview::RestoreScope& scope, std::u16string_view path) {
    return std::any_of(scope.folders.begin(), scope.folders.end(),
                       [&](const std::u16string& folder) { return IsContained(path, folder); });
}

// The restore's writes, as the journal names them: each within the scope; the forms, drivers and printers it
// adds, those of the backup that a restore may add; the files the spooler copies, into its own folders.
void CheckWrites(const sim::SimMachine& sim, std::size_t from, const preview::RestoreScope& scope,
                 const preview::BackupContents& contents) {
    const std::vector<preview::BackupForm>& forms = contents.forms;
    const std::vector<PrinterDefinition>& printers = contents.printers;
    const std::vector<std::string>& journal = sim.journal();
    for (std::size_t at = from; at < journal.size(); ++at) {
        const std::string& line = journal[at];
        const std::size_t blank = line.find(' ');
        const std::string call = line.substr(0, blank);
        const std::u16string object = sim::FromUtf8(line.substr(blank + 1));
        bool contained = false;
        if (call == "RegCreateKeyExW" || call == "RegSetValueExW") {
            for (Handle root : {kHkeyCurrentUser, kHkeyLocalMachine, kHkeyUsers}) {
                const std::u16string prefix = sim::FromUtf8(sim::World::RootName(root)) + u"\\";
                for (const auto& tree : scope.keys) {
                    const std::u16string whole = sim::Fold(prefix + tree.second);
                    contained |= tree.first == root && sim::Fold(object).starts_with(whole) &&
                                 (object.size() == whole.size() || object[whole.size()] == u'\\' ||
                                  (call == "RegSetValueExW" && object[whole.size()] == u' '));
                }
            }
        } else if (call == "CreateFileW" || call == "CreateDirectoryW") {
            contained = IsPathContained(scope, object);
        } else if (call == "SetFileAttributesW" || call == "SetFileInformationByHandle") {
            contained = IsPathContained(scope, object.substr(0, object.rfind(u' ')));
        } else if (call == "AddPrinterW" || call == "SetPrinterDataExW") {
            contained = std::any_of(printers.begin(), printers.end(), [&](const PrinterDefinition& printer) {
                return printer.name == object && preview::IsRestorablePrinter(printer);
            });
        } else if (call == "AddPrinterDriverExW" || call == "CopyFileW") {
            // "<environment>, <name>", or "<source> -> <driver folder>\<file>"
            const std::u16string target = object.substr(object.find(u" -> ") + 4);
            contained =
                std::any_of(contents.drivers.begin(), contents.drivers.end(), [&](const auto& driver) {
                    const std::vector<std::u16string> files = DriverFilesOf(driver.definition);
                    return preview::IsRestorableDriver(driver.definition) &&
                           (call == "AddPrinterDriverExW"
                                ? object == sim::FromUtf8(preview::DriverText(driver.definition))
                                : std::any_of(files.begin(), files.end(), [&](const std::u16string& file) {
                                      return sim::EqualNoCase(
                                                 target,
                                                 u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\" + file) ||
                                             sim::EqualNoCase(
                                                 target,
                                                 u"C:\\Windows\\System32\\spool\\drivers\\w32x86\\3\\" +
                                                     file);
                                  }));
                });
        } else if (call == "UploadPrinterDriverPackageW") {
            // "<its INF in the driver store>, <environment>": a package of the backup, which the store keeps
            // under the name of the folder it came from.
            contained =
                std::any_of(contents.packages.begin(), contents.packages.end(), [&](const auto& package) {
                    return preview::IsRestorablePackage(package, scope.system) &&
                           object == package.inf + u", " + package.environment;
                });
        } else if (call == "XcvDataW") {
            // "AddPort <port>": a local port of the backup, which the local port monitor keeps.
            contained = std::any_of(contents.ports.begin(), contents.ports.end(), [&](const PortInfo& port) {
                return preview::IsRestorablePort(port) && object == u"AddPort " + port.name;
            });
        } else if (call == "AddFormW") {
            contained = std::any_of(forms.begin(), forms.end(), [&](const preview::BackupForm& form) {
                return form.name == object && form.flags != kFormBuiltin;
            });
        }
        fuzz::Require(contained, "the restore wrote outside its scope: " + line);
    }
}

// The input, after its first byte: how many data files the folder holds ("data 0", "data 1", ...), then the
// manifest's text.
void CheckLoader(const std::uint8_t* bytes, std::size_t size) {
    sim::SimMachine sim;
    const std::u16string folder(kFolder);
    const int dataFiles = size > 0 ? bytes[0] % 4 : 0;
    sim.CreateFolder(folder + u"\\files");
    for (int index = 0; index < dataFiles; ++index) {
        sim.WriteFile(folder + u"\\files\\" + sim::FromUtf8(std::to_string(index)),
                      "data " + std::to_string(index));
    }
    sim.WriteFile(folder + u"\\manifest.json",
                  size > 0 ? std::string(reinterpret_cast<const char*>(bytes + 1), size - 1) : std::string());
    const preview::RestoreScope scope = preview::ReadRestoreScope(sim.machine());
    const preview::LoadedBackup loaded = preview::LoadBackup(sim.machine().files, folder, scope);
    if (!loaded.error.empty()) {
        fuzz::Require(loaded.contents.keys.empty() && loaded.contents.values.empty() &&
                          loaded.contents.files.empty() && loaded.contents.folders.empty(),
                      "a refused backup kept entries: " + loaded.error);
        return;
    }
    for (const preview::BackupKey& key : loaded.contents.keys) {
        fuzz::Require(IsKeyContained(scope, key.root, key.path), "key accepted outside the scope");
    }
    for (const preview::BackupValue& value : loaded.contents.values) {
        fuzz::Require(IsKeyContained(scope, value.root, value.key), "value accepted outside the scope");
    }
    for (const auto* paths : {&loaded.contents.files, &loaded.contents.folders}) {
        for (const preview::BackupPath& path : *paths) {
            fuzz::Require(IsPathContained(scope, path.path),
                          "path accepted outside the scope: " + sim::ToUtf8(path.path));
        }
    }
    for (const preview::BackupPackage& package : loaded.contents.packages) {
        fuzz::Require(preview::IsRestorablePackage(package, scope.system),
                      "package accepted outside the driver store: " + sim::ToUtf8(package.inf));
    }
    const std::size_t journal = sim.journal().size();
    static_cast<void>(preview::Restore(sim.machine(), loaded.contents, false));
    CheckWrites(sim, journal, scope, loaded.contents);
}

void CheckRoundTrip(const std::uint8_t* bytes, std::size_t size) {
    fuzz::ShapedMachine shaped(bytes, size, true);
    sim::SimMachine& real = shaped.sim;
    // Each removal: the dialog's "Delete All" or its checked printers alone, and each command-line option.
    preview::PreviewOptions options;
    std::vector<std::string> chosen;
    for (const sim::SimPrinter& printer : real.Printers()) {
        if (shaped.data.ConsumeBool()) {
            chosen.push_back(sim::ToUtf8(printer.name));
        }
    }
    switch (shaped.data.ConsumeIntegralInRange(0, 4)) {
        case 0:
            options.dialog = true;
            options.dialogRun.deleteAll = true;
            break;
        case 1:
            options.dialog = true;
            options.dialogRun.checks = chosen;
            break;
        case 2:
            options.programArguments = {"-rmNorvelPrints"};
            break;
        case 3:
            options.programArguments = {"-rmPrints"};
            break;
        default: {
            std::string names;
            for (const std::string& name : chosen) {
                names += (names.empty() ? "" : ",") + name;
            }
            options.programArguments = {"-p", names};
        }
    }
    // Each driver whose names a restore takes gets its files in the spooler's folder, so that it is kept.
    for (sim::SimDriver driver : real.Drivers()) {
        const std::u16string folder =
            u"C:\\Windows\\System32\\spool\\drivers\\" +
            std::u16string(driver.environment == u"Windows x64" ? u"x64" : u"w32x86") + u"\\3\\";
        driver.details = {3, driver.dataFile + u".DLL", u"UI" + driver.dataFile + u".DLL"};
        if (preview::IsRestorableDriver({driver.name, driver.environment, driver.dataFile, driver.details})) {
            for (const std::u16string& file :
                 {driver.dataFile, driver.details.driverPath, driver.details.configFile}) {
                real.WriteFile(folder + file, sim::ToUtf8(driver.name + u" " + file));
            }
            real.AddDriver(driver);
        }
    }
    const preview::ResidueState before = preview::CaptureResidue(real);
    std::map<std::u16string, std::string> bytesBefore;
    for (const auto& [path, entry] : before.paths) {
        bytesBefore[path] = real.ReadFile(path).value_or("");
    }
    sim::SimMachine snapshot;
    std::vector<std::string> notes =
        preview::TakeSnapshot(real.machine(), {u"C:\\Users\\admin", {}, 0}, snapshot);
    const preview::BackupRun backup = preview::RunBackup(real.machine(), snapshot, options, notes, kFolder);
    fuzz::Require(backup.error.empty(), "no backup written: " + backup.error);
    const std::vector<sim::SimDriver> drivers = real.Drivers();
    static_cast<void>(preview::RunPreview(real, options, {}));
    // An administrator installs again first the drivers the backup could not keep.
    const auto kept = [&](const sim::SimDriver& driver) {
        return std::any_of(backup.contents.drivers.begin(), backup.contents.drivers.end(),
                           [&](const preview::BackupDriver& d) {
                               return d.definition.name == driver.name &&
                                      d.definition.environment == driver.environment;
                           });
    };
    for (const sim::SimDriver& driver : drivers) {
        const std::vector<sim::SimDriver> now = real.Drivers();
        if (!kept(driver) && std::none_of(now.begin(), now.end(), [&](const sim::SimDriver& d) {
                return d.name == driver.name && d.environment == driver.environment;
            })) {
            real.AddDriver(driver);
        }
    }

    const preview::LoadedBackup loaded =
        preview::LoadBackup(real.machine().files, kFolder, preview::ReadRestoreScope(real.machine()));
    fuzz::Require(loaded.error.empty(), "a backup just written is refused: " + loaded.error);
    static_cast<void>(preview::Restore(real.machine(), loaded.contents, false));
    const preview::ResidueState after = preview::CaptureResidue(real);
    for (const preview::BackupKey& key : backup.contents.keys) {
        fuzz::Require(after.keys.contains({key.root, key.path}),
                      "key not put back: " + preview::KeyText(key.root, key.path));
    }
    for (const preview::BackupValue& value : backup.contents.values) {
        const auto found = after.values.find({value.root, value.key, value.name});
        const auto was = before.values.find({value.root, value.key, value.name});
        fuzz::Require(
            found != after.values.end() && was != before.values.end() && found->second == was->second,
            "value not put back as it was: " + preview::KeyText(value.root, value.key) + " " +
                sim::ToUtf8(value.name));
    }
    for (const preview::BackupForm& form : backup.contents.forms) {
        fuzz::Require(std::any_of(after.forms.begin(), after.forms.end(),
                                  [&](const sim::SimForm& now) {
                                      return now.name == form.name && now.flags == form.flags &&
                                             now.width == form.width && now.height == form.height &&
                                             now.left == form.left && now.top == form.top &&
                                             now.right == form.right && now.bottom == form.bottom;
                                  }),
                      "form not put back as it was: " + sim::ToUtf8(form.name));
    }
    // A kept driver is back whole (the INF path aside, which its definition does not hold).
    const std::vector<sim::SimDriver> driversNow = real.Drivers();
    for (const sim::SimDriver& driver : drivers) {
        fuzz::Require(!kept(driver) || std::any_of(driversNow.begin(), driversNow.end(),
                                                   [&](const sim::SimDriver& d) {
                                                       return d.name == driver.name &&
                                                              d.environment == driver.environment &&
                                                              d.dataFile == driver.dataFile &&
                                                              d.details == driver.details;
                                                   }),
                      "driver not put back as it was: " + sim::ToUtf8(driver.name));
    }
    // A printer is back with its whole definition, unless its driver was never installed.
    for (const PrinterDefinition& printer : backup.contents.printers) {
        const auto now = std::find_if(after.printers.begin(), after.printers.end(),
                                      [&](const sim::SimPrinter& p) { return p.name == printer.name; });
        const bool installed =
            std::any_of(driversNow.begin(), driversNow.end(),
                        [&](const sim::SimDriver& d) { return sim::EqualNoCase(d.name, *printer.driver); });
        fuzz::Require(
            !installed || (now != after.printers.end() && now->driver == *printer.driver &&
                           now->share == printer.share.value_or(u"") && now->settings == printer.settings),
            "printer not put back as it was: " + sim::ToUtf8(printer.name));
    }
    // A printer's data is back wherever its printer is.
    for (const preview::BackupPrinterData& value : backup.contents.printerData) {
        const std::u16string printerKey = std::u16string(sim::kPrintKey) + u"\\Printers\\" + value.printer;
        const auto found = after.values.find({kHkeyLocalMachine, printerKey + u"\\" + value.key, value.name});
        fuzz::Require(found == after.values.end() ? !after.keys.contains({kHkeyLocalMachine, printerKey})
                                                  : found->second == std::pair{value.type, value.data},
                      "printer data not put back as it was: " + sim::ToUtf8(printerKey + u"\\" + value.key));
    }
    for (const auto* paths : {&backup.contents.files, &backup.contents.folders}) {
        for (const preview::BackupPath& path : *paths) {
            const auto found = after.paths.find(path.path);
            const auto was = before.paths.find(path.path);
            fuzz::Require(
                found != after.paths.end() && was != before.paths.end() &&
                    found->second.attributes == was->second.attributes &&
                    real.ReadFile(path.path).value_or("") == bytesBefore[path.path],
                "not put back as it was: " + sim::ToUtf8(path.path) + " (attributes " +
                    std::to_string(was == before.paths.end() ? 0 : was->second.attributes) + " then " +
                    std::to_string(found == after.paths.end() ? 0 : found->second.attributes) + ")");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size > 0 && bytes[0] == '{') {
        CheckLoader(bytes + 1, size - 1);
    } else {
        CheckRoundTrip(bytes, size);
    }
    return 0;
}
