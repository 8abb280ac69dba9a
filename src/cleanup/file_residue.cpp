#include "cleanup/file_residue.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "cleanup/registry_facts.h"
#include "cleanup/safe_paths.h"
#include "platform/text.h"
#include "platform/win_errors.h"

namespace spoolsweep {
namespace {

bool Exists(Files& files, std::u16string_view path) {
    return !path.empty() && files.GetStatus(path).has_value();
}

bool IsFolder(Files& files, std::u16string_view path) {
    if (path.empty()) {
        return false;
    }
    const auto attributes = files.GetStatus(path);
    return attributes && (*attributes & kFileAttributeDirectory) != 0;
}

bool IsLink(std::uint32_t attributes) {
    return (attributes & kFileAttributeReparsePoint) != 0;
}

bool IsLinkAt(Files& files, std::u16string_view path) {
    const auto attributes = files.GetStatus(path);
    return attributes && IsLink(*attributes);
}

// True when a folder on the way from `root` (a Temp folder, Application Data, the system folder) to the last
// component of `path` is a link: a user who may write below the root could have made it one to point the
// deletion elsewhere. The root itself is where the work is meant to happen.
bool CrossesLink(Files& files, std::u16string_view root, std::u16string_view path) {
    for (std::size_t at = path.find(u'\\', root.size() + 1); at != std::u16string_view::npos;
         at = path.find(u'\\', at + 1)) {
        if (IsLinkAt(files, path.substr(0, at))) {
            return true;
        }
    }
    return false;
}

// What may be done to a match that is no link by its attributes.
enum class MatchHandling {
    ResetAndDelete,  // its one name, where its folder says: as any plain file
    DeleteOnly,      // a second name of a file (a hard link): the reset would reach the other names' file
    Leave,           // it opens elsewhere: a link Wine does not report, whose deletion takes the target
};

MatchHandling HandleMatch(Files& files, std::u16string_view folderFinal, std::u16string_view path,
                          std::u16string_view name) {
    const auto identity = files.QueryIdentity(path);
    if (!identity || folderFinal.empty()) {
        return MatchHandling::DeleteOnly;
    }
    std::u16string expected(folderFinal);
    expected.append(u"\\").append(name);
    if (IsLink(identity->attributes) || !EqualIgnoringAsciiCase(expected, identity->finalPath)) {
        return MatchHandling::Leave;
    }
    return identity->linkCount == 1 ? MatchHandling::ResetAndDelete : MatchHandling::DeleteOnly;
}

// Deletes `path`, the name `name` in the folder whose final path is `folderFinal`, unless it is a file that
// opens elsewhere (a link Wine does not report, whose DeleteFileW would delete the target). A link goes as a
// link; the attributes of a plain file's one name are reset first when `reset` asks for it.
void DeleteOwnName(Files& files, std::u16string_view folderFinal, std::u16string_view path,
                   std::u16string_view name, bool reset) {
    const auto attributes = files.GetStatus(path);
    if (!attributes) {
        return;
    }
    const MatchHandling handling =
        IsLink(*attributes) ? MatchHandling::DeleteOnly : HandleMatch(files, folderFinal, path, name);
    if (handling == MatchHandling::Leave) {
        return;
    }
    if (reset && handling == MatchHandling::ResetAndDelete) {
        static_cast<void>(files.SetAttributes(path, 0));
    }
    static_cast<void>(files.DeleteFile(path));
}

// The final path of the folder a path lies in, empty when it cannot be opened.
std::u16string FinalPathOfFolder(Files& files, std::u16string_view folder) {
    const auto identity = files.QueryIdentity(folder.empty() ? std::u16string_view(u".") : folder);
    return identity ? identity->finalPath : std::u16string();
}

// DeleteFileW on one name the cleaners build (never reset first), with the same care as for a match.
void DeleteNamedFile(Files& files, const std::u16string& path) {
    const std::size_t cut = path.rfind(u'\\');
    if (cut != std::u16string::npos) {
        const std::u16string_view view(path);
        DeleteOwnName(files, FinalPathOfFolder(files, view.substr(0, cut)), view, view.substr(cut + 1),
                      false);
    }
}

// Removes a link as a link: RemoveDirectoryW for one that shows as a folder, DeleteFileW for one to a file.
Status RemoveLink(Files& files, std::u16string_view path, std::uint32_t attributes) {
    return (attributes & kFileAttributeDirectory) != 0 ? files.RemoveDirectory(path) : files.DeleteFile(path);
}

// A folder pattern "...\folder\*" without its last two characters: the folder itself.
std::u16string_view FolderOfPattern(std::u16string_view pattern) {
    return pattern.substr(0, pattern.size() - 2);
}

// Deletes the files directly in a folder named by "...\folder\*", then the folder when it is left empty
// (RemoveDirectoryW refuses one that still holds anything).
void EmptyAndRemoveFolder(Files& files, std::u16string_view pattern) {
    // A folder that is a link is not looked into: the link alone goes.
    const std::u16string_view folder = FolderOfPattern(pattern);
    if (!IsLinkAt(files, folder)) {
        DeleteMatchingFiles(files, pattern);
    }
    if (Exists(files, folder)) {
        static_cast<void>(files.RemoveDirectory(folder));
    }
}

void DeleteMatch(Files& files, std::u16string_view folderPrefix, std::u16string_view folderFinal,
                 const FindEntry& match) {
    if (match.name == u"." || match.name == u"..") {
        return;
    }
    std::u16string path(folderPrefix);
    path.append(match.name);
    if (path.size() >= kMaxPath) {
        return;
    }
    // Every match found by the status query is reset, a folder too; DeleteFileW then leaves a folder in
    // place. A link is never reset (the reset could reach its target) and goes as a link: DeleteFileW
    // removes a link to a file itself and refuses a link to a folder, which stays as a plain folder would.
    DeleteOwnName(files, folderFinal, path, match.name, true);
}

// Takes the links out of a folder tree, each as a link, so that whatever deletes the tree afterwards finds
// none to follow. Plain folders are walked; a link is never entered.
void RemoveLinksInTree(Files& files, const std::u16string& folder, int depth) {
    constexpr int kMaxDepth = 64;
    const std::u16string pattern = folder + u"\\*";
    if (depth > kMaxDepth || pattern.size() >= kMaxPath) {
        return;
    }
    FindResult search = files.FindFirst(pattern);
    const FindHandle find(search.find, {&files});
    if (!find) {
        return;
    }
    FindEntry entry = std::move(search.first);
    for (;;) {
        if (entry.name != u"." && entry.name != u"..") {
            const std::u16string path = folder + u"\\" + entry.name;
            if (IsLink(entry.attributes)) {
                static_cast<void>(RemoveLink(files, path, entry.attributes));
            } else if ((entry.attributes & kFileAttributeDirectory) != 0) {
                RemoveLinksInTree(files, path, depth + 1);
            }
        }
        auto next = files.FindNext(find.get());
        if (!next) {
            return;
        }
        entry = std::move(*next);
    }
}

std::optional<std::u16string> GetAppDataFolder(Files& files) {
    auto folder = files.GetSpecialFolderPath(kCsidlAppData, false);
    if (!folder || folder->empty()) {
        return std::nullopt;
    }
    return folder;
}

// The first preset candidate (the "DMT_" one, else the "DrvJP_" one) that exists, built under the
// presets folder of Application Data from the tails given.
std::optional<std::u16string> FindPresetCandidate(Files& files, std::u16string_view dataFileBase,
                                                  std::u16string_view dmtTail,
                                                  std::u16string_view drvJpTail) {
    const auto appData = GetAppDataFolder(files);
    const auto presets = appData ? BuildPathInFolder(*appData, kPresetsFolder, {}) : std::nullopt;
    if (!presets) {
        return std::nullopt;
    }
    for (std::u16string_view tail : {dmtTail, drvJpTail}) {
        auto path = BuildPathInFolder(*presets, tail, {dataFileBase});
        if (path && files.PathFileExists(*path)) {
            // The candidate stands, but a link on its way leaves it alone rather than reach elsewhere.
            return CrossesLink(files, *appData, *path) ? std::nullopt : path;
        }
    }
    return std::nullopt;
}

void DeleteHardwareIdFolders(Files& files, std::u16string_view pnpHardwareId) {
    const std::u16string systemFolder = files.GetSystemDirectory();
    for (std::u16string_view environment : kEnvironmentFolders) {
        const auto environmentFolder = BuildPathInFolder(systemFolder, u"spool\\drivers\\%s", {environment});
        if (!environmentFolder || !Exists(files, *environmentFolder)) {
            continue;
        }
        if (const auto pattern =
                BuildPathInFolder(systemFolder, u"spool\\drivers\\%s\\%s\\*", {environment, pnpHardwareId});
            pattern && !CrossesLink(files, systemFolder, FolderOfPattern(*pattern))) {
            EmptyAndRemoveFolder(files, *pattern);
        }
    }
}

}  // namespace

void DeleteMatchingFiles(Files& files, std::u16string_view pattern) {
    const std::size_t lastSeparator = pattern.rfind(u'\\');
    const std::u16string_view folderPrefix = lastSeparator == std::u16string_view::npos
                                                 ? std::u16string_view{}
                                                 : pattern.substr(0, lastSeparator + 1);

    FindResult search = files.FindFirst(pattern);
    const FindHandle find(search.find, {&files});
    if (!find) {
        return;
    }
    const std::u16string folderFinal =
        FinalPathOfFolder(files, folderPrefix.substr(0, folderPrefix.empty() ? 0 : folderPrefix.size() - 1));
    // As the framework's search does: advance first, then handle the match in hand.
    FindEntry current = std::move(search.first);
    for (;;) {
        auto next = files.FindNext(find.get());
        DeleteMatch(files, folderPrefix, folderFinal, current);
        if (!next) {
            return;
        }
        current = std::move(*next);
    }
}

std::u16string GetWindowsTempPath(Files& files) {
    const std::u16string windowsFolder = files.GetWindowsDirectory();
    if (windowsFolder.empty()) {
        return {};
    }
    return windowsFolder + u"\\Temp";
}

void DeletePrinterTempFiles(Files& files, Registry& registry, std::u16string_view printerName,
                            std::u16string_view serverName) {
    std::u16string fileName(printerName);
    std::replace(fileName.begin(), fileName.end(), u'\\', u',');
    for (const std::u16string& folder : {GetUserTempPath(registry), GetWindowsTempPath(files)}) {
        if (!IsFolder(files, folder) || serverName.empty()) {
            continue;
        }
        if (const auto pattern = BuildPathInFolder(folder, u"%s.tmp", {fileName})) {
            DeleteMatchingFiles(files, *pattern);
        }
    }
}

void DeleteDriverFiles(Files& files, Registry& registry, std::u16string_view dataFileBase,
                       std::u16string_view dsDriverName, std::u16string_view pnpHardwareId) {
    for (const std::u16string& folder : {GetUserTempPath(registry), GetWindowsTempPath(files)}) {
        if (!IsFolder(files, folder)) {
            continue;
        }
        if (!dataFileBase.empty()) {
            if (const auto pattern = BuildPathInFolder(folder, u"%s.wmk", {dataFileBase})) {
                DeleteMatchingFiles(files, *pattern);
            }
        }
        if (!dsDriverName.empty()) {
            for (std::u16string_view tail : {u"%s.tmp", u",,%s.tmp"}) {
                if (const auto pattern = BuildPathInFolder(folder, tail, {dsDriverName})) {
                    DeleteMatchingFiles(files, *pattern);
                }
            }
        }
    }
    if (!pnpHardwareId.empty()) {
        DeleteHardwareIdFolders(files, pnpHardwareId);
    }
    DeletePresetPreferences(files, dataFileBase);
}

void DeletePresetPreferences(Files& files, std::u16string_view dataFileBase) {
    // Only the "preferences" file goes; the preset folder and its other files stay.
    if (const auto path =
            FindPresetCandidate(files, dataFileBase, u"DMT_%s.PPD\\EssentialPresets\\preferences",
                                u"DrvJP_%s.PPD\\EssentialPresets\\preferences")) {
        DeleteNamedFile(files, *path);
    }
}

void DeletePresetFolder(Files& files, std::u16string_view dataFileBase) {
    if (const auto path = FindPresetCandidate(files, dataFileBase, u"DMT_%s.PPD", u"DrvJP_%s.PPD")) {
        static_cast<void>(DeleteFolderTree(files, *path));
    }
}

void DeleteSharedResidue(Files& files, Registry& registry) {
    const std::u16string systemFolder = files.GetSystemDirectory();
    for (std::u16string_view environment : kEnvironmentFolders) {
        const auto environmentFolder = BuildPathInFolder(systemFolder, u"spool\\drivers\\%s", {environment});
        const auto pattern = BuildPathInFolder(systemFolder, u"spool\\drivers\\%s\\*", {environment});
        if (environmentFolder && pattern && Exists(files, *environmentFolder) &&
            !CrossesLink(files, systemFolder, *pattern)) {
            DeleteMatchingFiles(files, *pattern);
        }
    }
    if (const auto userAuth = BuildPathInFolder(GetUserTempPath(registry), u"NorvelUserAuth", {});
        userAuth && Exists(files, *userAuth)) {
        DeleteNamedFile(files, *userAuth);
    }
    // The folder is tested itself, not through its wildcard pattern: a status query on a pattern depends on
    // how the platform answers wildcards, the folder's does not.
    if (const auto pattern = BuildPathInFolder(GetUserTempPath(registry), u"Trackwell\\*", {});
        pattern && Exists(files, FolderOfPattern(*pattern))) {
        EmptyAndRemoveFolder(files, *pattern);
    }
}

int DeleteFolderTree(Files& files, std::u16string_view path) {
    // The shell expands wildcards in its source list and reads a null as the end of a path: such a path
    // names no single folder, and nothing is deleted.
    if (path.empty() || path.find_first_of(std::u16string_view(u"*?\0", 3)) != std::u16string_view::npos) {
        return static_cast<int>(win_error::kInvalidParameter);
    }
    // The shell is handed no link: not as the folder (which then goes as a link), and not inside it. Windows
    // XP's shell deleted a junction's target with it; what a later shell does is nowhere promised.
    if (const auto attributes = files.GetStatus(path); attributes && IsLink(*attributes)) {
        return static_cast<int>(RemoveLink(files, path, *attributes).error);
    }
    RemoveLinksInTree(files, std::u16string(path), 0);
    std::u16string sourceList(path);
    sourceList.append(2, u'\0');
    return files.ShellDeleteTree(sourceList, kFofSilentNoConfirmationNoErrorUi);
}

UpdaterFolders SelectUpdaterFolders(System& system) {
    // The native architecture, not the one this process runs under: a 32-bit build on x64 Windows is
    // installed under "Program Files (x86)".
    if (system.NativeProcessorArchitecture() == kProcessorArchitectureAmd64) {
        return {u"C:\\Program Files (x86)\\Vantle", u"C:\\Program Files (x86)\\Vantle_temp"};
    }
    return {u"C:\\Program Files\\Vantle", u"C:\\Program Files\\Vantle_temp"};
}

void CopyUpdater(Files& files, System& system, UpdaterCopy direction) {
    const UpdaterFolders folders = SelectUpdaterFolders(system);
    const bool backup = direction == UpdaterCopy::Backup;
    const std::u16string& target = backup ? folders.backup : folders.install;
    const std::u16string& source = backup ? folders.install : folders.backup;

    const Status created = files.CreateDirectory(target);
    if (!created.ok() && created.error != win_error::kAlreadyExists) {
        return;
    }
    const std::u16string exe = u"\\" + std::u16string(kUpdaterExeName);
    static_cast<void>(files.CopyFile(source + exe, target + exe, false));
}

std::vector<std::u16string> CollectRemainingDataFiles(Registry& registry, const PrinterCatalogue& catalogue) {
    std::vector<std::u16string> remaining;
    for (const PrinterRecord& printer : catalogue.printers) {
        if (printer.deleted == 0) {
            remaining.push_back(ReadDriverDataFileBase(registry, printer.driverName));
        }
    }
    return remaining;
}

int CountTamberDataFiles(const PrinterCatalogue& catalogue) {
    return static_cast<int>(std::count_if(catalogue.remainingDataFiles.begin(),
                                          catalogue.remainingDataFiles.end(),
                                          [](const std::u16string& name) { return HasNorvelPrefix(name); }));
}

}  // namespace spoolsweep
