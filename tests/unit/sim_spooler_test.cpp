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

TEST(SimSpooler, EnumPrintersNeedsTheComputedSizeAndListsInOrderAdded) {
    SimMachine sim;
    Spooler& spooler = sim.machine().spooler;
    EnumResult<PrinterInfo> none = spooler.EnumPrinters(6, 0);
    EXPECT_TRUE(none.ok);
    EXPECT_EQ(none.bytesNeeded, 0u);
    EXPECT_TRUE(none.entries.empty());

    sim.AddPrinter({u"Zeta", u"Generic", u"ZSHARE", u"", {}, {}});
    sim.AddPrinter({u"\\\\srv\\Office", u"Tamber AB12", u"", u"srv", {}, {}});
    // 84 per entry; "Zeta" 10, "Generic" 16, "ZSHARE" 14; "\\srv" 12, "\\srv\Office" 26, "Tamber AB12" 24.
    const std::uint32_t expected = 84 + 10 + 16 + 14 + 84 + 12 + 26 + 24;
    EnumResult<PrinterInfo> size = spooler.EnumPrinters(6, 0);
    EXPECT_FALSE(size.ok);
    EXPECT_EQ(size.error, win_error::kInsufficientBuffer);
    EXPECT_EQ(size.bytesNeeded, expected);
    EXPECT_EQ(spooler.EnumPrinters(6, expected - 1).error, win_error::kInsufficientBuffer);

    EnumResult<PrinterInfo> data = spooler.EnumPrinters(6, expected);
    ASSERT_TRUE(data.ok);
    ASSERT_EQ(data.entries.size(), 2u);
    EXPECT_EQ(data.entries[0].printerName, u"Zeta");
    EXPECT_FALSE(data.entries[0].serverName.has_value());
    EXPECT_EQ(data.entries[0].shareName, u"ZSHARE");
    EXPECT_EQ(data.entries[1].serverName, u"\\\\srv");
    EXPECT_EQ(data.entries[1].printerName, u"\\\\srv\\Office");
    EXPECT_FALSE(data.entries[1].shareName.has_value());

    EnumResult<PrinterInfo> localOnly = spooler.EnumPrinters(kPrinterEnumLocal, 1000);
    ASSERT_EQ(localOnly.entries.size(), 1u);
    EXPECT_EQ(localOnly.entries[0].printerName, u"Zeta");
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
    EXPECT_EQ(spooler.OpenPrinter(u"P1", kPrinterAllAccess).error, win_error::kInvalidPrinterName);
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

TEST(SimSpooler, RefusesDriverInUseAndDriverMissingFromEnvironment) {
    SimMachine sim;
    AddTamber(sim);
    Spooler& spooler = sim.machine().spooler;
    EXPECT_EQ(
        spooler.DeletePrinterDriverEx(u"Windows NT x86", u"Tamber AB12", kDpdDeleteUnusedFiles, 3).error,
        win_error::kUnknownPrinterDriver);
    EXPECT_EQ(spooler.DeletePrinterDriverEx(u"Windows x64", u"Tamber AB12", kDpdDeleteUnusedFiles, 3).error,
              win_error::kPrinterDriverInUse);
    EXPECT_EQ(sim.Drivers().size(), 1u);
    EXPECT_TRUE(sim.journal().empty());

    HandleResult printer = spooler.OpenPrinter(u"P1", kPrinterAllAccess);
    ASSERT_TRUE(spooler.DeletePrinter(printer.handle).ok());
    spooler.ClosePrinter(printer.handle);
    EXPECT_TRUE(spooler.DeletePrinterDriverEx(u"windows x64", u"TAMBER AB12", kDpdDeleteUnusedFiles, 3).ok());
    EXPECT_TRUE(sim.Drivers().empty());
    EXPECT_FALSE(sim.KeyExists(kHkeyLocalMachine, kX64DriverKey));

    ASSERT_TRUE(spooler.CanDeletePrinterDriverPackage());
    EXPECT_TRUE(spooler.DeletePrinterDriverPackage(u"C:\\Windows\\INF\\oem7.inf", u"Windows x64").ok());
    EXPECT_EQ(sim.DeletedDriverPackages().size(), 1u);
    EXPECT_EQ(sim.journal(), (std::vector<std::string>{
                                 "DeletePrinter P1",
                                 "DeletePrinterDriverExW Windows x64, Tamber AB12",
                                 "DeletePrinterDriverPackageW C:\\Windows\\INF\\oem7.inf, Windows x64",
                             }));
    sim.SetDriverPackageDeletion(false);
    EXPECT_FALSE(spooler.CanDeletePrinterDriverPackage());
}

TEST(SimSpooler, EnumPrinterDriversListsOneEnvironment) {
    SimMachine sim;
    AddTamber(sim);
    sim.AddDriver({u"Windows NT x86", u"Generic", u"GEN.PPD", u""});
    Spooler& spooler = sim.machine().spooler;
    EnumResult<DriverInfo> size = spooler.EnumPrinterDrivers(u"Windows x64", 0);
    // 24 + "Tamber AB12" 24 + "Windows x64" 24 + "NorvelAB12.PPD" 30.
    EXPECT_EQ(size.bytesNeeded, 102u);
    EnumResult<DriverInfo> data = spooler.EnumPrinterDrivers(u"Windows x64", size.bytesNeeded);
    ASSERT_EQ(data.entries.size(), 1u);
    EXPECT_EQ(data.entries[0].name, u"Tamber AB12");
    EXPECT_EQ(data.entries[0].environment, u"Windows x64");
}

TEST(SimSpooler, FormsAreMachineWideAndBuiltInFormsStay) {
    SimMachine sim;
    AddTamber(sim);
    sim.AddForm({u"Custom1", kFormUser});
    sim.AddForm({u"Tamber Card", kFormPrinter});
    Spooler& spooler = sim.machine().spooler;
    HandleResult printer = spooler.OpenPrinter(u"P1", kPrinterAllAccess);

    EnumResult<FormInfo> size = spooler.EnumForms(printer.handle, 0);
    EXPECT_EQ(size.error, win_error::kInsufficientBuffer);
    EnumResult<FormInfo> forms = spooler.EnumForms(printer.handle, size.bytesNeeded);
    ASSERT_EQ(forms.entries.size(), 5u);
    EXPECT_EQ(forms.entries[3].name, u"Custom1");
    EXPECT_EQ(forms.entries[4].flags, kFormPrinter);

    EXPECT_EQ(spooler.DeleteForm(printer.handle, u"Letter").error, win_error::kInvalidParameter);
    EXPECT_EQ(spooler.DeleteForm(printer.handle, u"Nope").error, 1902u);
    EXPECT_TRUE(spooler.DeleteForm(printer.handle, u"custom1").ok());
    EXPECT_EQ(spooler.DeleteForm(0, u"Tamber Card").error, win_error::kInvalidHandle);
    spooler.ClosePrinter(printer.handle);
    EXPECT_EQ(sim.Forms().size(), 4u);
    EXPECT_EQ(sim.journal(), std::vector<std::string>{"DeleteFormW Custom1"});
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

TEST(SimSpooler, ConnectionsAreDeletedOnlyAsConnections) {
    SimMachine sim;
    sim.AddPrinter({u"\\\\srv\\Office", u"Generic", u"", u"\\\\srv", {}, {}});
    Spooler& spooler = sim.machine().spooler;
    EXPECT_EQ(spooler.DeletePrinterConnection(u"Office").error, win_error::kInvalidPrinterName);
    EXPECT_TRUE(spooler.DeletePrinterConnection(u"\\\\SRV\\office").ok());
    EXPECT_TRUE(sim.Printers().empty());
    EXPECT_EQ(sim.journal(), std::vector<std::string>{"DeletePrinterConnectionW \\\\srv\\Office"});
}

TEST(SimSpooler, DefaultPrinterNeedsRoomForTheTerminator) {
    SimMachine sim;
    Spooler& spooler = sim.machine().spooler;
    EXPECT_EQ(spooler.GetDefaultPrinter(0).error, win_error::kFileNotFound);
    AddTamber(sim);
    sim.SetDefaultPrinter(u"P1");
    DefaultPrinterResult probe = spooler.GetDefaultPrinter(0);
    EXPECT_FALSE(probe.ok);
    EXPECT_EQ(probe.error, win_error::kInsufficientBuffer);
    EXPECT_EQ(probe.charsNeeded, 3u);
    EXPECT_FALSE(spooler.GetDefaultPrinter(2).ok);
    DefaultPrinterResult name = spooler.GetDefaultPrinter(3);
    EXPECT_TRUE(name.ok);
    EXPECT_EQ(name.name, u"P1");
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
    EXPECT_EQ(spooler.DeletePrinter(0).error, win_error::kInvalidHandle);
}

}  // namespace
}  // namespace spoolsweep::sim
