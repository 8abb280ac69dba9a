#include "prefix_setup.h"

#include <array>
#include <cstdio>
#include <optional>

namespace spoolsweep::prefix {
namespace {

// The Unix path Wine maps a Windows path to (the file need not exist); nothing outside Wine.
std::optional<std::string> UnixName(const std::wstring& path) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = toUnix != nullptr ? toUnix(path.c_str()) : nullptr;
    if (name == nullptr) {
        return std::nullopt;
    }
    std::string unixName(name);
    static_cast<void>(::HeapFree(::GetProcessHeap(), 0, name));
    return unixName;
}

// One Linux system call with up to two pointer arguments; its result, or minus the errno. Under Wine this
// process is a Linux process and a `syscall` instruction in it goes straight to the kernel: Wine 8 enters its
// own code for Windows' system calls through function calls, never through this instruction. Starting /bin/ln
// or /bin/rm through Wine instead came to nothing now and then under load, even on a third start.
long CallLinux(long number, const char* first, const char* second = nullptr) {
#if defined(__x86_64__)
    long result = 0;
    asm volatile("syscall" : "=a"(result) : "a"(number), "D"(first), "S"(second) : "rcx", "r11", "memory");
    return result;
#else
    static_cast<void>(number), static_cast<void>(first), static_cast<void>(second);
    return -38;  // ENOSYS: the prefix tooling is built for x86_64 only
#endif
}

constexpr long kLinuxRmdir = 84;
constexpr long kLinuxUnlink = 87;
constexpr long kLinuxSymlink = 88;
constexpr long kNoEntry = -2;       // ENOENT
constexpr long kIsDirectory = -21;  // EISDIR

// Removes the Unix name and, for a real folder, what it holds, never following a link (as `rm -rf` does).
bool RemoveUnixTree(const std::wstring& path, const std::string& unixName) {
    const long unlinked = CallLinux(kLinuxUnlink, unixName.c_str());
    if (unlinked != kIsDirectory) {
        return unlinked == 0 || unlinked == kNoEntry;
    }
    WIN32_FIND_DATAW entry{};
    const win32::unique_find find(::FindFirstFileW((path + L"\\*").c_str(), &entry));
    bool removed = true;
    for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.get(), &entry) != FALSE) {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") {
            const std::wstring child = path + L"\\" + name;
            const std::optional<std::string> childName = UnixName(child);
            removed = childName && RemoveUnixTree(child, *childName) && removed;
        }
    }
    return removed && CallLinux(kLinuxRmdir, unixName.c_str()) == 0;
}

}  // namespace

bool ReportFailure(const wchar_t* call, const std::wstring& subject, DWORD error) {
    std::array<wchar_t, 512> message{};
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                    error, 0, message.data(), static_cast<DWORD>(message.size()), nullptr);
    while (length > 0 &&
           (message[length - 1] == L'\n' || message[length - 1] == L'\r' || message[length - 1] == L' ')) {
        message[--length] = L'\0';
    }
    std::fwprintf(stderr, L"%ls(%ls) failed: Win32 error %lu%ls%ls\n", call, subject.c_str(), error,
                  length > 0 ? L", " : L"", message.data());
    std::fflush(stderr);
    // The caller may read the error again.
    ::SetLastError(error);
    return false;
}

std::wstring DriverFolder(const std::wstring& environment) {
    std::array<wchar_t, MAX_PATH> folder{};
    DWORD needed = 0;
    std::wstring env = environment;
    if (!::GetPrinterDriverDirectoryW(nullptr, env.data(), 1, reinterpret_cast<BYTE*>(folder.data()),
                                      sizeof(folder), &needed)) {
        const DWORD error = ::GetLastError();
        ReportFailure(L"GetPrinterDriverDirectoryW", environment, error);
        return {};
    }
    return std::wstring(folder.data()) + L"\\";
}

bool WriteBytes(const std::wstring& path, std::string_view contents) {
    // A failed CreateFileW answers INVALID_HANDLE_VALUE, the "no handle" of these traits.
    const UniqueResource<win32::InvalidValueHandleTraits<&::CloseHandle>> file(::CreateFileW(
        path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return ReportFailure(L"CreateFileW", path, error);
    }
    DWORD written = 0;
    if (::WriteFile(file.get(), contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) ==
        FALSE) {
        const DWORD error = ::GetLastError();
        return ReportFailure(L"WriteFile", path, error);
    }
    if (written != contents.size()) {
        return ReportFailure(L"WriteFile", path + L" (short write)", ERROR_WRITE_FAULT);
    }
    return true;
}

bool InstallDriver(const std::wstring& environment, const std::wstring& name, const DriverFiles& files,
                   std::string_view contents) {
    const std::wstring folder = DriverFolder(environment);
    if (folder.empty()) {
        return false;
    }
    for (const std::wstring* file : {&files.driver, &files.data, &files.config}) {
        if (!WriteBytes(folder + *file, contents)) {
            return false;
        }
    }
    DriverFiles names = files;
    std::wstring driverName = name;
    std::wstring env = environment;
    DRIVER_INFO_3W info{};
    info.cVersion = 3;
    info.pName = driverName.data();
    info.pEnvironment = env.data();
    info.pDriverPath = names.driver.data();
    info.pDataFile = names.data.data();
    info.pConfigFile = names.config.data();
    if (::AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&info)) == FALSE) {
        const DWORD error = ::GetLastError();
        return ReportFailure(L"AddPrinterDriverW", name + L", " + environment, error);
    }
    return true;
}

bool InstallPrinter(const std::wstring& name, const std::wstring& driver, const std::wstring& share,
                    const std::wstring& port, const std::wstring& comment, const std::wstring& location) {
    std::wstring printerName = name;
    std::wstring driverName = driver;
    std::wstring shareName = share;
    std::wstring portName = port;
    std::wstring processor = L"WinPrint";
    std::wstring datatype = L"RAW";
    std::wstring commentText = comment;
    std::wstring locationText = location;
    PRINTER_INFO_2W info{};
    info.pComment = comment.empty() ? nullptr : commentText.data();
    info.pLocation = location.empty() ? nullptr : locationText.data();
    info.pPrinterName = printerName.data();
    info.pShareName = share.empty() ? nullptr : shareName.data();
    info.pPortName = portName.data();
    info.pDriverName = driverName.data();
    info.pPrintProcessor = processor.data();
    info.pDatatype = datatype.data();
    info.Attributes = share.empty() ? 0 : PRINTER_ATTRIBUTE_SHARED;
    const win32::unique_printer printer(::AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info)));
    if (!printer) {
        const DWORD error = ::GetLastError();
        return ReportFailure(L"AddPrinterW", name + L", driver " + driver + L", port " + port, error);
    }
    return true;
}

win32::unique_hkey CreateKey(HKEY root, const std::wstring& path) {
    win32::unique_hkey key;
    const LSTATUS status =
        ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) {
        key.reset();
        ReportFailure(L"RegCreateKeyExW", path, static_cast<DWORD>(status));
    }
    return key;
}

bool MakeUnixSymbolicLink(const std::wstring& link, const std::wstring& target) {
    const std::optional<std::string> linkName = UnixName(link);
    const std::optional<std::string> targetName = UnixName(target);
    if (!linkName || !targetName) {
        return false;
    }
    // As `ln -sfn`: a link of that name is replaced.
    static_cast<void>(CallLinux(kLinuxUnlink, linkName->c_str()));
    const long made = CallLinux(kLinuxSymlink, targetName->c_str(), linkName->c_str());
    if (made != 0) {
        std::fwprintf(stderr, L"symlink(%hs, %hs) failed: errno %ld\n", targetName->c_str(),
                      linkName->c_str(), -made);
    }
    return made == 0;
}

bool RemoveUnixName(const std::wstring& path) {
    const std::optional<std::string> name = UnixName(path);
    return name && RemoveUnixTree(path, *name);
}

}  // namespace spoolsweep::prefix
