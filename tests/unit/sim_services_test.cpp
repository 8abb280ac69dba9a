#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/win_errors.h"

namespace spoolsweep::sim {
namespace {

struct OpenedService {
    Handle manager = 0;
    Handle service = 0;
};

OpenedService Open(Services& services, std::u16string_view name) {
    OpenedService opened;
    opened.manager = services.OpenManager(kScManagerAllAccess).handle;
    opened.service = services.OpenService(opened.manager, name, kServiceAllAccess).handle;
    return opened;
}

void Close(Services& services, const OpenedService& opened) {
    services.CloseServiceHandle(opened.service);
    services.CloseServiceHandle(opened.manager);
}

TEST(SimServices, StopAndStartPassThroughPendingStatesOnTheSimulatedClock) {
    SimMachine sim;
    Services& services = sim.machine().services;
    System& system = sim.machine().system;
    sim.AddService({u"Spooler", ServiceState::Running, {}, 300, false, false, 0});
    OpenedService spooler = Open(services, u"spooler");
    ASSERT_NE(spooler.service, 0u);

    EXPECT_EQ(services.StartService(spooler.service).error, win_error::kServiceAlreadyRunning);
    ASSERT_TRUE(services.ControlStop(spooler.service).ok());
    EXPECT_EQ(services.QueryStatus(spooler.service).state, ServiceState::StopPending);
    EXPECT_EQ(services.ControlStop(spooler.service).error, win_error::kServiceCannotAcceptCtrl);
    system.Sleep(200);
    EXPECT_EQ(services.QueryStatus(spooler.service).state, ServiceState::StopPending);
    system.Sleep(100);
    EXPECT_EQ(services.QueryStatus(spooler.service).state, ServiceState::Stopped);
    EXPECT_EQ(services.ControlStop(spooler.service).error, win_error::kServiceNotActive);

    ASSERT_TRUE(services.StartService(spooler.service).ok());
    EXPECT_EQ(services.QueryStatus(spooler.service).state, ServiceState::StartPending);
    system.Sleep(300);
    EXPECT_EQ(services.QueryStatus(spooler.service).state, ServiceState::Running);
    Close(services, spooler);
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
    EXPECT_EQ(sim.journal(),
              (std::vector<std::string>{"ControlService Spooler STOP", "StartServiceW Spooler"}));
}

TEST(SimServices, ScriptedServicesStallOrRefuse) {
    SimMachine sim;
    Services& services = sim.machine().services;
    sim.AddService({u"Stuck", ServiceState::Running, {}, 0, true, false, 0});
    sim.AddService({u"Stubborn", ServiceState::Running, {}, 0, false, true, 0});
    OpenedService stuck = Open(services, u"Stuck");
    OpenedService stubborn = Open(services, u"Stubborn");

    ASSERT_TRUE(services.ControlStop(stuck.service).ok());
    sim.machine().system.Sleep(60000);
    EXPECT_EQ(services.QueryStatus(stuck.service).state, ServiceState::StopPending);
    EXPECT_EQ(services.ControlStop(stubborn.service).error, win_error::kServiceCannotAcceptCtrl);
    EXPECT_EQ(services.QueryStatus(stubborn.service).state, ServiceState::Running);
    EXPECT_EQ(services.OpenService(stuck.manager, u"Missing", kServiceAllAccess).error,
              win_error::kServiceDoesNotExist);
    Close(services, stuck);
    Close(services, stubborn);
}

TEST(SimServices, DependentsListOnlyActiveOnesAndMustStopFirst) {
    SimMachine sim;
    Services& services = sim.machine().services;
    sim.AddService({u"Spooler", ServiceState::Running, {u"Fax", u"PrintNotify"}, 0, false, false, 0});
    sim.AddService({u"Fax", ServiceState::Running, {}, 0, false, false, 0});
    sim.AddService({u"PrintNotify", ServiceState::Stopped, {}, 0, false, false, 0});
    OpenedService spooler = Open(services, u"Spooler");

    EnumResult<std::u16string> probe = services.EnumDependentServices(spooler.service, kServiceActive, 0);
    EXPECT_FALSE(probe.ok);
    EXPECT_EQ(probe.error, win_error::kMoreData);
    EXPECT_EQ(probe.bytesNeeded, 36u + 2u * 8u);  // "Fax" as name and display name
    EnumResult<std::u16string> active =
        services.EnumDependentServices(spooler.service, kServiceActive, probe.bytesNeeded);
    ASSERT_TRUE(active.ok);
    EXPECT_EQ(active.entries, std::vector<std::u16string>{u"Fax"});
    EXPECT_NE(services.ControlStop(spooler.service).error, 0u);

    OpenedService fax = Open(services, u"Fax");
    ASSERT_TRUE(services.ControlStop(fax.service).ok());
    EXPECT_EQ(services.QueryStatus(fax.service).state, ServiceState::Stopped);
    EnumResult<std::u16string> none = services.EnumDependentServices(spooler.service, kServiceActive, 0);
    EXPECT_TRUE(none.ok);
    EXPECT_EQ(none.bytesNeeded, 0u);
    EXPECT_TRUE(services.ControlStop(spooler.service).ok());
    Close(services, fax);
    Close(services, spooler);
}

TEST(SimServices, DatabaseLockNeedsTheRightAndAFreeDatabase) {
    SimMachine sim;
    Services& services = sim.machine().services;
    HandleResult readOnly = services.OpenManager(0x1);
    EXPECT_EQ(services.LockDatabase(readOnly.handle).error, win_error::kAccessDenied);
    HandleResult manager = services.OpenManager(kScManagerLock);
    HandleResult lock = services.LockDatabase(manager.handle);
    ASSERT_EQ(lock.error, 0u);
    EXPECT_EQ(services.LockDatabase(manager.handle).error, win_error::kServiceDatabaseLocked);
    services.UnlockDatabase(lock.handle);
    sim.SetDatabaseLockHeldElsewhere(true);
    EXPECT_EQ(services.LockDatabase(manager.handle).error, win_error::kServiceDatabaseLocked);
    services.CloseServiceHandle(manager.handle);
    services.CloseServiceHandle(readOnly.handle);
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
    EXPECT_EQ(sim.BadHandleCloses(), 0u);
}

std::vector<std::u16string> Walk(Processes& processes, Handle snapshot) {
    std::vector<std::u16string> names;
    for (auto entry = processes.FirstProcess(snapshot); entry; entry = processes.NextProcess(snapshot)) {
        names.push_back(entry->exeFile);
    }
    return names;
}

TEST(SimProcesses, SnapshotsAreCopiesAndTerminatedProcessesLeaveLaterOnes) {
    SimMachine sim;
    Processes& processes = sim.machine().processes;
    sim.AddProcess(u"explorer.exe");
    std::uint32_t srv = sim.AddProcess(u"NorvelAB12.srv");
    HandleResult before = processes.CreateSnapshot();

    HandleResult process = processes.OpenProcess(kProcessAllAccess, srv);
    ASSERT_EQ(process.error, 0u);
    ExitCodeResult code = processes.GetExitCode(process.handle);
    EXPECT_EQ(code.exitCode, kStillActive);
    EXPECT_TRUE(processes.TerminateProcess(process.handle, code.exitCode).ok());
    EXPECT_EQ(processes.GetExitCode(process.handle).exitCode, kStillActive);  // ended with code 259
    EXPECT_EQ(processes.TerminateProcess(process.handle, 0).error, win_error::kAccessDenied);
    processes.CloseHandle(process.handle);

    EXPECT_EQ(Walk(processes, before.handle),
              (std::vector<std::u16string>{u"explorer.exe", u"NorvelAB12.srv"}));
    HandleResult after = processes.CreateSnapshot();
    EXPECT_EQ(Walk(processes, after.handle), std::vector<std::u16string>{u"explorer.exe"});
    processes.CloseHandle(before.handle);
    processes.CloseHandle(after.handle);

    EXPECT_EQ(processes.OpenProcess(kProcessAllAccess, srv).error, win_error::kInvalidParameter);
    EXPECT_EQ(processes.OpenProcess(kProcessAllAccess, 4242).error, win_error::kInvalidParameter);
    EXPECT_FALSE(sim.Processes()[1].running);
    EXPECT_EQ(sim.journal(), std::vector<std::string>{"TerminateProcess " + std::to_string(srv) + " 259"});
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace spoolsweep::sim
