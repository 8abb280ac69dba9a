// Access rights: a call that needs a right its handle was not opened with fails with 5 and changes nothing.
// The program must ask for every right it uses; these tests pin what each call needs.
#include "contract_helpers.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/spooler.h"
#include "world.h"

namespace spoolsweep::contract {
namespace {

constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kPrinterAccessUse = 0x0008;
constexpr std::uint32_t kScManagerConnect = 0x0001;
constexpr std::uint32_t kServiceQueryStatus = 0x0004;
constexpr std::uint32_t kProcessQueryLimited = 0x1000;

using AccessTest = WorldTest;

TEST_F(AccessTest, RegistryKeysAllowOnlyTheRightsTheyWereOpenedWith) {
    Registry& registry = machine().registry;
    const std::u16string key = world().OwnKey();
    world().CreateKey(kHkeyCurrentUser, key + u"\\Sub");
    world().SetValue(kHkeyCurrentUser, key, u"V", kRegBinary, {1});

    RegistryKey read(registry.OpenKeyEx(kHkeyCurrentUser, key, kKeyRead).handle, {&registry});
    ASSERT_TRUE(read);
    EXPECT_EQ(registry.DeleteValue(read.get(), u"V").error, win_error::kAccessDenied);
    EXPECT_EQ(registry.QueryValue(read.get(), u"V", 0).error, 0U);

    RegistryKey write(registry.OpenKeyEx(kHkeyCurrentUser, key, kKeySetValue).handle, {&registry});
    ASSERT_TRUE(write);
    EXPECT_EQ(registry.QueryValue(write.get(), u"V", 0).error, win_error::kAccessDenied);
    EXPECT_EQ(registry.EnumKey(write.get(), 0, 260).error, win_error::kAccessDenied);
    EXPECT_EQ(registry.EnumValue(write.get(), 0, 260).error, win_error::kAccessDenied);
    EXPECT_TRUE(world().ValueExists(kHkeyCurrentUser, key, u"V"));
    EXPECT_TRUE(registry.DeleteValue(write.get(), u"V").ok());
}

TEST_F(AccessTest, APrinterOpenedForUseIsNeitherDeletedNorItsFormsRemoved) {
    SKIP_ON_WINE("its spooler does not check a printer handle's rights");
    world().AddDriver(kEnvironmentX64, u"Access Driver", u"ACCESS.PPD");
    world().AddPrinter(u"Access Printer", u"Access Driver");
    world().AddPrinterForm(u"Access Form");
    Spooler& spooler = machine().spooler;
    PrinterHandle printer(spooler.OpenPrinter(u"Access Printer", kPrinterAccessUse).handle, {&spooler});
    ASSERT_TRUE(printer);

    EXPECT_EQ(spooler.DeleteForm(printer.get(), u"Access Form").error, win_error::kAccessDenied);
    EXPECT_EQ(spooler.DeletePrinter(printer.get()).error, win_error::kAccessDenied);
    EXPECT_EQ(spooler.EnumJobs(printer.get(), 0, 10, 0).error, 0U);  // use is enough to list the jobs
    PrinterHandle all(spooler.OpenPrinter(u"Access Printer", kPrinterAllAccess).handle, {&spooler});
    EXPECT_TRUE(spooler.DeleteForm(all.get(), u"Access Form").ok());
    EXPECT_TRUE(spooler.DeletePrinter(all.get()).ok());
}

TEST_F(AccessTest, AServiceOpenedToQueryIsNeitherStoppedNorStarted) {
    Services& services = machine().services;
    ServiceHandle manager(services.OpenManager(kScManagerConnect).handle, {&services});
    ASSERT_TRUE(manager);
    ServiceHandle spooler(services.OpenService(manager.get(), u"Spooler", kServiceQueryStatus).handle,
                          {&services});
    ASSERT_TRUE(spooler);
    const ServiceState before = services.QueryStatus(spooler.get()).state;

    EXPECT_EQ(services.ControlStop(spooler.get()).error, win_error::kAccessDenied);
    EXPECT_EQ(services.StartService(spooler.get()).error, win_error::kAccessDenied);
    // Wine 8.0 lists dependents whatever the handle's rights (it reports none anyway); Windows asks for
    // SERVICE_ENUMERATE_DEPENDENTS.
    if (!world().IsWine()) {
        EXPECT_EQ(services.EnumDependentServices(spooler.get(), 1, 0).error, win_error::kAccessDenied);
    }
    EXPECT_EQ(services.QueryStatus(spooler.get()).state, before);
}

TEST_F(AccessTest, AProcessOpenedToQueryIsNotTerminated) {
    World::StartedProcess child = world().StartProcess();
    Processes& processes = machine().processes;
    KernelHandle query(processes.OpenProcess(kProcessQueryLimited, child.processId).handle, {&processes});
    ASSERT_TRUE(query);

    EXPECT_EQ(processes.TerminateProcess(query.get(), 0).error, win_error::kAccessDenied);
    EXPECT_EQ(processes.GetExitCode(query.get()).exitCode, kStillActive);
    KernelHandle terminate(processes.OpenProcess(kProcessTerminate, child.processId).handle, {&processes});
    EXPECT_EQ(processes.GetExitCode(terminate.get()).error, win_error::kAccessDenied);
    EXPECT_TRUE(processes.TerminateProcess(terminate.get(), 0).ok());
    world().AwaitExit(child.processId);
}

}  // namespace
}  // namespace spoolsweep::contract
