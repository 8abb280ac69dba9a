// Whole removals while one kind of platform call fails: the run finishes, reports the same console words, and
// deletes nothing that the run without the failure would have kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

// An office: two Tamber printers on one driver, a laser printer, a connection, forms, per-printer settings,
// Temp files, the updater and the driver's companion process.
void BuildOffice(sim::SimMachine& sim) {
    sim.AddDriver({u"Windows x64", u"Tamber PS", u"NorvelAB12.PPD", u"C:\\Windows\\INF\\oem7.inf"});
    sim.AddDriver({u"Windows x64", u"Laser", u"LASER.PPD", u"C:\\Windows\\INF\\oem3.inf"});
    for (auto [name, driver] : {std::pair{u"Tamber Office", u"Tamber PS"},
                                std::pair{u"Tamber Studio", u"Tamber PS"}, std::pair{u"Laser", u"Laser"}}) {
        sim.AddPrinter(test::MakePrinter(name, driver));
        sim.SetString(kHkeyCurrentUser, std::u16string(u"Printers\\Settings\\Printers\\") + name, u"x", u"1");
    }
    sim.AddPrinter(test::MakePrinter(u"\\\\srv\\Front Desk", u"Laser"));
    sim.AddForm({u"Custom", 0});
    sim.WriteFile(u"C:\\Windows\\Temp\\,,srv,Front Desk.tmp", "t", 0x21);
    sim.WriteFile(u"C:\\Program Files (x86)\\Vantle\\Tamber Driver Updater.exe", "u");
    sim.WriteFile(
        u"C:\\Users\\admin\\AppData\\Roaming\\Norvel\\JPData\\DMT_NorvelAB12."
        u"PPD\\EssentialPresets\\preferences",
        "p");
    sim.AddProcess(u"NorvelAB12.srv");
}

struct Outcome {
    std::string console;
    std::set<std::string> deletions;
    std::uint32_t simulatedMs = 0;
};

bool IsDeletion(const std::string& line) {
    for (const char* prefix : {"Delete", "SHDeleteKeyW", "RegDeleteValueW", "SHFileOperationW",
                               "RemoveDirectoryW", "TerminateProcess"}) {
        if (line.starts_with(prefix)) {
            return true;
        }
    }
    return false;
}

Outcome RunOffice(const std::string& failingCall, std::u16string_view commandLine) {
    sim::SimMachine sim;
    BuildOffice(sim);
    if (!failingCall.empty()) {
        // The first manager open is the privilege check, which has its own test; here the restart's open
        // fails.
        sim.faults().Fail(failingCall, 5, -1, failingCall == "OpenSCManagerW" ? 1 : 0);
    }
    const std::uint32_t start = sim.Now();
    test::RunProgram(sim, commandLine);
    Outcome outcome;
    outcome.console = sim.Stdout();
    for (const std::string& line : sim.journal()) {
        if (IsDeletion(line)) {
            outcome.deletions.insert(line);
        }
    }
    outcome.simulatedMs = sim.Now() - start;
    return outcome;
}

TEST(RemovalFaults, FailingCallsNeitherStopTheRunNorWidenIt) {
    for (std::u16string_view commandLine :
         {std::u16string_view(u"Spoolsweep.exe -rmPrints"),
          std::u16string_view(u"Spoolsweep.exe -rmNorvelPrints"),
          std::u16string_view(u"Spoolsweep.exe -p \"Laser,\\\\srv\\Front Desk\"")}) {
        const Outcome baseline = RunOffice("", commandLine);
        ASSERT_FALSE(baseline.deletions.empty());
        for (const std::string& call : test::kFailingCalls) {
            SCOPED_TRACE(call + " with " + std::string(commandLine.begin(), commandLine.end()));
            const Outcome faulted = RunOffice(call, commandLine);
            // A driver data file that cannot be read names no Tamber driver: such printers are not removed
            // as Tamber printers, and they keep no updater folder.
            const bool unread = call == "RegOpenKeyW" || call == "RegQueryValueExW";
            const bool tamberUnknown =
                unread && commandLine.find(u"-rmNorvelPrints") != std::u16string_view::npos;
            EXPECT_EQ(faulted.console, tamberUnknown ? "" : baseline.console);
            for (const std::string& deletion : faulted.deletions) {
                EXPECT_TRUE(baseline.deletions.contains(deletion) ||
                            (unread && deletion.starts_with("SHFileOperationW FO_DELETE")))
                    << "deleted only with the fault: " << deletion;
            }
            // Every wait is bounded: at most two 10-second waits per restart, one restart per driver.
            EXPECT_LT(faulted.simulatedMs, 4 * 10'200U);
        }
    }
}

TEST(RemovalFaults, AFailedEnumerationFindsNoPrinter) {
    sim::SimMachine sim;
    BuildOffice(sim);
    sim.faults().Fail("EnumPrintersW", 5);
    test::RunProgram(sim, u"Spoolsweep.exe -rmPrints");
    EXPECT_EQ(sim.Stdout(), "Failure");
    EXPECT_EQ(sim.Printers().size(), 4U);
}

}  // namespace
}  // namespace spoolsweep
