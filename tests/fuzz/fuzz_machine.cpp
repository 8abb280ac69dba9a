#include "fuzz_machine.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "cleanup/file_residue.h"
#include "cleanup/registry_facts.h"
#include "cleanup/registry_residue.h"
#include "cleanup/safe_paths.h"
#include "platform/sim/sim_world.h"
#include "spooler/driver_catalogue.h"
#include "spooler/printer_operations.h"

namespace spoolsweep::fuzz {
namespace {

// clang-format off
constexpr std::u16string_view kHostileNames[] = {
    u"", u".", u"..", u"..\\..", u"\\", u"a\\..\\..", u"*", u"?*.*", u"C:\\Windows", u"C:", u"NorvelAB12",
    u"Trackwell", u"%USERPROFILE%", u"a,b", u"\" q \"", u"x. ", u"Dr\u00fccker \u20ac", u"\u041f\u0440\u0438\u043d",
    u"\\\\srv\\p", u"line\nfeed", u"Tamber Office 1", u"..\\keep"};
constexpr std::u16string_view kTempSettings[] = {
    u"%USERPROFILE%\\AppData\\Local\\Temp", u"C:\\Windows\\Temp\\..", u"C:\\", u"%SystemRoot%", u"",
    u"%NOSUCH%\\Temp", u"C:\\Windows\\System32\\spool\\drivers"};
constexpr const char* kFaultable[] = {
    "RegOpenKeyExW", "RegEnumKeyExW", "RegQueryValueExW", "SHDeleteKeyW", "RegDeleteValueW", "EnumPrintersW",
    "OpenPrinterW", "DeletePrinter", "EnumJobsW", "DeleteFormW", "EnumFormsW", "DeletePrinterDriverExW",
    "FindFirstFileW", "FindNextFileW", "DeleteFileW", "RemoveDirectoryW", "SHFileOperationW", "CopyFileW",
    "CreateDirectoryW", "GetFileAttributesExW", "LockServiceDatabase", "OpenServiceW", "ControlService",
    "QueryServiceStatus", "StartServiceW", "CreateToolhelp32Snapshot", "OpenProcess", "TerminateProcess",
    "DoEnvironmentSubstW", "GetVersionExW", "RegOpenKeyW", "SetFileAttributesW", "PathFileExistsW",
    "SHGetSpecialFolderPathW", "OpenSCManagerW", "QueryServiceStatusEx", "EnumDependentServicesW",
    "DeletePrinterConnectionW", "DeletePrinterDriverPackageW", "EnumPrinterDriversW", "fopen",
    "GetNativeSystemInfo", "LoadStringW", "MessageBoxW"};
// clang-format on
constexpr std::uint32_t kErrors[] = {2, 3, 5, 6, 87, 122, 234, 259, 1055, 1061, 1797, 3001};

// Journal text as comparisons see it: UTF-8 read back, without case.
std::u16string Folded(std::string_view utf8) {
    return sim::Fold(sim::FromUtf8(utf8));
}

std::u16string Folded(std::u16string_view text) {
    return Folded(sim::ToUtf8(text));
}

const char* RootName(Handle root) {
    return root == kHkeyCurrentUser ? "HKCU\\" : root == kHkeyLocalMachine ? "HKLM\\" : "HKU\\";
}

// The text before the last blank: a journal line's path without its trailing flags.
std::string WithoutLastWord(const std::string& text) {
    return text.substr(0, std::min(text.rfind(' '), text.size()));
}

bool Below(const std::u16string& path, const std::u16string& root, bool rootItself) {
    return (rootItself && path == root) || (path.size() > root.size() + 1 && path.starts_with(root + u"\\"));
}

// Registry residue at every place the removal sets name: below the printer's name, below the driver model's
// name, or (both empty) the fixed keys and values.
void AddRegistryResidue(sim::SimMachine& sim, const std::u16string& printer, const std::u16string& model) {
    for (auto steps : {PrinterResidueSteps(), DriverResidueSteps(), SweepResidueSteps()}) {
        for (const RegistryResidueStep& step : steps) {
            const std::u16string path(step.path);
            if (step.target == ResidueTarget::PrinterSubkey || step.target == ResidueTarget::ModelSubkey) {
                const std::u16string& name = step.target == ResidueTarget::PrinterSubkey ? printer : model;
                if (!name.empty()) {
                    sim.SetString(step.root, path + u"\\" + name + u"\\Sub", u"v", u"v");
                }
            } else if (step.target == ResidueTarget::PrinterValue && !printer.empty()) {
                sim.SetString(step.root, path, printer, u"v");
            } else if (printer.empty() && model.empty()) {
                sim.SetString(step.root, path + u"\\Sub", u"v", u"v");
                sim.SetString(step.root, path, step.valueName.empty() ? u"v" : std::u16string(step.valueName),
                              u"v");
            }
        }
    }
}

void ShapePrinterResidue(FuzzedDataProvider& data, NameSource& names, sim::SimMachine& sim,
                         const sim::SimPrinter& printer) {
    sim.CreateKey(kHkeyCurrentUser, u"Printers\\Settings\\Printers\\" + printer.name);
    sim.SetString(kHkeyCurrentUser, u"Printers\\Settings", printer.name, u"winspool");
    sim.CreateKey(kHkeyCurrentUser, u"Printers\\DMTDevMode\\" + printer.name);
    // Residue everywhere makes a run several times slower, so the input decides where it lies.
    if (data.ConsumeBool()) {
        AddRegistryResidue(sim, printer.name, u"");
    }
    if (data.ConsumeBool()) {
        sim.SetString(kHkeyLocalMachine, std::u16string(kPrintersKey) + printer.name + u"\\PnPData",
                      u"HardwareID", names.Next());
    }
    if (data.ConsumeBool()) {
        sim.SetString(kHkeyLocalMachine, std::u16string(kPrintersKey) + printer.driver + u"\\DsSpooler",
                      u"driverName", names.Next());
    }
    if (data.ConsumeBool()) {
        const std::u16string form = names.Next();
        sim.SetMultiString(kHkeyLocalMachine, std::u16string(kPrintersKey) + printer.name + u"\\DsDriver",
                           u"printMediaSupported", {form, names.Next()});
        sim.AddForm({form, data.ConsumeIntegralInRange<std::uint32_t>(0, 2)});
    }
    std::u16string tempName = printer.name;
    std::replace(tempName.begin(), tempName.end(), u'\\', u',');
    sim.WriteFile(std::u16string(kUserTemp) + u"\\" + tempName + u".tmp", "spool");
    sim.WriteFile(u"C:\\Windows\\Temp\\" + tempName + u".tmp", "spool");
}

bool UnderFileRoot(const std::string& path, const std::vector<std::u16string>& roots, bool rootItself) {
    const std::u16string folded = Folded(path);
    return std::any_of(roots.begin(), roots.end(),
                       [&](const std::u16string& root) { return Below(folded, root, rootItself); });
}

// The name as Windows would let a printer, driver, form or file have it: no control character, none of
// \\ / : * ? " < > | , !, no surrogate, at most 64 units, no trailing dot or blank, not empty.
std::u16string MakeWindowsName(std::u16string name, std::size_t index) {
    std::erase_if(name, [](char16_t unit) {
        return unit < 0x20 || unit == 0x7F || (unit >= 0xD800 && unit < 0xE000) ||
               std::u16string_view(u"\\/:*?\"<>|,!").find(unit) != std::u16string_view::npos;
    });
    name.resize(std::min<std::size_t>(name.size(), 64));
    while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) {
        name.pop_back();
    }
    return name.empty() ? u"Name " + std::u16string(1, static_cast<char16_t>(u'0' + index % 10)) : name;
}

}  // namespace

void Require(bool holds, const std::string& what) {
    if (!holds) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
        __builtin_trap();
    }
}

std::u16string NameSource::Draw() {
    std::u16string name;
    switch (data_.ConsumeIntegralInRange(0, 4)) {
        case 0:
            if (!used_.empty()) {
                return used_[data_.ConsumeIntegralInRange<std::size_t>(0, used_.size() - 1)];
            }
            [[fallthrough]];
        case 1:
            name = data_.PickValueInArray(kHostileNames);
            break;
        case 2:
            for (unsigned char byte : data_.ConsumeRandomLengthString(24)) {
                name.push_back(byte);
            }
            break;
        case 3:
            for (const std::string units = data_.ConsumeRandomLengthString(48);
                 name.size() * 2 + 1 < units.size();) {
                const std::size_t at = name.size() * 2;
                name.push_back(static_cast<char16_t>(static_cast<unsigned char>(units[at]) |
                                                     static_cast<unsigned char>(units[at + 1]) << 8));
            }
            break;
        default:
            name.assign(data_.ConsumeIntegralInRange<std::size_t>(250, 300), u'n');
    }
    return name;
}

std::u16string NameSource::Next() {
    std::u16string name = Draw();
    if (plain_) {
        name = MakeWindowsName(std::move(name), used_.size());
        // A name another differs from only in case is that other name, as the spooler and the file system
        // see it.
        const auto same = std::find_if(used_.begin(), used_.end(), [&](const std::u16string& used) {
            return sim::EqualNoCase(used, name);
        });
        if (same != used_.end()) {
            name = *same;
        }
    }
    used_.push_back(name);
    return name;
}

// Links a user could plant where the cleaners delete, under matched names and in place of folders on the
// way, all pointing at files no rule names.
// The files below `where`, copied to `kept` with their data and attributes, and two more: a folder link to
// `kept` in place of `where` then hides what was there, and a deletion that followed it would find them all.
void KeepElsewhere(sim::SimMachine& sim, const std::u16string& where, const std::u16string& kept) {
    const std::u16string below = Folded(where) + u"\\";
    for (const std::u16string& path : sim.AllPaths()) {
        if (Folded(path).starts_with(below) && sim.FileExists(path) && !sim.LinkAt(path)) {
            sim.WriteFile(kept + path.substr(where.size()), sim.ReadFile(path).value_or(""),
                          sim.Attributes(path).value_or(kFileAttributeArchive));
        }
    }
    sim.WriteFile(kept + u"\\locked.sys", "precious", kFileAttributeReadOnly | kFileAttributeHidden);
    sim.WriteFile(kept + u"\\trace.log", "precious", kFileAttributeHidden);
}

void PlantLinks(FuzzedDataProvider& data, NameSource& names, sim::SimMachine& sim) {
    const std::u16string precious = u"C:\\Precious";
    sim.WriteFile(precious + u"\\system.ini", "precious", kFileAttributeHidden);
    sim.WriteFile(precious + u"\\locked.sys", "precious", kFileAttributeReadOnly | kFileAttributeHidden);
    sim.WriteFile(precious + u"\\EssentialPresets\\preferences", "precious", kFileAttributeHidden);
    const std::u16string roaming = u"C:\\Users\\admin\\AppData\\Roaming\\Norvel";
    // The Temp folder the program will use, whatever the input made of its setting.
    std::u16string temp = GetUserTempPath(sim.machine().registry);
    if (temp.size() < 3 || temp[1] != u':') {
        temp = kUserTemp;
    }
    // An input that has run out still plants three folder links (Trackwell, a spool folder, the presets'
    // way), so every corpus entry meets links.
    for (int i = 3 - data.ConsumeIntegralInRange(0, 3); i > 0; --i) {
        std::u16string name = names.Next();
        if (!IsPlainFileNamePart(name) || name.empty() || name.size() > 64 || name.back() == u'.') {
            name = u"planted";
        }
        const std::u16string places[] = {temp + u"\\" + name + u".tmp",
                                         u"C:\\Windows\\Temp\\" + name + u".tmp",
                                         temp + u"\\" + name + u".wmk",
                                         temp + u"\\Trackwell",
                                         temp + u"\\NorvelUserAuth",
                                         roaming,
                                         roaming + u"\\JPData",
                                         roaming + u"\\JPData\\DMT_" + name + u".PPD",
                                         roaming + u"\\JPData\\DMT_" + name + u".PPD\\EssentialPresets",
                                         u"C:\\Windows\\System32\\spool\\drivers\\x64",
                                         u"C:\\Windows\\System32\\spool\\drivers\\w32x86\\" + name,
                                         u"C:\\Program Files (x86)\\Vantle"};
        const std::size_t pick = data.ConsumeIntegralInRange<std::size_t>(0, std::size(places) - 1);
        const std::u16string& where = places[(5 * static_cast<std::size_t>(i) + pick) % std::size(places)];
        const auto kind = data.PickValueInArray(
            {sim::LinkKind::SymbolicLink, sim::LinkKind::Junction, sim::LinkKind::HardLink});
        const bool toFile = kind == sim::LinkKind::HardLink || data.ConsumeBool();
        const std::u16string kept = precious + u"\\" + static_cast<char16_t>(u'0' + i);
        if (!toFile) {
            KeepElsewhere(sim, where, kept);
        }
        sim.AddLink(where, toFile ? precious + u"\\system.ini" : kept, kind);
    }
}

void ShapeMachine(FuzzedDataProvider& data, NameSource& names, sim::SimMachine& sim) {
    sim.SetNativeArchitecture(data.ConsumeBool() ? kProcessorArchitectureAmd64 : 0);
    sim.SetOsVersion(data.PickValueInArray({5u, 6u, 10u}));
    std::vector<std::u16string> drivers;
    for (int i = data.ConsumeIntegralInRange(0, 3); i > 0; --i) {
        // A plain machine's drivers are often the maker's own, which bring the presets question.
        const bool makers = names.Plain() && data.ConsumeBool();
        const std::u16string base = (makers ? u"Norvel" : u"") + names.Next();
        const std::u16string environment(data.PickValueInArray(kDriverEnvironments));
        const std::u16string name = names.Next();
        const std::u16string dataFile = base + (data.ConsumeBool() ? u".PPD" : u"");
        // The maker's drivers come from a package in the driver store, which a backup keeps whole.
        const std::u16string inf = names.Next();
        const std::u16string package =
            u"C:\\Windows\\System32\\DriverStore\\FileRepository\\" + inf + u".inf_1";
        const sim::SimDriver driver{
            environment, name, dataFile,
            makers ? package + u"\\" + inf + u".inf" : u"C:\\Windows\\INF\\" + inf + u".inf"};
        if (makers) {
            sim.WriteFile(driver.infPath, "[Version]");
            sim.WriteFile(package + u"\\" + base + u".cat", "catalog");
        }
        sim.AddDriver(driver);
        drivers.push_back(driver.name);
        sim.WriteFile(u"C:\\Users\\admin\\AppData\\Roaming\\Norvel\\JPData\\DMT_" + base +
                          u".PPD\\EssentialPresets\\preferences",
                      "presets");
        sim.WriteFile(std::u16string(kUserTemp) + u"\\" + base + u".wmk", "watermark");
        sim.WriteFile(u"C:\\Windows\\Temp\\" + base + u".wmk", "watermark");
        if (data.ConsumeBool()) {
            AddRegistryResidue(sim, u"", base);
        }
        if (data.ConsumeBool()) {
            sim.AddProcess(base + u".srv");
        }
    }
    for (int i = data.ConsumeIntegralInRange(0, 4); i > 0; --i) {
        sim::SimPrinter printer;
        printer.name = names.Next();
        printer.driver = drivers.empty() || data.ConsumeIntegralInRange(0, 3) == 0
                             ? names.Next()
                             : drivers[data.ConsumeIntegralInRange<std::size_t>(0, drivers.size() - 1)];
        if (data.ConsumeIntegralInRange(0, 3) == 0) {
            printer.serverName = u"\\\\" + names.Next();
            printer.name = printer.serverName + u"\\" + printer.name;
        }
        if (data.ConsumeIntegralInRange(0, 7) == 0) {
            printer.jobs.push_back(1);
        }
        // Settings of each kind a backup keeps, made of what was drawn already.
        printer.settings.comment = printer.driver;
        printer.settings.location = printer.name;
        printer.settings.priority = static_cast<std::uint32_t>(i);
        std::vector<std::uint8_t> devMode(72 + i, static_cast<std::uint8_t>(i));
        devMode[68] = 72;
        devMode[69] = devMode[71] = 0;
        devMode[70] = static_cast<std::uint8_t>(i);
        printer.settings.devMode = devMode;
        sim.AddPrinter(printer);
        ShapePrinterResidue(data, names, sim, printer);
    }
    // A plain machine's Temp setting is one of the settings Windows has seen, a name alone being none.
    const std::u16string tempSetting = names.Plain() || data.ConsumeBool()
                                           ? std::u16string(data.PickValueInArray(kTempSettings))
                                           : names.Next();
    sim.SetString(kHkeyCurrentUser, u"Environment", u"Temp", tempSetting, sim::kRegExpandSz);
    AddRegistryResidue(sim, u"", u"");
    // Files the rules never name, beside and above the ones they do.
    sim.WriteFile(u"C:\\Windows\\System32\\keep.tmp", "keep");
    sim.WriteFile(u"C:\\Users\\admin\\AppData\\Local\\keep.tmp", "keep");
    sim.WriteFile(u"C:\\Windows\\keep.wmk", "keep");
    sim.WriteFile(u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\unidrv.dll", "driver");
    sim.WriteFile(u"C:\\Windows\\System32\\spool\\drivers\\w32x86\\loose.dll", "driver");
    sim.WriteFile(std::u16string(kUserTemp) + u"\\Trackwell\\trace.log", "trace");
    for (std::u16string_view install : {u"C:\\Program Files (x86)\\Vantle", u"C:\\Program Files\\Vantle"}) {
        if (data.ConsumeBool()) {
            sim.WriteFile(std::u16string(install) + u"\\" + std::u16string(kUpdaterExeName), "MZ");
        }
    }
    if (data.ConsumeBool()) {
        sim::SimService fax;
        fax.name = u"Fax";
        fax.state = data.PickValueInArray({ServiceState::Running, ServiceState::Stopped});
        sim.AddService(fax);
        sim::SimService spooler = *sim.Service(u"Spooler");
        spooler.dependents = {u"Fax"};
        spooler.staysStopPending = data.ConsumeBool();
        spooler.refusesControl = data.ConsumeBool();
        sim.AddService(spooler);
    }
    if (data.ConsumeBool()) {
        sim.AddProcess(u"Trackwell.exe");
    }
    PlantLinks(data, names, sim);
    std::vector<int> answers;
    for (int i = data.ConsumeIntegralInRange(0, 3); i > 0; --i) {
        answers.push_back(data.ConsumeIntegralInRange(1, 2));
    }
    sim.QueueMessageBoxAnswers(answers);
    sim.SetDatabaseLockHeldElsewhere(data.ConsumeIntegralInRange(0, 15) == 0);
}

void InjectFaults(FuzzedDataProvider& data, sim::SimMachine& sim) {
    for (int i = data.ConsumeIntegralInRange(0, 3); i > 0; --i) {
        sim.faults().Fail(data.PickValueInArray(kFaultable), data.PickValueInArray(kErrors),
                          data.ConsumeIntegralInRange(-1, 3), data.ConsumeIntegralInRange(0, 40));
    }
}

DeletionRules::DeletionRules(sim::SimMachine& sim) {
    for (const sim::SimPrinter& printer : sim.Printers()) {
        printers_.push_back(printer.name);
        const std::string name = sim::ToUtf8(printer.name);
        lines_.insert({"DeletePrinter " + name, "DeletePrinter " + name + " pending",
                       "DeletePrinterConnectionW " + name});
    }
    for (const sim::SimDriver& driver : sim.Drivers()) {
        lines_.insert("DeletePrinterDriverExW " + sim::ToUtf8(driver.environment + u", " + driver.name));
    }
    const std::u16string formsKey = u"HKLM\\" + std::u16string(kFormsKey);
    keys_.emplace_back(Folded(u"SHDeleteKeyW " + formsKey), false);
    for (const sim::SimForm& form : sim.Forms()) {
        lines_.insert("DeleteFormW " + sim::ToUtf8(form.name));
        values_.push_back(Folded(u"RegDeleteValueW " + formsKey + u" " + form.name));
    }
    for (const sim::SimService& service : sim.AllServices()) {
        lines_.insert({"ControlService " + sim::ToUtf8(service.name) + " STOP",
                       "StartServiceW " + sim::ToUtf8(service.name)});
    }
    for (const sim::SimProcess& process : sim.Processes()) {
        for (std::uint32_t exitCode : {0u, process.exitCode}) {
            lines_.insert("TerminateProcess " + std::to_string(process.processId) + " " +
                          std::to_string(exitCode));
        }
    }
    for (auto steps : {PrinterResidueSteps(), DriverResidueSteps(), SweepResidueSteps()}) {
        for (const RegistryResidueStep& step : steps) {
            const std::u16string key = sim::FromUtf8(RootName(step.root)) + std::u16string(step.path);
            const std::u16string value = u"RegDeleteValueW " + key + u" ";
            switch (step.target) {
                case ResidueTarget::PrinterValue:
                    for (const std::u16string& printer : printers_) {
                        values_.push_back(Folded(value + printer));
                    }
                    break;
                case ResidueTarget::Value:
                case ResidueTarget::AllValues:
                    values_.push_back(Folded(value + std::u16string(step.valueName)));
                    break;
                default:
                    keys_.emplace_back(
                        Folded(u"SHDeleteKeyW " + key),
                        step.target == ResidueTarget::Key || step.target == ResidueTarget::KeyWithoutSubkeys);
            }
        }
    }

    // The folders, as the program finds them on this machine.
    Machine& machine = sim.machine();
    std::vector<std::u16string> roots = {GetUserTempPath(machine.registry),
                                         GetWindowsTempPath(machine.files)};
    for (std::u16string_view environment : kEnvironmentFolders) {
        roots.push_back(machine.files.GetSystemDirectory() + u"\\spool\\drivers\\" +
                        std::u16string(environment));
    }
    sim::World world;
    world.currentDirectory = sim.CurrentDirectory();
    if (const auto appData = sim.SpecialFolders()[kCsidlAppData]; appData && !appData->empty()) {
        if (auto presets = world.Normalize(*appData + u"\\" + std::u16string(kPresetsFolder))) {
            presetFolders_.push_back(Folded(*presets));
        }
    }
    fileRoots_ = presetFolders_;
    for (const std::u16string& root : roots) {
        if (auto normalized = world.Normalize(root)) {
            fileRoots_.push_back(Folded(*normalized));
        }
    }
    const UpdaterFolders updater = SelectUpdaterFolders(machine.system);
    updaterFolders_ = {Folded(updater.install), Folded(updater.backup)};
    for (const std::u16string& path : sim.AllPaths()) {
        if (!IsUnderARoot(path)) {
            outside_[path] = {sim.ReadFile(path), sim.Attributes(path)};
        }
    }
    callsBefore_ = sim.calls().Total();
    // Two bounded 10-second waits per spooler restart: one restart per printer removed, two per dialog run.
    startTick_ = sim.Now();
    waitBudgetMs_ = 2 * 10'200 * (printers_.size() + 2);
    callBudget_ = 50000 + 20000 * printers_.size() * printers_.size();
}

bool DeletionRules::Allows(const std::string& line) const {
    if (lines_.contains(line)) {
        return true;
    }
    const std::u16string folded = Folded(line);
    if (line.starts_with("SHDeleteKeyW ")) {
        return std::any_of(keys_.begin(), keys_.end(),
                           [&](const auto& key) { return Below(folded, key.first, key.second); });
    }
    if (line.starts_with("RegDeleteValueW ")) {
        return std::any_of(values_.begin(), values_.end(), [&](const std::u16string& value) {
            return folded == value || (value.ends_with(u' ') && folded.starts_with(value));
        });
    }
    // The call's name, and for SHFileOperationW its operation, then the path.
    const std::size_t space = line.find(' ', line.starts_with("SHFileOperationW ") ? 17 : 0);
    const std::string call = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    // Where a whole tree may go, so may a link in it, or in its place, one by one.
    if (call == "DeleteFileW" || call == "RemoveDirectoryW") {
        return UnderFileRoot(rest, fileRoots_, false) || UnderFileRoot(rest, updaterFolders_, true);
    }
    if (call == "SetFileAttributesW") {
        return UnderFileRoot(WithoutLastWord(rest), fileRoots_, false);
    }
    // Whole trees go only for the updater's folders and a driver's preset folder.
    if (call == "SHFileOperationW FO_DELETE") {
        const std::string path = WithoutLastWord(rest);
        return UnderFileRoot(path, updaterFolders_, true) || UnderFileRoot(path, presetFolders_, false);
    }
    if (call == "CreateDirectoryW") {
        return UnderFileRoot(rest, updaterFolders_, true);
    }
    if (call == "CopyFileW") {
        const std::size_t arrow = rest.find(" -> ");
        return arrow != std::string::npos && UnderFileRoot(rest.substr(arrow + 4), updaterFolders_, false);
    }
    // Driver packages go only through the spooler, which holds only installed ones.
    return call == "DeletePrinterDriverPackageW";
}

bool DeletionRules::IsUnderARoot(const std::u16string& path) const {
    const std::string text = sim::ToUtf8(path);
    return UnderFileRoot(text, fileRoots_, true) || UnderFileRoot(text, updaterFolders_, true);
}

void DeletionRules::Check(sim::SimMachine& sim) const {
    // Outside the roots nothing changes, whatever a link on the way pointed at; the command log is the one
    // file the run may add or grow there.
    // The spooler takes a deleted package's folder out of the driver store with it.
    std::vector<std::u16string> packages;
    for (const std::string& line : sim.journal()) {
        if (line.starts_with("DeletePrinterDriverPackageW ")) {
            const std::u16string inf = Folded(sim::FromUtf8(line.substr(line.find(' ') + 1)));
            packages.push_back(inf.substr(0, inf.rfind(u'\\') + 1));
        }
    }
    for (const auto& [path, before] : outside_) {
        const std::u16string folded = Folded(path) + u"\\";
        if (folded.ends_with(u"\\spoolsweep_cl.log\\") ||
            std::any_of(packages.begin(), packages.end(),
                        [&](const std::u16string& folder) { return folded.starts_with(folder); })) {
            continue;
        }
        Require(FileState{sim.ReadFile(path), sim.Attributes(path)} == before,
                "a file or folder outside the roots changed: " + sim::ToUtf8(path));
    }
    for (const std::string& line : sim.journal()) {
        if (!Allows(line)) {
            for (const std::string& earlier : sim.journal()) {
                std::fprintf(stderr, "journal: %s\n", earlier.c_str());
            }
            Require(false, "a deletion no rule names: " + line);
        }
    }
    Require(sim.calls().Total() - callsBefore_ <= callBudget_,
            "call budget exceeded: " + std::to_string(sim.calls().Total() - callsBefore_));
    Require(sim.Now() - startTick_ <= waitBudgetMs_,
            "waited " + std::to_string(sim.Now() - startTick_) + " ms");
    Require(sim.BadHandleCloses() == 0, "a handle closed that was not open");
}

}  // namespace spoolsweep::fuzz
