// The platform's own pieces beyond what the contract tests hold them to: the handle owner, and the simulated
// machine's registry, files, system, faults and spooler, with the machine file that loads and saves it.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/unique_resource.h"
#include "platform/win_errors.h"
#include "preview/machine_json.h"
#include "tests/contract/contract_helpers.h"

namespace spoolsweep::sim {
namespace {

using contract::FindNames;

struct CountingTraits {
    using handle_type = int;
    std::vector<int>* closed = nullptr;
    static constexpr int invalid() noexcept { return 0; }
    void close(int handle) const noexcept { closed->push_back(handle); }
};
using Counted = UniqueResource<CountingTraits>;

TEST(UniqueResource, ClosesOnceWhenMovedAndResetAndNotAfterARelease) {
    std::vector<int> closed;
    {
        Counted first(7, CountingTraits{&closed});
        Counted second = std::move(first);
        EXPECT_FALSE(first);
        EXPECT_EQ(second.get(), 7);
        second.reset(9);
        EXPECT_EQ(closed, std::vector<int>{7});
        Counted third(11, CountingTraits{&closed});
        third = std::move(second);  // closes 11, takes 9
        EXPECT_EQ(closed, (std::vector<int>{7, 11}));
    }
    EXPECT_EQ(closed, (std::vector<int>{7, 11, 9}));

    // A release hands the handle over without closing it.
    Counted held(5, CountingTraits{&closed});
    EXPECT_EQ(held.release(), 5);
    EXPECT_FALSE(held);
    held.reset();
    EXPECT_EQ(closed, (std::vector<int>{7, 11, 9}));
}

// Wine takes "A\\\\B" as "A\\B" (measured under Wine 8); the simulated machine refuses an
// empty name, the stricter answer, so that a key path built with an empty name fails in the host tests.
TEST(SimRegistry, RefusesUnknownHandlesAndKeyPathsWithEmptyNames) {
    SimMachine sim;
    Registry& registry = sim.machine().registry;
    EXPECT_EQ(registry.QueryValue(12345, u"v", 0).error, win_error::kInvalidHandle);
    sim.CreateKey(kHkeyLocalMachine, u"SOFTWARE\\Servers\\srv\\Printers");
    HandleResult trailing = registry.OpenKey(kHkeyLocalMachine, u"SOFTWARE\\Servers\\srv\\Printers\\");
    EXPECT_EQ(trailing.error, 0u);
    registry.CloseKey(trailing.handle);
    EXPECT_NE(registry.OpenKey(kHkeyLocalMachine, u"SOFTWARE\\Servers\\\\srv\\Printers").error, 0u);
    EXPECT_NE(registry.OpenKeyEx(kHkeyLocalMachine, u"\\SOFTWARE", kKeyAllAccess).error, 0u);
    EXPECT_NE(registry.DeleteTree(kHkeyLocalMachine, u"SOFTWARE\\\\Servers").error, 0u);
    EXPECT_TRUE(sim.KeyExists(kHkeyLocalMachine, u"SOFTWARE\\Servers"));
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

// Beyond the file contract: no "." or ".." at a drive's root, relative and drive-relative paths, and UNC
// paths (which a contract test could not try without a network).
TEST(SimFiles, ResolvesWhatTheFileContractCannotTryAndShellDeleteChangesNothingItCannotFinish) {
    SimMachine sim;
    Files& files = sim.machine().files;
    sim.WriteFile(u"C:\\Users\\admin\\notes.txt", "n");
    EXPECT_EQ(FindNames(files, u"C:\\*").front(), u"Program Files");
    EXPECT_TRUE(files.PathFileExists(u"notes.txt"));
    EXPECT_TRUE(files.PathFileExists(u"\\Users\\admin\\notes.txt"));
    EXPECT_FALSE(files.PathFileExists(u"\\\\server\\share\\notes.txt"));
    EXPECT_EQ(files.GetStatus(u"C:\\"), kFileAttributeDirectory);
    EXPECT_EQ(sim.OpenHandleCount(), 0u);

    sim.WriteFile(u"C:\\Tree\\Locked\\f.txt", "x");
    sim.SetFolderWritable(u"C:\\Tree\\Locked", false);
    std::u16string list = std::u16string(u"C:\\Tree") + std::u16string(2, u'\0');
    EXPECT_EQ(files.ShellDeleteTree(list, kFofSilentNoConfirmationNoErrorUi), 5);
    EXPECT_NE(files.ShellDeleteTree(list, 0x0004), 0);  // would ask for confirmation
    EXPECT_TRUE(sim.FileExists(u"C:\\Tree\\Locked\\f.txt"));
    sim.SetFolderWritable(u"C:\\Tree\\Locked", true);
    EXPECT_EQ(files.ShellDeleteTree(list, kFofSilentNoConfirmationNoErrorUi), 0);
    EXPECT_FALSE(sim.FolderExists(u"C:\\Tree"));
}

TEST(SimFiles, DeletionRespectsReadOnlyFoldersAndWritability) {
    SimMachine sim;
    Files& files = sim.machine().files;
    sim.WriteFile(u"C:\\Windows\\Temp\\,,srv,P.tmp", "x", kFileAttributeReadOnly);
    EXPECT_EQ(files.DeleteFile(u"C:\\Windows\\Temp").error, win_error::kAccessDenied);
    EXPECT_EQ(files.DeleteFile(u"C:\\Nowhere\\none.tmp").error, win_error::kPathNotFound);

    EXPECT_TRUE(files.SetAttributes(u"c:\\windows\\temp\\,,SRV,p.tmp", 0).ok());
    EXPECT_EQ(files.GetStatus(u"C:\\Windows\\Temp\\,,srv,P.tmp"), kFileAttributeNormal);
    EXPECT_TRUE(files.SetAttributes(u"C:\\Windows\\Temp", 0).ok());
    EXPECT_EQ(files.GetStatus(u"C:\\Windows\\Temp"), kFileAttributeDirectory);
    EXPECT_TRUE(files.DeleteFile(u"C:\\Windows\\Temp\\,,srv,P.tmp").ok());
    EXPECT_FALSE(sim.FileExists(u"C:\\Windows\\Temp\\,,srv,P.tmp"));

    sim.WriteFile(u"C:\\Share\\f.txt", "x");
    sim.SetFolderWritable(u"C:\\Share", false);
    EXPECT_EQ(files.DeleteFile(u"C:\\Share\\f.txt").error, win_error::kAccessDenied);
    EXPECT_FALSE(files.AppendText(u"C:\\Share\\log.txt", "x"));
    EXPECT_EQ(sim.journal(), (std::vector<std::string>{
                                 "SetFileAttributesW C:\\Windows\\Temp\\,,srv,P.tmp 0x0",
                                 "SetFileAttributesW C:\\Windows\\Temp 0x0",
                                 "DeleteFileW C:\\Windows\\Temp\\,,srv,P.tmp",
                             }));
}

TEST(SimFaults, FailChosenCallsAfterSkippingAndLeaveTheStateAlone) {
    SimMachine sim;
    Files& files = sim.machine().files;
    sim.WriteFile(u"C:\\T\\a.tmp", "");
    sim.WriteFile(u"C:\\T\\b.tmp", "");
    sim.WriteFile(u"C:\\T\\c.tmp", "");
    sim.faults().Fail("DeleteFileW", win_error::kAccessDenied, 1, 1);
    sim.faults().Fail("DeleteFileW", 32, -1, 0, u"C.TMP");

    EXPECT_TRUE(files.DeleteFile(u"C:\\T\\a.tmp").ok());                           // skipped
    EXPECT_EQ(files.DeleteFile(u"C:\\T\\b.tmp").error, win_error::kAccessDenied);  // failed once
    EXPECT_TRUE(files.DeleteFile(u"C:\\T\\b.tmp").ok());                           // used up
    EXPECT_EQ(files.DeleteFile(u"C:\\T\\c.tmp").error, 32u);                       // by argument
    EXPECT_EQ(files.DeleteFile(u"C:\\T\\c.tmp").error, 32u);                       // every time
    EXPECT_TRUE(sim.FileExists(u"C:\\T\\c.tmp"));
    EXPECT_EQ(sim.calls().Count("DeleteFileW"), 5u);
    EXPECT_EQ(sim.journal().size(), 2u);

    sim.faults().Clear();
    EXPECT_TRUE(files.DeleteFile(u"C:\\T\\c.tmp").ok());
}

// The architecture is also the session environment's value, which the driver facts are read by.
TEST(SimSystem, ReportsVersionArchitectureAndAnsiText) {
    SimMachine sim;
    System& system = sim.machine().system;
    EXPECT_EQ(system.OsMajorVersion(), 10u);
    sim.SetOsVersion(5, 1);
    EXPECT_EQ(system.OsMajorVersion(), 10u);  // the process keeps its first answer
    EXPECT_EQ(system.QueryOsVersion().major, 5u);
    EXPECT_EQ(sim.calls().Count("GetVersionExW"), 2u);
    EXPECT_EQ(system.NativeProcessorArchitecture(), kProcessorArchitectureAmd64);
    const std::u16string_view environment =
        u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    auto values = sim.Values(kHkeyLocalMachine, environment);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, u"PROCESSOR_ARCHITECTURE");
    sim.SetNativeArchitecture(kProcessorArchitectureIntel);
    EXPECT_EQ(sim.GetValue(kHkeyLocalMachine, environment, u"PROCESSOR_ARCHITECTURE"),
              (std::vector<std::uint8_t>{'x', 0, '8', 0, '6', 0, 0, 0}));

    EXPECT_EQ(system.WideToMultiByte(u"Caf\u00e9 \u20ac \u0141\u00ff", kCpThreadAcp), "Caf\xe9 \x80 ?\xff");
    EXPECT_EQ(system.WideToMultiByte(u"\u0080\u0081", kCpThreadAcp), "?\x81");
}

constexpr std::u16string_view kX64DriverKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3\\Tamber AB12";
constexpr std::u16string_view kP1Key = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\P1";

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
    EXPECT_TRUE(sim.ValueExists(kHkeyLocalMachine, kP1Key, u"Printer Driver"));

    Spooler& spooler = sim.machine().spooler;
    HandleResult printer = spooler.OpenPrinter(u"p1", kPrinterAllAccess);
    ASSERT_EQ(printer.error, 0u);
    EXPECT_TRUE(spooler.DeletePrinter(printer.handle).ok());
    spooler.ClosePrinter(printer.handle);
    EXPECT_FALSE(sim.KeyExists(kHkeyLocalMachine, kP1Key));
    EXPECT_TRUE(sim.Printers().empty());
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

TEST(SimSpooler, JobsHonourFirstJobCountAndScriptedAnswersAndKeepTheirPrinterUntilPrinted) {
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

    // A printer with queued jobs stays until they have printed.
    SimMachine pending;
    AddTamber(pending);
    pending.QueueJob(u"P1");
    Spooler& queued = pending.machine().spooler;
    HandleResult held = queued.OpenPrinter(u"P1", kPrinterAllAccess);
    EXPECT_TRUE(queued.DeletePrinter(held.handle).ok());
    queued.ClosePrinter(held.handle);
    EXPECT_EQ(queued.EnumPrinters(6, 1000).entries.size(), 1u);
    EXPECT_EQ(queued.DeletePrinterDriverEx(u"Windows x64", u"Tamber AB12", kDpdDeleteUnusedFiles, 3).error,
              win_error::kPrinterDriverInUse);
    EXPECT_TRUE(pending.Printers()[0].pendingDeletion);

    pending.CompleteJobs(u"P1");
    EXPECT_TRUE(pending.Printers().empty());
    EXPECT_FALSE(pending.KeyExists(kHkeyLocalMachine, kP1Key));
    EXPECT_TRUE(queued.DeletePrinterDriverEx(u"Windows x64", u"Tamber AB12", kDpdDeleteUnusedFiles, 3).ok());
    EXPECT_EQ(pending.journal().front(), "DeletePrinter P1 pending");
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

// A machine that touches every section of the format, values of every type and a binary file included.
const char* const kMachine = R"({
  "os": {"major": 6, "minor": 1},
  "architecture": 0,
  "localTime": "2025-12-31 23:59:58",
  "currentDirectory": "C:\\Tools",
  "consoleAttachable": false,
  "printersReversed": true,
  "messageBoxAnswers": [6, 7],
  "environment": {"USERPROFILE": "C:\\Users\\op", "SITE": "Zürich"},
  "registry": {
    "HKCU": {
      "Printers\\Settings\\Printers\\P1": {"Opt": "x", "Count": {"type": "REG_DWORD", "data": 7}},
      "Software\\Norvel\\Trackwell\\printers\\P1": {
        "Media": {"type": "REG_MULTI_SZ", "data": ["A4", "Letter"]},
        "Path": {"type": "REG_EXPAND_SZ", "data": "%TEMP%\\x"},
        "Blob": {"type": "REG_BINARY", "hex": "00ff10"}
      }
    },
    "HKU": {".DEFAULT\\Printers": {}}
  },
  "drivers": [{"environment": "Windows NT x86", "name": "Tamber AB12", "dataFile": "NorvelAB12.PPD",
               "infPath": "C:\\Windows\\INF\\oem3.inf"}],
  "printers": [
    {"name": "P1", "driver": "Tamber AB12", "share": "P1SHARE", "jobs": 2, "scriptedJobCounts": [1, 0],
     "settings": {"port": "IP_10.0.0.5", "datatype": null, "priority": 9, "devMode": "0a0b"}},
    {"name": "\\\\srv\\Q", "driver": "Tamber AB12", "server": "\\\\srv"}
  ],
  "forms": ["Custom1", {"name": "Tamber Card", "flags": 2}],
  "defaultPrinter": "P1",
  "folders": ["C:\\Tools", {"path": "C:\\Locked", "writable": false}],
  "files": [
    {"path": "C:\\Windows\\Temp\\,,srv,Q.tmp", "contents": "spool", "attributes": 1},
    {"path": "C:\\Tools\\raw.bin", "contentsHex": "e9ff00"}
  ],
  "services": [{"name": "Spooler", "state": "running", "dependents": ["Fax"], "pendingMs": 50},
               {"name": "Fax", "state": "stopped", "refusesControl": true}],
  "processes": ["explorer.exe", {"exe": "NorvelAB12.srv", "pid": 4242}]
})";

TEST(SimMachineFile, LoadsEverySectionAndDumpsTheRunAndItsEffects) {
    SimMachine machine;
    LoadMachine(ParseJson(kMachine), machine);
    EXPECT_EQ(machine.OsMajorVersion(), 6u);
    EXPECT_EQ(machine.NativeArchitecture(), kProcessorArchitectureIntel);
    EXPECT_EQ(machine.LocalTime().tm_wday, 3);  // a Wednesday
    EXPECT_EQ(machine.CurrentDirectory(), u"C:\\Tools");
    EXPECT_FALSE(machine.ConsoleAttachable());
    EXPECT_TRUE(machine.PrintersReversed());
    EXPECT_EQ(machine.QueuedMessageBoxAnswers(), (std::vector<int>{6, 7}));
    EXPECT_EQ(machine.machine().registry.ExpandEnvironmentStrings(u"%SITE%", 260).text, u"Z\u00fcrich");
    EXPECT_EQ(machine.GetValue(kHkeyCurrentUser, u"Printers\\Settings\\Printers\\P1", u"Count"),
              (std::vector<std::uint8_t>{7, 0, 0, 0}));
    EXPECT_EQ(machine.ValueNames(kHkeyCurrentUser, u"Software\\Norvel\\Trackwell\\printers\\P1"),
              (std::vector<std::u16string>{u"Media", u"Path", u"Blob"}));
    EXPECT_TRUE(machine.KeyExists(kHkeyUsers, u".DEFAULT\\Printers"));
    EXPECT_TRUE(
        machine.KeyExists(kHkeyLocalMachine, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\P1"));
    ASSERT_EQ(machine.Printers().size(), 2u);
    EXPECT_EQ(machine.Printers()[0].jobs.size(), 2u);
    const PrinterSettings settings = machine.Printers()[0].settings;
    EXPECT_EQ(
        std::tie(settings.port, settings.datatype, settings.priority, settings.devMode, settings.comment),
        std::forward_as_tuple(u"IP_10.0.0.5", std::nullopt, 9U, std::vector<std::uint8_t>{10, 11},
                              std::nullopt));
    EXPECT_EQ(machine.Printers()[1].serverName, u"\\\\srv");
    EXPECT_EQ(machine.Forms().size(), 5u);
    EXPECT_EQ(machine.Attributes(u"C:\\Windows\\Temp\\,,srv,Q.tmp"), kFileAttributeReadOnly);
    EXPECT_EQ(machine.ReadFile(u"C:\\Tools\\raw.bin"), std::string("\xe9\xff\x00", 3));
    EXPECT_FALSE(machine.FolderWritable(u"C:\\Locked"));
    EXPECT_EQ(machine.Service(u"Fax")->refusesControl, true);
    ASSERT_EQ(machine.Processes().size(), 2u);
    EXPECT_EQ(machine.Processes()[1].processId, 4242u);

    // A run's effects on the machine go into the dump, which loads back as the changed machine, and its calls
    // into the dump's "run" section.
    Machine& seams = machine.machine();
    ASSERT_TRUE(seams.registry.DeleteTree(kHkeyCurrentUser, u"Printers\\Settings").ok());
    ASSERT_TRUE(seams.files.AppendText(u"Spoolsweep_CL.log", "line\n"));
    ASSERT_TRUE(seams.files.DeleteFile(u"C:\\Tools\\raw.bin").ok());
    const MachineJson dumped = DumpMachine(machine);
    EXPECT_EQ(dumped["run"]["journal"].back(), "DeleteFileW C:\\Tools\\raw.bin");
    EXPECT_EQ(dumped["run"]["calls"]["DeleteFileW"], 1);

    SimMachine second;
    LoadMachine(dumped, second);
    EXPECT_FALSE(second.KeyExists(kHkeyCurrentUser, u"Printers\\Settings"));
    EXPECT_EQ(second.ReadFile(u"C:\\Tools\\Spoolsweep_CL.log"), "line\r\n");
    EXPECT_FALSE(second.FileExists(u"C:\\Tools\\raw.bin"));
    EXPECT_TRUE(second.Printers()[0].settings == settings) << "a printer's settings not dumped as they were";
}

TEST(SimMachineFile, RejectsMalformedEntriesWithTheirPlace) {
    SimMachine machine;
    try {
        LoadMachine(ParseJson(R"({"registry": {"HKCR": {}}})"), machine);
        FAIL() << "accepted an unknown root";
    } catch (const MachineFileError& error) {
        EXPECT_NE(std::string(error.what()).find("registry.HKCR"), std::string::npos);
    }
    EXPECT_THROW(LoadMachine(ParseJson(R"({"services": [{"name": "S", "state": "sleeping"}]})"), machine),
                 MachineFileError);
    EXPECT_THROW(LoadMachine(ParseJson(R"({"localTime": "yesterday"})"), machine), MachineFileError);
}

TEST(SimMachineFile, CommandLineQuotesAsTheRuntimeSplitsIt) {
    EXPECT_EQ(BuildCommandLine({"-p", "A,B"}), u"Spoolsweep.exe -p A,B");
    EXPECT_EQ(BuildCommandLine({"-p", "Office Printer,B"}), u"Spoolsweep.exe -p \"Office Printer,B\"");
    EXPECT_EQ(BuildCommandLine({""}), u"Spoolsweep.exe \"\"");
    EXPECT_EQ(BuildCommandLine({"a \"b\""}), u"Spoolsweep.exe \"a \\\"b\\\"\"");
    EXPECT_EQ(BuildCommandLine({"C:\\dir \\"}), u"Spoolsweep.exe \"C:\\dir \\\\\"");
}

}  // namespace
}  // namespace spoolsweep::sim
