#pragma once
// The real Windows implementations of the platform seams: each method is the Win32 call it names, with its
// handles owned for the length of the call and its result reported as the seam says. Every decision about
// what to call and when belongs to the portable code.
#include <memory>

#include "platform/machine.h"

namespace spoolsweep::win32 {

class Win32Spooler final : public Spooler {
  public:
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
};

class Win32Registry final : public Registry {
  public:
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
};

class Win32Services final : public Services {
  public:
    Win32Services() = default;
    // The process-wide manager handle is closed while this implementation can still close it.
    ~Win32Services() override { CloseSharedManager(); }
    Win32Services(const Win32Services&) = delete;
    Win32Services& operator=(const Win32Services&) = delete;
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
};

class Win32Processes final : public Processes {
  public:
    HandleResult CreateSnapshot() override;
    std::optional<ProcessEntry> FirstProcess(Handle snapshot) override;
    std::optional<ProcessEntry> NextProcess(Handle snapshot) override;
    HandleResult OpenProcess(std::uint32_t access, std::uint32_t processId) override;
    ExitCodeResult GetExitCode(Handle process) override;
    Status TerminateProcess(Handle process, std::uint32_t exitCode) override;
    void CloseHandle(Handle handle) override;
};

class Win32Files final : public Files {
  public:
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
};

class Win32System final : public System {
  public:
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
    Handle resources_ = 0;  // 0: the program's own module
};

// The real machine: one of each service, bundled for the program's entry.
class Win32Machine {
  public:
    Win32Machine() = default;
    Win32Machine(const Win32Machine&) = delete;
    Win32Machine& operator=(const Win32Machine&) = delete;

    [[nodiscard]] Machine& machine() noexcept { return machine_; }

  private:
    Win32Spooler spooler_;
    Win32Registry registry_;
    Win32Services services_;
    Win32Processes processes_;
    Win32Files files_;
    Win32System system_;
    Machine machine_{spooler_, registry_, services_, processes_, files_, system_};
};

}  // namespace spoolsweep::win32
