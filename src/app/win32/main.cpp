// The Windows entry of Spoolsweep.exe: the real machine, handed to the program's start-up, and the dialog
// mode's windows over it.
#include <memory>

#include "app/spoolsweep_app.h"
#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_seams.h"
#include "platform/win32/windows_api.h"
#include "removal/printer_remover.h"
#include "ui/win32/splash_screen.h"
#include "ui/win32/spoolsweep_dlg.h"

namespace {

// The main dialog, modally, from the resource module the language choice left current.
void RunDialogMode(spoolsweep::Machine& machine) {
    using namespace spoolsweep;
    const auto resources = win32::FromPortable<HINSTANCE>(machine.system.ResourceModule());
    const win32::EngineFactory makeEngine = [](Machine& m, RemovalDialogView* dialog,
                                               CheckListView* checkList) {
        return std::make_unique<PrinterRemover>(m, dialog, checkList);
    };
    static_cast<void>(win32::RunMainDialog(
        machine, resources, makeEngine,
        [resources](HWND parent) { win32::OpenAboutWindow(parent, resources); }, &ShowDriverKeptNotice));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPWSTR /*commandLine*/, int /*show*/) {
    spoolsweep::win32::Win32Machine machine;
    return spoolsweep::RunSpoolsweepApp(machine.machine(), RunDialogMode);
}
