// The Windows entry of Spoolsweep.exe: the real machine, handed to the program's start-up.
#include "app/spoolsweep_app.h"
#include "platform/win32/win32_seams.h"
#include "platform/win32/windows_api.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPWSTR /*commandLine*/, int /*show*/) {
    spoolsweep::win32::Win32Machine machine;
    return spoolsweep::RunSpoolsweepApp(machine.machine());
}
