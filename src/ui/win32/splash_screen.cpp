#include "ui/win32/splash_screen.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "resource.h"
#include "ui/splash_layout.h"

namespace spoolsweep::win32 {
namespace {

constexpr UINT_PTR kCloseTimer = 0;

bool IsClosingInput(UINT message) {
    switch (message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_NCLBUTTONDOWN:
        case WM_NCRBUTTONDOWN:
        case WM_NCMBUTTONDOWN:
            return true;
        default:
            return false;
    }
}

// Consumes a key press or button press addressed to an about window (or its credits) and closes that window.
LRESULT CALLBACK CloseOnInputHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        auto* message = FromMessageValue<MSG*>(lParam);
        if (IsClosingInput(message->message)) {
            if (CSplashScreenEx* target = OpenAboutWindows::OfThisThread().ClosingOnInputTo(message->hwnd)) {
                message->message = WM_NULL;
                target->Close();
            }
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

std::u16string LoadText(HINSTANCE resources, UINT id) {
    const wchar_t* text = nullptr;
    int length = ::LoadStringW(resources, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? FromWide(text, static_cast<std::size_t>(length)) : std::u16string();
}

// The image's pixels as 0xRRGGBB values, rows from the top.
std::vector<std::uint32_t> ReadPixels(HWND window, HBITMAP bitmap, int width, int height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    WindowDc screen(window);
    unique_hdc memory(::CreateCompatibleDC(screen.get()));
    if (::GetDIBits(memory.get(), bitmap, 0, static_cast<UINT>(height), pixels.data(), &info,
                    DIB_RGB_COLORS) != height) {
        pixels.clear();
    }
    return pixels;
}

}  // namespace

OpenAboutWindows& OpenAboutWindows::OfThisThread() {
    thread_local OpenAboutWindows open;
    return open;
}

CSplashScreenEx* OpenAboutWindows::Adopt(std::unique_ptr<CSplashScreenEx> splash) {
    if (!hook_) {
        hook_.reset(::SetWindowsHookExW(WH_GETMESSAGE, &CloseOnInputHook, nullptr, ::GetCurrentThreadId()));
    }
    windows_.push_back(std::move(splash));
    return windows_.back().get();
}

void OpenAboutWindows::Release(const CSplashScreenEx* splash) {
    const auto found = std::find_if(windows_.begin(), windows_.end(),
                                    [splash](const auto& open) { return open.get() == splash; });
    if (found == windows_.end()) {
        return;
    }
    // Taken off the list before it is deleted, so that nothing it does on the way finds it open.
    std::unique_ptr<CSplashScreenEx> gone = std::move(*found);
    windows_.erase(found);
    if (windows_.empty()) {
        hook_.reset();
    }
}

CSplashScreenEx* OpenAboutWindows::ClosingOnInputTo(HWND target) const {
    const auto found = std::find_if(windows_.begin(), windows_.end(),
                                    [target](const auto& open) { return open->ClosesOnInputTo(target); });
    return found == windows_.end() ? nullptr : found->get();
}

void OpenAboutWindow(HWND parent, HINSTANCE resources) {
    auto splash = std::make_unique<CSplashScreenEx>(resources);
    if (!splash->Create(parent)) {
        return;
    }
    CSplashScreenEx* window = OpenAboutWindows::OfThisThread().Adopt(std::move(splash));
    static_cast<void>(window->SetBitmap());
    window->Show();
}

CSplashScreenEx::CSplashScreenEx(HINSTANCE resources)
    : resources_(resources),
      animateWindow_(::GetProcAddress(::GetModuleHandleW(L"USER32.DLL"), "AnimateWindow")) {}

CSplashScreenEx::~CSplashScreenEx() = default;

bool CSplashScreenEx::Create(HWND parent) {
    parent_ = parent;
    // The class takes the style the window is made with.
    style_ = ui::kAboutBoxStyle;
    timeout_ = 0;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_DBLCLKS | CS_SAVEBITS | ((style_ & ui::kDropShadow) != 0 ? CS_DROPSHADOW : 0U);
    windowClass.lpfnWndProc = &Window::Procedure;
    windowClass.hInstance = CodeModule();
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = FromMessageValue<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = kClassName;
    if (!RegisterWindowClass(windowClass) && (windowClass.style & CS_DROPSHADOW) != 0) {
        windowClass.style &= ~static_cast<UINT>(CS_DROPSHADOW);
        static_cast<void>(RegisterWindowClass(windowClass));
    }
    return CreateWindowObject(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, nullptr, WS_POPUP, RECT{}, parent,
                              nullptr, CodeModule());
}

bool CSplashScreenEx::SetBitmap() {
    bitmap_.reset(static_cast<HBITMAP>(
        ::LoadImageW(resources_, MAKEINTRESOURCEW(IDB_ABOUT), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!bitmap_) {
        return false;
    }
    BITMAP info{};
    ::GetObjectW(bitmap_.get(), sizeof(info), &info);
    width_ = info.bmWidth;
    height_ = info.bmHeight;
    RECT parent{};
    if (parent_ != nullptr) {
        ::GetWindowRect(parent_, &parent);
    }
    ui::Point place = ui::PlaceSplash(
        style_, width_, height_, {::GetSystemMetrics(SM_CXFULLSCREEN), ::GetSystemMetrics(SM_CYFULLSCREEN)},
        {parent.left, parent.top, parent.right, parent.bottom}, {x_, y_});
    x_ = place.x;
    y_ = place.y;
    SetOutline();

    const ui::Rect& area = ui::kCreditsArea;
    if (scroller_.hwnd() != nullptr ||
        scroller_.Create(RECT{area.left, area.top, area.right, area.bottom}, hwnd(), kScrollerId)) {
        std::array<std::u16string, 4> paragraphs{
            LoadText(resources_, IDS_CREDITS_1), LoadText(resources_, IDS_CREDITS_2),
            LoadText(resources_, IDS_CREDITS_3), LoadText(resources_, IDS_CREDITS_4)};
        scroller_.SetText(
            ui::ComposeCredits(LoadText(resources_, IDS_VERSION_LABEL), ui::kProgramVersion, paragraphs));
    }
    return true;
}

void CSplashScreenEx::SetOutline() {
    std::vector<std::uint32_t> pixels = ReadPixels(hwnd(), bitmap_.get(), width_, height_);
    if (pixels.empty()) {
        return;
    }
    unique_hrgn outline(::CreateRectRgn(0, 0, 0, 0));
    for (const ui::Rect& run : ui::OutlineRectangles({width_, height_, pixels}, ui::kTransparentColour)) {
        unique_hrgn piece(::CreateRectRgn(run.left, run.top, run.right, run.bottom));
        ::CombineRgn(outline.get(), outline.get(), piece.get(), RGN_OR);
    }
    // The window owns the region once it is set.
    if (::SetWindowRgn(hwnd(), outline.get(), TRUE) != 0) {
        static_cast<void>(outline.release());
    }
}

void CSplashScreenEx::Show() {
    ::SetWindowPos(hwnd(), nullptr, x_, y_, width_, height_,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    if ((style_ & ui::kShowAnimated) != 0 && animateWindow_ != nullptr) {
        ::ShowWindow(hwnd(), SW_SHOW);
    }
    if (timeout_ != 0) {
        ::SetTimer(hwnd(), kCloseTimer, timeout_, nullptr);
    }
}

bool CSplashScreenEx::ClosesOnInputTo(HWND target) const {
    return (style_ & ui::kCloseOnInput) != 0 && target != nullptr &&
           (target == hwnd() || target == scroller_.hwnd());
}

void CSplashScreenEx::Close() {
    if ((style_ & ui::kHideAnimated) != 0 && animateWindow_ != nullptr) {
        ::ShowWindow(hwnd(), SW_HIDE);
    }
    ::DestroyWindow(hwnd());
}

void CSplashScreenEx::CopyImage(HDC dc) const {
    unique_hdc memory(::CreateCompatibleDC(dc));
    SelectedObject selected(memory.get(), bitmap_.get());
    ::BitBlt(dc, 0, 0, width_, height_, memory.get(), 0, 0, SRCCOPY);
}

std::optional<LRESULT> CSplashScreenEx::HandleMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_ERASEBKGND:
            return TRUE;
        case WM_PAINT: {
            PaintDc paint(hwnd());
            CopyImage(paint.get());
            return 0;
        }
        case WM_PRINTCLIENT:
            CopyImage(FromMessageValue<HDC>(wParam));
            return 0;
        case WM_TIMER:
            if (wParam == kCloseTimer) {
                ::KillTimer(hwnd(), kCloseTimer);
                Close();
            }
            return 0;
        default:
            return std::nullopt;
    }
}

// The window is gone: the open list lets go of this object (and deletes it, when it holds it).
void CSplashScreenEx::OnFinalMessage() {
    OpenAboutWindows::OfThisThread().Release(this);
}

}  // namespace spoolsweep::win32
