#pragma once
// The seam implementations of the simulated machine, each working on the shared world.
#include "platform/sim/sim_world.h"

namespace spoolsweep::sim {

class SimRegistry final : public Registry {
  public:
    explicit SimRegistry(World& world) : world_(world) {}
    HandleResult OpenKey(Handle parent, std::u16string_view path) override;
    HandleResult OpenKeyEx(Handle parent, std::u16string_view path, std::uint32_t access) override;
    void CloseKey(Handle key) override;
    ValueResult QueryValue(Handle key, std::u16string_view name, std::uint32_t bufferBytes) override;
    NameResult EnumKey(Handle key, std::uint32_t index, std::uint32_t nameBufferChars) override;
    NameResult EnumValue(Handle key, std::uint32_t index, std::uint32_t nameBufferChars) override;
    Status DeleteValue(Handle key, std::u16string_view name) override;
    Status DeleteTree(Handle parent, std::u16string_view path) override;
    HandleResult CreateKey(Handle parent, std::u16string_view path, std::uint32_t access) override;
    Status SetValue(Handle key, std::u16string_view name, std::uint32_t type,
                    const std::vector<std::uint8_t>& data) override;
    ExpandResult ExpandEnvironmentStrings(std::u16string_view text, std::uint32_t bufferChars) override;

  private:
    // RegOpenKeyExW, or with `create` RegCreateKeyExW (missing keys made, each journalled).
    HandleResult Open(const char* function, Handle parent, std::u16string_view path, std::uint32_t access,
                      bool create = false);
    bool FollowLink(RegKey*& key, OpenRegKey& opened);
    // The key a call works on, or the error the call ends with.
    struct EnteredKey {
        std::uint32_t error = 0;
        RegKey* node = nullptr;
    };
    // An enumeration's key (faults are matched on the key's name).
    [[nodiscard]] EnteredKey EnterEnumeration(const char* function, Handle key, std::uint32_t needed);
    // The key a value's deletion or writing changes, resolved into `open`, or the error the call ends with
    // (faults are matched on the value's name).
    [[nodiscard]] EnteredKey EnterValueChange(const char* function, Handle key, std::u16string_view name,
                                              OpenRegKey& open);
    // The root and canonical path a handle names; false for an unknown handle.
    bool Resolve(Handle key, OpenRegKey& out) const;
    [[nodiscard]] std::string FullName(const OpenRegKey& key) const;
    World& world_;
};

class SimSpooler final : public Spooler {
  public:
    explicit SimSpooler(World& world) : world_(world) {}
    EnumResult<PrinterInfo> EnumPrinters(std::uint32_t flags, std::uint32_t bufferBytes) override;
    EnumResult<DriverInfo> EnumPrinterDrivers(std::u16string_view environment,
                                              std::uint32_t bufferBytes) override;
    EnumResult<DriverDefinition> EnumDriverDefinitions(std::u16string_view environment,
                                                       std::uint32_t bufferBytes) override;
    Status AddPrinterDriverEx(const DriverDefinition& driver, std::uint32_t copyFlags) override;
    HandleResult OpenPrinter(std::u16string_view name, std::uint32_t access) override;
    void ClosePrinter(Handle printer) override;
    EnumResult<std::uint32_t> EnumJobs(Handle printer, std::uint32_t firstJob, std::uint32_t count,
                                       std::uint32_t bufferBytes) override;
    EnumResult<FormInfo> EnumForms(Handle printer, std::uint32_t bufferBytes) override;
    EnumResult<PortInfo> ListPorts(std::uint32_t bufferBytes) override;
    Status AddLocalPort(std::u16string_view port) override;
    Status DeletePrinter(Handle printer) override;
    Status DeletePrinterConnection(std::u16string_view name) override;
    Status AddPrinterConnection(std::u16string_view name) override;
    Status DeleteForm(Handle printer, std::u16string_view formName) override;
    Status AddForm(Handle printer, const FormInfo& form) override;
    Status DeletePrinterDriverEx(std::u16string_view environment, std::u16string_view driver,
                                 std::uint32_t deleteFlags, std::uint32_t version) override;
    bool CanDeletePrinterDriverPackage() override;
    Status DeletePrinterDriverPackage(std::u16string_view infPath, std::u16string_view environment) override;
    Status UploadDriverPackage(std::u16string_view infPath, std::u16string_view environment) override;
    PrinterDefinitionResult GetPrinter(Handle printer) override;
    HandleResult AddPrinter(const PrinterDefinition& printer) override;
    Status SetPrinterDataEx(Handle printer, std::u16string_view key, std::u16string_view value,
                            std::uint32_t type, const std::vector<std::uint8_t>& data) override;
    DefaultPrinterResult GetDefaultPrinter(std::uint32_t bufferChars) override;

  private:
    // The environment's driver folder of version-3 drivers, where the spooler keeps their files.
    [[nodiscard]] std::u16string DriverFolder(std::u16string_view environment) const;

    World& world_;
};

class SimFiles final : public Files {
  public:
    explicit SimFiles(World& world) : world_(world) {}
    std::optional<std::uint32_t> GetStatus(std::u16string_view path) override;
    Status SetAttributes(std::u16string_view path, std::uint32_t attributes) override;
    Status SetOwnAttributes(std::u16string_view path, std::uint32_t attributes) override;
    FileSecurity QuerySecurity(std::u16string_view path) override;
    Status CreatePrivateDirectory(std::u16string_view path) override;
    std::optional<FileIdentity> QueryIdentity(std::u16string_view path) override;
    FindResult FindFirst(std::u16string_view pattern) override;
    std::optional<FindEntry> FindNext(Handle find) override;
    void FindClose(Handle find) override;
    Status DeleteFile(std::u16string_view path) override;
    Status RemoveDirectory(std::u16string_view path) override;
    Status CreateDirectory(std::u16string_view path) override;
    Status CopyFile(std::u16string_view source, std::u16string_view target, bool failIfExists) override;
    bool PathFileExists(std::u16string_view path) override;
    int ShellDeleteTree(std::u16string_view sourceList, std::uint16_t flags) override;
    std::optional<std::u16string> GetSpecialFolderPath(int csidl, bool create) override;
    std::u16string GetWindowsDirectory() override;
    std::u16string GetSystemDirectory() override;
    std::optional<std::u16string> GetRedirectedSystemDirectory() override;
    bool AppendText(std::u16string_view path, std::string_view text) override;
    FileBytes ReadFileBytes(std::u16string_view path, std::uint64_t maxBytes) override;
    Status CreateNewFile(std::u16string_view path, std::string_view bytes) override;
    Handle OpenTextForUpdate(std::u16string_view path) override;
    std::optional<std::u16string> ReadTextLine(Handle file, std::uint32_t bufferChars) override;
    void CloseText(Handle file) override;

  private:
    // A call on one path: the path resolved, or the error the call ends with.
    struct Target {
        std::uint32_t error = 0;
        std::u16string path;
    };
    // The checks every call on one path makes first: an injected fault, a wildcard, a path that names
    // nothing; then the links on the way followed, the last component's own only when followFinal.
    [[nodiscard]] Target Resolve(const char* function, std::u16string_view path, bool followFinal);
    // The path with its links followed as a call that does not open the last component's link sees it.
    [[nodiscard]] std::optional<std::u16string> Locate(std::u16string_view path, bool followFinal);
    [[nodiscard]] FindEntry EntryOf(FileNode& node);
    [[nodiscard]] std::u16string LocateAsWine(std::u16string path);
    // The error for a path that does not exist: its folder missing too, or only the last component.
    [[nodiscard]] std::uint32_t MissingError(const std::u16string& path) const;

    World& world_;
};

class SimSystem final : public System {
  public:
    explicit SimSystem(World& world) : world_(world) {}
    OsVersionInfo QueryOsVersion() override;
    std::uint16_t NativeProcessorArchitecture() override;
    std::string WideToMultiByte(std::u16string_view text, std::uint32_t codePage) override;
    std::tm LocalTime() override;
    std::uint32_t TickCount() override;
    void Sleep(std::uint32_t milliseconds) override;
    int MessageBox(std::u16string_view text, std::u16string_view caption, std::uint32_t style) override;
    void InitCommonControls(std::uint32_t classes) override;
    bool AttachParentConsole() override;
    void WriteStdout(std::string_view text) override;
    std::u16string CommandLine() override;
    std::u16string LoadString(std::uint32_t id) override;
    int CompareStrings(std::u16string_view a, std::u16string_view b) override;
    std::optional<std::u16string> GetLocaleAbbrevLanguage(std::uint32_t locale,
                                                          std::uint32_t bufferChars) override;
    std::u16string GetModuleFileName() override;
    Handle LoadLibrary(std::u16string_view path) override;
    void SetResourceModule(Handle module) override;
    Handle ResourceModule() override;

  private:
    World& world_;
};

class SimServices final : public Services {
  public:
    explicit SimServices(World& world) : world_(world) {}
    // The process-wide manager handle is closed while this implementation can still close it.
    ~SimServices() override { CloseSharedManager(); }
    SimServices(const SimServices&) = delete;
    SimServices& operator=(const SimServices&) = delete;
    HandleResult OpenManager(std::uint32_t access) override;
    HandleResult LockDatabase(Handle manager) override;
    void UnlockDatabase(Handle lock) override;
    HandleResult OpenService(Handle manager, std::u16string_view name, std::uint32_t access) override;
    void CloseServiceHandle(Handle handle) override;
    ServiceStatusResult QueryStatus(Handle service) override;
    Status ControlStop(Handle service) override;
    Status StartService(Handle service) override;
    EnumResult<std::u16string> EnumDependentServices(Handle service, std::uint32_t stateFilter,
                                                     std::uint32_t bufferBytes) override;

  private:
    // The service a service handle names, or nothing (unknown handle, manager handle, deleted service).
    // The service a handle names, when the handle holds every right of `needed`; else the error.
    SimService* ServiceOf(Handle handle);
    [[nodiscard]] std::uint32_t CheckAccess(Handle handle, std::uint32_t needed) const;
    World& world_;
};

class SimProcesses final : public Processes {
  public:
    explicit SimProcesses(World& world) : world_(world) {}
    HandleResult CreateSnapshot() override;
    std::optional<ProcessEntry> FirstProcess(Handle snapshot) override;
    std::optional<ProcessEntry> NextProcess(Handle snapshot) override;
    HandleResult OpenProcess(std::uint32_t access, std::uint32_t processId) override;
    ExitCodeResult GetExitCode(Handle process) override;
    Status TerminateProcess(Handle process, std::uint32_t exitCode) override;
    void CloseHandle(Handle handle) override;

  private:
    SimProcess* ProcessOf(Handle handle);
    World& world_;
};

}  // namespace spoolsweep::sim
