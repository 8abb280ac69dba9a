#include "cleanup/service_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace spoolsweep {
namespace {

ServiceState StateOf(const sim::SimMachine& sim, std::u16string_view name) {
    return sim.Service(name).value().state;
}

void Restart(sim::SimMachine& sim) {
    RestartSpooler(sim.machine().services, sim.machine().system);
}

struct RestartCase {
    const char* what;
    ServiceState state;
    bool refusesControl, staysStopPending;
    const char* failingCall;  // fails once after the first call, or nullptr
    std::uint64_t stops, starts;
    ServiceState after;
};

TEST(ServiceControl, RestartStopsWhatRunsAndStartsWhatStopped) {
    using enum ServiceState;
    const std::vector<RestartCase> cases = {
        {"running", Running, false, false, nullptr, 1, 1, Running},
        {"already stopped", Stopped, false, false, nullptr, 0, 1, Running},
        {"stop pending forever", Running, false, true, nullptr, 1, 0, StopPending},
        {"refused stop: the start step finds it running", Running, true, false, nullptr, 1, 0, Running},
        {"refused start", Stopped, true, false, nullptr, 0, 1, Stopped},
        {"failed status query: the start step finds it running", Running, false, false,
         "QueryServiceStatusEx", 0, 0, Running},
    };
    for (const RestartCase& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SimMachine sim;
        sim.AddService({.name = u"Spooler",
                        .state = c.state,
                        .dependents = {},
                        .staysStopPending = c.staysStopPending,
                        .refusesControl = c.refusesControl});
        if (c.failingCall != nullptr) {
            sim.faults().Fail(c.failingCall, 6, 1);
        }
        const std::uint32_t start = sim.Now();
        Restart(sim);
        EXPECT_EQ(sim.calls().Count("ControlService"), c.stops);
        EXPECT_EQ(sim.calls().Count("StartServiceW"), c.starts);
        EXPECT_EQ(StateOf(sim, u"Spooler"), c.after);
        if (c.stops == 1 && c.starts == 1) {
            EXPECT_EQ(sim.journal(),
                      (std::vector<std::string>{"ControlService Spooler STOP", "StartServiceW Spooler"}));
        }
        if (c.staysStopPending) {
            // Polled until more than the budget has passed: the poll at exactly 10,000 ms still waits.
            EXPECT_EQ(sim.Now() - start, kServiceWaitBudgetMs + 2 * kServicePollMs);
        }
    }
}

TEST(ServiceControl, DependentsOfDependentsStopFirstAndInactiveOnesAreLeft) {
    sim::SimMachine sim;
    sim.AddService({.name = u"Spooler", .dependents = {u"Fax", u"Stopped1"}});
    sim.AddService({.name = u"Fax", .dependents = {u"FaxHelper"}});
    sim.AddService({.name = u"FaxHelper", .dependents = {}});
    sim.AddService({.name = u"Stopped1", .state = ServiceState::Stopped, .dependents = {}});
    Restart(sim);
    EXPECT_EQ(sim.journal(),
              (std::vector<std::string>{"ControlService FaxHelper STOP", "ControlService Fax STOP",
                                        "ControlService Spooler STOP", "StartServiceW Spooler"}));
    EXPECT_EQ(StateOf(sim, u"Fax"), ServiceState::Stopped);  // only the spooler is started again
    EXPECT_EQ(StateOf(sim, u"Stopped1"), ServiceState::Stopped);
    EXPECT_EQ(StateOf(sim, u"Spooler"), ServiceState::Running);
}

TEST(ServiceControl, ManagerThatCannotBeOpenedTouchesNothingAndIsNotRetried) {
    sim::SimMachine sim;
    sim.faults().Fail("OpenSCManagerW", 5);
    Restart(sim);
    Restart(sim);
    EXPECT_EQ(sim.calls().Count("OpenSCManagerW"), 1u);
    EXPECT_EQ(sim.calls().Count("OpenServiceW"), 0u);
    EXPECT_EQ(StateOf(sim, u"Spooler"), ServiceState::Running);
}

TEST(ServiceControl, SharedManagerIsOpenedOnceAndClosedOnce) {
    sim::SimMachine sim;
    Services& services = sim.machine().services;
    Restart(sim);
    Restart(sim);
    EXPECT_EQ(sim.calls().Count("OpenSCManagerW"), 1u);
    EXPECT_EQ(sim.OpenHandleCount(), 1u);  // every service handle closed, the manager kept
    const auto closes = sim.calls().Count("CloseServiceHandle");
    services.CloseSharedManager();
    services.CloseSharedManager();
    EXPECT_EQ(sim.calls().Count("CloseServiceHandle"), closes + 1);
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
    EXPECT_EQ(sim.BadHandleCloses(), 0u);
}

TEST(ServiceControl, AcceptedStopsThatChangeNothingAreNotRepeatedWithoutEnd) {
    sim::SimMachine sim;
    // Whatever a stop did, each status query finds the spooler running again.
    for (int i = 0; i < 2 * kMaxServiceRequests; ++i) {
        sim.faults().OnCall("QueryServiceStatusEx",
                            [&sim] { sim.AddService({.name = u"Spooler", .dependents = {}}); });
    }
    Restart(sim);
    EXPECT_EQ(sim.calls().Count("ControlService"), static_cast<std::uint64_t>(kMaxServiceRequests));
    EXPECT_EQ(StateOf(sim, u"Spooler"), ServiceState::Running);
    EXPECT_EQ(sim.OpenHandleCount(), 1u);  // the shared manager
}

}  // namespace
}  // namespace spoolsweep
