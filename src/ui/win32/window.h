#pragma once
// The program's thin window layer over the Win32 API. A window or dialog object stores `this` in its window
// when the window is created, and one static procedure forwards every message to the object's virtual
// handler: a switch on the message there is the message map. Everything a window decides lives in portable
// controllers under src/ui; these classes only carry the decisions out.
#include <optional>

#include "platform/win32/unique_handles.h"
#include "platform/win32/windows_api.h"

namespace spoolsweep::win32 {

// GDI objects (bitmaps, fonts, brushes, regions) and memory device contexts.
using unique_gdi_object = UniqueResource<HandleTraits<HGDIOBJ, nullptr, &::DeleteObject>>;
using unique_hbitmap = UniqueResource<HandleTraits<HBITMAP, nullptr, &::DeleteObject>>;
using unique_hrgn = UniqueResource<HandleTraits<HRGN, nullptr, &::DeleteObject>>;
using unique_hdc = UniqueResource<HandleTraits<HDC, nullptr, &::DeleteDC>>;
using unique_hwnd = UniqueResource<HandleTraits<HWND, nullptr, &::DestroyWindow>>;

using unique_hhook = UniqueResource<HandleTraits<HHOOK, nullptr, &::UnhookWindowsHookEx>>;

// A pointer or handle carried by a message parameter or a window's long value: Windows passes them as
// integers by design, and this is where they become pointers again.
template <class T, class Integer>
[[nodiscard]] T FromMessageValue(Integer value) noexcept {
    return reinterpret_cast<T>(value);  // NOLINT(performance-no-int-to-ptr)
}

// The module whose code this is (the exe, or a DLL it is linked into): window classes are registered with it.
// Resources come from the resource module the caller passes in, which need not be this one.
[[nodiscard]] HINSTANCE CodeModule();

// Registers a window class; a class of that name already registered by this module counts as success.
[[nodiscard]] bool RegisterWindowClass(const WNDCLASSEXW& windowClass);

// A device context borrowed from a window with GetDC, given back with ReleaseDC.
class WindowDc {
  public:
    explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) {
            ::ReleaseDC(window_, dc_);
        }
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    [[nodiscard]] HDC get() const noexcept { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// BeginPaint / EndPaint.
class PaintDc {
  public:
    explicit PaintDc(HWND window) : window_(window) { dc_ = ::BeginPaint(window, &paint_); }
    ~PaintDc() { ::EndPaint(window_, &paint_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    [[nodiscard]] HDC get() const noexcept { return dc_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_ = nullptr;
};

// An object selected into a device context for one scope; the previous object goes back when it ends.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~SelectedObject() { ::SelectObject(dc_, previous_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A window made with CreateWindowExW from a class registered with Window::Procedure. The object outlives
// its window; after the last message (WM_NCDESTROY) the window handle is cleared and OnFinalMessage runs,
// where an object that owns itself may delete itself.
class Window {
  public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    [[nodiscard]] HWND hwnd() const noexcept { return hwnd_; }

    // The procedure to give a window class whose windows are Window objects.
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  protected:
    // Creates the window; `this` reaches Procedure through the creation parameter.
    bool CreateWindowObject(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                            const RECT& rect, HWND parent, HMENU menuOrId, HINSTANCE instance);
    // The message map: returns the result of a handled message, nothing to let DefWindowProcW have it.
    virtual std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // Called once the window is gone.
    virtual void OnFinalMessage() {}

  private:
    HWND hwnd_ = nullptr;
};

// A modal dialog from a dialog template, run by the dialog manager (DialogBoxParamW).
class ModalDialog {
  public:
    ModalDialog() = default;
    virtual ~ModalDialog() = default;
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    // Runs the dialog until EndDialog; returns its result, or -1 when it could not be created.
    INT_PTR DoModal(HINSTANCE resources, int templateId, HWND parent);
    [[nodiscard]] HWND hwnd() const noexcept { return hwnd_; }

  protected:
    // The message map. A handled message returns its result (for WM_INITDIALOG: whether the dialog manager
    // should set the focus); nothing lets the dialog manager have it.
    virtual std::optional<INT_PTR> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    void EndDialog(INT_PTR result) { ::EndDialog(hwnd_, result); }
    [[nodiscard]] HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }

  private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
};

}  // namespace spoolsweep::win32
