// Stands in for a winspool.drv planted beside the exe: once loaded, it leaves a file in the working folder.
#include "platform/win32/windows_api.h"

BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        HANDLE marker = ::CreateFileW(L"planted-dll-loaded", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
        if (marker != INVALID_HANDLE_VALUE) {
            ::CloseHandle(marker);
        }
    }
    return TRUE;
}
