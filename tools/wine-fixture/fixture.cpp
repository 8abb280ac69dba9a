// Prepares and inspects a Wine prefix for the end-to-end runs of Spoolsweep.exe: installs drivers and
// printers through the real spooler, writes registry values and files, starts stand-in companion processes.
// Test tooling only; it never ships.
#include "platform/win32/windows_api.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Handle {
    HANDLE value = nullptr;
    explicit Handle(HANDLE h) : value(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (value != nullptr && value != INVALID_HANDLE_VALUE) {
            CloseHandle(value);
        }
    }
};

struct Key {
    HKEY value = nullptr;
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (value != nullptr) {
            RegCloseKey(value);
        }
    }
};

struct Printer {
    HANDLE value = nullptr;
    explicit Printer(HANDLE h) : value(h) {}
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;
    ~Printer() {
        if (value != nullptr) {
            ClosePrinter(value);
        }
    }
};

HKEY RootOf(const std::wstring& name) {
    if (name == L"HKCU")
        return HKEY_CURRENT_USER;
    if (name == L"HKU")
        return HKEY_USERS;
    return HKEY_LOCAL_MACHINE;
}

bool WriteDummyFile(const std::wstring& path, const std::string& contents) {
    Handle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.value == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    return WriteFile(file.value, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) !=
           0;
}

// Folders on the way to path, as `mkdir -p` makes them.
void CreateParents(const std::wstring& path) {
    for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
}

int InstallDriver(const std::wstring& name, const std::wstring& dataFile, const std::wstring& environment) {
    wchar_t folder[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(environment.c_str()), 1,
                                    reinterpret_cast<LPBYTE>(folder), sizeof folder, &needed)) {
        return 2;
    }
    const std::wstring driverFile = L"TMBDRV.DLL";
    const std::wstring configFile = L"TMBUI.DLL";
    for (const std::wstring& file : {driverFile, configFile, dataFile}) {
        WriteDummyFile(std::wstring(folder) + L"\\" + file, "MZ");
    }
    DRIVER_INFO_3W info{};
    info.cVersion = 3;
    info.pName = const_cast<LPWSTR>(name.c_str());
    info.pEnvironment = const_cast<LPWSTR>(environment.c_str());
    info.pDriverPath = const_cast<LPWSTR>(driverFile.c_str());
    info.pDataFile = const_cast<LPWSTR>(dataFile.c_str());
    info.pConfigFile = const_cast<LPWSTR>(configFile.c_str());
    return AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&info)) ? 0 : 1;
}

int InstallPrinter(const std::wstring& name, const std::wstring& driver, const std::wstring& share) {
    PRINTER_INFO_2W info{};
    info.pPrinterName = const_cast<LPWSTR>(name.c_str());
    info.pPortName = const_cast<LPWSTR>(L"LPT1:");
    info.pDriverName = const_cast<LPWSTR>(driver.c_str());
    info.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
    info.pDatatype = const_cast<LPWSTR>(L"RAW");
    if (!share.empty()) {
        info.pShareName = const_cast<LPWSTR>(share.c_str());
        info.Attributes = PRINTER_ATTRIBUTE_SHARED;
    }
    Printer printer(AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)));
    return printer.value != nullptr ? 0 : 1;
}

int SetRegistry(const std::wstring& root, const std::wstring& path, const std::wstring* name,
                const std::wstring* data) {
    Key key;
    if (RegCreateKeyExW(RootOf(root), path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key.value,
                        nullptr) != ERROR_SUCCESS) {
        return 1;
    }
    if (name == nullptr) {
        return 0;
    }
    const auto bytes = static_cast<DWORD>((data->size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.value, name->c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data->c_str()),
                          bytes) == ERROR_SUCCESS
               ? 0
               : 1;
}

int PrintKeyExists(const std::wstring& root, const std::wstring& path) {
    Key key;
    std::printf("%d\n",
                RegOpenKeyExW(RootOf(root), path.c_str(), 0, KEY_READ, &key.value) == ERROR_SUCCESS ? 1 : 0);
    return 0;
}

int Spawn(const std::wstring& exe, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &process)) {
        return 1;
    }
    Handle thread(process.hThread);
    Handle owned(process.hProcess);
    std::printf("%lu\n", process.dwProcessId);
    return 0;
}

int ListProcesses() {
    Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.value, &entry); more;
         more = Process32NextW(snapshot.value, &entry)) {
        std::printf("%ls\n", entry.szExeFile);
    }
    return 0;
}

int ListPrinters() {
    DWORD needed = 0;
    DWORD count = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2,
                                      buffer.data(), needed, &needed, &count)) {
        return 0;
    }
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        std::printf("%ls\n", printers[i].pPrinterName);
    }
    return 0;
}

int ListDrivers(const std::wstring& environment) {
    DWORD needed = 0;
    DWORD count = 0;
    EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(environment.c_str()), 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(environment.c_str()), 2,
                                            buffer.data(), needed, &needed, &count)) {
        return 0;
    }
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        std::printf("%ls\n", drivers[i].pName);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : std::wstring(); };
    const std::wstring command = arg(0);
    if (command == L"driver" && args.size() >= 3) {
        return InstallDriver(args[1], args[2], args.size() >= 4 ? args[3] : L"Windows x64");
    }
    if (command == L"printer" && args.size() >= 3) {
        return InstallPrinter(args[1], args[2], arg(3));
    }
    if (command == L"regset" && args.size() == 3) {
        return SetRegistry(args[1], args[2], nullptr, nullptr);
    }
    if (command == L"regset" && args.size() == 5) {
        return SetRegistry(args[1], args[2], &args[3], &args[4]);
    }
    if (command == L"regexists" && args.size() == 3) {
        return PrintKeyExists(args[1], args[2]);
    }
    if (command == L"file" && args.size() >= 2) {
        CreateParents(args[1]);
        std::string contents(arg(2).begin(), arg(2).end());
        return WriteDummyFile(args[1], contents) ? 0 : 1;
    }
    if (command == L"spawn" && args.size() >= 2) {
        return Spawn(args[1], arg(2));
    }
    if (command == L"sleep" && args.size() == 2) {
        Sleep(static_cast<DWORD>(std::stoul(args[1])) * 1000);
        return 0;
    }
    if (command == L"processes") {
        return ListProcesses();
    }
    if (command == L"printers") {
        return ListPrinters();
    }
    if (command == L"exists" && args.size() == 2) {
        std::printf("%d\n", GetFileAttributesW(args[1].c_str()) != INVALID_FILE_ATTRIBUTES ? 1 : 0);
        return 0;
    }
    if (command == L"drivers") {
        return ListDrivers(args.size() >= 2 ? args[1] : L"Windows x64");
    }
    std::fprintf(stderr,
                 "usage: fixture "
                 "driver|printer|regset|regexists|file|exists|spawn|sleep|processes|printers|drivers ...\n");
    return 64;
}
