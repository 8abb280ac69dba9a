// The dialog mode's removal on simulated machines: whole runs as the dialog starts them, and its cost as the
// printer count grows.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/text.h"
#include "preview/memory_dialog.h"
#include "removal/printer_remover.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

using Names = std::vector<std::u16string>;
using Box = std::tuple<std::u16string, std::u16string, std::uint32_t>;  // caption, text, style

constexpr char16_t kVantleFolder[] = u"C:\\Program Files (x86)\\Vantle";
constexpr char16_t kVantleTempFolder[] = u"C:\\Program Files (x86)\\Vantle_temp";
constexpr char16_t kPresetFolder[] =
    u"C:\\Users\\admin\\AppData\\Roaming\\Norvel\\JPData\\DMT_NorvelAB12.PPD";
const Names kOffice = {u"NoDot",    u"Laser 1",  u"Laser 2", u"\\\\srv\\Desk",
                       u"Tamber 3", u"Tamber 1", u"Tamber 2"};

void AddPrinter(sim::SimMachine& sim, const std::u16string& name, const std::u16string& driver,
                std::vector<std::u16string> media = {}) {
    sim.AddPrinter(test::MakePrinter(name, driver));
    sim.SetString(kHkeyCurrentUser, u"Printers\\Settings\\Printers\\" + name, u"x", u"1");
    if (!media.empty()) {
        sim.SetMultiString(kHkeyLocalMachine,
                           u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" + name + u"\\DsDriver",
                           u"printMediaSupported", media);
    }
}

constexpr char16_t kDeskTempFile[] = u"C:\\Windows\\Temp\\,,srv,Desk.tmp";

// The printers of kOffice in this order: one on a driver whose data file has no extension, two laser printers
// (the second lists the form Custom) and a connection sharing a driver, three Tamber printers on two drivers;
// an x86 driver no printer uses, presets, the updater, Trackwell and the machine-wide residue.
void BuildOffice(sim::SimMachine& sim) {
    const Names drivers = {u"NoDot", u"Laser", u"Laser", u"Laser", u"Tamber CD", u"Tamber PS", u"Tamber PS"};
    const Names dataFiles = {u"NorvelXY", u"LASER.PPD", u"", u"", u"NorvelCD34.PPD", u"NorvelAB12.PPD", u""};
    for (std::size_t i = 0; i < kOffice.size(); ++i) {
        if (!dataFiles[i].empty()) {
            sim.AddDriver({u"Windows x64", drivers[i], dataFiles[i], u"C:\\Windows\\INF\\oem7.inf"});
        }
        AddPrinter(sim, kOffice[i], drivers[i], i == 2 ? Names{u"Custom"} : Names{});
    }
    sim.AddDriver({u"Windows NT x86", u"Old x86", u"OLD.PPD", u""});
    sim.AddForm({u"Custom", 0});
    sim.AddForm({u"Card", 2});
    sim.WriteFile(std::u16string(kPresetFolder) + u"\\EssentialPresets\\preferences", "p");
    sim.WriteFile(kVantleFolder + std::u16string(u"\\Tamber Driver Updater.exe"), "u");
    sim.WriteFile(u"C:\\Windows\\System32\\spool\\drivers\\x64\\loose.dll", "d");
    sim.SetString(kHkeyCurrentUser, u"Printers\\Settings\\Wizard", u"Driver Name", u"Laser");
    sim.CreateKey(kHkeyCurrentUser, u"Printers\\DMTDevMode");  // an empty cache goes with any driver
    sim.AddProcess(u"NorvelAB12.srv");
    sim.AddProcess(u"Trackwell.exe");
    sim.WriteFile(kDeskTempFile, "t");  // the connection's spool file, its backslashes written as commas
}

struct ListRun {
    Names checks = {};
    bool deleteAll = false;
    std::vector<int> answers = {};
    bool dropLast =
        false;  // the catalogue is one printer short: one went between the fill's two enumerations
    bool driverTakesUpdater = false;  // the first driver deletion takes the updater's folder with it
};

// Fills the list as the dialog does, checks the lines (a name the list lacks gets a line of its own, as if
// its printer went after the fill) and runs the removal; the names it listed as deleted.
Names RunDialog(sim::SimMachine& sim, const ListRun& run) {
    sim::MemoryDialog dialog(sim.machine().system);
    PrinterRemover remover(sim.machine(), &dialog, &dialog);
    (void)remover.FillPrinterList();
    for (const std::u16string& name : run.checks) {
        if (!dialog.Check(name)) {
            dialog.lines.push_back({u" " + name, 1});
        }
    }
    dialog.deleteAll = run.deleteAll ? 1 : 0;
    if (run.dropLast) {
        remover.printers.pop_back();
    }
    if (run.driverTakesUpdater) {
        sim.faults().OnCall("DeletePrinterDriverExW", [&sim] {
            (void)sim.machine().files.ShellDeleteTree(std::u16string(kVantleFolder) + u'\0', 0x414);
        });
    }
    sim.QueueMessageBoxAnswers(run.answers);
    remover.RunRemoval();
    return dialog.deleted;
}

std::vector<Box> Boxes(const sim::SimMachine& sim) {
    std::vector<Box> boxes;
    for (const auto& box : sim.MessageBoxes()) {
        boxes.emplace_back(box.caption, box.text, box.style);
    }
    return boxes;
}

template <class Items, class Field>
Names SortedNames(const Items& items, Field field) {
    std::set<std::u16string> names;
    for (const auto& item : items) {
        names.insert(item.*field);
    }
    return {names.begin(), names.end()};
}

struct Case {
    const char* what;
    ListRun run;
    std::vector<Box> boxes;
    Names driversLeft;
    int driverDeletionCalls;  // DeletePrinterDriverExW calls, -1: not counted
    bool presetsLeft, updaterLeft;
};

const std::u16string kQuestion =
    u"Select OK to delete the Tamber Driver and your associated presets.\nSelect Cancel to delete only the "
    u"Tamber Driver.";
const Box kAskPs{u"Tamber PS", kQuestion, kMbOkCancel};
const Box kAskCd{u"Tamber CD", kQuestion, kMbOkCancel};
const Box kKept{
    u"Spoolsweep",
    u"Driver- Laser is being used by some other PNP Printer also,So only Printer- \\\\srv\\Desk will "
    u"be deleted and underlying Driver will remain.",
    kMbOk};
const Names kAll = {u"Laser", u"NoDot", u"Old x86", u"Tamber CD", u"Tamber PS"};
const Names kAllButPs = {u"Laser", u"NoDot", u"Old x86", u"Tamber CD"};
const Names kTamberPs = {u"Tamber 1", u"Tamber 2"};

const std::vector<Case>& Cases() {
    // clang-format off
    static const std::vector<Case> cases = {
        {"shared Tamber driver", {kTamberPs, false, {1, 1}}, {kAskPs, kAskPs}, kAllButPs, 4, false, true},
        {"the updater is put back for the Tamber printer left", {kTamberPs, false, {2, 2}, false, true},
         {kAskPs, kAskPs}, kAllButPs, 4, true, true},
        {"no Tamber printer left", {{u"Tamber 1", u"Tamber 2", u"Tamber 3"}, false, {2, 2, 2}},
         {kAskCd, kAskPs, kAskPs}, {u"Laser", u"NoDot", u"Old x86"}, 6, true, false},
        // The last entry has no catalogue entry: asked by its own driver and not counted, so one stays.
        {"catalogue one short", {kTamberPs, false, {2, 2}, true}, {kAskPs, kAskPs}, kAllButPs, 4, true, true},
        {"local, shared driver", {{u"Laser 1"}}, {}, kAll, 0, true, true},
        {"connection, shared driver", {{u"\\\\srv\\Desk"}}, {kKept}, kAll, 0, true, true},
        {"empty data-file name", {{u"NoDot"}}, {}, {u"Laser", u"Old x86", u"Tamber CD", u"Tamber PS"}, 2, true, true},
        {"line of no printer", {{u"Ghost"}}, {}, kAll, 0, true, true},
        {"Delete All", {{u"NoDot", u"Laser 1", u"\\\\srv\\Desk", u"Tamber 3", u"Tamber 1", u"Tamber 2"}, true, {1, 1, 1}},
         {kAskCd, kAskPs, kAskPs}, {u"Laser"}, -1, false, false},
        // The updater kept for the Tamber printers left goes with every driver all the same.
        {"Delete All, Tamber printers left", {{u"Tamber 3", u"Tamber 1"}, true, {1}}, {kAskCd},
         {u"Laser", u"NoDot", u"Tamber PS"}, -1, true, false},
    };
    // clang-format on
    return cases;
}

TEST(PrinterRemover, RemovesTheCheckedPrintersAsTheDialogAsks) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.what);
        sim::SimMachine sim;
        BuildOffice(sim);
        const Names deleted = RunDialog(sim, c.run);

        Names expectedDeleted;
        Names expectedLeft;
        for (const std::u16string& name : kOffice) {
            const bool checked = std::count(c.run.checks.begin(), c.run.checks.end(), name) != 0;
            (checked ? expectedDeleted : expectedLeft).push_back(name);
        }
        std::sort(expectedLeft.begin(), expectedLeft.end());
        EXPECT_EQ(deleted, expectedDeleted);
        const bool deskGoes = std::count(deleted.begin(), deleted.end(), u"\\\\srv\\Desk") != 0;
        EXPECT_NE(sim.FileExists(kDeskTempFile), deskGoes) << "a removed connection's Temp file left behind";
        EXPECT_EQ(SortedNames(sim.Printers(), &sim::SimPrinter::name), expectedLeft);
        EXPECT_EQ(Boxes(sim), c.boxes);
        EXPECT_EQ(SortedNames(sim.Drivers(), &sim::SimDriver::name), c.driversLeft);
        if (c.driverDeletionCalls >= 0) {
            EXPECT_EQ(sim.calls().Count("DeletePrinterDriverExW"), std::uint64_t(c.driverDeletionCalls));
        }
        EXPECT_EQ(sim.FolderExists(kPresetFolder), c.presetsLeft);
        // The updater itself, not only its folder: a restore without a backup leaves the folder empty.
        EXPECT_EQ(sim.ReadFile(kVantleFolder + std::u16string(u"\\Tamber Driver Updater.exe")),
                  c.updaterLeft ? std::optional<std::string>("u") : std::nullopt)
            << c.what << ": the updater lost or left";
        EXPECT_FALSE(sim.FolderExists(kVantleTempFolder));
        EXPECT_EQ(sim.KeyExists(kHkeyCurrentUser, u"Printers\\DMTDevMode"), c.driversLeft == kAll);
        // The machine-wide residue goes only with "Delete All Printer Drivers".
        const bool all = c.run.deleteAll;
        EXPECT_EQ(test::CountJournal(sim, "StartServiceW Spooler"), all ? 2U : 1U)
            << "a spooler restart dropped";
        EXPECT_EQ(sim.ValueExists(kHkeyCurrentUser, u"Printers\\Settings\\Wizard", u"Driver Name"), !all);
        EXPECT_EQ(sim.FileExists(u"C:\\Windows\\System32\\spool\\drivers\\x64\\loose.dll"), !all);
        EXPECT_EQ(sim.Processes().back().running, !all);  // Trackwell.exe
    }
}

// The printer list's styles as the dialog template gives them, as far as its order goes.
std::uint32_t TemplatePrinterListStyle() {
    std::ifstream in(SPOOLSWEEP_DIALOG_TEMPLATE);
    for (std::string line; std::getline(in, line);) {
        if (line.find("IDC_PRINTER_LIST,") != std::string::npos) {
            return line.find("LBS_SORT") != std::string::npos ? kListBoxSort : 0;
        }
    }
    ADD_FAILURE() << "the dialog template has no printer list";
    return 0;
}

// The list box sorts the lines whatever order the spooler lists the printers in, and the refusal names every
// busy printer, checked or not, in the list's order and without the line's blank.
TEST(PrinterRemover, ListsSortedAndNamesEveryBusyPrinterInListOrder) {
    struct Case {
        bool reversed;  // the spooler lists the printers last added first
        Names busy;
        Names checks;
        Names named;
        const char* fault;
    };
    const Case cases[] = {
        {false, {}, {u"b"}, {}, "a printer without jobs is named busy"},
        {true, {u"b", u"A"}, {u"b"}, {u"A", u"b"}, "an unchecked busy printer is not named"},
        {false,
         {u"\\\\s\\C", u"a 2"},
         {},
         {u"\\\\s\\C", u"a 2"},
         "a busy printer after the first is not named"},
    };
    for (const Case& c : cases) {
        sim::SimMachine sim;
        sim.SetPrintersReversed(c.reversed);
        for (const char16_t* name : {u"b", u"A", u"\\\\s\\C", u"a 2"}) {
            AddPrinter(sim, name, u"Laser");
        }
        for (const std::u16string& name : c.busy) {
            sim.QueueJob(name);
        }
        sim::MemoryDialog dialog(sim.machine().system, TemplatePrinterListStyle());
        PrinterRemover remover(sim.machine(), &dialog, &dialog);
        ASSERT_EQ(remover.FillPrinterList(), 0);
        Names lines;
        for (const auto& line : dialog.lines) {
            lines.push_back(line.check == 0 ? line.text : u"checked");
        }
        EXPECT_EQ(lines, (Names{u" \\\\s\\C", u" A", u" a 2", u" b"}))
            << "the list is not sorted without case";
        for (const std::u16string& name : c.checks) {
            ASSERT_TRUE(dialog.Check(name));
        }
        Names named;
        EXPECT_EQ(remover.FindBusyPrinters(named), c.named.empty() ? 0 : 1) << c.fault;
        EXPECT_EQ(named, c.named) << c.fault;
    }
}

// A second removal from the same dialog knows the first only through the refilled list and the forms'
// printer: every mark starts at 0 and the other printers are those listed now, at their new places.
TEST(PrinterRemover, ASecondRemovalStartsFromTheRefilledList) {
    sim::SimMachine sim;
    sim::MemoryDialog dialog(sim.machine().system);
    PrinterRemover remover(sim.machine(), &dialog, &dialog);
    EXPECT_EQ(remover.FillPrinterList(), kNoPrintersInstalled);
    const std::u16string longName = u"\\\\srv\\" + std::u16string(kNameFieldChars - 6, u'L');
    AddPrinter(sim, longName, u"Z");
    sim.AddDriver({u"Windows x64", u"D", u"D.PPD", u""});
    sim.AddDriver({u"Windows x64", u"E", u"E.PPD", u""});
    sim.AddForm({u"Custom", 0});
    sim.AddForm({u"Card", 0});
    sim.AddProcess(u"D.srv");
    // Custom is listed by P2, Card by P1 alone: P3's "card" is another name.
    const std::map<std::u16string, Names> media = {
        {u"P1", {u"Card"}}, {u"P2", {u"Custom"}}, {u"P3", {u"card"}}};
    for (const std::u16string name : {u"P1", u"P2", u"P3", u"P4", u"P5"}) {
        AddPrinter(sim, name, name < u"P3" ? u"D" : u"E", media.contains(name) ? media.at(name) : Names{});
    }
    struct Step {
        Names checks;
        Names driversLeft;
        bool srvRunning;  // D.srv, ended with the removal of the printer whose driver D goes with it
        bool customLeft;  // Card, listed by the checked P1 alone, goes with it
        const char* fault;
    };
    // From the second run on the forms' printer is gone, so only the last local printer's own list takes
    // a form.
    const Step steps[] = {
        {{u"P1"}, {u"D", u"E"}, true, true, "a driver or a form goes while an unchecked printer uses it"},
        {{u"P2"}, {u"E"}, false, true, "the second run takes D for shared, as in the first run's list"},
        {{u"P4"}, {u"E"}, false, true, "the third run sees the second run's list"},
        {{u"P3", u"P5"}, {}, false, false, "a printer removed earlier in the run still counts as left"},
    };
    for (const Step& step : steps) {
        ASSERT_EQ(remover.FillPrinterList(), 0);
        // A line is a blank and at most 254 units of the name: 256 units with the terminator.
        EXPECT_EQ(dialog.lines.front().text, u" " + longName.substr(0, 254)) << "a list line cut elsewhere";
        for (const std::u16string& name : step.checks) {
            ASSERT_TRUE(dialog.Check(name));
        }
        remover.RunRemoval();
        EXPECT_EQ(SortedNames(sim.Drivers(), &sim::SimDriver::name), step.driversLeft) << step.fault;
        EXPECT_EQ(sim.Processes().front().running, step.srvRunning) << step.fault;
        const Names forms = step.customLeft ? Names{u"A4", u"Custom", u"Legal", u"Letter"}
                                            : Names{u"A4", u"Legal", u"Letter"};
        EXPECT_EQ(SortedNames(sim.Forms(), &sim::SimForm::name), forms)
            << step.fault << " (the forms kept are read from the checked printers, not the unchecked ones)";
    }
    EXPECT_EQ(dialog.deleted, (Names{u"P1", u"P2", u"P4", u"P3", u"P5"})) << "the deleted list lost a run";
    EXPECT_EQ(remover.firstLocalPrinter, u"P1") << "a later fill replaced the forms' printer";

    // With no local printer ever seen the print server is not asked for forms.
    sim::SimMachine connectionsOnly;
    AddPrinter(connectionsOnly, u"\\\\srv\\Q", u"Laser");
    EXPECT_EQ(RunDialog(connectionsOnly, ListRun{{u"\\\\srv\\Q"}}), Names{u"\\\\srv\\Q"});
    EXPECT_EQ(connectionsOnly.calls().Count("OpenPrinterW"), 0U) << "the print server is asked for forms";
}

// A checked printer's driver stays when a printer that stays has a driver whose name the user's locale
// (lstrcmpW) takes for the same, though it differs in code units.
TEST(PrinterRemover, ADriverStaysForANameTheLocaleTakesForItsOwn) {
    struct Case {
        std::u16string staying;
        bool kept;
        const char* fault;
    };
    const Case cases[] = {
        {u"Cafe\u0301 PS", true, "a combining accent makes another driver"},
        {u"Caf\u00AD\u00E9 PS", true, "a soft hyphen makes another driver"},
        {u"Caf\u00E9 PS 2", false, "a longer name is taken for the same driver"},
        {u"Cafe PS", false, "an accent is taken for no difference"},
    };
    for (const Case& c : cases) {
        sim::SimMachine sim;
        for (const std::u16string& driver : {std::u16string(u"Caf\u00E9 PS"), c.staying}) {
            sim.AddDriver({u"Windows x64", driver, u"X.PPD", u""});
            AddPrinter(sim, driver == c.staying ? u"Stays" : u"Goes", driver);
        }
        EXPECT_EQ(RunDialog(sim, ListRun{{u"Goes"}}), Names{u"Goes"});
        EXPECT_EQ(sim.Drivers().size(), c.kept ? 2U : 1U) << c.fault;
    }
}

// Platform calls and registry reads per printer with every printer checked.
std::pair<double, double> CostPerPrinter(int printers, bool deleteAll) {
    sim::SimMachine sim;
    const ListRun run{test::AddServerPrinters(sim, printers), deleteAll};
    sim.calls().Clear();
    EXPECT_EQ(RunDialog(sim, run).size(), static_cast<std::size_t>(printers));
    EXPECT_TRUE(sim.Printers().empty());
    return {double(sim.calls().Total()) / printers, double(sim.calls().Count("RegQueryValueExW")) / printers};
}

// A terminal server with hundreds of printers must cost no more per printer than a workstation.
TEST(PrinterRemover, CostPerPrinterDoesNotGrowWithThePrinterCount) {
    for (bool deleteAll : {false, true}) {
        const auto [smallCalls, smallReads] = CostPerPrinter(20, deleteAll);
        const auto [largeCalls, largeReads] = CostPerPrinter(200, deleteAll);
        EXPECT_LT(largeCalls, smallCalls * 1.05) << smallCalls << " calls per printer for 20, " << largeCalls;
        EXPECT_LT(largeReads, smallReads * 1.05) << smallReads << " reads per printer for 20, " << largeReads;
    }
}

}  // namespace
}  // namespace spoolsweep
