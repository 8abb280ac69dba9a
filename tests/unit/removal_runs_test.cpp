// Whole command-line runs on a simulated machine: console bytes, command-log lines and the machine
// afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/spoolsweep_app.h"
#include "platform/sim/sim_machine.h"
#include "platform/text.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

using test::CountJournal;
using test::JournalIndex;
using test::LogHasInOrder;
using test::LogMessages;
using test::RunProgram;

constexpr char16_t kTamberDriver[] = u"Tamber Print Controller PCL";
constexpr char16_t kOtherDriver[] = u"Office Laser";
constexpr char16_t kInstall[] = u"C:\\Program Files (x86)\\Vantle";
constexpr char16_t kBackup[] = u"C:\\Program Files (x86)\\Vantle_temp";
constexpr char16_t kUpdater[] = u"C:\\Program Files (x86)\\Vantle\\Tamber Driver Updater.exe";

void AddTamberDriver(sim::SimMachine& sim, std::u16string name = kTamberDriver,
                     std::u16string dataFile = u"NorvelAB12.PPD") {
    sim.AddDriver({u"Windows x64", std::move(name), std::move(dataFile), u"C:\\Windows\\INF\\oem7.inf"});
}

void AddOtherDriver(sim::SimMachine& sim, std::u16string name = kOtherDriver) {
    sim.AddDriver({u"Windows x64", std::move(name), u"LASER.PPD", u"C:\\Windows\\INF\\oem3.inf"});
}

void AddLocal(sim::SimMachine& sim, std::u16string name, std::u16string driver) {
    sim.AddPrinter(test::MakePrinter(name, driver));
}

bool HasPrinter(const sim::SimMachine& sim, std::u16string_view name) {
    const auto names = test::PrinterNames(sim);
    return std::find(names.begin(), names.end(), name) != names.end();
}

constexpr char kClosing[] = "Command Line Arguments Passed so No UI is launched.";

TEST(RemovalRuns, OptionsRemoveWhatTheyNameAndReportIt) {
    struct Printer {
        std::u16string name;
        std::u16string driver;
        std::vector<std::uint32_t> jobCounts;  // scripted answers of the queue tests
    };
    struct Case {
        const char* label;
        std::vector<Printer> printers;
        std::u16string_view commandLine;
        std::string console;
        std::vector<std::u16string> printersLeft;
        std::size_t driversLeft;
        std::size_t restarts;
        std::vector<std::string> log;  // in order, with the closing line; exact when `exactLog`
        bool exactLog;
    };
    const std::u16string other = kOtherDriver;
    const std::vector<Printer> ab = {{u"A", other, {}}, {u"B", other, {}}};
    const std::string notAvailable = "Selected Printers are not available in the system.";
    // clang-format off
    const std::vector<Case> cases = {
        {"busy printer stays", {{u"P1", kTamberDriver, {1}}}, u"-p P1", "0", {u"P1"}, 2, 0,
         {"Removing Selected Printers", "Selected Printers are: ", "P1", "Deleting Printer \tP1",
          "Deleting Selected Printer", "Printer is Busy.", "Printer is Busy.",
          "Deletion of the Selected Printer was successful.", kClosing}, true},
        {"queue empties between the tests", {{u"P1", other, {1, 0}}}, u"-p P1", "1", {}, 1, 1,
         {"Printer is Busy.", "Printer is Not Busy."}, false},
        {"shared driver goes with the last printer", ab, u"-rmPrints", "Success", {}, 1, 1,
         {"Remove All Printers", "Deleting Driver in progress", "Deleting Driver in progress",
          "Deletion of Selected Driver with Index 1"}, false},
        {"driver shared with a printer that stays", ab, u"-p A", "1", {u"B"}, 2, 0, {}, false},
        {"printer named twice runs every step again", {{u"P1", other, {}}}, u"-p P1,P1", "11", {}, 1, 2,
         {"Deletion of Selected Driver with Index 0", "Deletion of Selected Driver with Index 0"}, false},
        {"three drivers three restarts", {{u"P-D1", u"D1", {}}, {u"P-D2", u"D2", {}}, {u"P-D3", u"D3", {}}},
         u"-rmPrints", "Success", {}, 2, 3, {}, false},
        {"remove all reaches a busy last printer", {{u"A", other, {}}, {u"B", u"D2", {1}}}, u"-rmPrints",
         "Success", {u"B"}, 2, 1, {}, false},
        {"two pieces two results", ab, u"-p A,B", "11", {}, 1, 1,
         {"Removing Selected Printers", "Selected Printers are: ", "A,B", "Deleting Printer \tA",
          "Deleting Selected Printer", "Deleting Printer \tB"}, false},
        {"a name not found after one that was", ab, u"-p A,Typo", "1" + notAvailable, {u"B"}, 2, 0, {}, false},
        {"an empty piece between commas, none after the last", ab, u"-p A,,B,", "1" + notAvailable + "1", {}, 1, 1,
         {"Deleting Printer \tA", "Deleting Printer \t", "Deleting Printer \tB"}, false},
        {"Tamber option without Tamber printers is silent", {{u"A", other, {}}}, u"-rmNorvelPrints", "", {u"A"},
         2, 0, {kClosing}, true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        sim::SimMachine sim;
        AddTamberDriver(sim);
        AddOtherDriver(sim);
        for (const Printer& printer : c.printers) {
            if (printer.driver != kTamberDriver && printer.driver != kOtherDriver) {
                AddOtherDriver(sim, printer.driver);
            }
            AddLocal(sim, printer.name, printer.driver);
            if (!printer.jobCounts.empty()) {
                sim.ScriptJobCounts(printer.name, printer.jobCounts);
            }
        }

        RunProgram(sim, u"Spoolsweep.exe " + std::u16string(c.commandLine));

        EXPECT_EQ(sim.Stdout(), c.console);
        EXPECT_EQ(test::PrinterNames(sim), c.printersLeft);
        EXPECT_EQ(sim.Drivers().size(), c.driversLeft);
        EXPECT_EQ(CountJournal(sim, "ControlService Spooler STOP"), c.restarts);
        EXPECT_EQ(CountJournal(sim, "StartServiceW Spooler"), c.restarts);
        const auto log = LogMessages(sim);
        EXPECT_TRUE(c.exactLog ? log == c.log : LogHasInOrder(log, c.log)) << ::testing::PrintToString(log);
    }
}

TEST(RemovalRuns, FormsGoOnlyWithTheLastLocalPrinter) {
    sim::SimMachine sim;
    AddOtherDriver(sim);
    sim.AddForm({u"Custom Label", 0});
    sim.AddForm({u"Tray Form", 2});
    for (auto name : {u"A", u"B", u"C"}) {
        AddLocal(sim, name, kOtherDriver);
    }

    RunProgram(sim, u"Spoolsweep.exe -rmPrints");

    const auto formDeleted = JournalIndex(sim, "DeleteFormW Custom Label");
    ASSERT_TRUE(formDeleted.has_value());
    EXPECT_GT(*formDeleted, *JournalIndex(sim, "DeletePrinter B"));
    EXPECT_LT(*formDeleted, *JournalIndex(sim, "DeletePrinter C"));
    EXPECT_TRUE(JournalIndex(sim, "DeleteFormW Tray Form").has_value());
    EXPECT_FALSE(JournalIndex(sim, "DeleteFormW Letter").has_value());  // built-in forms stay
}

TEST(RemovalRuns, ConnectionIsRemovedWithItsTempFilesOnly) {
    sim::SimMachine sim;
    AddOtherDriver(sim);
    AddLocal(sim, u"Local", kOtherDriver);
    AddLocal(sim, u"\\\\srv\\Q", kOtherDriver);  // a connection
    sim.AddForm({u"Custom Label", 0});
    sim.AddProcess(u"LASER.srv");
    sim.WriteFile(u"C:\\Users\\admin\\AppData\\Local\\Temp\\,,srv,Q.tmp", "x");
    sim.WriteFile(u"C:\\Windows\\Temp\\,,srv,Q.tmp", "x", 0x21);  // read-only

    RunProgram(sim, u"Spoolsweep.exe -p \\\\srv\\Q");

    EXPECT_EQ(sim.Stdout(), "1");
    EXPECT_TRUE(JournalIndex(sim, "DeletePrinterConnectionW \\\\srv\\Q").has_value());
    EXPECT_FALSE(sim.FileExists(u"C:\\Users\\admin\\AppData\\Local\\Temp\\,,srv,Q.tmp"));
    EXPECT_FALSE(sim.FileExists(u"C:\\Windows\\Temp\\,,srv,Q.tmp"));
    EXPECT_EQ(CountJournal(sim, "DeleteFormW"), 0U);
    EXPECT_EQ(CountJournal(sim, "TerminateProcess"), 0U);
    auto log = LogMessages(sim);
    EXPECT_EQ(std::count(log.begin(), log.end(), "FreeupPrerequisites"), 0);
    EXPECT_TRUE(HasPrinter(sim, u"Local"));
}

// The driver goes with its files, its hardware-ID folder and its model's key.
TEST(RemovalRuns, NorvelOptionRemovesOnlyTamberPrintersWithTheirDriverAndEndsTheCompanion) {
    sim::SimMachine sim;
    AddTamberDriver(sim);
    AddOtherDriver(sim);
    AddLocal(sim, u"Office", kOtherDriver);
    AddLocal(sim, u"Tamber 1", kTamberDriver);
    const auto companion = sim.AddProcess(u"NorvelAB12.srv");
    sim.SetString(kHkeyLocalMachine,
                  u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Tamber 1\\PnPData", u"HardwareID",
                  u"LPTENUM\\Tamber-PCL");
    const std::u16string hardwareFolder = u"C:\\Windows\\System32\\spool\\drivers\\x64\\Tamber_PCL";
    const std::u16string modelKey = u"Software\\Norvel\\Job Properties\\Driver\\NorvelAB12";
    sim.WriteFile(hardwareFolder + u"\\a.dll", "d");
    sim.WriteFile(u"C:\\Windows\\Temp\\NorvelAB12.wmk", "w");
    sim.CreateKey(kHkeyCurrentUser, modelKey);

    RunProgram(sim, u"Spoolsweep.exe -rmNorvelPrints");

    EXPECT_FALSE(sim.FolderExists(hardwareFolder));
    EXPECT_FALSE(sim.FileExists(u"C:\\Windows\\Temp\\NorvelAB12.wmk"));
    EXPECT_FALSE(sim.KeyExists(kHkeyCurrentUser, modelKey));
    EXPECT_EQ(sim.Stdout(), "1");
    EXPECT_TRUE(HasPrinter(sim, u"Office"));
    EXPECT_FALSE(HasPrinter(sim, u"Tamber 1"));
    ASSERT_EQ(sim.Drivers().size(), 1U);
    EXPECT_EQ(sim.Drivers()[0].name, kOtherDriver);
    EXPECT_FALSE(test::IsRunning(sim, companion));
    EXPECT_TRUE(LogHasInOrder(LogMessages(sim), {"PC File Name NorvelAB12 SRV Process Found.",
                                                 "NorvelAB12SRV Process is being Terminated."}));
}

// The driver residue is deleted by the removed printer's name, so a driver key that happens to bear that name
// goes too; a Tamber printer using that driver then no longer reads as Tamber, and the updater goes with the
// next removal. Registry names match without case, beyond ASCII too.
TEST(RemovalRuns, DriverKeyNamedLikeARemovedPrinterNoLongerCountsAsTamber) {
    for (const auto& [printer, driver] : {std::pair{u"Alpha", u"alpha"}, {u"\u00C5lpha", u"\u00E5lpha"}}) {
        sim::SimMachine sim;
        AddOtherDriver(sim, u"Office Laser");
        AddOtherDriver(sim, u"Label Writer");
        AddTamberDriver(sim, driver);
        AddLocal(sim, printer, u"Office Laser");
        AddLocal(sim, u"Gamma", u"Label Writer");
        AddLocal(sim, u"Beta", driver);
        sim.WriteFile(kUpdater, "updater");

        RunProgram(sim, u"Spoolsweep.exe -p " + std::u16string(printer) + u",Gamma");

        EXPECT_EQ(sim.Stdout(), "11");
        EXPECT_TRUE(HasPrinter(sim, u"Beta"));
        EXPECT_FALSE(sim.FolderExists(kInstall))
            << "the driver whose key went with the printer's name still counts as Tamber";
    }
}

// Two Tamber printers on drivers of their own and another printer.
void AddTamberOffice(sim::SimMachine& sim) {
    AddTamberDriver(sim);
    AddTamberDriver(sim, u"Tamber Two", u"NorvelCD34.PPD");
    AddOtherDriver(sim);
    AddLocal(sim, u"Tamber 1", kTamberDriver);
    AddLocal(sim, u"Tamber 2", u"Tamber Two");
    AddLocal(sim, u"Office", kOtherDriver);
}

TEST(UpdaterFolders, KeptOrRestoredWhileTamberPrintersRemainAndDeletedAfterTheLast) {
    struct Case {
        const char* what;
        std::string installed, backedUp;  // the updater in the install and the backup folder before, "" none
        std::u16string_view printers;
        std::optional<std::string> after;
    };
    for (const Case& c :
         {Case{"kept", "updater", "", u"Office", "updater"},
          Case{"restored from the backup", "", "saved", u"Office", "saved"},
          Case{"deleted with the last", "updater", "old", u"\"Tamber 1,Tamber 2\"", std::nullopt}}) {
        SCOPED_TRACE(c.what);
        sim::SimMachine sim;
        AddTamberOffice(sim);
        if (!c.installed.empty()) {
            sim.WriteFile(kUpdater, c.installed);
        }
        if (!c.backedUp.empty()) {
            sim.WriteFile(std::u16string(kBackup) + u"\\Tamber Driver Updater.exe", c.backedUp);
        }
        RunProgram(sim, u"Spoolsweep.exe -p " + std::u16string(c.printers));
        EXPECT_EQ(sim.ReadFile(kUpdater), c.after);
        EXPECT_EQ(sim.FolderExists(kInstall), c.after.has_value());
        EXPECT_FALSE(sim.FolderExists(kBackup));  // a backup made before the driver deletion is gone again
        // One copy each: the backup while a Tamber printer remains, or the restore; none once the last has
        // gone.
        EXPECT_EQ(sim.calls().Count("CopyFileW"), 1U) << "a backup copied when no Tamber printer is left";
    }
}

TEST(UpdaterFolders, RestoredWhenTheInstallFolderVanishesDuringTheDriverDeletion) {
    sim::SimMachine sim;
    AddTamberOffice(sim);
    sim.WriteFile(kUpdater, "updater");
    // The driver's uninstaller takes the updater's folder with it.
    sim.faults().OnCall("DeletePrinterDriverExW", [&sim] {
        (void)sim.machine().files.ShellDeleteTree(std::u16string(kInstall) + u'\0', 0x414);
    });
    RunProgram(sim, u"Spoolsweep.exe -p Office");
    EXPECT_EQ(sim.ReadFile(kUpdater), "updater");
    EXPECT_FALSE(sim.FolderExists(kBackup));
    const auto vanished =
        JournalIndex(sim, "SHFileOperationW FO_DELETE C:\\Program Files (x86)\\Vantle 0x414");
    const auto restored = JournalIndex(sim, "CopyFileW C:\\Program Files (x86)\\Vantle_temp");
    ASSERT_TRUE(vanished.has_value());
    ASSERT_TRUE(restored.has_value());
    EXPECT_LT(*vanished, *restored);
}

TEST(UpdaterFolders, OnA32BitMachineTheProgramFilesFolderIsUsed) {
    sim::SimMachine sim;
    AddTamberOffice(sim);
    sim.SetNativeArchitecture(0);
    sim.WriteFile(u"C:\\Program Files\\Vantle\\Tamber Driver Updater.exe", "updater");
    sim.WriteFile(kUpdater, "not ours on this machine");
    RunProgram(sim, u"Spoolsweep.exe -p \"Tamber 1,Tamber 2\"");
    EXPECT_FALSE(sim.FolderExists(u"C:\\Program Files\\Vantle"));
    EXPECT_TRUE(sim.FolderExists(kInstall));
}

// Platform calls of -rmPrints per removed printer.
double CallsPerPrinter(int printers) {
    sim::SimMachine sim;
    (void)test::AddServerPrinters(sim, printers);
    sim.calls().Clear();
    RunProgram(sim, u"Spoolsweep.exe -rmPrints");
    EXPECT_EQ(sim.Stdout(), "Success");
    EXPECT_TRUE(sim.Printers().empty());
    return static_cast<double>(sim.calls().Total()) / printers;
}

// A terminal server with hundreds of printers must cost no more per printer than a workstation.
TEST(RemovalCost, CallsPerPrinterDoNotGrowWithThePrinterCount) {
    const double small = CallsPerPrinter(20);
    const double large = CallsPerPrinter(200);
    EXPECT_LT(large, small * 1.05) << small << " calls per printer for 20 printers, " << large << " for 200";
}

}  // namespace
}  // namespace spoolsweep
