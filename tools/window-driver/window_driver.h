#pragma once
// Drives another program's windows as a user's tools would, for window tests under Wine with a display:
// start the program, find its windows, read their texts, styles, places and shapes, look at their pixels,
// click and type, and close what was started.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/win32/window.h"

namespace spoolsweep::uitest {

// Asks `condition` every 20 ms until it holds or `timeout` has passed; returns its last answer.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

// A path as a command line's program or argument: in quotes, for the blanks it may hold.
inline std::wstring Quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

// A program started for a test. When the object goes, the program's windows are asked to close and a
// program still running after that is ended.
class Program {
  public:
    // `commandLine` begins with the program's path (quoted when it holds blanks).
    explicit Program(std::wstring commandLine);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    [[nodiscard]] bool started() const { return static_cast<bool>(process_); }
    [[nodiscard]] bool Running() const;
    // Its exit code once it has ended; STILL_ACTIVE while it runs, and also when it never started.
    [[nodiscard]] DWORD ExitCode() const;
    // Its top-level windows, of one class or of any when `className` is empty, in Z order.
    [[nodiscard]] std::vector<HWND> Windows(std::wstring_view className = {}) const;
    // Waits until it has at least `count` windows of the class; returns those it has then.
    [[nodiscard]] std::vector<HWND> WaitForWindows(std::wstring_view className, std::size_t count = 1) const;

  private:
    win32::unique_handle process_;
    DWORD id_ = 0;
};

[[nodiscard]] std::wstring ClassName(HWND window);
// A window's title or a control's text (of another program's control: the text it was created with).
[[nodiscard]] std::wstring Text(HWND window);
[[nodiscard]] DWORD Style(HWND window);
[[nodiscard]] DWORD ExStyle(HWND window);
[[nodiscard]] RECT ScreenRect(HWND window);
// A child's window rectangle in its parent's client coordinates.
[[nodiscard]] RECT RectInParent(HWND child);
[[nodiscard]] std::vector<HWND> Children(HWND window);
// The window's region, in window coordinates; none when the window is not shaped.
[[nodiscard]] win32::unique_hrgn Region(HWND window);

// Pixels as 0xRRGGBB, rows from the top.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> values;
    [[nodiscard]] std::uint32_t At(int x, int y) const {
        return values[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
    friend bool operator==(const Pixels&, const Pixels&) = default;
};
[[nodiscard]] Pixels ReadBitmap(HBITMAP bitmap);
// What the screen shows in `area` (screen coordinates).
[[nodiscard]] Pixels CaptureScreen(const RECT& area);

// Moves the mouse to a screen point and presses and releases a button there, as real input.
void ClickAt(POINT screen, bool rightButton = false);

// The dialog manager's windows of a program (class "#32770"): a message box is one whose text is the static
// control 0xFFFF. Waits until one shows whose caption is `caption` (any when empty); null when none did.
[[nodiscard]] HWND WaitForMessageBox(const Program& program, std::wstring_view caption = {});
[[nodiscard]] std::wstring MessageBoxText(HWND box);
// Waits until the program shows a dialog holding a control with this id; null when it did not.
[[nodiscard]] HWND WaitForDialogWith(const Program& program, int controlId);
// Presses a button of a dialog as a click would (BM_CLICK, posted).
void PressButton(HWND dialog, int buttonId);

// A list box of another program: its lines and each line's item data, read through its messages.
[[nodiscard]] std::vector<std::wstring> ListLines(HWND list);
[[nodiscard]] std::vector<LRESULT> ListItemData(HWND list);
// A line's rectangle in screen coordinates.
[[nodiscard]] RECT ListItemScreenRect(HWND list, int index);

}  // namespace spoolsweep::uitest
