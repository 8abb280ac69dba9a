#pragma once
// The about window: a borderless pop-up shaped by its image, with the scrolling credits inside. It is
// modeless: once Create has made its window, the thread's OpenAboutWindows holds the object until that
// window is destroyed (by a key press or click on it, its timeout, or its owner's end) and then deletes it.
#include <cstdint>
#include <memory>
#include <vector>

#include "ui/win32/scroller_ctrl.h"
#include "ui/win32/window.h"

namespace spoolsweep::win32 {

// Opens one more about window over `parent`, with its image and texts from `resources`; returns at once.
void OpenAboutWindow(HWND parent, HINSTANCE resources);

class CSplashScreenEx;

// The one owner of the open about windows of a thread. A window joins once its window exists and leaves when
// that window is gone, which deletes it; while any is open, a message hook sees what the thread takes from
// its queue, because the about window lives inside the main dialog's modal loop, whose message loop is the
// dialog manager's, and input addressed to it closes it.
class OpenAboutWindows {
  public:
    [[nodiscard]] static OpenAboutWindows& OfThisThread();
    // Takes the object of a created window; the first one installs the hook.
    CSplashScreenEx* Adopt(std::unique_ptr<CSplashScreenEx> splash);
    // Deletes an adopted object whose window is gone; the last one removes the hook. Others are left alone.
    void Release(const CSplashScreenEx* splash);
    // The open window that closes on input addressed to target, if any.
    [[nodiscard]] CSplashScreenEx* ClosingOnInputTo(HWND target) const;

  private:
    std::vector<std::unique_ptr<CSplashScreenEx>> windows_;
    unique_hhook hook_;
};

class CSplashScreenEx : public Window {
  public:
    static constexpr const wchar_t* kClassName = L"SplashScreenExClass";
    static constexpr UINT kScrollerId = 1;

    explicit CSplashScreenEx(HINSTANCE resources);
    ~CSplashScreenEx() override;

    // Registers the window class and makes the hidden, size-0 pop-up owned by `parent`.
    bool Create(HWND parent);
    // Loads the image, places the window, cuts its outline and makes the credits; false without the image.
    [[nodiscard]] bool SetBitmap();
    // Puts the window in place and shows it; starts the automatic close when there is a timeout.
    void Show();

    // True for a window this about window closes on when a key or button goes down in it.
    [[nodiscard]] bool ClosesOnInputTo(HWND target) const;
    // Hides the window (under HideAnimated) and destroys it.
    void Close();

  protected:
    std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage() override;

  private:
    void CopyImage(HDC dc) const;
    void SetOutline();

    HINSTANCE resources_;
    FARPROC animateWindow_ = nullptr;
    HWND parent_ = nullptr;
    unique_hbitmap bitmap_;
    std::uint32_t style_ = 0;
    std::uint32_t timeout_ = 2000;
    int width_ = 0;
    int height_ = 0;
    int x_ = 0;
    int y_ = 0;
    CScrollerCtrl scroller_;
};

}  // namespace spoolsweep::win32
