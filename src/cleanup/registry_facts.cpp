#include "cleanup/registry_facts.h"

#include <algorithm>
#include <cstddef>
#include <optional>

#include "platform/text.h"

namespace spoolsweep {
namespace {

constexpr std::u16string_view kX86DriverKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-3\\%s";
constexpr std::u16string_view kX64DriverKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3\\%s";
constexpr std::u16string_view kPnpDataKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\%s\\PnPData";
constexpr std::u16string_view kDsSpoolerKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\%s\\DsSpooler";
constexpr std::u16string_view kDsDriverKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\%s\\DsDriver";
constexpr std::u16string_view kLanManServers =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\LanMan Print Services\\Servers\\";
constexpr std::u16string_view kClientSideRenderingServers =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\Client Side Rendering Print "
    u"Provider\\Servers\\";
constexpr std::u16string_view kSessionEnvironmentKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// The data as UTF-16 units; an odd last byte belongs to no unit and is left out.
std::u16string WideFromBytes(const std::vector<std::uint8_t>& data, std::size_t byteCount) {
    const std::size_t units = std::min(byteCount, data.size()) / 2;
    std::u16string text(units, u'\0');
    for (std::size_t i = 0; i < units; ++i) {
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    return text;
}

void RemoveTrailingNulls(std::u16string& text) {
    while (!text.empty() && text.back() == u'\0') {
        text.pop_back();
    }
}

}  // namespace

std::u16string ReadRegistryString(Registry& registry, Handle root, std::u16string_view path,
                                  std::u16string_view valueName) {
    return ReadRegistryStringIfReadable(registry, root, path, valueName).value_or(std::u16string());
}

// A missing key or value reads as empty text; any other error means the registry could not be read.
std::optional<std::u16string> ReadRegistryStringIfReadable(Registry& registry, Handle root,
                                                           std::u16string_view path,
                                                           std::u16string_view valueName) {
    constexpr std::uint32_t kNotFound = 2;
    const HandleResult opened = registry.OpenKey(root, path);
    if (opened.error == kNotFound) {
        return std::u16string();
    }
    if (opened.error != 0 || opened.handle == 0) {
        return std::nullopt;
    }
    RegistryKey key(opened.handle, {&registry});
    const ValueResult size = registry.QueryValue(key.get(), valueName, 0);
    if (size.error != 0 && size.error != kNotFound) {
        return std::nullopt;
    }
    if (size.size == 0) {
        return std::u16string();
    }
    const ValueResult value = registry.QueryValue(key.get(), valueName, size.size);
    // A value that changed size between the two calls is not read half.
    if (value.error != 0) {
        return std::u16string();
    }
    std::u16string text = WideFromBytes(value.data, std::min(value.size, size.size));
    RemoveTrailingNulls(text);
    return text;
}

std::u16string ReadMachineString(Registry& registry, std::u16string_view path,
                                 std::u16string_view valueName) {
    return ReadRegistryString(registry, kHkeyLocalMachine, path, valueName);
}

std::u16string ReadUserTempSetting(Registry& registry) {
    return ReadRegistryString(registry, kHkeyCurrentUser, u"Environment", u"Temp");
}

std::u16string GetUserTempPath(Registry& registry) {
    std::u16string setting(UpToNull(ReadUserTempSetting(registry)));
    // A setting, or its expansion, that does not fit the buffer is returned unexpanded and whole: still
    // holding its %variables% it names no folder, so the Temp cleanup finds nothing, where a cut path could
    // name another, existing folder and have its files deleted.
    if (setting.size() >= kTempPathBufferChars) {
        return setting;
    }
    ExpandResult expanded = registry.ExpandEnvironmentStrings(setting, kTempPathBufferChars);
    if (!expanded.expanded) {
        return setting;
    }
    return std::u16string(UpToNull(expanded.text));
}

std::u16string ReadProcessorArchitecture(Registry& registry) {
    return ReadMachineString(registry, kSessionEnvironmentKey, u"PROCESSOR_ARCHITECTURE");
}

std::u16string ReadDriverInfPath(Registry& registry, std::u16string_view driverName) {
    const std::u16string_view pattern =
        ReadProcessorArchitecture(registry) == u"x86" ? kX86DriverKey : kX64DriverKey;
    return ReadMachineString(registry, FormatOne(pattern, driverName), u"InfPath");
}

std::u16string ReadPrinterHardwareId(Registry& registry, std::u16string_view printerName) {
    std::u16string id(
        UpToNull(ReadMachineString(registry, FormatOne(kPnpDataKey, printerName), u"HardwareID")));
    if (const auto slash = id.find(u'\\'); slash != std::u16string::npos) {
        id.erase(0, slash + 1);
    }
    std::replace_if(
        id.begin(), id.end(), [](char16_t unit) { return unit == u'-' || unit == u'&' || unit == u'.'; },
        u'_');
    return id;
}

std::u16string ReadDriverDataFileBase(Registry& registry, std::u16string_view driverName) {
    // Any error reading the architecture or the data file reads as empty text.
    const std::u16string architecture =
        ReadMachineString(registry, kSessionEnvironmentKey, u"PROCESSOR_ARCHITECTURE");
    std::u16string_view pattern;
    if (architecture == u"x86") {
        pattern = kX86DriverKey;
    } else if (architecture == u"AMD64") {
        pattern = kX64DriverKey;
    } else {
        return std::u16string();
    }
    const std::u16string dataFile = ReadMachineString(registry, FormatOne(pattern, driverName), u"Data File");
    const std::u16string_view text = UpToNull(dataFile);
    const auto dot = text.find(u'.');
    if (dot == std::u16string_view::npos) {
        return std::u16string();
    }
    return std::u16string(text.substr(0, dot));
}

std::u16string ReadDsDriverName(Registry& registry, System& system, std::u16string_view printerKeyName,
                                std::u16string_view serverName) {
    std::u16string path;
    if (serverName.empty()) {
        path = FormatOne(kDsSpoolerKey, printerKeyName);
    } else {
        // Connections are recorded by their provider: LanMan before Vista, client-side rendering from Vista
        // on. Both names go in as the caller has them, a server name with its leading "\\" included.
        path = system.OsMajorVersion() < kVistaMajorVersion ? kLanManServers : kClientSideRenderingServers;
        path.append(serverName).append(u"\\Printers\\").append(printerKeyName).append(u"\\PrinterDriverData");
    }
    // Used as a file name: text up to the first null, as for the other facts.
    return std::u16string(UpToNull(ReadMachineString(registry, path, u"driverName")));
}

void ReadDriverFacts(Registry& registry, System& system, PrinterRecord& printer) {
    printer.dataFileBase = ReadDriverDataFileBase(registry, printer.driverName);
    printer.dsDriverName = ReadDsDriverName(registry, system, printer.driverName, printer.serverName);
    if (printer.serverName.empty()) {
        printer.pnpHardwareId = ReadPrinterHardwareId(registry, printer.printerName);
    }
}

void ReadPrintMediaSupported(Registry& registry, std::u16string_view printerName,
                             std::vector<std::u16string>& media) {
    media.clear();
    const std::u16string list =
        ReadMachineString(registry, FormatOne(kDsDriverKey, printerName), u"printMediaSupported");
    std::u16string_view rest = list;
    while (!rest.empty()) {
        const std::u16string_view entry = UpToNull(rest);
        if (entry.empty()) {
            break;  // an empty string ends the list
        }
        media.emplace_back(entry);
        rest.remove_prefix(std::min(rest.size(), entry.size() + 1));
    }
}

}  // namespace spoolsweep
