#include "cli/command_log.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "app/spoolsweep_app.h"
#include "cli/custom_command_line_info.h"
#include "platform/sim/sim_machine.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

constexpr std::string_view kStamp = "2024-03-05.14:07:09";

std::tm FixedTime() {
    std::tm time{};
    time.tm_year = 124;
    time.tm_mon = 2;
    time.tm_mday = 5;
    time.tm_hour = 14;
    time.tm_min = 7;
    time.tm_sec = 9;
    return time;
}

std::string Entry(std::string_view message) {
    return "\r\n " + std::string(kStamp) + std::string(test::kBanner) + std::string(message);
}

class CommandLogTest : public ::testing::Test {
  protected:
    CommandLogTest() { sim.SetLocalTime(FixedTime()); }

    sim::SimMachine sim;
    CommandLog log{sim.machine().files, sim.machine().system};
};

TEST_F(CommandLogTest, EntriesAreAppendedByteForByte) {
    log.WriteLogLine("Remove All Printers");
    log.WriteLogLine(std::string());
    log.WriteLogLine(std::string("Deleting Printer \tP1"));
    EXPECT_EQ(sim.ReadFile(test::kLogPath),
              Entry("Remove All Printers") + Entry("") + Entry("Deleting Printer \tP1"));
}

TEST_F(CommandLogTest, EarlierRunsAreKept) {
    sim.WriteFile(test::kLogPath, "\r\n earlier");
    std::tm evening = FixedTime();
    evening.tm_hour = 23;
    evening.tm_mday = 31;
    evening.tm_mon = 11;
    sim.SetLocalTime(evening);
    log.WriteLogLine("GetInstalled Printers");
    EXPECT_EQ(sim.ReadFile(test::kLogPath),
              "\r\n earlier\r\n 2024-12-31.23:07:09" + std::string(test::kBanner) + "GetInstalled Printers");
}

TEST_F(CommandLogTest, EachWorkingDirectoryHasItsOwnLog) {
    sim.CreateFolder(u"C:\\Work\\One");
    sim.CreateFolder(u"C:\\Work\\Two");
    sim.SetCurrentDirectory(u"C:\\Work\\One");
    log.WriteLogLine("first");
    sim.SetCurrentDirectory(u"C:\\Work\\Two");
    log.WriteLogLine("second");
    EXPECT_EQ(sim.ReadFile(u"C:\\Work\\One\\Spoolsweep_CL.log"), Entry("first"));
    EXPECT_EQ(sim.ReadFile(u"C:\\Work\\Two\\Spoolsweep_CL.log"), Entry("second"));
    EXPECT_FALSE(sim.FileExists(test::kLogPath));
}

TEST_F(CommandLogTest, UnwritableDirectoryDropsEntriesAndTheRunGoesOn) {
    ResetPendingOption();
    sim.SetFolderWritable(u"C:\\Users\\admin", false);
    sim.SetCommandLine(u"S.exe -help -getInstalledPrinters");
    EXPECT_EQ(RunSpoolsweepApp(sim.machine()), 0);
    EXPECT_FALSE(sim.FileExists(test::kLogPath));
    EXPECT_TRUE(sim.Stdout().ends_with("Tamber Drivers.There are no printers installed in the system."))
        << sim.Stdout();

    sim.SetFolderWritable(u"C:\\Users\\admin", true);
    log.WriteLogLine("later");
    EXPECT_EQ(sim.ReadFile(test::kLogPath), Entry("later"));
}

}  // namespace
}  // namespace spoolsweep
