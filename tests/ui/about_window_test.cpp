// The about window on a real window system (Wine with a display): about_host opens it over a plain parent
// window, and these tests find it, read it, look at it and click it as a user's tools would.
//   about_window_tests ABOUT_HOST.exe SPOOLSWEEP.exe
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <thread>

#include "resource.h"
#include "ui/win32/scroller_ctrl.h"
#include "window_driver.h"

namespace spoolsweep::uitest {
namespace {

std::wstring g_host;
std::wstring g_exe;

constexpr wchar_t kAboutClass[] = L"SplashScreenExClass";
constexpr wchar_t kHostClass[] = L"SpoolsweepTestHost";
constexpr RECT kCredits{142, 310, 340, 434};
constexpr std::uint32_t kMagenta = 0xFF00FF;

class AboutWindow : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(Open()); }

    // Starts a fresh host with one about window and waits until it shows.
    void Open() {
        host_.reset();
        host_.emplace(Quoted(g_host) + L" " + Quoted(g_exe) + L" 1");
        ASSERT_TRUE(host_->started());
        std::vector<HWND> about = host_->WaitForWindows(kAboutClass);
        ASSERT_EQ(about.size(), 1U);
        about_ = about.front();
        parent_ = host_->Windows(kHostClass).front();
        ASSERT_TRUE(WaitUntil([this] { return ::IsWindowVisible(about_) != FALSE; }));
    }

    std::optional<Program> host_;
    HWND about_ = nullptr;
    HWND parent_ = nullptr;
};

TEST_F(AboutWindow, IsACentredPopupShapedByItsImageWithTheCreditsInside) {
    EXPECT_EQ(ExStyle(about_), static_cast<DWORD>(WS_EX_TOPMOST | WS_EX_TOOLWINDOW));
    EXPECT_EQ(Style(about_) & (WS_POPUP | WS_CHILD | WS_CAPTION | WS_BORDER), static_cast<DWORD>(WS_POPUP));
    EXPECT_EQ(::GetWindow(about_, GW_OWNER), parent_);
    EXPECT_EQ(::GetClassLongPtrW(about_, GCL_STYLE), static_cast<ULONG_PTR>(CS_DBLCLKS | CS_SAVEBITS))
        << "the about window's class style";
    int left = (::GetSystemMetrics(SM_CXFULLSCREEN) - 448) / 2;
    int top = (::GetSystemMetrics(SM_CYFULLSCREEN) - 464) / 2;
    RECT expected{left, top, left + 448, top + 464};
    RECT actual = ScreenRect(about_);
    EXPECT_TRUE(::EqualRect(&expected, &actual));

    std::vector<HWND> children = Children(about_);
    ASSERT_EQ(children.size(), 1U);
    EXPECT_EQ(Text(children[0]), L"Scroller");
    EXPECT_EQ(Style(children[0]), 0x50030000U);
    RECT credits = RectInParent(children[0]);
    EXPECT_TRUE(::EqualRect(&credits, &kCredits));

    // Every pixel of the image is inside the window's region exactly when it is not magenta.
    win32::unique_hmodule exe(::LoadLibraryExW(g_exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    win32::unique_hbitmap image(static_cast<HBITMAP>(
        ::LoadImageW(exe.get(), MAKEINTRESOURCEW(IDB_ABOUT), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    ASSERT_TRUE(image);
    Pixels pixels = ReadBitmap(image.get());
    ASSERT_EQ(pixels.width, 448);
    ASSERT_EQ(pixels.height, 464);
    win32::unique_hrgn region = Region(about_);
    ASSERT_TRUE(region);
    int wrong = 0;
    int cut = 0;
    for (int y = 0; y < pixels.height; ++y) {
        for (int x = 0; x < pixels.width; ++x) {
            bool magenta = pixels.At(x, y) == kMagenta;
            cut += magenta ? 1 : 0;
            wrong += (::PtInRegion(region.get(), x, y) != FALSE) == magenta ? 1 : 0;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(cut, 0);
}

TEST_F(AboutWindow, CreditsMoveAfterThePause) {
    RECT area = kCredits;
    ::MapWindowPoints(about_, nullptr, reinterpret_cast<POINT*>(&area), 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Pixels before = CaptureScreen(area);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Pixels after = CaptureScreen(area);
    EXPECT_NE(before, after);
    // The credits show their paragraphs, not the version line alone, each frame on a clean background (a
    // frame drawn over the last leaves the text's trail: measured, 88% of the area shows the background, 52%
    // with it).
    for (const Pixels* frame : {&before, &after}) {
        const auto background = std::count(frame->values.begin(), frame->values.end(), 0U);
        const auto area = static_cast<std::ptrdiff_t>(frame->values.size());
        EXPECT_GT(background * 4, area * 3) << "the credits are drawn over the last frame";
        EXPECT_LT(background * 25, area * 24) << "the credits show little or no text";
    }
}

// Dispatches this thread's messages (the timers of a control made here) until `condition` holds.
bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    return WaitUntil(
        [&] {
            for (MSG message{}; ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
                ::DispatchMessageW(&message);
            }
            return condition();
        },
        timeout);
}

// The about window's credits control made in this process, where its scroll bar and state can be read: a
// user's hover and scroll, and a logo and a tiled pattern as the control offers them.
TEST(AboutWindowCredits, FollowHoverAndScrollsAndDrawTheirPictures) {
    win32::unique_hwnd parent(::CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"",
                                                WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 100, 100, 240, 160,
                                                nullptr, nullptr, nullptr, nullptr));
    ::SetForegroundWindow(parent.get());
    win32::CScrollerCtrl credits;
    ASSERT_TRUE(credits.Create(RECT{10, 10, 210, 134}, parent.get(), 1));
    std::u16string text;
    for (int line = 0; line < 26; ++line) {
        text += u"A line of the credits\n";
    }
    credits.SetText(text);
    ::UpdateWindow(credits.hwnd());
    const ui::ScrollerState& state = credits.state();
    ASSERT_GT(state.contentHeight, state.clientHeight);
    EXPECT_EQ(::GetClassLongPtrW(credits.hwnd(), GCLP_HCURSOR),
              reinterpret_cast<ULONG_PTR>(::LoadCursorW(nullptr, IDC_ARROW)))
        << "the pointer over the credits is not the arrow";
    HWND gone = nullptr;
    {
        win32::CScrollerCtrl shortLived;
        ASSERT_TRUE(shortLived.Create(RECT{0, 0, 20, 20}, parent.get(), 2));
        gone = shortLived.hwnd();
    }
    EXPECT_FALSE(::IsWindow(gone)) << "a control's window outlives its object";

    // The pointer over the credits of the active window: each tick keeps the scroll range up to date.
    ::SetCursorPos(210, 172);
    SCROLLINFO range{sizeof(range), SIF_RANGE, 0, 0, 0, 0, 0};
    EXPECT_TRUE(PumpUntil(
        [&] {
            return ::GetScrollInfo(credits.hwnd(), SB_VERT, &range) && range.nMax == state.ScrollRangeMax();
        },
        std::chrono::milliseconds(3000)))
        << "the pointer over the credits does not set their scroll range";
    ::SetCursorPos(400, 500);

    // A user's scroll moves the text, the scroll bar's position with it, and pauses the text for a while.
    PumpUntil([] { return false; }, std::chrono::milliseconds(1200));  // past the first pause
    ::PostMessageW(credits.hwnd(), WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 40), 0);
    ASSERT_TRUE(PumpUntil([&] { return state.offset == -40; }, std::chrono::milliseconds(1000)));
    EXPECT_EQ(::GetScrollPos(credits.hwnd(), SB_VERT), 40)
        << "a scroll leaves the scroll bar's position behind";
    EXPECT_TRUE(PumpUntil([&] { return state.offset < -40; }, std::chrono::milliseconds(4000)))
        << "the text stays paused for good after a user's scroll";

    // A logo adds its height to the content, and nothing without one; a tiled pattern covers the background,
    // and the text over it gets a shadow of (text + 2 x background) / 3, 0x555555 for white over black.
    const int withoutLogo = state.contentHeight;
    const std::vector<std::uint32_t> blue(16, 0xFF);  // 32-bit pixels, blue in the low byte
    win32::unique_hbitmap pattern(::CreateBitmap(4, 4, 1, 32, blue.data()));
    win32::unique_hbitmap logo(::CreateBitmap(8, 7, 1, 1, nullptr));
    credits.SetLogo(logo.get());
    credits.SetPattern(pattern.get(), true);
    credits.SetText(text);
    ::PostMessageW(credits.hwnd(), WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0);
    PumpUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(state.contentHeight - withoutLogo, 7) << "the logo's height is not counted once";
    RECT area{0, 0, state.clientWidth, state.clientHeight};
    ::MapWindowPoints(credits.hwnd(), nullptr, reinterpret_cast<POINT*>(&area), 2);
    const Pixels pixels = CaptureScreen(area);
    EXPECT_TRUE(pixels.At(0, pixels.height - 1) == 0x0000FF && pixels.At(pixels.width - 1, 0) == 0x0000FF)
        << "the pattern is not tiled over the background";
    EXPECT_NE(std::find(pixels.values.begin(), pixels.values.end(), 0x555555U), pixels.values.end())
        << "the text over the pattern has no shadow";
}

TEST_F(AboutWindow, EachOpenGivesOneMoreWindowAndClosingOneKeepsTheOther) {
    ::PostMessageW(parent_, WM_COMMAND, 16, 0);
    std::vector<HWND> windows = host_->WaitForWindows(kAboutClass, 2);
    ASSERT_EQ(windows.size(), 2U);
    ::PostMessageW(windows[0], WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_TRUE(WaitUntil([&] { return host_->Windows(kAboutClass) == std::vector<HWND>{windows[1]}; }))
        << "closing one of two about windows does not leave the other alone";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(::IsWindowVisible(windows[1]) && host_->Running())
        << "the other about window went with the first";
    ::PostMessageW(windows[1], WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_TRUE(WaitUntil([&] { return host_->Windows(kAboutClass).empty(); }))
        << "the second about window stays";
    EXPECT_TRUE(host_->Running() && ::IsWindowVisible(parent_));
}

TEST_F(AboutWindow, ClosesOnAClickOnItAndTheParentStays) {
    struct Case {
        const char* name;
        UINT input;
        POINT point;  // in the about window
        bool closes;
    };
    for (const Case& c : {Case{"click on the image", WM_LBUTTONDOWN, {224, 100}, true},
                          Case{"right click on the image", WM_RBUTTONDOWN, {60, 400}, true},
                          Case{"click on the credits", WM_LBUTTONDOWN, {240, 370}, true},
                          Case{"click in a cut-out corner", WM_LBUTTONDOWN, {4, 4}, false}}) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(Open());
        POINT point = c.point;
        ::MapWindowPoints(about_, nullptr, &point, 1);
        ClickAt(point, c.input == WM_RBUTTONDOWN);
        if (c.closes) {
            EXPECT_TRUE(WaitUntil([this] { return host_->Windows(kAboutClass).empty(); }));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            EXPECT_EQ(host_->Windows(kAboutClass).size(), 1U);
        }
        EXPECT_TRUE(host_->Running() && ::IsWindowVisible(parent_));
    }
}

}  // namespace
}  // namespace spoolsweep::uitest

int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc >= 3) {
        spoolsweep::uitest::g_host = argv[1];
        spoolsweep::uitest::g_exe = argv[2];
    }
    return RUN_ALL_TESTS();
}
