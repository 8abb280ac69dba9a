// The simulated machine's set-up and inspection methods, and the wiring of its seams.
#include "platform/sim/sim_machine.h"

#include <algorithm>

#include "platform/sim/sim_seams.h"

namespace spoolsweep::sim {

namespace {

constexpr std::u16string_view kSessionEnvironmentKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

std::u16string ArchitectureName(std::uint16_t architecture) {
    switch (architecture) {
        case kProcessorArchitectureAmd64:
            return u"AMD64";
        case kProcessorArchitectureIntel:
            return u"x86";
        case 6:
            return u"IA64";
        case 12:
            return u"ARM64";
        default:
            return u"";
    }
}

}  // namespace

struct SimMachine::State {
    World world;
    SimSpooler spooler{world};
    SimRegistry registry{world};
    SimServices services{world};
    SimProcesses processes{world};
    SimFiles files{world};
    SimSystem system{world};
    Machine machine{spooler, registry, services, processes, files, system};
};

SimMachine::SimMachine() : state_(std::make_unique<State>()) {
    for (std::u16string_view folder : {
             u"C:\\Windows\\System32\\spool\\drivers\\w32x86",
             u"C:\\Windows\\System32\\spool\\drivers\\x64",
             u"C:\\Windows\\System32\\spool\\PRINTERS",
             u"C:\\Windows\\Temp",
             u"C:\\Users\\admin\\AppData\\Local\\Temp",
             u"C:\\Users\\admin\\AppData\\Roaming",
             u"C:\\Program Files",
             u"C:\\Program Files (x86)",
             u"C:\\ProgramData",
         }) {
        CreateFolder(folder);
    }
    SetString(kHkeyCurrentUser, u"Environment", u"Temp", u"%USERPROFILE%\\AppData\\Local\\Temp",
              kRegExpandSz);
    SetString(kHkeyCurrentUser, u"Environment", u"TMP", u"%USERPROFILE%\\AppData\\Local\\Temp", kRegExpandSz);
    SetString(kHkeyUsers, u".DEFAULT\\Environment", u"TEMP", u"%USERPROFILE%\\AppData\\Local\\Temp",
              kRegExpandSz);
    CreateKey(kHkeyCurrentUser, u"Printers");
    CreateKey(kHkeyLocalMachine, std::u16string(kPrintKey) + u"\\Printers");
    CreateKey(kHkeyLocalMachine, std::u16string(kPrintKey) + u"\\Forms");
    for (std::u16string_view environment : {u"Windows NT x86", u"Windows x64"}) {
        CreateKey(kHkeyLocalMachine, std::u16string(kPrintKey) + u"\\Environments\\" +
                                         std::u16string(environment) + u"\\Drivers\\Version-3");
    }
    SetNativeArchitecture(kProcessorArchitectureAmd64);
    for (std::u16string_view form : {u"Letter", u"Legal", u"A4"}) {
        AddForm({std::u16string(form), kFormBuiltin});
    }
    SimService spooler;
    spooler.name = u"Spooler";
    AddService(spooler);
}

SimMachine::~SimMachine() = default;

void SimMachine::Empty() {
    World& world = state_->world;
    for (RegKey* root : {&world.hkcu, &world.hklm, &world.hku}) {
        root->ClearSubkeys();
        root->values.clear();
    }
    std::erase_if(world.files, [](const auto& entry) { return entry.first.size() > 2; });
    world.ClearPrinters();
    world.ClearDrivers();
    world.forms.clear();
    world.driverStore.clear();
    world.defaultPrinter.reset();
    world.services.clear();
    world.processes.clear();
    world.environment.clear();
    world.specialFolders.clear();
}

Machine& SimMachine::machine() {
    return state_->machine;
}
CallLog& SimMachine::calls() {
    return state_->world.calls;
}
Faults& SimMachine::faults() {
    return state_->world.faults;
}
const std::vector<std::string>& SimMachine::journal() const {
    return state_->world.journal;
}

// Registry.

void SimMachine::SetValue(Handle root, std::u16string_view path, std::u16string_view name, std::uint32_t type,
                          std::vector<std::uint8_t> data) {
    state_->world.PutValue(root, path, RegValue{std::u16string(name), type, std::move(data)});
}

void SimMachine::SetString(Handle root, std::u16string_view path, std::u16string_view name,
                           std::u16string_view value, std::uint32_t type) {
    SetValue(root, path, name, type, StringBytes(value));
}

void SimMachine::SetMultiString(Handle root, std::u16string_view path, std::u16string_view name,
                                const std::vector<std::u16string>& strings) {
    std::vector<std::uint8_t> data;
    for (const auto& text : strings) {
        auto bytes = StringBytes(text);
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
    data.push_back(0);
    data.push_back(0);
    SetValue(root, path, name, kRegMultiSz, std::move(data));
}

void SimMachine::CreateKey(Handle root, std::u16string_view path) {
    (void)state_->world.MakeKey(root, path);
}

void SimMachine::AddKeyLink(Handle root, std::u16string_view path, Handle targetRoot,
                            std::u16string_view target) {
    RegKey& link = state_->world.MakeKey(root, path);
    link.linkRoot = targetRoot;
    link.linkPath = target;
}

bool SimMachine::KeyExists(Handle root, std::u16string_view path) const {
    return state_->world.FindKey(root, SplitKeyPath(path)) != nullptr;
}

bool SimMachine::ValueExists(Handle root, std::u16string_view path, std::u16string_view name) const {
    return GetValue(root, path, name).has_value();
}

std::optional<std::vector<std::uint8_t>> SimMachine::GetValue(Handle root, std::u16string_view path,
                                                              std::u16string_view name) const {
    RegKey* key = state_->world.FindKey(root, SplitKeyPath(path));
    RegValue* value = key != nullptr ? key->FindValue(name) : nullptr;
    if (value == nullptr) {
        return std::nullopt;
    }
    return value->data;
}

std::vector<std::u16string> SimMachine::SubkeyNames(Handle root, std::u16string_view path) const {
    std::vector<std::u16string> names;
    if (RegKey* key = state_->world.FindKey(root, SplitKeyPath(path))) {
        for (const auto& [folded, child] : key->subkeys) {
            names.push_back(child->name);
        }
    }
    return names;
}

std::vector<std::u16string> SimMachine::ValueNames(Handle root, std::u16string_view path) const {
    std::vector<std::u16string> names;
    for (const auto& value : Values(root, path)) {
        names.push_back(value.name);
    }
    return names;
}

std::vector<SimValue> SimMachine::Values(Handle root, std::u16string_view path) const {
    std::vector<SimValue> values;
    if (RegKey* key = state_->world.FindKey(root, SplitKeyPath(path))) {
        for (const auto& value : key->values) {
            values.push_back({value.name, value.type, value.data});
        }
    }
    return values;
}

void SimMachine::SetEnvironmentVariable(std::u16string_view name, std::u16string_view value) {
    for (auto& [key, text] : state_->world.environment) {
        if (EqualNoCase(key, name)) {
            text = std::u16string(value);
            return;
        }
    }
    state_->world.environment.emplace_back(std::u16string(name), std::u16string(value));
}

std::vector<std::pair<std::u16string, std::u16string>> SimMachine::EnvironmentVariables() const {
    return state_->world.environment;
}

// Spooler.

void SimMachine::AddDriver(const SimDriver& driver) {
    state_->world.PutDriver(driver);
}

void SimMachine::AddPrinter(const SimPrinter& printer) {
    World& world = state_->world;
    world.PutPrinter(printer);
    const std::optional<std::u16string>& port = printer.settings.port;
    if (port && std::none_of(world.ports.begin(), world.ports.end(),
                             [&](const std::u16string& known) { return EqualNoCase(known, *port); })) {
        world.ports.push_back(*port);
    }
    if (printer.serverName.empty()) {
        SetString(kHkeyLocalMachine, std::u16string(kPrintKey) + u"\\Printers\\" + printer.name,
                  u"Printer Driver", printer.driver);
    } else {
        world.sharedPrinters[Fold(printer.name)] = printer;
    }
}

void SimMachine::AddForm(const SimForm& form) {
    auto& forms = state_->world.forms;
    auto it = std::find_if(forms.begin(), forms.end(),
                           [&](const SimForm& f) { return EqualNoCase(f.name, form.name); });
    if (it != forms.end()) {
        *it = form;
    } else {
        forms.push_back(form);
    }
}

void SimMachine::QueueJob(std::u16string_view printer) {
    if (SimPrinter* target = state_->world.FindPrinter(printer)) {
        std::uint32_t next = 1;
        for (const SimPrinter& p : state_->world.printers) {
            for (std::uint32_t id : p.jobs) {
                next = std::max(next, id + 1);
            }
        }
        target->jobs.push_back(next);
    }
}

void SimMachine::CompleteJobs(std::u16string_view printer) {
    if (SimPrinter* target = state_->world.FindPrinter(printer)) {
        target->jobs.clear();
        if (target->pendingDeletion) {
            state_->world.RemovePrinter(printer);
        }
    }
}

void SimMachine::ScriptJobCounts(std::u16string_view printer, std::vector<std::uint32_t> counts) {
    if (SimPrinter* target = state_->world.FindPrinter(printer)) {
        target->scriptedJobCounts = std::move(counts);
    }
}

void SimMachine::SetDefaultPrinter(std::u16string_view printer) {
    if (printer.empty()) {
        state_->world.defaultPrinter.reset();
    } else {
        state_->world.defaultPrinter = std::u16string(printer);
    }
}

void SimMachine::SetDriverPackageDeletion(bool available) {
    state_->world.packageDeletion = available;
}
void SimMachine::SetPrintersReversed(bool reversed) {
    state_->world.printersReversed = reversed;
}
bool SimMachine::PrintersReversed() const {
    return state_->world.printersReversed;
}
std::vector<SimPrinter> SimMachine::Printers() const {
    return {state_->world.printers.begin(), state_->world.printers.end()};
}
std::vector<SimDriver> SimMachine::Drivers() const {
    return {state_->world.drivers.begin(), state_->world.drivers.end()};
}
std::vector<SimForm> SimMachine::Forms() const {
    return state_->world.forms;
}
std::optional<std::u16string> SimMachine::DefaultPrinter() const {
    return state_->world.defaultPrinter;
}
bool SimMachine::DriverPackageDeletion() const {
    return state_->world.packageDeletion;
}

std::vector<std::pair<std::u16string, std::u16string>> SimMachine::DeletedDriverPackages() const {
    return state_->world.deletedPackages;
}

// Services.

void SimMachine::AddService(const SimService& service) {
    World& world = state_->world;
    if (SimService* existing = world.FindService(service.name)) {
        *existing = service;
        return;
    }
    world.services.push_back(service);
}

std::optional<SimService> SimMachine::Service(std::u16string_view name) const {
    SimService* service = state_->world.FindService(name);
    if (service == nullptr) {
        return std::nullopt;
    }
    state_->world.Settle(*service);
    return *service;
}

std::vector<SimService> SimMachine::AllServices() const {
    for (SimService& service : state_->world.services) {
        state_->world.Settle(service);
    }
    return state_->world.services;
}

void SimMachine::SetDatabaseLockHeldElsewhere(bool held) {
    state_->world.databaseLockHeldElsewhere = held;
}
bool SimMachine::DatabaseLockHeldElsewhere() const {
    return state_->world.databaseLockHeldElsewhere;
}

// Processes.

std::uint32_t SimMachine::AddProcess(std::u16string_view exeFile) {
    SimProcess process;
    process.exeFile = std::u16string(exeFile);
    return AddProcessRecord(process);
}

std::uint32_t SimMachine::AddProcessRecord(const SimProcess& process) {
    World& world = state_->world;
    SimProcess added = process;
    if (added.processId == 0) {
        bool taken = true;
        while (taken) {
            world.nextProcessId += 4;
            taken = std::any_of(world.processes.begin(), world.processes.end(),
                                [&](const SimProcess& p) { return p.processId == world.nextProcessId; });
        }
        added.processId = world.nextProcessId;
    }
    if (added.running) {
        added.exitCode = kStillActive;
    }
    world.processes.push_back(added);
    return added.processId;
}

std::vector<SimProcess> SimMachine::Processes() const {
    return state_->world.processes;
}

// Files.

void SimMachine::CreateFolder(std::u16string_view path) {
    if (auto full = state_->world.Normalize(path)) {
        (void)state_->world.MakeFolder(*full);
    }
}

void SimMachine::WriteFile(std::u16string_view path, std::string_view contents, std::uint32_t attributes) {
    World& world = state_->world;
    auto full = world.Normalize(path);
    if (!full) {
        return;
    }
    (void)world.MakeFolder(World::ParentOf(*full));
    FileNode& node = world.files[Fold(*full)];
    node.path = *full;
    node.folder = false;
    node.contents = std::string(contents);
    node.attributes = attributes & ~(kFileAttributeDirectory | kFileAttributeNormal);
}

void SimMachine::SetSecurity(std::u16string_view path, FileSecurity security) {
    World& world = state_->world;
    const auto full = world.Normalize(path);
    if (FileNode* node = full ? world.Node(*full) : nullptr) {
        node->security = std::move(security);
    }
}

FileSecurity SimMachine::DefaultSecurity() {
    return {0,
            std::string(kSidAdministrators),
            {},
            true,
            {{std::string(kSidSystem), true, kFileAllAccess},
             {std::string(kSidAdministrators), true, kFileAllAccess},
             {std::string(kSidUsers), true, kFileReadAndExecute}}};
}

void SimMachine::AddLink(std::u16string_view path, std::u16string_view target, LinkKind kind, bool folder) {
    World& world = state_->world;
    auto full = world.Normalize(path);
    auto to = world.Normalize(target);
    if (!full || !to) {
        return;
    }
    (void)world.MakeFolder(World::ParentOf(*full));
    // The link replaces whatever had its name, a whole folder included.
    const std::u16string below = Fold(*full) + u"\\";
    std::erase_if(world.files, [&](const auto& entry) { return entry.first.starts_with(below); });
    FileNode& node = world.files[Fold(*full)];
    node = FileNode{};
    node.path = *full;
    if (kind == LinkKind::HardLink) {
        node.hardLinkOf = *to;
        return;
    }
    const FileNode* pointee = world.Node(*to);
    node.folder = folder || kind == LinkKind::Junction || (pointee != nullptr && pointee->folder);
    node.attributes =
        kFileAttributeReparsePoint | (node.folder ? kFileAttributeDirectory : kFileAttributeArchive);
    node.reparseTag = kind == LinkKind::Junction ? kReparseTagMountPoint : kReparseTagSymlink;
    node.linkTarget = *to;
}

std::optional<SimMachine::LinkDescription> SimMachine::LinkAt(std::u16string_view path) const {
    auto full = state_->world.Normalize(path);
    const FileNode* node = full ? state_->world.Node(*full) : nullptr;
    if (node == nullptr) {
        return std::nullopt;
    }
    if (!node->hardLinkOf.empty()) {
        return LinkDescription{LinkKind::HardLink, node->hardLinkOf};
    }
    if (!node->IsLink()) {
        return std::nullopt;
    }
    return LinkDescription{
        node->reparseTag == kReparseTagMountPoint ? LinkKind::Junction : LinkKind::SymbolicLink,
        node->linkTarget};
}

bool SimMachine::FileExists(std::u16string_view path) const {
    auto full = state_->world.Normalize(path);
    FileNode* node = full ? state_->world.Node(*full) : nullptr;
    return node != nullptr && !node->folder;
}

bool SimMachine::FolderExists(std::u16string_view path) const {
    auto full = state_->world.Normalize(path);
    FileNode* node = full ? state_->world.Node(*full) : nullptr;
    return node != nullptr && node->folder;
}

std::optional<std::string> SimMachine::ReadFile(std::u16string_view path) const {
    auto full = state_->world.Normalize(path);
    FileNode* node = full ? state_->world.Node(*full) : nullptr;
    if (node == nullptr || node->folder) {
        return std::nullopt;
    }
    return state_->world.DataOf(*node).contents;
}

std::optional<std::uint32_t> SimMachine::Attributes(std::u16string_view path) const {
    auto full = state_->world.Normalize(path);
    FileNode* node = full ? state_->world.Node(*full) : nullptr;
    if (node == nullptr) {
        return std::nullopt;
    }
    return node->attributes == 0 ? kFileAttributeNormal : node->attributes;
}

bool SimMachine::FolderWritable(std::u16string_view path) const {
    auto full = state_->world.Normalize(path);
    return full && state_->world.Writable(*full);
}

void SimMachine::SetPathAttributes(std::u16string_view path, std::uint32_t attributes) {
    auto full = state_->world.Normalize(path);
    if (FileNode* node = full ? state_->world.Node(*full) : nullptr) {
        node->attributes = (attributes & ~(kFileAttributeDirectory | kFileAttributeNormal)) |
                           (node->folder ? kFileAttributeDirectory : 0) |
                           (node->IsLink() ? kFileAttributeReparsePoint : 0);
    }
}

void SimMachine::SetFolderWritable(std::u16string_view path, bool writable) {
    if (auto full = state_->world.Normalize(path)) {
        state_->world.MakeFolder(*full).writable = writable;
    }
}

void SimMachine::SetWineFileLinks(bool wine) {
    state_->world.wineFileLinks = wine;
}

void SimMachine::SetWow64() {
    state_->world.wow64 = true;
    state_->world.MakeFolder(state_->world.windowsDirectory + u"\\SysWOW64");
}

std::vector<std::u16string> SimMachine::Ports() const {
    return state_->world.ports;
}

void SimMachine::RemovePort(std::u16string_view port) {
    std::erase_if(state_->world.ports, [&](const std::u16string& known) { return EqualNoCase(known, port); });
}

void SimMachine::SetCurrentDirectory(std::u16string_view path) {
    if (auto full = state_->world.Normalize(path)) {
        state_->world.currentDirectory = *full;
    }
}

std::u16string SimMachine::CurrentDirectory() const {
    return World::Display(state_->world.currentDirectory);
}

void SimMachine::SetSpecialFolder(int csidl, std::optional<std::u16string> path) {
    state_->world.specialFolders[csidl] = std::move(path);
}

std::map<int, std::optional<std::u16string>> SimMachine::SpecialFolders() const {
    return state_->world.specialFolders;
}

std::vector<std::u16string> SimMachine::AllPaths() const {
    std::vector<std::u16string> paths;
    for (const auto& [key, node] : state_->world.files) {
        if (key.size() > 2) {
            paths.push_back(node.path);
        }
    }
    return paths;
}

// System.

void SimMachine::SetOsVersion(std::uint32_t major, std::uint32_t minor) {
    state_->world.osMajor = major;
    state_->world.osMinor = minor;
}

void SimMachine::SetNativeArchitecture(std::uint16_t architecture) {
    state_->world.architecture = architecture;
    SetString(kHkeyLocalMachine, kSessionEnvironmentKey, u"PROCESSOR_ARCHITECTURE",
              ArchitectureName(architecture));
}

void SimMachine::SetLocalTime(const std::tm& time) {
    state_->world.localTime = time;
}
void SimMachine::SetConsoleAttachable(bool attachable) {
    state_->world.consoleAttachable = attachable;
}
void SimMachine::SetThreadCodePage(std::uint32_t codePage) {
    state_->world.threadCodePage = codePage;
}
std::uint32_t SimMachine::CommonControlClasses() const {
    return state_->world.commonControlClasses;
}
void SimMachine::SetModulePath(std::u16string_view path) {
    state_->world.modulePath = path;
}
void SimMachine::SetLocaleAbbrevLanguage(std::optional<std::u16string> abbreviation) {
    state_->world.localeAbbrevLanguage = std::move(abbreviation);
}
std::vector<std::u16string> SimMachine::LoadedLibraries() const {
    std::vector<std::u16string> paths;
    for (const auto& [handle, path] : state_->world.libraries) {
        paths.push_back(path);
    }
    return paths;
}
std::u16string SimMachine::ResourceModulePath() const {
    const World& world = state_->world;
    auto found = world.libraries.find(world.resourceModule);
    return found == world.libraries.end() ? std::u16string() : found->second;
}
void SimMachine::SetCommandLine(std::u16string_view commandLine) {
    state_->world.commandLine = commandLine;
}
void SimMachine::SetMessageBoxAnswer(int answer) {
    state_->world.messageBoxAnswer = answer;
}
void SimMachine::SetString(std::uint32_t id, std::u16string text) {
    if (text.empty()) {
        state_->world.strings.erase(id);
    } else {
        state_->world.strings[id] = std::move(text);
    }
}
void SimMachine::QueueMessageBoxAnswers(std::vector<int> answers) {
    auto& queue = state_->world.queuedAnswers;
    queue.insert(queue.end(), answers.begin(), answers.end());
}

std::vector<int> SimMachine::QueuedMessageBoxAnswers() const {
    return state_->world.queuedAnswers;
}

void SimMachine::SetTickCount(std::uint32_t tick) {
    state_->world.tick = tick;
}
std::uint32_t SimMachine::Now() const {
    return state_->world.tick;
}
std::uint32_t SimMachine::OsMajorVersion() const {
    return state_->world.osMajor;
}
std::uint32_t SimMachine::OsMinorVersion() const {
    return state_->world.osMinor;
}
std::uint16_t SimMachine::NativeArchitecture() const {
    return state_->world.architecture;
}
std::tm SimMachine::LocalTime() const {
    return state_->world.localTime;
}
bool SimMachine::ConsoleAttachable() const {
    return state_->world.consoleAttachable;
}
std::u16string SimMachine::CommandLine() const {
    return state_->world.commandLine;
}
int SimMachine::MessageBoxAnswer() const {
    return state_->world.messageBoxAnswer;
}
const std::string& SimMachine::Stdout() const {
    return state_->world.stdoutText;
}

const std::vector<SimMachine::MessageBoxCall>& SimMachine::MessageBoxes() const {
    return state_->world.messageBoxes;
}

std::size_t SimMachine::OpenHandleCount() const {
    return state_->world.OpenHandleCount();
}
std::uint64_t SimMachine::BadHandleCloses() const {
    return state_->world.badCloses;
}

}  // namespace spoolsweep::sim
