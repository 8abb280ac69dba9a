// The contract world on the real Windows API: printers, drivers, keys and files are made with the calls an
// installer would use, under names that belong to this test run, and removed again afterwards.
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_seams.h"
#include "platform/win32/windows_api.h"
// After the Windows headers, which it needs.
#include <winioctl.h>

#include "prefix_setup.h"
#include "world.h"

namespace spoolsweep::contract {
namespace {

using win32::FromWide;
using win32::Wide;

HKEY RootKey(Handle root) {
    return root == kHkeyCurrentUser    ? HKEY_CURRENT_USER
           : root == kHkeyLocalMachine ? HKEY_LOCAL_MACHINE
           : root == kHkeyUsers        ? HKEY_USERS
                                       : throw std::invalid_argument("not a root key");
}

void Require(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string(what) + " failed with " + std::to_string(::GetLastError()));
    }
}

void RequireStatus(LSTATUS status, const char* what) {
    ::SetLastError(static_cast<DWORD>(status));
    Require(status == ERROR_SUCCESS, what);
}

// A key of this test run's registry, created when asked; empty when it cannot be opened.
win32::unique_hkey OpenKey(Handle root, std::u16string_view path, bool create) {
    if (create) {
        win32::unique_hkey key = prefix::CreateKey(RootKey(root), Wide(path));
        Require(static_cast<bool>(key), "RegCreateKeyExW");
        return key;
    }
    win32::unique_hkey key;
    if (::RegOpenKeyExW(RootKey(root), Wide(path).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        key.reset();
    }
    return key;
}

// A printer opened with every right (deleting it, its forms), or an empty handle.
win32::unique_printer OpenPrinterFully(std::wstring name) {
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    return win32::unique_printer(::OpenPrinterW(name.data(), &printer, &access) ? printer : nullptr);
}

// A folder junction as mklink /J makes one: an empty folder given a mount-point reparse point whose
// substitute name is the target's NT path and whose print name is the target.
bool MakeJunction(const std::wstring& link, const std::wstring& target) {
    if (!::CreateDirectoryW(link.c_str(), nullptr)) {
        return false;
    }
    const win32::unique_file folder(::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                                  nullptr));
    const std::wstring substitute = L"\\??\\" + target;
    // REPARSE_DATA_BUFFER's mount-point form: tag, data length, reserved, then four offsets and lengths in
    // bytes and both names, each followed by a null.
    std::vector<WORD> data{static_cast<WORD>(0), static_cast<WORD>(substitute.size() * 2),
                           static_cast<WORD>((substitute.size() + 1) * 2),
                           static_cast<WORD>(target.size() * 2)};
    data.insert(data.end(), substitute.begin(), substitute.end());
    data.push_back(0);
    data.insert(data.end(), target.begin(), target.end());
    data.push_back(0);
    std::vector<BYTE> buffer(8 + data.size() * sizeof(WORD));
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    const auto length = static_cast<WORD>(data.size() * sizeof(WORD));
    std::memcpy(buffer.data(), &tag, sizeof(tag));
    std::memcpy(buffer.data() + 4, &length, sizeof(length));
    std::memcpy(buffer.data() + 8, data.data(), length);
    DWORD returned = 0;
    const bool set = folder && ::DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), nullptr, 0, &returned,
                                                 nullptr) != FALSE;
    if (!set) {
        ::RemoveDirectoryW(link.c_str());
    }
    return set;
}

std::u16string Unique() {
    static std::atomic<unsigned> counter{0};
    return win32::FromWide(std::to_wstring(::GetCurrentProcessId()).c_str()) + u"_" +
           win32::FromWide(std::to_wstring(++counter).c_str());
}

class Win32World final : public World {
  public:
    Win32World() : unique_(Unique()) {}
    ~Win32World() override { CleanUp(); }

    Machine& machine() override { return real_.machine(); }

    bool IsWine() const override {
        HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }

    void AddDriver(std::u16string_view environment, std::u16string_view name,
                   std::u16string_view dataFile) override {
        const std::wstring env = Wide(environment);
        const prefix::DriverFiles files{L"spsw" + Wide(unique_) + L"drv.dll", Wide(dataFile),
                                        L"spsw" + Wide(unique_) + L"ui.dll"};
        Require(prefix::InstallDriver(env, Wide(name), files, "contract test driver file"), "InstallDriver");
        const std::wstring folder = prefix::DriverFolder(env);
        driverFiles_.insert(driverFiles_.end(),
                            {folder + files.driver, folder + files.data, folder + files.config});
        drivers_.push_back({env, Wide(name)});
    }

    void AddPrinter(std::u16string_view name, std::u16string_view driver,
                    std::u16string_view share) override {
        Require(prefix::InstallPrinter(Wide(name), Wide(driver), Wide(share), L"FILE:"), "AddPrinterW");
        printers_.push_back(Wide(name));
    }

    void AddPrinterForm(std::u16string_view name) override {
        std::wstring formName = Wide(name);
        const win32::unique_printer printer = OpenOwnPrinter();
        FORM_INFO_1W form{};
        form.Flags = FORM_USER;
        form.pName = formName.data();
        form.Size = {100000, 150000};
        form.ImageableArea = {0, 0, 100000, 150000};
        Require(::AddFormW(printer.get(), 1, reinterpret_cast<BYTE*>(&form)), "AddFormW");
        forms_.push_back(formName);
    }

    void SetDefaultPrinter(std::u16string_view name) override {
        std::wstring printerName = Wide(name);
        Require(::SetDefaultPrinterW(printerName.c_str()), "SetDefaultPrinterW");
    }

    std::u16string OwnKey() override { return u"Software\\SpoolsweepContract\\" + unique_; }

    void CreateKey(Handle root, std::u16string_view path) override { OpenKey(root, path, true); }

    void SetValue(Handle root, std::u16string_view path, std::u16string_view name, std::uint32_t type,
                  const std::vector<std::uint8_t>& data) override {
        RequireStatus(::RegSetValueExW(OpenKey(root, path, true).get(), Wide(name).c_str(), 0, type,
                                       data.data(), static_cast<DWORD>(data.size())),
                      "RegSetValueExW");
    }

    bool KeyExists(Handle root, std::u16string_view path) override {
        return static_cast<bool>(OpenKey(root, path, false));
    }

    bool ValueExists(Handle root, std::u16string_view path, std::u16string_view name) override {
        const win32::unique_hkey key = OpenKey(root, path, false);
        return key && ::RegQueryValueExW(key.get(), Wide(name).c_str(), nullptr, nullptr, nullptr, nullptr) ==
                          ERROR_SUCCESS;
    }

    // As an installer makes one: a key created with REG_OPTION_CREATE_LINK whose REG_LINK value
    // "SymbolicLinkValue" holds the target's full registry name ("\\REGISTRY\\USER\\<SID>\\...", from
    // NtQueryKey's KeyNameInformation).
    void AddKeyLink(std::u16string_view path, std::u16string_view target) override {
        using QueryKey = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
        const auto query = reinterpret_cast<QueryKey>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
        std::vector<ULONG> name(1024);
        ULONG size = 0;
        constexpr int kKeyNameInformation = 3;
        Require(query != nullptr &&
                    query(OpenKey(kHkeyCurrentUser, target, false).get(), kKeyNameInformation, name.data(),
                          static_cast<ULONG>(name.size() * sizeof(ULONG)), &size) == 0,
                "NtQueryKey");
        win32::unique_hkey link;
        RequireStatus(::RegCreateKeyExW(HKEY_CURRENT_USER, Wide(path).c_str(), 0, nullptr,
                                        REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK,
                                        KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, link.put(), nullptr),
                      "RegCreateKeyExW(REG_OPTION_CREATE_LINK)");
        links_.emplace_back(Wide(path));
        RequireStatus(::RegSetValueExW(link.get(), L"SymbolicLinkValue", 0, REG_LINK,
                                       reinterpret_cast<const BYTE*>(name.data() + 1), name[0]),
                      "RegSetValueExW(SymbolicLinkValue)");
    }

    void SetEnvironmentVariable(std::u16string_view name, std::u16string_view value) override {
        Require(::SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str()),
                "SetEnvironmentVariableW");
    }

    std::u16string OwnFolder() override {
        if (folder_.empty()) {
            wchar_t temp[MAX_PATH] = {};
            Require(::GetTempPathW(MAX_PATH, temp) != 0, "GetTempPathW");
            folder_ = FromWide(temp) + u"spsw_contract_" + unique_;
            CreateFolder(folder_);
        }
        return folder_;
    }

    void CreateFolder(std::u16string_view path) override {
        Require(::CreateDirectoryW(Wide(path).c_str(), nullptr), "CreateDirectoryW");
    }

    void WriteFile(std::u16string_view path, std::string_view contents, std::uint32_t attributes) override {
        std::wstring name = Wide(path);
        Require(prefix::WriteBytes(name, contents), "WriteFile");
        Require(::SetFileAttributesW(name.c_str(), attributes), "SetFileAttributesW");
    }

    std::optional<std::string> ReadFile(std::u16string_view path) override {
        std::ifstream in(std::filesystem::path(Wide(path)), std::ios::binary);
        if (!in) {
            return std::nullopt;
        }
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    bool FileExists(std::u16string_view path) override {
        DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }

    bool FolderExists(std::u16string_view path) override {
        DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }

    bool AddLink(std::u16string_view path, std::u16string_view target, LinkKind kind) override {
        const std::wstring name = Wide(path);
        const std::wstring existing = Wide(target);
        if (kind == LinkKind::HardLink) {
            return ::CreateHardLinkW(name.c_str(), existing.c_str(), nullptr) != FALSE;
        }
        // Wine 8 cannot set a junction's reparse point (FSCTL_SET_REPARSE_POINT fails with 50), and its
        // CreateSymbolicLinkW reports success without making anything: there a symbolic link is a Unix one.
        if (kind == LinkKind::Junction) {
            return MakeJunction(name, existing);
        }
        if (IsWine()) {
            return prefix::MakeUnixSymbolicLink(name, existing);
        }
        const DWORD folder = FolderExists(target) ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
        return ::CreateSymbolicLinkW(name.c_str(), existing.c_str(),
                                     folder | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != FALSE;
    }

    void HoldServiceDatabaseLock() override {
        lockManager_.reset(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_LOCK));
        Require(static_cast<bool>(lockManager_), "OpenSCManagerW");
        databaseLock_ = ::LockServiceDatabase(lockManager_.get());
        Require(databaseLock_ != nullptr, "LockServiceDatabase");
    }

    StartedProcess StartProcess() override {
        // A second copy of this test program that only waits (see the suite's main).
        wchar_t path[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        const std::u16string self = FromWide(path);
        std::wstring commandLine = L"\"" + Wide(self) + L"\" --contract-child";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        Require(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                 nullptr, nullptr, &startup, &info),
                "CreateProcessW");
        ::CloseHandle(info.hThread);
        children_.emplace_back(info.hProcess);
        return {self.substr(self.find_last_of(u'\\') + 1), info.dwProcessId};
    }

    void AwaitExit(std::uint32_t processId) override {
        win32::unique_handle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
        if (process) {
            ::WaitForSingleObject(process.get(), 10000);
        }
    }

  private:
    // Forms belong to the spooler, not to one printer; any printer of this test opens the way to them.
    win32::unique_printer OpenOwnPrinter() {
        if (printers_.empty()) {
            throw std::logic_error("add a printer before a form");
        }
        win32::unique_printer printer = OpenPrinterFully(printers_.front());
        Require(static_cast<bool>(printer), "OpenPrinterW");
        return printer;
    }

    // Best effort: whatever the test already removed is simply not there any more.
    void CleanUp() noexcept {
        if (databaseLock_ != nullptr) {
            ::UnlockServiceDatabase(databaseLock_);
        }
        for (win32::unique_handle& child : children_) {
            ::TerminateProcess(child.get(), 0);
            ::WaitForSingleObject(child.get(), 5000);
        }
        // The forms go first, through a handle closed again before its printer is deleted.
        if (const win32::unique_printer own =
                printers_.empty() ? win32::unique_printer() : OpenPrinterFully(printers_.front())) {
            for (std::wstring& form : forms_) {
                ::DeleteFormW(own.get(), form.data());
            }
        }
        for (const std::wstring& name : printers_) {
            if (const win32::unique_printer printer = OpenPrinterFully(name)) {
                ::DeletePrinter(printer.get());
            }
        }
        for (auto& [environment, name] : drivers_) {
            ::DeletePrinterDriverExW(nullptr, environment.data(), name.data(), 0, 3);
        }
        for (const std::wstring& file : driverFiles_) {
            ::DeleteFileW(file.c_str());
        }
        // A link goes as itself (NtDeleteKey on the link opened as such) before the tree, which would
        // otherwise be walked through it.
        using DeleteKey = LONG(NTAPI*)(HANDLE);
        const auto deleteKey = reinterpret_cast<DeleteKey>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")));
        for (const std::wstring& path : links_) {
            win32::unique_hkey link;
            if (deleteKey != nullptr && ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), REG_OPTION_OPEN_LINK,
                                                        DELETE, link.put()) == ERROR_SUCCESS) {
                deleteKey(link.get());
            }
        }
        ::SHDeleteKeyW(HKEY_CURRENT_USER, Wide(OwnKey()).c_str());
        if (!folder_.empty()) {
            std::wstring from = Wide(folder_);
            from.append(2, L'\0');
            SHFILEOPSTRUCTW operation{};
            operation.wFunc = FO_DELETE;
            operation.pFrom = from.c_str();
            operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
            ::SHFileOperationW(&operation);
        }
    }

    win32::Win32Machine real_;
    std::u16string unique_;
    std::u16string folder_;
    std::vector<std::wstring> printers_;
    std::vector<std::pair<std::wstring, std::wstring>> drivers_;
    std::vector<std::wstring> driverFiles_;
    std::vector<std::wstring> forms_;
    std::vector<std::wstring> links_;
    std::vector<win32::unique_handle> children_;
    win32::unique_sc_handle lockManager_;
    SC_LOCK databaseLock_ = nullptr;
};

}  // namespace

std::unique_ptr<World> MakeWorld() {
    return std::make_unique<Win32World>();
}

}  // namespace spoolsweep::contract
