// The process seam: the snapshot walk, opening a process, its exit code and its termination.
#include "contract_helpers.h"
#include "platform/processes.h"
#include "world.h"

namespace spoolsweep::contract {
namespace {

class ProcessesContract : public WorldTest {
  protected:
    Processes& processes() { return machine().processes; }

    std::vector<ProcessEntry> Snapshot() {
        std::vector<ProcessEntry> entries;
        HandleResult snapshot = processes().CreateSnapshot();
        EXPECT_EQ(snapshot.error, 0U);
        KernelHandle owned(snapshot.handle, {&processes()});
        for (auto entry = processes().FirstProcess(owned.get()); entry;
             entry = processes().NextProcess(owned.get())) {
            entries.push_back(*entry);
        }
        return entries;
    }
};

TEST_F(ProcessesContract, TheSnapshotListsARunningProcessByImageName) {
    World::StartedProcess child = world().StartProcess();

    auto entries = Snapshot();
    auto found = std::find_if(entries.begin(), entries.end(),
                              [&](const ProcessEntry& e) { return e.processId == child.processId; });
    ASSERT_NE(found, entries.end());
    EXPECT_EQ(found->exeFile, child.exeFile);
}

TEST_F(ProcessesContract, ARunningProcessIsStillActiveUntilTerminated) {
    World::StartedProcess child = world().StartProcess();
    HandleResult opened = processes().OpenProcess(kProcessAllAccess, child.processId);
    ASSERT_NE(opened.handle, 0U) << opened.error;
    KernelHandle process(opened.handle, {&processes()});

    ExitCodeResult running = processes().GetExitCode(process.get());
    EXPECT_EQ(running.error, 0U);
    EXPECT_EQ(running.exitCode, kStillActive);

    EXPECT_TRUE(processes().TerminateProcess(process.get(), 7).ok());
    world().AwaitExit(child.processId);
    ExitCodeResult ended = processes().GetExitCode(process.get());
    EXPECT_EQ(ended.error, 0U);
    EXPECT_EQ(ended.exitCode, 7U);
}

TEST_F(ProcessesContract, OpeningAProcessThatDoesNotExistFails) {
    HandleResult opened = processes().OpenProcess(kProcessTerminate, 0xFFFFFFF0U);
    EXPECT_EQ(opened.handle, 0U);
    EXPECT_EQ(opened.error, win_error::kInvalidParameter);
}

}  // namespace
}  // namespace spoolsweep::contract
