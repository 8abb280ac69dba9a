#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/command_line_info.h"
#include "app/resource_language.h"
#include "app/spoolsweep_app.h"
#include "cli/custom_command_line_info.h"
#include "platform/sim/sim_machine.h"
#include "platform/win_errors.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

using Messages = std::vector<std::string>;
using test::kClosing;
using test::LogMessages;
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

}  // namespace
}  // namespace spoolsweep
