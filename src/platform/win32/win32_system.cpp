// The system seam: version, architecture, code pages, time, message boxes and the console.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <ctime>
#include <vector>

#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_seams.h"
#include "platform/win32/windows_api.h"

namespace spoolsweep::win32 {

OsVersionInfo Win32System::QueryOsVersion() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!::GetVersionExW(&info)) {
        return {};
    }
    return {true, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
}

std::uint16_t Win32System::NativeProcessorArchitecture() {
    SYSTEM_INFO info{};
    ::GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture;
}

std::string Win32System::WideToMultiByte(std::u16string_view text, std::uint32_t codePage) {
    if (text.empty()) {
        return {};
    }
    std::wstring wide = Wide(text);
    int length = static_cast<int>(wide.size());
    int bytes = ::WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    bytes = ::WideCharToMultiByte(codePage, 0, wide.data(), length, narrow.data(), bytes, nullptr, nullptr);
    narrow.resize(bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
    return narrow;
}

std::tm Win32System::LocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_s(&local, &now);
    return local;
}

std::uint32_t Win32System::TickCount() {
    return ::GetTickCount();
}

void Win32System::Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

int Win32System::MessageBox(std::u16string_view text, std::u16string_view caption, std::uint32_t style) {
    std::wstring body = Wide(text);
    std::wstring title = Wide(caption);
    return ::MessageBoxW(nullptr, body.c_str(), title.c_str(), style);
}

void Win32System::InitCommonControls(std::uint32_t classes) {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), classes};
    static_cast<void>(::InitCommonControlsEx(&controls));
}

// Under Wine, AttachConsole fails for a program started from a Linux shell, but standard output already
// reaches that shell's file or pipe, so leaving it as it was is right there too.
bool Win32System::AttachParentConsole() {
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) {
        return false;
    }
    HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) {
        return false;
    }
    int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(output), _O_TEXT);
    if (descriptor == -1) {
        return false;
    }
    std::FILE* console = ::_wfdopen(descriptor, L"a");
    if (console == nullptr) {
        ::_close(descriptor);
        return false;
    }
    // The stream becomes standard output by taking over its descriptor: this works with every C run-time,
    // where copying the FILE object itself does not.
    std::fflush(stdout);
    int standardOutput = ::_fileno(stdout) >= 0 ? ::_fileno(stdout) : 1;
    bool replaced = ::_dup2(::_fileno(console), standardOutput) == 0;
    // The console stream stays open for the life of the process, as standard output does.
    return replaced;
}

void Win32System::WriteStdout(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::u16string Win32System::CommandLine() {
    return FromWide(::GetCommandLineW());
}

std::u16string Win32System::LoadString(std::uint32_t id) {
    const wchar_t* text = nullptr;
    const int length =
        ::LoadStringW(FromPortable<HMODULE>(ResourceModule()), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) {
        return {};
    }
    return FromWide(text, static_cast<std::size_t>(length));
}

int Win32System::CompareStrings(std::u16string_view a, std::u16string_view b) {
    const std::wstring first = Wide(a);
    const std::wstring second = Wide(b);
    return ::lstrcmpW(first.c_str(), second.c_str());
}

std::optional<std::u16string> Win32System::GetLocaleAbbrevLanguage(std::uint32_t locale,
                                                                   std::uint32_t bufferChars) {
    std::wstring buffer(bufferChars, L'\0');
    const int written =
        ::GetLocaleInfoW(locale, LOCALE_SABBREVLANGNAME, buffer.data(), static_cast<int>(bufferChars));
    if (written <= 0) {
        return std::nullopt;
    }
    return FromWide(buffer.c_str());
}

std::u16string Win32System::GetModuleFileName() {
    std::wstring buffer(MAX_PATH, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), MAX_PATH);
    // A path cut at the buffer's end is no path to build on.
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    return FromWide(buffer.c_str(), length);
}

// Mapped as resources only: a language library may be planted beside the exe in a user's folder, and no code
// of it may run in this elevated process (no DllMain, no imports resolved). Never freed: its resources serve
// the dialog mode until the process ends.
Handle Win32System::LoadLibrary(std::u16string_view path) {
    const std::wstring wide = Wide(path);
    return ToPortable(
        ::LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE));
}

void Win32System::SetResourceModule(Handle module) {
    resources_ = module;
}

Handle Win32System::ResourceModule() {
    return resources_ != 0 ? resources_ : ToPortable(::GetModuleHandleW(nullptr));
}

}  // namespace spoolsweep::win32
