// The registry seam of the simulated machine.
#include "platform/sim/sim_seams.h"
#include "platform/text.h"
#include "platform/win_errors.h"

namespace spoolsweep::sim {

namespace {

std::u16string JoinPath(const std::vector<std::u16string>& parts) {
    std::u16string joined;
    for (const auto& part : parts) {
        if (!joined.empty()) {
            joined.push_back(u'\\');
        }
        joined += part;
    }
    return joined;
}

// Windows refuses empty key names: a path that starts with a backslash or holds two in a row names none.
bool IsValidKeyPath(std::u16string_view path) {
    return !path.starts_with(u'\\') && path.find(u"\\\\") == std::u16string_view::npos;
}

}  // namespace

bool SimRegistry::Resolve(Handle key, OpenRegKey& out) const {
    if (key == kHkeyCurrentUser || key == kHkeyLocalMachine || key == kHkeyUsers) {
        out = OpenRegKey{key, {}};
        return true;
    }
    auto it = world_.regHandles.find(key);
    if (it == world_.regHandles.end()) {
        return false;
    }
    out = it->second;
    return true;
}

std::string SimRegistry::FullName(const OpenRegKey& key) const {
    std::string name = World::RootName(key.root);
    for (const auto& part : key.path) {
        name.append("\\").append(ToUtf8(part));
    }
    return name;
}

// The key a link leads to, through at most 16 links as Wine's registry allows; false when there is none.
bool SimRegistry::FollowLink(RegKey*& key, OpenRegKey& opened) {
    for (int followed = 0; key->linkRoot != 0; ++followed) {
        RegKey* target = world_.Root(key->linkRoot);
        opened.root = key->linkRoot;
        opened.path.clear();
        for (const auto& part : SplitKeyPath(key->linkPath)) {
            target = target != nullptr ? target->Find(part) : nullptr;
            if (target != nullptr) {
                opened.path.push_back(target->name);
            }
        }
        if (target == nullptr || followed == 16) {
            return false;
        }
        key = target;
    }
    return true;
}

HandleResult SimRegistry::Open(const char* function, Handle parent, std::u16string_view path,
                               std::uint32_t access, bool create) {
    OpenRegKey base;
    bool known = Resolve(parent, base);
    std::u16string argument = WidenAscii(known ? World::RootName(base.root) : "?");
    for (const auto& part : base.path) {
        argument.append(u"\\").append(part);
    }
    argument.append(u"\\").append(path);
    if (std::uint32_t error = world_.Enter(function, argument)) {
        return {0, error};
    }
    if (!known) {
        return {0, win_error::kInvalidHandle};
    }
    if (!IsValidKeyPath(path)) {
        return {0, sim_error::kBadPathname};
    }
    RegKey* key = world_.FindKey(base.root, base.path);
    if (key == nullptr) {
        return {0, sim_error::kKeyDeleted};
    }
    const std::vector<std::u16string> parts = SplitKeyPath(path);
    // Creating below a key takes the right to; a key that exists only opens.
    if (create && !parts.empty() && key->Find(parts.front()) == nullptr &&
        !sim_access::Holds(base.access, sim_access::kKeyCreateSubKey)) {
        return {0, win_error::kAccessDenied};
    }
    OpenRegKey opened{base.root, base.path, access};
    for (const auto& part : parts) {
        RegKey* next = key->Find(part);
        if (next == nullptr && !create) {
            return {0, win_error::kFileNotFound};
        }
        key = next != nullptr ? next : &key->Child(part);
        opened.path.push_back(key->name);
        if (next == nullptr) {
            world_.Journal("RegCreateKeyExW " + FullName(opened));
        }
        // Creating opens each key as itself and refuses a link; opening follows it, as Windows does.
        if (key->linkRoot != 0 && create) {
            return {0, win_error::kStoppedOnSymlink};
        }
        if (key->linkRoot != 0 && !FollowLink(key, opened)) {
            return {0, win_error::kFileNotFound};
        }
    }
    Handle handle = world_.NewHandle();
    world_.regHandles.emplace(handle, std::move(opened));
    return {handle, 0};
}

HandleResult SimRegistry::OpenKey(Handle parent, std::u16string_view path) {
    // RegOpenKeyW asks for the most the caller may have; the administrator gets every right.
    return Open("RegOpenKeyW", parent, path, kKeyAllAccess);
}

HandleResult SimRegistry::OpenKeyEx(Handle parent, std::u16string_view path, std::uint32_t access) {
    // The administrator the program runs as is granted every access it asks for, and only that.
    return Open("RegOpenKeyExW", parent, path, access);
}

void SimRegistry::CloseKey(Handle key) {
    if (world_.Enter("RegCloseKey") != 0) {
        return;
    }
    bool root = key == kHkeyCurrentUser || key == kHkeyLocalMachine || key == kHkeyUsers;
    if (world_.regHandles.erase(key) == 0 && !root) {  // closing a predefined key is allowed and harmless
        ++world_.badCloses;
    }
}

ValueResult SimRegistry::QueryValue(Handle key, std::u16string_view name, std::uint32_t bufferBytes) {
    if (std::uint32_t error = world_.Enter("RegQueryValueExW", name)) {
        return {error, 0, {}};
    }
    OpenRegKey open;
    if (!Resolve(key, open)) {
        return {win_error::kInvalidHandle, 0, {}};
    }
    if (!sim_access::Holds(open.access, sim_access::kKeyQueryValue)) {
        return {win_error::kAccessDenied, 0, {}};
    }
    RegKey* node = world_.FindKey(open.root, open.path);
    if (node == nullptr) {
        return {sim_error::kKeyDeleted, 0, {}};
    }
    RegValue* value = node->FindValue(name);
    if (value == nullptr) {
        return {win_error::kFileNotFound, 0, {}};
    }
    auto size = static_cast<std::uint32_t>(value->data.size());
    if (bufferBytes == 0) {
        return {0, size, {}};
    }
    if (bufferBytes < size) {
        return {win_error::kMoreData, size, {}};
    }
    return {0, size, value->data};
}

SimRegistry::EnteredKey SimRegistry::EnterEnumeration(const char* function, Handle key,
                                                      std::uint32_t needed) {
    OpenRegKey open;
    const bool known = Resolve(key, open);
    if (std::uint32_t error = world_.Enter(function, known ? FromUtf8(FullName(open)) : u"")) {
        return {error, nullptr};
    }
    if (!known) {
        return {win_error::kInvalidHandle, nullptr};
    }
    if (!sim_access::Holds(open.access, needed)) {
        return {win_error::kAccessDenied, nullptr};
    }
    RegKey* node = world_.FindKey(open.root, open.path);
    if (node == nullptr) {
        return {sim_error::kKeyDeleted, nullptr};
    }
    return {0, node};
}

NameResult SimRegistry::EnumKey(Handle key, std::uint32_t index, std::uint32_t nameBufferChars) {
    const EnteredKey entered = EnterEnumeration("RegEnumKeyExW", key, sim_access::kKeyEnumerateSubKeys);
    if (entered.error != 0) {
        return {entered.error, {}};
    }
    const RegKey* subkey = entered.node->SubkeyAt(index);
    if (subkey == nullptr) {
        return {win_error::kNoMoreItems, {}};
    }
    const std::u16string& name = subkey->name;
    if (name.size() >= nameBufferChars) {
        return {win_error::kMoreData, {}};
    }
    return {0, name};
}

NameResult SimRegistry::EnumValue(Handle key, std::uint32_t index, std::uint32_t nameBufferChars) {
    const EnteredKey entered = EnterEnumeration("RegEnumValueW", key, sim_access::kKeyQueryValue);
    if (entered.error != 0) {
        return {entered.error, {}};
    }
    RegKey* node = entered.node;
    if (index >= node->values.size()) {
        return {win_error::kNoMoreItems, {}};
    }
    const std::u16string& name = node->values[index].name;
    if (name.size() >= nameBufferChars) {
        return {win_error::kMoreData, {}};
    }
    return {0, name, node->values[index].type};
}

SimRegistry::EnteredKey SimRegistry::EnterValueChange(const char* function, Handle key,
                                                      std::u16string_view name, OpenRegKey& open) {
    if (std::uint32_t error = world_.Enter(function, name)) {
        return {error, nullptr};
    }
    if (!Resolve(key, open)) {
        return {win_error::kInvalidHandle, nullptr};
    }
    if (!sim_access::Holds(open.access, sim_access::kKeySetValue)) {
        return {win_error::kAccessDenied, nullptr};
    }
    RegKey* node = world_.FindKey(open.root, open.path);
    return {node == nullptr ? sim_error::kKeyDeleted : 0, node};
}

Status SimRegistry::DeleteValue(Handle key, std::u16string_view name) {
    OpenRegKey open;
    const EnteredKey entered = EnterValueChange("RegDeleteValueW", key, name, open);
    if (entered.error != 0) {
        return {entered.error};
    }
    RegKey* node = entered.node;
    for (auto it = node->values.begin(); it != node->values.end(); ++it) {
        if (EqualNoCase(it->name, name)) {
            world_.Journal("RegDeleteValueW " + FullName(open) + " " + ToUtf8(it->name));
            node->values.erase(it);
            return {0};
        }
    }
    return {win_error::kFileNotFound};
}

Status SimRegistry::DeleteTree(Handle parent, std::u16string_view path) {
    OpenRegKey base;
    bool known = Resolve(parent, base);
    std::u16string argument = FromUtf8(known ? FullName(base) : "?") + u"\\" + std::u16string(path);
    if (std::uint32_t error = world_.Enter("SHDeleteKeyW", argument)) {
        return {error};
    }
    if (!known) {
        return {win_error::kInvalidHandle};
    }
    // SHDeleteKeyW opens the key it deletes itself, so the parent handle's rights do not matter.
    auto parts = SplitKeyPath(path);
    if (parts.empty()) {
        return {win_error::kInvalidParameter};
    }
    if (!IsValidKeyPath(path)) {
        return {sim_error::kBadPathname};
    }
    std::vector<std::u16string> full = base.path;
    full.insert(full.end(), parts.begin(), parts.end());
    RegKey* target = world_.FindKey(base.root, full);
    if (target == nullptr) {
        return {win_error::kFileNotFound};
    }
    // Canonical names for the journal, as the key was created.
    std::vector<std::u16string> canonical;
    RegKey* walk = world_.Root(base.root);
    for (const auto& part : full) {
        walk = walk->Find(part);
        canonical.push_back(walk->name);
    }
    std::string line = "SHDeleteKeyW " + FullName(OpenRegKey{base.root, canonical});
    (void)world_.RemoveKey(base.root, JoinPath(full));
    world_.Journal(std::move(line));
    return {0};
}

HandleResult SimRegistry::CreateKey(Handle parent, std::u16string_view path, std::uint32_t access) {
    return Open("RegCreateKeyExW", parent, path, access, true);
}

Status SimRegistry::SetValue(Handle key, std::u16string_view name, std::uint32_t type,
                             const std::vector<std::uint8_t>& data) {
    OpenRegKey open;
    if (const EnteredKey entered = EnterValueChange("RegSetValueExW", key, name, open); entered.error != 0) {
        return {entered.error};
    }
    world_.Journal("RegSetValueExW " + FullName(open) + " " + ToUtf8(name));
    std::u16string path;
    for (const auto& part : open.path) {
        path.append(path.empty() ? u"" : u"\\").append(part);
    }
    world_.PutValue(open.root, path, RegValue{std::u16string(name), type, data});
    return {0};
}

ExpandResult SimRegistry::ExpandEnvironmentStrings(std::u16string_view text, std::uint32_t bufferChars) {
    if (world_.Enter("DoEnvironmentSubstW", text) != 0) {
        return {false, std::u16string(text)};
    }
    std::u16string expanded;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t open = text.find(u'%', at);
        if (open == std::u16string_view::npos) {
            expanded += text.substr(at);
            break;
        }
        std::size_t close = text.find(u'%', open + 1);
        if (close == std::u16string_view::npos) {
            expanded += text.substr(at);
            break;
        }
        expanded += text.substr(at, open - at);
        auto value = world_.Environment(text.substr(open + 1, close - open - 1));
        if (value) {
            expanded += *value;
            at = close + 1;
        } else {
            // An unknown variable stays as written; its closing '%' may open the next one.
            expanded += text.substr(open, close - open);
            at = close;
        }
    }
    if (bufferChars == 0 || expanded.size() > bufferChars - 1) {
        return {false, std::u16string(text)};
    }
    return {true, expanded};
}

}  // namespace spoolsweep::sim
