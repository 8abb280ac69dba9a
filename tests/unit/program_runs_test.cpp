// Whole runs of the program on simulated machines. Its entry: options, privilege and the resource
// language. From the command line: console bytes, command-log lines and the machine afterwards; the command
// log and the printer listing on their own; and links planted where the cleaners delete, which no removal
// reaches through. From the dialog: whole runs as the dialog starts them, and their cost as the printer count
// grows.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/command_line_info.h"
#include "app/resource_language.h"
#include "app/spoolsweep_app.h"
#include "cli/command_line_remover.h"
#include "cli/command_log.h"
#include "cli/custom_command_line_info.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/sim/sim_machine.h"
#include "platform/text.h"
#include "platform/win_errors.h"
#include "preview/dialog_run.h"
#include "preview/memory_dialog.h"
#include "removal/printer_remover.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

using test::CountJournal;
using test::JournalIndex;
using test::kClosing;
using test::LogMessages;

// Printers "Printer 0", "Printer 1", ... in pairs sharing a driver, one driver in four a Tamber one: a print
// server's load for the cost tests. Returns their names.
std::vector<std::u16string> AddServerPrinters(sim::SimMachine& sim, int printers) {
    std::vector<std::u16string> names;
    for (int i = 0; i < printers; ++i) {
        const std::u16string driver = u"Driver " + WidenAscii(std::to_string(i / 2));
        if (i % 2 == 0) {
            sim.AddDriver({u"Windows x64", driver, i % 8 == 0 ? u"NorvelAB.PPD" : u"LASER.PPD", u""});
        }
        names.push_back(u"Printer " + WidenAscii(std::to_string(i)));
        sim.AddPrinter(test::MakePrinter(names.back(), driver));
    }
    return names;
}

// Runs the program's entry with this command line (the program's own path first).
void RunProgram(sim::SimMachine& sim, std::u16string_view commandLine) {
    ResetPendingOption();
    sim.SetCommandLine(commandLine);
    (void)RunSpoolsweepApp(sim.machine());
}

// Whether `lines` appear in `log` in this order (others may come between them).
bool LogHasInOrder(const std::vector<std::string>& log, const std::vector<std::string>& lines) {
    auto at = log.begin();
    for (const std::string& line : lines) {
        at = std::find(at, log.end(), line);
        if (at == log.end()) {
            return false;
        }
        ++at;
    }
    return true;
}

using Messages = std::vector<std::string>;
using Arguments = std::vector<std::u16string>;

constexpr std::string_view kUsage =
    " \t Usage: Spoolsweep.exe [options]     "
    "\n \t Options can be any of the following: "
    "\n \t 1. -rmPrints -> removes all the printers."
    "\n \t 2. -p  \"Printer1 , Printer2\" -> Remove specified printers. Printer names must be separated by "
    "comma and complete list should be enclosed within \" \". "
    "\n \t 3. -getInstalledPrinters -> Get a list of all printers using Tamber Drivers.";
constexpr const char* kNotAvailable = "Selected Printers are not available in the system.";

struct AppRun {
    explicit AppRun(std::u16string_view commandLine, void (*arrange)(sim::SimMachine&) = nullptr) {
        ResetPendingOption();
        if (arrange) {
            arrange(sim);
        }
        sim.SetCommandLine(commandLine);
        status = RunSpoolsweepApp(sim.machine(), [this](Machine&) { ++dialogs; });
        ResetPendingOption();
    }
    sim::SimMachine sim;
    int status = -1;
    int dialogs = 0;
};

TEST(App, OptionsRunInCommandLineOrderAndLogTheClosingLineLast) {
    struct Case {
        std::u16string_view commandLine;
        std::string console;
        Messages log;
    };
    const Messages usageLog{"Print the Usage Menu", kClosing};
    const Case cases[] = {
        {u"Spoolsweep.exe -help", std::string(kUsage), usageLog},
        {u"\"C:\\Tools\\Spoolsweep.exe\" /help", std::string(kUsage), usageLog},
        {u"S.exe -getInstalledPrinters -rmPrints",
         "There are no printers installed in the system.Failure",
         {"GetInstalled Printers", "Remove All Printers", kClosing}},
        // Only the last parameter is the list; a leading dash of that parameter is dropped.
        {u"S.exe -p A B",
         kNotAvailable,
         {"Removing Selected Printers", "Selected Printers are: ", "B", "Deleting Printer \tB", kClosing}},
        {u"S.exe -p -X",
         kNotAvailable,
         {"Removing Selected Printers", "Selected Printers are: ", "X", "Deleting Printer \tX", kClosing}},
        {u"S.exe -p \"A , B\"",
         std::string(kNotAvailable) + kNotAvailable,
         {"Removing Selected Printers", "Selected Printers are: ", "A , B", "Deleting Printer \tA ",
          "Deleting Printer \t B", kClosing}},
        {u"S.exe -p A -help",
         std::string(kUsage),
         {"Removing Selected Printers", "Print the Usage Menu", kClosing}},
        {u"S.exe -p", "", {"Removing Selected Printers", kClosing}},
        // Unrecognised: only the closing line.
        {u"S.exe -foo", "", {kClosing}},
        {u"S.exe -Help", "", {kClosing}},
        {u"S.exe -RMPRINTS", "", {kClosing}},
        {u"S.exe --help", "", {kClosing}},
        {u"S.exe \"-help \" report.txt", "", {kClosing}},
        {u"S.exe report.txt -", "", {kClosing}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.commandLine.begin(), c.commandLine.end()));
        AppRun run(c.commandLine);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.dialogs, 0);
        EXPECT_EQ(run.sim.Stdout(), c.console);
        EXPECT_EQ(LogMessages(run.sim), c.log);
        EXPECT_EQ(run.sim.calls().Count("UnlockServiceDatabase"), 1U) << "the lock was granted";
        EXPECT_EQ(run.sim.OpenHandleCount(), 0U);
        EXPECT_EQ(run.sim.journal(), std::vector<std::string>{})
            << "a machine without printers is left alone";
    }
}

TEST(App, WithoutOptionsTheDialogRunsNothingIsLoggedAndTheControlsAreInitialised) {
    for (std::u16string_view commandLine :
         {u"S.exe", u"S.exe report.txt \"C:\\a b\\c.txt\"", u"S.exe help p"}) {
        AppRun run(commandLine);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.dialogs, 1);
        EXPECT_EQ(run.sim.Stdout(), "");
        EXPECT_FALSE(run.sim.ReadFile(test::kLogPath).has_value());
    }

    sim::SimMachine sim;
    sim.SetCommandLine(u"S.exe");
    CSpoolsweepApp app(sim.machine(), {});
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(sim.CommonControlClasses(), 0xFFU);  // every standard control class
}

// A lock held elsewhere is no refusal: the options run, and there is nothing to unlock. Without a parent
// console they run and log all the same.
TEST(App, WithoutPrivilegeOnlyTheMessageBoxIsShownButALockHeldElsewhereOrNoParentConsoleStopsNothing) {
    AppRun run(u"S.exe -help", [](sim::SimMachine& sim) { sim.SetDatabaseLockHeldElsewhere(true); });
    EXPECT_EQ(run.sim.calls().Count("UnlockServiceDatabase"), 0U);
    EXPECT_EQ(run.sim.calls().Count("CloseServiceHandle"), 1U);
    EXPECT_TRUE(run.sim.MessageBoxes().empty());
    EXPECT_EQ(run.sim.Stdout(), kUsage);

    AppRun detached(u"S.exe -help", [](sim::SimMachine& sim) { sim.SetConsoleAttachable(false); });
    EXPECT_EQ(detached.sim.Stdout(), "");
    EXPECT_EQ(LogMessages(detached.sim), (Messages{"Print the Usage Menu", kClosing}));

    // Without privilege only the message box is shown.
    const std::u16string_view text =
        u"You do not have sufficient security privileges to Uninstall Printers. Please contact your site "
        u"administrator, or logout and log in again as an administrator and try again...";
    AppRun lockRefused(u"S.exe -help", [](sim::SimMachine& sim) {
        sim.faults().Fail("LockServiceDatabase", win_error::kAccessDenied);
    });
    AppRun managerRefused(u"S.exe -help", [](sim::SimMachine& sim) {
        sim.faults().Fail("OpenSCManagerW", win_error::kAccessDenied);
    });
    AppRun noOptions(u"S.exe", [](sim::SimMachine& sim) {
        sim.faults().Fail("LockServiceDatabase", win_error::kInvalidHandle);
    });
    for (AppRun* run : {&lockRefused, &managerRefused, &noOptions}) {
        EXPECT_EQ(run->status, 0);
        ASSERT_EQ(run->sim.MessageBoxes().size(), 1U);
        EXPECT_EQ(run->sim.MessageBoxes()[0].text, text);
        EXPECT_EQ(run->sim.MessageBoxes()[0].caption, u"Error");
        EXPECT_EQ(run->sim.MessageBoxes()[0].style, 0x10U);
        EXPECT_EQ(run->sim.Stdout(), "");
        EXPECT_FALSE(run->sim.ReadFile(test::kLogPath).has_value());
        EXPECT_EQ(run->dialogs, 0);
        EXPECT_EQ(run->sim.calls().Count("UnlockServiceDatabase"), 0U);
        EXPECT_EQ(run->sim.calls().Count("AttachConsole"), 0U);
        EXPECT_EQ(run->sim.calls().Count("GetCommandLineW"), 0U);
    }
    // The manager that was opened is closed again.
    EXPECT_EQ(lockRefused.sim.calls().Count("CloseServiceHandle"), 1U);
}

struct Call {
    std::u16string text;
    bool isFlag;
    bool isLast;
    bool operator==(const Call&) const = default;
};

// Records what the framework hands over.
class RecordingInfo : public CCommandLineInfo {
  public:
    void ParseParam(std::u16string_view text, bool isFlag, bool isLast) override {
        calls.push_back({std::u16string(text), isFlag, isLast});
    }
    std::vector<Call> calls;
};

TEST(SplitCommandLine, SplitsAsTheRuntimeDoes) {
    const std::pair<std::u16string_view, Arguments> cases[] = {
        {u"Spoolsweep.exe  -p\t\"A , B\"  x", {u"Spoolsweep.exe", u"-p", u"A , B", u"x"}},
        {u"a b\"c d\"e \"\"", {u"a", u"bc de", u""}},
        {u"a \"open group", {u"a", u"open group"}},
        // 2n backslashes: n of them and the quote groups; 2n+1: n of them and a literal quote.
        {uR"(p a\\"b c" d\"e f\\\"g h\\i)", {u"p", uR"(a\b c)", uR"(d"e)", uR"(f\"g)", uR"(h\\i)"}},
        {uR"(p "C:\Temp\\")", {u"p", uR"(C:\Temp\)"}},
        // A doubled quote inside a group is a literal quote and the group goes on.
        {uR"(p "a""b c" d)", {u"p", uR"(a"b c)", u"d"}},
        {uR"(p a""b)", {u"p", u"ab"}},
        {uR"("C:\Program Files\S\Spoolsweep.exe" -help)",
         {uR"(C:\Program Files\S\Spoolsweep.exe)", u"-help"}},
        // In the program's path a backslash does not escape the quote: the group closes there.
        {uR"(C:\a\\"b c\" d)", {uR"(C:\a\\b c\)", u"d"}},
        {u"", {u""}},
    };
    for (const auto& [commandLine, arguments] : cases) {
        EXPECT_EQ(SplitCommandLine(commandLine), arguments) << commandLine.size();
    }
}

TEST(ParseCommandLine, SkipsProgramPathStripsOnePrefixAndHandsUnrecognisedParametersToTheFramework) {
    RecordingInfo info;
    ParseCommandLine(info, uR"(S.exe -getInstalledPrinters /help --x file "-p" "" /)");
    EXPECT_EQ(info.calls, (std::vector<Call>{{u"getInstalledPrinters", true, false},
                                             {u"help", true, false},
                                             {u"-x", true, false},
                                             {u"file", false, false},
                                             {u"p", true, false},
                                             {u"", false, false},
                                             {u"", true, true}}));

    RecordingInfo none;
    ParseCommandLine(none, u"\"C:\\S.exe\"   ");
    EXPECT_TRUE(none.calls.empty()) << "no parameters, no call";

    ResetPendingOption();
    sim::SimMachine sim;
    CommandLog log(sim.machine().files, sim.machine().system);
    CCustomCommandLineInfo custom(sim.machine(), log);
    ParseCommandLine(custom, u"S.exe first -foo /Help -p A B");
    EXPECT_EQ(custom.m_bOptionGiven, 1);
    EXPECT_EQ(custom.UnhandledParameters(),
              (std::vector<CCommandLineInfo::Parameter>{
                  {u"first", false}, {u"foo", true}, {u"Help", true}, {u"A", false}}));

    // Once a printer of the list was removed, a last parameter is no longer a list.
    custom.m_bSelectionRemoved = true;
    custom.ParseParam(u"C", false, true);
    EXPECT_EQ(custom.UnhandledParameters().back(), (CCommandLineInfo::Parameter{u"C", false}));
    ResetPendingOption();
}

constexpr std::u16string_view kProgram = u"C:\\Tools\\Spoolsweep.exe";
constexpr std::u16string_view kGerman = u"C:\\Tools\\SpoolsweepDEU.dll";

std::u16string InTools(std::u16string_view name) {
    return name.empty() ? std::u16string() : u"C:\\Tools\\" + std::u16string(name);
}

// The German and French libraries always stand in C:\Tools; `library` is one more beside the program (in the
// working folder when there is no program path).
TEST(ResourceLanguage, IsChosenInDialogModeOnlyFromTheServerFileElseTheLocale) {
    struct Case {
        const char* name;
        std::optional<std::string> languageFile;  // nothing: no file
        std::uint32_t fileAttributes;
        std::optional<std::u16string> locale;
        std::u16string_view program;  // in C:\Tools; empty: no program path
        std::u16string_view library;
        std::u16string_view expected;  // the resource module, in C:\Tools; empty: the program's own
    };
    const std::u16string_view exe = u"Spoolsweep.exe";
    const Case cases[] = {
        {"server file wins over locale", "serverlang=de\n", 0x20, u"FRA", exe, u"", u"SpoolsweepDEU.dll"},
        {"key is case-sensitive", "SERVERLANG=de\n", 0x20, u"FRA", exe, u"", u"SpoolsweepFRA.dll"},
        {"code ignores case", "serverlang=DE\r\n", 0x20, u"FRA", exe, u"", u"SpoolsweepDEU.dll"},
        {"unlisted code is skipped", "serverlang=xx\nlang\tserverlang= \tfr more\n", 0x20, u"DEU", exe, u"",
         u"SpoolsweepFRA.dll"},
        {"key in second piece of a long line", std::string(120, 'x') + " serverlang=fr\n", 0x20, u"DEU", exe,
         u"", u"SpoolsweepFRA.dll"},
        // Pieces of 99 units: the code's last letter is the 99th unit, then the 100th.
        {"key ends a piece", std::string(86, 'x') + "serverlang=fr\n", 0x20, u"DEU", exe, u"",
         u"SpoolsweepFRA.dll"},
        {"code cut by a piece's end", std::string(87, 'x') + "serverlang=fr\n", 0x20, u"DEU", exe, u"",
         u"SpoolsweepDEU.dll"},
        {"read-only file counts as absent", "serverlang=fr\n", 0x21, u"DEU", exe, u"", u"SpoolsweepDEU.dll"},
        {"file without a usable line", "serverlang=\n", 0x20, u"DEU", exe, u"", u"SpoolsweepDEU.dll"},
        {"ESN loads the ESP library", {}, 0, u"ESN", exe, u"SpoolsweepESP.dll", u"SpoolsweepESP.dll"},
        {"CHT loads the TCH library", {}, 0, u"CHT", exe, u"SpoolsweepTCH.dll", u"SpoolsweepTCH.dll"},
        {"no library: own resources", {}, 0, u"ITA", exe, u"", u""},
        {"locale query fails", {}, 0, std::nullopt, exe, u"", u""},
        {"path without an extension",
         {},
         0,
         u"DEU",
         u"Spool.sweep app",
         u"Spool.sweep appDEU.dll",
         u"Spool.sweep appDEU.dll"},
        {"no program path: nothing loaded", {}, 0, u"DEU", u"", u"DEU.dll", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimMachine sim;
        if (c.languageFile) {
            sim.WriteFile(kServerLanguageFile, *c.languageFile, c.fileAttributes);
        }
        sim.SetLocaleAbbrevLanguage(c.locale);
        sim.SetModulePath(InTools(c.program));
        sim.WriteFile(kGerman, "MZ");
        sim.WriteFile(InTools(u"SpoolsweepFRA.dll"), "MZ");
        if (!c.library.empty()) {
            sim.WriteFile(c.program.empty() ? std::u16string(c.library) : InTools(c.library), "MZ");
        }
        const Handle module = SelectResourceLanguage(sim.machine().files, sim.machine().system);
        EXPECT_EQ(sim.ResourceModulePath(), InTools(c.expected));
        EXPECT_EQ(module != 0, !c.expected.empty());
        EXPECT_TRUE(sim.MessageBoxes().empty());
        EXPECT_EQ(sim.OpenHandleCount(), 0U);
    }

    // Only the dialog mode chooses a language: an option runs with the built-in English texts.
    for (const auto& [commandLine, dialogMode] :
         {std::pair{u"S.exe", true}, std::pair{u"S.exe -help", false}}) {
        sim::SimMachine sim;
        sim.SetModulePath(kProgram);
        sim.SetLocaleAbbrevLanguage(u"DEU");
        sim.WriteFile(kGerman, "MZ");
        sim.SetCommandLine(commandLine);
        std::u16string moduleSeenByDialog;
        (void)RunSpoolsweepApp(sim.machine(),
                               [&](Machine&) { moduleSeenByDialog = sim.ResourceModulePath(); });
        EXPECT_EQ(moduleSeenByDialog, dialogMode ? kGerman : u"");
        EXPECT_EQ(sim.calls().Count("GetLocaleInfoW"), dialogMode ? 1U : 0U);
        EXPECT_EQ(sim.calls().Count("_wfopen"), dialogMode ? 1U : 0U);
    }
}

constexpr char16_t kTamberDriver[] = u"Tamber Print Controller PCL";
constexpr char16_t kOtherDriver[] = u"Office Laser";
constexpr char16_t kInstall[] = u"C:\\Program Files (x86)\\Vantle";
constexpr char16_t kBackup[] = u"C:\\Program Files (x86)\\Vantle_temp";
constexpr char16_t kUpdaterExe[] = u"C:\\Program Files (x86)\\Vantle\\Tamber Driver Updater.exe";

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

TEST(RemovalRuns, FormsGoOnlyWithTheLastLocalPrinterAndAConnectionOnlyWithItsTempFiles) {
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

    // A connection goes with its Temp files only: no forms, no companion, no search for one.
    sim::SimMachine connection;
    AddOtherDriver(connection);
    AddLocal(connection, u"Local", kOtherDriver);
    AddLocal(connection, u"\\\\srv\\Q", kOtherDriver);  // a connection
    connection.AddForm({u"Custom Label", 0});
    connection.AddProcess(u"LASER.srv");
    connection.WriteFile(u"C:\\Users\\admin\\AppData\\Local\\Temp\\,,srv,Q.tmp", "x");
    connection.WriteFile(u"C:\\Windows\\Temp\\,,srv,Q.tmp", "x", 0x21);  // read-only

    RunProgram(connection, u"Spoolsweep.exe -p \\\\srv\\Q");

    EXPECT_EQ(connection.Stdout(), "1");
    EXPECT_TRUE(JournalIndex(connection, "DeletePrinterConnectionW \\\\srv\\Q").has_value());
    EXPECT_FALSE(connection.FileExists(u"C:\\Users\\admin\\AppData\\Local\\Temp\\,,srv,Q.tmp"));
    EXPECT_FALSE(connection.FileExists(u"C:\\Windows\\Temp\\,,srv,Q.tmp"));
    EXPECT_EQ(CountJournal(connection, "DeleteFormW"), 0U);
    EXPECT_EQ(CountJournal(connection, "TerminateProcess"), 0U);
    auto log = LogMessages(connection);
    EXPECT_EQ(std::count(log.begin(), log.end(), "FreeupPrerequisites"), 0);
    EXPECT_TRUE(HasPrinter(connection, u"Local"));
}

// The driver goes with its files, its hardware-ID folder and its model's key.
TEST(RemovalRuns, TamberPrintersGoWithTheirDriverAndCompanionAndADriverKeyNamedLikeOneStopsCountingAsTamber) {
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

    // The driver residue is deleted by the removed printer's name, so a driver key that happens to bear that
    // name goes too; a Tamber printer using that driver then no longer reads as Tamber, and the updater goes
    // with the next removal. Registry names match without case, beyond ASCII too.
    for (const auto& [printer, driver] : {std::pair{u"Alpha", u"alpha"}, {u"\u00C5lpha", u"\u00E5lpha"}}) {
        sim::SimMachine sim;
        AddOtherDriver(sim, u"Office Laser");
        AddOtherDriver(sim, u"Label Writer");
        AddTamberDriver(sim, driver);
        AddLocal(sim, printer, u"Office Laser");
        AddLocal(sim, u"Gamma", u"Label Writer");
        AddLocal(sim, u"Beta", driver);
        sim.WriteFile(kUpdaterExe, "updater");

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

TEST(UpdaterFolders,
     KeptOrRestoredWhileTamberPrintersRemainDeletedAfterTheLastAndInProgramFilesOnA32BitMachine) {
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
            sim.WriteFile(kUpdaterExe, c.installed);
        }
        if (!c.backedUp.empty()) {
            sim.WriteFile(std::u16string(kBackup) + u"\\Tamber Driver Updater.exe", c.backedUp);
        }
        RunProgram(sim, u"Spoolsweep.exe -p " + std::u16string(c.printers));
        EXPECT_EQ(sim.ReadFile(kUpdaterExe), c.after);
        EXPECT_EQ(sim.FolderExists(kInstall), c.after.has_value());
        EXPECT_FALSE(sim.FolderExists(kBackup));  // a backup made before the driver deletion is gone again
        // One copy each: the backup while a Tamber printer remains, or the restore; none once the last has
        // gone.
        EXPECT_EQ(sim.calls().Count("CopyFileW"), 1U) << "a backup copied when no Tamber printer is left";
    }

    // Restored when the install folder vanishes during the driver deletion.
    sim::SimMachine sim;
    AddTamberOffice(sim);
    sim.WriteFile(kUpdaterExe, "updater");
    // The driver's uninstaller takes the updater's folder with it.
    sim.faults().OnCall("DeletePrinterDriverExW", [&sim] {
        (void)sim.machine().files.ShellDeleteTree(std::u16string(kInstall) + u'\0', 0x414);
    });
    RunProgram(sim, u"Spoolsweep.exe -p Office");
    EXPECT_EQ(sim.ReadFile(kUpdaterExe), "updater");
    EXPECT_FALSE(sim.FolderExists(kBackup));
    const auto vanished =
        JournalIndex(sim, "SHFileOperationW FO_DELETE C:\\Program Files (x86)\\Vantle 0x414");
    const auto restored = JournalIndex(sim, "CopyFileW C:\\Program Files (x86)\\Vantle_temp");
    ASSERT_TRUE(vanished.has_value());
    ASSERT_TRUE(restored.has_value());
    EXPECT_LT(*vanished, *restored);

    // On a 32-bit machine the Program Files folder is used.
    sim::SimMachine x86;
    AddTamberOffice(x86);
    x86.SetNativeArchitecture(0);
    x86.WriteFile(u"C:\\Program Files\\Vantle\\Tamber Driver Updater.exe", "updater");
    x86.WriteFile(kUpdaterExe, "not ours on this machine");
    RunProgram(x86, u"Spoolsweep.exe -p \"Tamber 1,Tamber 2\"");
    EXPECT_FALSE(x86.FolderExists(u"C:\\Program Files\\Vantle"));
    EXPECT_TRUE(x86.FolderExists(kInstall));
}

constexpr std::string_view kStamp = "2024-03-05.14:07:09";

std::tm FixedTime() {
    std::tm time{};
    time.tm_year = 124;
    time.tm_mon = 2;
    time.tm_mday = 5;
    time.tm_hour = 14;
    time.tm_min = 7;
    time.tm_sec = 9;
    return time;
}

std::string Entry(std::string_view message) {
    return "\r\n " + std::string(kStamp) + std::string(test::kBanner) + std::string(message);
}

class CommandLogTest : public ::testing::Test {
  protected:
    CommandLogTest() { sim.SetLocalTime(FixedTime()); }

    sim::SimMachine sim;
    CommandLog log{sim.machine().files, sim.machine().system};
};

// Entries go byte for byte after the earlier runs' into the log of the working directory of the moment.
TEST_F(CommandLogTest, EntriesAreAppendedByteForByteToEachWorkingDirectorysOwnLog) {
    log.WriteLogLine("Remove All Printers");
    log.WriteLogLine(std::string());
    log.WriteLogLine(std::string("Deleting Printer \tP1"));
    EXPECT_EQ(sim.ReadFile(test::kLogPath),
              Entry("Remove All Printers") + Entry("") + Entry("Deleting Printer \tP1"));

    sim.CreateFolder(u"C:\\Work\\One");
    sim.CreateFolder(u"C:\\Work\\Two");
    sim.WriteFile(u"C:\\Work\\One\\Spoolsweep_CL.log", "\r\n earlier");
    sim.SetCurrentDirectory(u"C:\\Work\\One");
    std::tm evening = FixedTime();
    evening.tm_hour = 23;
    evening.tm_mday = 31;
    evening.tm_mon = 11;
    sim.SetLocalTime(evening);
    log.WriteLogLine("GetInstalled Printers");
    sim.SetLocalTime(FixedTime());
    sim.SetCurrentDirectory(u"C:\\Work\\Two");
    log.WriteLogLine("second");
    EXPECT_EQ(sim.ReadFile(u"C:\\Work\\One\\Spoolsweep_CL.log"),
              "\r\n earlier\r\n 2024-12-31.23:07:09" + std::string(test::kBanner) + "GetInstalled Printers");
    EXPECT_EQ(sim.ReadFile(u"C:\\Work\\Two\\Spoolsweep_CL.log"), Entry("second"));
    EXPECT_EQ(sim.ReadFile(test::kLogPath),
              Entry("Remove All Printers") + Entry("") + Entry("Deleting Printer \tP1"));
}

TEST_F(CommandLogTest, UnwritableDirectoryDropsEntriesAndTheRunGoesOn) {
    ResetPendingOption();
    sim.SetFolderWritable(u"C:\\Users\\admin", false);
    sim.SetCommandLine(u"S.exe -help -getInstalledPrinters");
    EXPECT_EQ(RunSpoolsweepApp(sim.machine()), 0);
    EXPECT_FALSE(sim.FileExists(test::kLogPath));
    EXPECT_TRUE(sim.Stdout().ends_with("Tamber Drivers.There are no printers installed in the system."))
        << sim.Stdout();

    sim.SetFolderWritable(u"C:\\Users\\admin", true);
    log.WriteLogLine("later");
    EXPECT_EQ(sim.ReadFile(test::kLogPath), Entry("later"));
}

constexpr std::u16string_view kDriver = u"Tamber PS";
// "Принтер": each unit cut to its low byte.
constexpr std::u16string_view kCyrillicName = u"\u041F\u0440\u0438\u043D\u0442\u0435\u0440";
constexpr std::string_view kCyrillicNarrow = "\x1F\x40\x38\x3D\x42\x35\x40";
constexpr std::string_view kCyrillicUtf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xBD\xD1\x82\xD0\xB5\xD1\x80";

class Listing : public ::testing::Test {
  protected:
    Listing() { sim.AddDriver({u"Windows x64", std::u16string(kDriver), u"NorvelAB12.PPD", u""}); }

    void AddPrinter(std::u16string_view name) { sim.AddPrinter(test::MakePrinter(name, kDriver)); }
    // A remover that reads the printers the machine has now.
    CommandLineRemover MakeRemover() { return CommandLineRemover(sim.machine(), log); }
    std::string ListAll() { return CommandLineRemover::FormatPrinterList(MakeRemover().printers); }

    sim::SimMachine sim;
    CommandLog log{sim.machine().files, sim.machine().system};
};

TEST_F(Listing, GetInstalledPrintersListsEveryKindOnePerLine) {
    ResetPendingOption();
    AddPrinter(u"Office Laser");
    sim.AddPrinter(test::MakePrinter(u"Front Desk", kDriver, u"FD"));
    sim.AddPrinter(test::MakePrinter(u"\\\\print01\\Plotter", kDriver));
    sim.SetCommandLine(u"Spoolsweep.exe -getInstalledPrinters");
    EXPECT_EQ(RunSpoolsweepApp(sim.machine()), 0);
    EXPECT_EQ(sim.Stdout(), " Office Laser\n Front Desk\n \\\\print01\\Plotter\n");
    EXPECT_EQ(test::LogMessages(sim), (std::vector<std::string>{"GetInstalled Printers", kClosing}));
}

TEST_F(Listing, NonLatinNamesListGarbledAndMatchOnlyTheirNarrowFormTheLastOfEqualOnesWinning) {
    AddPrinter(kCyrillicName);
    AddPrinter(u"Caf\u00E9");
    EXPECT_EQ(ListAll(), " " + std::string(kCyrillicNarrow) + "\n Caf\xE9\n");

    CommandLineRemover remover = MakeRemover();
    std::string acp = sim.machine().system.WideToMultiByte(kCyrillicName, kCpThreadAcp);
    for (const std::string& typed : {std::string(kCyrillicUtf8), acp}) {
        remover.selectionFound = false;
        EXPECT_EQ(remover.FindSelectedPrinter(" " + typed), 0U);
        EXPECT_FALSE(remover.selectionFound);
    }
    EXPECT_EQ(remover.FindSelectedPrinter(" Caf\xE9"), 1U);
    EXPECT_TRUE(remover.selectionFound);

    // Of equal narrow names the last wins (after the two above).
    AddPrinter(u"Pr\u0141");  // U+0141 ends in the byte of "A"
    AddPrinter(u"Other");
    AddPrinter(u"PrA");
    AddPrinter(u"Zeta");
    CommandLineRemover equal = MakeRemover();
    EXPECT_EQ(equal.FindSelectedPrinter(" PrA"), 4U);
    EXPECT_TRUE(equal.selectionFound);

    equal.selectionFound = false;
    EXPECT_EQ(equal.FindSelectedPrinter(" Other"), 3U);
    for (std::string_view miss : {" PrA ", "PrA", " pra", " ", ""}) {
        equal.selectionFound = false;
        EXPECT_EQ(equal.FindSelectedPrinter(miss), 0U);
        EXPECT_FALSE(equal.selectionFound) << miss;
    }
}

TEST_F(Listing, LongNamesAreCutOnTheConsoleButMatchedWhole) {
    std::u16string longName(300, u'L');
    longName[253] = u'x';  // the last unit that fits the listing line
    longName[254] = u'y';  // the first that does not
    AddPrinter(longName);
    std::string recorded(259, 'L');
    recorded[253] = 'x';
    recorded[254] = 'y';

    EXPECT_EQ(ListAll(), " " + recorded.substr(0, 254) + "\n");

    CommandLineRemover remover = MakeRemover();
    EXPECT_EQ(remover.printers.at(0).printerName.size(), 259U);
    EXPECT_EQ(remover.FindSelectedPrinter(" " + recorded.substr(0, 254)), 0U);
    EXPECT_FALSE(remover.selectionFound);
    EXPECT_EQ(remover.FindSelectedPrinter(" " + recorded), 0U);
    EXPECT_TRUE(remover.selectionFound);
}

TEST_F(Listing, BothListsAlwaysNameTheSamePrinters) {
    AddPrinter(u"A");
    AddPrinter(u"B");
    CommandLineRemover remover = MakeRemover();
    EXPECT_EQ(sim.calls().Count("EnumPrintersW"), 2U);  // one enumeration: size, then data
    ASSERT_EQ(remover.printers.size(), 2U);
    ASSERT_EQ(remover.catalogue.printers.size(), 2U);
    EXPECT_EQ(remover.catalogue.printers[1].printerName, u"B");
    EXPECT_EQ(remover.printers[1].printerName, u"B");
    EXPECT_TRUE(remover.selectionText.empty());
    EXPECT_FALSE(remover.selectionFound);

    AddPrinter(u"C");
    std::vector<PrinterRecord> copy = remover.RefreshPrinters();
    ASSERT_EQ(copy.size(), 3U);
    EXPECT_EQ(copy[2].printerName, u"C");
    ASSERT_EQ(remover.printers.size(), 3U);
    // The catalogue keeps what the option found when it started.
    EXPECT_EQ(remover.catalogue.printers.size(), 2U);
}

// Links planted where the cleaners delete: under a matched name, in place of a folder on the way, and inside
// a tree the shell deletes. Whatever a run deletes, it never reaches through a link: every file of the
// folder a link points at keeps its data and attributes, and the link goes exactly where a plain file or
// folder of its name would go.
const std::u16string kPresetsOfA = test::kPresets + u"\\DMT_NorvelA.PPD";
const std::u16string kPrecious = u"C:\\Precious";
// Precious files are hidden, so that a reset through a link shows, and deletable, so that a deletion through
// one succeeds and shows; a read-only one beside them shows a reset that comes before a deletion.
constexpr std::uint32_t kPreciousAttributes = kFileAttributeHidden;
constexpr std::uint32_t kLockedAttributes = kFileAttributeReadOnly | kFileAttributeHidden;

// A Tamber connection and a Tamber local printer on one plug-and-play driver, with the updater installed.
void AddTamberPrinters(sim::SimMachine& sim) {
    sim.SetNativeArchitecture(kProcessorArchitectureAmd64);
    sim.AddDriver({u"Windows x64", u"Tamber PS", u"NorvelA.PPD", u"C:\\Windows\\INF\\oem1.inf"});
    sim.AddPrinter(test::MakePrinter(u"\\\\srv\\Lobby", u"Tamber PS"));
    sim.AddPrinter(test::MakePrinter(u"Desk", u"Tamber PS"));
    const std::u16string printers = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
    sim.SetString(kHkeyLocalMachine, printers + u"Desk\\PnPData", u"HardwareID", u"HWID1");
    sim.SetString(kHkeyLocalMachine, printers + u"Tamber PS\\DsSpooler", u"driverName", u"DsTamber");
    sim.WriteFile(kUpdaterExe, "MZ");
}

// Where a link is planted, and the files (relative to it) that a deletion following it would find.
struct Placement {
    const char* label;
    std::u16string path;
    std::vector<std::u16string> inside;  // empty: a link to a file
};

const std::vector<Placement>& Placements() {
    static const std::vector<Placement> placements = {
        {"connection temp file", test::kUserTemp + u"\\,,srv,Lobby.tmp", {}},
        {"connection temp file, Windows Temp", test::kWinTemp + u"\\,,srv,Lobby.tmp", {}},
        {"watermark", test::kUserTemp + u"\\NorvelA.wmk", {}},
        {"driver temp file", test::kWinTemp + u"\\,,DsTamber.tmp", {}},
        {"user authentication file", test::kUserTemp + u"\\NorvelUserAuth", {}},
        {"preferences", kPresetsOfA + u"\\EssentialPresets\\preferences", {}},
        {"loose spool file", test::kSpool + u"\\x64\\loose.dll", {}},
        {"matched folder name", test::kUserTemp + u"\\,,srv,Lobby.tmp", {u"keep.dll"}},
        {"tracking folder", test::kUserTemp + u"\\Trackwell", {u"trace.log"}},
        {"hardware-ID folder", test::kSpool + u"\\x64\\HWID1", {u"unidrv.dll"}},
        {"preset folder", kPresetsOfA, {u"EssentialPresets\\preferences"}},
        {"updater folder", kInstall, {u"Tamber Driver Updater.exe"}},
        {"folder on the way to the presets",
         u"C:\\Users\\admin\\AppData\\Roaming\\Norvel",
         {u"JPData\\DMT_NorvelA.PPD\\EssentialPresets\\preferences"}},
        {"folder on the way to preferences", kPresetsOfA + u"\\EssentialPresets", {u"preferences"}},
        {"spool environment folder", test::kSpool + u"\\x64", {u"loose.dll", u"HWID1\\unidrv.dll"}},
        {"folder inside the preset tree", kPresetsOfA + u"\\Deep", {u"inner.dat"}},
    };
    return placements;
}

struct Removal {
    const char* label;
    std::u16string commandLine;  // empty: the dialog's Delete All
};

const std::vector<Removal> kRemovals = {
    {"-p", u"Spoolsweep.exe -p \"\\\\srv\\Lobby,Desk\""},
    {"-rmNorvelPrints", u"Spoolsweep.exe -rmNorvelPrints"},
    {"-rmPrints", u"Spoolsweep.exe -rmPrints"},
    {"Delete All", u""},
};

void RunRemoval(sim::SimMachine& sim, const Removal& removal) {
    if (!removal.commandLine.empty()) {
        RunProgram(sim, removal.commandLine);
        return;
    }
    std::ostringstream out;
    std::ostringstream err;
    sim::DialogRun run;
    run.deleteAll = true;
    run.answers = {1, 1, 1, 1, 1, 1};
    static_cast<void>(sim::RunDialogRemoval(sim, run, out, err));
}

// The machine with a plain file or folder where the link would be: what a run deletes there.
bool PlainTwinIsDeleted(const Placement& placement, const Removal& removal) {
    sim::SimMachine sim;
    AddTamberPrinters(sim);
    if (placement.inside.empty()) {
        sim.WriteFile(placement.path, "plain");
    } else {
        for (const std::u16string& file : placement.inside) {
            sim.WriteFile(placement.path + u"\\" + file, "plain");
        }
    }
    RunRemoval(sim, removal);
    return !sim.FileExists(placement.path) && !sim.FolderExists(placement.path);
}

// A kind of link, as Windows treats it or, for a symbolic link to a file, as Wine does (hidden, and deleted
// through): the cleaners must see it anyway.
struct LinkCase {
    sim::LinkKind kind;
    bool wine = false;
};
const std::vector<LinkCase> kFileLinks = {
    {sim::LinkKind::SymbolicLink}, {sim::LinkKind::HardLink}, {sim::LinkKind::SymbolicLink, true}};
const std::vector<LinkCase> kFolderLinks = {{sim::LinkKind::Junction}, {sim::LinkKind::SymbolicLink}};

TEST(LinkSafety, NoRemovalReachesThroughALinkAndALinkGoesWhereItsNameWould) {
    for (const Removal& removal : kRemovals) {
        for (const Placement& placement : Placements()) {
            const bool toFile = placement.inside.empty();
            for (const LinkCase& link : toFile ? kFileLinks : kFolderLinks) {
                SCOPED_TRACE(std::string(removal.label) + ", " + placement.label + ", link kind " +
                             std::to_string(static_cast<int>(link.kind)) + (link.wine ? ", as Wine" : ""));
                sim::SimMachine sim;
                sim.SetWineFileLinks(link.wine);
                AddTamberPrinters(sim);
                std::map<std::u16string, std::uint32_t> precious{
                    {kPrecious + u"\\locked.sys", kLockedAttributes}};
                for (const std::u16string& file :
                     toFile ? std::vector<std::u16string>{u"system.ini"} : placement.inside) {
                    precious[kPrecious + u"\\" + file] = kPreciousAttributes;
                }
                for (const auto& [path, attributes] : precious) {
                    sim.WriteFile(path, "precious", attributes);
                }
                // A link among the target's files: a deletion that entered a folder link would take it.
                const std::u16string shortcut = kPrecious + u"\\shortcut";
                sim.AddLink(shortcut, kPrecious + u"\\locked.sys", sim::LinkKind::SymbolicLink);
                sim.AddLink(placement.path, toFile ? kPrecious + u"\\system.ini" : kPrecious, link.kind);

                RunRemoval(sim, removal);

                for (const auto& [path, attributes] : precious) {
                    EXPECT_EQ(sim.ReadFile(path), "precious") << "a deletion reached through the link";
                    EXPECT_EQ(sim.Attributes(path), attributes) << "attributes were reset through it";
                }
                EXPECT_TRUE(sim.LinkAt(shortcut)) << "a deletion entered the folder link";
                if (link.wine) {
                    continue;  // a link Wine hides is left where it is: only its target's safety counts
                }
                const bool gone = !sim.LinkAt(placement.path).has_value();
                EXPECT_EQ(gone, PlainTwinIsDeleted(placement, removal))
                    << "the link did not go (or went) where a plain one of its name would";
                // A link that goes is removed by a call on itself, never inside a tree handed to the shell (a
                // hard link is a plain name of its file there: the shell's deletion of it leaves the file).
                const std::string name(placement.path.begin(), placement.path.end());
                EXPECT_TRUE(!gone || link.kind == sim::LinkKind::HardLink ||
                            test::JournalIndex(sim, "DeleteFileW " + name) ||
                            test::JournalIndex(sim, "RemoveDirectoryW " + name))
                    << "the link went inside a tree handed to the shell";
            }
        }
    }
}

using Names = std::vector<std::u16string>;
using Box = std::tuple<std::u16string, std::u16string, std::uint32_t>;  // caption, text, style

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
    sim.WriteFile(kUpdaterExe, "u");
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
            (void)sim.machine().files.ShellDeleteTree(std::u16string(kInstall) + u'\0', 0x414);
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
        EXPECT_EQ(sim.ReadFile(kUpdaterExe), c.updaterLeft ? std::optional<std::string>("u") : std::nullopt)
            << c.what << ": the updater lost or left";
        EXPECT_FALSE(sim.FolderExists(kBackup));
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

// Platform calls and registry reads per removed printer: -rmPrints, or the dialog with every printer checked,
// without and with "Delete All Printer Drivers".
std::pair<double, double> CostPerPrinter(int printers, int run) {
    sim::SimMachine sim;
    const ListRun dialog{AddServerPrinters(sim, printers), run == 2};
    sim.calls().Clear();
    if (run == 0) {
        RunProgram(sim, u"Spoolsweep.exe -rmPrints");
        EXPECT_EQ(sim.Stdout(), "Success");
    } else {
        EXPECT_EQ(RunDialog(sim, dialog).size(), static_cast<std::size_t>(printers));
    }
    EXPECT_TRUE(sim.Printers().empty());
    return {double(sim.calls().Total()) / printers, double(sim.calls().Count("RegQueryValueExW")) / printers};
}

// A terminal server with hundreds of printers must cost no more per printer than a workstation.
TEST(RemovalCost, PerPrinterDoesNotGrowWithThePrinterCount) {
    for (int run : {0, 1, 2}) {
        const auto [smallCalls, smallReads] = CostPerPrinter(20, run);
        const auto [largeCalls, largeReads] = CostPerPrinter(200, run);
        EXPECT_LT(largeCalls, smallCalls * 1.05) << smallCalls << " calls per printer for 20, " << largeCalls;
        EXPECT_LT(largeReads, smallReads * 1.05) << smallReads << " reads per printer for 20, " << largeReads;
    }
}

}  // namespace
}  // namespace spoolsweep
