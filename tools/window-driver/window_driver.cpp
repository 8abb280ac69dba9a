#include "window_driver.h"

#include <algorithm>
#include <array>
#include <thread>

namespace spoolsweep::uitest {
namespace {

struct WindowSearch {
    DWORD processId = 0;
    std::wstring_view className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && (search->className.empty() || ClassName(window) == search->className)) {
        search->found.push_back(window);
    }
    return TRUE;
}

constexpr int kMessageBoxTextId = 0xFFFF;

// Waits for the topmost visible dialog of the program that matches; null when none came.
HWND WaitForDialog(const Program& program, const std::function<bool(HWND)>& matches) {
    HWND found = nullptr;
    static_cast<void>(WaitUntil([&] {
        const std::vector<HWND> windows = program.Windows(L"#32770");
        const auto match = std::find_if(windows.begin(), windows.end(), [&](HWND window) {
            return ::IsWindowVisible(window) != FALSE && matches(window);
        });
        found = match == windows.end() ? nullptr : *match;
        return found != nullptr;
    }));
    return found;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM lParam) {
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(window);
    return TRUE;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

Program::Program(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                         &started)) {
        process_.reset(started.hProcess);
        win32::unique_handle thread(started.hThread);
        id_ = started.dwProcessId;
        ::WaitForInputIdle(started.hProcess, 10000);
    }
}

Program::~Program() {
    if (!Running()) {
        return;
    }
    for (HWND window : Windows()) {
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (::WaitForSingleObject(process_.get(), 5000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process_.get(), 1);
        ::WaitForSingleObject(process_.get(), 5000);
    }
}

bool Program::Running() const {
    return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

DWORD Program::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_) {
        static_cast<void>(::GetExitCodeProcess(process_.get(), &code));
    }
    return code;
}

std::vector<HWND> Program::Windows(std::wstring_view className) const {
    WindowSearch search{id_, className, {}};
    ::EnumWindows(&CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> Program::WaitForWindows(std::wstring_view className, std::size_t count) const {
    WaitUntil([&] { return Windows(className).size() >= count; });
    return Windows(className);
}

std::wstring ClassName(HWND window) {
    std::array<wchar_t, 256> name{};
    int length = ::GetClassNameW(window, name.data(), static_cast<int>(name.size()));
    return {name.data(), static_cast<std::size_t>(length > 0 ? length : 0)};
}

std::wstring Text(HWND window) {
    std::array<wchar_t, 1024> text{};
    int length = ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    return {text.data(), static_cast<std::size_t>(length > 0 ? length : 0)};
}

DWORD Style(HWND window) {
    return static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE));
}

DWORD ExStyle(HWND window) {
    return static_cast<DWORD>(::GetWindowLongW(window, GWL_EXSTYLE));
}

RECT ScreenRect(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return rect;
}

RECT RectInParent(HWND child) {
    RECT rect = ScreenRect(child);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::vector<HWND> Children(HWND window) {
    std::vector<HWND> children;
    ::EnumChildWindows(window, &CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

win32::unique_hrgn Region(HWND window) {
    win32::unique_hrgn region(::CreateRectRgn(0, 0, 0, 0));
    if (::GetWindowRgn(window, region.get()) == ERROR) {
        region.reset();
    }
    return region;
}

Pixels ReadBitmap(HBITMAP bitmap) {
    BITMAP size{};
    ::GetObjectW(bitmap, sizeof(size), &size);
    Pixels pixels{size.bmWidth, size.bmHeight, {}};
    pixels.values.resize(static_cast<std::size_t>(size.bmWidth) * static_cast<std::size_t>(size.bmHeight));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(info.bmiHeader), size.bmWidth, -size.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    win32::unique_hdc dc(::CreateCompatibleDC(nullptr));
    ::GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(size.bmHeight), pixels.values.data(), &info,
                DIB_RGB_COLORS);
    for (std::uint32_t& value : pixels.values) {
        value &= 0xFFFFFF;
    }
    return pixels;
}

Pixels CaptureScreen(const RECT& area) {
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    win32::WindowDc screen(nullptr);
    win32::unique_hdc memory(::CreateCompatibleDC(screen.get()));
    win32::unique_hbitmap bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
    {
        win32::SelectedObject selected(memory.get(), bitmap.get());
        ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
    }
    return ReadBitmap(bitmap.get());
}

void ClickAt(POINT screen, bool rightButton) {
    // Under Wine the pointer of the X display follows SetCursorPos; a window that sees it arrive reports a
    // move of its own, which could otherwise land between the move and the button below and press the button
    // where the pointer was before. So the pointer goes first, and the move travels with the button too.
    ::SetCursorPos(screen.x, screen.y);
    WaitUntil(
        [screen] {
            POINT cursor{};
            return ::GetCursorPos(&cursor) && cursor.x == screen.x && cursor.y == screen.y;
        },
        std::chrono::milliseconds(2000));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::array<INPUT, 3> inputs{};
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
    }
    inputs[0].mi.dx = ::MulDiv(screen.x, 65536, ::GetSystemMetrics(SM_CXSCREEN));
    inputs[0].mi.dy = ::MulDiv(screen.y, 65536, ::GetSystemMetrics(SM_CYSCREEN));
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].mi.dwFlags = rightButton ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    inputs[2].mi.dwFlags = rightButton ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

HWND WaitForMessageBox(const Program& program, std::wstring_view caption) {
    return WaitForDialog(program, [caption](HWND window) {
        return ::GetDlgItem(window, kMessageBoxTextId) != nullptr &&
               (caption.empty() || Text(window) == caption);
    });
}

std::wstring MessageBoxText(HWND box) {
    return Text(::GetDlgItem(box, kMessageBoxTextId));
}

HWND WaitForDialogWith(const Program& program, int controlId) {
    return WaitForDialog(program,
                         [controlId](HWND window) { return ::GetDlgItem(window, controlId) != nullptr; });
}

void PressButton(HWND dialog, int buttonId) {
    ::PostMessageW(::GetDlgItem(dialog, buttonId), BM_CLICK, 0, 0);
}

std::vector<std::wstring> ListLines(HWND list) {
    std::vector<std::wstring> lines;
    const auto count = static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::array<wchar_t, 512> text{};
        const LRESULT length =
            ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        lines.emplace_back(text.data(), static_cast<std::size_t>(length > 0 ? length : 0));
    }
    return lines;
}

std::vector<LRESULT> ListItemData(HWND list) {
    std::vector<LRESULT> data;
    const auto count = static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        data.push_back(::SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(i), 0));
    }
    return data;
}

RECT ListItemScreenRect(HWND list, int index) {
    RECT rect{};
    ::SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rect));
    ::MapWindowPoints(list, HWND_DESKTOP, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace spoolsweep::uitest
