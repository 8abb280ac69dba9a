// The file-system seam of the simulated machine: one drive C:, names compared without case.
#include <cstdio>

#include "platform/sim/sim_seams.h"
#include "platform/win_errors.h"

namespace spoolsweep::sim {

namespace {

constexpr std::uint32_t kSettableAttributes =
    0x3127;  // read-only .. archive, temporary, offline, not indexed
constexpr std::uint16_t kFofNoConfirmation = 0x0010;

// Why nothing can be made at `full`: its parent is no folder, or is one that may not be written; 0 when it
// can.
std::uint32_t RefuseInParent(World& world, const std::u16string& full) {
    const FileNode* parent = world.Node(World::ParentOf(full));
    if (parent == nullptr || !parent->folder) {
        return win_error::kPathNotFound;
    }
    return parent->writable ? 0 : win_error::kAccessDenied;
}

bool HasWildcard(std::u16string_view text) {
    return text.find_first_of(u"*?") != std::u16string_view::npos;
}

bool GlobMatch(std::u16string_view mask, std::u16string_view name) {
    if (mask.empty()) {
        return name.empty();
    }
    if (mask[0] == u'*') {
        for (std::size_t skip = 0; skip <= name.size(); ++skip) {
            if (GlobMatch(mask.substr(1), name.substr(skip))) {
                return true;
            }
        }
        return false;
    }
    if (name.empty()) {
        return false;
    }
    if (mask[0] != u'?' && FoldChar(mask[0]) != FoldChar(name[0])) {
        return false;
    }
    return GlobMatch(mask.substr(1), name.substr(1));
}

std::string HexText(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

}  // namespace

// A search entry: a link's own attributes and its tag, a hard link's the file's.
FindEntry SimFiles::EntryOf(FileNode& node) {
    if (world_.wineFileLinks && node.IsFileLink()) {
        const FileNode* target = world_.Node(world_.ResolveLinks(node.path, true).value_or(node.path));
        return {World::LeafOf(node.path), target != nullptr ? target->attributes : kFileAttributeArchive, 0};
    }
    const std::uint32_t attributes = world_.DataOf(node).attributes;
    return {World::LeafOf(node.path), attributes == 0 ? kFileAttributeNormal : attributes, node.reparseTag};
}

// The search rules of Windows: "*.*" is "*", a mask ending in ".*" also matches names without a dot, a mask
// ending in "." matches only names without one.
bool MatchesFileMask(std::u16string_view mask, std::u16string_view name) {
    if (mask == u"*.*") {
        return true;
    }
    if (mask.size() >= 2 && mask.substr(mask.size() - 2) == u".*" &&
        name.find(u'.') == std::u16string_view::npos && GlobMatch(mask.substr(0, mask.size() - 2), name)) {
        return true;
    }
    if (!mask.empty() && mask.back() == u'.' && name != u"." && name != u"..") {
        return name.find(u'.') == std::u16string_view::npos &&
               GlobMatch(mask.substr(0, mask.size() - 1), name);
    }
    return GlobMatch(mask, name);
}

SimFiles::Target SimFiles::Resolve(const char* function, std::u16string_view path, bool followFinal) {
    if (std::uint32_t error = world_.Enter(function, path)) {
        return {error, {}};
    }
    if (HasWildcard(path)) {
        return {sim_error::kInvalidName, {}};
    }
    std::optional<std::u16string> full = world_.Normalize(path);
    if (!full) {
        return {win_error::kPathNotFound, {}};
    }
    std::optional<std::u16string> physical = world_.ResolveLinks(*full, followFinal);
    if (!physical) {
        return {sim_error::kCantResolveFilename, {}};
    }
    return {0, LocateAsWine(std::move(*physical))};
}

std::optional<std::u16string> SimFiles::Locate(std::u16string_view path, bool followFinal) {
    auto full = world_.Normalize(path);
    auto located = full ? world_.ResolveLinks(*full, followFinal) : std::nullopt;
    if (!located) {
        return std::nullopt;
    }
    return LocateAsWine(std::move(*located));
}

// Under Wine's rules a symbolic link to a file is always followed.
std::u16string SimFiles::LocateAsWine(std::u16string path) {
    const FileNode* node = world_.Node(path);
    if (!world_.wineFileLinks || node == nullptr || !node->IsFileLink()) {
        return path;
    }
    return world_.ResolveLinks(path, true).value_or(path);
}

std::uint32_t SimFiles::MissingError(const std::u16string& path) const {
    return world_.Node(World::ParentOf(path)) != nullptr ? win_error::kFileNotFound
                                                         : win_error::kPathNotFound;
}

std::optional<std::uint32_t> SimFiles::GetStatus(std::u16string_view path) {
    // A link reports its own attributes.
    if (world_.Enter("GetFileAttributesExW", path) != 0 || HasWildcard(path)) {
        return std::nullopt;
    }
    auto full = Locate(path, false);
    FileNode* node = full ? world_.Node(*full) : nullptr;
    if (node == nullptr) {
        return std::nullopt;
    }
    const std::uint32_t attributes = world_.DataOf(*node).attributes;
    return attributes == 0 ? kFileAttributeNormal : attributes;
}

Status SimFiles::SetAttributes(std::u16string_view path, std::uint32_t attributes) {
    // A link is followed: what a link's own attributes would become is left open by the documentation,
    // so the simulated machine assumes the worst and changes the target's.
    Target target = Resolve("SetFileAttributesW", path, true);
    if (target.error != 0) {
        return {target.error};
    }
    const std::u16string& full = target.path;
    FileNode* found = world_.Node(full);
    if (found == nullptr) {
        return {MissingError(full)};
    }
    FileNode* node = &world_.DataOf(*found);
    if (!node->folder && !world_.Writable(World::ParentOf(full))) {
        return {win_error::kAccessDenied};
    }
    node->attributes = (attributes & kSettableAttributes) | (node->folder ? kFileAttributeDirectory : 0);
    world_.Journal("SetFileAttributesW " + ToUtf8(World::Display(node->path)) + " " + HexText(attributes));
    return {0};
}

Status SimFiles::SetOwnAttributes(std::u16string_view path, std::uint32_t attributes) {
    Target target = Resolve("SetFileInformationByHandle", path, false);
    FileNode* found = target.error == 0 ? world_.Node(target.path) : nullptr;
    if (found == nullptr) {
        return {target.error != 0 ? target.error : MissingError(target.path)};
    }
    if (found->IsLink() || world_.LinkCount(*found) != 1 ||
        Fold(target.path) != Fold(world_.Normalize(path).value_or(u"")) ||
        (!found->folder && !world_.Writable(World::ParentOf(target.path)))) {
        return {win_error::kAccessDenied};
    }
    found->attributes = (attributes & kSettableAttributes) | (found->folder ? kFileAttributeDirectory : 0);
    world_.Journal("SetFileInformationByHandle " + ToUtf8(World::Display(found->path)) + " " +
                   HexText(attributes));
    return {0};
}

FileSecurity SimFiles::QuerySecurity(std::u16string_view path) {
    const Target target = Resolve("GetSecurityInfo", path, false);
    if (target.error != 0 || world_.Node(target.path) == nullptr) {
        return FileSecurity::Failed(target.error != 0 ? target.error : MissingError(target.path));
    }
    FileSecurity security = SimMachine::DefaultSecurity();
    for (std::u16string at = target.path; !at.empty(); at = World::ParentOf(at)) {
        if (const FileNode* node = world_.Node(at); node != nullptr && node->security) {
            security = *node->security;
            break;
        }
    }
    security.caller = std::string(kSimCallerSid);
    return security;
}

Status SimFiles::CreatePrivateDirectory(std::u16string_view path) {
    // A link on the way would lead the new folder elsewhere: refused, nothing made, as the real call checks
    // the folder it made and takes it back.
    const std::optional<std::u16string> full = world_.Normalize(path);
    const std::optional<std::u16string> physical = full ? world_.ResolveLinks(*full, false) : std::nullopt;
    if (full && physical && Fold(*physical) != Fold(*full)) {
        return {win_error::kAccessDenied};
    }
    const Status made = CreateDirectory(path);
    if (FileNode* node = made.ok() && full ? world_.Node(*full) : nullptr) {
        node->security = FileSecurity{0,
                                      std::string(kSidAdministrators),
                                      {},
                                      true,
                                      {{std::string(kSidSystem), true, kFileAllAccess},
                                       {std::string(kSidAdministrators), true, kFileAllAccess}}};
    }
    return made;
}

std::optional<FileIdentity> SimFiles::QueryIdentity(std::u16string_view path) {
    Target target = Resolve("CreateFileW", path, false);
    FileNode* node = target.error == 0 ? world_.Node(target.path) : nullptr;
    if (node == nullptr) {
        return std::nullopt;
    }
    const std::uint32_t attributes = world_.DataOf(*node).attributes;
    return FileIdentity{attributes == 0 ? kFileAttributeNormal : attributes, world_.LinkCount(*node),
                        node->path};
}

FindResult SimFiles::FindFirst(std::u16string_view pattern) {
    FindResult result;
    if (std::uint32_t error = world_.Enter("FindFirstFileW", pattern)) {
        result.error = error;
        return result;
    }
    auto cut = pattern.find_last_of(u"\\/");
    std::u16string_view mask = cut == std::u16string_view::npos ? pattern : pattern.substr(cut + 1);
    std::u16string_view folderText = cut == std::u16string_view::npos ? std::u16string_view(u".")
                                     : cut == 2 && pattern.size() > 1 && pattern[1] == u':'
                                         ? pattern.substr(0, 3)
                                         : pattern.substr(0, cut);
    if (folderText.empty()) {
        folderText = u"\\";
    }
    auto folder = Locate(folderText, true);
    FileNode* folderNode = folder ? world_.Node(*folder) : nullptr;
    if (HasWildcard(folderText)) {
        result.error = sim_error::kInvalidName;
        return result;
    }
    if (folderNode == nullptr || !folderNode->folder) {
        result.error = win_error::kPathNotFound;
        return result;
    }
    FindState state;
    if (HasWildcard(mask)) {
        if (folder->size() > 2) {
            for (std::u16string_view dots : {u".", u".."}) {
                if (MatchesFileMask(mask, dots)) {
                    state.entries.push_back({std::u16string(dots), kFileAttributeDirectory});
                }
            }
        }
        for (FileNode* child : world_.Children(*folder)) {
            std::u16string leaf = World::LeafOf(child->path);
            if (MatchesFileMask(mask, leaf)) {
                state.entries.push_back(EntryOf(*child));
            }
        }
    } else if (auto exact = Locate(pattern, false); exact && !mask.empty()) {
        if (FileNode* node = world_.Node(*exact)) {
            state.entries.push_back(EntryOf(*node));
        }
    }
    if (state.entries.empty()) {
        result.error = win_error::kFileNotFound;
        return result;
    }
    result.first = state.entries.front();
    state.next = 1;
    result.find = world_.NewHandle();
    world_.findHandles.emplace(result.find, std::move(state));
    return result;
}

std::optional<FindEntry> SimFiles::FindNext(Handle find) {
    if (world_.Enter("FindNextFileW") != 0) {
        return std::nullopt;
    }
    auto it = world_.findHandles.find(find);
    if (it == world_.findHandles.end() || it->second.next >= it->second.entries.size()) {
        return std::nullopt;
    }
    return it->second.entries[it->second.next++];
}

void SimFiles::FindClose(Handle find) {
    if (world_.Enter("FindClose") != 0) {
        return;
    }
    if (world_.findHandles.erase(find) == 0) {
        ++world_.badCloses;
    }
}

Status SimFiles::DeleteFile(std::u16string_view path) {
    // A link goes as a link: its target stays. A folder link is a folder here and refuses.
    Target target = Resolve("DeleteFileW", path, false);
    if (target.error != 0) {
        return {target.error};
    }
    const std::u16string& full = target.path;
    FileNode* node = world_.Node(full);
    if (node == nullptr) {
        return {MissingError(full)};
    }
    if (node->folder || (world_.DataOf(*node).attributes & kFileAttributeReadOnly) != 0 ||
        !world_.Writable(World::ParentOf(full))) {
        return {win_error::kAccessDenied};
    }
    world_.Journal("DeleteFileW " + ToUtf8(node->path));
    world_.EraseName(full);
    return {0};
}

Status SimFiles::RemoveDirectory(std::u16string_view path) {
    // A folder link goes as a link, whatever its target holds (the link has no children of its own).
    Target target = Resolve("RemoveDirectoryW", path, false);
    if (target.error != 0) {
        return {target.error};
    }
    const std::u16string& full = target.path;
    FileNode* node = world_.Node(full);
    if (node == nullptr) {
        return {MissingError(full)};
    }
    if (!node->folder) {
        return {sim_error::kDirectory};
    }
    if (full.size() <= 2 || (node->attributes & kFileAttributeReadOnly) != 0 ||
        !world_.Writable(World::ParentOf(full))) {
        return {win_error::kAccessDenied};
    }
    if (!world_.Children(full).empty()) {
        return {win_error::kDirNotEmpty};
    }
    world_.Journal("RemoveDirectoryW " + ToUtf8(node->path));
    world_.files.erase(Fold(full));
    return {0};
}

Status SimFiles::CreateDirectory(std::u16string_view path) {
    Target target = Resolve("CreateDirectoryW", path, false);
    if (target.error != 0) {
        return {target.error};
    }
    const std::u16string& full = target.path;
    if (world_.Node(full) != nullptr) {
        return {win_error::kAlreadyExists};
    }
    if (const std::uint32_t refused = RefuseInParent(world_, full); refused != 0) {
        return {refused};
    }
    (void)world_.MakeFolder(full);
    world_.Journal("CreateDirectoryW " + ToUtf8(full));
    return {0};
}

Status SimFiles::CopyFile(std::u16string_view source, std::u16string_view target, bool failIfExists) {
    if (std::uint32_t error = world_.Enter("CopyFileW", source)) {
        return {error};
    }
    if (HasWildcard(source) || HasWildcard(target)) {
        return {sim_error::kInvalidName};
    }
    auto from = Locate(source, true);
    if (!from) {
        return {win_error::kPathNotFound};
    }
    FileNode* sourceNode = world_.Node(*from);
    if (sourceNode == nullptr) {
        return {MissingError(*from)};
    }
    if (sourceNode->folder) {
        return {win_error::kAccessDenied};
    }
    // A link at the target is followed: the copy lands where it points.
    auto to = Locate(target, true);
    if (!to) {
        return {win_error::kPathNotFound};
    }
    FileNode* targetParent = world_.Node(World::ParentOf(*to));
    if (targetParent == nullptr || !targetParent->folder) {
        return {win_error::kPathNotFound};
    }
    FileNode* existing = world_.Node(*to);
    if (existing != nullptr && failIfExists) {
        return {sim_error::kFileExists};
    }
    if ((existing != nullptr && (existing->folder || (existing->attributes & kFileAttributeReadOnly) != 0)) ||
        !targetParent->writable) {
        return {win_error::kAccessDenied};
    }
    FileNode copy = world_.DataOf(*sourceNode);
    copy.hardLinkOf.clear();
    copy.path = existing != nullptr ? existing->path : *to;
    copy.attributes |= kFileAttributeArchive;
    world_.Journal("CopyFileW " + ToUtf8(sourceNode->path) + " -> " + ToUtf8(copy.path));
    world_.files[Fold(*to)] = std::move(copy);
    return {0};
}

bool SimFiles::PathFileExists(std::u16string_view path) {
    if (world_.Enter("PathFileExistsW", path) != 0 || HasWildcard(path)) {
        return false;
    }
    auto full = Locate(path, false);
    return full && world_.Node(*full) != nullptr;
}

int SimFiles::ShellDeleteTree(std::u16string_view sourceList, std::uint16_t flags) {
    std::vector<std::u16string> sources;
    for (std::size_t at = 0; at < sourceList.size();) {
        std::size_t end = sourceList.find(u'\0', at);
        if (end == std::u16string_view::npos) {
            end = sourceList.size();
        }
        if (end == at) {
            break;
        }
        sources.emplace_back(sourceList.substr(at, end - at));
        at = end + 1;
    }
    if (std::uint32_t error = world_.Enter("SHFileOperationW", sources.empty() ? u"" : sources.front())) {
        return static_cast<int>(error);
    }
    if ((flags & kFofNoConfirmation) == 0) {
        // The shell would ask before deleting; nobody answers in an unattended run.
        return static_cast<int>(sim_error::kCancelled);
    }
    // Every source is checked before anything is deleted.
    // A link, as the source or anywhere in the tree, goes as a link and is never descended into: what
    // IFileOperation, behind SHFileOperationW since Windows Vista, does with file-system junctions (Raymond
    // Chen, "The Old New Thing": it skips NTFS junction points whatever FOFX_ flags are given). Windows XP's
    // shell deleted the target's files (Microsoft's article on creating junction points in Windows XP warns
    // of it); the cleaners hand the shell no tree holding a link, so that older rule never matters.
    std::vector<std::u16string> targets;
    for (const auto& source : sources) {
        auto full = Locate(source, false);
        if (!full || HasWildcard(*full)) {
            return static_cast<int>(win_error::kFileNotFound);
        }
        FileNode* node = world_.Node(*full);
        if (node == nullptr) {
            return static_cast<int>(win_error::kFileNotFound);
        }
        if (full->size() <= 2 || !world_.Writable(World::ParentOf(*full))) {
            return static_cast<int>(win_error::kAccessDenied);
        }
        std::u16string prefix = Fold(*full) + u"\\";
        for (auto it = world_.files.lower_bound(prefix);
             it != world_.files.end() && it->first.starts_with(prefix); ++it) {
            if (it->second.folder && !it->second.writable) {
                return static_cast<int>(win_error::kAccessDenied);
            }
        }
        targets.push_back(node->path);
    }
    if (targets.empty()) {
        return static_cast<int>(win_error::kFileNotFound);
    }
    for (const auto& target : targets) {
        std::u16string key = Fold(target);
        std::u16string prefix = key + u"\\";
        std::vector<std::u16string> doomed;
        for (auto it = world_.files.lower_bound(key); it != world_.files.end(); ++it) {
            if (it->first != key && !it->first.starts_with(prefix)) {
                break;
            }
            doomed.push_back(it->second.path);
        }
        for (const auto& name : doomed) {
            world_.EraseName(name);
        }
        char flagText[8];
        std::snprintf(flagText, sizeof flagText, " 0x%x", static_cast<unsigned>(flags));
        world_.Journal("SHFileOperationW FO_DELETE " + ToUtf8(target) + flagText);
    }
    return 0;
}

std::optional<std::u16string> SimFiles::GetSpecialFolderPath(int csidl, bool create) {
    if (world_.Enter("SHGetSpecialFolderPathW") != 0) {
        return std::nullopt;
    }
    auto it = world_.specialFolders.find(csidl);
    if (it == world_.specialFolders.end()) {
        return std::nullopt;
    }
    const std::optional<std::u16string>& configured = it->second;
    if (!configured.has_value()) {
        return std::nullopt;
    }
    const std::u16string& folder = *configured;
    auto full = world_.Normalize(folder);
    if (create && full.has_value() && world_.Node(full.value()) == nullptr) {
        (void)world_.MakeFolder(*full);
        world_.Journal("CreateDirectoryW " + ToUtf8(*full));
    }
    return folder;
}

std::u16string SimFiles::GetWindowsDirectory() {
    if (world_.Enter("GetWindowsDirectoryW") != 0) {
        return {};
    }
    return world_.windowsDirectory;
}

std::u16string SimFiles::GetSystemDirectory() {
    if (world_.Enter("GetSystemDirectoryW") != 0) {
        return {};
    }
    return world_.windowsDirectory + u"\\System32";
}

std::optional<std::u16string> SimFiles::GetRedirectedSystemDirectory() {
    if (!world_.wow64 || world_.Enter("GetSystemWow64DirectoryW") != 0) {
        return std::nullopt;
    }
    return world_.windowsDirectory + u"\\SysWOW64";
}

bool SimFiles::AppendText(std::u16string_view path, std::string_view text) {
    if (world_.Enter("fopen", path) != 0 || HasWildcard(path)) {
        return false;
    }
    // The folder is the one the caller names, links on the way included; the name itself must be the file:
    // what opens must lie at the folder's final path and the name, which also refuses a link Wine hides.
    auto full = Locate(path, false);
    const auto named = world_.Normalize(path);
    const auto folder = named ? world_.ResolveLinks(World::ParentOf(*named), true) : std::nullopt;
    if (!full || !folder || Fold(*full) != Fold(*folder + u"\\" + World::LeafOf(*named)) ||
        !world_.Writable(World::ParentOf(*full))) {
        return false;
    }
    FileNode* node = world_.Node(*full);
    if (node != nullptr && (node->folder || node->IsLink() || world_.LinkCount(*node) > 1 ||
                            (node->attributes & kFileAttributeReadOnly) != 0)) {
        return false;
    }
    if (node == nullptr) {
        node = &world_.files[Fold(*full)];
        node->path = *full;
    }
    for (char c : text) {
        if (c == '\n') {
            node->contents.push_back('\r');
        }
        node->contents.push_back(c);
    }
    return true;
}

// The name must be the file itself in the folder it names, as for AppendText.
FileBytes SimFiles::ReadFileBytes(std::u16string_view path, std::uint64_t maxBytes) {
    Target target = Resolve("CreateFileW", path, false);
    if (target.error != 0) {
        return {target.error, false, {}};
    }
    FileNode* node = world_.Node(target.path);
    if (node == nullptr) {
        return {MissingError(target.path), false, {}};
    }
    const auto named = world_.Normalize(path);
    const auto folder = named ? world_.ResolveLinks(World::ParentOf(*named), true) : std::nullopt;
    if (node->folder || node->IsLink() || world_.LinkCount(*node) > 1 || !named || !folder ||
        Fold(target.path) != Fold(*folder + u"\\" + World::LeafOf(*named)) ||
        node->contents.size() > maxBytes) {
        return {0, true, {}};
    }
    return {0, false, node->contents};
}

Status SimFiles::CreateNewFile(std::u16string_view path, std::string_view bytes) {
    Target target = Resolve("CreateFileW", path, false);
    if (target.error != 0) {
        return {target.error};
    }
    const std::u16string& full = target.path;
    if (world_.Node(full) != nullptr) {
        return {sim_error::kFileExists};
    }
    // A link on the way would lead the new file elsewhere: refused, nothing created.
    if (Fold(full) != Fold(world_.Normalize(path).value_or(u""))) {
        return {win_error::kAccessDenied};
    }
    if (const std::uint32_t refused = RefuseInParent(world_, full); refused != 0) {
        return {refused};
    }
    FileNode& node = world_.files[Fold(full)];
    node.path = full;
    node.contents = std::string(bytes);
    world_.Journal("CreateFileW " + ToUtf8(full));
    return {0};
}

// "r+" needs a file that exists and may be written: a read-only file, a folder or a file in a folder that
// refuses changes cannot be opened so.
Handle SimFiles::OpenTextForUpdate(std::u16string_view path) {
    if (world_.Enter("_wfopen", path) != 0 || HasWildcard(path)) {
        return 0;
    }
    auto full = Locate(path, true);
    if (!full) {
        return 0;
    }
    const FileNode* node = world_.Node(*full);
    if (node == nullptr || node->folder || (node->attributes & kFileAttributeReadOnly) != 0 ||
        !world_.Writable(World::ParentOf(*full))) {
        return 0;
    }
    Handle handle = world_.NewHandle();
    world_.textFiles[handle] = {node->contents, 0};
    return handle;
}

// Text mode: CR LF arrives as "\n"; each byte becomes one character, as the C locale converts it.
std::optional<std::u16string> SimFiles::ReadTextLine(Handle file, std::uint32_t bufferChars) {
    (void)world_.Enter("fgetws");
    auto open = world_.textFiles.find(file);
    if (open == world_.textFiles.end() || bufferChars < 2) {
        return std::nullopt;
    }
    World::TextFileState& state = open->second;
    std::u16string line;
    while (line.size() + 1 < bufferChars && state.position < state.contents.size()) {
        char byte = state.contents[state.position++];
        if (byte == '\r' && state.position < state.contents.size() &&
            state.contents[state.position] == '\n') {
            continue;
        }
        line.push_back(static_cast<char16_t>(static_cast<unsigned char>(byte)));
        if (byte == '\n') {
            break;
        }
    }
    if (line.empty()) {
        return std::nullopt;
    }
    return line;
}

void SimFiles::CloseText(Handle file) {
    (void)world_.Enter("fclose");
    world_.textFiles.erase(file);
}

}  // namespace spoolsweep::sim
