#pragma once
// The credits area of the about window: a child window that scrolls a text upwards one pixel at a time,
// painted through an off-screen buffer. Its decisions are ui::ScrollerState's; this class carries them out.
#include <string>

#include "ui/scroller_state.h"
#include "ui/win32/window.h"

namespace spoolsweep::win32 {

class CScrollerCtrl : public Window {
  public:
    static constexpr const wchar_t* kClassName = L"SpoolsweepScroller";

    // Makes the child window "Scroller" over `rect` of `parent` and starts the scroll and pause timers.
    bool Create(const RECT& rect, HWND parent, UINT id);
    // Replaces the text; the next paint measures it again.
    void SetText(std::u16string text);
    void SetFont(unique_gdi_object font) { font_ = std::move(font); }
    // Optional pictures, owned by the caller: a background pattern (tiled or centred) and a logo above the
    // text.
    void SetPattern(HBITMAP pattern, bool tile);
    void SetLogo(HBITMAP logo) { logo_ = logo; }

    [[nodiscard]] const ui::ScrollerState& state() const noexcept { return state_; }

  protected:
    // Makes the buffer and measures the content when the client size changed.
    virtual void UpdateBuffer(HDC dc);
    virtual void FillBackground(HDC dc);
    // Each returns the height of what it draws, or would draw when `draw` is false.
    virtual int DrawLogo(HDC dc, int y, bool draw);
    virtual int DrawScrollText(HDC dc, int y, bool draw);

    std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void Paint();
    void OnTimer(UINT_PTR timerId);
    void OnVScroll(WPARAM wParam);
    void PostScrolls(ui::ScrollRequest request, int count);
    void StartPauseTimer();
    [[nodiscard]] bool HasTabStop() const;
    [[nodiscard]] ui::HoverFacts ReadHover() const;

    ui::ScrollerState state_;
    unique_gdi_object font_;
    std::u16string text_;
    HBITMAP pattern_ = nullptr;
    HBITMAP logo_ = nullptr;
    unique_hbitmap buffer_;
    int textHeight_ = 0;
};

}  // namespace spoolsweep::win32
