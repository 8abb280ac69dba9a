#pragma once
// What the credits scroller decides: where the text stands, when it is held, when it wraps, how the user's
// keys, wheel and scroll bar move it, and when the hidden scroll bar is brought up to date. The window class
// turns messages into calls here and carries out the effects these calls return.
#include <cstdint>
#include <optional>
#include <vector>

namespace spoolsweep::ui {

// Scroll-bar requests, numbered as the SB_ codes of WM_VSCROLL.
enum class ScrollRequest : int {
    LineUp = 0,
    LineDown = 1,
    PageUp = 2,
    PageDown = 3,
    ThumbPosition = 4,
    ThumbTrack = 5,
    Top = 6,
    Bottom = 7,
    EndScroll = 8,
};

// The keys that scroll, as virtual-key codes.
inline constexpr unsigned kKeyPageUp = 0x21;
inline constexpr unsigned kKeyPageDown = 0x22;
inline constexpr unsigned kKeyUp = 0x26;
inline constexpr unsigned kKeyDown = 0x28;

// One notch of a mouse wheel.
inline constexpr int kWheelDelta = 120;

[[nodiscard]] std::optional<ScrollRequest> ScrollForKey(unsigned virtualKey);

struct WheelScrolls {
    ScrollRequest request = ScrollRequest::LineDown;
    int count = 0;
};
// |delta| / 120 + 1 line scrolls: up for a forward movement, down otherwise.
[[nodiscard]] WheelScrolls ScrollsForWheel(int delta);

// What the pointer and the activation look like when a timer fires.
struct HoverFacts {
    bool topLevelActive = false;
    bool cursorInside = false;
};

// What the window does after a timer tick.
struct TickEffects {
    bool updateScrollBar = false;  // set the range 0..scrollBarMax and the position scrollBarPosition
    int scrollBarMax = 0;
    int scrollBarPosition = 0;
    bool hideScrollBar = false;
    bool stopPauseTimer = false;
    bool startPauseTimer = false;  // (re)start the pause timer with pauseDelay
    bool notifyParent = false;     // the text wrapped: WM_COMMAND to the parent
    bool repaint = false;
};

// What the window does after a scroll request.
struct ScrollEffects {
    bool startPauseTimer = false;
    bool repaint = false;
};

// A colour as 0x00BBGGRR.
using Colour = std::uint32_t;

// The colour of the text's shadow over a background pattern: each channel (text + 2 x background) / 3.
[[nodiscard]] Colour ShadowColour(Colour text, Colour background);

struct ScrollerState {
    static constexpr unsigned kScrollTimer = 1;
    static constexpr int kLineStep = 8;
    static constexpr int kTextMargin = 5;
    static constexpr int kCopyGap = 10;
    static constexpr int kContentPadding = 15;
    static constexpr std::uint32_t kHoverScrollBarOnCreate = 0x200000;

    bool paused = true;
    Colour backColour = 0x000000;
    Colour textColour = 0xFFFFFF;
    int clientWidth = 0;
    int clientHeight = 0;
    int contentHeight = 0;
    int offset = 0;  // 0 or negative: how far the text has moved up
    bool tilePattern = true;
    std::uint32_t hoverScrollBar = 1;
    bool wrap = true;
    int scrollDelay = 80;
    int pauseDelay = 1000;
    unsigned pauseTimer = 2;

    // Stores a new client size; true when it differs from the one the buffer was made for.
    [[nodiscard]] bool Resize(int width, int height);
    // The text changed: the next paint makes the buffer and measures again.
    void ForgetSize() { clientWidth = clientHeight = 0; }
    void SetContentHeight(int logoHeight, int textHeight) {
        contentHeight = kContentPadding + logoHeight + textHeight;
    }
    // The tops of the copies of the text to draw, the first at offset + 5.
    [[nodiscard]] std::vector<int> TextRows(int textHeight) const;

    [[nodiscard]] TickEffects OnTimer(unsigned timerId, HoverFacts hover);
    [[nodiscard]] ScrollEffects OnScroll(ScrollRequest request, int thumbPosition);

    [[nodiscard]] int ScrollRangeMax() const { return contentHeight - clientHeight; }
    [[nodiscard]] int ScrollPosition() const { return -offset; }
};

}  // namespace spoolsweep::ui
