#include "app/spoolsweep_app.h"

#include <utility>

#include "app/command_line_info.h"
#include "app/resource_language.h"
#include "cli/command_log.h"
#include "cli/custom_command_line_info.h"
#include "platform/win_errors.h"

namespace spoolsweep {
namespace {

constexpr std::uint32_t kStandardControlClasses = 0xFF;

constexpr std::u16string_view kPrivilegeMessage =
    u"You do not have sufficient security privileges to Uninstall Printers. Please contact your site "
    u"administrator, or logout and log in again as an administrator and try again...";

}  // namespace

bool CanLockServiceDatabase(Services& services) {
    HandleResult opened = services.OpenManager(kScManagerLock);
    if (opened.handle == 0) {
        return false;
    }
    ServiceHandle manager(opened.handle, {&services});
    HandleResult locked = services.LockDatabase(manager.get());
    if (locked.handle == 0) {
        return locked.error == win_error::kServiceDatabaseLocked;
    }
    ServiceLock lock(locked.handle, {&services});  // released at once, before the manager closes
    return true;
}

CSpoolsweepApp::CSpoolsweepApp(Machine& machine, DialogRunner runDialog)
    : machine_(machine), runDialog_(std::move(runDialog)) {}

bool CSpoolsweepApp::InitInstance() {
    machine_.system.InitCommonControls(kStandardControlClasses);
    // There is no framework start-up of our own to call here.
    SetRegistryKey(u"Norvel");
    if (!CanLockServiceDatabase(machine_.services)) {
        ReportMissingPrivilege();
        return false;
    }
    // Without a parent console (started from a shortcut) the options' console output is lost; they still
    // run and log.
    static_cast<void>(machine_.system.AttachParentConsole());

    CommandLog log(machine_.files, machine_.system);
    CCustomCommandLineInfo info(machine_, log);
    ParseCommandLine(info, machine_.system.CommandLine());
    if (!info.m_bOptionGiven) {
        RunDialogMode();
    } else {
        log.WriteLogLine("Command Line Arguments Passed so No UI is launched.");
    }
    return false;
}

void CSpoolsweepApp::ReportMissingPrivilege() {
    machine_.system.MessageBox(kPrivilegeMessage, u"Error", kMbOk | kMbIconStop);
}

// The language is chosen before the dialog exists, so that every resource it loads comes in that language.
// Neither result is used: the built-in resources serve when no library loads.
void CSpoolsweepApp::RunDialogMode() {
    m_hLangResources = SelectResourceLanguage(machine_.files, machine_.system);
    if (runDialog_) {
        runDialog_(machine_);
    }
}

int RunSpoolsweepApp(Machine& machine, const DialogRunner& runDialog) {
    CSpoolsweepApp app(machine, runDialog);
    static_cast<void>(app.InitInstance());
    return 0;
}

}  // namespace spoolsweep
