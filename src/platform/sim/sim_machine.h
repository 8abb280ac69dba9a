#pragma once
// A simulated Windows machine: one world state behind every seam, with the couplings Windows has (adding a
// driver writes its registry key, a driver in use cannot be deleted, ...), fault injection on every call and
// a count of every call. Tests arrange a machine through the set-up methods below, run the program's code on
// machine(), then look at the state and the journal.
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine.h"

namespace spoolsweep::sim {

// The account the simulated machine's program runs as.
inline constexpr std::string_view kSimCallerSid = "S-1-5-21-1-2-3-500";

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// Every seam call is named by its Win32 function ("RegOpenKeyExW", "EnumPrintersW", ...).
class CallLog {
  public:
    void Record(std::string_view function);
    [[nodiscard]] std::uint64_t Count(std::string_view function) const;
    [[nodiscard]] std::uint64_t Total() const;
    // Every function called so far with its count, by name.
    [[nodiscard]] const std::map<std::string, std::uint64_t, std::less<>>& Counts() const { return counts_; }
    void Clear();

  private:
    std::map<std::string, std::uint64_t, std::less<>> counts_;
    std::uint64_t total_ = 0;
};

// Makes chosen calls fail with a chosen error: after `skip` matching calls, the next `times` calls fail
// (times < 0: every later call). A predicate on the call's main argument narrows the rule.
class Faults {
  public:
    void Fail(std::string function, std::uint32_t error, int times = -1, int skip = 0,
              std::u16string argumentContains = {});
    void Clear();
    // Runs action once, when the next call of function begins (before any fault rule is looked at): the world
    // changing under the program, as another process would change it.
    void OnCall(std::string function, std::function<void()> action);
    // Called by the seams: the error to report, or 0 to go on.
    [[nodiscard]] std::uint32_t Check(std::string_view function, std::u16string_view argument = {});

  private:
    struct Action {
        std::string function;
        std::function<void()> run;
    };
    std::vector<Action> actions_;
    struct Rule {
        std::string function;
        std::uint32_t error;
        int times;
        int skip;
        std::u16string argumentContains;
    };
    std::vector<Rule> rules_;
};

struct SimPrinter {
    std::u16string name;
    std::u16string driver;
    std::u16string share;       // empty: not shared (the spooler then reports NULL)
    std::u16string serverName;  // empty: local printer; set: a connection (name is then "\\server\printer")
    std::vector<std::uint32_t> jobs;
    // Successive EnumJobsW answers (job counts): each printer handle takes the next answer at its first
    // EnumJobsW call and keeps it for its later calls (the size call and the data call agree); the last
    // answer stays. Empty: the queued jobs answer.
    std::vector<std::uint32_t> scriptedJobCounts;
    // DeletePrinter succeeded while jobs were queued: the spooler keeps the printer (listed, openable, its
    // driver in use) until its jobs have printed (CompleteJobs).
    bool pendingDeletion = false;
    PrinterSettings settings{};  // the rest of its level-2 definition
};

struct SimDriver {
    std::u16string environment;  // "Windows NT x86" or "Windows x64"
    std::u16string name;
    std::u16string dataFile;  // e.g. "NorvelAB12.PPD"
    std::u16string infPath;
    // The rest of its level-6 definition; its files are names in the environment's driver folder "3".
    DriverDetails details{};
};

struct SimForm {
    std::u16string name;
    std::uint32_t flags = 0;  // 0 user, 1 built-in, 2 printer
    // Paper size and imageable area in thousandths of a millimetre (A4 unless set).
    std::int32_t width = 210000, height = 297000;
    std::int32_t left = 0, top = 0, right = 210000, bottom = 297000;
};

struct SimValue {
    std::u16string name;
    std::uint32_t type = kRegSz;
    std::vector<std::uint8_t> data;
};

struct SimService {
    std::u16string name;
    ServiceState state = ServiceState::Running;
    std::vector<std::u16string> dependents;  // services that depend on this one
    // Simulated milliseconds a pending state lasts before it completes.
    std::uint32_t pendingMs = 200;
    bool staysStopPending = false;  // a stop never completes
    bool refusesControl = false;    // ControlService and StartServiceW fail with 1061 and change nothing
    std::uint32_t pendingSince = 0;
};

struct SimProcess {
    std::u16string exeFile;
    std::uint32_t processId = 0;
    bool running = true;
    std::uint32_t exitCode = kStillActive;
    // The rights its security grants the administrator; OpenProcess asking for more fails with 5.
    std::uint32_t grantedAccess = 0x001FFFFF;  // every process right
};

enum class LinkKind { SymbolicLink, Junction, HardLink };

class SimMachine {
  public:
    // A fresh machine: 64-bit Windows 10 (major 10, native architecture 9, PROCESSOR_ARCHITECTURE "AMD64");
    // C:\Windows with System32 and Temp; the user Temp folder, HKCU "Environment" value "Temp" set to
    // "%USERPROFILE%\AppData\Local\Temp", which expands to "C:\Users\admin\AppData\Local\Temp"; Application
    // Data "C:\Users\admin\AppData\Roaming"; the spool folders "System32\spool\drivers\w32x86" and "x64"; a
    // running "Spooler" service; the current directory "C:\Users\admin"; a few built-in forms ("Letter",
    // "A4", "Legal") standing for Windows' 116.
    SimMachine();
    ~SimMachine();
    SimMachine(const SimMachine&) = delete;
    SimMachine& operator=(const SimMachine&) = delete;

    // Removes every registry key and value, file and folder (the drive's root stays), printer, driver, form,
    // service, process, environment variable and special folder, so that a machine file can describe a
    // whole machine. The system settings (version, architecture, time, ...) stay as they are.
    void Empty();

    [[nodiscard]] Machine& machine();
    [[nodiscard]] CallLog& calls();
    [[nodiscard]] Faults& faults();
    // One line per mutating call that succeeded, in order: the Win32 function, a space, its object. Text is
    // UTF-8; paths and key names are spelt as the machine stores them (as created), not as the caller wrote
    // them. The lines:
    //   "RegDeleteValueW <root>\<key path> <value name>" (root: HKCU, HKLM or HKU)
    //   "SHDeleteKeyW <root>\<key path>"
    //   "DeletePrinter <printer>" ("DeletePrinter <printer> pending" while jobs are queued)
    //   "DeletePrinterConnectionW \\<server>\<printer>"
    //   "DeleteFormW <form>"
    //   "DeletePrinterDriverExW <environment>, <driver>"
    //   "DeletePrinterDriverPackageW <inf path>, <environment>"
    //   "SetFileAttributesW <path> 0x<attributes as passed, hex>"
    //   "SetFileInformationByHandle <path> 0x<attributes as passed, hex>" (the attributes set by handle)
    //   "DeleteFileW <path>", "RemoveDirectoryW <path>", "CreateDirectoryW <path>"
    //   "CopyFileW <source> -> <target>"
    //   "SHFileOperationW FO_DELETE <path> 0x<flags as passed, hex>" (one line per source)
    //   "ControlService <service> STOP", "StartServiceW <service>"
    //   "TerminateProcess <pid> <exit code>"
    // Appending to a text file (the command log) is not journalled: the file's contents show it.
    [[nodiscard]] const std::vector<std::string>& journal() const;

    // Registry. Roots are kHkeyCurrentUser, kHkeyLocalMachine, kHkeyUsers; names compare without case.
    void SetValue(Handle root, std::u16string_view path, std::u16string_view name, std::uint32_t type,
                  std::vector<std::uint8_t> data);
    void SetString(Handle root, std::u16string_view path, std::u16string_view name, std::u16string_view value,
                   std::uint32_t type = kRegSz);
    void SetMultiString(Handle root, std::u16string_view path, std::u16string_view name,
                        const std::vector<std::u16string>& strings);
    void CreateKey(Handle root, std::u16string_view path);
    // A registry link at `path` (created as REG_OPTION_CREATE_LINK makes one) to the key at target.
    void AddKeyLink(Handle root, std::u16string_view path, Handle targetRoot, std::u16string_view target);
    [[nodiscard]] bool KeyExists(Handle root, std::u16string_view path) const;
    [[nodiscard]] bool ValueExists(Handle root, std::u16string_view path, std::u16string_view name) const;
    [[nodiscard]] std::optional<std::vector<std::uint8_t>> GetValue(Handle root, std::u16string_view path,
                                                                    std::u16string_view name) const;
    // Subkey names as created, in enumeration order (case-insensitive alphabetical).
    [[nodiscard]] std::vector<std::u16string> SubkeyNames(Handle root, std::u16string_view path) const;
    [[nodiscard]] std::vector<std::u16string> ValueNames(Handle root, std::u16string_view path) const;
    // The values of a key in creation order, with their types.
    [[nodiscard]] std::vector<SimValue> Values(Handle root, std::u16string_view path) const;
    void SetEnvironmentVariable(std::u16string_view name, std::u16string_view value);
    // The variables DoEnvironmentSubstW expands, in the order they were first set.
    [[nodiscard]] std::vector<std::pair<std::u16string, std::u16string>> EnvironmentVariables() const;

    // Spooler. Adding a driver writes the HKLM key
    //   "SYSTEM\CurrentControlSet\Control\Print\Environments\<env>\Drivers\Version-3\<name>"
    // with "Data File" and "InfPath"; adding a local printer writes
    //   "SYSTEM\CurrentControlSet\Control\Print\Printers\<name>" with "Printer Driver";
    // deleting them removes those keys.
    void AddDriver(const SimDriver& driver);
    void AddPrinter(const SimPrinter& printer);
    void AddForm(const SimForm& form);
    void QueueJob(std::u16string_view printer);
    // The printer's queued jobs have printed; a printer pending deletion then goes.
    void CompleteJobs(std::u16string_view printer);
    void ScriptJobCounts(std::u16string_view printer, std::vector<std::uint32_t> counts);
    void SetDefaultPrinter(std::u16string_view printer);
    void SetDriverPackageDeletion(bool available);
    // EnumPrintersW lists the printers last added first (true) or in the order they were added.
    void SetPrintersReversed(bool reversed);
    [[nodiscard]] bool PrintersReversed() const;
    [[nodiscard]] std::vector<SimPrinter> Printers() const;
    [[nodiscard]] std::vector<SimDriver> Drivers() const;
    [[nodiscard]] std::vector<SimForm> Forms() const;
    [[nodiscard]] std::optional<std::u16string> DefaultPrinter() const;
    [[nodiscard]] bool DriverPackageDeletion() const;
    // (infPath, environment) of every DeletePrinterDriverPackageW call that succeeded.
    [[nodiscard]] std::vector<std::pair<std::u16string, std::u16string>> DeletedDriverPackages() const;

    // Services.
    void AddService(const SimService& service);
    [[nodiscard]] std::optional<SimService> Service(std::u16string_view name) const;
    // Every service in the manager's order.
    [[nodiscard]] std::vector<SimService> AllServices() const;
    void SetDatabaseLockHeldElsewhere(bool held);  // LockServiceDatabase then fails with 1055
    [[nodiscard]] bool DatabaseLockHeldElsewhere() const;

    // Processes, in snapshot order; returns the process id.
    std::uint32_t AddProcess(std::u16string_view exeFile);
    // A process as given (id, running, exit code); an id of 0 is chosen by the machine. Returns the id.
    std::uint32_t AddProcessRecord(const SimProcess& process);
    [[nodiscard]] std::vector<SimProcess> Processes() const;

    // Files. Paths are Windows paths, compared without case; parent folders are created as needed.
    void CreateFolder(std::u16string_view path);
    void WriteFile(std::u16string_view path, std::string_view contents, std::uint32_t attributes = 0x20);
    [[nodiscard]] bool FileExists(std::u16string_view path) const;
    [[nodiscard]] bool FolderExists(std::u16string_view path) const;
    [[nodiscard]] std::optional<std::string> ReadFile(std::u16string_view path) const;
    // Makes `path` a symbolic link or junction pointing at `target` (which need not exist: a symbolic link
    // to nothing is a file link), or a second name of the file at `target` (a hard link).
    // `folder` says whether a symbolic link names a folder when its target cannot tell.
    // The owner and access list of a file or folder and of what it holds that has none of its own. The
    // drive's: owned by Administrators, full control to SYSTEM and Administrators, read to Users.
    void SetSecurity(std::u16string_view path, FileSecurity security);
    [[nodiscard]] static FileSecurity DefaultSecurity();
    void AddLink(std::u16string_view path, std::u16string_view target, LinkKind kind, bool folder = false);
    struct LinkDescription {
        LinkKind kind = LinkKind::SymbolicLink;
        std::u16string target;
    };
    // What the link at `path` is, nothing for a plain file or folder.
    [[nodiscard]] std::optional<LinkDescription> LinkAt(std::u16string_view path) const;
    // The attributes of a file or folder, as GetFileAttributesExW reports them.
    [[nodiscard]] std::optional<std::uint32_t> Attributes(std::u16string_view path) const;
    [[nodiscard]] bool FolderWritable(std::u16string_view path) const;
    // Sets the attributes of an existing file or folder as they are (a folder keeps its directory bit).
    void SetPathAttributes(std::u16string_view path, std::uint32_t attributes);
    // A folder whose files cannot be created or changed (as a read-only share would refuse them).
    void SetFolderWritable(std::u16string_view path, bool writable);
    void SetCurrentDirectory(std::u16string_view path);
    // Symbolic links to files as Wine 8 treats them (hidden, opened through, deleted through) or, by
    // default, as Windows does.
    void SetWineFileLinks(bool wine);
    // The program as a 32-bit process on 64-bit Windows: WoW64 shows it SysWOW64 (made here) for System32,
    // but for the folders Windows exempts, the spooler's among them.
    void SetWow64();
    // The ports the spooler lists, and one taken away (as a port deleted in the ports' dialog).
    [[nodiscard]] std::vector<std::u16string> Ports() const;
    void RemovePort(std::u16string_view port);
    [[nodiscard]] std::u16string CurrentDirectory() const;
    void SetSpecialFolder(int csidl, std::optional<std::u16string> path);
    [[nodiscard]] std::map<int, std::optional<std::u16string>> SpecialFolders() const;
    // Every file and folder, full paths, sorted.
    [[nodiscard]] std::vector<std::u16string> AllPaths() const;

    // System.
    void SetOsVersion(std::uint32_t major, std::uint32_t minor = 0);
    void SetNativeArchitecture(std::uint16_t architecture);  // also writes PROCESSOR_ARCHITECTURE
    void SetLocalTime(const std::tm& time);
    void SetConsoleAttachable(bool attachable);
    // The ANSI code page of the thread's locale (CP_THREAD_ACP): 1252, as the system's, or 65001 (UTF-8)
    // standing for a thread locale whose code page differs from the system's.
    void SetThreadCodePage(std::uint32_t codePage);
    // The control classes InitCommonControlsEx was asked for, all calls together.
    [[nodiscard]] std::uint32_t CommonControlClasses() const;
    void SetCommandLine(std::u16string_view commandLine);
    void SetMessageBoxAnswer(int answer);
    // Replaces one entry of the resource module's string table (an empty text removes it).
    void SetString(std::uint32_t id, std::u16string text);
    // The program's own path, and the abbreviated language name of the system locale (nothing: the query
    // fails).
    void SetModulePath(std::u16string_view path);
    void SetLocaleAbbrevLanguage(std::optional<std::u16string> abbreviation);
    // The paths of the libraries loaded so far, and the path of the current resource module (empty while
    // it is the program's own).
    [[nodiscard]] std::vector<std::u16string> LoadedLibraries() const;
    [[nodiscard]] std::u16string ResourceModulePath() const;
    // Answers for the next message boxes, one each in order; after them the answer above.
    void QueueMessageBoxAnswers(std::vector<int> answers);
    [[nodiscard]] std::vector<int> QueuedMessageBoxAnswers() const;
    void SetTickCount(std::uint32_t tick);
    [[nodiscard]] std::uint32_t Now() const;  // simulated tick count
    [[nodiscard]] std::uint32_t OsMajorVersion() const;
    [[nodiscard]] std::uint32_t OsMinorVersion() const;
    [[nodiscard]] std::uint16_t NativeArchitecture() const;
    [[nodiscard]] std::tm LocalTime() const;
    [[nodiscard]] bool ConsoleAttachable() const;
    [[nodiscard]] std::u16string CommandLine() const;
    [[nodiscard]] int MessageBoxAnswer() const;
    [[nodiscard]] const std::string& Stdout() const;
    struct MessageBoxCall {
        std::u16string text;
        std::u16string caption;
        std::uint32_t style;
    };
    [[nodiscard]] const std::vector<MessageBoxCall>& MessageBoxes() const;

    // Handles issued by any seam and not yet closed, and closes of handles that were not open (double closes
    // included).
    [[nodiscard]] std::size_t OpenHandleCount() const;
    [[nodiscard]] std::uint64_t BadHandleCloses() const;

    struct State;  // the world, shared by the seam implementations

  private:
    std::unique_ptr<State> state_;
};

}  // namespace spoolsweep::sim
