#include "app/spoolsweep_app.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/custom_command_line_info.h"
#include "platform/sim/sim_machine.h"
#include "platform/win_errors.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

using Messages = std::vector<std::string>;
using test::LogMessages;

constexpr std::string_view kUsage =
    " \t Usage: Spoolsweep.exe [options]     "
    "\n \t Options can be any of the following: "
    "\n \t 1. -rmPrints -> removes all the printers."
    "\n \t 2. -p  \"Printer1 , Printer2\" -> Remove specified printers. Printer names must be separated by "
    "comma and complete list should be enclosed within \" \". "
    "\n \t 3. -getInstalledPrinters -> Get a list of all printers using Tamber Drivers.";
constexpr const char* kClosing = "Command Line Arguments Passed so No UI is launched.";
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

TEST(App, WithoutOptionsTheDialogRunsAndNothingIsLogged) {
    for (std::u16string_view commandLine :
         {u"S.exe", u"S.exe report.txt \"C:\\a b\\c.txt\"", u"S.exe help p"}) {
        AppRun run(commandLine);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.dialogs, 1);
        EXPECT_EQ(run.sim.Stdout(), "");
        EXPECT_FALSE(run.sim.ReadFile(test::kLogPath).has_value());
    }
}

// A lock held elsewhere is no refusal: the options run, and there is nothing to unlock.
TEST(App, PrivilegedWhenTheLockIsHeldElsewhere) {
    AppRun run(u"S.exe -help", [](sim::SimMachine& sim) { sim.SetDatabaseLockHeldElsewhere(true); });
    EXPECT_EQ(run.sim.calls().Count("UnlockServiceDatabase"), 0U);
    EXPECT_EQ(run.sim.calls().Count("CloseServiceHandle"), 1U);
    EXPECT_TRUE(run.sim.MessageBoxes().empty());
    EXPECT_EQ(run.sim.Stdout(), kUsage);
}

TEST(App, WithoutPrivilegeOnlyTheMessageBoxIsShown) {
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

TEST(App, StartUpInitialisesControlsAndSetsTheRegistryKey) {
    sim::SimMachine sim;
    sim.SetCommandLine(u"S.exe");
    CSpoolsweepApp app(sim.machine(), {});
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(sim.CommonControlClasses(), 0xFFU);  // every standard control class
}

TEST(App, WithoutAParentConsoleOptionsStillRunAndLog) {
    AppRun run(u"S.exe -help", [](sim::SimMachine& sim) { sim.SetConsoleAttachable(false); });
    EXPECT_EQ(run.sim.Stdout(), "");
    EXPECT_EQ(LogMessages(run.sim), (Messages{"Print the Usage Menu", kClosing}));
}

TEST(CCustomCommandLineInfo, UnrecognisedParametersGoToTheFramework) {
    ResetPendingOption();
    sim::SimMachine sim;
    CommandLog log(sim.machine().files, sim.machine().system);
    CCustomCommandLineInfo info(sim.machine(), log);
    ParseCommandLine(info, u"S.exe first -foo /Help -p A B");
    EXPECT_EQ(info.m_bOptionGiven, 1);
    EXPECT_EQ(info.UnhandledParameters(),
              (std::vector<CCommandLineInfo::Parameter>{
                  {u"first", false}, {u"foo", true}, {u"Help", true}, {u"A", false}}));

    // Once a printer of the list was removed, a last parameter is no longer a list.
    info.m_bSelectionRemoved = true;
    info.ParseParam(u"C", false, true);
    EXPECT_EQ(info.UnhandledParameters().back(), (CCommandLineInfo::Parameter{u"C", false}));
    ResetPendingOption();
}

}  // namespace
}  // namespace spoolsweep
