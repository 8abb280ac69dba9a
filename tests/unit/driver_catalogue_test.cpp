#include "spooler/driver_catalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "spooler_decorator.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

using sim::SimMachine;
using testing::SpoolerDecorator;

// Each driver's INF path names its environment: "Drv-Windows x64.inf".
std::u16string InfPath(std::u16string_view name, std::u16string_view environment) {
    return std::u16string(name) + u"-" + std::u16string(environment) + u".inf";
}

void AddDriver(SimMachine& sim, std::u16string_view name,
               const std::vector<std::u16string_view>& environments) {
    for (std::u16string_view environment : environments) {
        sim.AddDriver(
            {std::u16string(environment), std::u16string(name), u"data.ppd", InfPath(name, environment)});
    }
}

// "environment|driver" of every remaining driver.
std::vector<std::string> Installed(const SimMachine& sim) {
    std::vector<std::string> drivers;
    for (const sim::SimDriver& driver : sim.Drivers()) {
        drivers.push_back(NarrowLowBytes(driver.environment) + "|" + NarrowLowBytes(driver.name));
    }
    return drivers;
}

struct DeletionRun {
    SimMachine sim;
    SpoolerDecorator spooler{sim.machine().spooler};

    void DeleteDriver(std::u16string_view name) {
        DeletePrinterDriverAllEnvironments(spooler, sim.machine().registry, sim.machine().system, name);
    }
};

TEST(DriverCatalogue, ListsTheDriversOfOneEnvironment) {
    SimMachine sim;
    AddDriver(sim, u"A", {kEnvironmentX64});
    AddDriver(sim, u"B", {kEnvironmentX64, kEnvironmentX86});
    Spooler& spooler = sim.machine().spooler;

    const DriverList x64 = EnumPrinterDriverList(spooler, kEnvironmentX64);
    ASSERT_EQ(x64.size(), 2U);
    EXPECT_EQ(x64[0].name + u"|" + x64[1].name + u"|" + x64[1].environment, u"A|B|Windows x64");
    EXPECT_EQ(EnumPrinterDriverList(spooler, kEnvironmentX86).size(), 1U);
    EXPECT_TRUE(EnumPrinterDriverList(spooler, u"Windows ARM64").empty());
    sim.faults().Fail("EnumPrinterDriversW", 5, 1, 1);
    EXPECT_TRUE(EnumPrinterDriverList(spooler, kEnvironmentX64).empty());
}

TEST(DriverDeletion, DeletesX86ThenX64WithThePackageReadBeforeAnyDeletion) {
    struct Case {
        const char* what;
        std::uint32_t osMajor, osMinor;
        const char16_t* architecture;  // nullptr: the machine's own
        std::vector<std::u16string_view> environments;
        std::vector<std::string> calls;
        std::uint64_t lookups;  // GetProcAddress calls: once for both passes, none before Vista
    };
    const std::u16string_view x86 = kEnvironmentX86, x64 = kEnvironmentX64;
    // clang-format off
    const std::vector<Case> cases = {
        // With "x86" the INF path comes from the x86 key, which the first pass removes.
        {"x86", 10, 0, u"x86", {x86, x64},
         {"DeletePrinterDriverExW Windows NT x86|Drv|1|3 -> 0",
          "DeletePrinterDriverPackageW Drv-Windows NT x86.inf|Windows NT x86",
          "DeletePrinterDriverExW Windows x64|Drv|1|3 -> 0",
          "DeletePrinterDriverPackageW Drv-Windows NT x86.inf|Windows x64"}, 1},
        {"Vista, the first with driver packages, x64 only", 6, 0, nullptr, {x64},
         {"DeletePrinterDriverExW Windows NT x86|Drv|1|3 -> 1797",
          "DeletePrinterDriverExW Windows x64|Drv|1|3 -> 0",
          "DeletePrinterDriverPackageW Drv-Windows x64.inf|Windows x64"}, 1},
        {"before Vista", 5, 1, nullptr, {x86, x64},
         {"DeletePrinterDriverExW Windows NT x86|Drv|1|3 -> 0",
          "DeletePrinterDriverExW Windows x64|Drv|1|3 -> 0"}, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeletionRun run;
        run.sim.SetOsVersion(c.osMajor, c.osMinor);
        if (c.architecture != nullptr) {
            run.sim.SetString(kHkeyLocalMachine,
                              u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                              u"PROCESSOR_ARCHITECTURE", c.architecture);
        }
        AddDriver(run.sim, u"Drv", c.environments);
        run.DeleteDriver(u"Drv");
        EXPECT_EQ(run.spooler.calls, c.calls);
        EXPECT_TRUE(Installed(run.sim).empty());
        EXPECT_EQ(run.sim.calls().Count("GetProcAddress"), c.lookups);
        // Before Vista not even the INF path is read.
        EXPECT_EQ(run.sim.calls().Count("RegQueryValueExW") + run.sim.calls().Count("LoadLibraryW") == 0,
                  c.lookups == 0);
    }
}

TEST(DriverDeletion, DeletesPackagesOnlyAfterADriverDeletionSucceeds) {
    DeletionRun run;
    AddDriver(run.sim, u"Used", {kEnvironmentX86, kEnvironmentX64});
    run.sim.AddPrinter(test::MakePrinter(u"P1", u"Used"));
    run.DeleteDriver(u"Used");
    EXPECT_EQ(run.spooler.calls, (std::vector<std::string>{
                                     "DeletePrinterDriverExW Windows NT x86|Used|1|3 -> 3001",
                                     "DeletePrinterDriverExW Windows x64|Used|1|3 -> 3001",
                                 }));
    EXPECT_EQ(run.sim.calls().Count("GetProcAddress"), 0U);

    // Without the package export the driver still goes.
    AddDriver(run.sim, u"Free", {kEnvironmentX64});
    run.sim.SetDriverPackageDeletion(false);
    run.DeleteDriver(u"Free");
    EXPECT_EQ(run.sim.calls().Count("DeletePrinterDriverPackageW"), 0U);
    EXPECT_EQ(Installed(run.sim), (std::vector<std::string>{"Windows NT x86|Used", "Windows x64|Used"}));
}

TEST(DriverDeletion, DeletesEveryDriverListingX64AfterTheX86Pass) {
    DeletionRun run;
    AddDriver(run.sim, u"A", {kEnvironmentX86, kEnvironmentX64});
    AddDriver(run.sim, u"B", {kEnvironmentX64});
    AddDriver(run.sim, u"C", {kEnvironmentX86, kEnvironmentX64});
    AddDriver(run.sim, u"D", {kEnvironmentX86});
    run.sim.AddPrinter(test::MakePrinter(u"P1", u"C"));

    DeleteAllPrinterDrivers(run.spooler, run.sim.machine().registry, run.sim.machine().system);

    // C is in use and stays, and the next driver still goes; A, gone from both environments after the x86
    // pass, is no longer in the x64 list.
    std::vector<std::string> order;
    for (const std::string& call : run.spooler.calls) {
        if (call.starts_with("Enum") && (order.empty() || order.back() != call.substr(20))) {
            order.push_back(call.substr(20));
        } else if (call.starts_with("DeletePrinterDriverExW Windows NT x86")) {
            order.push_back(call.substr(38, 1));
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Windows NT x86", "A", "C", "D", "Windows x64", "B", "C"}));
    EXPECT_EQ(run.spooler.calls.size(), 4U + 2 * 5 + 4);  // 4 listings, 5 drivers in 2 passes, 4 packages
    EXPECT_EQ(Installed(run.sim), (std::vector<std::string>{"Windows NT x86|C", "Windows x64|C"}));
}

TEST(DriverDeletion, StructuredExceptionInOnePassLeavesTheOtherToRun) {
    DeletionRun run;
    AddDriver(run.sim, u"Drv", {kEnvironmentX86, kEnvironmentX64});
    AddDriver(run.sim, u"Next", {kEnvironmentX86, kEnvironmentX64});

    run.spooler.throwWhenStarts = "DeletePrinterDriverExW Windows NT x86|Drv";
    EXPECT_NO_THROW(run.DeleteDriver(u"Drv"));
    EXPECT_EQ(Installed(run.sim),
              (std::vector<std::string>{"Windows NT x86|Drv", "Windows NT x86|Next", "Windows x64|Next"}));
    EXPECT_EQ(run.sim.DeletedDriverPackages().size(), 1U);

    // A fault in the package deletion after each driver deletion: every pass and driver still runs.
    run.spooler.throwWhenStarts = "DeletePrinterDriverPackageW";
    EXPECT_NO_THROW(
        DeleteAllPrinterDrivers(run.spooler, run.sim.machine().registry, run.sim.machine().system));
    EXPECT_TRUE(Installed(run.sim).empty());
}

}  // namespace
}  // namespace spoolsweep
