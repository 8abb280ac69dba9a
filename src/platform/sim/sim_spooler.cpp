// The print spooler seam of the simulated machine. Byte counts are those of the 32-bit program: the fixed
// part of each record plus every string it points to, null terminator included.
#include <algorithm>

#include "platform/sim/sim_seams.h"
#include "platform/text.h"
#include "platform/win_errors.h"

namespace spoolsweep::sim {

namespace {

constexpr std::uint32_t kPrinterInfo2Bytes = 84;
constexpr std::uint32_t kDriverInfo2Bytes = 24;
constexpr std::uint32_t kDriverInfo6Bytes = 80;
constexpr std::uint32_t kJobInfo3Bytes = 12;
constexpr std::uint32_t kFormInfo1Bytes = 32;
constexpr std::uint32_t kPortInfo2Bytes = 40;
constexpr std::uint32_t kDpdDeleteSpecificVersion = 0x4;

std::uint32_t StringBytes32(const std::optional<std::u16string>& text) {
    return text ? static_cast<std::uint32_t>(2 * (text->size() + 1)) : 0;
}

// The last step of a two-call enumeration: entries when the buffer holds them, else 122 and the size.
template <class Entry>
EnumResult<Entry> Deliver(std::vector<Entry> entries, std::uint32_t needed, std::uint32_t bufferBytes,
                          std::uint32_t tooSmallError = win_error::kInsufficientBuffer) {
    EnumResult<Entry> result;
    if (entries.empty()) {
        result.ok = true;
        return result;
    }
    result.bytesNeeded = needed;
    if (bufferBytes < needed) {
        result.error = tooSmallError;
        return result;
    }
    result.ok = true;
    result.entries = std::move(entries);
    return result;
}

// The environment's folder below "spool\drivers", or nothing for one the spooler does not know.
std::optional<std::u16string_view> EnvironmentFolder(std::u16string_view environment) {
    constexpr std::pair<std::u16string_view, std::u16string_view> kKnown[] = {{u"Windows NT x86", u"w32x86"},
                                                                              {u"Windows x64", u"x64"},
                                                                              {u"Windows IA64", u"ia64"},
                                                                              {u"Windows ARM64", u"arm64"},
                                                                              {u"Windows 4.0", u"win40"}};
    for (const auto& [known, folder] : kKnown) {
        if (EqualNoCase(environment, known)) {
            return folder;
        }
    }
    return std::nullopt;
}

// Where the driver store keeps each package, in a folder of its own.
std::u16string RepositoryOf(const World& world) {
    return world.windowsDirectory + u"\\System32\\DriverStore\\FileRepository\\";
}

// The folded folder of a package whose INF lies in a folder of the driver store's FileRepository, else none.
std::optional<std::u16string> StoreFolderOf(const World& world, std::u16string_view infPath) {
    const std::u16string repository = Fold(RepositoryOf(world));
    const std::u16string inf = Fold(infPath);
    const std::size_t cut = inf.rfind(u'\\');
    if (!inf.starts_with(repository) || cut == std::u16string::npos || cut <= repository.size() ||
        inf.find(u'\\', repository.size()) != cut) {
        return std::nullopt;
    }
    return inf.substr(0, cut);
}

// The store names a package's folder after the folder it came from, as Windows names it after the INF and the
// package's contents, and takes every file below that folder; a package it holds already stays as it is. The
// INF's path in the store.
std::u16string CopyIntoDriverStore(World& world, const std::u16string& inf, std::u16string_view environment) {
    const std::u16string source = World::ParentOf(inf);
    const std::u16string store = RepositoryOf(world) + World::LeafOf(source);
    std::u16string stored = store + u"\\" + World::LeafOf(inf);
    if (std::any_of(world.driverStore.begin(), world.driverStore.end(), [&](const auto& entry) {
            return EqualNoCase(entry.first, stored) && EqualNoCase(entry.second, environment);
        })) {
        return stored;
    }
    const std::u16string below = Fold(source) + u"\\";
    std::vector<const FileNode*> files;
    for (const auto& entry : world.files) {
        if (entry.first.starts_with(below)) {
            files.push_back(&entry.second);
        }
    }
    (void)world.MakeFolder(store);
    for (const FileNode* file : files) {
        FileNode copy = *file;
        copy.path = store + file->path.substr(source.size());
        (void)world.MakeFolder(World::ParentOf(copy.path));
        world.files[Fold(copy.path)] = std::move(copy);
    }
    world.driverStore.emplace_back(stored, environment);
    return stored;
}

bool IsKnownEnvironment(std::u16string_view environment) {
    return EnvironmentFolder(environment).has_value();
}

std::uint32_t DefinitionBytes32(const DriverDefinition& driver) {
    const DriverDetails& details = driver.details;
    std::uint32_t bytes = kDriverInfo6Bytes;
    for (const std::u16string* text :
         {&driver.name, &driver.environment, &details.monitor, &details.defaultDataType,
          &details.manufacturer, &details.oemUrl, &details.hardwareId, &details.provider}) {
        bytes += text->empty() ? 0 : StringBytes32(*text);
    }
    for (const std::u16string& file : DriverFilesOf(driver)) {
        bytes += StringBytes32(file);
    }
    for (const std::u16string& name : details.previousNames) {
        bytes += StringBytes32(name);
    }
    return bytes + 4;  // the two lists' final terminators
}

std::u16string ConnectionServer(const SimPrinter& printer) {
    std::u16string server = printer.serverName;
    if (!server.starts_with(u"\\\\")) {
        server = u"\\\\" + server;
    }
    return server;
}

}  // namespace

EnumResult<PrinterInfo> SimSpooler::EnumPrinters(std::uint32_t flags, std::uint32_t bufferBytes) {
    if (std::uint32_t error = world_.Enter("EnumPrintersW")) {
        return {false, error, 0, {}};
    }
    std::vector<PrinterInfo> entries;
    std::uint32_t needed = 0;
    std::vector<const SimPrinter*> listed;
    listed.reserve(world_.printers.size());
    for (const SimPrinter& printer : world_.printers) {
        listed.push_back(&printer);
    }
    if (world_.printersReversed) {
        std::reverse(listed.begin(), listed.end());
    }
    for (const SimPrinter* entry : listed) {
        const SimPrinter& printer = *entry;
        bool connection = !printer.serverName.empty();
        if ((connection && (flags & kPrinterEnumConnections) == 0) ||
            (!connection && (flags & kPrinterEnumLocal) == 0)) {
            continue;
        }
        PrinterInfo info;
        if (connection) {
            info.serverName = ConnectionServer(printer);
        }
        info.printerName = printer.name;
        info.driverName = printer.driver;
        if (!printer.share.empty()) {
            info.shareName = printer.share;
        }
        needed += kPrinterInfo2Bytes + StringBytes32(info.serverName) + StringBytes32(info.printerName) +
                  StringBytes32(info.driverName) + StringBytes32(info.shareName);
        entries.push_back(std::move(info));
    }
    return Deliver(std::move(entries), needed, bufferBytes);
}

EnumResult<DriverInfo> SimSpooler::EnumPrinterDrivers(std::u16string_view environment,
                                                      std::uint32_t bufferBytes) {
    if (std::uint32_t error = world_.Enter("EnumPrinterDriversW", environment)) {
        return {false, error, 0, {}};
    }
    if (!IsKnownEnvironment(environment)) {
        return {false, sim_error::kInvalidEnvironment, 0, {}};
    }
    std::vector<DriverInfo> entries;
    std::uint32_t needed = 0;
    for (const SimDriver& driver : world_.drivers) {
        if (!EqualNoCase(driver.environment, environment)) {
            continue;
        }
        needed += kDriverInfo2Bytes + StringBytes32(driver.name) + StringBytes32(driver.environment) +
                  StringBytes32(driver.dataFile);
        entries.push_back({driver.name, driver.environment});
    }
    return Deliver(std::move(entries), needed, bufferBytes);
}

std::u16string SimSpooler::DriverFolder(std::u16string_view environment) const {
    return world_.windowsDirectory + u"\\System32\\spool\\drivers\\" +
           std::u16string(EnvironmentFolder(environment).value_or(u"")) + u"\\3";
}

EnumResult<DriverDefinition> SimSpooler::EnumDriverDefinitions(std::u16string_view environment,
                                                               std::uint32_t bufferBytes) {
    if (std::uint32_t error = world_.Enter("EnumPrinterDriversW", environment)) {
        return {false, error, 0, {}};
    }
    if (!IsKnownEnvironment(environment)) {
        return {false, sim_error::kInvalidEnvironment, 0, {}};
    }
    const std::u16string folder = DriverFolder(environment);
    std::vector<DriverDefinition> entries;
    std::uint32_t needed = 0;
    for (const SimDriver& driver : world_.drivers) {
        if (EqualNoCase(driver.environment, environment)) {
            entries.push_back(
                WithFilesIn({driver.name, driver.environment, driver.dataFile, driver.details}, folder));
            needed += DefinitionBytes32(entries.back());
        }
    }
    return Deliver(std::move(entries), needed, bufferBytes);
}

// Every file is looked for before any is copied; one the folder holds already stays with
// kApdCopyNewFiles (the simulated machine's files have no versions to compare).
Status SimSpooler::AddPrinterDriverEx(const DriverDefinition& driver, std::uint32_t copyFlags) {
    if (std::uint32_t error = world_.Enter("AddPrinterDriverExW", driver.name)) {
        return {error};
    }
    if (!IsKnownEnvironment(driver.environment)) {
        return {sim_error::kInvalidEnvironment};
    }
    if (driver.name.empty() || driver.dataFile.empty() || driver.details.driverPath.empty() ||
        driver.details.configFile.empty()) {
        return {win_error::kInvalidParameter};
    }
    SimFiles files(world_);
    const std::u16string folder = DriverFolder(driver.environment);
    const auto in = [](std::u16string_view where, const std::u16string& file) {
        return std::u16string(where) + u"\\" + file.substr(file.rfind(u'\\') + 1);
    };
    const auto source = [&](const std::u16string& file) {
        return (copyFlags & kApdCopyFromDirectory) != 0 ? file : in(World::ParentOf(folder), file);
    };
    for (const std::u16string& file : DriverFilesOf(driver)) {
        if (!files.GetStatus(source(file))) {
            return {win_error::kFileNotFound};
        }
    }
    static_cast<void>(files.CreateDirectory(folder));
    for (const std::u16string& file : DriverFilesOf(driver)) {
        const std::u16string target = in(folder, file);
        if ((copyFlags & kApdCopyNewFiles) != 0 && files.GetStatus(target)) {
            continue;
        }
        if (const Status copied = files.CopyFile(source(file), target, false); !copied.ok()) {
            return copied;
        }
    }
    const DriverDefinition named = WithFilesIn(driver, u"");
    world_.PutDriver({named.environment, named.name, named.dataFile, u"", named.details});
    world_.Journal("AddPrinterDriverExW " + ToUtf8(driver.environment) + ", " + ToUtf8(driver.name));
    return {0};
}

HandleResult SimSpooler::OpenPrinter(std::u16string_view name, std::uint32_t access) {
    if (std::uint32_t error = world_.Enter("OpenPrinterW", name)) {
        return {0, error};
    }
    OpenPrinterHandle open;
    open.access = access;
    if (!name.empty()) {
        SimPrinter* printer = world_.FindPrinter(name);
        if (printer == nullptr) {
            return {0, win_error::kInvalidPrinterName};
        }
        open.printer = printer->name;
    }
    Handle handle = world_.NewHandle();
    world_.printerHandles.emplace(handle, std::move(open));
    return {handle, 0};
}

void SimSpooler::ClosePrinter(Handle printer) {
    if (world_.Enter("ClosePrinter") != 0) {
        return;
    }
    if (world_.printerHandles.erase(printer) == 0) {
        ++world_.badCloses;
    }
}

EnumResult<std::uint32_t> SimSpooler::EnumJobs(Handle printer, std::uint32_t firstJob, std::uint32_t count,
                                               std::uint32_t bufferBytes) {
    auto it = world_.printerHandles.find(printer);
    std::u16string name = it == world_.printerHandles.end() ? u"" : it->second.printer;
    if (std::uint32_t error = world_.Enter("EnumJobsW", name)) {
        return {false, error, 0, {}};
    }
    SimPrinter* target = name.empty() ? nullptr : world_.FindPrinter(name);
    if (target == nullptr) {
        return {false, win_error::kInvalidHandle, 0, {}};
    }
    if (!sim_access::Holds(it->second.access, sim_access::kPrinterUse)) {
        return {false, win_error::kAccessDenied, 0, {}};
    }
    std::vector<std::uint32_t> jobs = target->jobs;
    if (!it->second.jobAnswer && !target->scriptedJobCounts.empty()) {
        it->second.jobAnswer = target->scriptedJobCounts.front();
        if (target->scriptedJobCounts.size() > 1) {
            target->scriptedJobCounts.erase(target->scriptedJobCounts.begin());
        }
    }
    if (const auto& answer = it->second.jobAnswer; answer.has_value()) {
        jobs.clear();
        for (std::uint32_t id = 1; id <= answer.value(); ++id) {
            jobs.push_back(id);
        }
    }
    std::vector<std::uint32_t> entries;
    for (std::size_t i = firstJob; i < jobs.size() && entries.size() < count; ++i) {
        entries.push_back(jobs[i]);
    }
    auto needed = static_cast<std::uint32_t>(entries.size()) * kJobInfo3Bytes;
    return Deliver(std::move(entries), needed, bufferBytes);
}

EnumResult<FormInfo> SimSpooler::EnumForms(Handle printer, std::uint32_t bufferBytes) {
    if (std::uint32_t error = world_.Enter("EnumFormsW")) {
        return {false, error, 0, {}};
    }
    auto it = world_.printerHandles.find(printer);
    if (it == world_.printerHandles.end()) {
        return {false, win_error::kInvalidHandle, 0, {}};
    }
    // The local print server lists its forms to a handle that may enumerate, a printer to one that may use
    // it.
    const bool server = it->second.printer.empty();
    if (!sim_access::Holds(it->second.access, server ? kServerAccessEnumerate : sim_access::kPrinterUse)) {
        return {false, win_error::kAccessDenied, 0, {}};
    }
    std::vector<FormInfo> entries;
    std::uint32_t needed = 0;
    for (const SimForm& form : world_.forms) {
        needed += kFormInfo1Bytes + StringBytes32(form.name);
        entries.push_back(
            {form.flags, form.name, form.width, form.height, form.left, form.top, form.right, form.bottom});
    }
    return Deliver(std::move(entries), needed, bufferBytes);
}

// The simulated spooler serves TCP/IP ports by the name Windows gives them ("IP_10.0.0.5"), all others by
// the local port monitor.
EnumResult<PortInfo> SimSpooler::ListPorts(std::uint32_t bufferBytes) {
    if (std::uint32_t error = world_.Enter("EnumPortsW")) {
        return {false, error, 0, {}};
    }
    std::vector<PortInfo> entries;
    std::uint32_t needed = 0;
    for (const std::u16string& port : world_.ports) {
        entries.push_back(
            {port, std::u16string(port.starts_with(u"IP_") ? u"Standard TCP/IP Port" : u"Local Port")});
        needed += kPortInfo2Bytes + StringBytes32(port) + StringBytes32(entries.back().monitor);
    }
    return Deliver(std::move(entries), needed, bufferBytes);
}

Status SimSpooler::AddLocalPort(std::u16string_view port) {
    if (std::uint32_t error = world_.Enter("XcvDataW", port)) {
        return {error};
    }
    if (port.empty()) {
        return {win_error::kInvalidParameter};
    }
    if (std::any_of(world_.ports.begin(), world_.ports.end(),
                    [&](const std::u16string& known) { return EqualNoCase(known, port); })) {
        return {win_error::kAlreadyExists};
    }
    world_.ports.emplace_back(port);
    world_.Journal("XcvDataW AddPort " + ToUtf8(port));
    return {0};
}

Status SimSpooler::DeletePrinter(Handle printer) {
    auto it = world_.printerHandles.find(printer);
    std::u16string name = it == world_.printerHandles.end() ? u"" : it->second.printer;
    if (std::uint32_t error = world_.Enter("DeletePrinter", name)) {
        return {error};
    }
    SimPrinter* target = name.empty() ? nullptr : world_.FindPrinter(name);
    if (target == nullptr) {
        return {win_error::kInvalidHandle};
    }
    if (!sim_access::Holds(it->second.access, sim_access::kDelete)) {
        return {win_error::kAccessDenied};
    }
    if (!target->serverName.empty()) {
        // The queue belongs to the server; a connection is removed with DeletePrinterConnectionW.
        return {win_error::kAccessDenied};
    }
    if (!target->jobs.empty()) {
        // Windows deletes a printer with queued jobs once they have printed.
        target->pendingDeletion = true;
        world_.Journal("DeletePrinter " + ToUtf8(target->name) + " pending");
        return {0};
    }
    world_.Journal("DeletePrinter " + ToUtf8(target->name));
    world_.RemovePrinter(target->name);
    return {0};
}

Status SimSpooler::DeletePrinterConnection(std::u16string_view name) {
    if (std::uint32_t error = world_.Enter("DeletePrinterConnectionW", name)) {
        return {error};
    }
    SimPrinter* target = world_.FindPrinter(name);
    if (target == nullptr || target->serverName.empty()) {
        return {win_error::kInvalidPrinterName};
    }
    world_.Journal("DeletePrinterConnectionW " + ToUtf8(target->name));
    world_.RemovePrinter(target->name);
    return {0};
}

// The simulated network's servers share every printer a connection of this machine was made to.
Status SimSpooler::AddPrinterConnection(std::u16string_view name) {
    if (std::uint32_t error = world_.Enter("AddPrinterConnectionW", name)) {
        return {error};
    }
    const auto shared = world_.sharedPrinters.find(Fold(name));
    if (shared == world_.sharedPrinters.end()) {
        return {win_error::kInvalidPrinterName};
    }
    if (world_.FindPrinter(name) == nullptr) {
        world_.PutPrinter(shared->second);
        world_.Journal("AddPrinterConnectionW " + ToUtf8(shared->second.name));
    }
    return {0};
}

Status SimSpooler::DeleteForm(Handle printer, std::u16string_view formName) {
    if (std::uint32_t error = world_.Enter("DeleteFormW", formName)) {
        return {error};
    }
    auto open = world_.printerHandles.find(printer);
    if (open == world_.printerHandles.end()) {
        return {win_error::kInvalidHandle};
    }
    if (!sim_access::Holds(open->second.access, sim_access::kPrinterAdminister)) {
        return {win_error::kAccessDenied};
    }
    auto it = std::find_if(world_.forms.begin(), world_.forms.end(),
                           [&](const SimForm& form) { return EqualNoCase(form.name, formName); });
    if (it == world_.forms.end()) {
        return {sim_error::kInvalidFormName};
    }
    if (it->flags == kFormBuiltin) {
        return {win_error::kInvalidParameter};
    }
    world_.Journal("DeleteFormW " + ToUtf8(it->name));
    world_.forms.erase(it);
    return {0};
}

Status SimSpooler::AddForm(Handle printer, const FormInfo& form) {
    if (std::uint32_t error = world_.Enter("AddFormW", form.name)) {
        return {error};
    }
    auto open = world_.printerHandles.find(printer);
    if (open == world_.printerHandles.end()) {
        return {win_error::kInvalidHandle};
    }
    const bool server = open->second.printer.empty();
    if (!sim_access::Holds(open->second.access,
                           server ? kServerAccessAdminister : sim_access::kPrinterAdminister)) {
        return {win_error::kAccessDenied};
    }
    if (form.name.empty() || form.flags == kFormBuiltin) {
        return {win_error::kInvalidParameter};
    }
    if (std::any_of(world_.forms.begin(), world_.forms.end(),
                    [&](const SimForm& existing) { return EqualNoCase(existing.name, form.name); })) {
        return {sim_error::kFileExists};
    }
    world_.forms.push_back(
        {form.name, form.flags, form.width, form.height, form.left, form.top, form.right, form.bottom});
    world_.Journal("AddFormW " + ToUtf8(form.name));
    return {0};
}

Status SimSpooler::DeletePrinterDriverEx(std::u16string_view environment, std::u16string_view driver,
                                         std::uint32_t deleteFlags, std::uint32_t version) {
    if (std::uint32_t error = world_.Enter("DeletePrinterDriverExW", driver)) {
        return {error};
    }
    if (!IsKnownEnvironment(environment)) {
        return {sim_error::kInvalidEnvironment};
    }
    const auto it = world_.FindDriver(environment, driver);
    // Every driver of the simulated machine is a version-3 driver.
    if (it == world_.drivers.end() || ((deleteFlags & kDpdDeleteSpecificVersion) != 0 && version != 3)) {
        return {win_error::kUnknownPrinterDriver};
    }
    if (world_.DriverInUse(driver)) {
        return {win_error::kPrinterDriverInUse};
    }
    std::u16string key = std::u16string(kPrintKey) + u"\\Environments\\" + it->environment +
                         u"\\Drivers\\Version-3\\" + it->name;
    (void)world_.RemoveKey(kHkeyLocalMachine, key);
    world_.Journal("DeletePrinterDriverExW " + ToUtf8(it->environment) + ", " + ToUtf8(it->name));
    world_.EraseDriver(it);
    return {0};
}

Status SimSpooler::UploadDriverPackage(std::u16string_view infPath, std::u16string_view environment) {
    if (std::uint32_t error = world_.Enter("UploadPrinterDriverPackageW", infPath)) {
        return {error};
    }
    if (!world_.packageDeletion) {
        return {sim_error::kProcNotFound};
    }
    if (!IsKnownEnvironment(environment)) {
        return {win_error::kInvalidParameter};
    }
    const std::u16string inf = world_.Normalize(infPath).value_or(u"");
    const FileNode* node = inf.empty() ? nullptr : world_.Node(inf);
    if (node == nullptr || node->folder) {
        return {win_error::kFileNotFound};
    }
    const std::u16string stored = CopyIntoDriverStore(world_, inf, environment);
    world_.Journal("UploadPrinterDriverPackageW " + ToUtf8(stored) + ", " + ToUtf8(environment));
    return {0};
}

bool SimSpooler::CanDeletePrinterDriverPackage() {
    if (world_.Enter("LoadLibraryW", u"WinSpool.drv") != 0) {
        return false;
    }
    if (world_.Enter("GetProcAddress", u"DeletePrinterDriverPackageW") != 0) {
        return false;
    }
    return world_.packageDeletion;
}

Status SimSpooler::DeletePrinterDriverPackage(std::u16string_view infPath, std::u16string_view environment) {
    if (std::uint32_t error = world_.Enter("DeletePrinterDriverPackageW", infPath)) {
        return {error};
    }
    if (!world_.packageDeletion) {
        return {sim_error::kProcNotFound};
    }
    if (infPath.empty() || !IsKnownEnvironment(environment)) {
        return {win_error::kInvalidParameter};
    }
    bool inUse = std::any_of(world_.drivers.begin(), world_.drivers.end(), [&](const SimDriver& d) {
        return EqualNoCase(d.infPath, infPath) && EqualNoCase(d.environment, environment);
    });
    if (inUse) {
        return {sim_error::kDriverPackageInUse};
    }
    auto stored = std::find_if(world_.driverStore.begin(), world_.driverStore.end(), [&](const auto& entry) {
        return EqualNoCase(entry.first, infPath) && EqualNoCase(entry.second, environment);
    });
    if (stored == world_.driverStore.end()) {
        return {win_error::kFileNotFound};
    }
    // Windows takes the package's folder out of the driver store with it.
    if (const auto folder = StoreFolderOf(world_, stored->first)) {
        std::erase_if(world_.files, [&](const auto& entry) {
            return entry.first == *folder || entry.first.starts_with(*folder + u"\\");
        });
    }
    world_.deletedPackages.emplace_back(stored->first, stored->second);
    world_.Journal("DeletePrinterDriverPackageW " + ToUtf8(stored->first) + ", " + ToUtf8(stored->second));
    world_.driverStore.erase(stored);
    return {0};
}

PrinterDefinitionResult SimSpooler::GetPrinter(Handle printer) {
    auto it = world_.printerHandles.find(printer);
    const std::u16string name = it == world_.printerHandles.end() ? u"" : it->second.printer;
    if (std::uint32_t error = world_.Enter("GetPrinterW", name)) {
        return {error, {}};
    }
    const SimPrinter* target = name.empty() ? nullptr : world_.FindPrinter(name);
    if (target == nullptr) {
        return {win_error::kInvalidHandle, {}};
    }
    if (!sim_access::Holds(it->second.access, sim_access::kPrinterUse)) {
        return {win_error::kAccessDenied, {}};
    }
    PrinterDefinition definition{target->name, std::nullopt, target->driver, target->settings};
    if (!target->share.empty()) {
        definition.share = target->share;
    }
    return {0, std::move(definition)};
}

HandleResult SimSpooler::AddPrinter(const PrinterDefinition& printer) {
    if (std::uint32_t error = world_.Enter("AddPrinterW", printer.name)) {
        return {0, error};
    }
    const PrinterSettings& settings = printer.settings;
    if (!printer.driver || !settings.port || !settings.printProcessor) {
        return {0, win_error::kInvalidParameter};
    }
    if (printer.name.empty() || printer.name.find_first_of(u"\\,") != std::u16string::npos) {
        return {0, win_error::kInvalidPrinterName};
    }
    if (world_.FindPrinter(printer.name) != nullptr) {
        return {0, win_error::kPrinterAlreadyExists};
    }
    if (std::none_of(world_.drivers.begin(), world_.drivers.end(),
                     [&](const SimDriver& driver) { return EqualNoCase(driver.name, *printer.driver); })) {
        return {0, win_error::kUnknownPrinterDriver};
    }
    if (std::none_of(world_.ports.begin(), world_.ports.end(),
                     [&](const std::u16string& port) { return EqualNoCase(port, *settings.port); })) {
        return {0, win_error::kUnknownPort};
    }
    if (!EqualNoCase(*settings.printProcessor, u"winprint")) {
        return {0, win_error::kUnknownPrintProcessor};
    }
    SimPrinter added;
    added.name = printer.name;
    added.driver = *printer.driver;
    added.share = printer.share.value_or(u"");
    added.settings = settings;
    world_.PutPrinter(added);
    world_.PutValue(kHkeyLocalMachine, std::u16string(kPrintKey) + u"\\Printers\\" + printer.name,
                    {u"Printer Driver", kRegSz, StringBytes(*printer.driver)});
    world_.Journal("AddPrinterW " + ToUtf8(printer.name));
    OpenPrinterHandle open;
    open.printer = printer.name;
    open.access = kPrinterAllAccess;
    const Handle handle = world_.NewHandle();
    world_.printerHandles.emplace(handle, std::move(open));
    return {handle, 0};
}

Status SimSpooler::SetPrinterDataEx(Handle printer, std::u16string_view key, std::u16string_view value,
                                    std::uint32_t type, const std::vector<std::uint8_t>& data) {
    auto it = world_.printerHandles.find(printer);
    const std::u16string name = it == world_.printerHandles.end() ? u"" : it->second.printer;
    if (std::uint32_t error = world_.Enter("SetPrinterDataExW", name)) {
        return {error};
    }
    const SimPrinter* target = name.empty() ? nullptr : world_.FindPrinter(name);
    if (target == nullptr) {
        return {win_error::kInvalidHandle};
    }
    if (!sim_access::Holds(it->second.access, sim_access::kPrinterAdminister)) {
        return {win_error::kAccessDenied};
    }
    if (key.empty()) {
        return {win_error::kInvalidParameter};
    }
    // The local spooler keeps a printer's data in the registry below the printer's own key.
    world_.PutValue(kHkeyLocalMachine,
                    std::u16string(kPrintKey) + u"\\Printers\\" + target->name + u"\\" + std::u16string(key),
                    {std::u16string(value), type, data});
    world_.Journal("SetPrinterDataExW " + ToUtf8(target->name));
    return {0};
}

DefaultPrinterResult SimSpooler::GetDefaultPrinter(std::uint32_t bufferChars) {
    DefaultPrinterResult result;
    if (std::uint32_t error = world_.Enter("GetDefaultPrinterW")) {
        result.error = error;
        return result;
    }
    if (!world_.defaultPrinter) {
        result.error = win_error::kFileNotFound;
        return result;
    }
    result.charsNeeded = static_cast<std::uint32_t>(world_.defaultPrinter->size() + 1);
    if (bufferChars < result.charsNeeded) {
        result.error = win_error::kInsufficientBuffer;
        return result;
    }
    result.ok = true;
    result.name = *world_.defaultPrinter;
    return result;
}

}  // namespace spoolsweep::sim
