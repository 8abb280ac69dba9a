// Loads winspool.drv from the system folder and resolves the entries the spooler seam calls.
#include "platform/win32/winspool_library.h"

#include <string>

#include "platform/win32/unique_handles.h"

namespace spoolsweep::win32 {
namespace {

constexpr WORD kGetDefaultPrinterOrdinal = 203;

template <class Function>
void LookUp(HMODULE module, LPCSTR name, Function& entry) {
    entry = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// LOAD_LIBRARY_SEARCH_SYSTEM32 needs Windows 8, or Windows 7 with update KB2533623; without it the flag is
// refused as invalid and the library is named by its full path in the system folder instead.
unique_hmodule LoadFromSystemFolder(const wchar_t* name) {
    unique_hmodule module(::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) {
        return module;
    }
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return module;
    }
    const std::wstring path = std::wstring(folder, length) + L"\\" + name;
    return unique_hmodule(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

class WinSpoolLibrary {
  public:
    WinSpoolLibrary() : module_(LoadFromSystemFolder(L"winspool.drv")) {
        if (!module_) {
            error_ = ::GetLastError();
            return;
        }
        HMODULE module = module_.get();
        LookUp(module, "EnumPrintersW", entries_.enumPrinters);
        LookUp(module, "EnumPrinterDriversW", entries_.enumPrinterDrivers);
        LookUp(module, "OpenPrinterW", entries_.openPrinter);
        LookUp(module, "ClosePrinter", entries_.closePrinter);
        LookUp(module, "EnumJobsW", entries_.enumJobs);
        LookUp(module, "EnumFormsW", entries_.enumForms);
        LookUp(module, "DeletePrinter", entries_.deletePrinter);
        LookUp(module, "DeletePrinterConnectionW", entries_.deletePrinterConnection);
        LookUp(module, "AddPrinterConnectionW", entries_.addPrinterConnection);
        LookUp(module, "DeleteFormW", entries_.deleteForm);
        LookUp(module, "AddFormW", entries_.addForm);
        LookUp(module, "EnumPortsW", entries_.enumPorts);
        LookUp(module, "XcvDataW", entries_.xcvData);
        LookUp(module, "GetPrinterW", entries_.getPrinter);
        LookUp(module, "AddPrinterW", entries_.addPrinter);
        LookUp(module, "SetPrinterDataExW", entries_.setPrinterDataEx);
        LookUp(module, "DeletePrinterDriverExW", entries_.deletePrinterDriverEx);
        LookUp(module, "AddPrinterDriverExW", entries_.addPrinterDriverEx);
        LookUp(module, "DeletePrinterDriverPackageW", entries_.deletePrinterDriverPackage);
        LookUp(module, "UploadPrinterDriverPackageW", entries_.uploadPrinterDriverPackage);
        LookUp(module, MAKEINTRESOURCEA(kGetDefaultPrinterOrdinal), entries_.getDefaultPrinter);
        const bool complete =
            entries_.enumPrinters != nullptr && entries_.enumPrinterDrivers != nullptr &&
            entries_.openPrinter != nullptr && entries_.closePrinter != nullptr &&
            entries_.enumJobs != nullptr && entries_.enumForms != nullptr &&
            entries_.deletePrinter != nullptr && entries_.deletePrinterConnection != nullptr &&
            entries_.deleteForm != nullptr && entries_.addForm != nullptr && entries_.getPrinter != nullptr &&
            entries_.addPrinter != nullptr && entries_.setPrinterDataEx != nullptr &&
            entries_.deletePrinterDriverEx != nullptr && entries_.addPrinterDriverEx != nullptr &&
            entries_.addPrinterConnection != nullptr;
        if (!complete) {
            error_ = ERROR_PROC_NOT_FOUND;
        }
    }

    [[nodiscard]] const WinSpoolEntries* entries() const {
        if (error_ != 0) {
            ::SetLastError(error_);
            return nullptr;
        }
        return &entries_;
    }
    [[nodiscard]] DWORD error() const { return error_; }

  private:
    unique_hmodule module_;
    WinSpoolEntries entries_;
    DWORD error_ = 0;
};

const WinSpoolLibrary& Library() {
    static const WinSpoolLibrary library;
    return library;
}

}  // namespace

void RestrictDllSearchToSystemFolder() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    SetDefaultDllDirectoriesFunction setDefault = nullptr;
    LookUp(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories", setDefault);
    if (setDefault == nullptr || setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) == FALSE) {
        static_cast<void>(::SetDllDirectoryW(L""));
    }
}

const WinSpoolEntries* WinSpool() {
    return Library().entries();
}

std::uint32_t WinSpoolLoadError() {
    return Library().error();
}

BOOL WINAPI ClosePrinterHandle(HANDLE printer) {
    const WinSpoolEntries* spool = WinSpool();
    return spool != nullptr && spool->closePrinter != nullptr ? spool->closePrinter(printer) : FALSE;
}

}  // namespace spoolsweep::win32
