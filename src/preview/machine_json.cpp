#include "preview/machine_json.h"

#include <charconv>
#include <cstdio>
#include <ctime>

#include "platform/sim/sim_world.h"

namespace spoolsweep::sim {

namespace {

struct RootName {
    const char* name;
    Handle root;
};
constexpr RootName kRoots[] = {{"HKCU", kHkeyCurrentUser}, {"HKLM", kHkeyLocalMachine}, {"HKU", kHkeyUsers}};

struct TypeName {
    const char* name;
    std::uint32_t type;
};
constexpr TypeName kTypes[] = {{"REG_SZ", kRegSz},
                               {"REG_EXPAND_SZ", kRegExpandSz},
                               {"REG_BINARY", kRegBinary},
                               {"REG_DWORD", kRegDword},
                               {"REG_MULTI_SZ", kRegMultiSz}};

struct StateName {
    const char* name;
    ServiceState state;
};
constexpr StateName kStates[] = {{"stopped", ServiceState::Stopped},
                                 {"start-pending", ServiceState::StartPending},
                                 {"stop-pending", ServiceState::StopPending},
                                 {"running", ServiceState::Running},
                                 {"continue-pending", ServiceState::ContinuePending},
                                 {"pause-pending", ServiceState::PausePending},
                                 {"paused", ServiceState::Paused}};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw MachineFileError(where + ": " + what);
}

struct LinkName {
    const char* name;
    LinkKind kind;
};
constexpr LinkName kLinkNames[] = {
    {"symlink", LinkKind::SymbolicLink}, {"junction", LinkKind::Junction}, {"hardlink", LinkKind::HardLink}};

LinkKind LinkKindOf(const std::string& name) {
    for (const LinkName& link : kLinkNames) {
        if (name == link.name) {
            return link.kind;
        }
    }
    Fail("files.link", "expected symlink, junction or hardlink");
}

const char* LinkKindName(LinkKind kind) {
    for (const LinkName& link : kLinkNames) {
        if (link.kind == kind) {
            return link.name;
        }
    }
    return "symlink";
}

std::string Text(const MachineJson& value, const std::string& where) {
    if (!value.is_string()) {
        Fail(where, "expected a string");
    }
    return value.get<std::string>();
}

std::u16string Wide(const MachineJson& value, const std::string& where) {
    return FromUtf8(Text(value, where));
}

template <class Number>
std::vector<Number> Numbers(const MachineJson& value, const std::string& where) {
    if (!value.is_array()) {
        Fail(where, "expected a list of integers");
    }
    std::vector<Number> numbers;
    for (const auto& item : value) {
        if (!item.is_number_integer()) {
            Fail(where, "expected a list of integers");
        }
        numbers.push_back(item.get<Number>());
    }
    return numbers;
}

// An entry of a list that must be an object.
const MachineJson& Entry(const MachineJson& item, const char* list) {
    if (!item.is_object()) {
        Fail(list, "each entry is an object");
    }
    return item;
}

// The object under key, or an empty one when there is none.
const MachineJson& ObjectOf(const MachineJson& file, const char* key) {
    static const MachineJson empty = MachineJson::object();
    auto it = file.find(key);
    if (it == file.end()) {
        return empty;
    }
    if (!it->is_object()) {
        Fail(key, "expected an object");
    }
    return *it;
}

std::string Narrow(std::u16string_view text) {
    return ToUtf8(text);
}

std::u16string WideField(const MachineJson& object, const char* key, const std::string& where,
                         std::u16string fallback = {}) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return fallback;
    }
    return Wide(*it, where + "." + key);
}

// The name of a printer or driver: the spooler keeps each under a registry key of that name, so an empty one
// would stand for the key of them all.
std::u16string NameField(const MachineJson& object, const char* list) {
    std::u16string name = WideField(object, "name", list);
    if (name.empty()) {
        Fail(std::string(list) + ".name", "expected a name that is not empty");
    }
    return name;
}

template <class Number>
Number NumberField(const MachineJson& object, const char* key, const std::string& where, Number fallback) {
    auto it = object.find(key);
    if (it == object.end()) {
        return fallback;
    }
    if (!it->is_number_integer()) {
        Fail(where + "." + key, "expected an integer");
    }
    return it->get<Number>();
}

bool BoolField(const MachineJson& object, const char* key, const std::string& where, bool fallback) {
    auto it = object.find(key);
    if (it == object.end()) {
        return fallback;
    }
    if (!it->is_boolean()) {
        Fail(where + "." + key, "expected true or false");
    }
    return it->get<bool>();
}

const MachineJson& ArrayOf(const MachineJson& file, const char* key) {
    static const MachineJson empty = MachineJson::array();
    auto it = file.find(key);
    if (it == file.end()) {
        return empty;
    }
    if (!it->is_array()) {
        Fail(key, "expected an array");
    }
    return *it;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : bytes) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0xF]);
    }
    return text;
}

std::vector<std::uint8_t> FromHex(const std::string& text, const std::string& where) {
    if (text.size() % 2 != 0) {
        Fail(where, "hex text of odd length");
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        if (std::sscanf(text.substr(i, 2).c_str(), "%2x", &value) != 1) {
            Fail(where, "not hex: " + text.substr(i, 2));
        }
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

// UTF-16LE data holding exactly the strings given, each null-terminated (multi-string: plus a final null).
std::optional<std::vector<std::u16string>> DecodeStrings(const std::vector<std::uint8_t>& data, bool multi) {
    if (data.size() % 2 != 0 || data.size() < 2) {
        return std::nullopt;
    }
    std::u16string units;
    for (std::size_t i = 0; i < data.size(); i += 2) {
        units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    if (units.back() != u'\0') {
        return std::nullopt;
    }
    std::vector<std::u16string> strings;
    if (!multi) {
        units.pop_back();
        if (units.find(u'\0') != std::u16string::npos) {
            return std::nullopt;
        }
        strings.push_back(units);
        return strings;
    }
    if (units.size() < 2 || units[units.size() - 2] != u'\0') {
        return units == std::u16string(1, u'\0') ? std::optional(strings) : std::nullopt;
    }
    units.pop_back();
    std::size_t at = 0;
    while (at < units.size()) {
        std::size_t end = units.find(u'\0', at);
        if (end == at) {
            return std::nullopt;  // an empty string inside would end the list early
        }
        strings.push_back(units.substr(at, end - at));
        at = end + 1;
    }
    return strings;
}

bool IsUtf8(const std::string& text) {
    return ToUtf8(FromUtf8(text)) == text;
}

std::uint32_t ParseType(const MachineJson& type, const std::string& where) {
    if (type.is_number_integer()) {
        return type.get<std::uint32_t>();
    }
    if (type.is_string()) {
        for (const auto& known : kTypes) {
            if (type.get<std::string>() == known.name) {
                return known.type;
            }
        }
    }
    Fail(where, "unknown value type");
}

void LoadValue(SimMachine& machine, Handle root, const std::u16string& key, const std::string& name,
               const MachineJson& entry, const std::string& where) {
    std::u16string valueName = FromUtf8(name);
    if (entry.is_string()) {
        machine.SetString(root, key, valueName, Wide(entry, where));
        return;
    }
    if (!entry.is_object()) {
        Fail(where, "a value is a string or an object with type and data");
    }
    std::uint32_t type = ParseType(entry.value("type", MachineJson("REG_SZ")), where + ".type");
    if (auto hex = entry.find("hex"); hex != entry.end()) {
        machine.SetValue(root, key, valueName, type, FromHex(Text(*hex, where + ".hex"), where + ".hex"));
        return;
    }
    const MachineJson& data = entry.contains("data") ? entry.at("data") : MachineJson("");
    if (type == kRegDword) {
        if (!data.is_number_integer()) {
            Fail(where, "REG_DWORD data is a number");
        }
        auto number = data.get<std::uint32_t>();
        machine.SetValue(root, key, valueName, type,
                         {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                          static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)});
    } else if (type == kRegMultiSz) {
        std::vector<std::u16string> strings;
        for (const auto& item : data) {
            strings.push_back(Wide(item, where + ".data"));
        }
        machine.SetMultiString(root, key, valueName, strings);
    } else if (data.is_string()) {
        machine.SetString(root, key, valueName, FromUtf8(data.get<std::string>()), type);
    } else {
        Fail(where, "data does not suit the type; use \"hex\"");
    }
}

void LoadRegistry(SimMachine& machine, const MachineJson& registry) {
    if (!registry.is_object()) {
        Fail("registry", "expected an object of roots");
    }
    for (const auto& [rootName, keys] : registry.items()) {
        Handle root = 0;
        for (const auto& known : kRoots) {
            root = rootName == known.name ? known.root : root;
        }
        if (root == 0 || !keys.is_object()) {
            Fail("registry." + rootName, "roots are HKCU, HKLM and HKU, each an object of keys");
        }
        for (const auto& [keyPath, values] : keys.items()) {
            std::string where = "registry.";
            where.append(rootName).append(".").append(keyPath);
            std::u16string key = FromUtf8(keyPath);
            machine.CreateKey(root, key);
            if (!values.is_object()) {
                Fail(where, "a key is an object of values");
            }
            for (const auto& [name, entry] : values.items()) {
                LoadValue(machine, root, key, name, entry, std::string(where).append(".").append(name));
            }
        }
    }
}

MachineJson DumpValue(const SimValue& value) {
    if (value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz) {
        if (auto strings = DecodeStrings(value.data, value.type == kRegMultiSz)) {
            if (value.type == kRegSz) {
                return Narrow(strings->front());
            }
            MachineJson entry = {{"type", value.type == kRegExpandSz ? "REG_EXPAND_SZ" : "REG_MULTI_SZ"}};
            if (value.type == kRegExpandSz) {
                entry["data"] = Narrow(strings->front());
            } else {
                entry["data"] = MachineJson::array();
                for (const auto& text : *strings) {
                    entry["data"].push_back(Narrow(text));
                }
            }
            return entry;
        }
    }
    if (value.type == kRegDword && value.data.size() == 4) {
        std::uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                               (static_cast<std::uint32_t>(value.data[3]) << 24);
        return {{"type", "REG_DWORD"}, {"data", number}};
    }
    MachineJson entry;
    entry["type"] = value.type;
    for (const auto& known : kTypes) {
        if (known.type == value.type) {
            entry["type"] = known.name;
        }
    }
    entry["hex"] = Hex(value.data);
    return entry;
}

void DumpKeys(SimMachine& machine, Handle root, const std::u16string& path, MachineJson& keys) {
    for (const auto& child : machine.SubkeyNames(root, path)) {
        std::u16string childPath = path;
        if (!childPath.empty()) {
            childPath.push_back(u'\\');
        }
        childPath += child;
        MachineJson values = MachineJson::object();
        for (const auto& value : machine.Values(root, childPath)) {
            values[Narrow(value.name)] = DumpValue(value);
        }
        keys[Narrow(childPath)] = std::move(values);
        DumpKeys(machine, root, childPath, keys);
    }
}

// The day of the week and of the year of a Gregorian date (timegm is not in every C library).
void FillWeekAndYearDay(std::tm& time) {
    const int year = time.tm_year + 1900;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    constexpr int kDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    time.tm_yday = kDaysBefore[time.tm_mon] + time.tm_mday - 1 + (leap && time.tm_mon > 1 ? 1 : 0);
    // Days since 1 January 1601, a Monday.
    const long long before = year - 1601LL;
    const long long days = before * 365 + before / 4 - before / 100 + before / 400 + time.tm_yday;
    time.tm_wday = static_cast<int>((days + 1) % 7);
}

std::tm ParseTime(const std::string& text) {
    std::tm time{};
    // Field widths keep every number far from overflow; the ranges are those of a calendar and a clock.
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &time.tm_year, &time.tm_mon, &time.tm_mday,
                    &time.tm_hour, &time.tm_min, &time.tm_sec) != 6 ||
        time.tm_year < 1601 || time.tm_mon < 1 || time.tm_mon > 12 || time.tm_mday < 1 || time.tm_mday > 31 ||
        time.tm_hour < 0 || time.tm_hour > 23 || time.tm_min < 0 || time.tm_min > 59 || time.tm_sec < 0 ||
        time.tm_sec > 59) {
        Fail("localTime", "expected \"YYYY-MM-DD hh:mm:ss\"");
    }
    time.tm_year -= 1900;
    time.tm_mon -= 1;
    FillWeekAndYearDay(time);
    return time;
}

std::string FormatTime(const std::tm& time) {
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", time.tm_year + 1900, time.tm_mon + 1,
                  time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec);
    return text;
}

void LoadSystem(SimMachine& machine, const MachineJson& file) {
    if (auto os = file.find("os"); os != file.end()) {
        machine.SetOsVersion(NumberField<std::uint32_t>(*os, "major", "os", 10),
                             NumberField<std::uint32_t>(*os, "minor", "os", 0));
    }
    if (auto time = file.find("localTime"); time != file.end()) {
        machine.SetLocalTime(ParseTime(Text(*time, "localTime")));
    }
    if (file.contains("tickCount")) {
        machine.SetTickCount(NumberField<std::uint32_t>(file, "tickCount", "", 0));
    }
    if (file.contains("currentDirectory")) {
        machine.SetCurrentDirectory(WideField(file, "currentDirectory", ""));
    }
    machine.SetConsoleAttachable(BoolField(file, "consoleAttachable", "", machine.ConsoleAttachable()));
    machine.SetMessageBoxAnswer(NumberField<int>(file, "messageBoxAnswer", "", machine.MessageBoxAnswer()));
    if (auto answers = file.find("messageBoxAnswers"); answers != file.end()) {
        machine.QueueMessageBoxAnswers(Numbers<int>(*answers, "messageBoxAnswers"));
    }
    machine.SetDriverPackageDeletion(
        BoolField(file, "driverPackageDeletion", "", machine.DriverPackageDeletion()));
    machine.SetPrintersReversed(BoolField(file, "printersReversed", "", machine.PrintersReversed()));
    machine.SetDatabaseLockHeldElsewhere(
        BoolField(file, "databaseLockHeldElsewhere", "", machine.DatabaseLockHeldElsewhere()));
    if (file.contains("commandLine")) {
        machine.SetCommandLine(WideField(file, "commandLine", ""));
    }
    for (const auto& [name, value] : ObjectOf(file, "environment").items()) {
        machine.SetEnvironmentVariable(FromUtf8(name), Wide(value, "environment." + name));
    }
    for (const auto& [csidl, path] : ObjectOf(file, "specialFolders").items()) {
        int id = 0;
        const char* end = csidl.data() + csidl.size();
        if (const auto parsed = std::from_chars(csidl.data(), end, id);
            parsed.ec != std::errc() || parsed.ptr != end) {
            Fail("specialFolders." + csidl, "a folder is named by its CSIDL number");
        }
        std::optional<std::u16string> value;
        if (!path.is_null()) {
            value = Wide(path, "specialFolders." + csidl);
        }
        machine.SetSpecialFolder(id, value);
    }
}

constexpr std::pair<const char*, std::optional<std::u16string> PrinterSettings::*> kPrinterTexts[] = {
    {"port", &PrinterSettings::port},
    {"comment", &PrinterSettings::comment},
    {"location", &PrinterSettings::location},
    {"sepFile", &PrinterSettings::sepFile},
    {"printProcessor", &PrinterSettings::printProcessor},
    {"datatype", &PrinterSettings::datatype},
    {"parameters", &PrinterSettings::parameters}};
constexpr std::pair<const char*, std::uint32_t PrinterSettings::*> kPrinterNumbers[] = {
    {"attributes", &PrinterSettings::attributes},
    {"priority", &PrinterSettings::priority},
    {"defaultPriority", &PrinterSettings::defaultPriority},
    {"startTime", &PrinterSettings::startTime},
    {"untilTime", &PrinterSettings::untilTime}};
constexpr std::pair<const char*, std::optional<std::vector<std::uint8_t>> PrinterSettings::*>
    kPrinterBytes[] = {{"devMode", &PrinterSettings::devMode},
                       {"securityDescriptor", &PrinterSettings::securityDescriptor}};

void LoadSpooler(SimMachine& machine, const MachineJson& file) {
    for (const auto& entry : ArrayOf(file, "drivers")) {
        const MachineJson& driver = Entry(entry, "drivers");
        machine.AddDriver({WideField(driver, "environment", "drivers", u"Windows x64"),
                           NameField(driver, "drivers"), WideField(driver, "dataFile", "drivers"),
                           WideField(driver, "infPath", "drivers")});
    }
    for (const auto& entry : ArrayOf(file, "printers")) {
        const MachineJson& item = Entry(entry, "printers");
        SimPrinter printer;
        printer.name = NameField(item, "printers");
        printer.driver = WideField(item, "driver", "printers");
        printer.share = WideField(item, "share", "printers");
        printer.serverName = WideField(item, "server", "printers");
        if (auto jobs = item.find("jobs"); jobs != item.end()) {
            if (jobs->is_number_integer()) {
                // A queue is a list held in memory: a count beyond any real queue is a mistake in the file.
                constexpr std::int64_t kMostJobs = 100000;
                const auto count = jobs->get<std::int64_t>();
                if (count < 0 || count > kMostJobs) {
                    Fail("printers.jobs", "a count from 0 to 100000, or a list of job ids");
                }
                for (std::uint32_t id = 1; id <= count; ++id) {
                    printer.jobs.push_back(id);
                }
            } else {
                printer.jobs = Numbers<std::uint32_t>(*jobs, "printers.jobs");
            }
        }
        printer.pendingDeletion = BoolField(item, "pendingDeletion", "printers", false);
        if (auto script = item.find("scriptedJobCounts"); script != item.end()) {
            printer.scriptedJobCounts = Numbers<std::uint32_t>(*script, "printers.scriptedJobCounts");
        }
        ReadPrinterSettings(ObjectOf(item, "settings"), "printers.settings", printer.settings);
        machine.AddPrinter(printer);
    }
    for (const auto& form : ArrayOf(file, "forms")) {
        if (form.is_string()) {
            machine.AddForm({Wide(form, "forms"), kFormUser});
        } else {
            machine.AddForm({WideField(Entry(form, "forms"), "name", "forms"),
                             NumberField<std::uint32_t>(form, "flags", "forms", 0)});
        }
    }
    if (auto printer = file.find("defaultPrinter"); printer != file.end()) {
        machine.SetDefaultPrinter(printer->is_null() ? u"" : Wide(*printer, "defaultPrinter"));
    }
}

void LoadFiles(SimMachine& machine, const MachineJson& file) {
    for (const auto& folder : ArrayOf(file, "folders")) {
        if (folder.is_string()) {
            machine.CreateFolder(Wide(folder, "folders"));
            continue;
        }
        std::u16string path = WideField(Entry(folder, "folders"), "path", "folders");
        machine.CreateFolder(path);
        if (folder.contains("attributes")) {
            machine.SetPathAttributes(path,
                                      NumberField<std::uint32_t>(folder, "attributes", "folders", 0x10));
        }
        machine.SetFolderWritable(path, BoolField(folder, "writable", "folders", true));
    }
    std::vector<const MachineJson*> links;
    for (const auto& entry : ArrayOf(file, "files")) {
        const MachineJson& item = Entry(entry, "files");
        std::u16string path = WideField(item, "path", "files");
        if (item.contains("link")) {
            links.push_back(&item);
            continue;
        }
        std::string contents;
        if (auto text = item.find("contents"); text != item.end()) {
            contents = Text(*text, "files.contents");
        }
        if (auto hex = item.find("contentsHex"); hex != item.end()) {
            auto bytes = FromHex(Text(*hex, "files.contentsHex"), "files.contentsHex");
            contents.assign(bytes.begin(), bytes.end());
        }
        machine.WriteFile(path, contents, NumberField<std::uint32_t>(item, "attributes", "files", 0x20));
    }
    // Links last: whether a symbolic link names a folder, and what a hard link shares, is its target's.
    for (const MachineJson* item : links) {
        const std::u16string path = WideField(*item, "path", "files");
        machine.AddLink(path, WideField(*item, "target", "files"),
                        LinkKindOf(Text(item->at("link"), "files.link")));
        if (item->contains("attributes")) {
            machine.SetPathAttributes(path, NumberField<std::uint32_t>(*item, "attributes", "files", 0));
        }
    }
}

void LoadServicesAndProcesses(SimMachine& machine, const MachineJson& file) {
    for (const auto& entry : ArrayOf(file, "services")) {
        const MachineJson& item = Entry(entry, "services");
        SimService service;
        service.name = WideField(item, "name", "services");
        if (auto state = item.find("state"); state != item.end()) {
            bool known = false;
            for (const auto& entry : kStates) {
                if (state->is_string() && state->get<std::string>() == entry.name) {
                    service.state = entry.state;
                    known = true;
                }
            }
            if (!known) {
                Fail("services.state", "one of stopped, start-pending, stop-pending, running, paused");
            }
        }
        if (auto dependents = item.find("dependents"); dependents != item.end()) {
            for (const auto& dependent : *dependents) {
                service.dependents.push_back(Wide(dependent, "services.dependents"));
            }
        }
        service.pendingMs = NumberField<std::uint32_t>(item, "pendingMs", "services", service.pendingMs);
        service.staysStopPending = BoolField(item, "staysStopPending", "services", false);
        service.refusesControl = BoolField(item, "refusesControl", "services", false);
        service.pendingSince = NumberField<std::uint32_t>(item, "pendingSince", "services", machine.Now());
        machine.AddService(service);
    }
    for (const auto& item : ArrayOf(file, "processes")) {
        SimProcess process;
        if (item.is_string()) {
            process.exeFile = Wide(item, "processes");
        } else {
            process.exeFile = WideField(Entry(item, "processes"), "exe", "processes");
            process.processId = NumberField<std::uint32_t>(item, "pid", "processes", 0);
            process.running = BoolField(item, "running", "processes", true);
            process.exitCode = NumberField<std::uint32_t>(item, "exitCode", "processes", kStillActive);
        }
        (void)machine.AddProcessRecord(process);
    }
}

MachineJson DumpSystem(SimMachine& machine) {
    MachineJson out;
    out["os"] = {{"major", machine.OsMajorVersion()}, {"minor", machine.OsMinorVersion()}};
    out["architecture"] = machine.NativeArchitecture();
    out["localTime"] = FormatTime(machine.LocalTime());
    out["tickCount"] = machine.Now();
    out["currentDirectory"] = Narrow(machine.CurrentDirectory());
    out["consoleAttachable"] = machine.ConsoleAttachable();
    out["messageBoxAnswer"] = machine.MessageBoxAnswer();
    out["messageBoxAnswers"] = machine.QueuedMessageBoxAnswers();
    out["commandLine"] = Narrow(machine.CommandLine());
    out["driverPackageDeletion"] = machine.DriverPackageDeletion();
    out["printersReversed"] = machine.PrintersReversed();
    out["databaseLockHeldElsewhere"] = machine.DatabaseLockHeldElsewhere();
    MachineJson environment = MachineJson::object();
    for (const auto& [name, value] : machine.EnvironmentVariables()) {
        environment[Narrow(name)] = Narrow(value);
    }
    out["environment"] = std::move(environment);
    MachineJson folders = MachineJson::object();
    for (const auto& [csidl, path] : machine.SpecialFolders()) {
        folders[std::to_string(csidl)] = path ? MachineJson(Narrow(*path)) : MachineJson(nullptr);
    }
    out["specialFolders"] = std::move(folders);
    return out;
}

void DumpSpooler(SimMachine& machine, MachineJson& out) {
    out["drivers"] = MachineJson::array();
    for (const auto& driver : machine.Drivers()) {
        out["drivers"].push_back({{"environment", Narrow(driver.environment)},
                                  {"name", Narrow(driver.name)},
                                  {"dataFile", Narrow(driver.dataFile)},
                                  {"infPath", Narrow(driver.infPath)}});
    }
    out["printers"] = MachineJson::array();
    for (const auto& printer : machine.Printers()) {
        MachineJson item = {{"name", Narrow(printer.name)}, {"driver", Narrow(printer.driver)}};
        if (!printer.share.empty()) {
            item["share"] = Narrow(printer.share);
        }
        if (!printer.serverName.empty()) {
            item["server"] = Narrow(printer.serverName);
        }
        if (!printer.jobs.empty()) {
            item["jobs"] = printer.jobs;
        }
        if (!printer.scriptedJobCounts.empty()) {
            item["scriptedJobCounts"] = printer.scriptedJobCounts;
        }
        if (printer.pendingDeletion) {
            item["pendingDeletion"] = true;
        }
        if (printer.settings != PrinterSettings{}) {
            item["settings"] = PrinterSettingsJson(printer.settings);
        }
        out["printers"].push_back(std::move(item));
    }
    out["forms"] = MachineJson::array();
    for (const auto& form : machine.Forms()) {
        out["forms"].push_back({{"name", Narrow(form.name)}, {"flags", form.flags}});
    }
    auto defaultPrinter = machine.DefaultPrinter();
    out["defaultPrinter"] = defaultPrinter ? MachineJson(Narrow(*defaultPrinter)) : MachineJson(nullptr);
}

void DumpFiles(SimMachine& machine, MachineJson& out) {
    out["folders"] = MachineJson::array();
    out["files"] = MachineJson::array();
    for (const auto& path : machine.AllPaths()) {
        if (const auto link = machine.LinkAt(path)) {
            MachineJson item = {
                {"path", Narrow(path)}, {"link", LinkKindName(link->kind)}, {"target", Narrow(link->target)}};
            // A hard link whose other name is not in the machine holds the file's attributes itself.
            const std::uint32_t attributes = machine.Attributes(path).value_or(kFileAttributeNormal);
            if (link->kind == LinkKind::HardLink && attributes != kFileAttributeNormal) {
                item["attributes"] = attributes;
            }
            out["files"].push_back(std::move(item));
            continue;
        }
        std::uint32_t attributes = machine.Attributes(path).value_or(0);
        if (machine.FolderExists(path)) {
            bool writable = machine.FolderWritable(path);
            if (writable && attributes == kFileAttributeDirectory) {
                out["folders"].push_back(Narrow(path));
            } else {
                out["folders"].push_back(
                    {{"path", Narrow(path)}, {"attributes", attributes}, {"writable", writable}});
            }
            continue;
        }
        MachineJson item = {{"path", Narrow(path)}};
        std::string contents = machine.ReadFile(path).value_or("");
        if (IsUtf8(contents)) {
            item["contents"] = contents;
        } else {
            item["contentsHex"] = Hex(std::vector<std::uint8_t>(contents.begin(), contents.end()));
        }
        if (attributes != kFileAttributeArchive) {
            item["attributes"] = attributes == kFileAttributeNormal ? 0 : attributes;
        }
        out["files"].push_back(std::move(item));
    }
}

void DumpServicesAndProcesses(SimMachine& machine, MachineJson& out) {
    out["services"] = MachineJson::array();
    for (const auto& service : machine.AllServices()) {
        MachineJson item = {{"name", Narrow(service.name)}};
        for (const auto& entry : kStates) {
            if (entry.state == service.state) {
                item["state"] = entry.name;
            }
        }
        MachineJson dependents = MachineJson::array();
        for (const auto& dependent : service.dependents) {
            dependents.push_back(Narrow(dependent));
        }
        item["dependents"] = std::move(dependents);
        item["pendingMs"] = service.pendingMs;
        item["staysStopPending"] = service.staysStopPending;
        item["refusesControl"] = service.refusesControl;
        item["pendingSince"] = service.pendingSince;
        out["services"].push_back(std::move(item));
    }
    out["processes"] = MachineJson::array();
    for (const auto& process : machine.Processes()) {
        out["processes"].push_back({{"exe", Narrow(process.exeFile)},
                                    {"pid", process.processId},
                                    {"running", process.running},
                                    {"exitCode", process.exitCode}});
    }
}

void DumpRun(SimMachine& machine, MachineJson& out) {
    MachineJson run;
    run["stdout"] = IsUtf8(machine.Stdout()) ? MachineJson(machine.Stdout()) : MachineJson(nullptr);
    if (!IsUtf8(machine.Stdout())) {
        run["stdoutHex"] = Hex(std::vector<std::uint8_t>(machine.Stdout().begin(), machine.Stdout().end()));
    }
    run["messageBoxes"] = MachineJson::array();
    for (const auto& box : machine.MessageBoxes()) {
        run["messageBoxes"].push_back(
            {{"text", Narrow(box.text)}, {"caption", Narrow(box.caption)}, {"style", box.style}});
    }
    run["journal"] = machine.journal();
    MachineJson calls = MachineJson::object();
    for (const auto& [function, count] : machine.calls().Counts()) {
        calls[function] = count;
    }
    run["calls"] = std::move(calls);
    run["deletedDriverPackages"] = MachineJson::array();
    for (const auto& [inf, environment] : machine.DeletedDriverPackages()) {
        run["deletedDriverPackages"].push_back(
            {{"infPath", Narrow(inf)}, {"environment", Narrow(environment)}});
    }
    out["run"] = std::move(run);
}

}  // namespace

MachineJson ParseJson(std::string_view text, bool allowComments) {
    return MachineJson::parse(text, nullptr, true, allowComments);
}

MachineJson ParseJsonOrDiscard(std::string_view text) {
    return MachineJson::parse(text, nullptr, false);
}

void LoadMachine(const MachineJson& file, SimMachine& machine) {
    if (!file.is_object()) {
        Fail("machine file", "expected a JSON object");
    }
    const std::string base = file.contains("base") ? Text(*file.find("base"), "base") : std::string("fresh");
    if (base != "fresh" && base != "empty") {
        Fail("base", "\"fresh\" or \"empty\"");
    }
    if (file.contains("architecture")) {
        machine.SetNativeArchitecture(NumberField<std::uint16_t>(file, "architecture", "", 9));
    }
    if (base == "empty") {
        machine.Empty();
    }
    LoadSystem(machine, file);
    // The spooler writes its own keys for the drivers and printers it adds; the file's registry, loaded after
    // them, has the last word, so a written machine reloads with every value as it was.
    LoadSpooler(machine, file);
    if (auto registry = file.find("registry"); registry != file.end()) {
        LoadRegistry(machine, *registry);
    }
    LoadFiles(machine, file);
    LoadServicesAndProcesses(machine, file);
}

MachineJson DumpMachine(SimMachine& machine) {
    MachineJson out;
    out["base"] = "empty";
    out.update(DumpSystem(machine));
    MachineJson registry = MachineJson::object();
    for (const auto& root : kRoots) {
        MachineJson keys = MachineJson::object();
        DumpKeys(machine, root.root, u"", keys);
        registry[root.name] = std::move(keys);
    }
    out["registry"] = std::move(registry);
    DumpSpooler(machine, out);
    DumpFiles(machine, out);
    DumpServicesAndProcesses(machine, out);
    DumpRun(machine, out);
    return out;
}

MachineJson PrinterSettingsJson(const PrinterSettings& settings) {
    MachineJson json = MachineJson::object();
    for (const auto& [name, text] : kPrinterTexts) {
        json[name] = settings.*text ? MachineJson(Narrow(*(settings.*text))) : MachineJson(nullptr);
    }
    for (const auto& [name, number] : kPrinterNumbers) {
        json[name] = settings.*number;
    }
    for (const auto& [name, bytes] : kPrinterBytes) {
        json[name] = settings.*bytes ? MachineJson(Hex(*(settings.*bytes))) : MachineJson(nullptr);
    }
    return json;
}

void ReadPrinterSettings(const MachineJson& object, const std::string& where, PrinterSettings& settings) {
    for (const auto& [name, text] : kPrinterTexts) {
        if (const auto it = object.find(name); it != object.end()) {
            settings.*text = it->is_null() ? std::nullopt : std::optional(Wide(*it, where + "." + name));
        }
    }
    for (const auto& [name, number] : kPrinterNumbers) {
        if (const auto it = object.find(name); it != object.end()) {
            if (!it->is_number_unsigned() || it->get<std::uint64_t>() > 0xFFFFFFFFULL) {
                Fail(where + "." + name, "expected an integer from 0 to 4294967295");
            }
            settings.*number = it->get<std::uint32_t>();
        }
    }
    for (const auto& [name, bytes] : kPrinterBytes) {
        if (const auto it = object.find(name); it != object.end()) {
            settings.*bytes = it->is_null()
                                  ? std::nullopt
                                  : std::optional(FromHex(Text(*it, where + "." + name), where + "." + name));
        }
    }
}

std::u16string BuildCommandLine(const std::vector<std::string>& arguments) {
    std::u16string line = u"Spoolsweep.exe";
    for (const auto& argument : arguments) {
        std::u16string wide = FromUtf8(argument);
        line.push_back(u' ');
        if (!wide.empty() && wide.find_first_of(u" \t\"") == std::u16string::npos) {
            line += wide;
            continue;
        }
        // Backslashes count only before a quote: double them there, and escape the quote itself.
        line.push_back(u'"');
        std::size_t backslashes = 0;
        for (char16_t unit : wide) {
            if (unit == u'\\') {
                ++backslashes;
                continue;
            }
            line.append(unit == u'"' ? backslashes * 2 + 1 : backslashes, u'\\');
            backslashes = 0;
            line.push_back(unit);
        }
        line.append(backslashes * 2, u'\\');
        line.push_back(u'"');
    }
    return line;
}

}  // namespace spoolsweep::sim
