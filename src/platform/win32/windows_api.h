#pragma once
// The one door to the Windows headers. The headers define A/W switching macros whose names are also the
// names of seam methods (Files::DeleteFile, Services::OpenService, ...); they are removed here so that the
// seam classes keep their names, and this code calls the W functions by their full names.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

// clang-format off
#include <windows.h>
#include <winspool.h>
#include <winsvc.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>
#include <commctrl.h>
// clang-format on

#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef DeleteForm
#undef DeletePrinterConnection
#undef DeletePrinterDriverEx
#undef DeletePrinterDriverPackage
#undef EnumDependentServices
#undef EnumForms
#undef EnumJobs
#undef EnumPrinterDrivers
#undef EnumPrinters
#undef ExpandEnvironmentStrings
#undef FindFirst
#undef GetDefaultPrinter
#undef GetSystemDirectory
#undef GetWindowsDirectory
#undef MessageBox
#undef OpenPrinter
#undef OpenService
#undef PathFileExists
#undef RemoveDirectory
#undef SetEnvironmentVariable
#undef StartService
#undef GetSpecialFolderPath
#undef CommandLine
#undef CreateSnapshot
#undef OpenKey
#undef OpenKeyEx
#undef QueryValue
#undef EnumKey
#undef EnumValue
#undef DeleteValue
#undef DeleteTree
#undef ReadFile
#undef WriteFile
#undef LoadLibrary
#undef GetModuleFileName
#undef CreateService
#undef AddForm
#undef AddPrinter
#undef GetPrinter
#undef SetPrinterDataEx
#undef AddPrinterDriver
#undef AddPrinterDriverEx
#undef AddPrinterConnection
#undef SetDefaultPrinter
#undef GetEnvironmentVariable
#undef GetTempPath
#undef LoadString

#include <string>
#include <string_view>

namespace spoolsweep::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 code units");

// The UTF-16 text as the null-terminated wide string the W functions take.
[[nodiscard]] inline std::wstring Wide(std::u16string_view text) {
    return {reinterpret_cast<const wchar_t*>(text.data()), text.size()};
}

// A wide string the API returned; a null pointer is an absent string, kept apart by the caller.
[[nodiscard]] inline std::u16string FromWide(const wchar_t* text) {
    return text == nullptr ? std::u16string{} : std::u16string(reinterpret_cast<const char16_t*>(text));
}

[[nodiscard]] inline std::u16string FromWide(const wchar_t* text, std::size_t length) {
    return {reinterpret_cast<const char16_t*>(text), length};
}

// The error a call ended with: 0 when it succeeded, whatever the last-error slot still holds.
[[nodiscard]] inline std::uint32_t ErrorAfter(bool succeeded) {
    return succeeded ? 0U : static_cast<std::uint32_t>(::GetLastError());
}

}  // namespace spoolsweep::win32
