// The main dialog's decisions, over a fake dialog, a fake removal engine and the simulated machine's message
// boxes and string table.
#include "ui/main_dialog_controller.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace spoolsweep {
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

TEST(MainDialog, ExpandingTwiceGivesTheFirstHeightBack) {
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
}

TEST(MainDialog, AboutFromTheButtonAndTheSystemMenu) {
    DialogRun run({u"A"});
    run.events.clear();
    run.controller.OnBnClickedAbout();
    EXPECT_TRUE(run.controller.OnSysCommand(16));
    EXPECT_TRUE(run.controller.OnSysCommand(16 | 0x3));
    EXPECT_FALSE(run.controller.OnSysCommand(0xF060));
    EXPECT_EQ(run.events, (Events{"about 0", "about 0", "about 0"}));
    EXPECT_EQ(CenterIcon({0, 0, 101, 51}, 32, 32).x, 35);
    EXPECT_EQ(CenterIcon({0, 0, 101, 51}, 32, 32).y, 10);
}

}  // namespace
}  // namespace spoolsweep
