#pragma once
// winspool.drv, loaded at run time from the system folder only. It is no KnownDLL: imported statically, it
// would be looked for first in the exe's own folder, so a winspool.drv planted beside the exe (in a downloads
// folder, say) would run inside an elevated process.
#include <cstdint>

#include "platform/win32/windows_api.h"

namespace spoolsweep::win32 {

// The spooler entries the seam calls; the optional ones are null where the library lacks them.
struct WinSpoolEntries {
    decltype(&::EnumPrintersW) enumPrinters = nullptr;
    decltype(&::EnumPrinterDriversW) enumPrinterDrivers = nullptr;
    decltype(&::OpenPrinterW) openPrinter = nullptr;
    decltype(&::ClosePrinter) closePrinter = nullptr;
    decltype(&::EnumJobsW) enumJobs = nullptr;
    decltype(&::EnumFormsW) enumForms = nullptr;
    decltype(&::DeletePrinter) deletePrinter = nullptr;
    decltype(&::DeletePrinterConnectionW) deletePrinterConnection = nullptr;
    decltype(&::AddPrinterConnectionW) addPrinterConnection = nullptr;
    decltype(&::DeleteFormW) deleteForm = nullptr;
    decltype(&::AddFormW) addForm = nullptr;
    // Only the restore asks for ports: Spoolsweep.exe loads without them.
    decltype(&::EnumPortsW) enumPorts = nullptr;
    decltype(&::XcvDataW) xcvData = nullptr;
    decltype(&::GetPrinterW) getPrinter = nullptr;
    decltype(&::AddPrinterW) addPrinter = nullptr;
    decltype(&::SetPrinterDataExW) setPrinterDataEx = nullptr;
    decltype(&::DeletePrinterDriverExW) deletePrinterDriverEx = nullptr;
    decltype(&::AddPrinterDriverExW) addPrinterDriverEx = nullptr;
    // Absent before Vista and on Wine.
    HRESULT(WINAPI* deletePrinterDriverPackage)(LPCWSTR, LPCWSTR, LPCWSTR) = nullptr;
    HRESULT(WINAPI* uploadPrinterDriverPackage)
    (LPCWSTR, LPCWSTR, LPCWSTR, DWORD, HWND, LPWSTR, PULONG) = nullptr;
    // Looked up by ordinal 203, where Windows and Wine both export it.
    BOOL(WINAPI* getDefaultPrinter)(LPWSTR, LPDWORD) = nullptr;
};

// Makes every later DLL load search the system folder only (and never the current folder, where the call
// that does so is missing). Called first thing at start-up.
void RestrictDllSearchToSystemFolder();

// The library, loaded once for the life of the process. Null when it cannot be loaded or lacks an entry the
// program needs; the last-error value then says why.
[[nodiscard]] const WinSpoolEntries* WinSpool();

// The Win32 error that kept the library from loading, 0 when it is loaded.
[[nodiscard]] std::uint32_t WinSpoolLoadError();

// ClosePrinter through the loaded library, for unique_printer.
BOOL WINAPI ClosePrinterHandle(HANDLE printer);

}  // namespace spoolsweep::win32
