// The main dialog's decisions, over a fake dialog, a fake removal engine and the simulated machine's message
// boxes and string table; the About box's scroller and splash layout.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "ui/main_dialog_controller.h"
#include "ui/scroller_state.h"
#include "ui/splash_layout.h"

namespace spoolsweep::ui {
namespace {

using Names = std::vector<std::u16string>;
using Events = std::vector<std::string>;
constexpr int kOk = 1;
constexpr int kCancel = 2;

// The dialog's controls, its removal engine and the simulated machine in one: enabling, ending, the worker's
// start and About are written to `events`, message boxes go to the machine, and a removal takes the checked
// lines out of `installed`.
struct DialogRun : MainDialogView, DialogRemovalEngine {
    explicit DialogRun(std::set<std::u16string> printers, std::set<std::u16string> busyPrinters = {},
                       std::vector<int> answers = {kOk})
        : installed(std::move(printers)), busy(std::move(busyPrinters)) {
        sim.QueueMessageBoxAnswers(std::move(answers));
        opened = controller.OnInitDialog();
    }
    void Note(std::string what, int value = 0) { events.push_back(what + " " + std::to_string(value)); }

    bool HasSystemMenu() override { return true; }
    void AppendSystemMenuItem(int id, std::u16string_view text) override { menu[id] = text; }
    void SetIcon(bool big) override { Note("icon", big ? 1 : 0); }
    PixelRect WindowRect() override { return window; }
    PixelRect ClientRect() override { return {0, 0, window.Width() - 6, window.Height() - 30}; }
    PixelRect ControlRect(int id) override { return controls.at(id); }
    void ResizeWindow(int width, int height) override { window = {100, 80, 100 + width, 80 + height}; }
    void MoveControl(int id, const PixelRect& rect) override { controls[id] = rect; }
    void ShowControl(int id, bool show) override { shown[id] = show; }
    void SetControlText(int id, std::u16string_view text) override { texts[id] = text; }
    void FocusControl(int id) override { focus = id; }
    void EnableControl(int id, bool enable) override { Note(enable ? "enable" : "disable", id); }
    // Only control 1002 is a check box: asking any other control for a check state is a fault, as Windows
    // answers it with an unchecked state whatever was clicked.
    bool IsButtonChecked(int id) override {
        EXPECT_EQ(id, 1002) << "the check state is read from a control that is not Delete All";
        return checks[id];
    }
    void SetButtonCheck(int id, bool checked) override {
        EXPECT_EQ(id, 1002) << "a check state is written to a control that is not Delete All";
        checks[id] = checked;
    }
    void SetCheckStyle(int style) override { Note("style", style); }
    std::size_t PrinterCount() override { return lines.size(); }
    int PrinterCheck(std::size_t index) override { return lines.at(index).second; }
    void SetPrinterCheck(std::size_t index, int check) override { lines.at(index).second = check; }
    int ShowMessage(std::u16string_view text, std::u16string_view caption, std::uint32_t style) override {
        return sim.machine().system.MessageBox(text, caption, style);
    }
    void EndDialog(int result) override { Note("end", result); }
    bool StartRemovalWorker() override {
        Note("start worker");
        return workerStarts;
    }
    void SendRemovalDone() override { controller.OnRemovalDone(); }
    void OpenAbout() override { Note("about"); }

    // The engine's lines are the printer names, sorted.
    int FillPrinterList() override {
        lines.clear();
        for (const auto& name : installed) {
            lines.emplace_back(name, 0);
        }
        return installed.empty() ? 18 : 0;
    }
    int FindBusyPrinters(std::vector<std::u16string>& names) override {
        for (const auto& line : lines) {
            if (busy.count(line.first) != 0) {
                names.push_back(line.first);
            }
        }
        return names.empty() ? 0 : 1;
    }
    void RunRemoval() override {
        deleteAllSeen = controller.DeleteAllValue();
        for (const std::u16string& name : Checked()) {
            installed.erase(name);
            deleted.push_back(name);
        }
    }

    // A click on a line's check box: the list toggles it and notifies the dialog.
    void Toggle(std::u16string_view name) {
        for (auto& line : lines) {
            line.second = line.first == name ? 1 - line.second : line.second;
        }
        controller.OnChkChangePrinterList();
    }
    void ClickDeleteAll(int answer) {
        checks[1002] = !checks[1002];
        sim.QueueMessageBoxAnswers({answer});
        controller.OnBnClickedDeleteAll();
    }
    Names Checked() const {
        Names names;
        for (const auto& line : lines) {
            if (line.second == 1) {
                names.push_back(line.first);
            }
        }
        return names;
    }
    std::u16string LastMessage() const { return sim.MessageBoxes().back().text; }
    std::u16string String(std::uint32_t id) { return sim.machine().system.LoadString(id); }

    sim::SimMachine sim;
    MainDialogController controller{*this, sim.machine().system, *this};
    std::set<std::u16string> installed;
    std::set<std::u16string> busy;
    std::vector<std::pair<std::u16string, int>> lines;
    Names deleted;
    std::map<int, bool> checks;
    bool opened = false;
    bool workerStarts = true;
    std::int32_t deleteAllSeen = -1;
    Events events;
    PixelRect window{100, 80, 400, 600};
    std::map<int, PixelRect> controls{{1005, {11, 247, 26, 262}},
                                      {16, {11, 430, 112, 453}},
                                      {1, {180, 430, 281, 453}},
                                      {1000, {11, 40, 281, 177}}};
    std::map<int, bool> shown;
    std::map<int, std::u16string> texts;
    std::map<int, std::u16string> menu;
    int focus = 0;
};

TEST(MainDialog, OpensOnlyWithPrintersAndAfterTheStartUpWarning) {
    struct Case {
        std::set<std::u16string> printers;
        int answer;
        bool opened;
        std::uint32_t message;
        std::uint32_t style;
        Events events;
    };
    const Case cases[] = {
        {{}, kOk, false, 103, 0x10, {"icon 1", "icon 0", "style 3", "end 7"}},
        {{u"A"}, kCancel, false, 1010, 0x131, {"icon 1", "icon 0", "style 3", "end 7"}},
        {{u"A"}, kOk, true, 1010, 0x131, {"icon 1", "icon 0", "style 3"}},
    };
    for (const Case& c : cases) {
        DialogRun run(c.printers, {}, {c.answer});
        EXPECT_EQ(run.opened, c.opened);
        ASSERT_EQ(run.sim.MessageBoxes().size(), 1U);
        EXPECT_EQ(run.LastMessage(), run.String(c.message));
        EXPECT_EQ(run.sim.MessageBoxes().back().caption, u"Spoolsweep");
        EXPECT_EQ(run.sim.MessageBoxes().back().style, c.style);
        EXPECT_EQ(run.events, c.events);
        EXPECT_EQ(run.menu, (std::map<int, std::u16string>{{16, u"&About Spoolsweep..."}}));
    }
}

TEST(MainDialog, CheckChangesDeleteAllAndRefusedDeletions) {
    using Box = std::pair<std::uint32_t, std::uint32_t>;  // string id, style
    struct Case {
        Names steps;  // a name toggles its printer; "OK" and "Cancel" click Delete All and answer; "Delete"
        std::set<std::u16string> busy;
        Names checked;
        bool deleteAll;
        std::vector<Box> boxes;  // after the start-up warning; the last one may end with `end`
        std::u16string end;
        const char* fault;
    };
    // clang-format off
    const Case cases[] = {
        {{u"A", u"B", u"C"}, {}, {u"A", u"B", u"C"}, false, {{104, 0}}, u"",
         "checking every printer by hand arms Delete All, or says nothing"},
        {{u"OK", u"B"}, {}, {u"A", u"C"}, false, {{129, 0x111}}, u"",
         "Delete All stays armed after an uncheck"},
        {{u"OK"}, {}, {u"A", u"B", u"C"}, true, {{129, 0x111}}, u"",
         "OK on the warning checks not every printer"},
        {{u"B", u"Cancel"}, {}, {u"B"}, false, {{129, 0x111}}, u"",
         "Cancel on the warning leaves Delete All set"},
        {{u"OK", u"OK"}, {}, {}, false, {{129, 0x111}}, u"",
         "unchecking Delete All keeps the printers checked"},
        {{u"OK", u"B", u"B"}, {}, {u"A", u"B", u"C"}, false, {{129, 0x111}, {104, 0}}, u"",
         "checking the last printer again re-arms Delete All"},
        {{u"Delete"}, {}, {}, false, {{147, 0}}, u"", "a removal starts with nothing checked"},
        {{u"A", u"Delete"}, {u"C", u"B"}, {u"A"}, false, {{130, 0x10}}, u"-> B\n\n-> C\n\n",
         "a busy printer that is not checked lets the removal start"},
    };
    // clang-format on
    for (const Case& c : cases) {
        DialogRun run({u"C", u"A", u"B"}, c.busy);
        run.events.clear();
        for (const auto& step : c.steps) {
            if (step == u"OK" || step == u"Cancel") {
                run.ClickDeleteAll(step == u"OK" ? kOk : kCancel);
            } else if (step == u"Delete") {
                run.controller.OnBnClickedDelete();
            } else {
                run.Toggle(step);
            }
        }
        EXPECT_EQ(run.Checked(), c.checked) << c.fault;
        EXPECT_EQ(run.checks[1002], c.deleteAll) << c.fault;
        ASSERT_EQ(run.sim.MessageBoxes().size(), c.boxes.size() + 1) << c.fault;
        for (std::size_t i = 0; i < c.boxes.size(); ++i) {
            const bool last = i + 1 == c.boxes.size();
            EXPECT_EQ(run.sim.MessageBoxes()[i + 1].text, run.String(c.boxes[i].first) + (last ? c.end : u""))
                << c.fault;
            EXPECT_EQ(run.sim.MessageBoxes()[i + 1].style, c.boxes[i].second) << c.fault;
        }
        EXPECT_TRUE(run.events.empty()) << "a control changed or a worker started: " << c.fault;
        EXPECT_EQ(run.installed.size(), 3U) << c.fault;
    }
}

TEST(MainDialog, RemovalLocksTheControlsRefillsAndOnlyGrowsTheDeletedList) {
    DialogRun run({u"A", u"B", u"C"});
    run.ClickDeleteAll(kOk);
    run.Toggle(u"B");
    run.events.clear();
    run.controller.OnBnClickedDelete();
    EXPECT_TRUE(run.controller.IsRemoving());
    run.controller.RemovalThreadProc();
    EXPECT_EQ(run.events,
              (Events{"disable 1000", "disable 1001", "disable 1", "disable 1002", "start worker 0",
                      "enable 1000", "enable 1001", "enable 1", "enable 1002"}));
    EXPECT_EQ(run.deleteAllSeen, 0) << "unchecking a printer cleared Delete All";
    EXPECT_EQ(run.lines, (std::vector<std::pair<std::u16string, int>>{{u"B", 0}}));
    EXPECT_EQ(run.deleted, (Names{u"A", u"C"}));

    run.ClickDeleteAll(kOk);
    run.controller.OnBnClickedDelete();
    run.controller.RemovalThreadProc();
    EXPECT_EQ(run.deleteAllSeen, 1) << "a confirmed Delete All does not reach the removal";
    EXPECT_TRUE(run.lines.empty());
    EXPECT_EQ(run.deleted, (Names{u"A", u"C", u"B"}));
    EXPECT_FALSE(run.checks[1002]) << "Delete All stays checked after the removal";
    EXPECT_FALSE(run.controller.IsRemoving());
}

// The close box, Escape and the system menu's Close all end the dialog through OnCancel.
TEST(MainDialog, ACloseDuringARemovalWaitsForItsCompletion) {
    DialogRun idle({u"A"});
    DialogRun idleExit({u"A"});
    idle.controller.OnCancel();
    EXPECT_EQ(idle.events.back(), "end 2");
    idleExit.controller.OnOK();
    EXPECT_EQ(idleExit.events.back(), "end 1") << "Exit does not end an idle dialog";

    // Exit waits as well, and the worker goes on with the Delete All it was started with, whatever the box
    // says by then.
    DialogRun run({u"A"});
    run.Toggle(u"A");
    run.controller.OnBnClickedDelete();
    run.checks[1002] = true;
    run.controller.OnOK();
    EXPECT_EQ(run.events.back(), "start worker 0") << "a close cuts a removal off";
    run.controller.RemovalThreadProc();
    EXPECT_EQ(run.deleteAllSeen, 0) << "Exit during a removal wrote Delete All under the worker";
    EXPECT_EQ(run.events.end()[-2], "enable 1002");
    EXPECT_EQ(run.events.back(), "end 1") << "a close during a removal is forgotten";
    EXPECT_EQ(run.deleted, (Names{u"A"}));

    // A worker that cannot start ends the run at once.
    DialogRun stuck({u"A", u"B"});
    stuck.workerStarts = false;
    stuck.Toggle(u"A");
    stuck.controller.OnBnClickedDelete();
    EXPECT_FALSE(stuck.controller.IsRemoving()) << "a worker that never started leaves the dialog locked";
    EXPECT_EQ(stuck.events.back(), "enable 1002") << "a worker that never started leaves the controls off";
    EXPECT_TRUE(stuck.Checked().empty()) << "a worker that never started leaves the list unrefilled";
}

TEST(MainDialog, ExpandingTwiceGivesTheFirstHeightBackAndAboutOpensFromTheButtonAndTheSystemMenu) {
    DialogRun run({u"A"});
    struct Step {
        int height;
        int rowTop;
        bool expanded;
    };
    // Frame 30, "+" bottom 262, gaps 20, buttons 23 high, the printer list 137 high, 10 below the row.
    for (const Step& step : {Step{335, 272, false}, Step{492, 429, true}, Step{335, 272, false}}) {
        EXPECT_EQ(run.window.Height(), step.height);
        EXPECT_EQ(run.window.Width(), 300);
        EXPECT_EQ(run.controls[16].top, step.rowTop);
        EXPECT_EQ(run.controls[1].bottom, step.rowTop + 23);
        EXPECT_EQ(run.controls[1].left, 180);
        EXPECT_EQ(run.shown[1004], step.expanded);
        EXPECT_EQ(run.shown[1008], step.expanded);
        EXPECT_EQ(run.texts[1005], step.expanded ? u"-" : u"+");
        EXPECT_EQ(run.focus, 1001);
        run.controller.OnBnClickedExpand();
    }

    run.events.clear();
    run.controller.OnBnClickedAbout();
    EXPECT_TRUE(run.controller.OnSysCommand(16));
    EXPECT_TRUE(run.controller.OnSysCommand(16 | 0x3));
    EXPECT_FALSE(run.controller.OnSysCommand(0xF060));
    EXPECT_EQ(run.events, (Events{"about 0", "about 0", "about 0"}));
    EXPECT_EQ(CenterIcon({0, 0, 101, 51}, 32, 32).x, 35);
    EXPECT_EQ(CenterIcon({0, 0, 101, 51}, 32, 32).y, 10);
}

TEST(ScrollerTicks, MoveWrapNotifyPauseAndUpdateTheScrollBarOnlyForATallTextUnderTheCursorOfTheActiveWindow) {
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

    struct Hover {
        int content;
        HoverFacts hover;
        bool updates;
    };
    // A text as tall as the control has nothing to scroll.
    for (const Hover& c :
         {Hover{100, {true, true}, true}, Hover{40, {true, true}, false}, Hover{50, {true, true}, false},
          Hover{100, {false, true}, false}, Hover{100, {true, false}, false}}) {
        ScrollerState state;
        state.contentHeight = c.content, state.clientHeight = 50, state.offset = -7;
        TickEffects effects = state.OnTimer(ScrollerState::kScrollTimer, c.hover);
        EXPECT_EQ(effects.updateScrollBar, c.updates) << "the scroll bar's update, content " << c.content;
        EXPECT_TRUE(effects.hideScrollBar && effects.scrollBarMax == c.content - 50 &&
                    effects.scrollBarPosition == 7);
    }
}

TEST(ScrollerScroll, WheelAndKeysBecomeRequestsThatMoveAndClampBetweenTheEndAndTheStart) {
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

    // The wheel and keys become scroll requests.
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

TEST(Splash, OutlinesRowsFromTheBottomCentresAndComposesTheCredits) {
    EXPECT_EQ(Outline({"#.", ".#"}), (std::vector<Rect>{{1, 1, 2, 2}, {0, 0, 1, 1}}));
    EXPECT_EQ(Outline({".##"}), (std::vector<Rect>{{1, 0, 3, 1}}));
    EXPECT_EQ(Outline({"##", ".,", "#."}), (std::vector<Rect>{{0, 2, 1, 3}, {0, 0, 2, 1}}));
    EXPECT_EQ(Outline({"#.x#,#"}), (std::vector<Rect>{{0, 0, 1, 1}, {2, 0, 4, 1}, {5, 0, 6, 1}}));

    // The splash centres on the screen or its parent.
    Rect parent{100, 100, 700, 500};
    EXPECT_EQ(PlaceSplash(kAboutBoxStyle, 448, 464, {1024, 779}, parent, {}), (Point{288, 157}));
    EXPECT_EQ(PlaceSplash(kCenterOnParent, 448, 464, {1024, 779}, parent, {}), (Point{176, 68}));
    EXPECT_EQ(PlaceSplash(kCenterOnParent | kCenterOnScreen, 448, 464, {1024, 779}, parent, {}),
              (Point{288, 157}));
    EXPECT_EQ(PlaceSplash(0, 448, 464, {1024, 779}, parent, {3, 4}), (Point{3, 4}));

    // The credits: the version line, the paragraphs and four line breaks.
    std::vector<std::u16string> paragraphs{u"One", u"Two\nlines"};
    EXPECT_EQ(ComposeCredits(u"Version:", kProgramVersion, paragraphs),
              u"Version:3.4.0.15\r\n\r\nOne\r\n\r\nTwo\nlines\r\n\r\n\r\n\r\n\r\n");
}

}  // namespace
}  // namespace spoolsweep::ui
