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
}

// Faults are addressed by these names, so each seam call must record the Win32 function it stands for.
TEST(SimCallLog, NamesEachCallAfterItsWin32Function) {
    SimMachine sim;
    Machine& m = sim.machine();
    (void)m.files.GetStatus(u"C:\\Windows");
    (void)m.files.AppendText(u"x.log", "x");
    (void)m.files.ShellDeleteTree(u"C:\\none", kFofSilentNoConfirmationNoErrorUi);
    (void)m.registry.ExpandEnvironmentStrings(u"%TEMP%", 260);
    (void)m.spooler.GetDefaultPrinter(0);
    (void)m.spooler.CanDeletePrinterDriverPackage();
    HandleResult manager = m.services.OpenManager(kScManagerAllAccess);
    HandleResult spooler = m.services.OpenService(manager.handle, u"Spooler", kServiceAllAccess);
    (void)m.services.QueryStatus(spooler.handle);
    (void)m.services.EnumDependentServices(spooler.handle, kServiceActive, 0);
    HandleResult snapshot = m.processes.CreateSnapshot();
    (void)m.processes.FirstProcess(snapshot.handle);
    (void)m.processes.NextProcess(snapshot.handle);
    (void)m.system.WideToMultiByte(u"x", kCpThreadAcp);
    (void)m.system.NativeProcessorArchitecture();
    for (const char* name :
         {"GetFileAttributesExW", "fopen", "SHFileOperationW", "DoEnvironmentSubstW", "GetDefaultPrinterW",
          "LoadLibraryW", "GetProcAddress", "OpenSCManagerW", "OpenServiceW", "QueryServiceStatusEx",
          "EnumDependentServicesW", "CreateToolhelp32Snapshot", "Process32FirstW", "Process32NextW",
          "WideCharToMultiByte", "GetNativeSystemInfo"}) {
        EXPECT_EQ(sim.calls().Count(name), 1u) << name;
    }
    m.processes.CloseHandle(snapshot.handle);
    m.services.CloseServiceHandle(spooler.handle);
    m.services.CloseServiceHandle(manager.handle);
    EXPECT_EQ(sim.calls().Count("CloseServiceHandle"), 2u);
    EXPECT_EQ(sim.calls().Count("CloseHandle"), 1u);
}

}  // namespace
}  // namespace spoolsweep::sim
