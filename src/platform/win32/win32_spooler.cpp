// The print spooler seam over winspool.drv, whose entries come from the library loaded from the system
// folder; with the library missing, every call fails with the load error.
#include <cstring>
#include <cwchar>
#include <deque>
#include <vector>

#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_seams.h"
#include "platform/win32/windows_api.h"
#include "platform/win32/winspool_library.h"

namespace spoolsweep::win32 {
namespace {

// The package calls report an HRESULT; a Win32 failure wrapped in one is given back as its plain code.
Status StatusOf(HRESULT hr) {
    if (SUCCEEDED(hr)) {
        return {};
    }
    return {HRESULT_FACILITY(hr) == FACILITY_WIN32 ? static_cast<std::uint32_t>(HRESULT_CODE(hr))
                                                   : static_cast<std::uint32_t>(hr)};
}

std::optional<std::u16string> OptionalText(const wchar_t* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    return FromWide(text);
}

// Storage for one data call: exactly the size the caller asks for, none for 0.
class EnumBuffer {
  public:
    explicit EnumBuffer(std::uint32_t bytes) : bytes_(bytes) {}
    [[nodiscard]] BYTE* data() { return bytes_.empty() ? nullptr : bytes_.data(); }
    template <class Info>
    [[nodiscard]] const Info* as() const {
        return reinterpret_cast<const Info*>(bytes_.data());
    }

  private:
    std::vector<BYTE> bytes_;
};

template <class Entry>
EnumResult<Entry> Outcome(BOOL ok, DWORD needed) {
    EnumResult<Entry> result;
    result.ok = ok != FALSE;
    result.error = ErrorAfter(result.ok);
    result.bytesNeeded = needed;
    return result;
}

HANDLE AsPrinter(Handle printer) {
    return FromPortable<HANDLE>(printer);
}

std::optional<std::vector<std::uint8_t>> OptionalBytes(const void* data, std::size_t size) {
    if (data == nullptr) {
        return std::nullopt;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

PrinterDefinition DefinitionOf(const PRINTER_INFO_2W& info) {
    PrinterDefinition printer{info.pPrinterName == nullptr ? u"" : FromWide(info.pPrinterName),
                              OptionalText(info.pShareName),
                              OptionalText(info.pDriverName),
                              {}};
    PrinterSettings& settings = printer.settings;
    settings.port = OptionalText(info.pPortName);
    settings.comment = OptionalText(info.pComment);
    settings.location = OptionalText(info.pLocation);
    settings.sepFile = OptionalText(info.pSepFile);
    settings.printProcessor = OptionalText(info.pPrintProcessor);
    settings.datatype = OptionalText(info.pDatatype);
    settings.parameters = OptionalText(info.pParameters);
    settings.attributes = info.Attributes;
    settings.priority = info.Priority;
    settings.defaultPriority = info.DefaultPriority;
    settings.startTime = info.StartTime;
    settings.untilTime = info.UntilTime;
    const DEVMODEW* devMode = info.pDevMode;
    settings.devMode = OptionalBytes(
        devMode, devMode == nullptr ? 0 : std::size_t{devMode->dmSize} + devMode->dmDriverExtra);
    PSECURITY_DESCRIPTOR security = info.pSecurityDescriptor;
    settings.securityDescriptor =
        OptionalBytes(security, security == nullptr ? 0 : ::GetSecurityDescriptorLength(security));
    return printer;
}

// Wide copies of a definition's texts, alive as long as the PRINTER_INFO_2W that points into them.
class WideTexts {
  public:
    LPWSTR operator()(const std::optional<std::u16string>& text) {
        if (!text) {
            return nullptr;
        }
        return texts_.emplace_back(Wide(*text)).data();
    }

  private:
    std::deque<std::wstring> texts_;
};

std::u16string TextOrEmpty(const wchar_t* text) {
    return text == nullptr ? std::u16string() : FromWide(text);
}

// A list of names in one run of null-terminated strings, ended by an empty one.
std::vector<std::u16string> MultiText(const wchar_t* texts) {
    std::vector<std::u16string> list;
    for (; texts != nullptr && *texts != L'\0'; texts += std::wcslen(texts) + 1) {
        list.push_back(FromWide(texts));
    }
    return list;
}

std::wstring MultiWide(const std::vector<std::u16string>& list) {
    std::wstring texts;
    for (const std::u16string& text : list) {
        texts.append(Wide(text)).push_back(L'\0');
    }
    texts.push_back(L'\0');
    return texts;
}

std::uint64_t Wide64(std::uint32_t high, std::uint32_t low) {
    return (std::uint64_t{high} << 32) | low;
}

DriverDefinition DriverOf(const DRIVER_INFO_6W& info) {
    return {TextOrEmpty(info.pName),
            TextOrEmpty(info.pEnvironment),
            TextOrEmpty(info.pDataFile),
            {info.cVersion, TextOrEmpty(info.pDriverPath), TextOrEmpty(info.pConfigFile),
             TextOrEmpty(info.pHelpFile), MultiText(info.pDependentFiles), TextOrEmpty(info.pMonitorName),
             TextOrEmpty(info.pDefaultDataType), MultiText(info.pszzPreviousNames),
             Wide64(info.ftDriverDate.dwHighDateTime, info.ftDriverDate.dwLowDateTime), info.dwlDriverVersion,
             TextOrEmpty(info.pszMfgName), TextOrEmpty(info.pszOEMUrl), TextOrEmpty(info.pszHardwareID),
             TextOrEmpty(info.pszProvider)}};
}

// One data call of an enumeration, made by `call(spool, buffer, &needed, &returned)`; each record of type
// Info becomes an entry through `convert`.
template <class Info, class Entry, class Call, class Convert>
EnumResult<Entry> EnumerateRecords(std::uint32_t bufferBytes, Call call, Convert convert) {
    const WinSpoolEntries* spool = WinSpool();
    if (spool == nullptr) {
        return Outcome<Entry>(FALSE, 0);
    }
    EnumBuffer buffer(bufferBytes);
    DWORD needed = 0;
    DWORD returned = 0;
    const BOOL ok = call(*spool, buffer.data(), &needed, &returned);
    auto result = Outcome<Entry>(ok, needed);
    if (result.ok) {
        const auto* info = buffer.as<Info>();
        for (DWORD i = 0; i < returned; ++i) {
            result.entries.push_back(convert(info[i]));
        }
    }
    return result;
}

// EnumPrinterDriversW(NULL, environment, level, ...).
template <class Info, class Entry, class Convert>
EnumResult<Entry> EnumDriversAt(std::u16string_view environment, std::uint32_t bufferBytes, DWORD level,
                                Convert convert) {
    std::wstring env = Wide(environment);
    return EnumerateRecords<Info, Entry>(
        bufferBytes,
        [&](const WinSpoolEntries& spool, BYTE* data, DWORD* needed, DWORD* returned) {
            return spool.enumPrinterDrivers(nullptr, env.data(), level, data, bufferBytes, needed, returned);
        },
        convert);
}

}  // namespace

EnumResult<PrinterInfo> Win32Spooler::EnumPrinters(std::uint32_t flags, std::uint32_t bufferBytes) {
    return EnumerateRecords<PRINTER_INFO_2W, PrinterInfo>(
        bufferBytes,
        [&](const WinSpoolEntries& spool, BYTE* data, DWORD* needed, DWORD* returned) {
            return spool.enumPrinters(flags, nullptr, 2, data, bufferBytes, needed, returned);
        },
        [](const PRINTER_INFO_2W& info) {
            return PrinterInfo{OptionalText(info.pServerName), OptionalText(info.pPrinterName),
                               OptionalText(info.pDriverName), OptionalText(info.pShareName)};
        });
}

EnumResult<DriverInfo> Win32Spooler::EnumPrinterDrivers(std::u16string_view environment,
                                                        std::uint32_t bufferBytes) {
    return EnumDriversAt<DRIVER_INFO_2W, DriverInfo>(
        environment, bufferBytes, 2, [](const DRIVER_INFO_2W& info) {
            return DriverInfo{FromWide(info.pName), FromWide(info.pEnvironment)};
        });
}

EnumResult<DriverDefinition> Win32Spooler::EnumDriverDefinitions(std::u16string_view environment,
                                                                 std::uint32_t bufferBytes) {
    return EnumDriversAt<DRIVER_INFO_6W, DriverDefinition>(environment, bufferBytes, 6, DriverOf);
}

Status Win32Spooler::AddPrinterDriverEx(const DriverDefinition& driver, std::uint32_t copyFlags) {
    const WinSpoolEntries* spool = WinSpool();
    if (spool == nullptr) {
        return {ErrorAfter(false)};
    }
    const DriverDetails& details = driver.details;
    WideTexts wide;
    const auto text = [&](const std::u16string& value) {
        return value.empty() ? nullptr : wide(std::optional(value));
    };
    std::wstring dependent = MultiWide(details.dependentFiles);
    std::wstring previous = MultiWide(details.previousNames);
    DRIVER_INFO_6W info{};
    info.cVersion = details.version;
    info.pName = text(driver.name);
    info.pEnvironment = text(driver.environment);
    info.pDriverPath = text(details.driverPath);
    info.pDataFile = text(driver.dataFile);
    info.pConfigFile = text(details.configFile);
    info.pHelpFile = text(details.helpFile);
    info.pDependentFiles = dependent.data();
    info.pMonitorName = text(details.monitor);
    info.pDefaultDataType = text(details.defaultDataType);
    info.pszzPreviousNames = previous.data();
    info.ftDriverDate = {static_cast<DWORD>(details.date), static_cast<DWORD>(details.date >> 32)};
    info.dwlDriverVersion = details.driverVersion;
    info.pszMfgName = text(details.manufacturer);
    info.pszOEMUrl = text(details.oemUrl);
    info.pszHardwareID = text(details.hardwareId);
    info.pszProvider = text(details.provider);
    return {ErrorAfter(spool->addPrinterDriverEx(nullptr, 6, reinterpret_cast<BYTE*>(&info), copyFlags) !=
                       FALSE)};
}

HandleResult Win32Spooler::OpenPrinter(std::u16string_view name, std::uint32_t access) {
    const WinSpoolEntries* spool = WinSpool();
    if (spool == nullptr) {
        return {0, ErrorAfter(false)};
    }
    std::wstring printerName = Wide(name);
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    HANDLE printer = nullptr;
    // No printer name opens the local print server, as NULL does.
    BOOL ok = spool->openPrinter(name.empty() ? nullptr : printerName.data(), &printer, &defaults);
    return {ok ? ToPortable(printer) : 0, ErrorAfter(ok != FALSE)};
}

void Win32Spooler::ClosePrinter(Handle printer) {
    unique_printer owner(AsPrinter(printer));
}

EnumResult<std::uint32_t> Win32Spooler::EnumJobs(Handle printer, std::uint32_t firstJob, std::uint32_t count,
                                                 std::uint32_t bufferBytes) {
    return EnumerateRecords<JOB_INFO_3, std::uint32_t>(
        bufferBytes,
        [&](const WinSpoolEntries& spool, BYTE* data, DWORD* needed, DWORD* returned) {
            return spool.enumJobs(AsPrinter(printer), firstJob, count, 3, data, bufferBytes, needed,
                                  returned);
        },
        [](const JOB_INFO_3& info) { return std::uint32_t{info.JobId}; });
}

EnumResult<FormInfo> Win32Spooler::EnumForms(Handle printer, std::uint32_t bufferBytes) {
    return EnumerateRecords<FORM_INFO_1W, FormInfo>(
        bufferBytes,
        [&](const WinSpoolEntries& spool, BYTE* data, DWORD* needed, DWORD* returned) {
            return spool.enumForms(AsPrinter(printer), 1, data, bufferBytes, needed, returned);
        },
        [](const FORM_INFO_1W& form) {
            return FormInfo{form.Flags,
                            FromWide(form.pName),
                            form.Size.cx,
                            form.Size.cy,
                            form.ImageableArea.left,
                            form.ImageableArea.top,
                            form.ImageableArea.right,
                            form.ImageableArea.bottom};
        });
}

EnumResult<PortInfo> Win32Spooler::ListPorts(std::uint32_t bufferBytes) {
    if (const WinSpoolEntries* spool = WinSpool(); spool != nullptr && spool->enumPorts == nullptr) {
        return {false, ERROR_PROC_NOT_FOUND, 0, {}};
    }
    return EnumerateRecords<PORT_INFO_2W, PortInfo>(
        bufferBytes,
        [&](const WinSpoolEntries& spool, BYTE* data, DWORD* needed, DWORD* returned) {
            return spool.enumPorts(nullptr, 2, data, bufferBytes, needed, returned);
        },
        [](const PORT_INFO_2W& port) {
            return PortInfo{FromWide(port.pPortName), OptionalText(port.pMonitorName).value_or(u"")};
        });
}

Status Win32Spooler::AddLocalPort(std::u16string_view port) {
    if (const WinSpoolEntries* spool = WinSpool(); spool != nullptr && spool->xcvData == nullptr) {
        return {ERROR_PROC_NOT_FOUND};
    }
    const HandleResult xcv = OpenPrinter(u",XcvMonitor Local Port", SERVER_ACCESS_ADMINISTER);
    if (xcv.error != 0) {
        return {xcv.error};
    }
    const unique_printer monitor(AsPrinter(xcv.handle));
    std::wstring name = Wide(port);
    DWORD needed = 0;
    DWORD status = 0;
    // The port's name with its terminator is the command's input; the monitor's own answer is the status.
    const BOOL sent = WinSpool()->xcvData(monitor.get(), L"AddPort", reinterpret_cast<BYTE*>(name.data()),
                                          static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)), nullptr, 0,
                                          &needed, &status);
    return {sent == FALSE ? ErrorAfter(false) : status};
}

Status Win32Spooler::DeletePrinter(Handle printer) {
    const WinSpoolEntries* spool = WinSpool();
    return {ErrorAfter(spool != nullptr && spool->deletePrinter(AsPrinter(printer)) != FALSE)};
}

Status Win32Spooler::DeletePrinterConnection(std::u16string_view name) {
    const WinSpoolEntries* spool = WinSpool();
    std::wstring printerName = Wide(name);
    return {ErrorAfter(spool != nullptr && spool->deletePrinterConnection(printerName.data()) != FALSE)};
}

Status Win32Spooler::AddPrinterConnection(std::u16string_view name) {
    const WinSpoolEntries* spool = WinSpool();
    std::wstring printerName = Wide(name);
    const bool added = spool != nullptr && spool->addPrinterConnection(printerName.data()) != FALSE;
    const std::uint32_t error = ErrorAfter(added);
    // Wine's AddPrinterConnectionW fails without setting an error.
    return {added || error != 0 ? error : static_cast<std::uint32_t>(ERROR_NOT_SUPPORTED)};
}

Status Win32Spooler::DeleteForm(Handle printer, std::u16string_view formName) {
    const WinSpoolEntries* spool = WinSpool();
    std::wstring form = Wide(formName);
    return {ErrorAfter(spool != nullptr && spool->deleteForm(AsPrinter(printer), form.data()) != FALSE)};
}

Status Win32Spooler::AddForm(Handle printer, const FormInfo& form) {
    const WinSpoolEntries* spool = WinSpool();
    std::wstring name = Wide(form.name);
    FORM_INFO_1W info{
        form.flags, name.data(), {form.width, form.height}, {form.left, form.top, form.right, form.bottom}};
    return {ErrorAfter(spool != nullptr &&
                       spool->addForm(AsPrinter(printer), 1, reinterpret_cast<BYTE*>(&info)) != FALSE)};
}

Status Win32Spooler::DeletePrinterDriverEx(std::u16string_view environment, std::u16string_view driver,
                                           std::uint32_t deleteFlags, std::uint32_t version) {
    const WinSpoolEntries* spool = WinSpool();
    std::wstring env = Wide(environment);
    std::wstring name = Wide(driver);
    return {ErrorAfter(spool != nullptr && spool->deletePrinterDriverEx(nullptr, env.data(), name.data(),
                                                                        deleteFlags, version) != FALSE)};
}

bool Win32Spooler::CanDeletePrinterDriverPackage() {
    const WinSpoolEntries* spool = WinSpool();
    return spool != nullptr && spool->deletePrinterDriverPackage != nullptr;
}

Status Win32Spooler::DeletePrinterDriverPackage(std::u16string_view infPath,
                                                std::u16string_view environment) {
    const WinSpoolEntries* spool = WinSpool();
    if (spool == nullptr) {
        return {ErrorAfter(false)};
    }
    if (spool->deletePrinterDriverPackage == nullptr) {
        return {ERROR_PROC_NOT_FOUND};
    }
    std::wstring inf = Wide(infPath);
    std::wstring env = Wide(environment);
    return StatusOf(spool->deletePrinterDriverPackage(nullptr, inf.c_str(), env.c_str()));
}

Status Win32Spooler::UploadDriverPackage(std::u16string_view infPath, std::u16string_view environment) {
    const WinSpoolEntries* spool = WinSpool();
    if (spool == nullptr) {
        return {ErrorAfter(false)};
    }
    if (spool->uploadPrinterDriverPackage == nullptr) {
        return {ERROR_PROC_NOT_FOUND};
    }
    std::wstring inf = Wide(infPath);
    std::wstring env = Wide(environment);
    // Where the store put it is not needed: the driver's own INF path names it again once it is installed.
    wchar_t stored[MAX_PATH] = {};
    ULONG storedChars = MAX_PATH;
    constexpr DWORD kSilentUpload = 0x1;  // UPDP_SILENT_UPLOAD: fail rather than show a window
    return StatusOf(spool->uploadPrinterDriverPackage(nullptr, inf.c_str(), env.c_str(), kSilentUpload,
                                                      nullptr, stored, &storedChars));
}

PrinterDefinitionResult Win32Spooler::GetPrinter(Handle printer) {
    const WinSpoolEntries* spool = WinSpool();
    if (spool == nullptr) {
        return {ErrorAfter(false), {}};
    }
    // The definition can grow between the two calls (a driver rewriting its DEVMODE): asked again then.
    DWORD needed = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        EnumBuffer buffer(needed);
        const BOOL ok = spool->getPrinter(AsPrinter(printer), 2, buffer.data(), needed, &needed);
        const DWORD error = ErrorAfter(ok != FALSE);
        if (ok != FALSE) {
            return {0, DefinitionOf(*buffer.as<PRINTER_INFO_2W>())};
        }
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            return {error, {}};
        }
    }
    return {ERROR_INSUFFICIENT_BUFFER, {}};
}

HandleResult Win32Spooler::AddPrinter(const PrinterDefinition& printer) {
    const WinSpoolEntries* spool = WinSpool();
    if (spool == nullptr) {
        return {0, ErrorAfter(false)};
    }
    const PrinterSettings& settings = printer.settings;
    WideTexts wide;
    PRINTER_INFO_2W info{};
    info.pPrinterName = wide(printer.name);
    info.pShareName = wide(printer.share);
    info.pDriverName = wide(printer.driver);
    info.pPortName = wide(settings.port);
    info.pComment = wide(settings.comment);
    info.pLocation = wide(settings.location);
    info.pSepFile = wide(settings.sepFile);
    info.pPrintProcessor = wide(settings.printProcessor);
    info.pDatatype = wide(settings.datatype);
    info.pParameters = wide(settings.parameters);
    info.Attributes = settings.attributes;
    info.Priority = settings.priority;
    info.DefaultPriority = settings.defaultPriority;
    info.StartTime = settings.startTime;
    info.UntilTime = settings.untilTime;
    // Copies the spooler may read but never writes; the DEVMODE aligned as its type needs.
    std::vector<DEVMODEW> devMode;
    if (settings.devMode) {
        devMode.resize((settings.devMode->size() + sizeof(DEVMODEW) - 1) / sizeof(DEVMODEW));
        std::memcpy(devMode.data(), settings.devMode->data(), settings.devMode->size());
        info.pDevMode = devMode.data();
    }
    std::vector<std::uint8_t> security;
    if (settings.securityDescriptor) {
        security = *settings.securityDescriptor;
        info.pSecurityDescriptor = security.data();
    }
    HANDLE added = spool->addPrinter(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    return {added != nullptr ? ToPortable(added) : 0, ErrorAfter(added != nullptr)};
}

Status Win32Spooler::SetPrinterDataEx(Handle printer, std::u16string_view key, std::u16string_view value,
                                      std::uint32_t type, const std::vector<std::uint8_t>& data) {
    const WinSpoolEntries* spool = WinSpool();
    if (spool == nullptr) {
        return {ErrorAfter(false)};
    }
    const std::wstring keyName = Wide(key);
    const std::wstring valueName = Wide(value);
    std::vector<BYTE> bytes(data.begin(), data.end());
    return {spool->setPrinterDataEx(AsPrinter(printer), keyName.c_str(), valueName.c_str(), type,
                                    bytes.empty() ? nullptr : bytes.data(),
                                    static_cast<DWORD>(bytes.size()))};
}

DefaultPrinterResult Win32Spooler::GetDefaultPrinter(std::uint32_t bufferChars) {
    DefaultPrinterResult result;
    const WinSpoolEntries* spool = WinSpool();
    if (spool == nullptr || spool->getDefaultPrinter == nullptr) {
        result.error = spool == nullptr ? ErrorAfter(false) : ERROR_PROC_NOT_FOUND;
        return result;
    }
    std::vector<wchar_t> buffer(bufferChars);
    DWORD chars = bufferChars;
    result.ok = spool->getDefaultPrinter(buffer.empty() ? nullptr : buffer.data(), &chars) != FALSE;
    result.error = ErrorAfter(result.ok);
    result.charsNeeded = chars;
    if (result.ok) {
        result.name = FromWide(buffer.data());
    }
    return result;
}

}  // namespace spoolsweep::win32
