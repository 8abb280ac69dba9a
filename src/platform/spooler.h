#pragma once
// The Windows print spooler as the program uses it: wide-character calls on the local machine.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/results.h"

namespace spoolsweep {

inline constexpr std::uint32_t kPrinterEnumLocal = 0x2;
inline constexpr std::uint32_t kPrinterEnumConnections = 0x4;
inline constexpr std::uint32_t kPrinterAllAccess = 0x000F000C;
inline constexpr std::uint32_t kPrinterAccessUse = 0x8;
// The local print server's right to list what it holds (its forms among them).
inline constexpr std::uint32_t kServerAccessEnumerate = 0x2;
inline constexpr std::uint32_t kServerAccessAdminister = 0x1;
inline constexpr std::uint32_t kDpdDeleteUnusedFiles = 0x1;
inline constexpr std::uint32_t kFormUser = 0;
inline constexpr std::uint32_t kFormBuiltin = 1;
inline constexpr std::uint32_t kFormPrinter = 2;
// AddPrinterDriverExW: a file is copied only over an older one, and from the full path the definition gives.
inline constexpr std::uint32_t kApdCopyNewFiles = 0x8;
inline constexpr std::uint32_t kApdCopyFromDirectory = 0x10;

// The PRINTER_INFO_2 members the program reads; a NULL pointer from the spooler is an absent string.
struct PrinterInfo {
    std::optional<std::u16string> serverName;
    std::optional<std::u16string> printerName;
    std::optional<std::u16string> driverName;
    std::optional<std::u16string> shareName;
};

// The PRINTER_INFO_2 members beyond the name, share and driver, as GetPrinterW gives them and AddPrinterW
// takes them back. A NULL pointer stays absent; the DEVMODE is its bytes (dmSize + dmDriverExtra), the
// security descriptor its self-relative form. A printer made without them has what the spooler gives a new
// queue.
struct PrinterSettings {
    std::optional<std::u16string> port = u"LPT1:";
    std::optional<std::u16string> comment, location, sepFile;
    std::optional<std::u16string> printProcessor = u"winprint";
    std::optional<std::u16string> datatype = u"RAW";
    std::optional<std::u16string> parameters;
    std::uint32_t attributes = 0, priority = 1, defaultPriority = 0, startTime = 0, untilTime = 0;
    std::optional<std::vector<std::uint8_t>> devMode, securityDescriptor;
    bool operator==(const PrinterSettings&) const = default;
};

// A local printer's whole level-2 definition.
struct PrinterDefinition {
    std::u16string name;
    std::optional<std::u16string> share, driver;
    PrinterSettings settings;
    bool operator==(const PrinterDefinition&) const = default;
};

struct PrinterDefinitionResult {
    std::uint32_t error = 0;
    PrinterDefinition definition;
};

// DRIVER_INFO_2: name and environment.
struct DriverInfo {
    std::u16string name;
    std::u16string environment;
};

// What DRIVER_INFO_6 holds beside the name, environment and data file. The date is a FILETIME; a NULL
// string is an empty one.
struct DriverDetails {
    std::uint32_t version = 3;
    std::u16string driverPath{}, configFile{}, helpFile{};
    std::vector<std::u16string> dependentFiles{};
    std::u16string monitor{}, defaultDataType{};
    std::vector<std::u16string> previousNames{};
    std::uint64_t date = 0, driverVersion = 0;
    std::u16string manufacturer{}, oemUrl{}, hardwareId{}, provider{};
    bool operator==(const DriverDetails&) const = default;
};

// A driver's whole level-6 definition; its files are full paths.
struct DriverDefinition {
    std::u16string name, environment, dataFile;
    DriverDetails details;
    bool operator==(const DriverDefinition&) const = default;
};

// Each file a driver lists, the driver file first; none empty.
[[nodiscard]] inline std::vector<std::u16string> DriverFilesOf(const DriverDefinition& driver) {
    const DriverDetails& details = driver.details;
    std::vector<std::u16string> files{details.driverPath, driver.dataFile, details.configFile,
                                      details.helpFile};
    files.insert(files.end(), details.dependentFiles.begin(), details.dependentFiles.end());
    std::erase(files, std::u16string());
    return files;
}

// The definition with each file named as in `folder` ("<folder>\<name>"), or by its name alone when `folder`
// is empty.
[[nodiscard]] inline DriverDefinition WithFilesIn(DriverDefinition driver, std::u16string_view folder) {
    const auto rename = [&](std::u16string& file) {
        if (!file.empty()) {
            file = (folder.empty() ? std::u16string() : std::u16string(folder) + u"\\") +
                   file.substr(file.rfind(u'\\') + 1);
        }
    };
    DriverDetails& details = driver.details;
    for (std::u16string* file :
         {&driver.dataFile, &details.driverPath, &details.configFile, &details.helpFile}) {
        rename(*file);
    }
    for (std::u16string& file : details.dependentFiles) {
        rename(file);
    }
    return driver;
}

// FORM_INFO_1: flags, name, paper size and imageable area, in thousandths of a millimetre.
struct FormInfo {
    std::uint32_t flags = 0;
    std::u16string name;
    std::int32_t width = 0, height = 0;
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// PORT_INFO_2: the port's name and the monitor that serves it ("Local Port", "Standard TCP/IP Port", ...).
struct PortInfo {
    std::u16string name, monitor;
};

// GetDefaultPrinterW (ordinal 203): with bufferChars too small it fails and reports charsNeeded
// (terminator included).
struct DefaultPrinterResult {
    bool ok = false;
    std::uint32_t error = 0;
    std::uint32_t charsNeeded = 0;
    std::u16string name;
};

class Spooler {
  public:
    virtual ~Spooler() = default;

    // EnumPrintersW(flags, NULL, 2, buffer, bufferBytes, ...).
    [[nodiscard]] virtual EnumResult<PrinterInfo> EnumPrinters(std::uint32_t flags,
                                                               std::uint32_t bufferBytes) = 0;
    // EnumPrinterDriversW(NULL, environment, 2, buffer, bufferBytes, ...).
    [[nodiscard]] virtual EnumResult<DriverInfo> EnumPrinterDrivers(std::u16string_view environment,
                                                                    std::uint32_t bufferBytes) = 0;
    // EnumPrinterDriversW(NULL, environment, 6, buffer, bufferBytes, ...).
    [[nodiscard]] virtual EnumResult<DriverDefinition> EnumDriverDefinitions(std::u16string_view environment,
                                                                             std::uint32_t bufferBytes) = 0;
    // AddPrinterDriverExW(NULL, 6, DRIVER_INFO_6, copyFlags): the spooler copies each file into its own
    // driver folder; with kApdCopyFromDirectory from the full path given, else from its driver directory.
    [[nodiscard]] virtual Status AddPrinterDriverEx(const DriverDefinition& driver,
                                                    std::uint32_t copyFlags) = 0;
    // OpenPrinterW(name, &handle, {NULL, NULL, access}); an empty name is passed as NULL: the local print
    // server.
    [[nodiscard]] virtual HandleResult OpenPrinter(std::u16string_view name, std::uint32_t access) = 0;
    virtual void ClosePrinter(Handle printer) = 0;
    // EnumJobsW(printer, firstJob, count, 3, ...): entries are job ids.
    [[nodiscard]] virtual EnumResult<std::uint32_t> EnumJobs(Handle printer, std::uint32_t firstJob,
                                                             std::uint32_t count,
                                                             std::uint32_t bufferBytes) = 0;
    // EnumFormsW(printer, 1, ...).
    [[nodiscard]] virtual EnumResult<FormInfo> EnumForms(Handle printer, std::uint32_t bufferBytes) = 0;
    // EnumPortsW(NULL, 2, ...).
    [[nodiscard]] virtual EnumResult<PortInfo> ListPorts(std::uint32_t bufferBytes) = 0;
    // XcvDataW(",XcvMonitor Local Port" opened to administer, "AddPort", port): a port of the local port
    // monitor (a device such as "LPT3:", or a file's full path) added; one that exists fails.
    [[nodiscard]] virtual Status AddLocalPort(std::u16string_view port) = 0;
    [[nodiscard]] virtual Status DeletePrinter(Handle printer) = 0;
    [[nodiscard]] virtual Status DeletePrinterConnection(std::u16string_view name) = 0;
    // AddPrinterConnectionW("\\\\server\\printer"): a connection to a printer the server shares, with the
    // server's driver for it. A failure always has an error.
    [[nodiscard]] virtual Status AddPrinterConnection(std::u16string_view name) = 0;
    [[nodiscard]] virtual Status DeleteForm(Handle printer, std::u16string_view formName) = 0;
    // AddFormW(printer, 1, FORM_INFO_1): a new form; a name that exists fails and the form stays as it was.
    [[nodiscard]] virtual Status AddForm(Handle printer, const FormInfo& form) = 0;
    // DeletePrinterDriverExW(NULL, environment, driver, deleteFlags, version).
    [[nodiscard]] virtual Status DeletePrinterDriverEx(std::u16string_view environment,
                                                       std::u16string_view driver, std::uint32_t deleteFlags,
                                                       std::uint32_t version) = 0;
    // LoadLibraryW("WinSpool.drv") and GetProcAddress("DeletePrinterDriverPackageW") both succeed.
    [[nodiscard]] virtual bool CanDeletePrinterDriverPackage() = 0;
    // DeletePrinterDriverPackageW(NULL, infPath, environment), looked up at run time.
    [[nodiscard]] virtual Status DeletePrinterDriverPackage(std::u16string_view infPath,
                                                            std::u16string_view environment) = 0;
    // UploadPrinterDriverPackageW(NULL, infPath, environment, UPDP_SILENT_UPLOAD, NULL, ...), looked up at
    // run time: the package whose INF is `infPath` copied into the driver store, without any window.
    [[nodiscard]] virtual Status UploadDriverPackage(std::u16string_view infPath,
                                                     std::u16string_view environment) = 0;
    // GetPrinterW(printer, 2, ...) with a buffer of the size its first call asks for.
    [[nodiscard]] virtual PrinterDefinitionResult GetPrinter(Handle printer) = 0;
    // AddPrinterW(NULL, 2, PRINTER_INFO_2): a new local queue, opened. It never replaces a printer of that
    // name (1802); the driver (1797), port (1796) and print processor (1798) must exist.
    [[nodiscard]] virtual HandleResult AddPrinter(const PrinterDefinition& printer) = 0;
    // SetPrinterDataExW(printer, key, value, type, data): printer data under a key of the printer (subkeys
    // named "a\\b"), the key made when missing; the handle needs PRINTER_ACCESS_ADMINISTER.
    [[nodiscard]] virtual Status SetPrinterDataEx(Handle printer, std::u16string_view key,
                                                  std::u16string_view value, std::uint32_t type,
                                                  const std::vector<std::uint8_t>& data) = 0;
    [[nodiscard]] virtual DefaultPrinterResult GetDefaultPrinter(std::uint32_t bufferChars) = 0;
};

using PrinterHandle = UniqueResource<SeamCloser<Spooler, &Spooler::ClosePrinter>>;

}  // namespace spoolsweep
