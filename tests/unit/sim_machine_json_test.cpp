#include <gtest/gtest.h>

#include <string>

#include "preview/machine_json.h"

namespace spoolsweep::sim {
namespace {

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
    {"name": "P1", "driver": "Tamber AB12", "share": "P1SHARE", "jobs": 2, "scriptedJobCounts": [1, 0]},
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

TEST(SimMachineFile, LoadsEverySection) {
    SimMachine machine;
    LoadMachine(MachineJson::parse(kMachine), machine);
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
    EXPECT_EQ(machine.Printers()[1].serverName, u"\\\\srv");
    EXPECT_EQ(machine.Forms().size(), 5u);
    EXPECT_EQ(machine.Attributes(u"C:\\Windows\\Temp\\,,srv,Q.tmp"), kFileAttributeReadOnly);
    EXPECT_EQ(machine.ReadFile(u"C:\\Tools\\raw.bin"), std::string("\xe9\xff\x00", 3));
    EXPECT_FALSE(machine.FolderWritable(u"C:\\Locked"));
    EXPECT_EQ(machine.Service(u"Fax")->refusesControl, true);
    ASSERT_EQ(machine.Processes().size(), 2u);
    EXPECT_EQ(machine.Processes()[1].processId, 4242u);
}

// A run's effects on the machine go into the dump, which loads back as the changed machine, and its calls
// into the dump's "run" section.
TEST(SimMachineFile, DumpHoldsTheRunAndItsEffects) {
    SimMachine first;
    LoadMachine(MachineJson::parse(kMachine), first);
    Machine& seams = first.machine();
    ASSERT_TRUE(seams.registry.DeleteTree(kHkeyCurrentUser, u"Printers\\Settings").ok());
    ASSERT_TRUE(seams.files.AppendText(u"Spoolsweep_CL.log", "line\n"));
    ASSERT_TRUE(seams.files.DeleteFile(u"C:\\Tools\\raw.bin").ok());
    const MachineJson dumped = DumpMachine(first);
    EXPECT_EQ(dumped["run"]["journal"].back(), "DeleteFileW C:\\Tools\\raw.bin");
    EXPECT_EQ(dumped["run"]["calls"]["DeleteFileW"], 1);

    SimMachine second;
    LoadMachine(dumped, second);
    EXPECT_FALSE(second.KeyExists(kHkeyCurrentUser, u"Printers\\Settings"));
    EXPECT_EQ(second.ReadFile(u"C:\\Tools\\Spoolsweep_CL.log"), "line\r\n");
    EXPECT_FALSE(second.FileExists(u"C:\\Tools\\raw.bin"));
}

TEST(SimMachineFile, RejectsMalformedEntriesWithTheirPlace) {
    SimMachine machine;
    try {
        LoadMachine(MachineJson::parse(R"({"registry": {"HKCR": {}}})"), machine);
        FAIL() << "accepted an unknown root";
    } catch (const MachineFileError& error) {
        EXPECT_NE(std::string(error.what()).find("registry.HKCR"), std::string::npos);
    }
    EXPECT_THROW(
        LoadMachine(MachineJson::parse(R"({"services": [{"name": "S", "state": "sleeping"}]})"), machine),
        MachineFileError);
    EXPECT_THROW(LoadMachine(MachineJson::parse(R"({"localTime": "yesterday"})"), machine), MachineFileError);
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
