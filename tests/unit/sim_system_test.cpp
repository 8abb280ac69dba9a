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

}  // namespace
}  // namespace spoolsweep::sim
