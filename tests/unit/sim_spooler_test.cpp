#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/win_errors.h"

namespace spoolsweep::sim {
namespace {

constexpr std::u16string_view kX64DriverKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3\\Tamber AB12";

void AddTamber(SimMachine& sim) {
    sim.AddDriver({u"Windows x64", u"Tamber AB12", u"NorvelAB12.PPD", u"C:\\Windows\\INF\\oem7.inf"});
    sim.AddPrinter({u"P1", u"Tamber AB12", u"", u"", {}, {}});
}

TEST(SimSpooler, DriversAndPrintersKeepTheirRegistryKeys) {
    SimMachine sim;
    AddTamber(sim);
    auto dataFile = sim.GetValue(kHkeyLocalMachine, kX64DriverKey, u"Data File");
    ASSERT_TRUE(dataFile.has_value());
    EXPECT_EQ(dataFile->size(), 2u * 15u);
    EXPECT_TRUE(sim.ValueExists(kHkeyLocalMachine, kX64DriverKey, u"InfPath"));
    EXPECT_TRUE(sim.ValueExists(kHkeyLocalMachine, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\P1",
                                u"Printer Driver"));

    Spooler& spooler = sim.machine().spooler;
    HandleResult printer = spooler.OpenPrinter(u"p1", kPrinterAllAccess);
    ASSERT_EQ(printer.error, 0u);
    EXPECT_TRUE(spooler.DeletePrinter(printer.handle).ok());
    spooler.ClosePrinter(printer.handle);
    EXPECT_FALSE(
        sim.KeyExists(kHkeyLocalMachine, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\P1"));
    EXPECT_TRUE(sim.Printers().empty());
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

TEST(SimSpooler, JobsHonourFirstJobCountAndScriptedAnswers) {
    SimMachine sim;
    AddTamber(sim);
    Spooler& spooler = sim.machine().spooler;
    for (int i = 0; i < 12; ++i) {
        sim.QueueJob(u"P1");
    }
    HandleResult printer = spooler.OpenPrinter(u"P1", kPrinterAllAccess);
    EnumResult<std::uint32_t> size = spooler.EnumJobs(printer.handle, 0, 10, 0);
    EXPECT_EQ(size.bytesNeeded, 120u);
    EnumResult<std::uint32_t> jobs = spooler.EnumJobs(printer.handle, 0, 10, size.bytesNeeded);
    EXPECT_EQ(jobs.entries.size(), 10u);
    EXPECT_EQ(spooler.EnumJobs(printer.handle, 10, 10, 1000).entries.size(), 2u);
    spooler.ClosePrinter(printer.handle);

    // Each handle takes the next scripted answer; the last one stays.
    sim.ScriptJobCounts(u"P1", {1, 0});
    std::vector<std::size_t> seen;
    for (int round = 0; round < 3; ++round) {
        HandleResult handle = spooler.OpenPrinter(u"P1", kPrinterAllAccess);
        EnumResult<std::uint32_t> probe = spooler.EnumJobs(handle.handle, 0, 10, 0);
        seen.push_back(spooler.EnumJobs(handle.handle, 0, 10, probe.bytesNeeded).entries.size());
        spooler.ClosePrinter(handle.handle);
    }
    EXPECT_EQ(seen, (std::vector<std::size_t>{1, 0, 0}));
}

TEST(SimSpooler, PrinterWithQueuedJobsStaysUntilTheyHavePrinted) {
    SimMachine sim;
    AddTamber(sim);
    sim.QueueJob(u"P1");
    Spooler& spooler = sim.machine().spooler;
    HandleResult printer = spooler.OpenPrinter(u"P1", kPrinterAllAccess);
    EXPECT_TRUE(spooler.DeletePrinter(printer.handle).ok());
    spooler.ClosePrinter(printer.handle);
    EXPECT_EQ(spooler.EnumPrinters(6, 1000).entries.size(), 1u);
    EXPECT_EQ(spooler.DeletePrinterDriverEx(u"Windows x64", u"Tamber AB12", kDpdDeleteUnusedFiles, 3).error,
              win_error::kPrinterDriverInUse);
    EXPECT_TRUE(sim.Printers()[0].pendingDeletion);

    sim.CompleteJobs(u"P1");
    EXPECT_TRUE(sim.Printers().empty());
    EXPECT_FALSE(
        sim.KeyExists(kHkeyLocalMachine, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\P1"));
    EXPECT_TRUE(spooler.DeletePrinterDriverEx(u"Windows x64", u"Tamber AB12", kDpdDeleteUnusedFiles, 3).ok());
    EXPECT_EQ(sim.journal().front(), "DeletePrinter P1 pending");
}

TEST(SimSpooler, FaultsNarrowedToOnePrinterLeaveTheOthers) {
    SimMachine sim;
    AddTamber(sim);
    sim.AddPrinter({u"P2", u"Tamber AB12", u"", u"", {}, {}});
    sim.SetDefaultPrinter(u"P2");
    sim.faults().Fail("DeletePrinter", win_error::kAccessDenied, -1, 0, u"P1");
    Spooler& spooler = sim.machine().spooler;
    for (std::u16string_view name : {u"P1", u"P2"}) {
        HandleResult printer = spooler.OpenPrinter(name, kPrinterAllAccess);
        (void)spooler.DeletePrinter(printer.handle);
        spooler.ClosePrinter(printer.handle);
    }
    ASSERT_EQ(sim.Printers().size(), 1u);
    EXPECT_EQ(sim.Printers()[0].name, u"P1");
    EXPECT_FALSE(sim.DefaultPrinter().has_value());  // the default went with its printer
    EXPECT_EQ(sim.calls().Count("DeletePrinter"), 2u);
}

}  // namespace
}  // namespace spoolsweep::sim
