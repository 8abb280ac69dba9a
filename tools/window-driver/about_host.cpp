// A plain parent window that opens N about windows (default 1), and one more on each WM_COMMAND 16 (what the
// main dialog's About button sends); for the window tests and the screenshots:  about_host Spoolsweep.exe [N]
// The image and texts come from the exe loaded as a resource module, the way a language library is loaded.
#include <cwchar>

#include "platform/win32/unique_handles.h"
#include "ui/win32/splash_screen.h"

namespace {

constexpr WPARAM kAboutCommand = 16;
HINSTANCE g_resources = nullptr;

LRESULT CALLBACK HostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == kAboutCommand) {
        spoolsweep::win32::OpenAboutWindow(window, g_resources);
        return 0;
    }
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return 2;
    }
    spoolsweep::win32::unique_hmodule resources(
        ::LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!resources) {
        return 3;
    }
    g_resources = resources.get();
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &HostProcedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = L"SpoolsweepTestHost";
    ::RegisterClassExW(&windowClass);
    HWND host = ::CreateWindowExW(0, windowClass.lpszClassName, L"Spoolsweep test host",
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 40, 520, 400, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    if (host == nullptr) {
        return 4;
    }
    for (long opens = argc > 2 ? std::wcstol(argv[2], nullptr, 10) : 1; opens > 0; --opens) {
        ::SendMessageW(host, WM_COMMAND, kAboutCommand, 0);
    }
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
