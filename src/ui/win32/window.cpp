#include "ui/win32/window.h"

namespace spoolsweep::win32 {

HINSTANCE CodeModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&Window::Procedure), &module);
    return module;
}

bool RegisterWindowClass(const WNDCLASSEXW& windowClass) {
    return ::RegisterClassExW(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

Window::~Window() {
    // A window still standing when its object goes must not call back into it.
    if (hwnd_ != nullptr) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

bool Window::CreateWindowObject(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                                const RECT& rect, HWND parent, HMENU menuOrId, HINSTANCE instance) {
    HWND created =
        ::CreateWindowExW(exStyle, className, title, style, rect.left, rect.top, rect.right - rect.left,
                          rect.bottom - rect.top, parent, menuOrId, instance, this);
    return created != nullptr;
}

LRESULT CALLBACK Window::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = FromMessageValue<Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        const auto* create = FromMessageValue<const CREATESTRUCTW*>(lParam);
        self = static_cast<Window*>(create->lpCreateParams);
        self->hwnd_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (self == nullptr) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    std::optional<LRESULT> handled = self->HandleMessage(message, wParam, lParam);
    LRESULT result = handled ? *handled : ::DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->OnFinalMessage();
    }
    return result;
}

INT_PTR ModalDialog::DoModal(HINSTANCE resources, int templateId, HWND parent) {
    return ::DialogBoxParamW(resources, MAKEINTRESOURCEW(templateId), parent, &ModalDialog::Procedure,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK ModalDialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = FromMessageValue<ModalDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = FromMessageValue<ModalDialog*>(lParam);
        self->hwnd_ = window;
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    }
    if (self == nullptr) {
        return FALSE;
    }
    std::optional<INT_PTR> handled = self->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        self->hwnd_ = nullptr;
    }
    if (!handled) {
        return FALSE;
    }
    // A dialog procedure returns a message's result through DWLP_MSGRESULT, except for the messages whose
    // result is the procedure's own return value.
    switch (message) {
        case WM_INITDIALOG:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
            return *handled;
        default:
            ::SetWindowLongPtrW(window, DWLP_MSGRESULT, *handled);
            return TRUE;
    }
}

}  // namespace spoolsweep::win32
