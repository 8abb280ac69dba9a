#pragma once
// Files, folders, special folders and the shell's tree deletion. Paths are Windows paths.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/results.h"

namespace spoolsweep {

inline constexpr std::uint32_t kFileAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kFileAttributeHidden = 0x02;
inline constexpr std::uint32_t kFileAttributeSystem = 0x04;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeArchive = 0x20;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;
// A symbolic link or a junction: FindFirstFileW and GetFileAttributesW report the link's own attributes.
inline constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;
inline constexpr std::uint32_t kReparseTagMountPoint = 0xA0000003;  // a folder junction
inline constexpr std::uint32_t kReparseTagSymlink = 0xA000000C;

inline constexpr int kCsidlAppData = 26;
inline constexpr std::uint32_t kFoDelete = 3;
inline constexpr std::uint16_t kFofSilentNoConfirmationNoErrorUi = 0x0414;
inline constexpr std::uint32_t kMaxPath = 260;

struct FindEntry {
    std::u16string name;
    std::uint32_t attributes = 0;
    std::uint32_t reparseTag = 0;  // the link's kind when attributes hold kFileAttributeReparsePoint
};

// What a path names itself, its last component not followed when it is a link.
struct FileIdentity {
    std::uint32_t attributes = 0;
    std::uint32_t linkCount = 1;  // the names one file has: more than one is a hard link
    // Every link on the way resolved, without the "\\?\" prefix: a path that differs from the one asked
    // about went through a link (Wine shows a symbolic link to a file as a plain file, but not here).
    std::u16string finalPath;
};

// Accounts as SID strings.
inline constexpr std::string_view kSidAdministrators = "S-1-5-32-544";
inline constexpr std::string_view kSidSystem = "S-1-5-18";
inline constexpr std::string_view kSidCreatorOwner = "S-1-3-0";
inline constexpr std::string_view kSidUsers = "S-1-5-32-545";
inline constexpr std::uint32_t kFileAllAccess = 0x1F01FF;
inline constexpr std::uint32_t kFileReadAndExecute = 0x1200A9;
// The rights that change a file or folder, what it holds or who may: write or add a file, append or add a
// folder, extended attributes, delete a child, attributes, DELETE, WRITE_DAC, WRITE_OWNER, GENERIC_ALL and
// GENERIC_WRITE.
inline constexpr std::uint32_t kFileChangeRights = 0x500D0156;

// One entry of an access list: the account (a SID string), allowed or denied, and the rights.
struct AccessEntry {
    std::string trustee;
    bool allow = true;
    std::uint32_t rights = 0;
};

// Who owns a file or folder and who may do what with it, or why that could not be read.
struct FileSecurity {
    std::uint32_t error = 0;
    std::string owner;
    std::string caller;                // the account this process runs as (its token's user)
    bool hasAccessList = true;         // false: a NULL DACL, which grants everyone every right
    std::vector<AccessEntry> entries;  // an entry of another kind than allow or deny comes as "?" allowed all

    [[nodiscard]] static FileSecurity Failed(std::uint32_t error) {
        FileSecurity failed;
        failed.error = error;
        return failed;
    }
};

// A whole file's bytes, or why they were not read.
struct FileBytes {
    std::uint32_t error = 0;  // the open or read failed with this error
    bool refused = false;     // a link, a file with more than one name, no disk file, or larger than asked
    std::string bytes;
};

struct FindResult {
    Handle find = 0;  // 0 when nothing matched
    std::uint32_t error = 0;
    FindEntry first;
};

class Files {
  public:
    virtual ~Files() = default;

    // The status query: the attributes of a file or folder, nothing when it is not found.
    [[nodiscard]] virtual std::optional<std::uint32_t> GetStatus(std::u16string_view path) = 0;
    // SetFileAttributesW; 0 resets to normal.
    [[nodiscard]] virtual Status SetAttributes(std::u16string_view path, std::uint32_t attributes) = 0;
    // CreateFileW(FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, FILE_FLAG_OPEN_REPARSE_POINT |
    // FILE_FLAG_BACKUP_SEMANTICS), then SetFileInformationByHandle(FileBasicInfo) through that handle: the
    // attributes (0 resets to normal) of the file or folder the full path names itself. A reparse point, a
    // file with more than one name, or a handle whose final path is not the path (a link on the way, even
    // one planted since the caller looked) fails with access denied and changes nothing.
    [[nodiscard]] virtual Status SetOwnAttributes(std::u16string_view path, std::uint32_t attributes) = 0;
    // CreateFileW(FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, no data access), then
    // GetFileInformationByHandle and GetFinalPathNameByHandleW; nothing when the path cannot be opened.
    [[nodiscard]] virtual std::optional<FileIdentity> QueryIdentity(std::u16string_view path) = 0;
    // FindFirstFileW / FindNextFileW / FindClose: matches of a pattern whose last component may hold
    // wildcards.
    [[nodiscard]] virtual FindResult FindFirst(std::u16string_view pattern) = 0;
    [[nodiscard]] virtual std::optional<FindEntry> FindNext(Handle find) = 0;
    virtual void FindClose(Handle find) = 0;
    [[nodiscard]] virtual Status DeleteFile(std::u16string_view path) = 0;
    [[nodiscard]] virtual Status RemoveDirectory(std::u16string_view path) = 0;
    [[nodiscard]] virtual Status CreateDirectory(std::u16string_view path) = 0;
    [[nodiscard]] virtual Status CopyFile(std::u16string_view source, std::u16string_view target,
                                          bool failIfExists) = 0;
    [[nodiscard]] virtual bool PathFileExists(std::u16string_view path) = 0;
    // SHFileOperationW(FO_DELETE) on a source list (each path null-terminated, the list ends with one more
    // null); returns the shell's result code.
    [[nodiscard]] virtual int ShellDeleteTree(std::u16string_view sourceList, std::uint16_t flags) = 0;
    // SHGetSpecialFolderPathW(NULL, ..., csidl, create).
    [[nodiscard]] virtual std::optional<std::u16string> GetSpecialFolderPath(int csidl, bool create) = 0;
    // GetWindowsDirectoryW / GetSystemDirectoryW into 260 characters; empty on failure.
    [[nodiscard]] virtual std::u16string GetWindowsDirectory() = 0;
    [[nodiscard]] virtual std::u16string GetSystemDirectory() = 0;
    // For a WoW64 process (IsWow64Process), the folder the system folder opens as
    // (GetSystemWow64DirectoryW); nothing for a native process or when either call fails.
    [[nodiscard]] virtual std::optional<std::u16string> GetRedirectedSystemDirectory() = 0;
    // Appends text to path (relative paths name the current directory) as the C run-time's text mode does
    // (each "\n" is stored as CR LF), creating the file when it is missing. Only ever the file the path
    // names itself in its folder: false, and nothing written anywhere, when that name is a link (its final
    // path must be its folder's final path and its own name, which also catches a link Wine does not
    // report), when the file has more than one name, or when it is no disk file; false too when it cannot
    // be opened or written.
    [[nodiscard]] virtual bool AppendText(std::u16string_view path, std::string_view text) = 0;
    // CreateFileW(GENERIC_READ, FILE_FLAG_OPEN_REPARSE_POINT) and ReadFile to the end: only the plain file
    // the path names in its folder is read, under the same rule as AppendText, and none larger than
    // maxBytes.
    [[nodiscard]] virtual FileBytes ReadFileBytes(std::u16string_view path, std::uint64_t maxBytes) = 0;
    // CreateFileW(CREATE_NEW) and WriteFile: a new file holding bytes; fails on any name that exists, a link
    // to nothing included, so nothing is ever overwritten. The path is a full one; a link on its way fails
    // the call (access denied) and leaves nothing anywhere.
    [[nodiscard]] virtual Status CreateNewFile(std::u16string_view path, std::string_view bytes) = 0;
    // CreateFileW(READ_CONTROL, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS), then
    // GetSecurityInfo(OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION) on that handle: the owner and
    // access list of what the path names itself, a final link not followed.
    [[nodiscard]] virtual FileSecurity QuerySecurity(std::u16string_view path) = 0;
    // CreateDirectoryW with a protected access list (nothing inherited from above) that grants full control
    // to Administrators and SYSTEM alone, inherited by everything made inside. A folder that a link on the
    // way led elsewhere is taken back by its handle and the call fails with access denied.
    [[nodiscard]] virtual Status CreatePrivateDirectory(std::u16string_view path) = 0;
    // _wfopen(path, L"r+t"): opened for reading and updating in text mode; 0 when it cannot be opened so
    // (missing, read-only, locked).
    [[nodiscard]] virtual Handle OpenTextForUpdate(std::u16string_view path) = 0;
    // fgetws into a buffer of bufferChars: the next line with its "\n", or its next bufferChars - 1
    // characters when it is longer; nothing at the end of the file. Text mode reads CR LF as "\n".
    [[nodiscard]] virtual std::optional<std::u16string> ReadTextLine(Handle file,
                                                                     std::uint32_t bufferChars) = 0;
    virtual void CloseText(Handle file) = 0;
};

using FindHandle = UniqueResource<SeamCloser<Files, &Files::FindClose>>;
using TextFile = UniqueResource<SeamCloser<Files, &Files::CloseText>>;

}  // namespace spoolsweep
