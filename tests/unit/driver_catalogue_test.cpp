#include "spooler/driver_catalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "spooler_decorator.h"

namespace spoolsweep {
namespace {

using sim::SimMachine;
using testing::SpoolerDecorator;

// A printer using the driver; a connection when serverName is given.
sim::SimPrinter MakePrinter(std::u16string_view name, std::u16string_view driver,
                            std::u16string_view serverName = {}) {
    sim::SimPrinter printer;
    printer.name = name;
    printer.driver = driver;
    printer.serverName = serverName;
    return printer;
}

constexpr std::u16string_view kInfX86 = u"C:\\Windows\\INF\\x86drv.inf";
constexpr std::u16string_view kInfX64 = u"C:\\Windows\\INF\\x64drv.inf";

void AddDriverIn(SimMachine& sim, std::u16string_view environment, std::u16string_view name) {
    const bool x86 = environment == kEnvironmentX86;
    sim.AddDriver({std::u16string(environment), std::u16string(name), u"data.ppd",
                   std::u16string(x86 ? kInfX86 : kInfX64)});
}

void AddDriverInBoth(SimMachine& sim, std::u16string_view name) {
    AddDriverIn(sim, kEnvironmentX86, name);
    AddDriverIn(sim, kEnvironmentX64, name);
}

std::vector<std::pair<std::u16string, std::u16string>> InstalledDrivers(const SimMachine& sim) {
    std::vector<std::pair<std::u16string, std::u16string>> drivers;
    for (const sim::SimDriver& driver : sim.Drivers()) {
        drivers.emplace_back(driver.environment, driver.name);
    }
    return drivers;
}

// The driver deletions noted by the decorator, without their results: "environment|driver".
std::vector<std::string> DriverDeletions(const SpoolerDecorator& spooler) {
    std::vector<std::string> deletions;
    constexpr std::string_view kPrefix = "DeletePrinterDriverExW ";
    for (const std::string& call : spooler.calls) {
        if (call.starts_with(kPrefix)) {
            const std::string args = call.substr(kPrefix.size());
            deletions.push_back(args.substr(0, args.find("|1|3")));
        }
    }
    return deletions;
}

void DeleteDriver(SimMachine& sim, Spooler& spooler, std::u16string_view name) {
    Machine& machine = sim.machine();
    DeletePrinterDriverAllEnvironments(spooler, machine.registry, machine.system, name);
}

TEST(DriverCatalogue, ListsTheDriversOfOneEnvironment) {
    SimMachine sim;
    AddDriverIn(sim, kEnvironmentX64, u"A");
    AddDriverIn(sim, kEnvironmentX64, u"B");
    AddDriverIn(sim, kEnvironmentX86, u"C");
    Spooler& spooler = sim.machine().spooler;

    const DriverList x64 = EnumPrinterDriverList(spooler, kEnvironmentX64);
    ASSERT_EQ(x64.size(), 2U);
    EXPECT_EQ(x64[0].name, u"A");
    EXPECT_EQ(x64[1].name, u"B");
    EXPECT_EQ(x64[1].environment, kEnvironmentX64);
    ASSERT_EQ(EnumPrinterDriverList(spooler, kEnvironmentX86).size(), 1U);

    sim.faults().Fail("EnumPrinterDriversW", 5);
    EXPECT_TRUE(EnumPrinterDriverList(spooler, kEnvironmentX64).empty());
    sim.faults().Clear();
    EXPECT_TRUE(EnumPrinterDriverList(spooler, u"Windows IA64").empty());
}

TEST(DriverDeletion, DeletesX86ThenX64EachFollowedByItsPackage) {
    SimMachine sim;
    // On an x86 machine the INF path comes from the x86 key, which the first pass removes: both passes
    // still get it because it is read before anything is deleted.
    sim.SetString(kHkeyLocalMachine, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                  u"PROCESSOR_ARCHITECTURE", u"x86");
    AddDriverInBoth(sim, u"Drv");
    SpoolerDecorator spooler(sim.machine().spooler);

    DeleteDriver(sim, spooler, u"Drv");

    const std::string inf = NarrowLowBytes(kInfX86);
    EXPECT_EQ(spooler.calls, (std::vector<std::string>{
                                 "DeletePrinterDriverExW Windows NT x86|Drv|1|3 -> 0",
                                 "CanDeletePrinterDriverPackage",
                                 "DeletePrinterDriverPackageW " + inf + "|Windows NT x86",
                                 "DeletePrinterDriverExW Windows x64|Drv|1|3 -> 0",
                                 "DeletePrinterDriverPackageW " + inf + "|Windows x64",
                             }));
    EXPECT_TRUE(InstalledDrivers(sim).empty());
}

TEST(DriverDeletion, DeletesAnX64OnlyDriverAndItsPackageInTheX64Pass) {
    SimMachine sim;
    AddDriverIn(sim, kEnvironmentX64, u"Drv");
    SpoolerDecorator spooler(sim.machine().spooler);

    DeleteDriver(sim, spooler, u"Drv");

    EXPECT_EQ(spooler.calls, (std::vector<std::string>{
                                 "DeletePrinterDriverExW Windows NT x86|Drv|1|3 -> 1797",
                                 "DeletePrinterDriverExW Windows x64|Drv|1|3 -> 0",
                                 "CanDeletePrinterDriverPackage",
                                 "DeletePrinterDriverPackageW " + NarrowLowBytes(kInfX64) + "|Windows x64",
                             }));
    EXPECT_EQ(sim.DeletedDriverPackages(), (std::vector<std::pair<std::u16string, std::u16string>>{
                                               {std::u16string(kInfX64), std::u16string(kEnvironmentX64)}}));
}

TEST(DriverDeletion, BeforeVistaReadsNoInfPathAndLooksUpNoPackage) {
    SimMachine sim;
    sim.SetOsVersion(5, 1);
    AddDriverInBoth(sim, u"Drv");
    SpoolerDecorator spooler(sim.machine().spooler);
    sim.calls().Clear();

    DeleteDriver(sim, spooler, u"Drv");

    EXPECT_EQ(sim.calls().Count("RegOpenKeyW"), 0U);
    EXPECT_EQ(sim.calls().Count("RegQueryValueExW"), 0U);
    EXPECT_EQ(spooler.CountStarting("CanDeletePrinterDriverPackage"), 0U);
    EXPECT_EQ(spooler.CountStarting("DeletePrinterDriverPackageW"), 0U);
    EXPECT_EQ(spooler.CountStarting("DeletePrinterDriverExW"), 2U);
    EXPECT_TRUE(InstalledDrivers(sim).empty());
}

TEST(DriverDeletion, DeletesPackagesOnlyAfterADriverDeletionSucceeds) {
    SimMachine sim;
    AddDriverInBoth(sim, u"Used");
    sim.AddPrinter(MakePrinter(u"P1", u"Used"));
    SpoolerDecorator spooler(sim.machine().spooler);

    DeleteDriver(sim, spooler, u"Used");
    EXPECT_EQ(spooler.calls, (std::vector<std::string>{
                                 "DeletePrinterDriverExW Windows NT x86|Used|1|3 -> 3001",
                                 "DeletePrinterDriverExW Windows x64|Used|1|3 -> 3001",
                             }));
    EXPECT_EQ(InstalledDrivers(sim).size(), 2U);

    // Without the package export the driver still goes; the lookup is made once for both passes.
    AddDriverInBoth(sim, u"Free");
    sim.SetDriverPackageDeletion(false);
    spooler.calls.clear();
    DeleteDriver(sim, spooler, u"Free");
    EXPECT_EQ(spooler.CountStarting("CanDeletePrinterDriverPackage"), 1U);
    EXPECT_EQ(spooler.CountStarting("DeletePrinterDriverPackageW"), 0U);
    EXPECT_EQ(InstalledDrivers(sim).size(), 2U);
    EXPECT_TRUE(sim.DeletedDriverPackages().empty());
}

TEST(DriverDeletion, DeletesEveryDriverListingX64AfterTheX86Pass) {
    SimMachine sim;
    AddDriverInBoth(sim, u"A");
    AddDriverIn(sim, kEnvironmentX64, u"B");
    AddDriverInBoth(sim, u"C");
    AddDriverIn(sim, kEnvironmentX86, u"D");
    sim.AddPrinter(MakePrinter(u"P1", u"C"));
    SpoolerDecorator spooler(sim.machine().spooler);
    Machine& machine = sim.machine();

    DeleteAllPrinterDrivers(spooler, machine.registry, machine.system);

    // C is still used and stays; A, deleted from both environments by the x86 pass, is not in the x64 list.
    EXPECT_EQ(
        DriverDeletions(spooler),
        (std::vector<std::string>{"Windows NT x86|A", "Windows x64|A", "Windows NT x86|C", "Windows x64|C",
                                  "Windows NT x86|D", "Windows x64|D", "Windows NT x86|B", "Windows x64|B",
                                  "Windows NT x86|C", "Windows x64|C"}));
    const auto firstX64Listing =
        std::find(spooler.calls.begin(), spooler.calls.end(), "EnumPrinterDriversW Windows x64");
    ASSERT_NE(firstX64Listing, spooler.calls.end());
    EXPECT_EQ(*(firstX64Listing - 1), "DeletePrinterDriverExW Windows x64|D|1|3 -> 1797");
    EXPECT_EQ(InstalledDrivers(sim), (std::vector<std::pair<std::u16string, std::u16string>>{
                                         {u"Windows NT x86", u"C"}, {u"Windows x64", u"C"}}));
}

TEST(DriverDeletion, StructuredExceptionInOnePassLeavesTheOtherToRun) {
    SimMachine sim;
    AddDriverInBoth(sim, u"Drv");
    AddDriverInBoth(sim, u"Next");
    SpoolerDecorator spooler(sim.machine().spooler);
    Machine& machine = sim.machine();

    spooler.throwWhenStarts = "DeletePrinterDriverExW Windows NT x86|Drv";
    EXPECT_NO_THROW(DeleteDriver(sim, spooler, u"Drv"));
    EXPECT_EQ(InstalledDrivers(sim),
              (std::vector<std::pair<std::u16string, std::u16string>>{
                  {u"Windows NT x86", u"Drv"}, {u"Windows NT x86", u"Next"}, {u"Windows x64", u"Next"}}));
    EXPECT_EQ(sim.DeletedDriverPackages().size(), 1U) << "the x64 pass deletes the package";

    // A fault after the x86 driver deletion, in its package deletion, still leaves the x64 pass and the
    // next driver to run.
    spooler.throwWhenStarts = "DeletePrinterDriverPackageW";
    EXPECT_NO_THROW(DeleteAllPrinterDrivers(spooler, machine.registry, machine.system));
    EXPECT_TRUE(InstalledDrivers(sim).empty());
}

}  // namespace
}  // namespace spoolsweep
