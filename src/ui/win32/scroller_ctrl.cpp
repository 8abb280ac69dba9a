#include "ui/win32/scroller_ctrl.h"

#include <utility>

namespace spoolsweep::win32 {
namespace {

static_assert(static_cast<int>(ui::ScrollRequest::LineUp) == SB_LINEUP &&
              static_cast<int>(ui::ScrollRequest::LineDown) == SB_LINEDOWN &&
              static_cast<int>(ui::ScrollRequest::PageUp) == SB_PAGEUP &&
              static_cast<int>(ui::ScrollRequest::PageDown) == SB_PAGEDOWN &&
              static_cast<int>(ui::ScrollRequest::ThumbPosition) == SB_THUMBPOSITION &&
              static_cast<int>(ui::ScrollRequest::ThumbTrack) == SB_THUMBTRACK &&
              static_cast<int>(ui::ScrollRequest::Top) == SB_TOP &&
              static_cast<int>(ui::ScrollRequest::Bottom) == SB_BOTTOM &&
              static_cast<int>(ui::ScrollRequest::EndScroll) == SB_ENDSCROLL);
static_assert(ui::kKeyUp == VK_UP && ui::kKeyDown == VK_DOWN && ui::kKeyPageUp == VK_PRIOR &&
              ui::kKeyPageDown == VK_NEXT && ui::kWheelDelta == WHEEL_DELTA);

constexpr UINT kClassStyle = CS_VREDRAW | CS_HREDRAW | CS_PARENTDC;
constexpr DWORD kStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP;
constexpr UINT kDrawFormat = DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX;

struct BitmapSize {
    int width = 0;
    int height = 0;
};

BitmapSize SizeOf(HBITMAP bitmap) {
    BITMAP info{};
    if (bitmap == nullptr || ::GetObjectW(bitmap, sizeof(info), &info) == 0) {
        return {};
    }
    return {info.bmWidth, info.bmHeight};
}

// Copies a whole bitmap into `dc` at x, y.
void CopyBitmap(HDC dc, HBITMAP bitmap, int x, int y) {
    unique_hdc source(::CreateCompatibleDC(dc));
    SelectedObject selected(source.get(), bitmap);
    BitmapSize size = SizeOf(bitmap);
    ::BitBlt(dc, x, y, size.width, size.height, source.get(), 0, 0, SRCCOPY);
}

}  // namespace

bool CScrollerCtrl::Create(const RECT& rect, HWND parent, UINT id) {
    state_.hoverScrollBar = ui::ScrollerState::kHoverScrollBarOnCreate;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = kClassStyle;
    windowClass.lpfnWndProc = &Window::Procedure;
    windowClass.hInstance = CodeModule();
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    if (!RegisterWindowClass(windowClass) ||
        !CreateWindowObject(0, kClassName, L"Scroller", kStyle, rect, parent,
                            FromMessageValue<HMENU>(static_cast<UINT_PTR>(id)), CodeModule())) {
        return false;
    }
    state_.paused = true;
    ::SetTimer(hwnd(), ui::ScrollerState::kScrollTimer, static_cast<UINT>(state_.scrollDelay), nullptr);
    StartPauseTimer();
    return true;
}

void CScrollerCtrl::SetText(std::u16string text) {
    text_ = std::move(text);
    if (hwnd() != nullptr) {
        state_.ForgetSize();
        ::InvalidateRect(hwnd(), nullptr, FALSE);
    }
}

void CScrollerCtrl::SetPattern(HBITMAP pattern, bool tile) {
    pattern_ = pattern;
    state_.tilePattern = tile;
}

void CScrollerCtrl::UpdateBuffer(HDC dc) {
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    if (!state_.Resize(client.right, client.bottom)) {
        return;
    }
    buffer_.reset(::CreateCompatibleBitmap(dc, client.right, client.bottom));
    textHeight_ = DrawScrollText(dc, 0, false);
    state_.SetContentHeight(DrawLogo(dc, 0, false), textHeight_);
}

void CScrollerCtrl::FillBackground(HDC dc) {
    RECT client{0, 0, state_.clientWidth, state_.clientHeight};
    if (pattern_ == nullptr || !state_.tilePattern) {
        ::SetBkColor(dc, state_.backColour);
        ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &client, nullptr, 0, nullptr);
    }
    if (pattern_ == nullptr) {
        return;
    }
    BitmapSize tile = SizeOf(pattern_);
    if (!state_.tilePattern) {
        CopyBitmap(dc, pattern_, (client.right - tile.width) / 2, (client.bottom - tile.height) / 2);
        return;
    }
    if (tile.width <= 0 || tile.height <= 0) {
        return;
    }
    for (int y = 0; y < client.bottom; y += tile.height) {
        for (int x = 0; x < client.right; x += tile.width) {
            CopyBitmap(dc, pattern_, x, y);
        }
    }
}

int CScrollerCtrl::DrawLogo(HDC dc, int y, bool draw) {
    if (logo_ == nullptr) {
        return 0;
    }
    BitmapSize size = SizeOf(logo_);
    if (draw) {
        CopyBitmap(dc, logo_, (state_.clientWidth - size.width) / 2, y);
    }
    return size.height;
}

int CScrollerCtrl::DrawScrollText(HDC dc, int y, bool draw) {
    HGDIOBJ font = font_ ? font_.get() : ::GetStockObject(DEFAULT_GUI_FONT);
    SelectedObject selected(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    std::wstring text = Wide(text_);
    RECT area{ui::ScrollerState::kTextMargin, y, state_.clientWidth - ui::ScrollerState::kTextMargin,
              state_.clientHeight};
    if (!draw) {
        return ::DrawTextW(dc, text.c_str(), -1, &area, kDrawFormat | DT_CALCRECT | DT_NOCLIP);
    }
    if (pattern_ != nullptr) {
        // Over a picture the text gets a shadow one pixel down and right, so that it stays legible.
        RECT shadow = area;
        ::OffsetRect(&shadow, 1, 1);
        ::SetTextColor(dc, ui::ShadowColour(state_.textColour, state_.backColour));
        ::DrawTextW(dc, text.c_str(), -1, &shadow, kDrawFormat);
    }
    ::SetTextColor(dc, state_.textColour);
    return ::DrawTextW(dc, text.c_str(), -1, &area, kDrawFormat);
}

std::optional<LRESULT> CScrollerCtrl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 0;
        case WM_GETDLGCODE:
            if (HasTabStop()) {
                return DLGC_WANTARROWS;
            }
            return std::nullopt;
        case WM_KEYDOWN:
            if (auto request = ui::ScrollForKey(static_cast<unsigned>(wParam))) {
                PostScrolls(*request, 1);
            }
            return 0;
        case WM_MOUSEWHEEL: {
            ui::WheelScrolls scrolls = ui::ScrollsForWheel(GET_WHEEL_DELTA_WPARAM(wParam));
            PostScrolls(scrolls.request, scrolls.count);
            return 0;
        }
        case WM_PAINT:
            Paint();
            return 0;
        case WM_TIMER:
            OnTimer(wParam);
            return 0;
        case WM_VSCROLL:
            OnVScroll(wParam);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN: {
            // A click closes the about window; nothing of this object may be used after the send.
            HWND self = hwnd();
            LRESULT result = ::DefWindowProcW(self, message, wParam, lParam);
            ::SendMessageW(::GetParent(self), WM_CLOSE, 0, 0);
            return result;
        }
        default:
            return std::nullopt;
    }
}

void CScrollerCtrl::Paint() {
    PaintDc paint(hwnd());
    UpdateBuffer(paint.get());
    if (!buffer_) {
        return;
    }
    unique_hdc memory(::CreateCompatibleDC(paint.get()));
    SelectedObject selected(memory.get(), buffer_.get());
    FillBackground(memory.get());
    for (int y : state_.TextRows(textHeight_)) {
        DrawScrollText(memory.get(), y, true);
    }
    ::BitBlt(paint.get(), 0, 0, state_.clientWidth, state_.clientHeight, memory.get(), 0, 0, SRCCOPY);
}

void CScrollerCtrl::OnTimer(UINT_PTR timerId) {
    if (::GetCapture() == hwnd()) {
        return;
    }
    ui::TickEffects effects = state_.OnTimer(static_cast<unsigned>(timerId), ReadHover());
    if (effects.updateScrollBar) {
        ::SetScrollRange(hwnd(), SB_VERT, 0, effects.scrollBarMax, FALSE);
        ::SetScrollPos(hwnd(), SB_VERT, effects.scrollBarPosition, TRUE);
    }
    if (effects.hideScrollBar) {
        ::ShowScrollBar(hwnd(), SB_VERT, FALSE);
    }
    if (effects.stopPauseTimer) {
        ::KillTimer(hwnd(), state_.pauseTimer);
    }
    if (effects.startPauseTimer) {
        StartPauseTimer();
    }
    if (effects.notifyParent) {
        ::SendMessageW(::GetParent(hwnd()), WM_COMMAND, static_cast<WPARAM>(::GetDlgCtrlID(hwnd())),
                       reinterpret_cast<LPARAM>(hwnd()));
    }
    if (effects.repaint) {
        ::InvalidateRect(hwnd(), nullptr, FALSE);
    }
}

void CScrollerCtrl::OnVScroll(WPARAM wParam) {
    if (!HasTabStop()) {
        return;
    }
    ui::ScrollEffects effects =
        state_.OnScroll(static_cast<ui::ScrollRequest>(LOWORD(wParam)), static_cast<int>(HIWORD(wParam)));
    if (effects.startPauseTimer) {
        StartPauseTimer();
    }
    ::SetScrollPos(hwnd(), SB_VERT, state_.ScrollPosition(), TRUE);
    if (effects.repaint) {
        ::InvalidateRect(hwnd(), nullptr, FALSE);
    }
}

void CScrollerCtrl::PostScrolls(ui::ScrollRequest request, int count) {
    for (int i = 0; i < count; ++i) {
        ::PostMessageW(hwnd(), WM_VSCROLL, MAKEWPARAM(static_cast<WORD>(request), 0), 0);
    }
}

void CScrollerCtrl::StartPauseTimer() {
    ::SetTimer(hwnd(), state_.pauseTimer, static_cast<UINT>(state_.pauseDelay), nullptr);
}

bool CScrollerCtrl::HasTabStop() const {
    return (::GetWindowLongW(hwnd(), GWL_STYLE) & WS_TABSTOP) != 0;
}

ui::HoverFacts CScrollerCtrl::ReadHover() const {
    ui::HoverFacts hover;
    if (state_.hoverScrollBar == 0) {
        return hover;
    }
    hover.topLevelActive = ::GetActiveWindow() == ::GetAncestor(hwnd(), GA_ROOT);
    POINT cursor{};
    RECT client{};
    if (::GetCursorPos(&cursor) && ::ScreenToClient(hwnd(), &cursor) && ::GetClientRect(hwnd(), &client)) {
        hover.cursorInside = ::PtInRect(&client, cursor) != FALSE;
    }
    return hover;
}

}  // namespace spoolsweep::win32
