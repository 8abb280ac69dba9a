#pragma once
// System information, time, the console, message boxes and the process's own facts.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "platform/results.h"

namespace spoolsweep {

inline constexpr std::uint16_t kProcessorArchitectureIntel = 0;
inline constexpr std::uint16_t kProcessorArchitectureAmd64 = 9;
inline constexpr std::uint32_t kCpThreadAcp = 3;
inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbOkCancel = 0x1;
inline constexpr std::uint32_t kMbIconStop = 0x10;
inline constexpr std::uint32_t kLocaleSystemDefault = 0x800;
// The answer of a message box's OK button.
inline constexpr int kIdOk = 1;

struct OsVersionInfo {
    bool ok = false;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
};

// The OS version queried once per process (GetVersionExW, size field set), never refreshed. Filled without a
// lock: only one thread does removal work at a time.
class OsVersionCache {
  public:
    template <class Query>
    [[nodiscard]] std::uint32_t Major(Query&& query) {
        if (!filled_) {
            info_ = query();
            filled_ = true;
        }
        return info_.major;
    }
    [[nodiscard]] bool filled() const noexcept { return filled_; }

  private:
    OsVersionInfo info_{};
    bool filled_ = false;
};

// The major version from which Windows has the Vista-or-later paths.
inline constexpr std::uint32_t kVistaMajorVersion = 6;

class System {
  public:
    virtual ~System() = default;

    // The major version from the process-wide cache; 6 or more selects the Vista-or-later paths.
    [[nodiscard]] std::uint32_t OsMajorVersion() {
        return osVersion_.Major([this] { return QueryOsVersion(); });
    }

    // GetVersionExW.
    [[nodiscard]] virtual OsVersionInfo QueryOsVersion() = 0;
    // GetNativeSystemInfo().wProcessorArchitecture.
    [[nodiscard]] virtual std::uint16_t NativeProcessorArchitecture() = 0;
    // WideCharToMultiByte(codePage, 0, ...).
    [[nodiscard]] virtual std::string WideToMultiByte(std::u16string_view text, std::uint32_t codePage) = 0;
    // The local time now.
    [[nodiscard]] virtual std::tm LocalTime() = 0;
    // GetTickCount / Sleep.
    [[nodiscard]] virtual std::uint32_t TickCount() = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    // MessageBoxW(NULL, text, caption, style).
    virtual int MessageBox(std::u16string_view text, std::u16string_view caption, std::uint32_t style) = 0;
    // InitCommonControlsEx({8, classes}).
    virtual void InitCommonControls(std::uint32_t classes) = 0;
    // AttachConsole(ATTACH_PARENT_PROCESS) and, when it works, standard output reopened on the console in
    // text mode; false when any step fails (standard output then stays as it was).
    [[nodiscard]] virtual bool AttachParentConsole() = 0;
    // Writes narrow text to standard output as it stands (no line end added) and flushes.
    virtual void WriteStdout(std::string_view text) = 0;
    // GetCommandLineW.
    [[nodiscard]] virtual std::u16string CommandLine() = 0;
    // LoadStringW from the resource module: the string-table entry, empty when there is none.
    [[nodiscard]] virtual std::u16string LoadString(std::uint32_t id) = 0;
    // lstrcmpW: the user's locale-aware, case-sensitive comparison; below, at or above 0 as a sorts.
    [[nodiscard]] virtual int CompareStrings(std::u16string_view a, std::u16string_view b) = 0;
    // GetLocaleInfoW(locale, LOCALE_SABBREVLANGNAME) into bufferChars characters; nothing when it fails.
    [[nodiscard]] virtual std::optional<std::u16string> GetLocaleAbbrevLanguage(
        std::uint32_t locale, std::uint32_t bufferChars) = 0;
    // GetModuleFileNameW(NULL) into 260 characters: the program's own path; empty when it fails.
    [[nodiscard]] virtual std::u16string GetModuleFileName() = 0;
    // LoadLibraryExW(path, LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE): a library of resources
    // only, none of its code run; 0 when it fails. It stays loaded until the process ends.
    [[nodiscard]] virtual Handle LoadLibrary(std::u16string_view path) = 0;
    // The module every later resource lookup is served from (LoadString, the windows' templates, icons and
    // bitmaps); the program's own until a language library is made current.
    virtual void SetResourceModule(Handle module) = 0;
    [[nodiscard]] virtual Handle ResourceModule() = 0;

  private:
    OsVersionCache osVersion_;
};

}  // namespace spoolsweep
