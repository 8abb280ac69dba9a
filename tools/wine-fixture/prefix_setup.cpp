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

// A Unix name as one argument of the command line Wine splits into the program's argv (Windows' rules).
std::wstring Quoted(const std::string& unixName) {
    std::wstring wide(unixName.size(), L'\0');
    wide.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, unixName.data(),
                                                               static_cast<int>(unixName.size()), wide.data(),
                                                               static_cast<int>(wide.size()))));
    return L"\"" + wide + L"\"";
}

// Runs a Unix program through Wine and waits until `done` holds: Wine hands back no exit code of a Unix
// process, so the effect itself is what is waited for.
template <class Done>
bool RunUnix(const wchar_t* program, const std::wstring& arguments, Done done) {
    std::wstring commandLine = std::wstring(program) + L" " + arguments;
    std::wstring windowsProgram = L"Z:" + std::wstring(program);
    for (wchar_t& c : windowsProgram) {
        c = c == L'/' ? L'\\' : c;
    }
    // Wine now and then starts no Unix program for such a call (measured: one run in three busy test runs
    // waited 30 s for nothing), so a program whose effect has not come within 10 s is started again, three
    // times at most. The commands used here (ln -sfn, rm -rf) may run twice.
    for (int attempt = 0; attempt < 3; ++attempt) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(windowsProgram.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &process)) {
            return ReportFailure(L"CreateProcessW", commandLine, ::GetLastError());
        }
        const win32::unique_handle thread(process.hThread);
        const win32::unique_handle started(process.hProcess);
        for (int i = 0; i < 500; ++i) {
            if (done()) {
                return true;
            }
            ::Sleep(20);
        }
    }
    std::fwprintf(stderr, L"%ls: no effect after three starts\n", commandLine.c_str());
    return done();
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
                    const std::wstring& port) {
    std::wstring printerName = name;
    std::wstring driverName = driver;
    std::wstring shareName = share;
    std::wstring portName = port;
    std::wstring processor = L"WinPrint";
    std::wstring datatype = L"RAW";
    PRINTER_INFO_2W info{};
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
    return RunUnix(L"/bin/ln", L"-sfn " + Quoted(*targetName) + L" " + Quoted(*linkName), [&] {
        WIN32_FIND_DATAW data{};
        const HANDLE find = ::FindFirstFileW(link.c_str(), &data);
        return find != INVALID_HANDLE_VALUE && ::FindClose(find) != FALSE;
    });
}

bool RemoveUnixName(const std::wstring& path) {
    const std::optional<std::string> name = UnixName(path);
    return name && RunUnix(L"/bin/rm", L"-rf " + Quoted(*name), [&] {
               WIN32_FIND_DATAW data{};
               const HANDLE find = ::FindFirstFileW(path.c_str(), &data);
               return find == INVALID_HANDLE_VALUE || ::FindClose(find) == FALSE;
           });
}

}  // namespace spoolsweep::prefix
