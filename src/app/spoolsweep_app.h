#pragma once
// The program's start-up on one machine: privilege check, console, command line, then either the options'
// closing log line or the dialog. Returns the process exit status (always 0 once started).
#include <functional>
#include <string>
#include <string_view>

#include "platform/machine.h"

namespace spoolsweep {

// Runs the dialog mode; the win32 entry supplies it once the dialog exists.
using DialogRunner = std::function<void(Machine&)>;

int RunSpoolsweepApp(Machine& machine, const DialogRunner& runDialog = {});

// True when the user may lock the service database; a lock held by another process (1055) counts too.
[[nodiscard]] bool CanLockServiceDatabase(Services& services);

// The application object: one per process, one pass through InitInstance.
class CSpoolsweepApp {
  public:
    CSpoolsweepApp(Machine& machine, DialogRunner runDialog);

    // Always false: the process ends after it, without a message loop.
    [[nodiscard]] bool InitInstance();

    // The application's registry key name, set during start-up.
    [[nodiscard]] const std::u16string& RegistryKey() const { return m_registryKey; }
    // The language resource library loaded for the dialog mode (0: the program's own resources).
    [[nodiscard]] Handle LanguageLibrary() const { return m_hLangResources; }

  private:
    void SetRegistryKey(std::u16string_view name) { m_registryKey = name; }
    void ReportMissingPrivilege();
    void RunDialogMode();

    Machine& machine_;
    DialogRunner runDialog_;
    std::u16string m_registryKey;
    Handle m_hLangResources = 0;
};

}  // namespace spoolsweep
