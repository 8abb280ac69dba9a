#include "platform/sim/sim_world.h"

#include <algorithm>

namespace spoolsweep::sim {

char16_t FoldChar(char16_t unit) {
    if (unit >= u'a' && unit <= u'z') {
        return static_cast<char16_t>(unit - 0x20);
    }
    if (unit < 0x80) {
        return unit;
    }
    if ((unit >= 0xE0 && unit <= 0xFE && unit != 0xF7) || (unit >= 0x3B1 && unit <= 0x3C9 && unit != 0x3C2) ||
        (unit >= 0x430 && unit <= 0x44F)) {
        return static_cast<char16_t>(unit - 0x20);
    }
    if (unit == 0xFF) {
        return 0x178;
    }
    if (unit >= 0x450 && unit <= 0x45F) {
        return static_cast<char16_t>(unit - 0x50);
    }
    if (unit >= 0x100 && unit <= 0x17F && unit != 0x130 && unit != 0x131 && unit != 0x138 && unit != 0x149 &&
        unit != 0x17F) {
        // Latin Extended-A pairs its letters as (upper, lower); the ranges below shift the pairing by one.
        bool oddUpper = (unit >= 0x139 && unit <= 0x148) || (unit >= 0x179 && unit <= 0x17E);
        bool isLower = oddUpper ? (unit % 2 == 0) : (unit % 2 == 1);
        return isLower ? static_cast<char16_t>(unit - 1) : unit;
    }
    return unit;
}

std::u16string Fold(std::u16string_view text) {
    std::u16string folded(text);
    for (char16_t& unit : folded) {
        unit = FoldChar(unit);
    }
    return folded;
}

// Compared from the end: names on one machine tend to share their beginnings ("Printer 0017", "Printer
// 0018"), so the search over a terminal server's printers stops at the first unit it looks at.
bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && std::equal(a.rbegin(), a.rend(), b.rbegin(), [](char16_t x, char16_t y) {
               return x == y || FoldChar(x) == FoldChar(y);
           });
}

bool ContainsNoCase(std::u16string_view text, std::u16string_view part) {
    return Fold(text).find(Fold(part)) != std::u16string::npos;
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        auto byte = static_cast<unsigned char>(text[i]);
        int extra = byte < 0x80 ? 0 : byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= text.size() + (extra == 0 ? 1U : 0U)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t cp = extra == 0 ? byte : byte & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0x3F);
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

namespace {

std::vector<std::u16string> SplitAt(std::u16string_view path, std::u16string_view separators) {
    std::vector<std::u16string> parts;
    std::u16string current;
    for (char16_t unit : path) {
        if (separators.find(unit) != std::u16string_view::npos) {
            if (!current.empty()) {
                parts.push_back(std::move(current));
                current.clear();
            }
        } else {
            current.push_back(unit);
        }
    }
    if (!current.empty()) {
        parts.push_back(std::move(current));
    }
    return parts;
}

}  // namespace

std::vector<std::u16string> SplitPath(std::u16string_view path) {
    return SplitAt(path, u"\\/");
}

std::vector<std::u16string> SplitKeyPath(std::u16string_view path) {
    return SplitAt(path, u"\\");
}

RegKey* RegKey::Find(std::u16string_view child) {
    auto it = subkeys.find(Fold(child));
    return it == subkeys.end() ? nullptr : it->second.get();
}

RegKey* RegKey::SubkeyAt(std::size_t index) {
    if (index >= subkeys.size()) {
        return nullptr;
    }
    if (!enumerated) {
        enumerated.emplace(0, subkeys.begin());
    }
    std::advance(enumerated->second,
                 static_cast<std::ptrdiff_t>(index) - static_cast<std::ptrdiff_t>(enumerated->first));
    enumerated->first = index;
    return enumerated->second->second.get();
}

bool RegKey::RemoveSubkey(std::u16string_view child) {
    enumerated.reset();  // the keys after it move up one place
    return subkeys.erase(Fold(child)) > 0;
}

void RegKey::ClearSubkeys() {
    enumerated.reset();
    subkeys.clear();
}

RegKey& RegKey::Child(std::u16string_view child) {
    auto& slot = subkeys[Fold(child)];
    if (!slot) {
        enumerated.reset();  // the keys after it move down one place
        slot = std::make_unique<RegKey>();
        slot->name = std::u16string(child);
    }
    return *slot;
}

RegValue* RegKey::FindValue(std::u16string_view valueName) {
    for (RegValue& value : values) {
        if (EqualNoCase(value.name, valueName)) {
            return &value;
        }
    }
    return nullptr;
}

World::World() {
    hkcu.name = u"HKCU";
    hklm.name = u"HKLM";
    hku.name = u"HKU";
    (void)hku.Child(u".DEFAULT");
    environment = {
        {u"ALLUSERSPROFILE", u"C:\\ProgramData"},
        {u"APPDATA", u"C:\\Users\\admin\\AppData\\Roaming"},
        {u"COMPUTERNAME", u"WORKSTATION"},
        {u"LOCALAPPDATA", u"C:\\Users\\admin\\AppData\\Local"},
        {u"ProgramData", u"C:\\ProgramData"},
        {u"ProgramFiles", u"C:\\Program Files (x86)"},
        {u"ProgramFiles(x86)", u"C:\\Program Files (x86)"},
        {u"ProgramW6432", u"C:\\Program Files"},
        {u"SystemDrive", u"C:"},
        {u"SystemRoot", u"C:\\Windows"},
        {u"TEMP", u"C:\\Users\\admin\\AppData\\Local\\Temp"},
        {u"TMP", u"C:\\Users\\admin\\AppData\\Local\\Temp"},
        {u"USERNAME", u"admin"},
        {u"USERPROFILE", u"C:\\Users\\admin"},
        {u"windir", u"C:\\Windows"},
    };
    FileNode root;
    root.path = u"C:";
    root.folder = true;
    root.attributes = kFileAttributeDirectory;
    files.emplace(u"C:", root);
    specialFolders[kCsidlAppData] = u"C:\\Users\\admin\\AppData\\Roaming";
    specialFolders[28] = u"C:\\Users\\admin\\AppData\\Local";  // CSIDL_LOCAL_APPDATA
    std::tm& t = localTime;
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 14;
    t.tm_min = 7;
    t.tm_sec = 9;
    t.tm_wday = 2;
    t.tm_yday = 64;
    t.tm_isdst = 0;
}

std::uint32_t World::Enter(std::string_view function, std::u16string_view argument) {
    calls.Record(function);
    return faults.Check(function, argument);
}

RegKey* World::Root(Handle root) {
    switch (root) {
        case kHkeyCurrentUser:
            return &hkcu;
        case kHkeyLocalMachine:
            return &hklm;
        case kHkeyUsers:
            return &hku;
        default:
            return nullptr;
    }
}

const char* World::RootName(Handle root) {
    switch (root) {
        case kHkeyCurrentUser:
            return "HKCU";
        case kHkeyLocalMachine:
            return "HKLM";
        case kHkeyUsers:
            return "HKU";
        default:
            return "?";
    }
}

RegKey* World::FindKey(Handle root, const std::vector<std::u16string>& path) {
    RegKey* key = Root(root);
    for (const auto& part : path) {
        if (key == nullptr) {
            return nullptr;
        }
        key = key->Find(part);
    }
    return key;
}

RegKey& World::MakeKey(Handle root, std::u16string_view path) {
    RegKey* key = Root(root);
    if (key == nullptr) {
        key = &hkcu;  // set-up misuse: keep going rather than crash a test
    }
    for (const auto& part : SplitKeyPath(path)) {
        key = &key->Child(part);
    }
    return *key;
}

bool World::RemoveKey(Handle root, std::u16string_view path) {
    auto parts = SplitKeyPath(path);
    if (parts.empty()) {
        return false;
    }
    std::u16string leaf = parts.back();
    parts.pop_back();
    RegKey* parent = FindKey(root, parts);
    if (parent == nullptr) {
        return false;
    }
    return parent->RemoveSubkey(leaf);
}

void World::PutValue(Handle root, std::u16string_view path, RegValue value) {
    RegKey& key = MakeKey(root, path);
    if (RegValue* existing = key.FindValue(value.name)) {
        existing->type = value.type;
        existing->data = std::move(value.data);
        return;
    }
    key.values.push_back(std::move(value));
}

std::optional<std::u16string> World::Environment(std::u16string_view name) const {
    for (const auto& [key, value] : environment) {
        if (EqualNoCase(key, name)) {
            return value;
        }
    }
    return std::nullopt;
}

SimPrinter* World::FindPrinter(std::u16string_view name) {
    const auto found = printersByName_.find(Fold(name));
    return found == printersByName_.end() ? nullptr : &*found->second;
}

std::u16string World::DriverKey(std::u16string_view environment, std::u16string_view name) {
    return Fold(environment) + u'\n' + Fold(name);
}

std::list<SimDriver>::iterator World::FindDriver(std::u16string_view environment, std::u16string_view name) {
    const auto found = driversByKey_.find(DriverKey(environment, name));
    return found == driversByKey_.end() ? drivers.end() : found->second;
}

void World::EraseDriver(std::list<SimDriver>::iterator driver) {
    driversByKey_.erase(DriverKey(driver->environment, driver->name));
    drivers.erase(driver);
}

void World::ClearDrivers() {
    drivers.clear();
    driversByKey_.clear();
}

void World::PutDriver(const SimDriver& driver) {
    if (const auto same = FindDriver(driver.environment, driver.name); same != drivers.end()) {
        EraseDriver(same);
    }
    drivers.push_back(driver);
    driversByKey_[DriverKey(driver.environment, driver.name)] = std::prev(drivers.end());
    const std::u16string key = std::u16string(kPrintKey) + u"\\Environments\\" + driver.environment +
                               u"\\Drivers\\Version-3\\" + driver.name;
    PutValue(kHkeyLocalMachine, key, {u"Data File", kRegSz, StringBytes(driver.dataFile)});
    PutValue(kHkeyLocalMachine, key, {u"InfPath", kRegSz, StringBytes(driver.infPath)});
    const bool stored = std::any_of(driverStore.begin(), driverStore.end(), [&](const auto& entry) {
        return EqualNoCase(entry.first, driver.infPath) && EqualNoCase(entry.second, driver.environment);
    });
    if (!driver.infPath.empty() && !stored) {
        driverStore.emplace_back(driver.infPath, driver.environment);
    }
}

void World::PutPrinter(const SimPrinter& printer) {
    RemovePrinter(printer.name);
    printers.push_back(printer);
    ++printersByDriver_[Fold(printer.driver)];
    printersByName_[Fold(printer.name)] = std::prev(printers.end());
}

void World::ClearPrinters() {
    printers.clear();
    printersByDriver_.clear();
    printersByName_.clear();
}

bool World::DriverInUse(std::u16string_view driver) const {
    auto found = printersByDriver_.find(Fold(driver));
    return found != printersByDriver_.end() && found->second > 0;
}

void World::RemovePrinter(std::u16string_view name) {
    const auto named = printersByName_.find(Fold(name));
    if (named == printersByName_.end()) {
        return;
    }
    const auto target = named->second;
    if (target->serverName.empty()) {
        (void)RemoveKey(kHkeyLocalMachine,
                        u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" + target->name);
    }
    if (defaultPrinter && EqualNoCase(*defaultPrinter, target->name)) {
        defaultPrinter.reset();
    }
    --printersByDriver_[Fold(target->driver)];
    printersByName_.erase(named);
    printers.erase(target);
}

std::optional<std::u16string> World::Normalize(std::u16string_view path) const {
    if (path.empty() || path.find(u'\0') != std::u16string_view::npos) {
        return std::nullopt;
    }
    std::u16string full;
    if (path.size() >= 2 && (path[0] == u'\\' || path[0] == u'/') && (path[1] == u'\\' || path[1] == u'/')) {
        return std::nullopt;  // UNC paths and device paths: no network in the simulated machine
    }
    if (path.size() >= 2 && path[1] == u':') {
        full = std::u16string(path);
        if (full.size() > 2 && full[2] != u'\\' && full[2] != u'/') {
            full.insert(2, u"\\");  // "C:x" is relative to the drive's current folder, the root here
        }
    } else if (path[0] == u'\\' || path[0] == u'/') {
        full = currentDirectory.substr(0, 2) + std::u16string(path);
    } else {
        full = currentDirectory + u"\\" + std::u16string(path);
    }
    std::u16string drive(1, FoldChar(full[0]));
    drive.push_back(u':');
    std::vector<std::u16string> parts;
    for (auto& part : SplitPath(std::u16string_view(full).substr(2))) {
        // Windows drops trailing dots and spaces of a component.
        while (!part.empty() && (part.back() == u'.' || part.back() == u' ') && part != u"." &&
               part != u"..") {
            part.pop_back();
        }
        if (part.empty() || part == u".") {
            continue;
        }
        if (part == u"..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
            continue;
        }
        parts.push_back(std::move(part));
    }
    std::u16string result = drive;
    for (const auto& part : parts) {
        result.append(u"\\").append(part);
    }
    return result;
}

FileNode* World::Node(std::u16string_view normalized) {
    auto it = files.find(Fold(normalized));
    return it == files.end() ? nullptr : &it->second;
}

std::u16string World::ParentOf(std::u16string_view normalized) {
    auto at = normalized.rfind(u'\\');
    return at == std::u16string_view::npos ? std::u16string() : std::u16string(normalized.substr(0, at));
}

std::u16string World::LeafOf(std::u16string_view normalized) {
    auto at = normalized.rfind(u'\\');
    return std::u16string(at == std::u16string_view::npos ? normalized : normalized.substr(at + 1));
}

std::u16string World::Display(std::u16string_view normalized) {
    std::u16string text(normalized);
    if (text.size() == 2) {
        text.push_back(u'\\');
    }
    return text;
}

std::vector<FileNode*> World::Children(std::u16string_view normalized) {
    std::vector<FileNode*> children;
    std::u16string prefix = Fold(normalized) + u"\\";
    for (auto it = files.lower_bound(prefix); it != files.end() && it->first.starts_with(prefix); ++it) {
        if (it->first.find(u'\\', prefix.size()) == std::u16string::npos) {
            children.push_back(&it->second);
        }
    }
    return children;
}

bool World::Writable(std::u16string_view folder) {
    FileNode* node = Node(folder);
    return node != nullptr && node->folder && node->writable;
}

FileNode& World::MakeFolder(std::u16string_view normalized) {
    std::u16string parent = ParentOf(normalized);
    if (!parent.empty() && Node(parent) == nullptr) {
        (void)MakeFolder(parent);
    }
    auto [it, added] = files.try_emplace(Fold(normalized));
    if (added) {
        it->second.path = std::u16string(normalized);
        it->second.folder = true;
        it->second.attributes = kFileAttributeDirectory;
    }
    return it->second;
}

namespace {

bool IsFolderOrBelow(std::u16string_view path, std::u16string_view folder) {
    return path.size() >= folder.size() && EqualNoCase(path.substr(0, folder.size()), folder) &&
           (path.size() == folder.size() || path[folder.size()] == u'\\');
}

}  // namespace

// As Microsoft's "File System Redirector" lists it: the caller's path is redirected before any link on it is
// followed, and a link's target is not; the folders below System32 that stay the 64-bit ones are exempt.
std::u16string World::RedirectForWow64(std::u16string_view normalized) const {
    const std::u16string system = windowsDirectory + u"\\System32";
    if (!wow64 || !IsFolderOrBelow(normalized, system)) {
        return std::u16string(normalized);
    }
    const std::u16string_view below = normalized.substr(system.size());
    for (const std::u16string_view exempt :
         {u"\\catroot", u"\\catroot2", u"\\driverstore", u"\\drivers\\etc", u"\\logfiles", u"\\spool"}) {
        if (IsFolderOrBelow(below, exempt)) {
            return std::u16string(normalized);
        }
    }
    return windowsDirectory + u"\\SysWOW64" + std::u16string(below);
}

std::optional<std::u16string> World::ResolveLinks(std::u16string_view caller, bool followFinal, int depth) {
    constexpr int kMaxLinks = 63;
    const std::u16string normalized = depth == 0 ? RedirectForWow64(caller) : std::u16string(caller);
    const std::vector<std::u16string> parts =
        SplitPath(std::u16string_view(normalized).substr(std::min<std::size_t>(2, normalized.size())));
    std::u16string current(normalized.substr(0, 2));
    for (std::size_t i = 0; i < parts.size(); ++i) {
        current.append(u"\\").append(parts[i]);
        const FileNode* node = Node(current);
        if (node == nullptr || !node->IsLink() || (i + 1 == parts.size() && !followFinal)) {
            continue;
        }
        if (depth >= kMaxLinks) {
            return std::nullopt;
        }
        auto target = ResolveLinks(node->linkTarget, true, depth + 1);
        if (!target) {
            return std::nullopt;
        }
        current = std::move(*target);
    }
    return current;
}

FileNode& World::DataOf(FileNode& node) {
    if (node.hardLinkOf.empty()) {
        return node;
    }
    FileNode* primary = Node(node.hardLinkOf);
    return primary != nullptr ? *primary : node;
}

std::uint32_t World::LinkCount(FileNode& node) {
    // A hard link whose other name is not in this machine (a snapshot does not read it) still has two.
    if (!node.hardLinkOf.empty() && Node(node.hardLinkOf) == nullptr) {
        return 2;
    }
    const std::u16string primary = Fold(DataOf(node).path);
    std::uint32_t count = 1;
    for (const auto& [key, other] : files) {
        if (!other.hardLinkOf.empty() && Fold(other.hardLinkOf) == primary) {
            ++count;
        }
    }
    return count;
}

void World::EraseName(const std::u16string& normalized) {
    const std::u16string key = Fold(normalized);
    FileNode* heir = nullptr;
    for (auto& [other, node] : files) {
        if (!node.hardLinkOf.empty() && Fold(node.hardLinkOf) == key) {
            if (heir == nullptr) {
                heir = &node;
                auto erased = files.find(key);
                heir->contents = erased->second.contents;
                heir->attributes = erased->second.attributes;
                heir->hardLinkOf.clear();
            } else {
                node.hardLinkOf = heir->path;
            }
        }
    }
    files.erase(key);
}

SimService* World::FindService(std::u16string_view name) {
    for (SimService& service : services) {
        if (EqualNoCase(service.name, name)) {
            return &service;
        }
    }
    return nullptr;
}

void World::Settle(SimService& service) const {
    bool due = tick - service.pendingSince >= service.pendingMs;
    if (service.state == ServiceState::StopPending && !service.staysStopPending && due) {
        service.state = ServiceState::Stopped;
    } else if (service.state == ServiceState::StartPending && due) {
        service.state = ServiceState::Running;
    }
}

std::size_t World::OpenHandleCount() const {
    return regHandles.size() + printerHandles.size() + findHandles.size() + serviceHandles.size() +
           lockHandles.size() + kernelHandles.size() + textFiles.size();
}

// CallLog and Faults.

void CallLog::Record(std::string_view function) {
    auto it = counts_.find(function);
    if (it == counts_.end()) {
        it = counts_.emplace(std::string(function), 0).first;
    }
    ++it->second;
    ++total_;
}

std::uint64_t CallLog::Count(std::string_view function) const {
    auto it = counts_.find(function);
    return it == counts_.end() ? 0 : it->second;
}

std::uint64_t CallLog::Total() const {
    return total_;
}

void CallLog::Clear() {
    counts_.clear();
    total_ = 0;
}

void Faults::Fail(std::string function, std::uint32_t error, int times, int skip,
                  std::u16string argumentContains) {
    rules_.push_back({std::move(function), error, times, skip, std::move(argumentContains)});
}

void Faults::Clear() {
    rules_.clear();
    actions_.clear();
}

void Faults::OnCall(std::string function, std::function<void()> action) {
    actions_.push_back({std::move(function), std::move(action)});
}

std::uint32_t Faults::Check(std::string_view function, std::u16string_view argument) {
    // Taken out before it runs, so that an action may itself call the seams.
    for (auto it = actions_.begin(); it != actions_.end(); ++it) {
        if (it->function == function) {
            std::function<void()> run = std::move(it->run);
            actions_.erase(it);
            run();
            break;
        }
    }
    for (Rule& rule : rules_) {
        if (rule.function != function || rule.times == 0) {
            continue;
        }
        if (!rule.argumentContains.empty() && !ContainsNoCase(argument, rule.argumentContains)) {
            continue;
        }
        if (rule.skip > 0) {
            --rule.skip;
            continue;
        }
        if (rule.times > 0) {
            --rule.times;
        }
        return rule.error;
    }
    return 0;
}

}  // namespace spoolsweep::sim
