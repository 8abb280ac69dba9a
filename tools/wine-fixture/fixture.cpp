// Prepares and inspects a Wine prefix for the end-to-end runs of Spoolsweep.exe: installs drivers and
// printers through the real spooler, writes registry values and files, starts stand-in companion processes.
// Test tooling only; it never ships.
#include "prefix_setup.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using spoolsweep::UniqueResource;
using spoolsweep::prefix::ReportFailure;
using spoolsweep::win32::InvalidValueHandleTraits;
using spoolsweep::win32::unique_handle;
using spoolsweep::win32::unique_hkey;
using unique_snapshot = UniqueResource<InvalidValueHandleTraits<&::CloseHandle>>;

HKEY RootOf(const std::wstring& name) {
    if (name == L"HKCU")
        return HKEY_CURRENT_USER;
    if (name == L"HKU")
        return HKEY_USERS;
    return HKEY_LOCAL_MACHINE;
}

// Folders on the way to path, as `mkdir -p` makes them.
void CreateParents(const std::wstring& path) {
    for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
}

int SetRegistry(const std::wstring& root, const std::wstring& path, const std::wstring* name,
                const std::wstring* data) {
    const unique_hkey key = spoolsweep::prefix::CreateKey(RootOf(root), path);
    if (!key || name == nullptr) {
        return key ? 0 : 1;
    }
    const auto bytes = static_cast<DWORD>((data->size() + 1) * sizeof(wchar_t));
    const LSTATUS status = RegSetValueExW(key.get(), name->c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(data->c_str()), bytes);
    if (status != ERROR_SUCCESS) {
        ReportFailure(L"RegSetValueExW", root + L"\\" + path + L" " + *name, static_cast<DWORD>(status));
        return 1;
    }
    return 0;
}

int PrintKeyExists(const std::wstring& root, const std::wstring& path) {
    unique_hkey key;
    std::printf("%d\n",
                RegOpenKeyExW(RootOf(root), path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS ? 1 : 0);
    return 0;
}

int Spawn(const std::wstring& exe, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &process)) {
        const DWORD error = GetLastError();
        ReportFailure(L"CreateProcessW", commandLine, error);
        return 1;
    }
    const unique_handle thread(process.hThread);
    const unique_handle owned(process.hProcess);
    std::printf("%lu\n", process.dwProcessId);
    return 0;
}

int ListProcesses() {
    const unique_snapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        const DWORD error = GetLastError();
        ReportFailure(L"CreateToolhelp32Snapshot", L"TH32CS_SNAPPROCESS", error);
        return 1;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        std::printf("%ls\n", entry.szExeFile);
    }
    return 0;
}

// Each printer's name, or with `full` its name, port, driver, comment and location ("|" between).
int ListPrinters(bool full) {
    DWORD needed = 0;
    DWORD count = 0;
    if (EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, nullptr, 0, &needed,
                      &count)) {
        return 0;  // no printers
    }
    if (const DWORD error = GetLastError(); error != ERROR_INSUFFICIENT_BUFFER) {
        ReportFailure(L"EnumPrintersW", L"size of level 2", error);
        return 1;
    }
    std::vector<BYTE> buffer(needed);
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, buffer.data(), needed,
                       &needed, &count)) {
        const DWORD error = GetLastError();
        ReportFailure(L"EnumPrintersW", L"level 2", error);
        return 1;
    }
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    const auto text = [](const wchar_t* field) { return field == nullptr ? L"(none)" : field; };
    for (DWORD i = 0; i < count; ++i) {
        const PRINTER_INFO_2W& printer = printers[i];
        if (full) {
            std::printf("%ls|%ls|%ls|%ls|%ls\n", printer.pPrinterName, text(printer.pPortName),
                        text(printer.pDriverName), text(printer.pComment), text(printer.pLocation));
        } else {
            std::printf("%ls\n", printer.pPrinterName);
        }
    }
    return 0;
}

int ListDrivers(const std::wstring& environment) {
    DWORD needed = 0;
    DWORD count = 0;
    if (EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(environment.c_str()), 2, nullptr, 0, &needed,
                            &count)) {
        return 0;  // no drivers
    }
    if (const DWORD error = GetLastError(); error != ERROR_INSUFFICIENT_BUFFER) {
        ReportFailure(L"EnumPrinterDriversW", L"size of " + environment, error);
        return 1;
    }
    std::vector<BYTE> buffer(needed);
    if (!EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(environment.c_str()), 2, buffer.data(), needed,
                             &needed, &count)) {
        const DWORD error = GetLastError();
        ReportFailure(L"EnumPrinterDriversW", environment, error);
        return 1;
    }
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        std::printf("%ls\n", drivers[i].pName);
    }
    return 0;
}

int RunCommand(const std::vector<std::wstring>& args) {
    auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : std::wstring(); };
    const std::wstring command = arg(0);
    if (command == L"driver" && args.size() >= 3) {
        const std::wstring environment = args.size() >= 4 ? args[3] : L"Windows x64";
        return spoolsweep::prefix::InstallDriver(environment, args[1], {L"TMBDRV.DLL", args[2], L"TMBUI.DLL"},
                                                 "MZ")
                   ? 0
                   : 1;
    }
    // A driver no printer uses, deleted without its files, as Wine's DeletePrinterDriverExW does it only so.
    if (command == L"deldriver" && args.size() >= 2) {
        std::wstring environment = args.size() >= 3 ? args[2] : L"Windows x64";
        std::wstring name = args[1];
        if (DeletePrinterDriverExW(nullptr, environment.data(), name.data(), 0, 0) == FALSE) {
            const DWORD error = GetLastError();
            static_cast<void>(spoolsweep::prefix::ReportFailure(L"DeletePrinterDriverExW", args[1], error));
            return 1;
        }
        return 0;
    }
    if (command == L"printer" && args.size() >= 3) {
        return spoolsweep::prefix::InstallPrinter(args[1], args[2], arg(3), L"LPT1:", arg(4), arg(5)) ? 0 : 1;
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
        const std::wstring text = arg(2);
        return spoolsweep::prefix::WriteBytes(args[1], std::string(text.begin(), text.end())) ? 0 : 1;
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
        return ListPrinters(arg(1) == L"full");
    }
    if (command == L"exists" && args.size() == 2) {
        std::printf("%d\n", GetFileAttributesW(args[1].c_str()) != INVALID_FILE_ATTRIBUTES ? 1 : 0);
        return 0;
    }
    if (command == L"drivers") {
        return ListDrivers(args.size() >= 2 ? args[1] : L"Windows x64");
    }
    std::fprintf(
        stderr,
        "usage: fixture "
        "driver|deldriver|printer|regset|regexists|file|exists|spawn|sleep|processes|printers|drivers "
        "... [-- ...]\n");
    return 64;
}

}  // namespace

// One command, or several separated by "--": a Wine process costs a tenth of a second of processor time to
// start, and preparing an office takes a dozen commands. Stops at the first command that fails; after each
// one that succeeds it prints "fixture: done N", so that a caller whose run Wine ended can go on after it.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> command;
    int done = 0;
    const bool several = std::find(argv + 1, argv + argc, std::wstring(L"--")) != argv + argc;
    for (int i = 1; i <= argc; ++i) {
        if (i < argc && std::wstring(argv[i]) != L"--") {
            command.emplace_back(argv[i]);
            continue;
        }
        if (const int status = RunCommand(command); status != 0) {
            return status;
        }
        if (several) {
            std::printf("fixture: done %d\n", ++done);
            std::fflush(stdout);  // before a later command, which Wine may end
        }
        command.clear();
    }
    return 0;
}
