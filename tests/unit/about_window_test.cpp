#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "ui/scroller_state.h"
#include "ui/splash_layout.h"

namespace spoolsweep::ui {
namespace {

TEST(ScrollerTicks, MoveWrapNotifyAndPause) {
    struct Case {
        const char* name;
        int content, client, offset;
        bool wrap, paused;
        const char* timers;  // 's' the scroll timer fires, 'p' the pause timer
        int offsetAfter, notifications;
        bool pausedAfter;
    };
    for (const Case& c :
         {Case{"one pixel per tick", 100, 50, 0, true, false, "sss", -3, 0, false},
          Case{"held until the pause timer", 100, 50, 0, true, true, "ssp", -1, 0, false},
          Case{"wrap restarts at the top, notifies once, pauses", 20, 10, -19, true, false, "sssss", 0, 1,
               true},
          Case{"the text's last row still shows at minus its height", 20, 10, -19, true, false, "s", -20, 0,
               false},
          Case{"without wrap comes in from the bottom", 20, 10, -20, false, false, "s", 10, 1, false},
          Case{"coming in pauses at the top", 20, 10, 2, false, false, "sss", 0, 0, true}}) {
        SCOPED_TRACE(c.name);
        ScrollerState state;
        state.contentHeight = c.content;
        state.clientHeight = c.client;
        state.offset = c.offset;
        state.wrap = c.wrap;
        state.paused = c.paused;
        int notifications = 0;
        for (const char* timer = c.timers; *timer != '\0'; ++timer) {
            TickEffects effects =
                state.OnTimer(*timer == 'p' ? state.pauseTimer : ScrollerState::kScrollTimer, {});
            notifications += effects.notifyParent ? 1 : 0;
            EXPECT_EQ(effects.startPauseTimer, state.paused && effects.repaint);
        }
        EXPECT_EQ(state.offset, c.offsetAfter);
        EXPECT_EQ(notifications, c.notifications);
        EXPECT_EQ(state.paused, c.pausedAfter);
    }
}

TEST(ScrollerHover, UpdatesTheScrollBarOnlyForATallTextUnderTheCursorOfTheActiveWindow) {
    struct Case {
        int content;
        HoverFacts hover;
        bool updates;
    };
    // A text as tall as the control has nothing to scroll.
    for (const Case& c :
         {Case{100, {true, true}, true}, Case{40, {true, true}, false}, Case{50, {true, true}, false},
          Case{100, {false, true}, false}, Case{100, {true, false}, false}}) {
        ScrollerState state;
        state.contentHeight = c.content, state.clientHeight = 50, state.offset = -7;
        TickEffects effects = state.OnTimer(ScrollerState::kScrollTimer, c.hover);
        EXPECT_EQ(effects.updateScrollBar, c.updates) << "the scroll bar's update, content " << c.content;
        EXPECT_TRUE(effects.hideScrollBar && effects.scrollBarMax == c.content - 50 &&
                    effects.scrollBarPosition == 7);
    }
}

TEST(ScrollerScroll, MovesAndClampsBetweenTheEndAndTheStart) {
    struct Case {
        ScrollRequest request;
        int thumb, content, offset, expected;
    };
    using enum ScrollRequest;
    for (const Case& c :
         {Case{LineUp, 0, 100, 0, 0}, Case{LineUp, 0, 100, -20, -12}, Case{LineDown, 0, 100, 0, -8},
          Case{PageDown, 0, 100, 0, -40}, Case{PageDown, 0, 100, -50, -60}, Case{PageUp, 0, 100, -50, -10},
          Case{ThumbTrack, 30, 100, 0, -30}, Case{ThumbPosition, 500, 100, 0, -60}, Case{Top, 0, 100, -30, 0},
          Case{Bottom, 0, 100, 0, -60}, Case{Bottom, 0, 30, 0, 0}}) {
        ScrollerState state;
        state.paused = false;
        state.contentHeight = c.content;
        state.clientHeight = 40;
        state.offset = c.offset;
        ScrollEffects effects = state.OnScroll(c.request, c.thumb);
        EXPECT_EQ(state.offset, c.expected) << static_cast<int>(c.request) << " from " << c.offset;
        EXPECT_TRUE(effects.startPauseTimer && state.paused && effects.repaint);
    }
    ScrollerState unpaused;
    unpaused.paused = false;
    unpaused.pauseDelay = unpaused.scrollDelay;
    EXPECT_FALSE(unpaused.OnScroll(ScrollRequest::LineDown, 0).startPauseTimer || unpaused.paused);
}

TEST(ScrollerInput, WheelAndKeysBecomeScrollRequests) {
    struct Wheel {
        int delta;
        ScrollRequest request;
        int count;
    };
    for (const Wheel& w : {Wheel{240, ScrollRequest::LineUp, 3}, Wheel{120, ScrollRequest::LineUp, 2},
                           Wheel{1, ScrollRequest::LineUp, 1}, Wheel{0, ScrollRequest::LineDown, 1},
                           Wheel{-360, ScrollRequest::LineDown, 4}}) {
        WheelScrolls scrolls = ScrollsForWheel(w.delta);
        EXPECT_TRUE(scrolls.request == w.request && scrolls.count == w.count) << w.delta;
    }
    // Windows' virtual-key codes: VK_PRIOR, VK_NEXT, VK_UP, VK_DOWN; the space bar scrolls nothing.
    EXPECT_EQ(ScrollForKey(0x21), ScrollRequest::PageUp);
    EXPECT_EQ(ScrollForKey(0x22), ScrollRequest::PageDown);
    EXPECT_EQ(ScrollForKey(0x26), ScrollRequest::LineUp) << "the up arrow scrolls nothing";
    EXPECT_EQ(ScrollForKey(0x28), ScrollRequest::LineDown);
    EXPECT_EQ(ScrollForKey(0x20), std::nullopt);
    // The credits wait 1000 ms, then move a pixel every 80 ms, in white on black.
    const ScrollerState fresh;
    EXPECT_EQ(std::tie(fresh.pauseDelay, fresh.scrollDelay), std::make_tuple(1000, 80)) << "pause or step";
    EXPECT_EQ(std::tie(fresh.textColour, fresh.backColour), std::make_tuple(0xFFFFFFU, 0U)) << "colours";
}

TEST(ScrollerPaint, DrawsTheTextAgainBelowWhileItWrapsAndRemakesTheBufferForANewSize) {
    ScrollerState state;
    state.clientHeight = 100;
    EXPECT_EQ(state.TextRows(20), (std::vector<int>{5, 35, 65, 95}));
    state.offset = -10;
    EXPECT_EQ(state.TextRows(20), (std::vector<int>{-5, 25, 55, 85}));
    state.wrap = false;
    EXPECT_EQ(state.TextRows(20), (std::vector<int>{-5}));

    // The buffer is made again for a new width or height, and for any size once the text has changed.
    state = ScrollerState{};
    for (const auto& [width, height, forget, remade, fault] :
         {std::tuple{300, 200, false, true, "the first paint takes the empty size for its own"},
          {300, 200, false, false, "an unchanged size remakes the buffer"},
          {300, 201, false, true, "a new height alone keeps the old buffer"},
          {301, 201, false, true, "a new width alone keeps the old buffer"},
          {301, 201, true, true, "a changed text keeps the old buffer"}}) {
        if (forget) {
            state.ForgetSize();
        }
        EXPECT_EQ(state.Resize(width, height), remade) << fault;
    }
    EXPECT_EQ(state.ScrollRangeMax(), -201) << "the height is not kept for the scroll range";
    // Each channel a third of the text's and two thirds of the background's, from their low eight bits.
    EXPECT_EQ(ShadowColour(0x0000FF, 0xFF0000), 0xAA0055U) << "a channel loses its top bit";
    EXPECT_EQ(ShadowColour(0xFFFFFFFF, 0x00FFFF00), 0xFFFF55U) << "channels run into each other";
}

// '#' and 'x' (one step from magenta) are opaque; '.' is magenta, ',' magenta with its unused high byte set.
std::vector<Rect> Outline(const std::vector<std::string>& rows) {
    std::vector<std::uint32_t> pixels;
    for (const std::string& row : rows) {
        for (char pixel : row) {
            pixels.push_back(pixel == '.'   ? 0xFF00FF
                             : pixel == ',' ? 0xAAFF00FF
                             : pixel == 'x' ? 0xFF00FE
                                            : 0x2878C8);
        }
    }
    return OutlineRectangles({static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), pixels},
                             kTransparentColour);
}

TEST(SplashOutline, RowsFromTheBottomRunsFromTheLeft) {
    EXPECT_EQ(Outline({"#.", ".#"}), (std::vector<Rect>{{1, 1, 2, 2}, {0, 0, 1, 1}}));
    EXPECT_EQ(Outline({".##"}), (std::vector<Rect>{{1, 0, 3, 1}}));
    EXPECT_EQ(Outline({"##", ".,", "#."}), (std::vector<Rect>{{0, 2, 1, 3}, {0, 0, 2, 1}}));
    EXPECT_EQ(Outline({"#.x#,#"}), (std::vector<Rect>{{0, 0, 1, 1}, {2, 0, 4, 1}, {5, 0, 6, 1}}));
}

TEST(SplashPlace, CentresOnTheScreenOrTheParent) {
    Rect parent{100, 100, 700, 500};
    EXPECT_EQ(PlaceSplash(kAboutBoxStyle, 448, 464, {1024, 779}, parent, {}), (Point{288, 157}));
    EXPECT_EQ(PlaceSplash(kCenterOnParent, 448, 464, {1024, 779}, parent, {}), (Point{176, 68}));
    EXPECT_EQ(PlaceSplash(kCenterOnParent | kCenterOnScreen, 448, 464, {1024, 779}, parent, {}),
              (Point{288, 157}));
    EXPECT_EQ(PlaceSplash(0, 448, 464, {1024, 779}, parent, {3, 4}), (Point{3, 4}));
}

TEST(SplashCredits, VersionLineParagraphsAndFourLineBreaks) {
    std::vector<std::u16string> paragraphs{u"One", u"Two\nlines"};
    EXPECT_EQ(ComposeCredits(u"Version:", kProgramVersion, paragraphs),
              u"Version:3.4.0.15\r\n\r\nOne\r\n\r\nTwo\nlines\r\n\r\n\r\n\r\n\r\n");
}

}  // namespace
}  // namespace spoolsweep::ui
