// The Windows entry of Spoolsweep.exe: the real machine, handed to the program's start-up, and the dialog
// mode's windows over it.
#include <cstdlib>
#include <memory>
#include <string>

#include "app/command_line_info.h"
#include "app/spoolsweep_app.h"
#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_seams.h"
#include "platform/win32/windows_api.h"
#include "platform/win32/winspool_library.h"
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

// Without the spooler's library the program can do nothing; it says so instead of failing on every printer.
// With options (a script, a console) the text goes to standard output, where a box would stop the script;
// started bare, as from the desktop, into a box.
int ReportMissingSpooler(spoolsweep::System& system, std::uint32_t error) {
    const std::string text = "Spoolsweep cannot load winspool.drv from the Windows system folder (error " +
                             std::to_string(error) + ").";
    if (spoolsweep::SplitCommandLine(system.CommandLine()).size() > 1) {
        static_cast<void>(system.AttachParentConsole());
        system.WriteStdout(text + "\n");
    } else {
        static_cast<void>(
            system.MessageBox(std::u16string(text.begin(), text.end()), u"Spoolsweep", MB_OK | MB_ICONERROR));
    }
    return 1;
}

}  // namespace

#if defined(__GLIBCXX__)
// An exception nothing catches ends the program through std::terminate. libstdc++'s default handler writes
// the exception's demangled type to standard error, which a windowed exe has not, and links in a 46 KB
// demangler to do it; this one ends the program the same way without them.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx
#endif

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPWSTR /*commandLine*/, int /*show*/) {
    // Before anything loads a library: no DLL is ever taken from the exe's own or the current folder.
    spoolsweep::win32::RestrictDllSearchToSystemFolder();
    spoolsweep::win32::Win32Machine machine;
    if (const std::uint32_t error = spoolsweep::win32::WinSpoolLoadError(); error != 0) {
        return ReportMissingSpooler(machine.machine().system, error);
    }
    return spoolsweep::RunSpoolsweepApp(machine.machine(), RunDialogMode);
}
