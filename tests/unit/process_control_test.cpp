#include "cleanup/process_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

using test::IsRunning;

// An empty base looks for ".srv" alone.
TEST(ProcessControl, EndsOnlyTheFirstExactlyNamedCompanion) {
    sim::SimMachine sim;
    const auto bare = sim.AddProcess(u".srv");
    const auto upper = sim.AddProcess(u"ABC12.srv");
    const auto first = sim.AddProcess(u"abc12.srv");
    const auto second = sim.AddProcess(u"abc12.srv");
    TerminateSrvProcess(sim.machine().processes, u"abc12");
    EXPECT_TRUE(IsRunning(sim, upper));
    EXPECT_FALSE(IsRunning(sim, first));
    EXPECT_TRUE(IsRunning(sim, second));
    // A running process reports STILL_ACTIVE, and that is the exit code it is ended with.
    EXPECT_EQ(test::CountJournal(sim, "TerminateProcess " + std::to_string(first) + " 259"), 1u);
    EXPECT_EQ(sim.calls().Count("TerminateProcess"), 1u);
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
    EXPECT_TRUE(IsRunning(sim, bare));

    TerminateSrvProcess(sim.machine().processes, u"");
    EXPECT_FALSE(IsRunning(sim, bare));
    EXPECT_TRUE(IsRunning(sim, second));
}

TEST(ProcessControl, FreeupPrerequisitesLogsTheSearchAndTheMatch) {
    sim::SimMachine sim;
    Machine& machine = sim.machine();
    const auto target = sim.AddProcess(u"Norvel\u00c4B12.srv");
    sim.SetThreadCodePage(65001);  // UTF-8: the log follows the thread's locale, not the system's
    CommandLog log(machine.files, machine.system);
    FreeupPrerequisites(machine.processes, machine.system, log, u"Norvel\u00c4B12");
    FreeupPrerequisites(machine.processes, machine.system, log, u"Missing");
    EXPECT_FALSE(IsRunning(sim, target));

    // Nothing is logged for "Missing" but the search.
    EXPECT_EQ(test::LogMessages(sim), (std::vector<std::string>{"FreeupPrerequisites",
                                                                "PC File Name Norvel\xc3\x84"
                                                                "B12 SRV Process Found.",
                                                                "Norvel\xc3\x84"
                                                                "B12SRV Process is being Terminated.",
                                                                "FreeupPrerequisites"}));
}

TEST(ProcessControl, TrackwellFirstExactMatchEndedWithExitCodeZero) {
    sim::SimMachine sim;
    const auto lower = sim.AddProcess(u"trackwell.exe");
    // The tool runs under another account, whose security grants the administrator no more than termination.
    const auto first = sim.AddProcessRecord({u"Trackwell.exe", 0, true, kStillActive, kProcessTerminate});
    const auto second = sim.AddProcess(u"Trackwell.exe");
    TerminateTrackwell(sim.machine().processes);
    EXPECT_TRUE(IsRunning(sim, lower));
    EXPECT_FALSE(IsRunning(sim, first));
    EXPECT_TRUE(IsRunning(sim, second));
    EXPECT_EQ(test::CountJournal(sim, "TerminateProcess " + std::to_string(first) + " 0"), 1u);
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace spoolsweep
