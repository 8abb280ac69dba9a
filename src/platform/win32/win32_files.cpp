// The file seam over kernel32, shlwapi, shell32 and the C run-time's text streams.
#include <cstdio>
#include <utility>
#include <vector>

#include "platform/win32/own_file.h"
#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_seams.h"
#include "platform/win32/windows_api.h"
// After the Windows headers, which they need.
#include <aclapi.h>
#include <sddl.h>

namespace spoolsweep::win32 {
namespace {

// "S-1-5-32-544"; "?" when the SID cannot be written out.
std::string SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (sid == nullptr || !::ConvertSidToStringSidW(sid, &text)) {
        return "?";
    }
    const unique_local owner(text);
    std::string narrow;
    for (const wchar_t* at = text; *at != L'\0'; ++at) {
        narrow.push_back(static_cast<char>(*at));  // a SID string is ASCII
    }
    return narrow;
}

// The user of this process's token.
std::string CallerSid() {
    unique_handle token;
    DWORD size = 0;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return "?";
    }
    static_cast<void>(::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size));
    std::vector<BYTE> user(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) {
        return "?";
    }
    return SidText(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
}

FindEntry EntryOf(const WIN32_FIND_DATAW& data) {
    const bool link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    return {FromWide(data.cFileName), data.dwFileAttributes, link ? data.dwReserved0 : 0};
}

using FolderQuery = UINT(WINAPI*)(LPWSTR, UINT);

std::u16string QueryFolder(FolderQuery query) {
    wchar_t buffer[MAX_PATH + 1] = {};
    UINT length = query(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    return FromWide(buffer, length);
}

}  // namespace

std::optional<std::uint32_t> Win32Files::GetStatus(std::u16string_view path) {
    std::wstring name = Wide(path);
    DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return std::nullopt;
    }
    return attributes;
}

Status Win32Files::SetAttributes(std::u16string_view path, std::uint32_t attributes) {
    std::wstring name = Wide(path);
    DWORD value = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return {ErrorAfter(::SetFileAttributesW(name.c_str(), value) != FALSE)};
}

Status Win32Files::SetOwnAttributes(std::u16string_view path, std::uint32_t attributes) {
    const std::wstring name = Wide(path);
    const unique_file file(::CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING,
                                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file || !::GetFileInformationByHandle(file.get(), &information)) {
        return {ErrorAfter(false)};
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        information.nNumberOfLinks != 1 || !IsAtPath(file.get(), path)) {
        return {static_cast<std::uint32_t>(ERROR_ACCESS_DENIED)};
    }
    // Zero times are left as they are.
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return {
        ErrorAfter(::SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic) != FALSE)};
}

FileSecurity Win32Files::QuerySecurity(std::u16string_view path) {
    const std::wstring name = Wide(path);
    const unique_file file(::CreateFileW(
        name.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) {
        return FileSecurity::Failed(ErrorAfter(false));
    }
    PSID owner = nullptr;
    PACL access = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status =
        ::GetSecurityInfo(file.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                          &owner, nullptr, &access, nullptr, &descriptor);
    if (status != ERROR_SUCCESS) {
        return FileSecurity::Failed(static_cast<std::uint32_t>(status));
    }
    const unique_local held(descriptor);
    FileSecurity security{0, SidText(owner), CallerSid(), access != nullptr, {}};
    for (DWORD index = 0; access != nullptr && index < access->AceCount; ++index) {
        void* entry = nullptr;
        const auto* header =
            ::GetAce(access, index, &entry) ? static_cast<const ACE_HEADER*>(entry) : nullptr;
        if (header == nullptr ||
            (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE)) {
            security.entries.push_back({"?", true, 0xFFFFFFFF});
            continue;
        }
        // An allowed and a denied entry are laid out alike: header, rights, then the SID.
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        security.entries.push_back({SidText(&allowed->SidStart), header->AceType == ACCESS_ALLOWED_ACE_TYPE,
                                    static_cast<std::uint32_t>(allowed->Mask)});
    }
    return security;
}

Status Win32Files::CreatePrivateDirectory(std::u16string_view path) {
    // P: nothing inherited from the folders above; OICI: inherited by the files and folders made inside.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
                                                                SDDL_REVISION_1, &descriptor, nullptr)) {
        return {ErrorAfter(false)};
    }
    const unique_local held(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const std::wstring name = Wide(path);
    if (!::CreateDirectoryW(name.c_str(), &attributes)) {
        return {ErrorAfter(false)};
    }
    // The folder is kept only when it lies at the path itself: a link on the way, planted since the caller
    // looked, would have led it elsewhere, and then it goes again, by its handle, not by a name. (A folder
    // swapped in after this check is someone else's, and the restore's owner check refuses it.)
    const unique_file folder(::CreateFileW(
        name.c_str(), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (folder && IsAtPath(folder.get(), path)) {
        return {0};
    }
    if (folder) {
        FILE_DISPOSITION_INFO dispose{TRUE};
        static_cast<void>(
            ::SetFileInformationByHandle(folder.get(), FileDispositionInfo, &dispose, sizeof dispose));
    }
    return {static_cast<std::uint32_t>(ERROR_ACCESS_DENIED)};
}

std::optional<FileIdentity> Win32Files::QueryIdentity(std::u16string_view path) {
    const std::wstring name = Wide(path);
    const unique_file file(::CreateFileW(
        name.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file || !::GetFileInformationByHandle(file.get(), &information)) {
        return std::nullopt;
    }
    std::optional<std::u16string> finalPath = FinalPathOf(file.get());
    if (!finalPath) {
        return std::nullopt;
    }
    return FileIdentity{information.dwFileAttributes, information.nNumberOfLinks, std::move(*finalPath)};
}

FindResult Win32Files::FindFirst(std::u16string_view pattern) {
    std::wstring name = Wide(pattern);
    WIN32_FIND_DATAW data{};
    HANDLE find = ::FindFirstFileW(name.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return {0, ErrorAfter(false), {}};
    }
    return {ToPortable(find), 0, EntryOf(data)};
}

std::optional<FindEntry> Win32Files::FindNext(Handle find) {
    WIN32_FIND_DATAW data{};
    if (!::FindNextFileW(FromPortable<HANDLE>(find), &data)) {
        return std::nullopt;
    }
    return EntryOf(data);
}

void Win32Files::FindClose(Handle find) {
    unique_find owner(FromPortable<HANDLE>(find));
}

Status Win32Files::DeleteFile(std::u16string_view path) {
    std::wstring name = Wide(path);
    return {ErrorAfter(::DeleteFileW(name.c_str()) != FALSE)};
}

Status Win32Files::RemoveDirectory(std::u16string_view path) {
    std::wstring name = Wide(path);
    return {ErrorAfter(::RemoveDirectoryW(name.c_str()) != FALSE)};
}

Status Win32Files::CreateDirectory(std::u16string_view path) {
    std::wstring name = Wide(path);
    return {ErrorAfter(::CreateDirectoryW(name.c_str(), nullptr) != FALSE)};
}

Status Win32Files::CopyFile(std::u16string_view source, std::u16string_view target, bool failIfExists) {
    std::wstring from = Wide(source);
    std::wstring to = Wide(target);
    return {ErrorAfter(::CopyFileW(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE) != FALSE)};
}

bool Win32Files::PathFileExists(std::u16string_view path) {
    std::wstring name = Wide(path);
    return ::PathFileExistsW(name.c_str()) != FALSE;
}

int Win32Files::ShellDeleteTree(std::u16string_view sourceList, std::uint16_t flags) {
    // The shell reads the list up to a double null; two more nulls keep a list that lacks them bounded.
    std::wstring from = Wide(sourceList);
    from.append(2, L'\0');
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = flags;
    return ::SHFileOperationW(&operation);
}

std::optional<std::u16string> Win32Files::GetSpecialFolderPath(int csidl, bool create) {
    wchar_t buffer[MAX_PATH + 1] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, buffer, csidl, create ? TRUE : FALSE)) {
        return std::nullopt;
    }
    return FromWide(buffer);
}

std::u16string Win32Files::GetWindowsDirectory() {
    return QueryFolder(::GetWindowsDirectoryW);
}

std::u16string Win32Files::GetSystemDirectory() {
    return QueryFolder(::GetSystemDirectoryW);
}

std::optional<std::u16string> Win32Files::GetRedirectedSystemDirectory() {
    BOOL wow64 = FALSE;
    if (::IsWow64Process(::GetCurrentProcess(), &wow64) == FALSE || wow64 == FALSE) {
        return std::nullopt;
    }
    std::u16string folder = QueryFolder(::GetSystemWow64DirectoryW);
    return folder.empty() ? std::nullopt : std::optional<std::u16string>(std::move(folder));
}

bool Win32Files::AppendText(std::u16string_view path, std::string_view text) {
    const OwnFile log = OpenOwnFileForWrite(path, OwnFileWrite::Append);
    if (!log.file) {
        return false;
    }
    // Stored as the C run-time's text mode stores it: each "\n" as CR LF.
    std::string stored;
    stored.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') {
            stored.push_back('\r');
        }
        stored.push_back(c);
    }
    DWORD written = 0;
    return ::WriteFile(log.file.get(), stored.data(), static_cast<DWORD>(stored.size()), &written, nullptr) &&
           written == stored.size();
}

FileBytes Win32Files::ReadFileBytes(std::u16string_view path, std::uint64_t maxBytes) {
    const std::wstring name = Wide(path);
    const unique_file file(::CreateFileW(name.c_str(), GENERIC_READ | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        return {ErrorAfter(false), false, {}};
    }
    LARGE_INTEGER size{};
    if (!IsOwnPlainFile(file.get(), path) || !::GetFileSizeEx(file.get(), &size) ||
        static_cast<std::uint64_t>(size.QuadPart) > maxBytes) {
        return {0, true, {}};
    }
    FileBytes result;
    result.bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!result.bytes.empty() && !::ReadFile(file.get(), result.bytes.data(),
                                             static_cast<DWORD>(result.bytes.size()), &read, nullptr)) {
        return {ErrorAfter(false), false, {}};
    }
    result.bytes.resize(read);
    return result;
}

Status Win32Files::CreateNewFile(std::u16string_view path, std::string_view bytes) {
    const std::wstring name = Wide(path);
    const unique_file file(::CreateFileW(name.c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0,
                                         nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        return {ErrorAfter(false)};
    }
    // Written only once the new file is known to lie at the path itself: a link on the way, planted since
    // the caller looked, would have led the name elsewhere.
    const bool here = IsAtPath(file.get(), path);
    DWORD written = 0;
    if (here && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size()) {
        return {0};
    }
    const std::uint32_t error = here ? ErrorAfter(false) : static_cast<std::uint32_t>(ERROR_ACCESS_DENIED);
    // The file is this call's own, wherever it landed: it goes, by its handle, not by a name.
    FILE_DISPOSITION_INFO dispose{TRUE};
    static_cast<void>(
        ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose));
    return {error != 0 ? error : static_cast<std::uint32_t>(ERROR_WRITE_FAULT)};
}

Handle Win32Files::OpenTextForUpdate(std::u16string_view path) {
    const std::wstring wide = Wide(path);
    return ToPortable(::_wfopen(wide.c_str(), L"r+t"));
}

std::optional<std::u16string> Win32Files::ReadTextLine(Handle file, std::uint32_t bufferChars) {
    std::wstring buffer(bufferChars, L'\0');
    if (::fgetws(buffer.data(), static_cast<int>(bufferChars), FromPortable<std::FILE*>(file)) == nullptr) {
        return std::nullopt;
    }
    return FromWide(buffer.c_str());
}

void Win32Files::CloseText(Handle file) {
    std::fclose(FromPortable<std::FILE*>(file));
}

}  // namespace spoolsweep::win32
