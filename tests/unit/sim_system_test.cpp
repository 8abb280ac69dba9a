#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/win_errors.h"

namespace spoolsweep::sim {
namespace {

TEST(SimFaults, FailChosenCallsAfterSkippingAndLeaveTheStateAlone) {
    SimMachine sim;
    Files& files = sim.machine().files;
    sim.WriteFile(u"C:\\T\\a.tmp", "");
    sim.WriteFile(u"C:\\T\\b.tmp", "");
    sim.WriteFile(u"C:\\T\\c.tmp", "");
    sim.faults().Fail("DeleteFileW", win_error::kAccessDenied, 1, 1);
    sim.faults().Fail("DeleteFileW", 32, -1, 0, u"C.TMP");

    EXPECT_TRUE(files.DeleteFile(u"C:\\T\\a.tmp").ok());                           // skipped
    EXPECT_EQ(files.DeleteFile(u"C:\\T\\b.tmp").error, win_error::kAccessDenied);  // failed once
    EXPECT_TRUE(files.DeleteFile(u"C:\\T\\b.tmp").ok());                           // used up
    EXPECT_EQ(files.DeleteFile(u"C:\\T\\c.tmp").error, 32u);                       // by argument
    EXPECT_EQ(files.DeleteFile(u"C:\\T\\c.tmp").error, 32u);                       // every time
    EXPECT_TRUE(sim.FileExists(u"C:\\T\\c.tmp"));
    EXPECT_EQ(sim.calls().Count("DeleteFileW"), 5u);
    EXPECT_EQ(sim.journal().size(), 2u);

    sim.faults().Clear();
    EXPECT_TRUE(files.DeleteFile(u"C:\\T\\c.tmp").ok());
}

TEST(SimFaults, EveryFamilyOfCallsCanFail) {
    SimMachine sim;
    sim.AddPrinter({u"P1", u"D", u"", u"", {}, {}});
    for (const char* function : {"EnumPrintersW", "RegOpenKeyExW", "OpenServiceW", "CreateToolhelp32Snapshot",
                                 "FindFirstFileW", "GetVersionExW"}) {
        sim.faults().Fail(function, win_error::kNotEnoughMemory);
    }
    Machine& machine = sim.machine();
    EXPECT_EQ(machine.spooler.EnumPrinters(6, 0).error, win_error::kNotEnoughMemory);
    EXPECT_EQ(machine.registry.OpenKeyEx(kHkeyCurrentUser, u"Environment", kKeyAllAccess).error,
              win_error::kNotEnoughMemory);
    HandleResult manager = machine.services.OpenManager(kScManagerAllAccess);
    EXPECT_EQ(machine.services.OpenService(manager.handle, u"Spooler", kServiceAllAccess).error,
              win_error::kNotEnoughMemory);
    machine.services.CloseServiceHandle(manager.handle);
    EXPECT_EQ(machine.processes.CreateSnapshot().error, win_error::kNotEnoughMemory);
    EXPECT_EQ(machine.files.FindFirst(u"C:\\*").error, win_error::kNotEnoughMemory);
    EXPECT_FALSE(machine.system.QueryOsVersion().ok);
    EXPECT_EQ(sim.calls().Total(), 8u);
}

TEST(SimSystem, ReportsVersionArchitectureAndAnsiText) {
    SimMachine sim;
    System& system = sim.machine().system;
    EXPECT_EQ(system.OsMajorVersion(), 10u);
    sim.SetOsVersion(5, 1);
    EXPECT_EQ(system.OsMajorVersion(), 10u);  // the process keeps its first answer
    EXPECT_EQ(system.QueryOsVersion().major, 5u);
    EXPECT_EQ(sim.calls().Count("GetVersionExW"), 2u);
    EXPECT_EQ(system.NativeProcessorArchitecture(), kProcessorArchitectureAmd64);

    EXPECT_EQ(system.WideToMultiByte(u"Caf\u00e9 \u20ac \u0141\u00ff", kCpThreadAcp), "Caf\xe9 \x80 ?\xff");
    EXPECT_EQ(system.WideToMultiByte(u"\u0080\u0081", kCpThreadAcp), "?\x81");
    std::tm now = system.LocalTime();
    EXPECT_EQ(now.tm_year + 1900, 2024);
    EXPECT_EQ(now.tm_mon + 1, 3);
    EXPECT_EQ(now.tm_hour, 14);
    EXPECT_EQ(now.tm_sec, 9);
}

TEST(SimSystem, OnlySleepMovesTheClock) {
    SimMachine sim;
    System& system = sim.machine().system;
    std::uint32_t start = system.TickCount();
    EXPECT_EQ(system.TickCount(), start);
    system.Sleep(100);
    EXPECT_EQ(system.TickCount(), start + 100);
    EXPECT_EQ(sim.Now(), start + 100);
}

TEST(SimSystem, ConsoleOutputNeedsAnAttachedConsole) {
    SimMachine sim;
    System& system = sim.machine().system;
    system.WriteStdout("lost");
    ASSERT_TRUE(system.AttachParentConsole());
    system.WriteStdout("Success");
    system.WriteStdout("1");
    EXPECT_EQ(sim.Stdout(), "Success1");

    SimMachine shortcut;
    shortcut.SetConsoleAttachable(false);
    EXPECT_FALSE(shortcut.machine().system.AttachParentConsole());
    shortcut.machine().system.WriteStdout("x");
    EXPECT_TRUE(shortcut.Stdout().empty());
}

TEST(SimSystem, MessageBoxesAreRecordedAndAnswered) {
    SimMachine sim;
    sim.SetMessageBoxAnswer(7);
    EXPECT_EQ(sim.machine().system.MessageBox(u"Printer is Busy.", u"Spoolsweep", kMbOk), 7);
    ASSERT_EQ(sim.MessageBoxes().size(), 1u);
    EXPECT_EQ(sim.MessageBoxes()[0].text, u"Printer is Busy.");
    EXPECT_EQ(sim.MessageBoxes()[0].caption, u"Spoolsweep");
    sim.QueueMessageBoxAnswers({6, 2});
    System& system = sim.machine().system;
    EXPECT_EQ(system.MessageBox(u"Keep presets?", u"Tamber AB12 PS", 0x24), 6);
    EXPECT_EQ(system.MessageBox(u"Keep presets?", u"Tamber CD34 PS", 0x24), 2);
    EXPECT_EQ(system.MessageBox(u"Done", u"Spoolsweep", kMbOk), 7);
    EXPECT_EQ(sim.MessageBoxes().size(), 4u);
}

}  // namespace
}  // namespace spoolsweep::sim
