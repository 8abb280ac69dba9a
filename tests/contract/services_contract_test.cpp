// The Service Control Manager seam: the database lock the privilege check relies on, opening services, and
// stopping and starting the spooler.
#include "contract_helpers.h"
#include "platform/services.h"
#include "world.h"

namespace spoolsweep::contract {
namespace {

class ServicesContract : public WorldTest {
  protected:
    Services& services() { return machine().services; }

    ServiceHandle OpenManager(std::uint32_t access) {
        HandleResult opened = services().OpenManager(access);
        EXPECT_EQ(opened.error, 0U);
        EXPECT_NE(opened.handle, 0U);
        return ServiceHandle(opened.handle, {&services()});
    }

    // Polls until the service reaches a state, as the spooler restart does.
    ServiceState AwaitState(Handle service, ServiceState wanted) {
        ServiceStatusResult status{};
        for (int i = 0; i < 100; ++i) {
            status = services().QueryStatus(service);
            EXPECT_EQ(status.error, 0U);
            if (status.state == wanted) {
                break;
            }
            machine().system.Sleep(100);
        }
        return status.state;
    }
};

TEST_F(ServicesContract, LocksAndUnlocksTheServiceDatabase) {
    ServiceHandle manager = OpenManager(kScManagerLock);
    HandleResult lock = services().LockDatabase(manager.get());
    EXPECT_EQ(lock.error, 0U);
    ASSERT_NE(lock.handle, 0U);
    services().UnlockDatabase(lock.handle);
    // Unlocked again: a second lock is granted.
    HandleResult again = services().LockDatabase(manager.get());
    EXPECT_NE(again.handle, 0U);
    ServiceLock owned(again.handle, {&services()});
}

TEST_F(ServicesContract, ALockHeldElsewhereIsReportedAsLocked) {
    SKIP_ON_WINE("LockServiceDatabase always succeeds");
    world().HoldServiceDatabaseLock();
    ServiceHandle manager = OpenManager(kScManagerLock);

    HandleResult lock = services().LockDatabase(manager.get());
    EXPECT_EQ(lock.handle, 0U);
    EXPECT_EQ(lock.error, win_error::kServiceDatabaseLocked);
}

TEST_F(ServicesContract, StopsAndStartsTheSpooler) {
    ServiceHandle manager = OpenManager(kScManagerAllAccess);
    HandleResult opened = services().OpenService(manager.get(), u"spooler", kServiceAllAccess);
    ASSERT_NE(opened.handle, 0U) << opened.error;
    ServiceHandle spooler(opened.handle, {&services()});

    if (services().QueryStatus(spooler.get()).state != ServiceState::Running) {
        ASSERT_TRUE(services().StartService(spooler.get()).ok());
    }
    EXPECT_EQ(AwaitState(spooler.get(), ServiceState::Running), ServiceState::Running);
    EXPECT_EQ(services().StartService(spooler.get()).error, win_error::kServiceAlreadyRunning);

    EXPECT_TRUE(services().ControlStop(spooler.get()).ok());
    EXPECT_EQ(AwaitState(spooler.get(), ServiceState::Stopped), ServiceState::Stopped);
    EXPECT_EQ(services().ControlStop(spooler.get()).error, win_error::kServiceNotActive);

    EXPECT_TRUE(services().StartService(spooler.get()).ok());
    EXPECT_EQ(AwaitState(spooler.get(), ServiceState::Running), ServiceState::Running);
}

TEST_F(ServicesContract, OpensTheSpoolerWithNoActiveDependentsButNoUnknownService) {
    ServiceHandle manager = OpenManager(kScManagerAllAccess);
    HandleResult unknown =
        services().OpenService(manager.get(), u"SpoolsweepNoSuchService", kServiceAllAccess);
    EXPECT_EQ(unknown.handle, 0U);
    EXPECT_EQ(unknown.error, win_error::kServiceDoesNotExist);
    HandleResult opened = services().OpenService(manager.get(), u"Spooler", kServiceAllAccess);
    ASSERT_NE(opened.handle, 0U);
    ServiceHandle spooler(opened.handle, {&services()});

    auto dependents = services().EnumDependentServices(spooler.get(), kServiceActive, 0);
    EXPECT_TRUE(dependents.ok) << dependents.error;
    EXPECT_EQ(dependents.bytesNeeded, 0U);
    EXPECT_TRUE(dependents.entries.empty());
}

}  // namespace
}  // namespace spoolsweep::contract
