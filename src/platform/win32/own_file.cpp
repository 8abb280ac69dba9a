#include "platform/win32/own_file.h"

#include <utility>

namespace spoolsweep::win32 {
namespace {

// "\\?\C:\x" as "C:\x", "\\?\UNC\server\x" as "\\server\x".
std::u16string DropLongPathPrefix(std::u16string path) {
    if (path.starts_with(u"\\\\?\\UNC\\")) {
        return u"\\\\" + path.substr(8);
    }
    if (path.starts_with(u"\\\\?\\")) {
        return path.substr(4);
    }
    return path;
}

// The folder part of a path ("." for a bare name, a root kept as "C:\" or "\") and the name after it.
std::pair<std::u16string, std::u16string> SplitFolder(std::u16string_view path) {
    const std::size_t slash = path.find_last_of(u"\\/");
    if (slash == std::u16string_view::npos) {
        return {u".", std::u16string(path)};
    }
    const bool root = slash == 0 || path[slash - 1] == u':';
    return {std::u16string(path.substr(0, root ? slash + 1 : slash)), std::u16string(path.substr(slash + 1))};
}

// The final path the file must have: its folder, opened as the caller names it (the folder is the caller's
// to trust), and the file's own name.
std::optional<std::u16string> ExpectedFinalPath(std::u16string_view path) {
    const auto [folder, name] = SplitFolder(path);
    const std::wstring wideFolder = Wide(folder);
    const unique_file folderHandle(::CreateFileW(
        wideFolder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::optional<std::u16string> folderPath = folderHandle ? FinalPathOf(folderHandle.get()) : std::nullopt;
    if (!folderPath) {
        return std::nullopt;
    }
    if (!folderPath->ends_with(u'\\')) {
        folderPath->push_back(u'\\');
    }
    return *folderPath + name;
}

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
    const std::wstring first = Wide(a);
    const std::wstring second = Wide(b);
    return ::CompareStringOrdinal(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                                  static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
}

// Opening never follows a final link (FILE_FLAG_OPEN_REPARSE_POINT) and never creates through one: a missing
// file is made with CREATE_NEW, which fails on any name that exists (OPEN_ALWAYS would create a dangling
// link's target under Wine). A name that is neither there to open nor free to create is such a link.
OwnFile OpenOrCreate(const std::wstring& name, DWORD access) {
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    OwnFile opened{
        unique_file(::CreateFileW(name.c_str(), access, kShare, nullptr, OPEN_EXISTING, kFlags, nullptr))};
    if (!opened.file && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
        opened.file.reset(::CreateFileW(name.c_str(), access, kShare, nullptr, CREATE_NEW, kFlags, nullptr));
        opened.refused = !opened.file && ::GetLastError() == ERROR_FILE_EXISTS;
    }
    return opened;
}

}  // namespace

bool IsOwnPlainFile(HANDLE file, std::u16string_view path) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        information.nNumberOfLinks != 1 || ::GetFileType(file) != FILE_TYPE_DISK) {
        return false;
    }
    const std::optional<std::u16string> finalPath = FinalPathOf(file);
    const std::optional<std::u16string> expected = ExpectedFinalPath(path);
    return finalPath && expected && EqualIgnoringCase(*finalPath, *expected);
}

bool IsAtPath(HANDLE file, std::u16string_view fullPath) {
    const std::optional<std::u16string> finalPath = FinalPathOf(file);
    return finalPath && EqualIgnoringCase(*finalPath, fullPath);
}

std::optional<std::u16string> FinalPathOf(HANDLE handle) {
    std::wstring finalPath(MAX_PATH, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(handle, finalPath.data(), static_cast<DWORD>(finalPath.size()),
                                               FILE_NAME_NORMALIZED);
    if (length >= finalPath.size()) {
        finalPath.resize(length);
        length = ::GetFinalPathNameByHandleW(handle, finalPath.data(), static_cast<DWORD>(finalPath.size()),
                                             FILE_NAME_NORMALIZED);
    }
    if (length == 0 || length >= finalPath.size()) {
        return std::nullopt;
    }
    return DropLongPathPrefix(FromWide(finalPath.c_str(), length));
}

OwnFile OpenOwnFileForWrite(std::u16string_view path, OwnFileWrite mode) {
    // An append-only handle writes at the end whatever the file position; replacing needs the data right.
    const DWORD access =
        FILE_READ_ATTRIBUTES | (mode == OwnFileWrite::Append ? FILE_APPEND_DATA : FILE_WRITE_DATA);
    OwnFile opened = OpenOrCreate(Wide(path), access);
    if (!opened.file) {
        return opened;
    }
    if (!IsOwnPlainFile(opened.file.get(), path)) {
        opened.file.reset();
        opened.refused = true;
        return opened;
    }
    // Emptied only now: truncating at the open would have emptied whatever a link led to.
    if (mode == OwnFileWrite::Replace && !::SetEndOfFile(opened.file.get())) {
        opened.file.reset();
    }
    return opened;
}

}  // namespace spoolsweep::win32
